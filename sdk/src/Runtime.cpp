#include "Runtime.h"

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

namespace zvsdk
{
namespace
{
struct Task
{
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

// Never destroyed: threads may still run while static objects are destroyed.
struct Tasks
{
    std::mutex mutex;
    bool accepting = false;
    std::list<Task> running;
    std::vector<std::thread> kept;
};

Tasks& TaskList()
{
    static Tasks* tasks = new Tasks;
    return *tasks;
}

void JoinOthers(std::vector<std::thread>& threads)
{
    for (auto& t : threads) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();
        else if (t.joinable())
            t.join();
    }
}
} // namespace

void NetStartup()
{
    std::lock_guard<std::mutex> lock(TaskList().mutex);
    TaskList().accepting = true;
}

bool Accepting()
{
    std::lock_guard<std::mutex> lock(TaskList().mutex);
    return TaskList().accepting;
}

void NetShutdown()
{
    {
        std::lock_guard<std::mutex> lock(TaskList().mutex);
        TaskList().accepting = false;
    }
    SearchShutdown();
    ConnectionShutdown();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(TaskList().mutex);
        for (auto& t : TaskList().running)
            threads.push_back(std::move(t.thread));
        TaskList().running.clear();
        for (auto& t : TaskList().kept)
            threads.push_back(std::move(t));
        TaskList().kept.clear();
    }
    JoinOthers(threads);
}

bool RunTask(std::function<void()> job)
{
    std::lock_guard<std::mutex> lock(TaskList().mutex);
    if (!TaskList().accepting)
        return false;
    auto& running = TaskList().running;
    for (auto it = running.begin(); it != running.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = running.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([job = std::move(job), done]() {
        job();
        done->store(true);
    });
    running.push_back(Task{std::move(thread), done});
    return true;
}

void KeepForJoin(std::thread thread)
{
    if (!thread.joinable())
        return;
    std::lock_guard<std::mutex> lock(TaskList().mutex);
    TaskList().kept.push_back(std::move(thread));
}

void FirstCallbackDelay()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
} // namespace zvsdk
