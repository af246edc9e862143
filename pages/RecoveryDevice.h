#pragma once

#include "DevicePage.h"

// The restore-defaults page (page 10): restores chosen parameter groups of the checked devices.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class RecoveryDevice : public DevicePage
{
    Q_OBJECT

public:
    explicit RecoveryDevice(QWidget* parent = nullptr);
};
