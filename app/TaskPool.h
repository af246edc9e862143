#pragma once

#include <QList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <mutex>

class TaskPool;

class WorkThread : public QThread
{
    Q_OBJECT

public:
    explicit WorkThread(TaskPool* pool);

    // Hands a task to a thread that waits for one.
    void HandOver(void (*function)(void*), void* argument);
    void Wake();
    // Waits up to timeoutMs for run() to return and the thread to end.
    bool WaitEnded(int timeoutMs);

protected:
    void run() override;

private:
    friend class TaskPool;

    // Standard (pthread) primitives, which thread checkers can follow.
    std::condition_variable m_condition;
    std::mutex m_mutex;
    TaskPool* m_pool;
    void (*m_function)(void*) = nullptr;
    void* m_argument = nullptr;
    bool m_handedOver = false;
    bool m_ended = false;
};

class TaskPool
{
public:
    struct Task
    {
        void (*function)(void*);
        void* argument;
    };

    static TaskPool* Instance();

    explicit TaskPool(int threadCount);
    // The program's pool is never deleted; a pool made for a test stops and
    // frees the threads that have ended.
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    bool AddTask(void (*function)(void*), void* argument, bool urgent = false);
    void NextTask(WorkThread* thread);
    void StopAll();

    // After StopAll: waits up to timeoutMs for the threads still running a task
    // to end. True when none is left running.
    bool WaitForStopped(int timeoutMs);

    int ThreadCount() const { return m_threadCount; }
    bool IsStopping() const { return m_stop.load() != 0; }

private:
    int m_threadCount;
    std::atomic<int> m_stop{0};
    std::mutex m_queueMutex;
    QList<Task> m_normalQueue;
    QList<Task> m_urgentQueue;
    std::mutex m_threadMutex;
    QVector<WorkThread*> m_idleThreads;
    QList<WorkThread*> m_busyThreads;
    QVector<WorkThread*> m_allThreads;
};
