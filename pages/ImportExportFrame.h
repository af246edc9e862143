#pragma once

#include "DevicePage.h"

// The import/export page (page 4): exports and imports the checked devices' parameters.
// The page's form and its operation come with the page's own work; the
// batch, filter and completion handling are DevicePage's.
class ImportExportFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit ImportExportFrame(QWidget* parent = nullptr);
};
