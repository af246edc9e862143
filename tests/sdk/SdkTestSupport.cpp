#include "SdkTestSupport.h"

#include "ZVSdkConfig.h"

#include <algorithm>
#include <chrono>

namespace sdktest
{
std::string Loopback(int n)
{
    return fakedevice::UniqueLoopbackPrefix() + std::to_string(n);
}

std::unique_ptr<fakedevice::FakeDevice> StartDevice(int n, const std::function<void(fakedevice::DeviceState&)>& tweak)
{
    fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(Loopback(n), n);
    if (tweak)
        tweak(state);
    auto device = std::make_unique<fakedevice::FakeDevice>(state);
    device->WaitListening();
    return device;
}

bool SetSearchTargets(const std::vector<std::string>& addresses)
{
    std::vector<const char*> texts;
    for (const auto& a : addresses)
        texts.push_back(a.c_str());
    return ZVSdkSetSearchTargets(texts.data(), static_cast<int>(texts.size())) == 1;
}

SdkScope::SdkScope(
    const std::vector<std::string>& searchTargets, int searchWindowMs, int connectTimeoutMs, int requestTimeoutMs)
{
    ZVNetInit();
    ZVNetSetEncription(1);
    // Loopback has no broadcast: tests always name their targets.
    SetSearchTargets(searchTargets.empty() ? std::vector<std::string> { Loopback(254) } : searchTargets);
    ZVSdkSetSearchWindow(searchWindowMs);
    ZVSdkSetTimeouts(connectTimeoutMs, requestTimeoutMs);
}

SdkScope::~SdkScope()
{
    ZVNetRelease();
    ZVSdkSetTimeouts(0, 0);
    ZVSdkSetSearchWindow(0);
}

int SearchCollector::Callback(const SearchDevRsp* record, void* user)
{
    auto* self = static_cast<SearchCollector*>(user);
    if (self->onCallback)
        self->onCallback(record);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_onCaller = self->m_onCaller || std::this_thread::get_id() == self->m_caller;
    if (self->m_ends > 0)
        ++self->m_afterEnd;
    if (record)
        self->m_records.push_back(*record);
    else
        ++self->m_ends;
    self->m_changed.notify_all();
    return 1;
}

bool SearchCollector::WaitEnd(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this]() { return m_ends > 0; });
}

std::vector<SearchDevRsp> SearchCollector::Records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

QStringList SearchCollector::Ips() const
{
    QStringList ips;
    for (const SearchDevRsp& r : Records())
        ips << QString::fromLatin1(r.ip);
    std::sort(ips.begin(), ips.end());
    return ips;
}

int SearchCollector::Ends() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ends;
}

int SearchCollector::RecordsAfterEnd() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_afterEnd;
}

bool SearchCollector::OnCallerThread() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_onCaller;
}

void StatusCollector::Callback(int status, void* user)
{
    static_cast<StatusCollector*>(user)->Add(status);
}

void StatusCollector::Add(int code)
{
    const bool afterStart = m_startReturned.load();
    if (onCallback)
        onCallback(code);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_allAfterStart = m_allAfterStart && afterStart;
    m_onCaller = m_onCaller || std::this_thread::get_id() == m_caller;
    m_codes.push_back(code);
    m_changed.notify_all();
}

bool StatusCollector::WaitCount(size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&]() { return m_codes.size() >= count; });
}

std::vector<int> StatusCollector::Codes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_codes;
}

bool StatusCollector::AllAfterStart() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allAfterStart;
}

bool StatusCollector::OnCallerThread() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_onCaller;
}

int Connect(const std::string& ip, const std::string& user, const std::string& password, StatusCollector* collector,
    uint16_t port)
{
    StatusCollector own;
    StatusCollector* c = collector ? collector : &own;
    ZVNetConnParam param {};
    param.ip = ip.c_str();
    param.port = port;
    param.userName = user.c_str();
    param.password = password.c_str();
    param.user = c;
    param.statusCallback = &StatusCollector::Callback;
    int handle = ZVNetConnectionStartEx(&param);
    c->StartReturned();
    if (handle == 0)
        return 0;
    if (!c->WaitCount(1, 10000) || c->Codes().front() != ZVNET_STATUS_LOGIN_OK) {
        ZVNetConnectionStop(&handle);
        return 0;
    }
    return handle;
}
} // namespace sdktest
