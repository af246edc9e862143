// ZVSDKWrapper: the JSON login is not spoken yet. Device objects are real, so
// that callers keep one while a login is pending; every login ends with
// "close", every search with its null text, and nothing arrives after a device
// is destroyed.
#include "Runtime.h"
#include "ZVSDKWrapper.h"

#include <list>
#include <map>
#include <memory>
#include <mutex>

using namespace zvsdk;

struct zv_device
{
    std::list<std::shared_ptr<Worker>> logins;
};

namespace
{
constexpr const char* kClosed = "{\"status\":\"close\"}";

struct Devices
{
    std::mutex mutex;
    std::map<zv_device*, std::unique_ptr<zv_device>> all;

    static Devices& Get()
    {
        static Devices* devices = new Devices;
        return *devices;
    }
};
} // namespace

zv_device_handle zv_create_device(void)
{
    auto device = std::make_unique<zv_device>();
    zv_device* raw = device.get();
    std::lock_guard<std::mutex> lock(Devices::Get().mutex);
    Devices::Get().all[raw] = std::move(device);
    return raw;
}

int zv_destroy_device(zv_device_handle device)
{
    std::unique_ptr<zv_device> owned;
    {
        std::lock_guard<std::mutex> lock(Devices::Get().mutex);
        auto it = Devices::Get().all.find(device);
        if (it == Devices::Get().all.end())
            return 0;
        owned = std::move(it->second);
        Devices::Get().all.erase(it);
    }
    for (auto& login : owned->logins)
        login->Stop();
    return 1;
}

int zv_device_login_ex(const zv_device_login_param* param)
{
    if (!param || !param->result_callback)
        return 0;
    zv_login_result_callback callback = param->result_callback;
    void* user = param->user;
    auto worker = ReportLater([callback, user]() { callback(kClosed, user); });
    ReleaseOnReturn release(worker);
    std::lock_guard<std::mutex> lock(Devices::Get().mutex);
    auto it = Devices::Get().all.find(param->device);
    if (worker && it != Devices::Get().all.end()) {
        auto& logins = it->second->logins;
        logins.remove_if([](const std::shared_ptr<Worker>& w) { return w->Finished(); });
        logins.push_back(worker);
    }
    return 0;
}

int zv_device_logout(zv_device_handle device)
{
    (void)device;
    return 0;
}

int zv_get_device_type(zv_device_handle device)
{
    (void)device;
    return 0;
}

int zv_search_device(const char* request, zv_search_callback callback, void* user)
{
    if (!callback)
        return 0;
    (void)request;
    ReleaseOnReturn release(ReportLater([callback, user]() { callback(nullptr, user); }));
    return 0;
}
