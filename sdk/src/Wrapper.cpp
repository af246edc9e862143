// ZVSDKWrapper: device objects, the JSON login over the devices' HTTP API
// (sdk/PROTOCOL-HTTP.md, section 3), logout and device type. Handles are
// numbers that are never reused, so a stale or made-up handle fails cleanly.
#include "Config.h"
#include "Runtime.h"
#include "Socket.h"
#include "WrapperHttp.h"
#include "ZVSDKWrapper.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

using namespace zvsdk;
using namespace zvsdk::wrapper;

namespace
{
constexpr const char* kClosed = "{\"status\":\"close\"}";
constexpr const char* kRefused = "{\"status\":\"login_failed_or_block\"}";
constexpr const char* kProofLabel = "ZV-HTTP-LOGIN";
constexpr size_t kClientNonceBytes = 32;
constexpr int kMaxIterations = 10000000;
constexpr size_t kMaxSaltBytes = 256;
constexpr size_t kMinNonceBytes = 16;
constexpr size_t kMaxNonceBytes = 256;
constexpr size_t kMaxSessionText = 512;

struct Session
{
    bool https = false;
    std::string ip;
    uint16_t port = 0;
    std::string cookie;
    std::string token;

    bool Open() const { return !cookie.empty(); }
};

struct LoginRequest
{
    std::string ip;
    uint16_t port = 0;
    std::string user;
    std::string password;
    SchemeRule rule = SchemeRule::Auto;
};

enum class Outcome
{
    Success,
    Refused,
    Closed,
};

struct LoginResult
{
    Outcome outcome = Outcome::Closed;
    Session session;
    int deviceType = 0;
};

// One login: its result callback, delivered at most once and never after the
// login was dropped (logout or destroy).
class LoginRun
{
public:
    LoginRun(zv_login_result_callback callback, void* user)
        : m_callback(callback)
        , m_user(user)
    {
    }

    void SetWorker(std::shared_ptr<Worker> worker)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_worker = std::move(worker);
    }

    void Deliver(const std::string& text)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_dropped)
                return;
            m_dropped = true; // one result only
            m_delivering = true;
            m_deliverer = std::this_thread::get_id();
        }
        try {
            m_callback(text.c_str(), m_user);
        } catch (...) {
            // A caller's exception must not end the library thread.
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_delivering = false;
        }
        m_idle.notify_all();
    }

    // No result after this returns; a delivery in progress is waited for,
    // unless it is this very thread's (a callback dropping its own login).
    void Drop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_dropped = true;
        if (m_delivering && m_deliverer != std::this_thread::get_id())
            m_idle.wait(lock, [this]() { return !m_delivering; });
    }

    bool Dropped() const { return m_dropped.load(); }

    bool Finished() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_worker && m_worker->Finished();
    }

    bool settled = false; // its result is decided; guarded by the device's mutex

private:
    const zv_login_result_callback m_callback;
    void* const m_user;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::shared_ptr<Worker> m_worker;
    std::atomic<bool> m_dropped { false };
    bool m_delivering = false;
    std::thread::id m_deliverer;
};

struct Device
{
    std::mutex mutex;
    std::shared_ptr<LoginRun> login; // in flight
    std::vector<std::shared_ptr<LoginRun>> refused; // logins that only report "close"
    Session session;
    int deviceType = 0;
};

// Never destroyed: library threads may still use devices while statics go away.
struct Registry
{
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<Device>> devices;
    uintptr_t last = 0;

    static Registry& Get()
    {
        static Registry* registry = new Registry;
        return *registry;
    }
};

std::shared_ptr<Device> FindDevice(zv_device_handle handle)
{
    const auto id = reinterpret_cast<uintptr_t>(handle);
    if (id == 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(Registry::Get().mutex);
    const auto it = Registry::Get().devices.find(id);
    return it != Registry::Get().devices.end() ? it->second : nullptr;
}

// ---- the exchange -----------------------------------------------------------------------------

bool ReadLoginRequest(const char* json, LoginRequest& out)
{
    if (!json)
        return false;
    const size_t length = strnlen(json, kMaxRequestBytes + 1);
    Json::Value root;
    in_addr address {};
    int64_t port = 0;
    if (length > kMaxRequestBytes || !ParseObject(std::string(json, length), root)
        || !TextMember(root, "ip or id", out.ip) || !ParseIpv4(out.ip.c_str(), address)
        || !IntMember(root, "port", 1, 65535, port) || !TextMember(root, "user", out.user)
        || !TextMember(root, "password", out.password) || out.user.empty())
        return false;
    out.ip = Ipv4Text(address);
    out.port = static_cast<uint16_t>(port);
    std::string protocol;
    if (TextMember(root, "protocol", protocol) && protocol == "http")
        out.rule = SchemeRule::Http;
    else if (protocol == "https")
        out.rule = SchemeRule::Https;
    return true;
}

HttpPost MakePost(bool https, const std::string& ip, uint16_t port, const char* path, std::string body)
{
    const Config config = CurrentConfig();
    HttpPost post;
    post.https = https;
    post.ip = ip;
    post.port = port;
    post.path = path;
    post.body = std::move(body);
    post.connectTimeoutMs = config.connectTimeoutMs;
    post.timeoutMs = config.requestTimeoutMs;
    return post;
}

// A printable one-line text of sensible length: it goes into request headers.
bool SessionText(const std::string& text)
{
    if (text.empty() || text.size() > kMaxSessionText)
        return false;
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

bool Refusal(const HttpReply& reply)
{
    Json::Value root;
    std::string reason;
    return reply.code == CURLE_OK && reply.status == 401 && ParseObject(reply.body, root)
        && TextMember(root, "reason", reason)
        && (reason == "login_failed" || reason == "blocked" || reason == "first_login");
}

struct Challenge
{
    std::string salt;
    std::string nonce;
    int iterations = 0;
    int64_t seq = 0;
};

bool ReadChallenge(const HttpReply& reply, Challenge& out)
{
    Json::Value root;
    const Json::Value* data = SuccessData(reply, root);
    std::string salt, nonce;
    int64_t iterations = 0;
    if (!data || !TextMember(*data, "salt", salt) || !FromBase64(salt, out.salt) || out.salt.empty()
        || out.salt.size() > kMaxSaltBytes || !TextMember(*data, "nonce", nonce) || !FromBase64(nonce, out.nonce)
        || out.nonce.size() < kMinNonceBytes || out.nonce.size() > kMaxNonceBytes
        || !IntMember(*data, "iter", 1, kMaxIterations, iterations)
        || !IntMember(*data, "seq", INT64_MIN, INT64_MAX, out.seq))
        return false;
    out.iterations = static_cast<int>(iterations);
    return true;
}

bool ReadSession(const HttpReply& reply, const HttpPost& sent, LoginResult& out)
{
    Json::Value root;
    const Json::Value* data = SuccessData(reply, root);
    Session& s = out.session;
    if (!data || !TextMember(*data, "cookie", s.cookie) || !SessionText(s.cookie)
        || !TextMember(*data, "token", s.token) || !SessionText(s.token))
        return false;
    // The scheme is the one that carried the login; the device names the port
    // for later requests, ours when it names none that is usable.
    s.https = sent.https;
    s.ip = sent.ip;
    int64_t number = 0;
    s.port = IntMember(*data, "port", 1, 65535, number) ? static_cast<uint16_t>(number) : sent.port;
    out.deviceType = IntMember(*data, "device_type", INT32_MIN, INT32_MAX, number) ? static_cast<int>(number) : 0;
    return true;
}

// dropped: the caller gave the login up; stop: the library closes.
LoginResult LoginExchange(
    const LoginRequest& request, const std::function<bool()>& dropped, const std::function<bool()>& stop)
{
    LoginResult result;
    HttpBatch http;
    Json::Value body(Json::objectValue);
    body["version"] = "1.0";
    body["data"]["username"] = request.user;
    const std::string challengeBody = CompactText(body);

    // The scheme: TLS first unless the request names one; plain HTTP when TLS
    // reached the device but got no answer.
    bool https = request.rule != SchemeRule::Http;
    const auto givenUp = [&]() { return dropped() || stop(); };
    HttpReply reply
        = http.Run(MakePost(https, request.ip, request.port, "/API/Login/Challenge", challengeBody), givenUp);
    if (request.rule == SchemeRule::Auto && reply.TryPlain()) {
        https = false;
        reply = http.Run(MakePost(https, request.ip, request.port, "/API/Login/Challenge", challengeBody), givenUp);
    }
    Challenge challenge;
    if (Refusal(reply))
        result.outcome = Outcome::Refused;
    if (!ReadChallenge(reply, challenge))
        return result;

    std::string clientNonce, proof;
    if (!RandomText(kClientNonceBytes, clientNonce)
        || !LoginProof(request.password, challenge.salt, challenge.iterations,
            kProofLabel + challenge.nonce + clientNonce + request.user, proof))
        return result;
    if (givenUp())
        return result;
    body["data"]["seq"] = Json::Int64(challenge.seq);
    body["data"]["cnonce"] = ToBase64(clientNonce);
    body["data"]["proof"] = ToBase64(proof);
    const HttpPost login = MakePost(https, request.ip, request.port, "/API/Web/Login", CompactText(body));
    // Once the login is sent, its reply is awaited even when the caller gives
    // up: a session the device opens must be ended, not left behind.
    reply = http.Run(login, stop);
    if (ReadSession(reply, login, result))
        result.outcome = Outcome::Success;
    else if (Refusal(reply))
        result.outcome = Outcome::Refused;
    return result;
}

std::string ResultText(const LoginResult& result)
{
    if (result.outcome == Outcome::Refused)
        return kRefused;
    if (result.outcome != Outcome::Success)
        return kClosed;
    const Session& s = result.session;
    Json::Value root(Json::objectValue);
    root["status"] = ZV_LOGIN_STATUS_SUCCESS;
    Json::Value& info = root["info"];
    info["cookie"] = s.cookie;
    info["token"] = s.token;
    // Callers read either spelling.
    info["is_https"] = s.https;
    info["isHttps"] = s.https;
    info["port"] = s.port;
    return CompactText(root);
}

// Ends a session on the device from a library thread of its own; the outcome
// does not matter (the device also ends idle sessions itself).
void LogoutLater(const Session& session)
{
    if (!session.Open())
        return;
    Worker::Start([session](Worker& worker) {
        HttpPost post = MakePost(session.https, session.ip, session.port, "/API/Web/Logout", std::string());
        post.cookie = session.cookie;
        post.token = session.token;
        HttpBatch http;
        http.Run(post, [&worker]() { return worker.Cancelled(); });
    });
}

void RunLogin(Worker& worker, const std::shared_ptr<Device>& device, const std::shared_ptr<LoginRun>& run,
    const LoginRequest& request)
{
    struct Finished
    {
        Device& device;
        const std::shared_ptr<LoginRun>& run;
        ~Finished()
        {
            std::lock_guard<std::mutex> lock(device.mutex);
            if (device.login == run)
                device.login.reset();
        }
    } finished { *device, run };

    if (!worker.AwaitStart())
        return;
    LoginResult result;
    try {
        result = LoginExchange(
            request, [&run]() { return run->Dropped(); }, [&worker]() { return worker.Cancelled(); });
    } catch (...) {
        result = LoginResult(); // allocation failure: the device counts as closed
    }
    bool dropped = false;
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        dropped = device->login != run || run->Dropped() || worker.Cancelled();
        if (!dropped) {
            run->settled = true;
            if (result.outcome == Outcome::Success) {
                device->session = result.session;
                device->deviceType = result.deviceType;
            }
        }
    }
    if (dropped) {
        // Logged out meanwhile: the session we just got is nobody's.
        if (result.outcome == Outcome::Success)
            LogoutLater(result.session);
        return;
    }
    run->Deliver(ResultText(result));
}

// Drops the device's logins and ends its session; false when neither a
// session nor a login was open.
bool EndSession(Device& device)
{
    std::shared_ptr<LoginRun> run;
    std::vector<std::shared_ptr<LoginRun>> refused;
    Session session;
    {
        std::lock_guard<std::mutex> lock(device.mutex);
        run = std::move(device.login);
        refused.swap(device.refused);
        session = std::exchange(device.session, Session());
        device.deviceType = 0;
    }
    for (const auto& r : refused)
        r->Drop();
    if (run)
        run->Drop();
    const bool open = run || session.Open();
    LogoutLater(session);
    return open;
}
} // namespace

zv_device_handle zv_create_device(void)
{
    try {
        auto device = std::make_shared<Device>();
        std::lock_guard<std::mutex> lock(Registry::Get().mutex);
        uintptr_t id = ++Registry::Get().last;
        if (id == 0)
            id = ++Registry::Get().last;
        Registry::Get().devices[id] = std::move(device);
        return reinterpret_cast<zv_device_handle>(id);
    } catch (...) {
        return nullptr;
    }
}

int zv_destroy_device(zv_device_handle handle)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard<std::mutex> lock(Registry::Get().mutex);
        const auto it = Registry::Get().devices.find(reinterpret_cast<uintptr_t>(handle));
        if (handle == nullptr || it == Registry::Get().devices.end())
            return 0;
        device = std::move(it->second);
        Registry::Get().devices.erase(it);
    }
    EndSession(*device);
    return 1;
}

int zv_device_login_ex(const zv_device_login_param* param)
{
    if (!param || !param->result_callback)
        return 0;
    const zv_login_result_callback callback = param->result_callback;
    void* const user = param->user;
    try {
        const std::shared_ptr<Device> device = FindDevice(param->device);
        if (!device) {
            // No device: the caller still gets its one result.
            ReleaseOnReturn release(ReportLater([callback, user]() { callback(kClosed, user); }));
            return 0;
        }
        LoginRequest request;
        const bool usable = ReadLoginRequest(param->json, request);
        auto run = std::make_shared<LoginRun>(callback, user);
        std::shared_ptr<Worker> worker;
        bool started = false;
        Session previous;
        {
            std::lock_guard<std::mutex> lock(device->mutex);
            if (usable && !(device->login && !device->login->settled)) {
                worker = Worker::Start([device, run, request](Worker& w) { RunLogin(w, device, run, request); });
                started = worker != nullptr;
            } else {
                // An unusable request, or a login already running: "close",
                // unless the device is logged out or destroyed first.
                worker = Worker::Start([run](Worker& w) {
                    if (w.AwaitStart())
                        run->Deliver(kClosed);
                });
            }
            if (!worker)
                return 0; // the library takes no work: nothing can report
            run->SetWorker(worker);
            if (started) {
                device->login = run;
                // A new login replaces the session of the last one.
                previous = std::exchange(device->session, Session());
                device->deviceType = 0;
            } else {
                auto& refused = device->refused;
                refused.erase(std::remove_if(refused.begin(), refused.end(),
                                  [](const std::shared_ptr<LoginRun>& r) { return r->Finished(); }),
                    refused.end());
                refused.push_back(run);
            }
        }
        ReleaseOnReturn release(worker);
        LogoutLater(previous);
        return started ? 1 : 0;
    } catch (...) {
        // Allocation failure; nothing was started.
        return 0;
    }
}

int zv_device_logout(zv_device_handle handle)
{
    const std::shared_ptr<Device> device = FindDevice(handle);
    return device && EndSession(*device) ? 1 : 0;
}

int zv_get_device_type(zv_device_handle handle)
{
    const std::shared_ptr<Device> device = FindDevice(handle);
    if (!device)
        return 0;
    std::lock_guard<std::mutex> lock(device->mutex);
    return device->deviceType;
}
