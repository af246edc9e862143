#include "Runtime.h"

#include <chrono>
#include <list>
#include <system_error>
#include <vector>

namespace zvsdk
{
namespace
{
// Before the first outcome of a start call: the caller stores the handle it got
// right after the call returns, and may act on the outcome on another thread.
constexpr int kFirstCallbackDelayMs = 20;
} // namespace

// Never destroyed: library threads may still run while static objects go away.
struct Workers
{
    std::mutex mutex;
    bool accepting = false;
    std::list<std::shared_ptr<Worker>> all;
    std::vector<std::function<void()>> hooks;

    static Workers& Get()
    {
        static Workers* workers = new Workers;
        return *workers;
    }

    // Joins finished workers; called with the mutex held (their threads are past
    // the body and take no lock of ours).
    void ReapLocked()
    {
        for (auto it = all.begin(); it != all.end();) {
            if ((*it)->m_done.load() && !(*it)->OnWorkerThread()) {
                (*it)->Join();
                it = all.erase(it);
            } else {
                ++it;
            }
        }
    }
};

void NetStartup()
{
    std::lock_guard<std::mutex> lock(Workers::Get().mutex);
    Workers::Get().accepting = true;
}

bool Accepting()
{
    std::lock_guard<std::mutex> lock(Workers::Get().mutex);
    return Workers::Get().accepting;
}

void AtShutdown(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(Workers::Get().mutex);
    Workers::Get().hooks.push_back(std::move(hook));
}

void NetShutdown()
{
    std::list<std::shared_ptr<Worker>> workers;
    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard<std::mutex> lock(Workers::Get().mutex);
        Workers::Get().accepting = false;
        workers.swap(Workers::Get().all);
        hooks = Workers::Get().hooks;
    }
    for (auto& w : workers)
        w->Cancel();
    for (auto& w : workers) {
        if (w->OnWorkerThread()) {
            // Released from one of our own callbacks: this thread ends by itself.
            w->m_thread.detach();
            new std::shared_ptr<Worker>(w); // the body still runs on it
        } else {
            w->Join();
        }
    }
    for (auto& hook : hooks)
        hook();
}

std::shared_ptr<Worker> Worker::Start(Body body)
{
    std::shared_ptr<Worker> worker(new Worker);
    Worker* raw = worker.get();
    std::lock_guard<std::mutex> lock(Workers::Get().mutex);
    if (!Workers::Get().accepting)
        return nullptr;
    Workers::Get().ReapLocked();
    try {
        // The registry keeps the worker alive until its thread is joined.
        raw->m_thread = std::thread([raw, body = std::move(body)]() mutable {
            raw->m_threadId = std::this_thread::get_id();
            {
                // The body's captures go before the thread counts as done, so that
                // whoever joins it never waits on their destructors.
                Body run = std::move(body);
                run(*raw);
            }
            raw->m_done = true;
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    raw->m_threadId = raw->m_thread.get_id();
    Workers::Get().all.push_back(worker);
    return worker;
}

Worker::~Worker()
{
    if (m_thread.joinable()) {
        if (OnWorkerThread())
            m_thread.detach();
        else
            m_thread.join();
    }
}

void Worker::Release()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_released = true;
    m_wake.notify_all();
}

void Worker::Cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancel = true;
    m_wake.notify_all();
}

void Worker::Stop()
{
    Cancel();
    if (!OnWorkerThread())
        Join();
}

bool Worker::OnWorkerThread() const
{
    return std::this_thread::get_id() == m_threadId;
}

void Worker::Join()
{
    std::lock_guard<std::mutex> lock(m_joinMutex);
    if (m_thread.joinable())
        m_thread.join();
}

bool Worker::AwaitStart()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this]() { return m_released || m_cancel.load(); });
    }
    return Sleep(kFirstCallbackDelayMs);
}

std::shared_ptr<Worker> ReportLater(std::function<void()> callback)
{
    return Worker::Start([callback = std::move(callback)](Worker& w) {
        if (w.AwaitStart())
            callback();
    });
}

bool Worker::Sleep(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(
        lock, std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0), [this]() { return m_cancel.load(); });
    return !m_cancel.load();
}
} // namespace zvsdk
