#include "InitialDevice.h"

#include "PageEvents.h"

InitialDevice::InitialDevice(QWidget* parent)
    : DevicePage(parent, PageEvents::InitialWorkFinishedEvent)
{
    setObjectName(QStringLiteral("InitialDevice"));
    CreatePageLayout();
}
