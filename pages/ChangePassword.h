#pragma once

#include "DevicePage.h"

// The change-password page (page 7): changes the checked devices' passwords.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class ChangePassword : public DevicePage
{
    Q_OBJECT

public:
    explicit ChangePassword(QWidget* parent = nullptr);
};
