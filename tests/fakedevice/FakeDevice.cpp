#include "FakeDevice.h"

#include "DeviceDefaults.h"
#include "DeviceWire.h"
#include "ZVNet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <list>

namespace fakedevice
{
namespace
{
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kMaxRecorded = 20000;
constexpr int kMaxDelayMs = 30000;
constexpr uint32_t kMaxExportData = 393216;

std::string PeerText(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

bool ParseIp(const std::string& text, in_addr& out)
{
    return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

std::string IpText(const uint8_t* dotted)
{
    return std::to_string(dotted[0]) + "." + std::to_string(dotted[1]) + "." + std::to_string(dotted[2]) + "."
        + std::to_string(dotted[3]);
}

bool SameMac(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

void SetNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

int BindSocket(int type, const std::string& ip, uint16_t port)
{
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if ((!ip.empty() && !ParseIp(ip, address.sin_addr))
        || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || (type == SOCK_STREAM && listen(fd, 64) != 0)) {
        close(fd);
        return -1;
    }
    SetNonBlocking(fd);
    return fd;
}

// Export format: "FDEX", then per parameter u32 id, u32 size, bytes.
Bytes SerializeParams(const std::map<uint32_t, Bytes>& params)
{
    Bytes out { 'F', 'D', 'E', 'X' };
    for (const auto& [id, bytes] : params) {
        wire::Append32(out, id);
        wire::Append32(out, static_cast<uint32_t>(bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

bool ParseParams(const Bytes& data, std::map<uint32_t, Bytes>& out)
{
    if (data.size() < 4 || std::memcmp(data.data(), "FDEX", 4) != 0)
        return false;
    std::map<uint32_t, Bytes> params;
    size_t pos = 4;
    while (pos < data.size()) {
        if (data.size() - pos < 8)
            return false;
        const uint32_t id = wire::U32(&data[pos]);
        const uint32_t size = wire::U32(&data[pos + 4]);
        pos += 8;
        if (size > data.size() - pos)
            return false;
        params[id] = Bytes(data.begin() + pos, data.begin() + pos + size);
        pos += size;
    }
    out = std::move(params);
    return true;
}

size_t RecordSize(uint32_t id)
{
    switch (id) {
    case ZVNET_PARAM_USERS: return sizeof(ZVNetUserParam);
    case ZVNET_PARAM_MAIN_STREAM:
    case ZVNET_PARAM_SUB_STREAM: return sizeof(ZVNetStreamParam);
    case ZVNET_PARAM_OSD: return sizeof(ZVNetOsdParam);
    default: return 0;
    }
}

bool SameKindOfParams(const std::map<uint32_t, Bytes>& imported, const std::map<uint32_t, Bytes>& own)
{
    if (imported.size() != own.size())
        return false;
    for (const auto& [id, bytes] : imported) {
        const auto it = own.find(id);
        if (it == own.end() || it->second.size() != bytes.size())
            return false;
    }
    return true;
}

enum class Action
{
    Send,
    Skip,
    Half,
    Close,
};
} // namespace

struct FakeDevice::Impl
{
    struct Session
    {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done { false };
        std::mutex sendMutex;
        std::string peer;
        // Owned by the session thread:
        std::atomic<bool> loggedIn { false };
        Bytes serverNonce;
        Bytes privateKey;
        Bytes publicKey;
        Bytes sessionKey;
        std::vector<int> selection; // channels (0-based) of the last record query
        int upgradeIndex = -1;
    };

    struct Pending
    {
        Clock::time_point due;
        sockaddr_in to {};
        Bytes bytes;
        std::function<void()> after;
    };

    struct Nonce
    {
        Bytes value;
        Clock::time_point issued;
    };

    Options options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    int datagramsSent = 0;
    DeviceState state;
    DeviceState factory; // what a factory reset goes back to
    Clock::time_point offlineUntil; // a reboot keeps the device away until then
    bool rebooting = false; // a reboot is being answered; the device goes away next
    Faults faults;
    std::vector<Received> received;
    std::vector<UpgradeRecord> upgrades;
    std::deque<Nonce> netNonces;
    Bytes lastExport;
    bool upgradeBusy = false;

    std::atomic<bool> stopping { false };
    std::atomic<bool> listening { false };
    std::thread ioThread;

    // Owned by the I/O thread:
    int udpFd = -1;
    int broadcastFd = -1;
    int listenFd = -1;
    std::string boundIp;
    uint16_t boundTcp = 0;
    std::list<Pending> pending;
    Clock::time_point nextBindTry;

    std::mutex sessionsMutex;
    std::list<std::shared_ptr<Session>> sessions;

    Impl(DeviceState s, Options o)
        : options(o)
        , state(std::move(s))
    {
        state.FillDefaultParams();
        factory = state;
    }

    void Record(bool udp, const wire::Frame& frame, const std::string& peer, const Bytes* plain = nullptr)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (received.size() < kMaxRecorded)
            received.push_back({ udp, frame.type, frame.requestId, plain ? *plain : frame.payload, peer,
                std::chrono::system_clock::now() });
        changed.notify_all();
    }

    // Waits before a slow reply; false when the peer hung up meanwhile.
    bool SleepBounded(int ms, int fd)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(std::clamp(ms, 0, kMaxDelayMs));
        while (!stopping && Clock::now() < end) {
            pollfd p { fd, POLLRDHUP, 0 };
            if (poll(&p, 1, 10) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                return false;
        }
        return true;
    }

    // Applies the reply faults to an encoded reply of requestType.
    Action Prepare(uint16_t requestType, wire::Frame& reply, Bytes& encoded, int& delayMs)
    {
        Faults f;
        {
            std::lock_guard<std::mutex> lock(mutex);
            f = faults;
        }
        delayMs = 0;
        if (f.noAnswer)
            return Action::Skip;
        if (f.faultType != 0 && f.faultType != requestType) {
            encoded = wire::Encode(reply);
            return Action::Send;
        }
        delayMs = f.replyDelayMs;
        if (f.replyStatus != 0)
            reply.status = f.replyStatus;
        if (f.truncatedReply)
            reply.payload.resize(reply.payload.size() / 2);
        if (f.randomPayload) {
            uint8_t length[2] = {};
            wire::Random(length, sizeof length);
            reply.payload.resize(std::min<size_t>(wire::U16(length), 2 * reply.payload.size() + 64));
            wire::Random(reply.payload.data(), reply.payload.size());
        }
        if (f.oversizedReply)
            reply.payload.resize(reply.payload.size() + 64, 0xEE);
        encoded = wire::Encode(reply);
        if (f.hugeLength) {
            const uint32_t length = wire::kMaxTcpPayload + 1;
            std::memcpy(&encoded[16], &length, 4);
        }
        if (f.badMagic)
            encoded[0] ^= 0xFF;
        if (f.dropBeforeReply)
            return Action::Close;
        if (f.dropMidReply)
            return Action::Half;
        return Action::Send;
    }

    // ---- I/O thread: binding, datagrams, accepting --------------------------------------------

    void CloseListeners()
    {
        for (int* fd : { &udpFd, &broadcastFd, &listenFd }) {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
        // Written by this thread only, read under the lock by WaitListening.
        std::lock_guard<std::mutex> lock(mutex);
        listening = false;
    }

    void EnsureBound()
    {
        std::string ip;
        uint16_t tcp;
        bool offline;
        {
            std::lock_guard<std::mutex> lock(mutex);
            ip = state.ip;
            tcp = state.mediaPort;
            offline = Clock::now() < offlineUntil;
        }
        // Rebooting: nothing listens and no connection lasts.
        if (offline) {
            if (listening || udpFd >= 0 || listenFd >= 0 || broadcastFd >= 0)
                CloseListeners();
            ReapSessions(true);
            pending.clear();
            return;
        }
        if (listening && ip == boundIp && tcp == boundTcp)
            return;
        if (!listening && Clock::now() < nextBindTry && ip == boundIp && tcp == boundTcp)
            return;
        CloseListeners();
        {
            std::lock_guard<std::mutex> lock(mutex);
            boundIp = ip;
            boundTcp = tcp;
        }
        udpFd = BindSocket(SOCK_DGRAM, ip, options.udpPort);
        listenFd = BindSocket(SOCK_STREAM, ip, tcp);
        if (options.broadcast)
            broadcastFd = BindSocket(SOCK_DGRAM, std::string(), options.udpPort);
        if (broadcastFd >= 0) {
            int on = 1;
            setsockopt(broadcastFd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        }
        if (udpFd < 0 || listenFd < 0 || (options.broadcast && broadcastFd < 0)) {
            CloseListeners();
            nextBindTry = Clock::now() + 200ms;
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        listening = true;
        changed.notify_all();
    }

    // Loopback devices answer loopback only; others only their own subnet.
    bool MayAnswer(const sockaddr_in& from)
    {
        std::lock_guard<std::mutex> lock(mutex);
        in_addr own {}, mask {};
        if (!ParseIp(state.ip, own))
            return false;
        const uint32_t source = ntohl(from.sin_addr.s_addr);
        if ((ntohl(own.s_addr) >> 24) == 127)
            return (source >> 24) == 127;
        if (!ParseIp(state.netmask, mask))
            return false;
        return (source & ntohl(mask.s_addr)) == (ntohl(own.s_addr) & ntohl(mask.s_addr));
    }

    void QueueDatagram(uint16_t requestType, wire::Frame reply, const sockaddr_in& to, std::function<void()> after)
    {
        Bytes encoded;
        int delayMs = 0;
        const Action action = Prepare(requestType, reply, encoded, delayMs);
        if (action == Action::Skip || action == Action::Close) {
            if (after && action == Action::Close)
                after();
            return;
        }
        if (action == Action::Half)
            encoded.resize(encoded.size() / 2);
        pending.push_back(
            { Clock::now() + std::chrono::milliseconds(std::clamp(delayMs, 0, kMaxDelayMs)), to, encoded, after });
    }

    void FlushPending()
    {
        const auto now = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->due > now) {
                ++it;
                continue;
            }
            if (udpFd >= 0
                && sendto(udpFd, it->bytes.data(), it->bytes.size(), 0, reinterpret_cast<const sockaddr*>(&it->to),
                       sizeof it->to)
                    > 0) {
                std::lock_guard<std::mutex> lock(mutex);
                ++datagramsSent;
                changed.notify_all();
            }
            if (it->after)
                it->after();
            it = pending.erase(it);
        }
    }

    // The wildcard socket also receives unicast for other addresses of the same
    // host: this device takes only broadcasts there.
    bool IsBroadcastFor(in_addr destination)
    {
        const uint32_t d = ntohl(destination.s_addr);
        if (d == INADDR_BROADCAST)
            return true;
        std::lock_guard<std::mutex> lock(mutex);
        in_addr own {}, mask {};
        if (!ParseIp(state.ip, own) || !ParseIp(state.netmask, mask))
            return false;
        return d == ((ntohl(own.s_addr) & ntohl(mask.s_addr)) | ~ntohl(mask.s_addr));
    }

    void ReadDatagrams(int fd)
    {
        for (int n = 0; n < 256; ++n) {
            uint8_t buffer[2048];
            sockaddr_in from {};
            iovec io { buffer, sizeof buffer };
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
            msghdr message {};
            message.msg_name = &from;
            message.msg_namelen = sizeof from;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t size = recvmsg(fd, &message, 0);
            if (size < 0)
                return;
            if (fd == broadcastFd) {
                const cmsghdr* c = CMSG_FIRSTHDR(&message);
                if (!c || c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO)
                    continue;
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                if (!IsBroadcastFor(info.ipi_addr))
                    continue;
            }
            wire::Frame frame;
            uint32_t length = 0;
            if (static_cast<size_t>(size) < wire::kHeaderSize
                || !wire::ParseHeader(buffer, frame, length, wire::kMaxUdpPayload)
                || length != static_cast<size_t>(size) - wire::kHeaderSize)
                continue;
            frame.payload.assign(buffer + wire::kHeaderSize, buffer + size);
            if (!MayAnswer(from))
                continue;
            HandleDatagram(frame, from);
        }
    }

    void HandleDatagram(const wire::Frame& frame, const sockaddr_in& from)
    {
        const std::string peer = PeerText(from);
        Faults f = GetFaultsLocked();
        wire::Frame reply;
        reply.type = frame.type | wire::kReply;
        reply.requestId = frame.requestId;
        switch (frame.type) {
        case wire::Search:
            Record(true, frame, peer);
            if (f.noSearchAnswer)
                return;
            if (frame.payload.size() != 4) {
                reply.status = wire::Malformed;
            } else {
                std::lock_guard<std::mutex> lock(mutex);
                reply.payload = state.SearchRecord();
            }
            break;
        case wire::NetChallenge:
            Record(true, frame, peer);
            if (!NetChallenge(frame, reply))
                return;
            break;
        case wire::SetNetwork: {
            Record(true, frame, peer);
            std::function<void()> apply;
            if (!SetNetwork(frame, reply, apply))
                return;
            QueueDatagram(frame.type, reply, from, apply);
            return;
        }
        default:
            if (frame.type & wire::kReply)
                return;
            Record(true, frame, peer);
            reply.status = wire::UnknownType;
            break;
        }
        QueueDatagram(frame.type, reply, from, nullptr);
    }

    bool NamesMe(const uint8_t* ip, const uint8_t* mac)
    {
        std::lock_guard<std::mutex> lock(mutex);
        in_addr own {};
        if (!ParseIp(state.ip, own) || std::memcmp(&own.s_addr, ip, 4) != 0)
            return false;
        const std::string macText = GetText(mac, 36);
        return macText.empty() || SameMac(macText, state.mac);
    }

    bool NetChallenge(const wire::Frame& frame, wire::Frame& reply)
    {
        if (frame.payload.size() != 40) {
            reply.status = wire::Malformed;
            return true;
        }
        if (!NamesMe(frame.payload.data(), frame.payload.data() + 4))
            return false;
        Bytes nonce(32, 0);
        wire::Random(nonce.data(), nonce.size());
        std::lock_guard<std::mutex> lock(mutex);
        netNonces.push_back({ nonce, Clock::now() });
        while (netNonces.size() > 8)
            netNonces.pop_front();
        reply.payload.assign(frame.payload.begin(), frame.payload.begin() + 4);
        Bytes mac(36, 0);
        PutText(mac, 0, 36, state.mac);
        reply.payload.insert(reply.payload.end(), mac.begin(), mac.end());
        reply.payload.insert(reply.payload.end(), nonce.begin(), nonce.end());
        return true;
    }

    bool TakeNonce(const uint8_t* value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = netNonces.begin(); it != netNonces.end(); ++it) {
            if (wire::SameDigest(it->value, value)) {
                const bool fresh = Clock::now() - it->issued <= 10s;
                netNonces.erase(it);
                return fresh;
            }
        }
        return false;
    }

    bool SetNetwork(const wire::Frame& frame, wire::Frame& reply, std::function<void()>& apply)
    {
        const Bytes& p = frame.payload;
        if (p.size() != 840) {
            reply.status = wire::Malformed;
            return true;
        }
        const uint8_t* record = p.data() + 96;
        if (!NamesMe(record + offsetof(ZVNetNewDevInfo, currentIp), record + offsetof(ZVNetNewDevInfo, mac)))
            return false;
        const bool nonceOk = TakeNonce(p.data());
        const std::string userName = GetText(record + offsetof(ZVNetNewDevInfo, userName), 64);
        std::string password;
        bool known = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (const User& user : state.users) {
                if (user.name == userName) {
                    known = true;
                    password = state.firstLogin ? std::string() : user.password;
                    break;
                }
            }
        }
        const Bytes expected = wire::Hmac(
            password, wire::Concat("ZVNP-SETNET", { { p.data(), 32 }, { p.data() + 32, 32 }, { record, 744 } }));
        if (!nonceOk || !known || !wire::SameDigest(expected, p.data() + 64)) {
            reply.status = wire::AuthFailed;
            return true;
        }
        const uint8_t* newIp = record + offsetof(ZVNetNewDevInfo, newIp);
        if (newIp[0] == 0 || newIp[0] == 255) {
            reply.status = wire::Refused;
            return true;
        }
        DeviceState next;
        {
            std::lock_guard<std::mutex> lock(mutex);
            next = state;
        }
        next.ip = IpText(newIp);
        next.netmask = IpText(record + offsetof(ZVNetNewDevInfo, netmask));
        next.gateway = IpText(record + offsetof(ZVNetNewDevInfo, gateway));
        next.dns1 = IpText(record + offsetof(ZVNetNewDevInfo, dns1));
        next.dns2 = IpText(record + offsetof(ZVNetNewDevInfo, dns2));
        const uint32_t media = wire::U32(record + offsetof(ZVNetNewDevInfo, mediaPort));
        const uint32_t web = wire::U32(record + offsetof(ZVNetNewDevInfo, webPort));
        if (media > 0 && media <= 65535)
            next.mediaPort = static_cast<uint16_t>(media);
        if (web > 0 && web <= 65535)
            next.webPort = static_cast<uint16_t>(web);
        next.networkMode = record[offsetof(ZVNetNewDevInfo, networkMode)];
        // Applied once the reply has left, from the old address.
        apply = [this, next]() {
            std::lock_guard<std::mutex> lock(mutex);
            state.ip = next.ip;
            state.netmask = next.netmask;
            state.gateway = next.gateway;
            state.dns1 = next.dns1;
            state.dns2 = next.dns2;
            state.mediaPort = next.mediaPort;
            state.webPort = next.webPort;
            state.networkMode = next.networkMode;
            changed.notify_all();
        };
        return true;
    }

    void Accept()
    {
        for (int n = 0; n < 64; ++n) {
            sockaddr_in from {};
            socklen_t size = sizeof from;
            const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&from), &size, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            std::lock_guard<std::mutex> lock(sessionsMutex);
            if (static_cast<int>(sessions.size()) >= options.maxSessions || !MayAnswer(from)) {
                close(fd);
                continue;
            }
            timeval timeout { 5, 0 };
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
            auto session = std::make_shared<Session>();
            session->fd = fd;
            session->peer = PeerText(from);
            sessions.push_back(session);
            session->thread = std::thread([this, session]() {
                RunSession(*session);
                session->done = true;
            });
        }
    }

    void ReapSessions(bool all)
    {
        std::list<std::shared_ptr<Session>> finished;
        {
            std::lock_guard<std::mutex> lock(sessionsMutex);
            for (auto it = sessions.begin(); it != sessions.end();) {
                if (all)
                    shutdown((*it)->fd, SHUT_RDWR);
                if (all || (*it)->done) {
                    finished.push_back(*it);
                    it = sessions.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& session : finished) {
            if (session->thread.joinable())
                session->thread.join();
            close(session->fd);
        }
    }

    void Run()
    {
        while (!stopping) {
            EnsureBound();
            ReapSessions(false);
            FlushPending();
            pollfd fds[3];
            int count = 0;
            for (int fd : { udpFd, broadcastFd, listenFd })
                if (fd >= 0)
                    fds[count++] = { fd, POLLIN, 0 };
            int timeoutMs = 50;
            for (const Pending& p : pending)
                timeoutMs = std::min<int>(timeoutMs,
                    std::max<int>(
                        0, std::chrono::duration_cast<std::chrono::milliseconds>(p.due - Clock::now()).count()));
            if (count == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
                continue;
            }
            if (poll(fds, count, timeoutMs) <= 0)
                continue;
            for (int i = 0; i < count; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                if (fds[i].fd == listenFd)
                    Accept();
                else
                    ReadDatagrams(fds[i].fd);
            }
        }
        CloseListeners();
        ReapSessions(true);
    }

    Faults GetFaultsLocked()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return faults;
    }

    // ---- Sessions ------------------------------------------------------------------------------

    void CloseOtherSessions(const Session& keep)
    {
        std::lock_guard<std::mutex> lock(sessionsMutex);
        for (const auto& other : sessions)
            if (other.get() != &keep)
                shutdown(other->fd, SHUT_RDWR);
    }

    bool SendRaw(Session& session, const uint8_t* data, size_t size)
    {
        std::lock_guard<std::mutex> lock(session.sendMutex);
        size_t sent = 0;
        while (sent < size && !stopping) {
            const ssize_t n = send(session.fd, data + sent, size - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return sent == size;
    }

    // False: the session ends.
    bool Reply(Session& session, uint16_t requestType, wire::Frame reply)
    {
        Bytes encoded;
        int delayMs = 0;
        const Action action = Prepare(requestType, reply, encoded, delayMs);
        if (action == Action::Skip)
            return true;
        if (!SleepBounded(delayMs, session.fd) || stopping || action == Action::Close)
            return false;
        if (action == Action::Half) {
            SendRaw(session, encoded.data(), encoded.size() / 2);
            return false;
        }
        return SendRaw(session, encoded.data(), encoded.size());
    }

    void RunSession(Session& session)
    {
        const Faults f = GetFaultsLocked();
        bool open = true;
        if (f.refuseCode != 0) {
            wire::Frame refuse;
            refuse.type = wire::LoginResult;
            wire::Append32(refuse.payload, f.refuseCode);
            Reply(session, wire::Challenge, refuse);
            open = false;
        } else {
            session.serverNonce.assign(32, 0);
            wire::Random(session.serverNonce.data(), 32);
            wire::X25519Pair(session.privateKey, session.publicKey);
            wire::Frame challenge;
            challenge.type = wire::Challenge;
            challenge.payload = session.serverNonce;
            {
                std::lock_guard<std::mutex> lock(mutex);
                wire::Append32(challenge.payload, state.firstLogin ? 1u : 0u);
            }
            challenge.payload.insert(challenge.payload.end(), session.publicKey.begin(), session.publicKey.end());
            open = Reply(session, wire::Challenge, challenge);
        }

        Bytes buffer;
        auto lastActivity = Clock::now();
        // Only a connection that never logged in is dropped for idling.
        while (open && !stopping
            && (session.loggedIn || Clock::now() - lastActivity < std::chrono::seconds(options.sessionIdleSeconds))) {
            pollfd p { session.fd, POLLIN, 0 };
            if (poll(&p, 1, 50) <= 0)
                continue;
            uint8_t chunk[65536];
            const ssize_t n = recv(session.fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            lastActivity = Clock::now();
            buffer.insert(buffer.end(), chunk, chunk + n);
            while (open && buffer.size() >= wire::kHeaderSize) {
                wire::Frame frame;
                uint32_t length = 0;
                if (!wire::ParseHeader(buffer.data(), frame, length, wire::kMaxTcpPayload)) {
                    open = false;
                    break;
                }
                if (buffer.size() < wire::kHeaderSize + length)
                    break;
                frame.payload.assign(buffer.begin() + wire::kHeaderSize, buffer.begin() + wire::kHeaderSize + length);
                buffer.erase(buffer.begin(), buffer.begin() + wire::kHeaderSize + length);
                open = HandleFrame(session, frame);
            }
        }
        EndUpgrade(session, 390, false);
        std::lock_guard<std::mutex> lock(mutex);
        changed.notify_all();
    }

    bool HandleFrame(Session& session, const wire::Frame& frame)
    {
        if (frame.type & wire::kReply)
            return true; // the device sends replies, it takes none
        wire::Frame reply;
        reply.type = frame.type | wire::kReply;
        reply.requestId = frame.requestId;
        const Bytes& p = frame.payload;
        bool recorded = false;
        auto record = [&](const Bytes* plain = nullptr) {
            Record(false, frame, session.peer, plain);
            recorded = true;
        };

        if (!session.loggedIn && frame.type != wire::Login && frame.type != wire::SavePassword
            && frame.type != wire::Logout) {
            record();
            reply.status = frame.type >= 0x0300 && frame.type < 0x0500 ? wire::NotLoggedIn : wire::UnknownType;
            return Reply(session, frame.type, reply);
        }

        switch (frame.type) {
        case wire::Login: return Login(session, frame, reply);
        case wire::SavePassword: {
            if (p.size() != 288) {
                record();
                reply.status = wire::Malformed;
                break;
            }
            Bytes plain = p;
            const Bytes shared = wire::X25519Shared(session.privateKey, p.data());
            if (shared.empty()) {
                record();
                reply.status = wire::Malformed;
                break;
            }
            Bytes keyInput = shared;
            keyInput.insert(keyInput.end(), session.serverNonce.begin(), session.serverNonce.end());
            wire::Mask(wire::Sha256(keyInput), frame.requestId, plain.data() + 32, 256);
            record(&plain);
            uint32_t code;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (faults.savePasswordCode != 0) {
                    code = faults.savePasswordCode;
                } else if (!state.firstLogin) {
                    code = 2;
                } else {
                    state.users.at(0).password = GetText(plain.data() + 32, 256);
                    state.firstLogin = false;
                    code = ZVNET_STATUS_PASSWORD_SAVED;
                }
            }
            wire::Append32(reply.payload, code);
            break;
        }
        case wire::Logout: record(); return false;
        case wire::KeepAlive: record(); break;
        case wire::GetDevInfo: {
            record();
            if (!p.empty()) {
                reply.status = wire::Malformed;
                break;
            }
            std::lock_guard<std::mutex> lock(mutex);
            reply.payload = state.DevInfoRecord();
            break;
        }
        case wire::QueryParam:
            record();
            QueryParam(session, frame, reply);
            break;
        case wire::QueryBlock:
            record();
            QueryBlock(frame, reply);
            break;
        case wire::SetParam: {
            Bytes plain = p;
            if (p.size() >= 16 && wire::U32(p.data()) == ZVNET_PARAM_USERS && !session.sessionKey.empty())
                wire::Mask(session.sessionKey, frame.requestId, plain.data() + 16, plain.size() - 16);
            record(&plain);
            SetParam(session, plain, reply);
            break;
        }
        case wire::SetParamEx:
            record();
            SetParamEx(p, reply);
            break;
        case wire::Ptz: {
            record();
            std::lock_guard<std::mutex> lock(mutex);
            if (p.size() != 48)
                reply.status = wire::Malformed;
            else if (wire::U32(p.data()) != ZVNET_PTZ_DEFAULT)
                reply.status = wire::UnknownParam;
            else
                ++state.ptzDefaults;
            break;
        }
        case wire::RemoteTest: {
            record();
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (p.size() != 4)
                    reply.status = wire::Malformed;
                else if (wire::U32(p.data()) != ZVNET_REMOTE_TEST_REBOOT)
                    reply.status = wire::UnknownParam;
                else {
                    ++state.reboots;
                    rebooting = true;
                }
            }
            if (reply.status != wire::Ok)
                break;
            // A rebooting device answers, then drops every connection and is
            // away for a while.
            Reply(session, frame.type, reply);
            {
                std::lock_guard<std::mutex> lock(mutex);
                rebooting = false;
                offlineUntil = Clock::now() + std::chrono::milliseconds(std::clamp(state.rebootMs, 0, kMaxDelayMs));
            }
            CloseOtherSessions(session);
            return false;
        }
        case wire::Export: {
            record();
            if (!p.empty()) {
                reply.status = wire::Malformed;
                break;
            }
            std::lock_guard<std::mutex> lock(mutex);
            lastExport = SerializeParams(state.params);
            if (lastExport.size() > kMaxExportData) {
                reply.status = wire::Refused;
                break;
            }
            wire::Append32(reply.payload, static_cast<uint32_t>(lastExport.size()));
            reply.payload.insert(reply.payload.end(), lastExport.begin(), lastExport.end());
            break;
        }
        case wire::Import: {
            record();
            if (p.size() < 36 || wire::U32(p.data() + 32) > kMaxExportData
                || p.size() != 36 + wire::U32(p.data() + 32)) {
                reply.status = wire::Malformed;
                break;
            }
            const Bytes data(p.begin() + 36, p.end());
            std::lock_guard<std::mutex> lock(mutex);
            std::map<uint32_t, Bytes> params;
            // A set exported by a device of the same kind: the same records, of the same sizes.
            if (ParseParams(data, params) && SameKindOfParams(params, state.params))
                state.params = std::move(params);
            else
                reply.status = wire::Refused;
            break;
        }
        case wire::UpgradeStart:
        case wire::UpgradeData:
        case wire::UpgradeEnd: record(); return Upgrade(session, frame, reply);
        default:
            record();
            reply.status = wire::UnknownType;
            break;
        }
        (void)recorded;
        return Reply(session, frame.type, reply);
    }

    bool Login(Session& session, const wire::Frame& frame, wire::Frame& reply)
    {
        Record(false, frame, session.peer);
        const Bytes& p = frame.payload;
        if (p.size() != 128) {
            reply.status = wire::Malformed;
            return Reply(session, frame.type, reply);
        }
        const std::string userName = GetText(p.data() + 32, 64);
        std::string password;
        bool known = false;
        uint32_t injected;
        {
            std::lock_guard<std::mutex> lock(mutex);
            injected = faults.loginCode;
            for (const User& user : state.users) {
                if (user.name == userName) {
                    known = true;
                    password = state.firstLogin ? std::string() : user.password;
                    break;
                }
            }
        }
        const Bytes expected = wire::Hmac(password,
            wire::Concat("ZVNP-LOGIN",
                { { session.serverNonce.data(), 32 }, { p.data(), 32 },
                    { reinterpret_cast<const uint8_t*>(userName.data()), userName.size() } }));
        uint32_t code = ZVNET_STATUS_LOGIN_FAILED;
        if (known && wire::SameDigest(expected, p.data() + 96)) {
            code = injected != 0 ? injected : static_cast<uint32_t>(ZVNET_STATUS_LOGIN_OK);
            if (code == ZVNET_STATUS_LOGIN_OK) {
                session.loggedIn = true;
                session.sessionKey = wire::Hmac(
                    password, wire::Concat("ZVNP-SESSION", { { session.serverNonce.data(), 32 }, { p.data(), 32 } }));
            }
        }
        wire::Append32(reply.payload, code);
        const bool open = Reply(session, frame.type, reply);
        std::lock_guard<std::mutex> lock(mutex);
        changed.notify_all();
        return open;
    }

    std::vector<int> Selection(const uint8_t* mask, int channels)
    {
        std::vector<int> selected;
        bool any = false;
        for (int i = 0; i < 8; ++i)
            any = any || wire::U32(mask + 4 * i) != 0;
        for (int c = 0; c < channels && c < 256; ++c)
            if (!any || (wire::U32(mask + 4 * (c / 32)) >> (c % 32) & 1))
                selected.push_back(c);
        return selected;
    }

    void QueryParam(Session& session, const wire::Frame& frame, wire::Frame& reply)
    {
        const Bytes& p = frame.payload;
        if (p.size() != 36) {
            reply.status = wire::Malformed;
            return;
        }
        const uint32_t id = wire::U32(p.data());
        const size_t itemSize = RecordSize(id);
        if (itemSize == 0) {
            reply.status = wire::UnknownParam;
            return;
        }
        Bytes header, items;
        uint32_t count = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (id == ZVNET_PARAM_USERS) {
                header = state.UserHeader();
                items = state.UserRecords();
                count = static_cast<uint32_t>(state.users.size());
            } else {
                const Bytes& all = state.params[id];
                session.selection = Selection(p.data() + 4, state.channels);
                for (int c : session.selection) {
                    if ((c + 1) * itemSize > all.size())
                        break;
                    items.insert(items.end(), all.begin() + c * itemSize, all.begin() + (c + 1) * itemSize);
                    ++count;
                }
            }
        }
        if (GetFaultsLocked().emptyRecordLists) {
            items.clear();
            count = 0;
        }
        wire::Append32(reply.payload, id);
        wire::Append32(reply.payload, static_cast<uint32_t>(header.size()));
        wire::Append32(reply.payload, static_cast<uint32_t>(itemSize));
        wire::Append32(reply.payload, count);
        reply.payload.insert(reply.payload.end(), header.begin(), header.end());
        reply.payload.insert(reply.payload.end(), items.begin(), items.end());
        if (id == ZVNET_PARAM_USERS)
            wire::Mask(session.sessionKey, frame.requestId, reply.payload.data() + 16, reply.payload.size() - 16);
    }

    void QueryBlock(const wire::Frame& frame, wire::Frame& reply)
    {
        const Bytes& p = frame.payload;
        if (p.size() != 8) {
            reply.status = wire::Malformed;
            return;
        }
        const uint32_t id = wire::U32(p.data());
        const uint32_t size = wire::U32(p.data() + 4);
        if (id != ZVNET_PARAM_VERSION && id != ZVNET_PARAM_DATETIME) {
            reply.status = wire::UnknownParam;
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        Bytes block = state.params[id];
        // A version text as long as its field goes out without a terminator.
        if (id == ZVNET_PARAM_VERSION && block.size() == sizeof(ZVNetVersionParam)) {
            const size_t offset = offsetof(ZVNetVersionParam, version);
            const size_t width = sizeof(ZVNetVersionParam::version);
            std::fill(block.begin() + offset, block.begin() + offset + width, 0);
            std::memcpy(block.data() + offset, state.deviceVersion.data(), std::min(width, state.deviceVersion.size()));
        }
        if (block.size() != size || size < 4 || GetU32(block.data()) != size) {
            reply.status = wire::BadSize;
            return;
        }
        reply.payload = block;
    }

    void SetParam(Session& session, const Bytes& p, wire::Frame& reply)
    {
        if (p.size() < 16) {
            reply.status = wire::Malformed;
            return;
        }
        const uint32_t id = wire::U32(p.data());
        const uint32_t form = wire::U32(p.data() + 4);
        const uint64_t recordSize = wire::U32(p.data() + 8);
        const uint64_t count = wire::U32(p.data() + 12);
        if (p.size() != 16 + recordSize * count) {
            reply.status = wire::Malformed;
            return;
        }
        const uint8_t* data = p.data() + 16;
        std::lock_guard<std::mutex> lock(mutex);
        if (form == 0) {
            const size_t expected = id == ZVNET_PARAM_DATETIME ? sizeof(ZVNetDateTimeParam)
                : id == ZVNET_PARAM_DEFAULT                    ? sizeof(ZVNetDefaultParam)
                                                               : 0;
            if (expected == 0)
                reply.status = wire::UnknownParam;
            else if (recordSize != expected || count != 1 || GetU32(data) != expected)
                reply.status = wire::BadSize;
            else
                state.params[id] = Bytes(data, data + expected);
            if (reply.status == wire::Ok && id == ZVNET_PARAM_DEFAULT)
                RestoreGroups(state, factory, data);
            return;
        }
        const size_t expected = RecordSize(id);
        if (form != 1 || expected == 0) {
            reply.status = wire::UnknownParam;
            return;
        }
        const uint64_t maxCount = id == ZVNET_PARAM_USERS ? 32 : 256;
        if (recordSize != expected || count < 1 || count > maxCount) {
            reply.status = wire::BadSize;
            return;
        }
        if (id == ZVNET_PARAM_USERS) {
            if (!state.ApplyUserRecords(data, recordSize * count))
                reply.status = wire::BadSize;
            return;
        }
        std::vector<int> targets = session.selection;
        if (targets.empty())
            for (int c = 0; c < state.channels; ++c)
                targets.push_back(c);
        Bytes& all = state.params[id];
        if (count > targets.size()) {
            reply.status = wire::BadSize;
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            const size_t at = static_cast<size_t>(targets[i]) * expected;
            if (at + expected <= all.size())
                std::memcpy(all.data() + at, data + i * expected, expected);
        }
    }

    void SetParamEx(const Bytes& p, wire::Frame& reply)
    {
        if (p.size() < 16 || p.size() != 16 + static_cast<uint64_t>(wire::U32(p.data() + 12))) {
            reply.status = wire::Malformed;
            return;
        }
        const uint32_t type = wire::U32(p.data());
        const uint32_t id = wire::U32(p.data() + 4);
        const uint32_t size = wire::U32(p.data() + 12);
        const uint8_t* block = p.data() + 16;
        const size_t expected = id == ZVNET_BLOCK_FACTORY_INFO ? sizeof(ZVNetFactoryInfo)
            : id == ZVNET_BLOCK_FACTORY_KEY                    ? sizeof(ZVNetFactoryKeyParam)
                                                               : 0;
        if (type != ZVNET_SETPARAMEX_TYPE || expected == 0) {
            reply.status = wire::UnknownParam;
            return;
        }
        if (size != expected || GetU32(block) != size) {
            reply.status = wire::BadSize;
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (id == ZVNET_BLOCK_FACTORY_KEY) {
            state.params[id] = Bytes(block, block + size);
            return;
        }
        Bytes& stored = state.params[id];
        const uint32_t mask = GetU32(block + offsetof(ZVNetFactoryInfo, changeMask));
        auto take = [&](uint32_t bit, size_t offset, size_t width) {
            if (mask & bit)
                std::memcpy(stored.data() + offset, block + offset, width);
        };
        take(ZVNET_FACTORY_MAIN_BOARD_NAME, offsetof(ZVNetFactoryInfo, mainBoardName), 56);
        take(ZVNET_FACTORY_PRODUCT_TYPE, offsetof(ZVNetFactoryInfo, productType), 64);
        take(ZVNET_FACTORY_DEVICE_TYPE, offsetof(ZVNetFactoryInfo, deviceType), 32);
        take(ZVNET_FACTORY_DEVICE_NAME, offsetof(ZVNetFactoryInfo, deviceName), 32);
        take(ZVNET_FACTORY_CUSTOM_TYPE, offsetof(ZVNetFactoryInfo, customType), 32);
        take(ZVNET_FACTORY_FUNCTION_CODE, offsetof(ZVNetFactoryInfo, functionCode), 8);
        if (mask & ZVNET_FACTORY_DEVICE_TYPE)
            state.deviceType = GetText(stored.data() + offsetof(ZVNetFactoryInfo, deviceType), 32);
        if (mask & ZVNET_FACTORY_DEVICE_NAME)
            state.deviceName = GetText(stored.data() + offsetof(ZVNetFactoryInfo, deviceName), 32);
    }

    // Ends the session's upload (if any) with a final code.
    void EndUpgrade(Session& session, uint32_t code, bool complete)
    {
        (void)complete;
        std::lock_guard<std::mutex> lock(mutex);
        if (session.upgradeIndex < 0)
            return;
        UpgradeRecord& u = upgrades[static_cast<size_t>(session.upgradeIndex)];
        if (u.finalCode == 0)
            u.finalCode = code;
        session.upgradeIndex = -1;
        upgradeBusy = false;
        changed.notify_all();
    }

    std::unique_ptr<wire::Sha256Stream> hash;

    bool Upgrade(Session& session, const wire::Frame& frame, wire::Frame& reply)
    {
        const Bytes& p = frame.payload;
        Faults f = GetFaultsLocked();
        if (frame.type == wire::UpgradeStart) {
            if (p.size() != 16) {
                reply.status = wire::Malformed;
                return Reply(session, frame.type, reply);
            }
            const uint32_t type = wire::U32(p.data());
            const uint64_t total = wire::U64(p.data() + 8);
            std::lock_guard<std::mutex> lock(mutex);
            if (upgradeBusy) {
                reply.status = wire::Busy;
            } else if ((type != ZVNET_UPGRADE_TYPE_BASIC && type != ZVNET_UPGRADE_TYPE_EXTENDED)
                || (type == ZVNET_UPGRADE_TYPE_EXTENDED && !state.extendedUpgrade) || total == 0
                || total > 268435456ull) {
                reply.status = wire::Refused;
            } else {
                upgradeBusy = true;
                UpgradeRecord u;
                u.upgradeType = type;
                u.announcedSize = total;
                upgrades.push_back(u);
                session.upgradeIndex = static_cast<int>(upgrades.size() - 1);
                if (!hash)
                    hash = std::make_unique<wire::Sha256Stream>();
                hash->Reset();
            }
        } else if (session.upgradeIndex < 0) {
            reply.status = wire::Refused;
        } else if (frame.type == wire::UpgradeData) {
            if (p.size() < 12 || p.size() != 12 + static_cast<uint64_t>(wire::U32(p.data() + 8))
                || wire::U32(p.data() + 8) == 0 || wire::U32(p.data() + 8) > 65536) {
                reply.status = wire::Malformed;
                return Reply(session, frame.type, reply);
            }
            const uint64_t offset = wire::U64(p.data());
            const uint32_t size = wire::U32(p.data() + 8);
            bool fail = false, drop = false;
            {
                std::lock_guard<std::mutex> lock(mutex);
                UpgradeRecord& u = upgrades[static_cast<size_t>(session.upgradeIndex)];
                if (offset != u.receivedSize || u.receivedSize + size > u.announcedSize) {
                    fail = true;
                } else {
                    const int percent = static_cast<int>((u.receivedSize + size) * 100 / u.announcedSize);
                    fail = f.upgradeFailPercent >= 0 && percent >= f.upgradeFailPercent;
                    drop = f.upgradeDropPercent >= 0 && percent >= f.upgradeDropPercent;
                    if (!fail && !drop) {
                        hash->Add(p.data() + 12, size);
                        u.receivedSize += size;
                    }
                }
            }
            if (drop) {
                EndUpgrade(session, 390, false);
                return false;
            }
            if (fail) {
                EndUpgrade(session, 390, false);
                reply.status = wire::Refused;
            }
        } else {
            if (p.size() != 8) {
                reply.status = wire::Malformed;
                return Reply(session, frame.type, reply);
            }
            uint32_t code;
            {
                std::lock_guard<std::mutex> lock(mutex);
                UpgradeRecord& u = upgrades[static_cast<size_t>(session.upgradeIndex)];
                u.ended = true;
                u.sha256 = hash->HexDigest();
                const bool whole = u.receivedSize == u.announcedSize && wire::U64(p.data()) == u.announcedSize;
                code = !whole                 ? static_cast<uint32_t>(ZVNET_UPGRADE_FAILED)
                    : f.upgradeFinalCode != 0 ? f.upgradeFinalCode
                                              : static_cast<uint32_t>(ZVNET_UPGRADE_SUCCEEDED);
            }
            EndUpgrade(session, code, true);
            wire::Append32(reply.payload, code);
        }
        return Reply(session, frame.type, reply);
    }
};

FakeDevice::FakeDevice(DeviceState state)
    : FakeDevice(std::move(state), Options())
{
}

FakeDevice::FakeDevice(DeviceState state, Options options)
    : m_impl(std::make_unique<Impl>(std::move(state), options))
{
    m_impl->ioThread = std::thread([this]() { m_impl->Run(); });
}

FakeDevice::~FakeDevice()
{
    m_impl->stopping = true;
    if (m_impl->ioThread.joinable())
        m_impl->ioThread.join();
}

bool FakeDevice::Listening() const
{
    return m_impl->listening;
}

bool FakeDevice::WaitListening(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this]() {
        return m_impl->listening && m_impl->boundIp == m_impl->state.ip && m_impl->boundTcp == m_impl->state.mediaPort
            && !m_impl->rebooting && Clock::now() >= m_impl->offlineUntil;
    });
}

DeviceState FakeDevice::State() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->state;
}

void FakeDevice::Update(const std::function<void(DeviceState&)>& change)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    change(m_impl->state);
    m_impl->changed.notify_all();
}

void FakeDevice::SetPassword(const std::string& password)
{
    Update([&password](DeviceState& s) { s.users.at(0).password = password; });
}

std::string FakeDevice::Password() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->state.users.at(0).password;
}

Faults FakeDevice::GetFaults() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->faults;
}

void FakeDevice::SetFaults(const Faults& faults)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->faults = faults;
}

std::vector<Received> FakeDevice::ReceivedRequests() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->received;
}

int64_t FakeDevice::LastParamSetMs(uint32_t param) const
{
    int64_t arrivedMs = 0;
    for (const Received& received : ReceivedRequests()) {
        if (received.type == uint16_t(wire::SetParam) && received.payload.size() >= 4
            && wire::U32(received.payload.data()) == param)
            arrivedMs = std::chrono::duration_cast<std::chrono::milliseconds>(received.at.time_since_epoch()).count();
    }
    return arrivedMs;
}

int FakeDevice::CountReceived(uint16_t type) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return static_cast<int>(std::count_if(
        m_impl->received.begin(), m_impl->received.end(), [type](const Received& r) { return r.type == type; }));
}

void FakeDevice::ClearReceived()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->received.clear();
}

bool FakeDevice::WaitDatagramsSent(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->changed.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&]() { return m_impl->datagramsSent >= count; });
}

bool FakeDevice::WaitReceived(uint16_t type, int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&]() {
        return std::count_if(m_impl->received.begin(), m_impl->received.end(), [type](const Received& r) {
            return r.type == type;
        }) >= count;
    });
}

std::vector<UpgradeRecord> FakeDevice::Upgrades() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->upgrades;
}

int FakeDevice::LoggedInSessions() const
{
    std::lock_guard<std::mutex> lock(m_impl->sessionsMutex);
    int count = 0;
    for (const auto& session : m_impl->sessions)
        count += session->loggedIn && !session->done ? 1 : 0;
    return count;
}

int FakeDevice::SendAlarm(uint32_t code, const Bytes& data)
{
    wire::Frame alarm;
    alarm.type = wire::Alarm;
    wire::Append32(alarm.payload, code);
    wire::Append32(alarm.payload, static_cast<uint32_t>(data.size()));
    alarm.payload.insert(alarm.payload.end(), data.begin(), data.end());
    const Bytes encoded = wire::Encode(alarm);
    std::lock_guard<std::mutex> lock(m_impl->sessionsMutex);
    int count = 0;
    for (const auto& session : m_impl->sessions)
        if (session->loggedIn && !session->done && m_impl->SendRaw(*session, encoded.data(), encoded.size()))
            ++count;
    return count;
}

void FakeDevice::DropSessions()
{
    std::lock_guard<std::mutex> lock(m_impl->sessionsMutex);
    for (const auto& session : m_impl->sessions)
        shutdown(session->fd, SHUT_RDWR);
}

std::string UniqueLoopbackPrefix()
{
    return UniqueLoopbackPrefix(0);
}

std::string UniqueLoopbackPrefix(int block)
{
    const unsigned pid = static_cast<unsigned>(getpid());
    // Second octet 10..209: clear of 127.0.0.x, which everything else uses.
    // Block 1 lies 100 apart, where only a process 25600 pids away would be.
    const unsigned second = (pid / 256 + (block == 1 ? 100u : 0u)) % 200;
    return "127." + std::to_string(10 + second) + "." + std::to_string(pid % 256) + ".";
}

DeviceState LoopbackDeviceState(const std::string& ip, int index)
{
    DeviceState s;
    s.ip = ip;
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:5A:56:%02X:%02X:%02X", (index >> 16) & 0xFF, (index >> 8) & 0xFF, index & 0xFF);
    s.mac = mac;
    s.deviceId = static_cast<uint32_t>(index);
    s.deviceName = "Camera " + std::to_string(index);
    s.hostName = "camera" + std::to_string(index);
    s.mediaPort = kDefaultTcpPort;
    in_addr address {};
    if (ParseIp(ip, address) && (ntohl(address.s_addr) >> 24) != 127) {
        s.netmask = "255.255.0.0";
        s.gateway = "0.0.0.0";
        s.dns1 = "0.0.0.0";
    }
    return s;
}

std::vector<std::unique_ptr<FakeDevice>> MakeDevices(
    const std::vector<std::string>& addresses, const FakeDevice::Options& options)
{
    std::vector<std::unique_ptr<FakeDevice>> devices;
    int index = 1;
    for (const std::string& ip : addresses)
        devices.push_back(std::make_unique<FakeDevice>(LoopbackDeviceState(ip, index++), options));
    return devices;
}
} // namespace fakedevice
