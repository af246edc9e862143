// ZVOnvif: WS-Discovery search and device-management connections. Work runs
// on library workers (Runtime.h); ZVOnvifRelease, or ZVNetRelease at the
// latest, ends it. Needs ZVNetInit and ZVOnvifInit.
#include "OnvifDevice.h"
#include "OnvifDiscovery.h"
#include "Runtime.h"
#include "SdkState.h"
#include "Socket.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <climits>
#include <cstring>
#include <map>
#include <random>
#include <set>

namespace zvsdk
{
namespace
{
using namespace onvif;

// SOAP-over-UDP: a multicast message is sent once more after 50 to 250 ms.
constexpr int kRepeatMinMs = 50;
constexpr int kRepeatMaxMs = 250;
constexpr size_t kMaxDevicesPerSearch = 65536;
constexpr size_t kDatagramBuffer = 65536;

struct Connection
{
    std::atomic<bool> cancel { false };
    std::atomic<int> status { 0 }; // the login's status code once it has ended
    std::mutex callMutex; // one device call at a time
    std::unique_ptr<DeviceClient> client;
    std::shared_ptr<Worker> worker;
};

// Never destroyed: workers may still run while static objects go away.
struct Registry
{
    std::mutex mutex;
    std::vector<in_addr> targets; // empty: the multicast group on every interface
    uint16_t port = kDiscoveryPort;
    std::map<int, std::shared_ptr<Worker>> searches;
    std::map<int, std::shared_ptr<Connection>> connections;
    int nextHandle = 0x4f000001;

    static Registry& Get()
    {
        static Registry* registry = new Registry;
        static std::once_flag hook;
        std::call_once(hook, []() { AtShutdown([]() { EndAll(); }); });
        return *registry;
    }

    int AddLocked()
    {
        const int handle = nextHandle;
        nextHandle = handle == INT_MAX ? 0x4f000001 : handle + 1;
        return handle;
    }

    // Ends every search and connection and waits for their workers.
    static void EndAll()
    {
        std::map<int, std::shared_ptr<Worker>> searches;
        std::map<int, std::shared_ptr<Connection>> connections;
        {
            std::lock_guard<std::mutex> lock(Get().mutex);
            searches.swap(Get().searches);
            connections.swap(Get().connections);
        }
        for (auto& c : connections)
            c.second->cancel = true;
        for (auto& s : searches)
            s.second->Stop();
        for (auto& c : connections)
            c.second->worker->Stop();
    }
};

// Indexes of the IPv4 interfaces that are up and can multicast, loopback excluded.
std::vector<int> MulticastInterfaces()
{
    std::vector<int> indexes;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return indexes;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)
            || !(i->ifa_flags & IFF_MULTICAST) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        const int index = static_cast<int>(if_nametoindex(i->ifa_name));
        if (index > 0 && std::find(indexes.begin(), indexes.end(), index) == indexes.end())
            indexes.push_back(index);
    }
    freeifaddrs(list);
    return indexes;
}

void SendProbes(
    int fd, const std::vector<in_addr>& targets, uint16_t port, const std::vector<std::vector<uint8_t>>& probes)
{
    if (!targets.empty()) {
        for (const in_addr& target : targets) {
            for (const auto& probe : probes)
                SendDatagram(fd, target, port, probe);
        }
        return;
    }
    in_addr group {};
    inet_pton(AF_INET, kDiscoveryGroup, &group);
    for (int index : MulticastInterfaces()) {
        ip_mreqn via {};
        via.imr_ifindex = index;
        if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0)
            continue;
        for (const auto& probe : probes)
            SendDatagram(fd, group, port, probe);
    }
}

void RunDiscovery(
    Worker& w, std::vector<in_addr> targets, uint16_t port, int windowMs, ZVNetSearchCallback callback, void* user)
{
    Fd socket = UdpSocket();
    if (socket.Valid()) {
        std::vector<std::vector<uint8_t>> probes;
        std::vector<std::string> probeIds;
        for (ProbeType type : { ProbeType::NetworkVideoTransmitter, ProbeType::Device }) {
            probeIds.push_back(NewMessageId());
            const std::string text = ProbeMessage(probeIds.back(), type);
            probes.emplace_back(text.begin(), text.end());
        }
        const auto start = Clock::now();
        const auto deadline = start + std::chrono::milliseconds(windowMs);
        std::mt19937 random(std::random_device {}());
        auto repeatAt
            = start + std::chrono::milliseconds(std::uniform_int_distribution<int>(kRepeatMinMs, kRepeatMaxMs)(random));
        bool repeated = false;
        SendProbes(socket.Get(), targets, port, probes);
        std::set<std::string> seen;
        std::vector<uint8_t> buffer(kDatagramBuffer);
        while (!w.Cancelled()) {
            if (!repeated && Clock::now() >= repeatAt) {
                repeated = true;
                SendProbes(socket.Get(), targets, port, probes);
            }
            const int left = RemainingMs(deadline);
            if (left == 0)
                break;
            const int wait = repeated ? std::min(left, 100) : std::min(left, std::max(1, RemainingMs(repeatAt)));
            in_addr from {};
            const int n = ReceiveDatagram(socket.Get(), buffer.data(), buffer.size(), wait, from);
            if (n < 0)
                break;
            if (n == 0)
                continue;
            for (const ProbeMatch& match :
                ParseProbeMatches(reinterpret_cast<const char*>(buffer.data()), n, probeIds)) {
                if (!match.videoDevice)
                    continue;
                SearchDevRsp record {};
                ServiceAddress service;
                if (seen.size() >= kMaxDevicesPerSearch || !FillSearchRecord(match, from, record, service))
                    continue;
                // One device answers both probes, each maybe twice: its endpoint reference and
                // address say it is the same. Cloned firmware gives many hosts one reference.
                const std::string key = match.endpoint + " " + record.ip + ":" + std::to_string(record.webPort);
                if (!seen.insert(key).second)
                    continue;
                RememberService(record.ip, static_cast<uint16_t>(record.webPort), service);
                if (!w.Cancelled())
                    callback(&record, user);
            }
        }
    }
    if (!w.Cancelled())
        callback(nullptr, user);
}

// A connection whose login succeeded and that is not being stopped.
std::shared_ptr<Connection> FindLoggedIn(int handle)
{
    std::lock_guard<std::mutex> lock(Registry::Get().mutex);
    const auto it = Registry::Get().connections.find(handle);
    if (it == Registry::Get().connections.end() || it->second->status.load() != ZVNET_STATUS_LOGIN_OK
        || it->second->cancel)
        return nullptr;
    return it->second;
}

Timeouts CurrentTimeouts()
{
    Timeouts t;
    t.connectMs = State().onvifConnectTimeout.load() * 1000;
    t.commandMs = State().onvifCommandTimeout.load() * 1000;
    return t;
}
} // namespace

void OnvifStartup()
{
    PrepareXmlReaders();
}

void OnvifShutdown()
{
    Registry::EndAll();
}
} // namespace zvsdk

using namespace zvsdk;

int ZVSdkSetOnvifSearchTargets(const char* const* addresses, int count)
{
    if (count < 0 || (count > 0 && !addresses))
        return 0;
    std::vector<in_addr> targets;
    for (int i = 0; i < count; ++i) {
        in_addr a {};
        if (!addresses[i] || !ParseIpv4(addresses[i], a))
            return 0;
        targets.push_back(a);
    }
    std::lock_guard<std::mutex> lock(Registry::Get().mutex);
    Registry::Get().targets = std::move(targets);
    return 1;
}

int ZVSdkSetOnvifDiscoveryPort(int port)
{
    if (port < 0 || port > 65535)
        return 0;
    std::lock_guard<std::mutex> lock(Registry::Get().mutex);
    Registry::Get().port = port ? static_cast<uint16_t>(port) : onvif::kDiscoveryPort;
    return 1;
}

int ZVOnvifSearchDevStart(const ZVNetSearchParam* param)
{
    if (!param || !param->callback || !State().onvifInitialised)
        return 0;
    std::vector<in_addr> targets;
    uint16_t port;
    {
        std::lock_guard<std::mutex> lock(Registry::Get().mutex);
        targets = Registry::Get().targets;
        port = Registry::Get().port;
    }
    const int windowMs = State().onvifSearchTimeout.load() * 1000;
    ZVNetSearchCallback callback = param->callback;
    void* user = param->user;
    auto worker = Worker::Start([targets, port, windowMs, callback, user](Worker& w) {
        if (w.AwaitStart())
            RunDiscovery(w, targets, port, windowMs, callback, user);
    });
    if (!worker)
        return 0;
    ReleaseOnReturn release(worker);
    std::lock_guard<std::mutex> lock(Registry::Get().mutex);
    const int handle = Registry::Get().AddLocked();
    Registry::Get().searches[handle] = worker;
    return handle;
}

int ZVOnvifSearchDevStop(int* handle)
{
    if (!handle || *handle == 0)
        return 0;
    std::shared_ptr<Worker> worker;
    {
        std::lock_guard<std::mutex> lock(Registry::Get().mutex);
        const auto it = Registry::Get().searches.find(*handle);
        if (it == Registry::Get().searches.end())
            return 0;
        worker = it->second;
        Registry::Get().searches.erase(it);
    }
    worker->Stop();
    *handle = 0;
    return 1;
}

int ZVOnvifConnectionStart(const ZVOnvifConnParam* param)
{
    if (!param || !State().onvifInitialised)
        return 0;
    ZVNetStatusCallback callback = param->statusCallback;
    void* user = param->user;
    in_addr address {};
    if (!param->ip || !ParseIpv4(param->ip, address) || param->port == 0 || param->port > 65535) {
        // No connection can come of it; the caller still hears why.
        ReleaseOnReturn release(
            callback ? ReportLater([callback, user]() { callback(ZVNET_STATUS_PARAM_ERROR, user); }) : nullptr);
        return 0;
    }
    auto connection = std::make_shared<Connection>();
    const std::string ip = param->ip;
    const uint16_t port = static_cast<uint16_t>(param->port);
    const Credentials credentials { param->userName ? param->userName : "", param->password ? param->password : "" };
    // The record carries only address and web port; the scheme and path are what the device announced there.
    const ServiceAddress service = ServiceAt(ip, port);
    auto worker = Worker::Start([connection, ip, port, service, credentials, callback, user](Worker& w) {
        if (!w.AwaitStart())
            return;
        int code;
        {
            std::lock_guard<std::mutex> lock(connection->callMutex);
            // Made here so that stopping this worker also ends a device call under way.
            connection->client = std::make_unique<DeviceClient>(
                ip, port, service, credentials, CurrentTimeouts(), &connection->cancel, w.CancelFlag());
            code = connection->client->Login();
        }
        connection->status = code;
        if (callback && !w.Cancelled() && !connection->cancel)
            callback(code, user);
    });
    if (!worker)
        return 0;
    connection->worker = worker;
    ReleaseOnReturn release(worker);
    std::lock_guard<std::mutex> lock(Registry::Get().mutex);
    const int handle = Registry::Get().AddLocked();
    Registry::Get().connections[handle] = connection;
    return handle;
}

int ZVOnvifConnectionStop(int* handle)
{
    if (!handle || *handle == 0)
        return 0;
    std::shared_ptr<Connection> connection;
    {
        std::lock_guard<std::mutex> lock(Registry::Get().mutex);
        const auto it = Registry::Get().connections.find(*handle);
        if (it == Registry::Get().connections.end())
            return 0;
        connection = it->second;
        Registry::Get().connections.erase(it);
    }
    connection->cancel = true;
    connection->worker->Stop();
    *handle = 0;
    return 1;
}

int ZVOnvifQueryParamEx(int handle, const ZVNetQueryParamExReq* request)
{
    if (!request || request->paramId != ZVONVIF_PARAM_NETWORK || !request->buffer
        || request->bufferSize < sizeof(ZVOnvifNetworkParam))
        return 0;
    auto connection = FindLoggedIn(handle);
    if (!connection)
        return 0;
    ZVOnvifNetworkParam block;
    std::memcpy(&block, request->buffer, sizeof block);
    std::lock_guard<std::mutex> lock(connection->callMutex);
    if (!connection->client->QueryNetwork(block))
        return 0;
    std::memcpy(request->buffer, &block, sizeof block);
    return 1;
}

int ZVOnvifSetParam(int handle, const ZVNetSetParamReq* request)
{
    if (!request || request->paramId != ZVONVIF_PARAM_NETWORK || !request->block)
        return 0;
    uint32_t size = 0;
    std::memcpy(&size, request->block, sizeof size);
    if (size < sizeof(ZVOnvifNetworkParam))
        return 0;
    auto connection = FindLoggedIn(handle);
    if (!connection)
        return 0;
    ZVOnvifNetworkParam block;
    std::memcpy(&block, request->block, sizeof block);
    std::lock_guard<std::mutex> lock(connection->callMutex);
    return connection->client->SetNetwork(block) ? 1 : 0;
}
