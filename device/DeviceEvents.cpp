#include "DeviceEvents.h"

#include <QCoreApplication>

QConnectEvent::QConnectEvent(int code)
    : QEvent(static_cast<QEvent::Type>(ConnectEvent))
    , code(code)
{
}

QConnectEvent::~QConnectEvent() = default;

QUpgradeEvent::QUpgradeEvent(int code)
    : QEvent(static_cast<QEvent::Type>(UpgradeEvent))
    , code(code)
{
}

QUpgradeEvent::~QUpgradeEvent() = default;

void PostDeviceEvent(QObject* receiver, QEvent* event)
{
    if (!receiver) {
        delete event;
        return;
    }
    std::lock_guard<std::mutex> lock(DeviceHandoverMutex());
    QCoreApplication::postEvent(receiver, event);
}

std::mutex& DeviceHandoverMutex()
{
    // Never destroyed: events may be posted from threads that outlive main.
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
