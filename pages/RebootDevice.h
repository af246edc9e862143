#pragma once

#include "DevicePage.h"

// The reboot page (page 12): reboots the checked devices.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class RebootDevice : public DevicePage
{
    Q_OBJECT

public:
    explicit RebootDevice(QWidget* parent = nullptr);
};
