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
