#include "Config.h"
#include "ZVSdkConfig.h"
#include "wire/ZVWire.h"

#include <arpa/inet.h>

#include <mutex>

namespace zvsdk
{
namespace
{
constexpr int kDefaultSearchWindowMs = 2000;
constexpr int kDefaultTimeoutMs = 5000;
constexpr int kMaxMs = 600000;

std::mutex& ConfigMutex()
{
    static std::mutex m;
    return m;
}

Config& Stored()
{
    static Config c { {}, zvwire::kDefaultUdpPort, kDefaultSearchWindowMs, kDefaultTimeoutMs, kDefaultTimeoutMs };
    return c;
}
} // namespace

Config CurrentConfig()
{
    std::lock_guard<std::mutex> lock(ConfigMutex());
    return Stored();
}
} // namespace zvsdk

using namespace zvsdk;

int ZVSdkSetSearchTargets(const char* const* addresses, int count)
{
    if (count < 0 || (count > 0 && !addresses))
        return 0;
    std::vector<in_addr> targets;
    for (int i = 0; i < count; ++i) {
        in_addr a {};
        if (!addresses[i] || inet_pton(AF_INET, addresses[i], &a) != 1)
            return 0;
        targets.push_back(a);
    }
    std::lock_guard<std::mutex> lock(ConfigMutex());
    Stored().searchTargets = std::move(targets);
    return 1;
}

int ZVSdkSetUdpPort(int port)
{
    if (port < 0 || port > 65535)
        return 0;
    std::lock_guard<std::mutex> lock(ConfigMutex());
    Stored().udpPort = port ? static_cast<uint16_t>(port) : zvwire::kDefaultUdpPort;
    return 1;
}

int ZVSdkSetSearchWindow(int milliseconds)
{
    if (milliseconds < 0 || milliseconds > kMaxMs)
        return 0;
    std::lock_guard<std::mutex> lock(ConfigMutex());
    Stored().searchWindowMs = milliseconds ? milliseconds : kDefaultSearchWindowMs;
    return 1;
}

int ZVSdkSetTimeouts(int connectMilliseconds, int requestMilliseconds)
{
    if (connectMilliseconds < 0 || requestMilliseconds < 0 || connectMilliseconds > kMaxMs
        || requestMilliseconds > kMaxMs)
        return 0;
    std::lock_guard<std::mutex> lock(ConfigMutex());
    Stored().connectTimeoutMs = connectMilliseconds ? connectMilliseconds : kDefaultTimeoutMs;
    Stored().requestTimeoutMs = requestMilliseconds ? requestMilliseconds : kDefaultTimeoutMs;
    return 1;
}
