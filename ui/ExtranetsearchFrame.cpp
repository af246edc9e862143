#include "ExtranetsearchFrame.h"

#include "PageEvents.h"

// A range search ends with the search-finished event, which unlocks the tool bar.
ExtranetsearchFrame::ExtranetsearchFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::SearchFinishedEvent)
{
    setObjectName(QStringLiteral("ExtranetsearchFrame"));
    CreatePageLayout();
}

ExtranetsearchFrame::~ExtranetsearchFrame() = default;
