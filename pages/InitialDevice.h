#pragma once

#include "DevicePage.h"

// The initialise page (page 11): gives new devices their first password.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class InitialDevice : public DevicePage
{
    Q_OBJECT

public:
    explicit InitialDevice(QWidget* parent = nullptr);
};
