#pragma once

// Recording stand-ins for the pages and the task pool, for tests of the
// connection dispatch and of the device operations.

#include "DeviceInfo.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "TaskPool.h"

#include <QCoreApplication>
#include <QString>
#include <QThread>
#include <QVector>

#include <mutex>
#include <thread>

namespace TestSupport
{
// Runs call on a thread of its own and waits for it, as an SDK or a pool
// thread would run it.
template <typename Call> void OnOtherThread(Call call)
{
    std::thread thread(call);
    thread.join();
}

// One call of OnDeviceTaskFinished as the page saw it.
struct TaskReport
{
    QString page;
    DeviceInfo* device = nullptr;
    bool finished = false;
    bool onGuiThread = false;
    bool loggedIn = false; // m_bLogin at the time of the call
    int handle = 0;
    int status = 0;
    int progress = -1; // m_upgradeProgress
    int wholeRow = -1; // the network change's success flag to the search page; -1: a plain report
};

// The end of an operation as its page hears it: a report after the device
// logged out (a direct operation, a final upgrade event or a failed
// connection), or a pool worker's result, which comes just before its logout.
// The initialise worker is queued without a login; that report, still at the
// connected status, does not count, nor do the reports while a worker is
// queued (logged in, at the connected, rebooting or changing status) or an
// upgrade runs.
inline bool IsOperationEnd(const TaskReport& report)
{
    if (!report.loggedIn)
        return report.finished || report.status != StatusConnected;
    switch (report.status) {
    case StatusConnected:
    case StatusRebooting:
    case StatusChanging:
    case StatusUpgrading:
    case StatusUpgrade764: return false;
    default: return !report.finished;
    }
}

class ReportLog
{
public:
    void Add(const TaskReport& report)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.append(report);
    }
    QVector<TaskReport> Reports() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    int Count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports.size();
    }
    QStringList Pages() const
    {
        QStringList pages;
        for (const TaskReport& report : Reports())
            pages << report.page;
        return pages;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.clear();
    }

private:
    mutable std::mutex m_mutex;
    QVector<TaskReport> m_reports;
};

// A page that records every report it gets.
class RecordingListener : public DeviceTaskListener
{
public:
    RecordingListener(ReportLog& log, const QString& page)
        : m_log(log)
        , m_page(page)
    {
    }
    virtual ~RecordingListener() = default;

    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override { Record(device, finished, -1); }

protected:
    void Record(DeviceInfo* device, bool finished, int wholeRow)
    {
        TaskReport report;
        report.wholeRow = wholeRow;
        report.page = m_page;
        report.device = device;
        report.finished = finished;
        report.onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        report.loggedIn = device->m_bLogin;
        report.handle = device->m_handle;
        report.status = device->m_status;
        report.progress = device->m_upgradeProgress;
        m_log.Add(report);
    }

private:
    ReportLog& m_log;
    QString m_page;
};

// A search page, which also hears how a network change went.
class RecordingSearchListener : public RecordingListener, public NetworkChangeListener
{
public:
    using RecordingListener::OnDeviceTaskFinished;
    using RecordingListener::RecordingListener;

    void OnDeviceTaskFinished(DeviceInfo* device, bool wholeRow, bool remove) override
    {
        Record(device, remove, wholeRow ? 1 : 0);
    }
};

// One worker the dispatch queued.
struct QueuedTask
{
    void (*function)(void*) = nullptr;
    void* argument = nullptr;
    bool urgent = false;
    int status = 0; // the device's status when it was queued
};

// Takes the dispatch's pool workers for the life of the object: records each,
// then runs it on pool (or holds it when pool is null, for RunHeld).
class TaskRecorder
{
public:
    explicit TaskRecorder(TaskPool* pool)
        : m_pool(pool)
        , m_outer(Current())
    {
        Current() = this;
        m_previous = SetQueueTaskFunction(&TaskRecorder::Queue);
    }
    // A recorder made inside another's life hands the pool back to it.
    ~TaskRecorder()
    {
        SetQueueTaskFunction(m_previous);
        Current() = m_outer;
    }
    TaskRecorder(const TaskRecorder&) = delete;
    TaskRecorder& operator=(const TaskRecorder&) = delete;

    QVector<QueuedTask> Tasks() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_tasks;
    }
    // Runs the held tasks on this thread, as a pool thread would.
    void RunHeld()
    {
        QVector<QueuedTask> held;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            held.swap(m_held);
        }
        for (const QueuedTask& task : held)
            task.function(task.argument);
    }

private:
    static TaskRecorder*& Current()
    {
        static TaskRecorder* current = nullptr;
        return current;
    }
    static bool Queue(void (*function)(void*), void* argument, bool urgent)
    {
        TaskRecorder* self = Current();
        QueuedTask task;
        task.function = function;
        task.argument = argument;
        task.urgent = urgent;
        task.status = static_cast<DeviceInfo*>(argument)->m_status;
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_tasks.append(task);
            if (!self->m_pool)
                self->m_held.append(task);
        }
        return self->m_pool ? self->m_pool->AddTask(function, argument, urgent) : true;
    }

    TaskPool* m_pool;
    TaskRecorder* m_outer;
    QueueTaskFunction m_previous = nullptr;
    mutable std::mutex m_mutex;
    QVector<QueuedTask> m_tasks;
    QVector<QueuedTask> m_held;
};
} // namespace TestSupport
