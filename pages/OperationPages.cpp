#include "OperationPages.h"

#include "ChangeDevice.h"
#include "ChangePassword.h"
#include "DeviceInfoFrame.h"
#include "ExportExcel.h"
#include "ImportExportFrame.h"
#include "InitPwdBox.h"
#include "InitialDevice.h"
#include "LoginFrame.h"
#include "OSDConfig.h"
#include "RebootDevice.h"
#include "RecoveryDevice.h"
#include "StreamConfigFrame.h"
#include "UpgradeFrame.h"

DevicePage* OperationPages::CreatePage(PageIndex index, QWidget* parent) const
{
    switch (index) {
    case PageUpgrade: return new UpgradeFrame(parent);
    case PageDeviceInfo: return new DeviceInfoFrame(parent);
    case PageImportExport: return new ImportExportFrame(parent);
    case PageExportExcel: return new ExportExcel(parent);
    case PageChangePassword: return new ChangePassword(parent);
    case PageStreamConfig: return new StreamConfigFrame(parent);
    case PageRecoveryDevice: return new RecoveryDevice(parent);
    case PageInitialDevice: return new InitialDevice(parent);
    case PageRebootDevice: return new RebootDevice(parent);
    case PageChangeDevice: return new ChangeDevice(parent);
    default: return nullptr;
    }
}

LoginPage* OperationPages::CreateLoginPage(QWidget* parent) const
{
    // The program's login page asks for a first password through the box.
    LoginFrame::SetFirstPasswordPrompt(&InitPwdBox::Ask);
    return new LoginFrame(parent);
}

OsdPage* OperationPages::CreateOsdPage(QWidget* parent) const
{
    return new OSDConfig(parent);
}
