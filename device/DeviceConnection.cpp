// Connecting a device for its pending operation, the SDK callbacks that bring
// the result back, and the logout that ends every operation.

#include "DeviceInfo.h"

#include "Guarded.h"
#include "HttpClient.h"
#include "JsonLogin.h"
#include "JsonRead.h"
#include "LiveDevices.h"
#include "ZVAppSetting.h"
#include "ZVOnvif.h"
#include "workers/WorkerSupport.h"

#include <QDebug>
#include <QTimer>

#include <cstring>
#include <unordered_set>

namespace
{
constexpr int kStartReportGraceMs = 1500;
std::atomic<unsigned> g_startReportGraceChecks { 0 };
// Longer than the wrapper's own worst case: a challenge over TLS and again
// over plain HTTP, then the login, each with its connect and request time-outs.
constexpr int kJsonLoginWaitMs = 45000;
std::atomic<int> g_jsonLoginWaitMs { kJsonLoginWaitMs };

// The devices that exist. SDK callbacks carry a device pointer as their user
// value and may run after the device is gone (a start that failed cannot be
// stopped); they reach a device only through this set, under its lock.
struct LiveDevices
{
    std::mutex mutex;
    std::unordered_set<const void*> devices;
};

LiveDevices& Live()
{
    // Never destroyed: devices may be deleted by exit-time handlers.
    static LiveDevices* live = new LiveDevices;
    return *live;
}

// Runs action with the device while it cannot be deleted; nothing when user
// is not a live device.
template <typename Action> void WithLiveDevice(void* user, Action&& action)
{
    if (!user)
        return;
    LiveDevices& live = Live();
    std::lock_guard<std::mutex> lock(live.mutex);
    if (live.devices.count(user))
        action(static_cast<DeviceInfo*>(user));
}

void PostToLiveDevice(void* user, QEvent* event)
{
    bool posted = false;
    WithLiveDevice(user, [&](DeviceInfo* device) {
        PostDeviceEvent(device, event);
        posted = true;
    });
    if (!posted)
        delete event;
}

bool IsReportedStatus(int code)
{
    switch (code) {
    case 2:
    case 3:
    case 4:
    case ConnectOk:
    case 103:
    case 104:
    case 105:
    case 106:
    case 107:
    case 108:
    case 109:
    case 112: return true;
    default: return false;
    }
}

using DeviceOps::DeviceHttp;
} // namespace

void RegisterLiveDevice(const DeviceInfo* device)
{
    LiveDevices& live = Live();
    std::lock_guard<std::mutex> lock(live.mutex);
    live.devices.insert(device);
}

void UnregisterLiveDevice(const DeviceInfo* device)
{
    LiveDevices& live = Live();
    std::lock_guard<std::mutex> lock(live.mutex);
    live.devices.erase(device);
}

uint8_t SdkDeviceType(int company)
{
    switch (company) {
    case 24: return 1;
    case 8: return 2;
    case 1: return 3;
    case 9:
    case 21: return 4;
    case 25: return 5;
    case 11: return 6;
    case 20:
    case 42: return 7;
    case 28: return 8;
    default: return 0;
    }
}

std::string BuildLoginJson(const std::string& ip, const std::string& user, const std::string& password, int port)
{
    Json::Value login(Json::objectValue);
    login["ip or id"] = ip;
    login["user"] = user;
    login["password"] = password;
    login["ddns id server addr"] = "";
    login["p2p type"] = "ip";
    login["oem type"] = "K38";
    login["protocol"] = "auto";
    login["port"] = port;
    Json::StreamWriterBuilder writer;
    return Json::writeString(writer, login);
}

LoginResult ParseLoginResult(const char* json)
{
    LoginResult result;
    if (!json)
        return result;
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    std::string status;
    if (!ParseJsonText(builder, json, root, errors) || !JsonRead::ReadText(root, "status", status))
        return result;
    if (status == "login_failed_or_block") {
        result.code = LoginFailed;
        return result;
    }
    if (status == "close") {
        result.code = ConnectClosed;
        return result;
    }
    if (status != "success")
        return result;
    const Json::Value* info = JsonRead::Member(root, "info");
    LoginResult success;
    if (!info || !JsonRead::ReadText(*info, "cookie", success.cookie)
        || !JsonRead::ReadText(*info, "token", success.token) || !JsonRead::ReadBool(*info, "is_https", success.https)
        || !JsonRead::ReadInt(*info, "port", success.port) || success.port < 1 || success.port > 65535)
        return result;
    success.code = ConnectOk;
    return success;
}

unsigned StartReportGraceChecks()
{
    return g_startReportGraceChecks.load();
}

int SetJsonLoginWaitMs(int milliseconds)
{
    return g_jsonLoginWaitMs.exchange(milliseconds > 0 ? milliseconds : kJsonLoginWaitMs);
}

void DeviceInfo::ConnectDevice()
{
    {
        std::lock_guard<std::mutex> lock(m_connectMutex);
        m_bAwaitingConnect = true;
        m_bStarting = true;
        ++m_connectAttempt;
    }
    int handle = 0;
    const bool sdkStart = m_bOnvif || !UsesHttpApi();
    // The SDK calls run without the lock: the GUI thread takes it for every
    // result, and a start may take as long as the device's time-out.
    if (sdkStart)
        handle = StartSdkConnection();
    else
        StartJsonLogin();
    std::vector<int> early;
    {
        std::lock_guard<std::mutex> lock(m_connectMutex);
        if (sdkStart) {
            m_handle = handle;
            m_bLogin = handle != 0;
        }
        m_bStarting = false;
        early.swap(m_earlyResults);
    }
    // Results that came before the handle was stored are handled now, in
    // their order.
    for (int code : early)
        PostDeviceEvent(this, new QConnectEvent(code));
    if (sdkStart && handle == 0)
        EndSilentStartLater();
}

int DeviceInfo::StartSdkConnection()
{
    const QByteArray ip = Ip().toLatin1();
    const QByteArray user = m_user.toUtf8();
    const QByteArray password = m_password.toUtf8();
    // Both SDK families take the same login fields; the texts are copied
    // before the start returns.
    auto fill = [&](auto& param, quint32 port) {
        std::memset(&param, 0, sizeof(param));
        param.ip = ip.constData();
        param.port = port;
        param.userName = user.constData();
        param.password = password.constData();
        param.user = this;
        param.statusCallback = &DeviceInfo::OnConnectStatus;
    };
    if (m_bOnvif) {
        ZVOnvifConnParam param;
        fill(param, m_searchRsp.webPort);
        return ZVOnvifConnectionStart(&param);
    }
    ZVNetConnParam param;
    fill(param, m_searchRsp.mediaPort);
    param.alarmCallback = &DeviceInfo::OnConnectAlarm;
    param.deviceFamily = SdkDeviceType(Company());
    return ZVNetConnectionStartEx(&param);
}

void DeviceInfo::EndSilentStartLater()
{
    // A start that gave no handle may still be reported by the SDK, with its
    // reason; when no report has come within the grace time, the attempt ends
    // as a failed connection, so that no page waits for ever.
    EndAttemptAfter(kStartReportGraceMs, &g_startReportGraceChecks);
}

void DeviceInfo::EndLoginWaitLater()
{
    // The wrapper answers a login once; a result that never comes, or one that
    // says nothing usable, would leave the device busy for good.
    EndAttemptAfter(g_jsonLoginWaitMs.load(), nullptr);
}

void DeviceInfo::EndAttemptAfter(int delayMs, std::atomic<unsigned>* checks)
{
    const unsigned attempt = m_connectAttempt;
    PostDeviceEvent(this, new QDeviceCallEvent([this, attempt, delayMs, checks] {
        QTimer::singleShot(delayMs, this, [this, attempt, checks] {
            if (m_connectAttempt == attempt && m_bAwaitingConnect)
                OnConnectEvent(ConnectFailed);
            if (checks)
                ++*checks;
        });
    }));
}

void DeviceInfo::EndSilentUpgradeLater()
{
    PostDeviceEvent(this, new QDeviceCallEvent([this] {
        const unsigned attempt = m_upgradeAttempt;
        QTimer::singleShot(kStartReportGraceMs, this, [this, attempt] {
            if (m_upgradeAttempt == attempt && m_upgradeEvents == 0 && !m_bUpgradeEnded)
                OnUpgradeEvent(QUpgradeEvent(UpgradeFailed));
        });
    }));
}

void DeviceInfo::StartJsonLogin()
{
    const std::string ip = Ip().toStdString();
    const quint32 port = m_searchRsp.webPort;
    if (m_user.isEmpty() || m_password.isEmpty() || ip.empty() || port < 1 || port > 65535) {
        PostDeviceEvent(this, new QConnectEvent(ConnectParamError));
        return;
    }
    if (!m_sdkDevice)
        m_sdkDevice = zv_create_device();
    if (!m_sdkDevice) {
        PostDeviceEvent(this, new QConnectEvent(ConnectClosed));
        return;
    }
    m_status = StatusWaiting;
    const std::string login
        = BuildLoginJson(ip, m_user.toUtf8().toStdString(), m_password.toUtf8().toStdString(), static_cast<int>(port));
    zv_device_login_param param;
    std::memset(&param, 0, sizeof(param));
    param.device = m_sdkDevice;
    param.json = login.c_str();
    param.result_callback = &DeviceInfo::OnLoginResult;
    param.event_callback = &DeviceInfo::OnLoginEvent;
    param.user = this;
    // The wrapper answers through the result callback, except when it takes
    // no work at all (released): then nothing would ever end the attempt.
    if (!zv_device_login_ex(&param))
        EndSilentStartLater();
    else
        EndLoginWaitLater();
}

void DeviceInfo::ExpectConnectResult()
{
    std::lock_guard<std::mutex> lock(m_connectMutex);
    m_bAwaitingConnect = true;
    ++m_connectAttempt;
}

void DeviceInfo::CheckFirstLogin()
{
    ExpectConnectResult();
    if (!UsesHttpApi()) {
        PostDeviceEvent(this, new QConnectEvent(LoginFailed));
        return;
    }
    DeviceHttp http(*this, DeviceHttp::Session::Empty);
    if (!http.Post("/API/Login/Range", DeviceOps::RequestBody())) {
        EndAttempt(StatusRequestFailed);
        return;
    }
    Json::Value reply;
    bool firstLogin = false;
    const Json::Value* data = nullptr;
    if (http.ParseReply(reply))
        data = JsonRead::Member(reply, "data");
    if (!data || !JsonRead::ReadBool(*data, "first_login_flag", firstLogin) || !firstLogin) {
        EndAttempt(StatusNoFirstLogin);
        return;
    }
    m_status = StatusFirstLogin;
    PostDeviceEvent(this, new QConnectEvent(ConnectOk));
}

void DeviceInfo::EndAttempt(int status)
{
    if (!m_bAwaitingConnect.exchange(false))
        return;
    m_status = status;
    Logout("attempt");
    EndOperation(true);
}

void DeviceInfo::Logout(const char* caller)
{
    qDebug() << "logout===" << caller << Ip();
    if (m_sdkDevice) {
        zv_device_logout(m_sdkDevice);
        zv_destroy_device(m_sdkDevice);
        m_sdkDevice = nullptr;
        // Only a session needs ending; after a failed login there is none, and
        // the device may not even answer.
        if (!m_cookie.empty())
            DeviceHttp(*this).Post("/API/Web/Logout");
    }
    m_cookie.clear();
    m_token.clear();
    StopConnectionHandle();
    m_bLogin = false;
}

void DeviceInfo::StopConnectionHandle()
{
    // An ONVIF device under an HTTP-API customer code connects through ONVIF,
    // so the handle is stopped whatever the code.
    if (m_handle == 0)
        return;
    if (m_bOnvif)
        ZVOnvifConnectionStop(&m_handle);
    else
        ZVNetConnectionStop(&m_handle);
    m_handle = 0;
}

void DeviceInfo::StopSdkSessions()
{
    if (m_upgradeHandle != 0) {
        ZVNetStopRemoteUpgrade(&m_upgradeHandle);
        m_upgradeHandle = 0;
    }
    StopConnectionHandle();
    if (m_sdkDevice) {
        zv_device_logout(m_sdkDevice);
        zv_destroy_device(m_sdkDevice);
        m_sdkDevice = nullptr;
    }
}

void DeviceInfo::OnConnectStatus(int code, void* user)
{
    RunGuarded("status callback", [=] {
        qDebug() << "conn===" << code;
        if (IsReportedStatus(code))
            PostToLiveDevice(user, new QConnectEvent(code));
    });
}

void DeviceInfo::OnConnectAlarm(int code, const void*, int, void* user)
{
    RunGuarded("alarm callback", [=] {
        qDebug() << "alarm===" << code;
        if ((code & 0xFFFF) == ConnectAlarm)
            PostToLiveDevice(user, new QConnectEvent(ConnectAlarm));
    });
}

void DeviceInfo::OnLoginResult(const char* json, void* user)
{
    if (!json)
        return;
    RunGuarded("login result", [&] {
        WithLiveDevice(user, [&](DeviceInfo* device) {
            // A result for an attempt that has already ended changes nothing.
            if (!device->m_sdkDevice || !device->m_bAwaitingConnect)
                return;
            const LoginResult result = ParseLoginResult(json);
            // A text that says nothing usable changes nothing: the login wait
            // ends the attempt. "close" counts only while the login is awaited.
            if (result.code == 0 || (result.code == ConnectClosed && device->m_status != StatusWaiting))
                return;
            if (result.code == ConnectOk) {
                device->m_cookie = result.cookie;
                device->m_token = result.token;
                device->m_bHttps = result.https;
                device->m_newWebPort = static_cast<quint16>(result.port);
                device->m_deviceType = zv_get_device_type(device->m_sdkDevice);
                device->m_bLogin = true;
            }
            PostDeviceEvent(device, new QConnectEvent(result.code));
        });
    });
}

void DeviceInfo::OnLoginEvent(int, const char*, void*)
{
}

void DeviceInfo::OnUpgradeProgress(int code, const void* info, void* user)
{
    RunGuarded("upgrade callback", [=] {
        QUpgradeEvent* event = nullptr;
        if (code == UpgradeReport) {
            if (!info)
                return;
            ZVNetUpgradeReport report;
            std::memcpy(&report, info, sizeof(report));
            event = new QUpgradeEvent(report.code);
            event->value = report.value;
            event->extra = static_cast<int>(report.extra);
        } else {
            event = new QUpgradeEvent(code);
            event->value = static_cast<int>(reinterpret_cast<intptr_t>(info));
        }
        PostToLiveDevice(user, event);
    });
}
