#pragma once

#include "DevicePage.h"

// The Excel export page (page 5): writes the listed devices to an .xlsx workbook.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class ExportExcel : public DevicePage
{
    Q_OBJECT

public:
    explicit ExportExcel(QWidget* parent = nullptr);
};
