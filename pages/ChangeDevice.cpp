#include "ChangeDevice.h"

#include "PageEvents.h"

ChangeDevice::ChangeDevice(QWidget* parent)
    : DevicePage(parent, PageEvents::ChangeDeviceWorkFinishedEvent)
{
    setObjectName(QStringLiteral("ChangeDevice"));
    CreatePageLayout();
}
