// ZVSDKWrapper range search: every address from start to stop is asked for
// its range record over the HTTP JSON API (sdk/PROTOCOL-HTTP.md, section 7),
// a bounded number at a time, each within its time-out (ZVSdkSetRangeLimits).
// One JSON object per answering device, then the null text, all on the
// search's own thread.
#include "WrapperSearch.h"
#include "RangeSearches.h"
#include "Runtime.h"
#include "Socket.h"
#include "WrapperHttp.h"
#include "ZVSDKWrapper.h"
#include "ZVSdkConfig.h"

#include <arpa/inet.h>

#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>

using namespace zvsdk;
using namespace zvsdk::wrapper;

namespace
{
constexpr int kDefaultPort = 80;
constexpr uint32_t kMaxRangeAddresses = 65536;
constexpr size_t kMaxTextBytes = 255;
constexpr const char* kProbePath = "/API/Login/Range";
constexpr const char* kProbeBody = "{\"version\":\"1.0\"}";

struct RangeSettings
{
    int port = kDefaultPort;
    RangeLimits limits {};
};

std::mutex& SettingsMutex()
{
    static std::mutex mutex;
    return mutex;
}

RangeSettings& Settings()
{
    static RangeSettings settings;
    return settings;
}

// The 25 members of a range record, with the range of each number.
enum class Kind
{
    Text,
    Unsigned,
    Int32,
};

struct Key
{
    const char* name;
    Kind kind;
    uint64_t max;
};

constexpr Key kKeys[] = {
    { "channel number", Kind::Int32, 0 },
    { "device id", Kind::Unsigned, UINT32_MAX },
    { "device name", Kind::Text, 0 },
    { "device type", Kind::Text, 0 },
    { "device type ull", Kind::Unsigned, UINT64_MAX },
    { "device version", Kind::Text, 0 },
    { "dns1", Kind::Text, 0 },
    { "dns2", Kind::Text, 0 },
    { "gateway", Kind::Text, 0 },
    { "host name", Kind::Text, 0 },
    { "input pin count", Kind::Unsigned, UINT8_MAX },
    { "ip", Kind::Text, 0 },
    { "is first login", Kind::Unsigned, UINT8_MAX },
    { "mac addr", Kind::Text, 0 },
    { "manufacture", Kind::Text, 0 },
    { "media port", Kind::Unsigned, UINT32_MAX },
    { "net interface", Kind::Unsigned, UINT8_MAX },
    { "netmask", Kind::Text, 0 },
    { "network mode", Kind::Text, 0 },
    { "output pin count", Kind::Unsigned, UINT8_MAX },
    { "p2p id", Kind::Text, 0 },
    { "rtsp port", Kind::Unsigned, UINT16_MAX },
    { "support two way talk", Kind::Unsigned, UINT8_MAX },
    { "version", Kind::Unsigned, UINT8_MAX },
    { "web port", Kind::Unsigned, UINT32_MAX },
};
static_assert(std::size(kKeys) == 25);

bool UnsignedMember(const Json::Value& object, const char* name, uint64_t max, uint64_t& out)
{
    const Json::Value* value = ObjectMember(object, name);
    if (!value || !(value->type() == Json::uintValue || (value->type() == Json::intValue && value->asInt64() >= 0))
        || value->asUInt64() > max)
        return false;
    out = value->asUInt64();
    return true;
}

} // namespace

namespace zvsdk::wrapper
{
bool ProbeRecord(const HttpReply& reply, const HttpPost& probe, std::string& text)
{
    Json::Value root;
    const Json::Value* data = SuccessData(reply, root);
    if (!data)
        return false;
    const Json::Value* info = ObjectMember(*data, "device_info");
    const Json::Value& from = info && info->isObject() ? *info : Json::Value::nullSingleton();
    Json::Value record(Json::objectValue);
    for (const Key& key : kKeys) {
        if (key.kind == Kind::Text) {
            std::string value;
            if (TextMember(from, key.name, value) && value.size() > kMaxTextBytes)
                value.resize(kMaxTextBytes);
            record[key.name] = value;
        } else if (key.kind == Kind::Int32) {
            int64_t value = 0;
            IntMember(from, key.name, INT32_MIN, INT32_MAX, value);
            record[key.name] = Json::Int(value);
        } else {
            uint64_t value = 0;
            UnsignedMember(from, key.name, key.max, value);
            record[key.name] = Json::UInt64(value);
        }
    }
    record["ip"] = probe.ip;
    record["web port"] = probe.port;
    // Devices may give the flag as a bool, or only as the first-login probe's flag.
    uint64_t firstLogin = 0;
    if (!UnsignedMember(from, "is first login", UINT8_MAX, firstLogin)) {
        const Json::Value* flag = ObjectMember(from, "is first login");
        if (!flag || !flag->isBool())
            flag = ObjectMember(*data, "first_login_flag");
        if (flag && flag->isBool())
            record["is first login"] = flag->asBool() ? 1 : 0;
    }
    text = CompactText(record);
    return true;
}
} // namespace zvsdk::wrapper

namespace
{

struct SearchPlan
{
    uint32_t first = 0;
    uint32_t last = 0;
    RangeSettings settings;
    zv_search_callback callback = nullptr;
    void* user = nullptr;
};

bool ReadRange(const char* request, SearchPlan& plan)
{
    if (!request)
        return false;
    const size_t length = strnlen(request, kMaxRequestBytes + 1);
    Json::Value root;
    std::string start, stop;
    in_addr a {}, b {};
    if (length > kMaxRequestBytes || !ParseObject(std::string(request, length), root)
        || !TextMember(root, "start ip", start) || !TextMember(root, "stop ip", stop) || !ParseIpv4(start.c_str(), a)
        || !ParseIpv4(stop.c_str(), b))
        return false;
    plan.first = ntohl(a.s_addr);
    plan.last = ntohl(b.s_addr);
    return plan.first <= plan.last && plan.last - plan.first < kMaxRangeAddresses;
}

void Report(const SearchPlan& plan, const char* text)
{
    try {
        plan.callback(text, plan.user);
    } catch (...) {
        // A caller's exception must not end the search thread.
    }
}

void ProbeRange(Worker& worker, const SearchPlan& plan, const RangeSearchEntry& entry)
{
    HttpBatch batch;
    AddressesInFlight inFlight;
    uint64_t next = plan.first;
    // Each address has one time-out for its TLS and its plain HTTP attempt.
    std::map<std::string, Clock::time_point> deadlines;
    std::deque<std::string> plainRetries; // TLS reached these, plain HTTP is asked next
    auto start = [&](bool https, const std::string& ip, int timeoutMs) {
        HttpPost post;
        post.https = https;
        post.ip = ip;
        post.port = static_cast<uint16_t>(plan.settings.port);
        post.path = kProbePath;
        post.body = kProbeBody;
        post.connectTimeoutMs = timeoutMs;
        post.timeoutMs = timeoutMs;
        batch.Add(std::make_unique<HttpTransfer>(std::move(post), false));
    };
    auto finish = [&](const std::string& ip) {
        if (deadlines.erase(ip))
            inFlight.Remove();
    };
    while (!worker.Cancelled() && !entry.Stopped()) {
        while (batch.Running() < static_cast<size_t>(plan.settings.limits.concurrency)) {
            if (!plainRetries.empty()) {
                const std::string ip = std::move(plainRetries.front());
                plainRetries.pop_front();
                const int left = RemainingMs(deadlines[ip]);
                if (left > 0)
                    start(false, ip, left);
                else
                    finish(ip);
            } else if (next <= plan.last) {
                in_addr address {};
                address.s_addr = htonl(static_cast<uint32_t>(next++));
                const std::string ip = Ipv4Text(address);
                deadlines[ip] = Clock::now() + std::chrono::milliseconds(plan.settings.limits.timeoutMs);
                inFlight.Add();
                start(true, ip, plan.settings.limits.timeoutMs);
            } else {
                break;
            }
        }
        if (batch.Running() == 0 && plainRetries.empty())
            return;
        for (const auto& done : batch.Poll(100)) {
            const HttpPost& probe = done->Post();
            if (probe.https && done->Reply().TryPlain()) {
                plainRetries.push_back(probe.ip);
                continue;
            }
            std::string text;
            const bool found = ProbeRecord(done->Reply(), probe, text);
            finish(probe.ip);
            if (found && !worker.Cancelled() && !entry.Stopped())
                Report(plan, text.c_str());
        }
    }
}

void RunRangeSearch(Worker& worker, const SearchPlan& plan, const RangeSearchEntry& entry)
{
    if (!worker.AwaitStart())
        return;
    try {
        ProbeRange(worker, plan, entry);
    } catch (...) {
        // Allocation failure: the search ends with what it found.
    }
    if (!worker.Cancelled())
        Report(plan, nullptr);
}
} // namespace

int zv_search_device(const char* request, zv_search_callback callback, void* user)
{
    if (!callback)
        return 0;
    try {
        SearchPlan plan;
        plan.callback = callback;
        plan.user = user;
        {
            std::lock_guard<std::mutex> lock(SettingsMutex());
            plan.settings = Settings();
        }
        plan.settings.limits = CurrentRangeLimits();
        if (ReadRange(request, plan)) {
            // Registered before the call returns, so that a stop right after it finds the search.
            auto entry = std::make_shared<RangeSearchEntry>(user);
            auto worker = Worker::Start([plan, entry](Worker& w) mutable {
                RunRangeSearch(w, plan, *entry);
                entry.reset();
            });
            if (!worker)
                return 0;
            ReleaseOnReturn release(worker);
            return 1;
        }
        // Nothing to search: the end still comes.
        ReleaseOnReturn release(ReportLater([plan]() { Report(plan, nullptr); }));
    } catch (...) {
        // Allocation failure; nothing was started.
    }
    return 0;
}

int ZVSdkSetRangeSearch(int port, int concurrency, int timeoutMilliseconds)
{
    if (port < 0 || port > 65535 || !ZVSdkSetRangeLimits(concurrency, timeoutMilliseconds))
        return 0;
    std::lock_guard<std::mutex> lock(SettingsMutex());
    Settings().port = port ? port : kDefaultPort;
    return 1;
}
