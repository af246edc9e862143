#pragma once

#include "PageFactory.h"

// The program's operation pages, for the main window.
class OperationPages : public PageFactory
{
public:
    DevicePage* CreatePage(PageIndex index, QWidget* parent) const override;
    LoginPage* CreateLoginPage(QWidget* parent) const override;
    OsdPage* CreateOsdPage(QWidget* parent) const override;
};
