#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zvsdk
{
// Opens the library for new work (ZVNetInit).
void NetStartup();
// Refuses new work, cancels every worker and joins its thread, then runs the
// families' shutdown hooks (ZVNetRelease). No callback runs after it returns.
void NetShutdown();
bool Accepting();

// Registers a hook that drops a family's handles at shutdown, after every
// worker has been joined. Families register once, when their registry is made.
void AtShutdown(std::function<void()> hook);

// One piece of library work on a thread of its own. The thread is joined by
// Stop() or, at the latest, by NetShutdown().
class Worker
{
public:
    using Body = std::function<void(Worker&)>;

    // Starts body on a new thread; null when the library is not accepting work
    // or no thread can be made.
    static std::shared_ptr<Worker> Start(Body body);

    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Called by the start function right before it returns: until then the
    // body waits in AwaitStart(), so no callback can overtake the start call.
    void Release();
    // Asks the body to end; every wait of the body wakes within 100 ms.
    void Cancel();
    // Cancel(), then wait for the thread. Called from the worker's own thread
    // (a callback stopping its own work) it cannot wait: the thread ends after
    // the callback returns and is joined later.
    void Stop();

    bool Cancelled() const { return m_cancel.load(); }
    bool Finished() const { return m_done.load(); }
    const std::atomic<bool>* CancelFlag() const { return &m_cancel; }
    bool OnWorkerThread() const;

    // In the body: waits for Release(), then a short delay so that the caller
    // has stored the handle it got before the first outcome arrives. False when
    // cancelled meanwhile.
    bool AwaitStart();
    // Interruptible sleep; false when cancelled.
    bool Sleep(int milliseconds);

private:
    Worker() = default;
    void Join();

    friend struct Workers;
    friend void NetShutdown();
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId {};
    std::atomic<bool> m_cancel { false };
    std::atomic<bool> m_done { false };
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    std::mutex m_joinMutex;
};

// Releases a worker when the start call that made it returns (destructors run
// after the return value is computed).
class ReleaseOnReturn
{
public:
    explicit ReleaseOnReturn(std::shared_ptr<Worker> worker)
        : m_worker(std::move(worker))
    {
    }
    ~ReleaseOnReturn()
    {
        if (m_worker)
            m_worker->Release();
    }
    ReleaseOnReturn(const ReleaseOnReturn&) = delete;
    ReleaseOnReturn& operator=(const ReleaseOnReturn&) = delete;

private:
    std::shared_ptr<Worker> m_worker;
};

// Runs callback once on a library thread after the start call that asked for
// it has returned (hand the worker to a ReleaseOnReturn): how a start that
// fails still reports through its callback. Null when the library takes no work.
std::shared_ptr<Worker> ReportLater(std::function<void()> callback);
} // namespace zvsdk
