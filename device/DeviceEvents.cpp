#include "DeviceEvents.h"

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
