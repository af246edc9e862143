#pragma once

#include <atomic>

namespace zvsdk
{
// Library-wide switches set by the life-cycle calls.
struct SdkState
{
    std::atomic<bool> netInitialised { false };
    std::atomic<int> encryption { 0 };
    std::atomic<bool> onvifInitialised { false };
    std::atomic<int> onvifSearchTimeout { 2 };
    std::atomic<int> onvifConnectTimeout { 2 };
    std::atomic<int> onvifCommandTimeout { 2 };
};

SdkState& State();
} // namespace zvsdk
