#pragma once

#include <QEvent>

class QObject;

// Results that SDK and pool threads hand to a device on the GUI thread.
enum DeviceEventType
{
    ConnectEvent = QEvent::User, // 1000
    UpgradeEvent = QEvent::User + 1, // 1001
};

class QConnectEvent : public QEvent
{
public:
    explicit QConnectEvent(int code)
        : QEvent(static_cast<QEvent::Type>(ConnectEvent))
        , code(code)
    {
    }
    ~QConnectEvent() override;

    int code;
};

class QUpgradeEvent : public QEvent
{
public:
    explicit QUpgradeEvent(int code)
        : QEvent(static_cast<QEvent::Type>(UpgradeEvent))
        , code(code)
    {
    }
    ~QUpgradeEvent() override;

    int code;
    int value = 0;
    int extra = -1;
};

// Posts event to receiver, which takes it over; with no receiver the event is
// deleted, so a callback without its device neither leaks nor crashes.
void PostDeviceEvent(QObject* receiver, QEvent* event);
