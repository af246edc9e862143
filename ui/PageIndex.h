#pragma once

// The stack index of each page of the main window (fixed insertion order).
enum PageIndex
{
    PageSearch = 0,
    PageUpgrade = 1,
    PageConfig = 2,
    PageDeviceInfo = 3,
    PageImportExport = 4,
    PageExportExcel = 5,
    PageExtranetSearch = 6,
    PageChangePassword = 7,
    PageStreamConfig = 8,
    PageOSDConfig = 9,
    PageRecoveryDevice = 10,
    PageInitialDevice = 11,
    PageRebootDevice = 12,
    PageChangeDevice = 13,
    PageCount = 14
};
