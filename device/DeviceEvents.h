#pragma once

// The events that carry connection and upgrade results from SDK, pool and
// upload threads to a device object on the GUI thread.

#include <QEvent>

enum DeviceEventType
{
    ConnectEvent = QEvent::User, // 1000
    UpgradeEvent = QEvent::User + 1 // 1001
};

class QConnectEvent : public QEvent
{
public:
    explicit QConnectEvent(int code);
    ~QConnectEvent() override;

    int code;
};

class QUpgradeEvent : public QEvent
{
public:
    explicit QUpgradeEvent(int code);
    ~QUpgradeEvent() override;

    int code;
    int value = 0;
    int extra = -1;
};

class QObject;

// Posts event to receiver, which takes it over; with no receiver the event is
// deleted, so a callback without its device neither leaks nor crashes.
void PostDeviceEvent(QObject* receiver, QEvent* event);
