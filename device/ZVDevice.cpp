#include "ZVDevice.h"

#include "DeviceEvents.h"
#include "DeviceInfo.h"
#include "HttpClient.h"
#include "JsonLogin.h"
#include "JsonRead.h"
#include "ZVAppSetting.h"
#include "workers/WorkerSupport.h"

#include <QCoreApplication>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace
{
std::atomic<int> g_loginAnswerMs { 20000 };
std::atomic<int> g_reconnectDelayMs { 3000 };
// A start's report may come before the start's caller has stored the handle.
constexpr int kHandleWaitMs = 10000;

// The SDK's user value is the number of a login attempt, not a pointer: a
// report of an attempt that was closed, or of a session that is gone, finds
// nothing here and is dropped.
struct Attempt
{
    ZVDevice* session = nullptr;
    zv_device_handle sdkDevice = nullptr;
    int handle = 0;
    bool started = false;
};

struct Attempts
{
    std::mutex mutex;
    std::condition_variable started;
    std::map<uintptr_t, Attempt> map;
    uintptr_t next = 1;
};

Attempts& Registry()
{
    // Never destroyed: late SDK reports may come during exit.
    static Attempts* attempts = new Attempts;
    return *attempts;
}

bool IsForwardedStatus(int status)
{
    return status == 2 || status == 101 || (status >= 103 && status <= 109) || status == 112 || status == 156;
}

} // namespace

// A connection status or JSON login outcome with the values that came with it.
struct ZVDevice::Reply : QConnectEvent
{
    explicit Reply(int code, uintptr_t attempt)
        : QConnectEvent(code)
        , attempt(attempt)
    {
    }

    uintptr_t attempt;
    int handle = 0;
    bool hasDevInfo = false;
    uint8_t devInfo[sizeof(ZVNetDevInfo)] {};
    bool hasSession = false; // a JSON login's session values below
    std::string cookie;
    std::string token;
    bool https = false;
    int port = 0;
    int64_t deviceType = 0;
};

// Runs the session's connection starts, stops and logout requests in turn.
class ZVDevice::Worker
{
public:
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Post(std::function<void()> job)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
        m_wake.notify_all();
    }

    void WaitIdle()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
            lock.unlock();
            job();
            lock.lock();
            m_busy = false;
            m_wake.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

ZVDevice::ZVDevice(QObject* parent)
    : QObject(parent)
    , m_worker(new Worker)
{
    std::memset(m_devInfo, 0, sizeof(m_devInfo));
    m_answerTimer.setSingleShot(true);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] {
        // A JSON login that never answered, or answered nothing readable, ends as closed.
        if (m_state == StateLoginSent && m_attempt != 0)
            Apply(Reply(StateClosed, m_attempt));
    });
    connect(&m_reconnectTimer, &QTimer::timeout, this, &ZVDevice::Reconnect);
}

ZVDevice::~ZVDevice()
{
    Logout();
    m_worker->WaitIdle();
    Attempts& attempts = Registry();
    std::lock_guard<std::mutex> lock(attempts.mutex);
    for (auto it = attempts.map.begin(); it != attempts.map.end();)
        it = it->second.session == this ? attempts.map.erase(it) : std::next(it);
}

int ZVDevice::SetLoginAnswerMs(int ms)
{
    return g_loginAnswerMs.exchange(ms);
}

int ZVDevice::SetReconnectDelayMs(int ms)
{
    return g_reconnectDelayMs.exchange(ms);
}

void ZVDevice::WaitIdle()
{
    m_worker->WaitIdle();
}

void ZVDevice::Login(QString ip, int port, QString user, QString password)
{
    Logout();
    m_ip = ip;
    m_port = port;
    m_user = user;
    m_password = password;
    const std::string ip8 = ip.toUtf8().toStdString();
    const std::string user8 = user.toUtf8().toStdString();
    const std::string password8 = password.toUtf8().toStdString();
    const bool http = UsesHttpApi();
    if (http && (ip.isEmpty() || user.isEmpty() || password.isEmpty() || port < 1 || port > 65535)) {
        if (m_emptyInputNotice)
            m_emptyInputNotice();
        return;
    }
    if (http && !m_sdkDevice)
        m_sdkDevice = zv_create_device();

    Attempts& attempts = Registry();
    {
        std::lock_guard<std::mutex> lock(attempts.mutex);
        m_attempt = attempts.next++;
        Attempt& attempt = attempts.map[m_attempt];
        attempt.session = this;
        attempt.sdkDevice = m_sdkDevice;
    }
    void* const userValue = reinterpret_cast<void*>(m_attempt);
    const uintptr_t id = m_attempt;

    if (!http) {
        const uint8_t family = SdkDeviceType(Company());
        m_worker->Post([=] {
            ZVNetConnParam param;
            std::memset(&param, 0, sizeof(param));
            param.ip = ip8.c_str();
            param.port = static_cast<uint32_t>(port);
            param.userName = user8.c_str();
            param.password = password8.c_str();
            param.user = userValue;
            param.statusCallback = &ZVDevice::OnConnectStatus;
            param.deviceFamily = family;
            const int handle = ZVNetConnectionStartEx(&param);
            Attempts& attempts = Registry();
            {
                std::lock_guard<std::mutex> lock(attempts.mutex);
                auto it = attempts.map.find(id);
                if (it != attempts.map.end()) {
                    it->second.handle = handle;
                    it->second.started = true;
                }
            }
            attempts.started.notify_all();
        });
        return;
    }

    m_state = StateLoginSent;
    const std::string login = BuildLoginJson(ip8, user8, password8, port);
    const zv_device_handle device = m_sdkDevice;
    m_worker->Post([=] {
        zv_device_login_param param;
        std::memset(&param, 0, sizeof(param));
        param.device = device;
        param.json = login.c_str();
        param.result_callback = &ZVDevice::LoginResultCallback;
        param.event_callback = [](int, const char*, void*) {};
        param.user = userValue;
        zv_device_login_ex(&param);
    });
    m_answerTimer.start(g_loginAnswerMs.load());
}

void ZVDevice::Logout()
{
    m_answerTimer.stop();
    m_reconnectTimer.stop();
    const uintptr_t id = m_attempt;
    m_attempt = 0;
    const bool http = UsesHttpApi();
    if (http) {
        const zv_device_handle device = m_sdkDevice;
        m_sdkDevice = nullptr;
        if (device) {
            const std::string cookie = m_cookie;
            const std::string token = m_token;
            const bool https = m_bHttps;
            const std::string host = m_ip.toLatin1().toStdString();
            const std::string request = HttpRequestBase(https, m_ip.toStdString(), m_port) + "/API/Web/Logout";
            m_worker->Post([=] {
                zv_device_logout(device);
                zv_destroy_device(device);
                HttpClient client;
                client.SetCookie(cookie);
                client.SetCsrfToken(token);
                client.SetHttps(https);
                client.SetHost(host);
                client.PostJson(request);
            });
        }
    } else {
        m_handle = 0;
    }
    if (id != 0) {
        // The start may still be queued: the stop reads the handle it got.
        m_worker->Post([id, http] {
            Attempts& attempts = Registry();
            int handle = 0;
            {
                std::lock_guard<std::mutex> lock(attempts.mutex);
                auto it = attempts.map.find(id);
                if (it == attempts.map.end())
                    return;
                handle = it->second.handle;
                attempts.map.erase(it);
            }
            if (!http && handle != 0)
                ZVNetConnectionStop(&handle);
        });
    }
    m_state = StateClosed;
    m_ip.clear();
    m_port = 0;
    m_user.clear();
    m_password.clear();
}

void ZVDevice::OnConnectStatus(int status, void* user)
{
    if (!IsForwardedStatus(status) || !user)
        return;
    const auto id = reinterpret_cast<uintptr_t>(user);
    auto* reply = new Reply(status, id);
    Attempts& attempts = Registry();
    std::unique_lock<std::mutex> lock(attempts.mutex);
    auto it = attempts.map.find(id);
    if (it == attempts.map.end()) {
        delete reply;
        return;
    }
    if (status == StateLoggedIn && !UsesHttpApi()) {
        attempts.started.wait_for(lock, std::chrono::milliseconds(kHandleWaitMs), [&] {
            auto found = attempts.map.find(id);
            return found == attempts.map.end() || found->second.started;
        });
        it = attempts.map.find(id);
        if (it == attempts.map.end()) {
            delete reply;
            return;
        }
        reply->handle = it->second.handle;
        reply->hasDevInfo = true;
        ZVNetGetDevInfo(reply->handle, reply->devInfo, static_cast<int>(sizeof(reply->devInfo)));
    }
    PostDeviceEvent(it->second.session, reply);
}

void ZVDevice::LoginResultCallback(const char* json, void* user)
{
    if (json && user)
        OnLoginResult(reinterpret_cast<uintptr_t>(user), json);
}

void ZVDevice::OnLoginResult(uintptr_t id, const char* json)
{
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    if (!ParseJsonText(builder, json, root, errors))
        return;
    std::string status;
    if (!JsonRead::ReadText(root, "status", status))
        return;
    Attempts& attempts = Registry();
    std::lock_guard<std::mutex> lock(attempts.mutex);
    auto it = attempts.map.find(id);
    if (it == attempts.map.end() || !it->second.sdkDevice)
        return;
    Reply* reply = nullptr;
    if (status == ZV_LOGIN_STATUS_SUCCESS) {
        reply = new Reply(StateLoggedIn, id);
        reply->hasSession = true;
        if (const Json::Value* info = JsonRead::Member(root, "info")) {
            JsonRead::ReadText(*info, "cookie", reply->cookie);
            JsonRead::ReadText(*info, "token", reply->token);
            JsonRead::ReadBool(*info, "isHttps", reply->https);
            JsonRead::ReadInt(*info, "port", reply->port);
        }
        reply->deviceType = zv_get_device_type(it->second.sdkDevice);
    } else if (status == ZV_LOGIN_STATUS_FAILED) {
        reply = new Reply(StateRefused, id);
    } else if (status == ZV_LOGIN_STATUS_CLOSE) {
        reply = new Reply(StateClosed, id);
    } else {
        return;
    }
    PostDeviceEvent(it->second.session, reply);
}

void ZVDevice::customEvent(QEvent* event)
{
    if (event->type() != static_cast<QEvent::Type>(ConnectEvent))
        return;
    TakePostedEvent(this);
    const auto* reply = dynamic_cast<const Reply*>(event);
    // Reports of an attempt that was closed since are no longer this session's.
    if (reply && reply->attempt == m_attempt && m_attempt != 0)
        Apply(*reply);
}

void ZVDevice::Apply(const Reply& reply)
{
    m_answerTimer.stop();
    if (reply.hasDevInfo) {
        std::memcpy(m_devInfo, reply.devInfo, sizeof(m_devInfo));
        m_handle = reply.handle;
    }
    if (reply.hasSession) {
        m_cookie = reply.cookie;
        m_token = reply.token;
        m_bHttps = reply.https;
        // A port the device could not be reached at keeps the one typed.
        if (reply.port >= 1 && reply.port <= 65535)
            m_port = reply.port;
        std::memcpy(m_devInfo, &reply.deviceType, sizeof(reply.deviceType));
    }
    m_state = reply.code;

    PostDeviceEvent(m_owner, new QConnectEvent(m_state));
    if (m_state == StateClosed)
        Logout();
    // Customer code 8 keeps connecting until a login succeeds; paced, and not
    // after the device refused the password, which could lock the account.
    if (Company() == 8 && m_state != StateLoggedIn && m_state != StateRefused && !m_ip.isEmpty())
        m_reconnectTimer.start(g_reconnectDelayMs.load());
}

void ZVDevice::Reconnect()
{
    const QString ip = m_ip;
    const int port = m_port;
    const QString user = m_user;
    const QString password = m_password;
    Logout();
    Login(ip, port, user, password);
}
