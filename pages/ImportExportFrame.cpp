#include "ImportExportFrame.h"

#include "PageEvents.h"

ImportExportFrame::ImportExportFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::WorkFinishedEvent)
{
    setObjectName(QStringLiteral("ImportExportFrame"));
    CreatePageLayout();
}
