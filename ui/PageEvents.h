#pragma once

#include <QEvent>

// Plain events a page posts to itself.
namespace PageEvents
{
constexpr QEvent::Type SearchFinishedEvent = static_cast<QEvent::Type>(1002);
constexpr QEvent::Type SearchWorkFinishedEvent = static_cast<QEvent::Type>(1003);
constexpr QEvent::Type WorkFinishedEvent = static_cast<QEvent::Type>(1004);
constexpr QEvent::Type DeviceInfoWorkFinishedEvent = static_cast<QEvent::Type>(1006);
constexpr QEvent::Type RecoveryWorkFinishedEvent = static_cast<QEvent::Type>(1008);
constexpr QEvent::Type InitialWorkFinishedEvent = static_cast<QEvent::Type>(1010);
constexpr QEvent::Type RebootWorkFinishedEvent = static_cast<QEvent::Type>(1012);
constexpr QEvent::Type ChangeDeviceWorkFinishedEvent = static_cast<QEvent::Type>(1014);
} // namespace PageEvents
