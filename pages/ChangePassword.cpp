#include "ChangePassword.h"

#include "PageEvents.h"

ChangePassword::ChangePassword(QWidget* parent)
    : DevicePage(parent, PageEvents::WorkFinishedEvent)
{
    setObjectName(QStringLiteral("ChangePassword"));
    CreatePageLayout();
}
