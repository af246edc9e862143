#include "RecoveryDevice.h"

#include "PageEvents.h"

RecoveryDevice::RecoveryDevice(QWidget* parent)
    : DevicePage(parent, PageEvents::RecoveryWorkFinishedEvent)
{
    setObjectName(QStringLiteral("RecoveryDevice"));
    CreatePageLayout();
}
