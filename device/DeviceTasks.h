#pragma once

// The task entries that pages queue on the task pool, one per operation; the
// argument is the DeviceInfo*. Each stores the operation and connects (or, for
// the exceptions, does what its operation needs); null does nothing.

void ModifyNetworkTask(void* device);
void UpgradeTask(void* device);
void SetFactoryInfoTask(void* device);
void DefaultTask(void* device);
void PTZDefaultTask(void* device);
void ExportParamTask(void* device);
void ImportParamTask(void* device);
void EnableNTPTask(void* device);
void ModifyOnvifNetworkTask(void* device);
void QueryNetworkTask(void* device);
void QueryVersionTask(void* device);
void MatchVersionTask(void* device);
void ChangePasswordTask(void* device);
void QueryStreamTask(void* device);
void SetStreamTask(void* device);
void SetTimeTask(void* device);
void SetOsdTask(void* device);
void QueryOsdTask(void* device);
void RecoveryTask(void* device);
void InitialTask(void* device);
void RebootTask(void* device);
void ChangeDeviceTask(void* device);

class DeviceInfo;

// How a page queues an operation's task entry for a device: the device stays
// busy (DeviceInfo::AddBusy), so no new search frees it, until the operation
// has ended. False when the task could not be queued.
bool QueueDeviceTask(void (*task)(void*), DeviceInfo* device, bool urgent = false);

// Where the dispatch and QueueDeviceTask queue their tasks: the task pool
// unless replaced (a test records them). Returns the function in use before;
// null restores the task pool.
using QueueTaskFunction = bool (*)(void (*function)(void*), void* argument, bool urgent);
QueueTaskFunction SetQueueTaskFunction(QueueTaskFunction function);
// Queues function(argument) where the dispatch queues its pool workers, for
// work within an operation that already holds its device busy.
bool QueuePoolTask(void (*function)(void*), void* argument, bool urgent);
