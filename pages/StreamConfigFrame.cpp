#include "StreamConfigFrame.h"

#include "PageEvents.h"

StreamConfigFrame::StreamConfigFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::WorkFinishedEvent)
{
    setObjectName(QStringLiteral("StreamConfigFrame"));
    CreatePageLayout();
}
