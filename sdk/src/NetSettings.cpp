// Requests without a session: network change over UDP, first password over TCP.
#include "Config.h"
#include "Runtime.h"
#include "Socket.h"
#include "ZVNet.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace zvsdk
{
namespace
{
bool SameMac(const char* a, size_t aWidth, const char* b, size_t bWidth)
{
    const std::string x(a, zvwire::BoundedLength(a, aWidth));
    const std::string y(b, zvwire::BoundedLength(b, bWidth));
    return x.empty() || strcasecmp(x.c_str(), y.c_str()) == 0;
}

enum class Wait
{
    Taken,
    TimedOut,
    Failed, // the socket failed
};

// Receives datagrams until deadline, until take accepts one (its header,
// payload and sender). What does not decode is passed over.
template <typename Take>
Wait AwaitDatagram(int socket, uint8_t* buffer, size_t size, Clock::time_point deadline, Take&& take)
{
    for (;;) {
        const int left = RemainingMs(deadline);
        if (left == 0)
            return Wait::TimedOut;
        in_addr from {};
        const int n = ReceiveDatagram(socket, buffer, size, left, from);
        if (n < 0)
            return Wait::Failed;
        if (n == 0 || static_cast<size_t>(n) > size)
            continue;
        zvwire::Header h;
        const uint8_t* p = nullptr;
        if (zvwire::DecodeDatagram(buffer, static_cast<size_t>(n), h, p) == zvwire::Decode::Ok && take(h, p, from))
            return Wait::Taken;
    }
}

int SavePassword(Worker& worker, const std::string& ip, uint32_t port, const uint8_t* password)
{
    const Config config = CurrentConfig();
    in_addr address {};
    if (!ParseIpv4(ip.c_str(), address))
        return ZVNET_STATUS_PARAM_ERROR;
    const auto deadline = Clock::now() + std::chrono::milliseconds(config.connectTimeoutMs);
    Fd fd = TcpConnect(address, static_cast<uint16_t>(port), deadline, worker.CancelFlag());
    if (!fd.Valid())
        return ZVNET_STATUS_FAILED;
    zvwire::Header h;
    std::vector<uint8_t> p;
    const int bodyMs = std::max(1, config.connectTimeoutMs);
    if (ReadFrame(fd.Get(), deadline, bodyMs, worker.CancelFlag(), h, p) != ReadResult::Ok)
        return ZVNET_STATUS_FAILED;
    if (h.type == zvwire::MSG_LOGIN_RESULT)
        return (h.status == zvwire::ST_OK && p.size() == 4 && zvwire::GetU32(p.data()) == ZVNET_STATUS_REFUSED)
            ? ZVNET_STATUS_REFUSED
            : ZVNET_STATUS_FAILED;
    // A device that has a password already takes no first one.
    if (h.type != zvwire::MSG_CHALLENGE || p.size() != zvwire::kChallengeSize
        || !(zvwire::GetU32(p.data() + 32) & zvwire::kChallengeFlagNoPassword))
        return ZVNET_STATUS_FAILED;
    uint8_t priv[32], pub[32], shared[32], key[32];
    if (!zvwire::X25519Generate(priv, pub) || !zvwire::X25519Shared(priv, p.data() + 36, shared)
        || !zvwire::SavePasswordKey(shared, p.data(), key))
        return ZVNET_STATUS_FAILED;
    const uint32_t id = 1;
    std::vector<uint8_t> body(pub, pub + 32);
    body.insert(body.end(), password, password + zvwire::kSavePasswordField);
    zvwire::Mask(key, id, body.data() + 32, zvwire::kSavePasswordField);
    const auto frame = zvwire::EncodeFrame(zvwire::MSG_SAVE_PASSWORD, id, 0, body.data(), body.size());
    if (!WriteAll(fd.Get(), frame.data(), frame.size(), deadline, worker.CancelFlag()))
        return ZVNET_STATUS_FAILED;
    do {
        if (ReadFrame(fd.Get(), deadline, bodyMs, worker.CancelFlag(), h, p) != ReadResult::Ok)
            return ZVNET_STATUS_FAILED;
    } while (h.type != zvwire::ReplyType(zvwire::MSG_SAVE_PASSWORD) || h.requestId != id);
    if (h.status != zvwire::ST_OK || p.size() != 4)
        return ZVNET_STATUS_FAILED;
    const uint32_t code = zvwire::GetU32(p.data());
    return (code == ZVNET_STATUS_PASSWORD_SAVED || code == ZVNET_STATUS_REFUSED || code == ZVNET_STATUS_LOGIN_FAILED)
        ? static_cast<int>(code)
        : ZVNET_STATUS_FAILED;
}
} // namespace
} // namespace zvsdk

using namespace zvsdk;

int ZVNetSetNewDevInfoEx(const ZVNetNewDevInfo* info)
{
    if (!info || !Accepting())
        return 0;
    static_assert(sizeof(ZVNetNewDevInfo) == zvwire::kNewDevInfoSize);
    uint8_t record[zvwire::kNewDevInfoSize];
    std::memcpy(record, info, sizeof record);
    const std::string password(info->password, zvwire::BoundedLength(info->password, sizeof info->password - 1));
    std::memset(record + zvwire::kNewDevInfoPasswordOffset, 0, zvwire::kNewDevInfoPasswordSize);

    const Config config = CurrentConfig();
    Fd socket = UdpSocket();
    if (!socket.Valid())
        return 0;
    in_addr current {};
    std::memcpy(&current.s_addr, info->currentIp, 4);
    std::vector<in_addr> targets;
    // A current address that did not parse reads 0.0.0.0: only the broadcast can find that device.
    if (current.s_addr != htonl(INADDR_ANY))
        targets.push_back(current);
    const auto extra = config.searchTargets.empty() ? BroadcastAddresses() : config.searchTargets;
    targets.insert(targets.end(), extra.begin(), extra.end());

    zvwire::Writer challenge;
    challenge.Bytes(info->currentIp, 4).Text(info->mac, sizeof info->mac);
    const auto challengeFrame
        = zvwire::EncodeFrame(zvwire::MSG_NET_CHALLENGE, 1, 0, challenge.Data().data(), challenge.Data().size());
    uint8_t buffer[zvwire::kHeaderSize + zvwire::kMaxUdpPayload];
    uint8_t serverNonce[32];
    in_addr device {};
    bool found = false;
    for (int attempt = 0; attempt < 3 && !found; ++attempt) {
        for (const auto& t : targets)
            SendDatagram(socket.Get(), t, config.udpPort, challengeFrame);
        const auto deadline = Clock::now() + std::chrono::milliseconds(attempt == 2 ? 1500 : 500);
        const Wait wait = AwaitDatagram(socket.Get(), buffer, sizeof buffer, deadline,
            [&](const zvwire::Header& h, const uint8_t* p, const in_addr& from) {
                if (h.type != zvwire::ReplyType(zvwire::MSG_NET_CHALLENGE) || h.status != zvwire::ST_OK
                    || h.length != zvwire::kNetChallengeRspSize || std::memcmp(p, info->currentIp, 4) != 0
                    || !SameMac(info->mac, sizeof info->mac, reinterpret_cast<const char*>(p + 4), 36))
                    return false;
                std::memcpy(serverNonce, p + 40, 32);
                device = from;
                return true;
            });
        if (wait == Wait::Failed)
            return 0;
        found = wait == Wait::Taken;
    }
    if (!found)
        return 0;
    uint8_t clientNonce[32], proof[32];
    if (!zvwire::RandomBytes(clientNonce, 32)
        || !zvwire::SetNetworkProof(password, serverNonce, clientNonce, record, proof))
        return 0;
    zvwire::Writer w;
    w.Bytes(serverNonce, 32).Bytes(clientNonce, 32).Bytes(proof, 32).Bytes(record, sizeof record);
    const uint32_t id = 2;
    const auto frame = zvwire::EncodeFrame(zvwire::MSG_SET_NETWORK, id, 0, w.Data().data(), w.Data().size());
    if (!SendDatagram(socket.Get(), device, config.udpPort, frame))
        return 0;
    zvwire::Header reply;
    const Wait wait = AwaitDatagram(socket.Get(), buffer, sizeof buffer, Clock::now() + std::chrono::milliseconds(3000),
        [&](const zvwire::Header& h, const uint8_t*, const in_addr&) {
            if (h.type != zvwire::ReplyType(zvwire::MSG_SET_NETWORK) || h.requestId != id)
                return false;
            reply = h;
            return true;
        });
    // The reply is empty; one with a payload is malformed.
    return wait == Wait::Taken && reply.status == zvwire::ST_OK && reply.length == 0 ? 1 : 0;
}

int ZVNetStartSavePasword(const ZVNetSavePasswordParam* param)
{
    if (!param)
        return 0;
    ZVNetStatusCallback callback = param->callback;
    void* user = param->user;
    const bool bad = !param->ip || !param->ip[0] || param->port == 0 || param->port > 65535 || !param->extra
        || param->extraSize != sizeof(ZVNetSavePasswordExtra) || param->extra->size != sizeof(ZVNetSavePasswordExtra);
    if (bad) {
        ReleaseOnReturn release(
            callback ? ReportLater([callback, user]() { callback(ZVNET_STATUS_PARAM_ERROR, user); }) : nullptr);
        return 0;
    }
    const std::string ip = param->ip;
    const uint32_t port = param->port;
    std::vector<uint8_t> password(zvwire::kSavePasswordField, 0);
    const size_t length = zvwire::BoundedLength(param->extra->password, sizeof param->extra->password - 1);
    std::memcpy(password.data(), param->extra->password, length);
    auto worker = Worker::Start([ip, port, password, callback, user](Worker& w) {
        if (!w.AwaitStart())
            return;
        const int status = SavePassword(w, ip, port, password.data());
        if (callback && !w.Cancelled())
            callback(status, user);
    });
    if (!worker)
        return 0;
    ReleaseOnReturn release(worker);
    return 1;
}
