#pragma once

#include "DevicePage.h"

// The change-device page (page 13): changes the checked devices' name and type.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class ChangeDevice : public DevicePage
{
    Q_OBJECT

public:
    explicit ChangeDevice(QWidget* parent = nullptr);
};
