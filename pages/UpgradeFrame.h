#pragma once

#include "DevicePage.h"

// The firmware upgrade page (page 1): upgrades the checked devices with a firmware file.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class UpgradeFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit UpgradeFrame(QWidget* parent = nullptr);
};
