// Device search over UDP: the LAN search, the address-range search, and the
// placeholder ONVIF search.
#include "Config.h"
#include "Record.h"
#include "Runtime.h"
#include "Socket.h"
#include "ZVNet.h"
#include "ZVOnvif.h"

#include <arpa/inet.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace zvsdk
{
namespace
{
constexpr uint32_t kMaxRangeAddresses = 65536;

struct Search
{
    std::thread thread;
    std::atomic<bool> cancel{false};
};

struct Searches
{
    std::mutex mutex;
    std::unique_ptr<Search> lan;
    std::unique_ptr<Search> range;
    std::map<int, std::unique_ptr<Search>> onvif;
    int nextOnvifHandle = 0x40000001;
};

Searches& All()
{
    static Searches* searches = new Searches;
    return *searches;
}

// Ends a search: waits for its thread unless called from that thread's own callback.
void Finish(std::unique_ptr<Search> search)
{
    if (!search)
        return;
    search->cancel = true;
    if (search->thread.get_id() == std::this_thread::get_id())
        KeepForJoin(std::move(search->thread));
    else if (search->thread.joinable())
        search->thread.join();
}

// Sends SEARCH to every target, collects answers for the search window and
// reports each device once, then the end marker unless cancelled.
void RunSearch(Search* search, std::vector<in_addr> targets, ZVNetSearchCallback callback, void* user,
               uint8_t family, bool resend)
{
    FirstCallbackDelay();
    const Config config = CurrentConfig();
    Fd socket = UdpSocket();
    if (socket.Valid() && !targets.empty()) {
        uint8_t request[zvwire::kSearchReqSize] = {family, 0, 0, 0};
        const auto frame = zvwire::EncodeFrame(zvwire::MSG_SEARCH, 1, 0, request, sizeof request);
        for (const in_addr& target : targets) {
            if (search->cancel)
                break;
            SendDatagram(socket.Get(), target, config.udpPort, frame);
        }
        auto deadline = Clock::now() + std::chrono::milliseconds(config.searchWindowMs);
        auto resendAt = Clock::now() + std::chrono::milliseconds(config.searchWindowMs / 4);
        std::set<std::string> seen;
        uint8_t buffer[zvwire::kHeaderSize + zvwire::kMaxUdpPayload];
        while (!search->cancel) {
            if (resend && Clock::now() >= resendAt) {
                resend = false;
                for (const in_addr& target : targets)
                    SendDatagram(socket.Get(), target, config.udpPort, frame);
            }
            const int left = RemainingMs(deadline);
            if (left == 0)
                break;
            in_addr from{};
            const int n = ReceiveDatagram(socket.Get(), buffer, sizeof buffer, std::min(left, 100), from);
            if (n < 0)
                break;
            if (n == 0 || static_cast<size_t>(n) > sizeof buffer)
                continue;
            zvwire::Header header;
            const uint8_t* payload = nullptr;
            if (zvwire::DecodeDatagram(buffer, static_cast<size_t>(n), header, payload) != zvwire::Decode::Ok
                || header.type != zvwire::ReplyType(zvwire::MSG_SEARCH) || header.status != zvwire::ST_OK
                || header.length != zvwire::kSearchRspSize)
                continue;
            SearchDevRsp record;
            SearchRecordFromWire(payload, from, record);
            if (!seen.insert(record.ip).second)
                continue;
            if (!search->cancel)
                callback(&record, user);
        }
    }
    if (!search->cancel)
        callback(nullptr, user);
}

int StartSearch(std::unique_ptr<Search> Searches::*slot, std::vector<in_addr> targets, ZVNetSearchCallback callback,
                void* user, uint8_t family, bool resend)
{
    std::unique_ptr<Search> old;
    {
        std::lock_guard<std::mutex> lock(All().mutex);
        old = std::move(All().*slot);
    }
    Finish(std::move(old));
    auto search = std::make_unique<Search>();
    {
        std::lock_guard<std::mutex> lock(All().mutex);
        if (!Accepting())
            return 0;
        // A search started meanwhile by another thread ends too.
        old = std::move(All().*slot);
        Search* raw = search.get();
        search->thread = std::thread(RunSearch, raw, std::move(targets), callback, user, family, resend);
        All().*slot = std::move(search);
    }
    Finish(std::move(old));
    return 1;
}

bool RangeTargets(const ZVNetP2PSearchParam& param, std::vector<in_addr>& targets)
{
    char start[sizeof param.startIp + 1] = {};
    char stop[sizeof param.stopIp + 1] = {};
    std::memcpy(start, param.startIp, sizeof param.startIp);
    std::memcpy(stop, param.stopIp, sizeof param.stopIp);
    in_addr a{}, b{};
    if (!ParseIpv4(start, a) || !ParseIpv4(stop, b))
        return false;
    const uint32_t first = ntohl(a.s_addr);
    const uint32_t last = ntohl(b.s_addr);
    if (first > last || last - first >= kMaxRangeAddresses)
        return false;
    for (uint64_t ip = first; ip <= last; ++ip) {
        in_addr t{};
        t.s_addr = htonl(static_cast<uint32_t>(ip));
        targets.push_back(t);
    }
    return true;
}
} // namespace

void SearchShutdown()
{
    std::vector<std::unique_ptr<Search>> ended;
    {
        std::lock_guard<std::mutex> lock(All().mutex);
        ended.push_back(std::move(All().lan));
        ended.push_back(std::move(All().range));
        for (auto& entry : All().onvif)
            ended.push_back(std::move(entry.second));
        All().onvif.clear();
    }
    for (auto& s : ended)
        Finish(std::move(s));
}
} // namespace zvsdk

using namespace zvsdk;

int ZVNetSearchDev(const ZVNetSearchParam* param)
{
    if (!param || !param->callback || !Accepting())
        return 0;
    Config config = CurrentConfig();
    std::vector<in_addr> targets = config.searchTargets.empty() ? BroadcastAddresses() : config.searchTargets;
    return StartSearch(&Searches::lan, std::move(targets), param->callback, param->user, param->deviceFamily, true);
}

int ZVNetSearchDevPoint2Point(const ZVNetP2PSearchParam* param)
{
    if (!param || !param->callback || !Accepting())
        return 0;
    std::vector<in_addr> targets;
    // An invalid or reversed range searches nothing: the end marker comes at once.
    if (param->mode == ZVNET_SEARCH_MODE_RANGE)
        RangeTargets(*param, targets);
    return StartSearch(&Searches::range, std::move(targets), param->callback, param->user, 0, false);
}

// ONVIF discovery is not implemented yet: a search finds nothing and ends with the marker.
int ZVOnvifSearchDevStart(const ZVNetSearchParam* param)
{
    if (!param || !param->callback || !Accepting())
        return 0;
    auto search = std::make_unique<Search>();
    Search* raw = search.get();
    ZVNetSearchCallback callback = param->callback;
    void* user = param->user;
    std::lock_guard<std::mutex> lock(All().mutex);
    const int handle = All().nextOnvifHandle++;
    search->thread = std::thread([raw, callback, user]() {
        FirstCallbackDelay();
        if (!raw->cancel)
            callback(nullptr, user);
    });
    All().onvif[handle] = std::move(search);
    return handle;
}

int ZVOnvifSearchDevStop(int* handle)
{
    if (!handle || *handle == 0)
        return 0;
    std::unique_ptr<Search> search;
    {
        std::lock_guard<std::mutex> lock(All().mutex);
        auto it = All().onvif.find(*handle);
        if (it == All().onvif.end())
            return 0;
        search = std::move(it->second);
        All().onvif.erase(it);
    }
    Finish(std::move(search));
    *handle = 0;
    return 1;
}
