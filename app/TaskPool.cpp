#include "TaskPool.h"

#include "MiniDumper.h"

#include <QElapsedTimer>

#include <chrono>

WorkThread::WorkThread(TaskPool* pool)
    : m_pool(pool)
{
}

void WorkThread::HandOver(void (*function)(void*), void* argument)
{
    std::unique_lock<std::mutex> locker(m_mutex);
    m_function = function;
    m_argument = argument;
    m_handedOver = true;
    m_condition.notify_one();
}

void WorkThread::Wake()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    m_condition.notify_one();
}

void WorkThread::run()
{
    // Device replies are parsed here: a stack overflow must still leave a dump.
    const ThreadSignalStack signalStack;
    do {
        void (*function)(void*) = nullptr;
        void* argument = nullptr;
        {
            std::unique_lock<std::mutex> locker(m_mutex);
            while (!m_handedOver && !m_pool->IsStopping())
                m_condition.wait(locker);
            if (m_handedOver) {
                function = m_function;
                argument = m_argument;
                m_handedOver = false;
            }
        }
        // NextTask may hand the next queued task straight back to this thread.
        while (function) {
            function(argument);
            {
                std::unique_lock<std::mutex> locker(m_mutex);
                m_function = nullptr;
                m_argument = nullptr;
            }
            m_pool->NextTask(this);
            std::unique_lock<std::mutex> locker(m_mutex);
            function = nullptr;
            if (m_handedOver) {
                function = m_function;
                argument = m_argument;
                m_handedOver = false;
            }
        }
    } while (!m_pool->IsStopping());

    // Ended under the thread's own mutex, so that a waiter owns everything
    // this thread touched (QThread::wait's ordering is invisible to TSan).
    std::lock_guard<std::mutex> locker(m_mutex);
    m_ended = true;
    m_condition.notify_all();
}

bool WorkThread::WaitEnded(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        if (!m_condition.wait_for(locker, std::chrono::milliseconds(timeoutMs), [this] { return m_ended; }))
            return false;
    }
    return wait(static_cast<unsigned long>(qMax<qint64>(0, timeoutMs - timer.elapsed())));
}

TaskPool* TaskPool::Instance()
{
    static TaskPool* pool = new TaskPool(0);
    return pool;
}

TaskPool::TaskPool(int threadCount)
    : m_threadCount(threadCount > 0 ? threadCount : QThread::idealThreadCount() * 2 + 2)
{
    for (int i = 0; i < m_threadCount; ++i) {
        auto* thread = new WorkThread(this);
        m_idleThreads.append(thread);
        m_allThreads.append(thread);
    }
    for (WorkThread* thread : qAsConst(m_allThreads))
        thread->start(QThread::InheritPriority);
}

TaskPool::~TaskPool()
{
    StopAll();
    WaitForStopped(30000);
    for (WorkThread* thread : qAsConst(m_allThreads)) {
        if (thread->isFinished())
            delete thread;
    }
}

bool TaskPool::AddTask(void (*function)(void*), void* argument, bool urgent)
{
    if (m_stop.load() != 0)
        return true;

    // The thread mutex is held across the idle test and the queueing, and
    // NextTask parks a thread under the same mutex after finding the queues
    // empty, so a task can never sit in a queue while a thread idles.
    std::unique_lock<std::mutex> threadLocker(m_threadMutex);
    if (!m_idleThreads.isEmpty()) {
        WorkThread* thread = m_idleThreads.takeLast();
        m_busyThreads.append(thread);
        threadLocker.unlock();
        thread->HandOver(function, argument);
        return true;
    }
    std::lock_guard<std::mutex> queueLocker(m_queueMutex);
    (urgent ? m_urgentQueue : m_normalQueue).append(Task { function, argument });
    return true;
}

void TaskPool::NextTask(WorkThread* thread)
{
    std::unique_lock<std::mutex> threadLocker(m_threadMutex);
    Task task { nullptr, nullptr };
    {
        std::lock_guard<std::mutex> queueLocker(m_queueMutex);
        if (!m_urgentQueue.isEmpty())
            task = m_urgentQueue.takeFirst();
        else if (!m_normalQueue.isEmpty())
            task = m_normalQueue.takeFirst();
    }
    if (task.function) {
        threadLocker.unlock();
        thread->HandOver(task.function, task.argument);
        return;
    }
    if (m_stop.load() == 0) {
        m_busyThreads.removeOne(thread);
        m_idleThreads.append(thread);
    }
}

void TaskPool::StopAll()
{
    m_stop.fetch_add(1);
    {
        std::lock_guard<std::mutex> queueLocker(m_queueMutex);
        m_urgentQueue.clear();
        m_normalQueue.clear();
    }
    std::unique_lock<std::mutex> threadLocker(m_threadMutex);
    while (!m_idleThreads.isEmpty())
        m_idleThreads.takeLast()->Wake();
}

bool TaskPool::WaitForStopped(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    bool allEnded = true;
    for (WorkThread* thread : qAsConst(m_allThreads)) {
        const qint64 left = qMax<qint64>(0, timeoutMs - timer.elapsed());
        if (!thread->WaitEnded(static_cast<int>(left)))
            allEnded = false;
    }
    return allEnded;
}
