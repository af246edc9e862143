#pragma once

#include "DevicePage.h"

// The IP-range search page (page 6): searches a range of addresses typed by
// the user. The range search and its table come with the search work; this
// is the page's frame and its part in the main window.
class ExtranetsearchFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit ExtranetsearchFrame(QWidget* parent = nullptr);
    ~ExtranetsearchFrame() override;
};
