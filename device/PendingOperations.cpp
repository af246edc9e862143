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

void ModifyNetwork(DeviceInfo* device)
{
    DirectFails(device);
}

void ModifyOnvifNetwork(DeviceInfo* device)
{
    DirectFails(device);
}

void WriteFactoryInfo(DeviceInfo* device)
{
    DirectFails(device);
}

void RestorePtzDefaults(DeviceInfo* device)
{
    DirectFails(device);
}

void EnableNtp(DeviceInfo* device)
{
    DirectFails(device);
}

void QueryOnvifNetwork(DeviceInfo* device)
{
    DirectFails(device);
}

void QueryVersion(DeviceInfo* device)
{
    DirectFails(device);
}

void ResetDevice(DeviceInfo* device)
{
    WorkerFails(device);
}

void ResetDeviceGroups(DeviceInfo* device)
{
    WorkerFails(device);
}

void RebootDevice(DeviceInfo* device)
{
    WorkerFails(device);
}

void ChangeDeviceInfo(DeviceInfo* device)
{
    WorkerFails(device);
}
} // namespace DeviceOps
