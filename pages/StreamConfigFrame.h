#pragma once

#include "DevicePage.h"

// The stream configuration page (page 8): sets the checked devices' video streams.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class StreamConfigFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit StreamConfigFrame(QWidget* parent = nullptr);
};
