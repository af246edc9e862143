#include "RebootDevice.h"

#include "PageEvents.h"

RebootDevice::RebootDevice(QWidget* parent)
    : DevicePage(parent, PageEvents::RebootWorkFinishedEvent)
{
    setObjectName(QStringLiteral("RebootDevice"));
    CreatePageLayout();
}
