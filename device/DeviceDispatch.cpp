// What happens on the GUI thread when a connection or upgrade result reaches a
// device: failures become a status, a connected device runs its pending
// operation, and the requesting pages hear about it.

#include "DeviceInfo.h"

#include "DeviceOperations.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "DeviceThread.h"
#include "Guarded.h"
#include "TaskPool.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

#include <chrono>
#include <memory>

namespace
{
enum class Route
{
    Direct, // run inside the event handler, then logout and finished
    Upgrade, // started inside the event handler; ends with a final upgrade event
    Pool, // queued on the task pool; the worker logs out and reports
};

struct OperationRoute
{
    int operation;
    Route route;
    void (*direct)(DeviceInfo*); // Direct: null runs nothing
    void (*worker)(void*); // Pool
    bool urgent;
    bool finishedWhenQueued;
    int statusWhenQueued; // StatusConnected: left as it is
};

template <void (*Worker)(DeviceInfo*)> void RunWorker(void* argument)
{
    auto* device = static_cast<DeviceInfo*>(argument);
    if (device && !RunGuarded("worker", [device] { Worker(device); }))
        RunGuarded("worker end", [device] { device->EndWorker(StatusFailed); });
}

constexpr OperationRoute Direct(int operation, void (*direct)(DeviceInfo*))
{
    return { operation, Route::Direct, direct, nullptr, false, true, StatusConnected };
}

constexpr OperationRoute Pool(
    int operation, void (*worker)(void*), bool urgent, bool finishedWhenQueued, int statusWhenQueued = StatusConnected)
{
    return { operation, Route::Pool, nullptr, worker, urgent, finishedWhenQueued, statusWhenQueued };
}

using namespace DeviceOps;

constexpr OperationRoute kRoutes[] = {
    Direct(OpModifyNetwork, &ModifyNetwork),
    { OpUpgrade, Route::Upgrade, nullptr, nullptr, false, false, StatusConnected },
    Direct(OpSetFactoryInfo, &WriteFactoryInfo),
    Pool(OpDefault, &RunWorker<&ResetDevice>, true, true),
    Direct(OpPTZDefault, &RestorePtzDefaults),
    Direct(OpExportParam, &ExportParam),
    Pool(OpImportParam, &RunWorker<&ImportParam>, true, true),
    Direct(OpEnableNTP, &EnableNtp),
    Direct(OpModifyOnvifNetwork, &ModifyOnvifNetwork),
    Direct(OpQueryNetwork, &QueryOnvifNetwork),
    Direct(OpQueryVersion, &QueryVersion),
    Direct(OpMatchVersion, nullptr), // the connection itself is the answer
    Pool(OpChangePassword, &RunWorker<&ChangeUserPassword>, true, false),
    Pool(OpQueryStream, &RunWorker<&GetStreamConfig>, true, false),
    Pool(OpSetStream, &RunWorker<&SetStreamConfig>, false, false),
    Pool(OpSetTime, &RunWorker<&SyncDateTime>, false, false),
    Pool(OpSetOsd, &RunWorker<&SetOsdConfig>, false, false),
    Pool(OpQueryOsd, &RunWorker<&GetOsdConfig>, false, false),
    Pool(OpRecovery, &RunWorker<&ResetDeviceGroups>, false, false),
    Pool(OpInitial, &RunWorker<&InitializeDevice>, false, false),
    Pool(OpReboot, &RunWorker<&RebootDevice>, false, false, StatusRebooting),
    Pool(OpChangeDevice, &RunWorker<&ChangeDeviceInfo>, false, false, StatusChanging),
};

// Any other operation code only logs out and reports.
constexpr OperationRoute kNoOperation = Direct(-1, nullptr);

const OperationRoute& FindRoute(int operation)
{
    for (const OperationRoute& route : kRoutes) {
        if (route.operation == operation)
            return route;
    }
    return kNoOperation;
}

int FailureStatus(int code)
{
    switch (code) {
    case ConnectParamError: return StatusParamError;
    case ConnectRefused:
    case ConnectLocked: return StatusRefused;
    case ConnectAlarm: return StatusAlarm;
    default: return StatusConnectFailed;
    }
}

struct UpgradeOutcome
{
    int status;
    bool final;
};

UpgradeOutcome UpgradeOutcomeOf(int code)
{
    switch (code) {
    case UpgradeFailed: return { StatusUpgradeFailed, true };
    case UpgradeSucceeded: return { StatusUpgradeOk, true };
    case 392: return { StatusUpgrade392, true };
    case 393: return { StatusUpgrade393, true };
    case UpgradeProgress: return { StatusUpgrading, false };
    case 395: return { StatusUpgrade395, true };
    case 396: return { StatusUpgrade396, true };
    case UpgradeTokenReady: return { StatusUpgrade764, false };
    default: return { StatusUpgradeError, true };
    }
}

bool QueueOnPool(void (*function)(void*), void* argument, bool urgent)
{
    return TaskPool::Instance()->AddTask(function, argument, urgent);
}

std::atomic<QueueTaskFunction> g_queueTask { nullptr };
} // namespace

QueueTaskFunction SetQueueTaskFunction(QueueTaskFunction function)
{
    return g_queueTask.exchange(function);
}

bool QueuePoolTask(void (*function)(void*), void* argument, bool urgent)
{
    const QueueTaskFunction queue = g_queueTask.load();
    return (queue ? queue : &QueueOnPool)(function, argument, urgent);
}

void DeviceInfo::customEvent(QEvent* event)
{
    TakePostedEvent(this);
    if (event->type() == static_cast<QEvent::Type>(ConnectEvent)) {
        const int code = static_cast<QConnectEvent*>(event)->code;
        RunGuarded("connect event", [this, code] { OnConnectEvent(code); });
    } else if (event->type() == static_cast<QEvent::Type>(UpgradeEvent)) {
        const QUpgradeEvent& upgrade = *static_cast<QUpgradeEvent*>(event);
        RunGuarded("upgrade event", [this, &upgrade] { OnUpgradeEvent(upgrade); });
    } else if (event->type() == static_cast<QEvent::Type>(CallEvent)) {
        const QDeviceCallEvent& call = *static_cast<QDeviceCallEvent*>(event);
        if (call.call)
            RunGuarded("device call", call.call);
    } else {
        QObject::customEvent(event);
    }
}

void DeviceInfo::OnConnectEvent(int code)
{
    bool awaited = false;
    {
        // ConnectDevice stores the handle under the lock; a result that comes
        // before is handled once it has.
        std::lock_guard<std::mutex> lock(m_connectMutex);
        if (m_bStarting) {
            m_earlyResults.push_back(code);
            return;
        }
        awaited = m_bAwaitingConnect.exchange(false);
    }
    // Only the first result ends an attempt: a second report of a failed start,
    // or a link that drops while a worker uses the connection, changes nothing.
    if (!awaited) {
        qDebug() << "conn=== ignored" << code << Ip();
        return;
    }
    if (code != ConnectOk) {
        m_status = FailureStatus(code);
        LogoutAndEnd("connect");
        return;
    }
    m_status = StatusConnected;
    RunConnectedOperation();
}

void DeviceInfo::RunConnectedOperation()
{
    const OperationRoute& route = FindRoute(m_operation);
    switch (route.route) {
    case Route::Direct:
        // The operation's SDK, SOAP and HTTP calls wait on the device: they
        // run on a pool thread, which then logs out and reports.
        if (!RunOffDeviceThread([this] { RunDirectOperation(); })) {
            m_status = StatusFailed;
            Logout("operation");
            EndOperation(true);
        }
        return;
    case Route::Upgrade:
        m_bUpgradeEnded = false;
        m_upgradeEvents = 0;
        ++m_upgradeAttempt;
        if (!RunGuarded("upgrade", [this] { DeviceOps::UpgradeFirmware(this); }))
            PostDeviceEvent(this, new QUpgradeEvent(UpgradeFailed));
        NotifyRequesters(false);
        return;
    case Route::Pool: {
        if (route.statusWhenQueued != StatusConnected)
            m_status = route.statusWhenQueued;
        // The pages hear first, so that their row refresh never runs beside
        // the worker.
        NotifyRequesters(route.finishedWhenQueued);
        if (!QueuePoolTask(route.worker, this, route.urgent)) {
            m_status = StatusFailed;
            LogoutAndEnd("queue");
        }
        return;
    }
    }
}

void DeviceInfo::RunDirectOperation()
{
    const OperationRoute& route = FindRoute(m_operation);
    if (route.direct && !RunGuarded("operation", [&] { route.direct(this); }))
        m_status = StatusFailed;
    RunGuarded("operation logout", [this] { Logout("operation"); });
    EndOperation(true);
}

void DeviceInfo::LogoutAndEnd(const char* caller)
{
    auto end = [this, caller] {
        RunGuarded("logout", [this, caller] { Logout(caller); });
        EndOperation(true);
    };
    if (!RunOffDeviceThread(end))
        end();
}

void DeviceInfo::OnUpgradeEvent(const QUpgradeEvent& event)
{
    // The first final report has ended the upgrade; what the SDK or the
    // upload still sends after it changes nothing.
    if (m_bUpgradeEnded) {
        qDebug() << "upgrade=== ignored" << event.code << Ip();
        return;
    }
    ++m_upgradeEvents;
    const UpgradeOutcome outcome = UpgradeOutcomeOf(event.code);
    if (outcome.final) {
        m_bUpgradeEnded = true;
        EndUpgrade(outcome.status);
        return;
    }
    if (event.code == UpgradeProgress)
        m_upgradeProgress = event.value;
    m_status = outcome.status;
    NotifyRequesters(false, RequesterUpgrade);
}

void DeviceInfo::EndUpgrade(int status)
{
    // Stopping the SDK upgrade and the logout may wait on the device.
    auto end = [this, status] {
        RunGuarded("stop upgrade", [this] { DeviceOps::StopUpgrade(this); });
        RunGuarded("logout", [this] { Logout("upgrade"); });
        m_status = status;
        EndOperation(true, RequesterUpgrade);
    };
    if (!RunOffDeviceThread(end))
        end();
}

void DeviceInfo::checkUpgradeResult(bool ok)
{
    PostDeviceEvent(this, new QUpgradeEvent(ok ? UpgradeSucceeded : UpgradeFailed));
    QThread* upload = m_pUpgradeThread;
    m_pUpgradeThread = nullptr;
    if (!upload)
        return;
    RunGuarded("upload result", [upload] { DeviceOps::MarkUploadResultHandled(upload); });
    // The thread may be deleted only once its run() has returned.
    upload->quit();
    upload->wait();
    delete upload;
}

void DeviceInfo::EndWorker(int status, unsigned requesters, std::function<void(DeviceInfo&)> shown)
{
    // Counted until the logout has been handed on, so that the device is not
    // deleted meanwhile and HasOffThreadWork shows the end in progress.
    {
        std::lock_guard<std::mutex> lock(m_workMutex);
        ++m_workInFlight;
    }
    // Ends the count when the call below has run, or when it is dropped with
    // the device.
    struct WorkEnd
    {
        DeviceInfo* device;
        ~WorkEnd() { device->EndOffThreadWork(); }
    };
    const std::shared_ptr<WorkEnd> end(new WorkEnd { this });
    m_status = status;
    // The pages hear of the result first, on the device's thread; the logout
    // follows on a pool thread, and the device is released after it.
    RunOnDeviceThread(this, [this, requesters, end, shown = std::move(shown)] {
        if (shown)
            RunGuarded("worker values", [this, &shown] { shown(*this); });
        CallRequesters(false, requesters);
        auto logout = [this] {
            RunGuarded("worker logout", [this] { Logout("worker"); });
            RunOnDeviceThread(this, [this] { ReleaseBusy(); });
        };
        if (!RunOffDeviceThread(logout))
            logout();
    });
}

void DeviceInfo::EndOffThreadWork()
{
    std::lock_guard<std::mutex> lock(m_workMutex);
    if (--m_workInFlight == 0)
        m_workDone.notify_all();
}

bool DeviceInfo::HasOffThreadWork() const
{
    std::lock_guard<std::mutex> lock(m_workMutex);
    return m_workInFlight > 0;
}

bool DeviceInfo::RunOffDeviceThread(std::function<void()> work)
{
    struct Job
    {
        DeviceInfo* device;
        std::function<void()> work;
    };
    TaskPool* pool = TaskPool::Instance();
    if (!work || pool->IsStopping())
        return false;
    {
        std::lock_guard<std::mutex> lock(m_workMutex);
        ++m_workInFlight;
    }
    auto run = [](void* argument) {
        std::unique_ptr<Job> job(static_cast<Job*>(argument));
        DeviceInfo* device = job->device;
        RunGuarded("device work", job->work);
        job.reset();
        device->EndOffThreadWork();
    };
    // Urgent: the work ends an operation whose connection is already open.
    if (pool->AddTask(run, new Job { this, std::move(work) }, true))
        return true;
    std::lock_guard<std::mutex> lock(m_workMutex);
    --m_workInFlight;
    return false;
}

void DeviceInfo::WaitForOffThreadWork()
{
    for (;;) {
        // A call the work waits for on this thread (a save question, a record
        // change) is dropped, which lets the work go on.
        TakePostedEvent(this);
        QCoreApplication::removePostedEvents(this);
        std::unique_lock<std::mutex> lock(m_workMutex);
        // A shutdown drops queued work that will then never run; past that the
        // process ends without deleting what is still in use.
        if (m_workInFlight == 0 || TaskPool::Instance()->IsStopping())
            return;
        m_workDone.wait_for(lock, std::chrono::milliseconds(20));
    }
}

bool QueueDeviceTask(void (*task)(void*), DeviceInfo* device, bool urgent)
{
    if (!task || !device)
        return false;
    device->AddBusy();
    if (QueuePoolTask(task, device, urgent))
        return true;
    device->ReleaseBusy();
    return false;
}

void DeviceInfo::AddBusy()
{
    ++m_busyCount;
}

void DeviceInfo::ReleaseBusy()
{
    if (m_busyCount > 0)
        --m_busyCount;
    if (m_busyCount == 0 && m_bDeleteWhenIdle) {
        m_bDeleteWhenIdle = false;
        // Often called from inside this device's own event handler.
        deleteLater();
    }
}

void DeviceInfo::DeleteWhenIdle()
{
    if (m_busyCount > 0)
        m_bDeleteWhenIdle = true;
    else
        delete this;
}

void DeviceInfo::EndOperation(bool finished, unsigned requesters)
{
    if (QThread::currentThread() == thread()) {
        CallRequesters(finished, requesters);
        ReleaseBusy();
        return;
    }
    // The release follows the report, so the pages hear before the device can go.
    PostDeviceEvent(this, new QDeviceCallEvent([this, finished, requesters] {
        CallRequesters(finished, requesters);
        ReleaseBusy();
    }));
}

void DeviceInfo::NotifyRequesters(bool finished, unsigned requesters)
{
    if (QThread::currentThread() == thread()) {
        CallRequesters(finished, requesters);
        return;
    }
    // Tied to the device: dropped if the device is deleted before it runs.
    PostDeviceEvent(this, new QDeviceCallEvent([this, finished, requesters] { CallRequesters(finished, requesters); }));
}

void DeviceInfo::CallRequesters(bool finished, unsigned requesters)
{
    struct Page
    {
        Requester family;
        DeviceTaskListener* DeviceInfo::*listener;
    };
    static constexpr Page kPages[] = {
        { RequesterSearch, &DeviceInfo::m_pSearchFrame },
        { RequesterUpgrade, &DeviceInfo::m_pUpgradeFrame },
        { RequesterImportExport, &DeviceInfo::m_pImportExportFrame },
        { RequesterChangePassword, &DeviceInfo::m_pChangePassword },
        { RequesterExportExcel, &DeviceInfo::m_pExportExcel },
        { RequesterDeviceInfo, &DeviceInfo::m_pDeviceInfoFrame },
        { RequesterExtranetSearch, &DeviceInfo::m_pExtranetsearchFrame },
        { RequesterStreamConfig, &DeviceInfo::m_pStreamConfigFrame },
        { RequesterOsdConfig, &DeviceInfo::m_pOSDConfig },
        { RequesterRecovery, &DeviceInfo::m_pRecoveryDevice },
        { RequesterInitial, &DeviceInfo::m_pInitialDevice },
        { RequesterReboot, &DeviceInfo::m_pRebootDevice },
        { RequesterChangeDevice, &DeviceInfo::m_pChangeDevice },
    };
    for (const Page& page : kPages) {
        DeviceTaskListener* listener = this->*page.listener;
        if ((requesters & page.family) && listener)
            RunGuarded("report", [&] { listener->OnDeviceTaskFinished(this, finished); });
    }
}
