#include "ExportExcel.h"

#include "PageEvents.h"

ExportExcel::ExportExcel(QWidget* parent)
    : DevicePage(parent, PageEvents::WorkFinishedEvent)
{
    setObjectName(QStringLiteral("ExportExcel"));
    CreatePageLayout();
}
