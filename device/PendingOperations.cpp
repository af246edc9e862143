// Stand-ins for the device operations whose workers are not written yet. Each
// ends exactly as its operation ends when it fails, never as a success, so a
// batch that reaches one finishes with a failure status. Each is replaced by
// the real operation in a file of its own, and then removed from here.

#include "DeviceInfo.h"
#include "DeviceOperations.h"
#include "ZVNet.h"

namespace DeviceOps
{
namespace
{
void DirectFails(DeviceInfo* device)
{
    device->m_status = StatusFailed;
}

void WorkerFails(DeviceInfo* device)
{
    device->EndWorker(StatusFailed);
}
} // namespace

void ExportParam(DeviceInfo* device)
{
    DirectFails(device);
}

void UpgradeFirmware(DeviceInfo* device)
{
    PostDeviceEvent(device, new QUpgradeEvent(UpgradeFailed));
}

void StopUpgrade(DeviceInfo* device)
{
    if (device->m_upgradeHandle != 0)
        ZVNetStopRemoteUpgrade(&device->m_upgradeHandle);
    device->m_upgradeHandle = 0;
    device->m_upgradeProgress = 0;
}

void MarkUploadResultHandled(QThread*)
{
}

void ImportParam(DeviceInfo* device)
{
    WorkerFails(device);
}

void ChangeUserPassword(DeviceInfo* device)
{
    WorkerFails(device);
}

void GetStreamConfig(DeviceInfo* device)
{
    WorkerFails(device);
}

void SetStreamConfig(DeviceInfo* device)
{
    WorkerFails(device);
}

void SyncDateTime(DeviceInfo* device)
{
    WorkerFails(device);
}

void SetOsdConfig(DeviceInfo* device)
{
    WorkerFails(device);
}

void GetOsdConfig(DeviceInfo* device)
{
    WorkerFails(device);
}

void InitializeDevice(DeviceInfo* device)
{
    WorkerFails(device);
}
} // namespace DeviceOps
