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
    if (receiver)
        QCoreApplication::postEvent(receiver, event);
    else
        delete event;
}
