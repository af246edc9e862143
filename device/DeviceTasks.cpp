#include "DeviceTasks.h"

#include "DeviceInfo.h"
#include "DeviceOperations.h"
#include "DeviceThread.h"
#include "Guarded.h"
#include "ZVAppSetting.h"

namespace
{
// An attempt that fails before its connection started still ends through
// the dispatch, like any other connection failure.
void Connect(DeviceInfo* device, void (DeviceInfo::*start)())
{
    if (!RunGuarded("connect", [&] { (device->*start)(); }))
        PostDeviceEvent(device, new QConnectEvent(ConnectFailed));
}

void ConnectFor(void* argument, int operation)
{
    auto* device = static_cast<DeviceInfo*>(argument);
    if (!device)
        return;
    device->m_operation = operation;
    Connect(device, &DeviceInfo::ConnectDevice);
}

// The end of an operation that needs no connection. It runs on the device's
// thread, after the record changes the operation handed there; reported is
// set when the operation has told its pages itself.
void EndWithoutConnection(DeviceInfo* device, int status, bool reported)
{
    RunGuarded("task end", [=] {
        if (status != StatusConnected)
            device->m_status = status;
        RunOnDeviceThread(device, [device, reported] {
            RunGuarded("task end", [device, reported] {
                device->Logout("task");
                if (reported)
                    device->ReleaseBusy();
                else
                    device->EndOperation(true);
            });
        });
    });
}
} // namespace

void ModifyNetworkTask(void* argument)
{
    auto* device = static_cast<DeviceInfo*>(argument);
    if (!device)
        return;
    device->m_operation = OpModifyNetwork;
    if (UsesHttpApi()) {
        Connect(device, &DeviceInfo::ConnectDevice);
        return;
    }
    // The SDK changes the settings by the device's current address.
    const bool ran = RunGuarded("network", [device] { DeviceOps::ModifyNetwork(device); });
    EndWithoutConnection(device, ran ? StatusConnected : StatusFailed, ran);
}

void UpgradeTask(void* device)
{
    ConnectFor(device, OpUpgrade);
}

void SetFactoryInfoTask(void* device)
{
    ConnectFor(device, OpSetFactoryInfo);
}

void DefaultTask(void* device)
{
    ConnectFor(device, OpDefault);
}

void PTZDefaultTask(void* device)
{
    ConnectFor(device, OpPTZDefault);
}

void ExportParamTask(void* device)
{
    ConnectFor(device, OpExportParam);
}

void ImportParamTask(void* device)
{
    ConnectFor(device, OpImportParam);
}

void EnableNTPTask(void* device)
{
    ConnectFor(device, OpEnableNTP);
}

void ModifyOnvifNetworkTask(void* device)
{
    ConnectFor(device, OpModifyOnvifNetwork);
}

void QueryNetworkTask(void* device)
{
    ConnectFor(device, OpQueryNetwork);
}

void QueryVersionTask(void* device)
{
    ConnectFor(device, OpQueryVersion);
}

void MatchVersionTask(void* device)
{
    ConnectFor(device, OpMatchVersion);
}

void ChangePasswordTask(void* device)
{
    ConnectFor(device, OpChangePassword);
}

void QueryStreamTask(void* device)
{
    ConnectFor(device, OpQueryStream);
}

void SetStreamTask(void* device)
{
    ConnectFor(device, OpSetStream);
}

void SetTimeTask(void* device)
{
    ConnectFor(device, OpSetTime);
}

void SetOsdTask(void* device)
{
    ConnectFor(device, OpSetOsd);
}

void QueryOsdTask(void* device)
{
    ConnectFor(device, OpQueryOsd);
}

void RecoveryTask(void* argument)
{
    auto* device = static_cast<DeviceInfo*>(argument);
    if (!device)
        return;
    // The groups come from one of the two setters; anything else has nothing
    // to restore, and the page still hears that the device is done.
    if (device->m_resetMode != 0 && device->m_resetMode != 1) {
        EndWithoutConnection(device, StatusFailed, false);
        return;
    }
    ConnectFor(device, OpRecovery);
}

void InitialTask(void* argument)
{
    auto* device = static_cast<DeviceInfo*>(argument);
    if (!device)
        return;
    device->m_operation = OpInitial;
    Connect(device, &DeviceInfo::CheckFirstLogin);
}

void RebootTask(void* device)
{
    ConnectFor(device, OpReboot);
}

void ChangeDeviceTask(void* device)
{
    ConnectFor(device, OpChangeDevice);
}
