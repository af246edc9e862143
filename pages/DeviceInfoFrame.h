#pragma once

#include "DevicePage.h"

// The device information page (page 3): queries and sets the checked devices' information.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class DeviceInfoFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit DeviceInfoFrame(QWidget* parent = nullptr);
};
