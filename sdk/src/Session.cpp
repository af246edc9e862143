#include "Session.h"
#include "Config.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace zvsdk
{
namespace
{
// Idle time after which the session proves the link with a keep-alive.
constexpr int kKeepAliveMs = 30000;
// Time for the rest of a frame once its first byte has arrived.
constexpr int kFrameBodyMs = 30000;
constexpr int kLogoutMs = 200;
constexpr int kMaxHandle = 0x1FFFFFFF;

bool IsLoginStatus(uint32_t code)
{
    switch (code) {
    case ZVNET_STATUS_FAILED:
    case ZVNET_STATUS_CLOSED:
    case ZVNET_STATUS_ERROR:
    case ZVNET_STATUS_LOGIN_OK:
    case ZVNET_STATUS_REFUSED:
    case ZVNET_STATUS_LOGIN_FAILED:
    case ZVNET_STATUS_ERROR_106:
    case ZVNET_STATUS_ERROR_107:
    case ZVNET_STATUS_ERROR_108:
    case ZVNET_STATUS_ERROR_109:
    case ZVNET_STATUS_LOCKED: return true;
    default: return false;
    }
}

// The status a LOGIN_RESULT frame carries; anything garbled reads as 2.
int LoginStatusOf(const zvwire::Header& header, const std::vector<uint8_t>& payload)
{
    if (header.status != zvwire::ST_OK || payload.size() != 4)
        return ZVNET_STATUS_FAILED;
    const uint32_t code = zvwire::GetU32(payload.data());
    return IsLoginStatus(code) ? static_cast<int>(code) : ZVNET_STATUS_FAILED;
}

struct Sessions
{
    std::mutex mutex;
    std::map<int, std::shared_ptr<Session>> all;
    int next = 1;

    static Sessions& Get()
    {
        static Sessions* sessions = []() {
            auto* s = new Sessions;
            AtShutdown([s]() {
                std::map<int, std::shared_ptr<Session>> dropped;
                std::lock_guard<std::mutex> lock(s->mutex);
                dropped.swap(s->all);
            });
            return s;
        }();
        return *sessions;
    }
};
} // namespace

int ResultOf(const zvwire::Header& header)
{
    switch (header.status) {
    case zvwire::ST_OK: return 1;
    case zvwire::ST_RESULT_2: return 2;
    case zvwire::ST_RESULT_3: return 3;
    default: return 0;
    }
}

int EmptyReplyResult(const Reply& reply)
{
    return reply.payload.empty() ? ResultOf(reply.header) : 0;
}

Session::Session(Params params)
    : m_params(std::move(params))
{
}

bool Session::Start(const std::shared_ptr<Session>& self)
{
    m_worker = Worker::Start([self](Worker& worker) { self->Run(worker); });
    return m_worker != nullptr;
}

void Session::Stop()
{
    if (!m_worker)
        return;
    m_worker->Cancel();
    bool sayGoodbye;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sayGoodbye = m_loggedIn && !m_dead && m_fd.Valid();
    }
    if (sayGoodbye) {
        const auto frame = zvwire::EncodeFrame(zvwire::MSG_LOGOUT, 0, 0, nullptr, 0);
        std::lock_guard<std::mutex> write(m_writeMutex);
        WriteAll(m_fd.Get(), frame.data(), frame.size(), Clock::now() + std::chrono::milliseconds(kLogoutMs), nullptr);
    }
    CloseLink();
    m_worker->Stop();
}

void Session::Run(Worker& worker)
{
    if (!worker.AwaitStart())
        return;
    const int status = Login(worker);
    if (status != ZVNET_STATUS_LOGIN_OK)
        CloseLink();
    if (!worker.Cancelled() && m_params.status)
        m_params.status(status, m_params.user);
    if (status == ZVNET_STATUS_LOGIN_OK)
        ReadLoop(worker);
    CloseLink();
}

void Session::CloseLink()
{
    // Shut down, not closed: the descriptor stays ours until the session goes.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd.Valid())
        ::shutdown(m_fd.Get(), SHUT_RDWR);
    m_dead = true;
    m_changed.notify_all();
}

int Session::Login(Worker& worker)
{
    in_addr address {};
    if (!ParseIpv4(m_params.ip.c_str(), address) || m_params.port == 0 || m_params.port > 65535
        || m_params.userName.empty() || m_params.userName.size() >= zvwire::kUserNameField)
        return ZVNET_STATUS_PARAM_ERROR;
    const Config config = CurrentConfig();
    const auto deadline = Clock::now() + std::chrono::milliseconds(config.connectTimeoutMs);
    Fd fd = TcpConnect(address, static_cast<uint16_t>(m_params.port), deadline, worker.CancelFlag());
    if (!fd.Valid())
        return ZVNET_STATUS_FAILED;
    const int sock = fd.Get();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fd = std::move(fd);
    }

    zvwire::Header h;
    std::vector<uint8_t> p;
    if (ReadFrame(sock, deadline, std::max(1, RemainingMs(deadline)), worker.CancelFlag(), h, p) != ReadResult::Ok)
        return ZVNET_STATUS_FAILED;
    if (h.type == zvwire::MSG_LOGIN_RESULT) {
        // Refused before any proof: a success here would be a lie.
        const int code = LoginStatusOf(h, p);
        return code == ZVNET_STATUS_LOGIN_OK ? ZVNET_STATUS_FAILED : code;
    }
    if (h.type != zvwire::MSG_CHALLENGE || p.size() != zvwire::kChallengeSize)
        return ZVNET_STATUS_FAILED;

    uint8_t serverNonce[zvwire::kNonceSize], clientNonce[zvwire::kNonceSize], proof[32];
    std::memcpy(serverNonce, p.data(), sizeof serverNonce);
    if (!zvwire::RandomBytes(clientNonce, sizeof clientNonce)
        || !zvwire::LoginProof(m_params.password, serverNonce, clientNonce, m_params.userName, proof)
        || !zvwire::SessionKey(m_params.password, serverNonce, clientNonce, m_sessionKey))
        return ZVNET_STATUS_FAILED;
    zvwire::Writer w;
    w.Bytes(clientNonce, sizeof clientNonce).Text(m_params.userName.c_str(), zvwire::kUserNameField).Bytes(proof, 32);
    const uint32_t loginId = 1;
    if (!Write(zvwire::EncodeFrame(zvwire::MSG_LOGIN, loginId, 0, w.Data().data(), w.Data().size()), deadline))
        return ZVNET_STATUS_FAILED;
    do {
        if (ReadFrame(sock, deadline, std::max(1, RemainingMs(deadline)), worker.CancelFlag(), h, p) != ReadResult::Ok)
            return ZVNET_STATUS_FAILED;
    } while (h.type != zvwire::MSG_LOGIN_RESULT);
    const int code = LoginStatusOf(h, p);
    if (code != ZVNET_STATUS_LOGIN_OK)
        return code;

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loggedIn = true;
        m_nextId = loginId + 1;
    }
    // A login counts only with the device information that the callers read next.
    Reply info;
    if (!Call(zvwire::MSG_GET_DEVINFO, {}, std::max(1, RemainingMs(deadline)), info) || ResultOf(info.header) != 1
        || info.payload.size() != zvwire::kDevInfoSize) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loggedIn = false;
        return ZVNET_STATUS_FAILED;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devInfo = std::move(info.payload);
    return ZVNET_STATUS_LOGIN_OK;
}

void Session::ReadLoop(Worker& worker)
{
    const int sock = m_fd.Get();
    while (!worker.Cancelled()) {
        zvwire::Header h;
        std::vector<uint8_t> p;
        const ReadResult r
            = ReadFrame(sock, Clock::now() + std::chrono::milliseconds(200), kFrameBodyMs, worker.CancelFlag(), h, p);
        if (r == ReadResult::Timeout) {
            bool idle;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                idle = Clock::now() - m_lastSent >= std::chrono::milliseconds(kKeepAliveMs);
            }
            if (idle) {
                uint32_t id;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    id = m_nextId++;
                    if (m_nextId == 0)
                        m_nextId = 1;
                }
                // Nobody waits for its reply: a dead link shows as a failed write.
                Write(zvwire::EncodeFrame(zvwire::MSG_KEEPALIVE, id, 0, nullptr, 0),
                    Clock::now() + std::chrono::seconds(5));
            }
            continue;
        }
        if (r != ReadResult::Ok)
            break;
        Dispatch(h, p, true);
    }
}

void Session::Dispatch(const zvwire::Header& header, std::vector<uint8_t>& payload, bool alarms)
{
    if (header.type == zvwire::MSG_ALARM) {
        if (!alarms || !m_params.alarm || m_worker->Cancelled())
            return;
        zvwire::Reader r(payload.data(), payload.size());
        const uint32_t code = r.U32();
        const uint32_t size = r.U32();
        if (!r.Ok() || size > zvwire::kMaxAlarmData || r.Remaining() != size)
            return;
        m_params.alarm(static_cast<int>(code), size ? payload.data() + zvwire::kAlarmFixed : nullptr,
            static_cast<int>(size), m_params.user);
        return;
    }
    if (!(header.type & zvwire::kReplyBit))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_waiting.find(header.requestId);
    if (it == m_waiting.end() || it->second->done || it->second->reply.header.type != header.type)
        return; // late or stray: nobody asked for it
    it->second->reply.header = header;
    it->second->reply.payload = std::move(payload);
    it->second->done = true;
    m_changed.notify_all();
}

bool Session::Call(uint16_t type, std::vector<uint8_t> payload, int timeoutMs, Reply& reply,
    const std::atomic<bool>* cancel, size_t maskFrom)
{
    if (!m_worker)
        return false;
    Waiting slot;
    slot.reply.header.type = zvwire::ReplyType(type);
    uint32_t id;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_loggedIn || m_dead || m_worker->Cancelled())
            return false;
        id = m_nextId++;
        if (m_nextId == 0)
            m_nextId = 1;
        m_waiting[id] = &slot;
    }
    slot.reply.requestId = id;
    if (maskFrom < payload.size())
        zvwire::Mask(m_sessionKey, id, payload.data() + maskFrom, payload.size() - maskFrom);
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(1, timeoutMs));
    bool ok = Write(zvwire::EncodeFrame(type, id, 0, payload.data(), payload.size()), deadline);
    if (ok && m_worker->OnWorkerThread()) {
        // Called from this session's own callback: nobody else reads the link now.
        const int sock = m_fd.Get();
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (slot.done)
                    break;
            }
            zvwire::Header h;
            std::vector<uint8_t> p;
            const ReadResult r
                = ReadFrame(sock, deadline, std::max(1, RemainingMs(deadline)), m_worker->CancelFlag(), h, p);
            if (r != ReadResult::Ok) {
                if (r == ReadResult::Closed || r == ReadResult::Bad)
                    MarkDead();
                ok = false;
                break;
            }
            Dispatch(h, p, false);
        }
    } else if (ok) {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (
            !slot.done && !m_dead && !m_worker->Cancelled() && !(cancel && cancel->load()) && Clock::now() < deadline)
            m_changed.wait_until(lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(100)));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiting.erase(id);
    if (!ok || !slot.done)
        return false;
    reply = std::move(slot.reply);
    return true;
}

void Session::Unmask(uint32_t requestId, uint8_t* data, size_t size) const
{
    zvwire::Mask(m_sessionKey, requestId, data, size);
}

bool Session::DevInfo(void* out, size_t size) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_devInfo.size() != zvwire::kDevInfoSize || !out)
        return false;
    std::memcpy(out, m_devInfo.data(), std::min(size, m_devInfo.size()));
    return true;
}

void Session::MarkDead()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dead = true;
    m_changed.notify_all();
}

bool Session::Write(const std::vector<uint8_t>& frame, Clock::time_point deadline)
{
    bool ok;
    {
        std::lock_guard<std::mutex> write(m_writeMutex);
        ok = WriteAll(m_fd.Get(), frame.data(), frame.size(), deadline, m_worker->CancelFlag());
    }
    if (!ok) {
        // Part of a frame may have left: the stream cannot be trusted any more.
        MarkDead();
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastSent = Clock::now();
    return true;
}

int AddSession(std::shared_ptr<Session> session)
{
    auto& reg = Sessions::Get();
    std::lock_guard<std::mutex> lock(reg.mutex);
    while (reg.all.count(reg.next))
        reg.next = reg.next >= kMaxHandle ? 1 : reg.next + 1;
    const int handle = reg.next;
    reg.next = reg.next >= kMaxHandle ? 1 : reg.next + 1;
    reg.all[handle] = std::move(session);
    return handle;
}

namespace
{
std::shared_ptr<Session> Lookup(int handle, bool take)
{
    if (handle == 0)
        return nullptr;
    auto& reg = Sessions::Get();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.all.find(handle);
    if (it == reg.all.end())
        return nullptr;
    auto session = it->second;
    if (take)
        reg.all.erase(it);
    return session;
}
} // namespace

std::shared_ptr<Session> FindSession(int handle)
{
    return Lookup(handle, false);
}

std::shared_ptr<Session> TakeSession(int handle)
{
    return Lookup(handle, true);
}
} // namespace zvsdk
