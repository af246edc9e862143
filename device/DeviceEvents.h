#pragma once

// The events that carry connection and upgrade results from SDK, pool and
// upload threads to a device object on the GUI thread.

#include <QEvent>

#include <functional>

enum DeviceEventType
{
    ConnectEvent = QEvent::User, // 1000
    UpgradeEvent = QEvent::User + 1, // 1001
    CallEvent = QEvent::User + 50, // 1050: QDeviceCallEvent
};

// Code of a QConnectEvent posted to a device: the SDK's connection status codes
// that the status and alarm callbacks pass on, and the codes the program posts
// itself. Codes not named here (4, 106-109) are other SDK failures.
enum ConnectCode : int
{
    ConnectFailed = 2, // also posted when a connection start returns no handle
    ConnectClosed = 3,
    ConnectOk = 101,
    ConnectParamError = 103,
    ConnectRefused = 104,
    LoginFailed = 105,
    ConnectLocked = 112,
    ConnectAlarm = 113,
};

// Code of a QUpgradeEvent: the SDK's upgrade codes, also posted by the HTTP
// upload. Every code but UpgradeProgress and UpgradeTokenReady ends the upgrade.
enum UpgradeCode : int
{
    UpgradeFailed = 390,
    UpgradeSucceeded = 391,
    UpgradeProgress = 394,
    UpgradeReport = 402, // SDK callback only: the record carries code, value and extra
    UpgradeTokenReady = 764,
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

// A call that the receiving device runs on its own thread, in turn with the
// events posted before it; dropped with the device.
class QDeviceCallEvent : public QEvent
{
public:
    explicit QDeviceCallEvent(std::function<void()> call);
    ~QDeviceCallEvent() override;

    std::function<void()> call;
};

class QObject;

// Posts event to receiver, which takes it over; with no receiver the event is
// deleted, so a callback without its device neither leaks nor crashes. Every
// event that leaves another thread for a device goes through here.
void PostDeviceEvent(QObject* receiver, QEvent* event);
// Called by the receiver before it reads an event from PostDeviceEvent. Qt 5's
// event queue lock is invisible to ThreadSanitizer (a futex), so the order it
// gives between posting and handling is restated for the checker; elsewhere
// this does nothing.
void TakePostedEvent(const QObject* receiver);
