// ZVNet sessions over TCP: login, parameters, commands, export/import, upgrade.
#include "Config.h"
#include "Runtime.h"
#include "Socket.h"
#include "ZVNet.h"

#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fstream>
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
using zvwire::Header;

struct Conn
{
    std::string ip;
    uint32_t port = 0;
    std::string user;
    std::string password;
    void* userValue = nullptr;
    ZVNetStatusCallback status = nullptr;
    bool badParams = false;

    std::atomic<bool> stop{false};
    std::thread thread;
    // Requests run one at a time on the socket.
    std::mutex io;
    std::mutex mutex;
    int fdValue = -1; // for shutdown() by Stop; guarded by mutex
    Fd fd;
    bool loggedIn = false;
    bool dead = false;
    std::vector<uint8_t> devInfo;
    uint8_t sessionKey[32] = {};
    uint32_t nextId = 1;
};

struct Upgrade
{
    std::thread thread;
    std::atomic<bool> cancel{false};
};

struct Registry
{
    std::mutex mutex;
    std::map<int, std::shared_ptr<Conn>> conns;
    std::map<int, std::unique_ptr<Upgrade>> upgrades;
    int nextHandle = 1;
    int nextUpgrade = 0x20000001;
};

Registry& Reg()
{
    static Registry* r = new Registry;
    return *r;
}

std::shared_ptr<Conn> Find(int handle)
{
    if (handle == 0)
        return {};
    std::lock_guard<std::mutex> lock(Reg().mutex);
    auto it = Reg().conns.find(handle);
    return it == Reg().conns.end() ? nullptr : it->second;
}

// One request/reply exchange on a logged-in connection (io held by the caller).
bool Exchange(Conn& c, uint16_t type, const std::vector<uint8_t>& payload, int timeoutMs, Header& header,
              std::vector<uint8_t>& reply, uint32_t* usedId = nullptr, const uint8_t* maskKey = nullptr,
              size_t maskOffset = 0)
{
    uint32_t id;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!c.loggedIn || c.dead || !c.fd.Valid())
            return false;
        id = c.nextId++;
        if (c.nextId == 0)
            c.nextId = 1;
    }
    std::vector<uint8_t> body = payload;
    if (maskKey && body.size() > maskOffset)
        zvwire::Mask(maskKey, id, body.data() + maskOffset, body.size() - maskOffset);
    const auto frame = zvwire::EncodeFrame(type, id, 0, body.data(), body.size());
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ok = WriteAll(c.fd.Get(), frame.data(), frame.size(), deadline);
    while (ok) {
        const ReadResult r = ReadFrame(c.fd.Get(), deadline, timeoutMs, &c.stop, header, reply);
        if (r != ReadResult::Ok) {
            ok = false;
            break;
        }
        if (header.type == zvwire::ReplyType(type) && header.requestId == id)
            break;
        // Other frames (alarms, stale replies) are skipped.
    }
    if (!ok) {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.dead = true;
        return false;
    }
    if (usedId)
        *usedId = id;
    return true;
}

// Result of a reply: 1, the injected 2/3, or 0.
int ResultOf(const Header& h)
{
    if (h.status == zvwire::ST_OK)
        return 1;
    if (h.status == zvwire::ST_RESULT_2)
        return 2;
    if (h.status == zvwire::ST_RESULT_3)
        return 3;
    return 0;
}

int Request(int handle, uint16_t type, const std::vector<uint8_t>& payload, Header& header,
            std::vector<uint8_t>& reply, int timeoutMs = 0)
{
    auto c = Find(handle);
    if (!c)
        return 0;
    std::lock_guard<std::mutex> io(c->io);
    const int t = timeoutMs ? timeoutMs : CurrentConfig().requestTimeoutMs;
    if (!Exchange(*c, type, payload, t, header, reply))
        return 0;
    return ResultOf(header);
}

int Login(Conn& c)
{
    if (c.badParams)
        return ZVNET_STATUS_PARAM_ERROR;
    const Config config = CurrentConfig();
    in_addr address{};
    if (!ParseIpv4(c.ip.c_str(), address))
        return ZVNET_STATUS_FAILED;
    const auto deadline = Clock::now() + std::chrono::milliseconds(config.connectTimeoutMs);
    Fd fd = TcpConnect(address, static_cast<uint16_t>(c.port), config.connectTimeoutMs);
    if (!fd.Valid())
        return ZVNET_STATUS_FAILED;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.fdValue = fd.Get();
        c.fd = std::move(fd);
    }
    const int sock = c.fd.Get();
    Header h;
    std::vector<uint8_t> p;
    if (ReadFrame(sock, deadline, config.connectTimeoutMs, &c.stop, h, p) != ReadResult::Ok)
        return ZVNET_STATUS_FAILED;
    static const std::set<uint32_t> allowed = {2, 3, 4, 101, 104, 105, 106, 107, 108, 109, 112};
    auto codeOf = [](const Header& hh, const std::vector<uint8_t>& pp) -> int {
        if (hh.status != zvwire::ST_OK || pp.size() != 4)
            return ZVNET_STATUS_FAILED;
        const uint32_t code = zvwire::GetU32(pp.data());
        return allowed.count(code) ? static_cast<int>(code) : ZVNET_STATUS_FAILED;
    };
    if (h.type == zvwire::MSG_LOGIN_RESULT) {
        const int code = codeOf(h, p);
        return code == ZVNET_STATUS_LOGIN_OK ? ZVNET_STATUS_FAILED : code;
    }
    if (h.type != zvwire::MSG_CHALLENGE || p.size() != zvwire::kChallengeSize)
        return ZVNET_STATUS_FAILED;
    uint8_t serverNonce[32], clientNonce[32], proof[32];
    std::memcpy(serverNonce, p.data(), 32);
    if (!zvwire::RandomBytes(clientNonce, 32) || !zvwire::LoginProof(c.password, serverNonce, clientNonce, c.user, proof)
        || !zvwire::SessionKey(c.password, serverNonce, clientNonce, c.sessionKey))
        return ZVNET_STATUS_FAILED;
    zvwire::Writer w;
    w.Bytes(clientNonce, 32).Text(c.user.c_str(), zvwire::kUserNameField).Bytes(proof, 32);
    const auto frame = zvwire::EncodeFrame(zvwire::MSG_LOGIN, 1, 0, w.Data().data(), w.Data().size());
    if (!WriteAll(sock, frame.data(), frame.size(), deadline))
        return ZVNET_STATUS_FAILED;
    for (;;) {
        if (ReadFrame(sock, deadline, config.connectTimeoutMs, &c.stop, h, p) != ReadResult::Ok)
            return ZVNET_STATUS_FAILED;
        if (h.type == zvwire::MSG_LOGIN_RESULT)
            break;
    }
    const int code = codeOf(h, p);
    if (code != ZVNET_STATUS_LOGIN_OK)
        return code;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.loggedIn = true;
    }
    std::vector<uint8_t> info;
    std::lock_guard<std::mutex> io(c.io);
    if (!Exchange(c, zvwire::MSG_GET_DEVINFO, {}, RemainingMs(deadline) + 1, h, info) || h.status != zvwire::ST_OK
        || info.size() != zvwire::kDevInfoSize) {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.loggedIn = false;
        return ZVNET_STATUS_FAILED;
    }
    std::lock_guard<std::mutex> lock(c.mutex);
    c.devInfo = std::move(info);
    return ZVNET_STATUS_LOGIN_OK;
}

void RunConnection(std::shared_ptr<Conn> c)
{
    FirstCallbackDelay();
    const int status = Login(*c);
    if (status != ZVNET_STATUS_LOGIN_OK) {
        std::lock_guard<std::mutex> lock(c->mutex);
        c->dead = true;
        c->loggedIn = false;
    }
    if (!c->stop && c->status)
        c->status(status, c->userValue);
}

void StopConn(std::shared_ptr<Conn> c)
{
    c->stop = true;
    {
        std::lock_guard<std::mutex> lock(c->mutex);
        if (c->fdValue >= 0)
            ::shutdown(c->fdValue, SHUT_RDWR);
        c->dead = true;
    }
    if (c->thread.get_id() == std::this_thread::get_id())
        KeepForJoin(std::move(c->thread));
    else if (c->thread.joinable())
        c->thread.join();
}

void FinishUpgrade(std::unique_ptr<Upgrade> u)
{
    if (!u)
        return;
    u->cancel = true;
    if (u->thread.get_id() == std::this_thread::get_id())
        KeepForJoin(std::move(u->thread));
    else if (u->thread.joinable())
        u->thread.join();
}

int RunUpgradeSteps(int handle, const std::string& path, uint32_t type, Upgrade* u, ZVNetUpgradeCallback cb,
                    void* user)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return ZVNET_UPGRADE_BAD_FILE;
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    file.seekg(0);
    if (end <= 0 || static_cast<uint64_t>(end) > zvwire::kMaxUpgradeSize || !file)
        return ZVNET_UPGRADE_BAD_FILE;
    const uint64_t total = static_cast<uint64_t>(end);
    auto report = [&](int code, int value) {
        if (!u->cancel && cb)
            cb(code, reinterpret_cast<const void*>(static_cast<intptr_t>(value)), user);
    };
    report(ZVNET_UPGRADE_PROGRESS, 0);
    Header h;
    std::vector<uint8_t> reply;
    zvwire::Writer start;
    start.U32(type).U32(0).U64(total);
    if (Request(handle, zvwire::MSG_UPGRADE_START, start.Data(), h, reply) != 1)
        return ZVNET_UPGRADE_FAILED;
    std::vector<char> chunk(zvwire::kMaxUpgradeChunk);
    uint64_t sent = 0;
    int percent = 0;
    while (sent < total) {
        if (u->cancel)
            return ZVNET_UPGRADE_FAILED;
        const size_t size = static_cast<size_t>(std::min<uint64_t>(chunk.size(), total - sent));
        if (!file.read(chunk.data(), static_cast<std::streamsize>(size)))
            return ZVNET_UPGRADE_BAD_FILE;
        zvwire::Writer data;
        data.U64(sent).U32(static_cast<uint32_t>(size)).Bytes(chunk.data(), size);
        if (Request(handle, zvwire::MSG_UPGRADE_DATA, data.Data(), h, reply) != 1)
            return ZVNET_UPGRADE_FAILED;
        sent += size;
        const int now = static_cast<int>(sent * 100 / total);
        if (now != percent) {
            percent = now;
            report(ZVNET_UPGRADE_PROGRESS, percent);
        }
    }
    zvwire::Writer endMsg;
    endMsg.U64(total);
    if (Request(handle, zvwire::MSG_UPGRADE_END, endMsg.Data(), h, reply, 30000) != 1 || reply.size() != 4)
        return ZVNET_UPGRADE_FAILED;
    const uint32_t code = zvwire::GetU32(reply.data());
    if (code == 391 || code == 390 || code == 393 || code == 395 || code == 396)
        return static_cast<int>(code);
    return ZVNET_UPGRADE_FAILED;
}

size_t RecordSize(uint32_t id)
{
    switch (id) {
    case ZVNET_PARAM_USERS:
        return sizeof(ZVNetUserParam);
    case ZVNET_PARAM_MAIN_STREAM:
    case ZVNET_PARAM_SUB_STREAM:
        return sizeof(ZVNetStreamParam);
    case ZVNET_PARAM_OSD:
        return sizeof(ZVNetOsdParam);
    default:
        return 0;
    }
}

uint32_t MaxRecords(uint32_t id) { return id == ZVNET_PARAM_USERS ? 32 : 256; }
} // namespace

void ConnectionShutdown()
{
    std::vector<std::shared_ptr<Conn>> conns;
    std::vector<std::unique_ptr<Upgrade>> upgrades;
    {
        std::lock_guard<std::mutex> lock(Reg().mutex);
        for (auto& e : Reg().conns)
            conns.push_back(e.second);
        Reg().conns.clear();
        for (auto& e : Reg().upgrades)
            upgrades.push_back(std::move(e.second));
        Reg().upgrades.clear();
    }
    for (auto& c : conns)
        StopConn(c);
    for (auto& u : upgrades)
        FinishUpgrade(std::move(u));
}
} // namespace zvsdk

using namespace zvsdk;

int ZVNetConnectionStartEx(const ZVNetConnParam* param)
{
    if (!param || !param->ip) {
        if (param && param->statusCallback) {
            auto cb = param->statusCallback;
            void* user = param->user;
            RunTask([cb, user]() {
                FirstCallbackDelay();
                cb(ZVNET_STATUS_PARAM_ERROR, user);
            });
        }
        return 0;
    }
    auto c = std::make_shared<Conn>();
    c->ip = param->ip;
    c->port = param->port;
    c->user = param->userName ? param->userName : "";
    c->password = param->password ? param->password : "";
    c->userValue = param->user;
    c->status = param->statusCallback;
    c->badParams = c->ip.empty() || c->user.empty() || c->user.size() >= zvwire::kUserNameField || param->port == 0
        || param->port > 65535;
    std::lock_guard<std::mutex> lock(Reg().mutex);
    if (!Accepting())
        return 0;
    const int handle = Reg().nextHandle++;
    if (Reg().nextHandle >= 0x20000000)
        Reg().nextHandle = 1;
    c->thread = std::thread(RunConnection, c);
    Reg().conns[handle] = c;
    return handle;
}

int ZVNetConnectionStop(int* handle)
{
    if (!handle || *handle == 0)
        return 0;
    std::shared_ptr<Conn> c;
    {
        std::lock_guard<std::mutex> lock(Reg().mutex);
        auto it = Reg().conns.find(*handle);
        if (it == Reg().conns.end())
            return 0;
        c = it->second;
        Reg().conns.erase(it);
    }
    StopConn(c);
    *handle = 0;
    return 1;
}

int ZVNetGetDevInfo(int handle, void* buffer, int size)
{
    auto c = Find(handle);
    if (!c || !buffer || size < 1)
        return 0;
    std::lock_guard<std::mutex> lock(c->mutex);
    if (!c->loggedIn || c->devInfo.size() != zvwire::kDevInfoSize)
        return 0;
    std::memcpy(buffer, c->devInfo.data(), std::min<size_t>(static_cast<size_t>(size), c->devInfo.size()));
    return 1;
}

int ZVNetQueryParam(int handle, const ZVNetQueryParamReq* request)
{
    if (!request)
        return 0;
    const uint32_t id = request->paramId;
    const size_t itemSize = RecordSize(id);
    const size_t headerSize = id == ZVNET_PARAM_USERS ? sizeof(ZVNetUserHeader) : 0;
    if (itemSize == 0 || request->itemSize != itemSize || request->headerSize != headerSize)
        return 0;
    auto c = Find(handle);
    if (!c)
        return 0;
    zvwire::Writer w;
    w.U32(id);
    for (int i = 0; i < 8; ++i)
        w.U32(request->channelMask && id != ZVNET_PARAM_USERS ? request->channelMask->channels[i] : 0);
    Header h;
    std::vector<uint8_t> reply;
    uint32_t usedId = 0;
    {
        std::lock_guard<std::mutex> io(c->io);
        if (!Exchange(*c, zvwire::MSG_QUERY_PARAM, w.Data(), CurrentConfig().requestTimeoutMs, h, reply, &usedId))
            return 0;
    }
    const int result = ResultOf(h);
    if (result == 0)
        return 0;
    zvwire::Reader r(reply.data(), reply.size());
    const uint32_t rid = r.U32(), rh = r.U32(), ri = r.U32(), count = r.U32();
    if (!r.Ok() || rid != id || rh != headerSize || ri != itemSize || count > MaxRecords(id)
        || r.Remaining() != headerSize + count * itemSize)
        return 0;
    uint8_t* body = reply.data() + zvwire::kQueryParamRspFixed;
    if (id == ZVNET_PARAM_USERS)
        zvwire::Mask(c->sessionKey, usedId, body, r.Remaining());
    if (headerSize && request->headerCallback)
        request->headerCallback(body, request->user);
    for (uint32_t i = 0; i < count; ++i)
        if (request->itemCallback)
            request->itemCallback(body + headerSize + i * itemSize, request->user);
    return result;
}

int ZVNetQueryParamEx(int handle, const ZVNetQueryParamExReq* request)
{
    if (!request || !request->buffer)
        return 0;
    const uint32_t id = request->paramId;
    const uint32_t size = id == ZVNET_PARAM_VERSION ? sizeof(ZVNetVersionParam)
        : id == ZVNET_PARAM_DATETIME                ? sizeof(ZVNetDateTimeParam)
                                                    : 0;
    if (size == 0 || request->bufferSize != size
        || zvwire::GetU32(static_cast<const uint8_t*>(request->buffer)) != size)
        return 0;
    zvwire::Writer w;
    w.U32(id).U32(size);
    Header h;
    std::vector<uint8_t> reply;
    const int result = Request(handle, zvwire::MSG_QUERY_BLOCK, w.Data(), h, reply);
    if (result == 0 || reply.size() != size || zvwire::GetU32(reply.data()) != size)
        return 0;
    std::memcpy(request->buffer, reply.data(), size);
    return result;
}

int ZVNetSetParam(int handle, const ZVNetSetParamReq* request)
{
    if (!request || (!request->block) == (!request->records))
        return 0;
    const uint32_t id = request->paramId;
    zvwire::Writer w;
    if (request->block) {
        const uint32_t size = id == ZVNET_PARAM_DATETIME ? sizeof(ZVNetDateTimeParam)
            : id == ZVNET_PARAM_DEFAULT                  ? sizeof(ZVNetDefaultParam)
                                                         : 0;
        if (size == 0 || zvwire::GetU32(static_cast<const uint8_t*>(request->block)) != size)
            return 0;
        w.U32(id).U32(0).U32(size).U32(1).Bytes(request->block, size);
    } else {
        const size_t size = RecordSize(id);
        if (size == 0 || request->recordCount == 0 || request->recordCount > MaxRecords(id))
            return 0;
        w.U32(id).U32(1).U32(static_cast<uint32_t>(size)).U32(request->recordCount);
        w.Bytes(request->records, size * request->recordCount);
    }
    auto c = Find(handle);
    if (!c)
        return 0;
    Header h;
    std::vector<uint8_t> reply;
    std::lock_guard<std::mutex> io(c->io);
    const bool masked = request->records && id == ZVNET_PARAM_USERS;
    if (!Exchange(*c, zvwire::MSG_SET_PARAM, w.Data(), CurrentConfig().requestTimeoutMs, h, reply, nullptr,
                  masked ? c->sessionKey : nullptr, zvwire::kSetParamFixed))
        return 0;
    return ResultOf(h);
}

int ZVNetSetParamEx(int handle, const ZVNetSetParamExReq* request)
{
    if (!request || !request->block || request->type != ZVNET_SETPARAMEX_TYPE)
        return 0;
    const uint32_t size = request->blockId == ZVNET_BLOCK_FACTORY_INFO ? sizeof(ZVNetFactoryInfo)
        : request->blockId == ZVNET_BLOCK_FACTORY_KEY                  ? sizeof(ZVNetFactoryKeyParam)
                                                                       : 0;
    if (size == 0 || request->blockSize != size
        || zvwire::GetU32(static_cast<const uint8_t*>(request->block)) != size)
        return 0;
    zvwire::Writer w;
    w.U32(request->type).U32(request->blockId).U32(request->flags).U32(size).Bytes(request->block, size);
    Header h;
    std::vector<uint8_t> reply;
    return Request(handle, zvwire::MSG_SET_PARAM_EX, w.Data(), h, reply);
}

int ZVNetPTZControl(int handle, int command, const ZVNetPTZParam* param)
{
    if (command < 0)
        return 0;
    zvwire::Writer w;
    w.U32(static_cast<uint32_t>(command));
    if (param)
        w.Bytes(param->data, sizeof param->data);
    else
        w.Zeros(sizeof(ZVNetPTZParam));
    Header h;
    std::vector<uint8_t> reply;
    return Request(handle, zvwire::MSG_PTZ, w.Data(), h, reply);
}

int ZVNetRemoteTest(int handle, const ZVNetRemoteTestParam* param)
{
    if (!param)
        return 0;
    zvwire::Writer w;
    w.U32(param->command);
    Header h;
    std::vector<uint8_t> reply;
    const int result = Request(handle, zvwire::MSG_REMOTE_TEST, w.Data(), h, reply);
    if (param->callback)
        param->callback(static_cast<int>(param->command), result == 1 ? 1 : 0, nullptr, param->user);
    return result;
}

int ZVNetExportBackupNew(int handle, const ZVNetExportParam* param)
{
    if (!param || !param->callback)
        return 0;
    Header h;
    std::vector<uint8_t> reply;
    if (Request(handle, zvwire::MSG_EXPORT, {}, h, reply) != 1)
        return 0;
    zvwire::Reader r(reply.data(), reply.size());
    const uint32_t size = r.U32();
    if (!r.Ok() || size > zvwire::kMaxParamData || r.Remaining() != size)
        return 0;
    zvwire::Writer out;
    out.Text("ZVNP-EXPORT", 32).U32(size).U32(0).Bytes(reply.data() + 4, size);
    param->callback(reinterpret_cast<const char*>(out.Data().data()), static_cast<int>(size), param->user);
    return 1;
}

int ZVNetRemoteParamImportNew(int handle, const ZVNetImportParam* param)
{
    if (!param || param->size != sizeof(ZVNetImportParam) || param->dataSize > ZVNET_IMPORT_MAX_DATA)
        return 0;
    zvwire::Writer w;
    w.Bytes(param->name, sizeof param->name).U32(param->dataSize).Bytes(param->data, param->dataSize);
    Header h;
    std::vector<uint8_t> reply;
    return Request(handle, zvwire::MSG_IMPORT, w.Data(), h, reply);
}

int ZVNetStartRemoteUpgrade(int handle, const ZVNetUpgradeParam* param)
{
    auto failAsync = [param]() {
        if (param && param->callback) {
            auto cb = param->callback;
            void* user = param->user;
            RunTask([cb, user]() {
                FirstCallbackDelay();
                cb(ZVNET_UPGRADE_FAILED, nullptr, user);
            });
        }
        return 0;
    };
    if (!param || !param->path || !Find(handle))
        return failAsync();
    auto u = std::make_unique<Upgrade>();
    Upgrade* raw = u.get();
    std::string path = param->path;
    const uint32_t type = param->upgradeType;
    ZVNetUpgradeCallback cb = param->callback;
    void* user = param->user;
    std::lock_guard<std::mutex> lock(Reg().mutex);
    if (!Accepting())
        return 0;
    const int upgradeHandle = Reg().nextUpgrade++;
    u->thread = std::thread([handle, path, type, raw, cb, user]() {
        FirstCallbackDelay();
        const int final = RunUpgradeSteps(handle, path, type, raw, cb, user);
        if (!raw->cancel && cb)
            cb(final, nullptr, user);
    });
    Reg().upgrades[upgradeHandle] = std::move(u);
    return upgradeHandle;
}

int ZVNetStopRemoteUpgrade(int* upgradeHandle)
{
    if (!upgradeHandle || *upgradeHandle == 0)
        return 0;
    std::unique_ptr<Upgrade> u;
    {
        std::lock_guard<std::mutex> lock(Reg().mutex);
        auto it = Reg().upgrades.find(*upgradeHandle);
        if (it == Reg().upgrades.end())
            return 0;
        u = std::move(it->second);
        Reg().upgrades.erase(it);
    }
    FinishUpgrade(std::move(u));
    *upgradeHandle = 0;
    return 1;
}
