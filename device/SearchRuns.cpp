#include "SearchRuns.h"

#include "Guarded.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace
{
struct Runs
{
    std::mutex mutex;
    std::uintptr_t next = 0;
    std::unordered_map<std::uintptr_t, SearchRuns::Receiver> open;
};

Runs& TheRuns()
{
    // Never destroyed: an SDK thread may still call back while the process exits.
    static Runs* runs = new Runs;
    return *runs;
}

std::uintptr_t Id(void* run)
{
    return reinterpret_cast<std::uintptr_t>(run);
}
} // namespace

namespace SearchRuns
{
void* Open(Receiver receiver)
{
    Runs& runs = TheRuns();
    std::lock_guard<std::mutex> lock(runs.mutex);
    const std::uintptr_t id = ++runs.next;
    runs.open.emplace(id, std::move(receiver));
    return reinterpret_cast<void*>(id);
}

void Close(void* run)
{
    Runs& runs = TheRuns();
    std::lock_guard<std::mutex> lock(runs.mutex);
    runs.open.erase(Id(run));
}

bool Deliver(void* run, const SearchDevRsp* record)
{
    if (!run)
        return false;
    Runs& runs = TheRuns();
    std::lock_guard<std::mutex> lock(runs.mutex);
    const auto found = runs.open.find(Id(run));
    if (found == runs.open.end())
        return false;
    const Receiver& receiver = found->second;
    RunGuarded("search result", [&] { receiver(record); });
    if (!record)
        runs.open.erase(found);
    return true;
}

bool IsOpen(void* run)
{
    Runs& runs = TheRuns();
    std::lock_guard<std::mutex> lock(runs.mutex);
    return runs.open.count(Id(run)) != 0;
}
} // namespace SearchRuns
