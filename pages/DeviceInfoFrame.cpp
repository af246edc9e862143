#include "DeviceInfoFrame.h"

#include "PageEvents.h"

DeviceInfoFrame::DeviceInfoFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::DeviceInfoWorkFinishedEvent)
{
    setObjectName(QStringLiteral("DeviceInfoFrame"));
    CreatePageLayout();
}
