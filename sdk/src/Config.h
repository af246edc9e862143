#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

namespace zvsdk
{
// Snapshot of the library settings (ZVSdkConfig.h).
struct Config
{
    std::vector<in_addr> searchTargets; // empty: broadcast on every interface
    uint16_t udpPort;
    int searchWindowMs;
    int connectTimeoutMs;
    int requestTimeoutMs;
};

Config CurrentConfig();
} // namespace zvsdk
