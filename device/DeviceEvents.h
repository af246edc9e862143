#pragma once

// The events that carry connection and upgrade results from SDK, pool and
// upload threads to a device object on the GUI thread.

#include <QEvent>
#include <QMetaObject>

#include <mutex>
#include <utility>

enum DeviceEventType
{
    ConnectEvent = QEvent::User, // 1000
    UpgradeEvent = QEvent::User + 1 // 1001
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

class QObject;

// Posts event to receiver, which takes it over; with no receiver the event is
// deleted, so a callback without its device neither leaks nor crashes.
void PostDeviceEvent(QObject* receiver, QEvent* event);

// Qt 5 hands a posted event or a queued call to the receiving thread under a
// futex-based mutex that ThreadSanitizer does not see. Posters and receivers
// of device events and calls also pass this standard mutex, so that it sees
// the ordering Qt gives: posters hold it while posting, receivers take it
// (AcceptDeviceHandover) before they read what was handed over.
std::mutex& DeviceHandoverMutex();

inline void AcceptDeviceHandover()
{
    std::lock_guard<std::mutex> lock(DeviceHandoverMutex());
}

// Runs call on receiver's thread later, in posting order; dropped if receiver
// is deleted first.
template <typename Call> void QueueDeviceCall(QObject* receiver, Call call)
{
    std::lock_guard<std::mutex> lock(DeviceHandoverMutex());
    QMetaObject::invokeMethod(
        receiver,
        [call = std::move(call)]() mutable {
            AcceptDeviceHandover();
            call();
        },
        Qt::QueuedConnection);
}
