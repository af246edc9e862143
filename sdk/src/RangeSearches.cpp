#include "RangeSearches.h"
#include "ZVSdkConfig.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace zvsdk
{
namespace
{
constexpr int kDefaultConcurrency = 64;
constexpr int kMaxConcurrency = 1024;
constexpr int kDefaultTimeoutMs = 3000;
constexpr int kMaxTimeoutMs = 600000;

struct Registry
{
    std::mutex mutex;
    RangeLimits limits { kDefaultConcurrency, kDefaultTimeoutMs };
    std::multimap<void*, std::shared_ptr<std::atomic<bool>>> running;
};

Registry& TheRegistry()
{
    // Never destroyed: a search thread may still end while the process exits.
    static Registry* registry = new Registry;
    return *registry;
}

std::atomic<int> g_inFlight { 0 };
std::atomic<int> g_peak { 0 };
} // namespace

RangeLimits CurrentRangeLimits()
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.limits;
}

RangeSearchEntry::RangeSearchEntry(void* user)
    : m_user(user)
    , m_stop(std::make_shared<std::atomic<bool>>(false))
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.running.emplace(m_user, m_stop);
}

RangeSearchEntry::~RangeSearchEntry()
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto range = registry.running.equal_range(m_user);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == m_stop) {
            registry.running.erase(it);
            break;
        }
    }
}

void AddressesInFlight::Add()
{
    ++m_count;
    const int now = ++g_inFlight;
    int peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) { }
}

void AddressesInFlight::Remove(int count)
{
    count = std::min(count, m_count);
    m_count -= count;
    g_inFlight -= count;
}
} // namespace zvsdk

using namespace zvsdk;

int ZVSdkSetRangeLimits(int concurrency, int timeoutMilliseconds)
{
    if (concurrency < 0 || concurrency > kMaxConcurrency || timeoutMilliseconds < 0
        || timeoutMilliseconds > kMaxTimeoutMs)
        return 0;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.limits.concurrency = concurrency ? concurrency : kDefaultConcurrency;
    registry.limits.timeoutMs = timeoutMilliseconds ? timeoutMilliseconds : kDefaultTimeoutMs;
    return 1;
}

int ZVSdkStopSearch(void* user)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    int stopped = 0;
    const auto range = registry.running.equal_range(user);
    for (auto it = range.first; it != range.second; ++it) {
        it->second->store(true);
        ++stopped;
    }
    return stopped;
}

void ZVSdkGetRangeLoad(int* inFlight, int* peak, int resetPeak)
{
    if (inFlight)
        *inFlight = g_inFlight.load();
    if (peak)
        *peak = g_peak.load();
    if (resetPeak)
        g_peak.store(g_inFlight.load());
}
