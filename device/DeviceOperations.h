#pragma once

// The device operations that run once a device is connected for them. The
// dispatch (DeviceInfo::customEvent, DeviceDispatch.cpp) decides when and on
// which thread each runs; every operation lives in a file of its own.

class DeviceInfo;
class QThread;

namespace DeviceOps
{
// Direct operations: run on the GUI thread inside customEvent once the
// connection is up (m_status is 0). They store their result in m_status and
// return; customEvent then logs out and tells the pages the device finished.
// They neither log out nor report themselves.
void ModifyNetwork(DeviceInfo* device); // also run by ModifyNetworkTask on a pool thread, without a connection
void ModifyOnvifNetwork(DeviceInfo* device);
void ExportParam(DeviceInfo* device);
void WriteFactoryInfo(DeviceInfo* device); // OpSetFactoryInfo
void RestorePtzDefaults(DeviceInfo* device); // OpPTZDefault
void EnableNtp(DeviceInfo* device); // OpEnableNTP
void QueryOnvifNetwork(DeviceInfo* device); // OpQueryNetwork
void QueryVersion(DeviceInfo* device); // OpQueryVersion

// The upgrade: started on the GUI thread by customEvent, which reports the
// device not finished and keeps it connected; the HTTP JSON API's key and
// token requests run on a pool thread, not there. It ends with a final
// QUpgradeEvent posted to the device (also when it cannot start), on which
// customEvent calls StopUpgrade, logs out and tells the upgrade page.
void UpgradeFirmware(DeviceInfo* device);
void StopUpgrade(DeviceInfo* device);
// Called by checkUpgradeResult before it ends and deletes the upload thread.
void MarkUploadResultHandled(QThread* uploadThread);
// Interrupts a running upload and waits for it within a bound: true when it
// has ended and may be deleted; otherwise it deletes itself once it ends and
// reports to nobody.
bool StopUpload(QThread* uploadThread);

// Pool workers: queued on the task pool by customEvent once the connection is
// up. Each ends on every path with device->EndWorker(status) (status, logout,
// report with finished false on the GUI thread). An exception that leaves a
// worker ends the device with StatusFailed.
void ResetDevice(DeviceInfo* device); // OpDefault
void ImportParam(DeviceInfo* device); // OpImportParam
void ChangeUserPassword(DeviceInfo* device); // OpChangePassword
void GetStreamConfig(DeviceInfo* device); // OpQueryStream
void SetStreamConfig(DeviceInfo* device); // OpSetStream
void SyncDateTime(DeviceInfo* device); // OpSetTime
void SetOsdConfig(DeviceInfo* device); // OpSetOsd
void GetOsdConfig(DeviceInfo* device); // OpQueryOsd
void ResetDeviceGroups(DeviceInfo* device); // OpRecovery
void InitializeDevice(DeviceInfo* device); // OpInitial
void RebootDevice(DeviceInfo* device); // OpReboot
void ChangeDeviceInfo(DeviceInfo* device); // OpChangeDevice
} // namespace DeviceOps
