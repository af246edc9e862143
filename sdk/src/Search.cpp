// ZVNet device search over UDP: the LAN search (broadcast, or the configured
// targets) and the point-to-point search of an address range, bounded in
// addresses asked at once and in time per address (ZVSdkSetRangeLimits). Each
// search runs on its own worker and ends with exactly one null record.
#include "Config.h"
#include "RangeSearches.h"
#include "Record.h"
#include "Runtime.h"
#include "Socket.h"
#include "ZVNet.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>

using namespace zvsdk;

namespace
{
constexpr uint32_t kMaxRangeAddresses = 65536;
// Requests sent before the answers that arrived meanwhile are read.
constexpr size_t kSendBatch = 64;

struct SearchPlan
{
    std::vector<in_addr> targets;
    ZVNetSearchCallback callback = nullptr;
    void* user = nullptr;
    uint8_t family = 0;
    // The targets were configured addresses, not broadcast: once each has
    // answered nothing is left to wait for.
    bool unicast = false;
};

// The reply of a device to a search, or false for anything else.
bool DecodeSearchReply(const uint8_t* buffer, int n, size_t capacity, const uint8_t*& payload)
{
    zvwire::Header header;
    return static_cast<size_t>(n) <= capacity
        && zvwire::DecodeDatagram(buffer, static_cast<size_t>(n), header, payload) == zvwire::Decode::Ok
        && header.type == zvwire::ReplyType(zvwire::MSG_SEARCH) && header.status == zvwire::ST_OK
        && header.length == zvwire::kSearchRspSize;
}

// Reads every datagram waiting (or waits up to timeoutMs for the first one) and
// reports each new device.
void Receive(Worker& worker, int socket, int timeoutMs, const SearchPlan& plan, std::set<std::string>& seen,
    std::set<uint32_t>& waiting)
{
    uint8_t buffer[zvwire::kHeaderSize + zvwire::kMaxUdpPayload];
    for (int wait = timeoutMs; !worker.Cancelled(); wait = 0) {
        in_addr from {};
        const int n = ReceiveDatagram(socket, buffer, sizeof buffer, wait, from);
        if (n <= 0)
            return;
        const uint8_t* payload = nullptr;
        if (!DecodeSearchReply(buffer, n, sizeof buffer, payload))
            continue;
        waiting.erase(ntohl(from.s_addr));
        SearchDevRsp record;
        SearchRecordFromWire(payload, from, record);
        if (!seen.insert(record.ip).second)
            continue;
        plan.callback(&record, plan.user);
    }
}

void RunSearch(Worker& worker, const SearchPlan& plan)
{
    if (!worker.AwaitStart())
        return;
    const Config config = CurrentConfig();
    Fd socket = UdpSocket();
    if (socket.Valid() && !plan.targets.empty()) {
        uint8_t request[zvwire::kSearchReqSize] = { plan.family, 0, 0, 0 };
        const auto frame = zvwire::EncodeFrame(zvwire::MSG_SEARCH, 1, 0, request, sizeof request);
        std::set<std::string> seen;
        std::set<uint32_t> waiting; // configured targets that have not answered
        if (plan.unicast) {
            for (const in_addr& t : plan.targets)
                waiting.insert(ntohl(t.s_addr));
        }
        std::deque<in_addr> queue(plan.targets.begin(), plan.targets.end());
        bool resent = false;
        auto lastSend = Clock::now();
        while (!worker.Cancelled()) {
            if (!queue.empty()) {
                for (size_t i = 0; i < kSendBatch && !queue.empty(); ++i) {
                    SendDatagram(socket.Get(), queue.front(), config.udpPort, frame);
                    queue.pop_front();
                }
                lastSend = Clock::now();
                Receive(worker, socket.Get(), 0, plan, seen, waiting);
                continue;
            }
            if (plan.unicast && waiting.empty())
                break;
            const auto now = Clock::now();
            // One second round: a datagram or two always gets lost on a busy LAN.
            if (!resent && now >= lastSend + std::chrono::milliseconds(config.searchWindowMs / 4)) {
                resent = true;
                queue.insert(queue.end(), plan.targets.begin(), plan.targets.end());
                continue;
            }
            const auto end = resent ? lastSend + std::chrono::milliseconds(config.searchWindowMs)
                                    : lastSend + std::chrono::milliseconds(config.searchWindowMs / 4);
            const int left = RemainingMs(end);
            if (resent && left == 0)
                break;
            Receive(worker, socket.Get(), std::min(std::max(left, 1), 100), plan, seen, waiting);
        }
    }
    if (!worker.Cancelled())
        plan.callback(nullptr, plan.user);
}

// The point-to-point search: at most the limit's concurrency of addresses is
// being asked at any time; each gets the time-out to answer (asked once more a
// quarter of it later), and an answer counts only while its address waits.
void RunRangeSearch(Worker& worker, const SearchPlan& plan, const RangeSearchEntry& entry)
{
    if (!worker.AwaitStart())
        return;
    const Config config = CurrentConfig();
    const RangeLimits limits = CurrentRangeLimits();
    const auto timeout = std::chrono::milliseconds(limits.timeoutMs);
    const auto resendAfter = std::chrono::milliseconds(limits.timeoutMs / 4);
    Fd socket = UdpSocket();
    if (socket.Valid()) {
        uint8_t request[zvwire::kSearchReqSize] = { plan.family, 0, 0, 0 };
        const auto frame = zvwire::EncodeFrame(zvwire::MSG_SEARCH, 1, 0, request, sizeof request);
        struct Waiting
        {
            in_addr address;
            Clock::time_point askedAt;
            bool resent;
        };
        std::map<uint32_t, Waiting> waiting;
        AddressesInFlight inFlight;
        std::set<std::string> seen;
        size_t next = 0;
        uint8_t buffer[zvwire::kHeaderSize + zvwire::kMaxUdpPayload];
        while (!worker.Cancelled() && !entry.Stopped()) {
            while (waiting.size() < static_cast<size_t>(limits.concurrency) && next < plan.targets.size()) {
                const in_addr target = plan.targets[next++];
                SendDatagram(socket.Get(), target, config.udpPort, frame);
                waiting[ntohl(target.s_addr)] = { target, Clock::now(), false };
                inFlight.Add();
            }
            if (waiting.empty())
                break;
            // Second asks and time-outs; the wait below ends at the next of them.
            auto now = Clock::now();
            auto wake = now + std::chrono::milliseconds(100);
            for (auto it = waiting.begin(); it != waiting.end();) {
                Waiting& w = it->second;
                if (now >= w.askedAt + timeout) {
                    it = waiting.erase(it);
                    inFlight.Remove();
                    continue;
                }
                if (!w.resent && now >= w.askedAt + resendAfter) {
                    SendDatagram(socket.Get(), w.address, config.udpPort, frame);
                    w.resent = true;
                }
                wake = std::min(wake, w.resent ? w.askedAt + timeout : w.askedAt + resendAfter);
                ++it;
            }
            if (waiting.empty())
                continue;
            for (int wait = std::max(1, RemainingMs(wake)); !worker.Cancelled() && !entry.Stopped(); wait = 0) {
                in_addr from {};
                const int n = ReceiveDatagram(socket.Get(), buffer, sizeof buffer, wait, from);
                if (n <= 0)
                    break;
                const uint8_t* payload = nullptr;
                if (!DecodeSearchReply(buffer, n, sizeof buffer, payload))
                    continue;
                const auto found = waiting.find(ntohl(from.s_addr));
                if (found == waiting.end() || Clock::now() >= found->second.askedAt + timeout)
                    continue;
                waiting.erase(found);
                inFlight.Remove();
                SearchDevRsp record;
                SearchRecordFromWire(payload, from, record);
                if (seen.insert(record.ip).second)
                    plan.callback(&record, plan.user);
            }
        }
    }
    if (!worker.Cancelled())
        plan.callback(nullptr, plan.user);
}

int StartSearch(SearchPlan plan)
{
    auto worker = Worker::Start([plan = std::move(plan)](Worker& w) { RunSearch(w, plan); });
    if (!worker)
        return 0;
    ReleaseOnReturn release(worker);
    return 1;
}

// The addresses of a range, first to last; false when the texts are no
// addresses, the range runs backwards or is too long.
bool RangeTargets(const ZVNetP2PSearchParam& param, std::vector<in_addr>& targets)
{
    char start[sizeof param.startIp + 1] = {};
    char stop[sizeof param.stopIp + 1] = {};
    std::memcpy(start, param.startIp, sizeof param.startIp);
    std::memcpy(stop, param.stopIp, sizeof param.stopIp);
    in_addr a {}, b {};
    if (!ParseIpv4(start, a) || !ParseIpv4(stop, b))
        return false;
    const uint32_t first = ntohl(a.s_addr);
    const uint32_t last = ntohl(b.s_addr);
    if (first > last || last - first >= kMaxRangeAddresses)
        return false;
    for (uint64_t ip = first; ip <= last; ++ip) {
        in_addr t {};
        t.s_addr = htonl(static_cast<uint32_t>(ip));
        targets.push_back(t);
    }
    return true;
}
} // namespace

int ZVNetSearchDev(const ZVNetSearchParam* param)
{
    if (!param || !param->callback)
        return 0;
    const Config config = CurrentConfig();
    SearchPlan plan;
    plan.targets = config.searchTargets.empty() ? BroadcastAddresses() : config.searchTargets;
    plan.unicast = !config.searchTargets.empty();
    plan.callback = param->callback;
    plan.user = param->user;
    plan.family = param->deviceFamily;
    return StartSearch(std::move(plan));
}

int ZVNetSearchDevPoint2Point(const ZVNetP2PSearchParam* param)
{
    if (!param || !param->callback)
        return 0;
    SearchPlan plan;
    plan.callback = param->callback;
    plan.user = param->user;
    if (param->mode != ZVNET_SEARCH_MODE_RANGE || !RangeTargets(*param, plan.targets)) {
        // Nothing to search: the end marker still comes, after this call returns.
        ZVNetSearchCallback callback = param->callback;
        void* user = param->user;
        ReleaseOnReturn release(ReportLater([callback, user]() { callback(nullptr, user); }));
        return 0;
    }
    auto entry = std::make_shared<RangeSearchEntry>(param->user);
    // Registered before the call returns, so that a stop right after it finds the search.
    auto worker = Worker::Start([plan = std::move(plan), entry](Worker& w) mutable {
        RunRangeSearch(w, plan, *entry);
        entry.reset();
    });
    if (!worker)
        return 0;
    ReleaseOnReturn release(worker);
    return 1;
}
