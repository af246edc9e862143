#include "UpgradeFrame.h"

#include "PageEvents.h"

UpgradeFrame::UpgradeFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::WorkFinishedEvent)
{
    setObjectName(QStringLiteral("UpgradeFrame"));
    CreatePageLayout();
}
