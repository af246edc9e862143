#include "Runtime.h"
#include "SdkState.h"
#include "ZVNet.h"
#include "ZVOnvif.h"

namespace zvsdk
{
SdkState& State()
{
    static SdkState state;
    return state;
}

void OnvifStartup(); // Onvif.cpp
void OnvifShutdown();
} // namespace zvsdk

using zvsdk::State;

int ZVNetInit(void)
{
    State().netInitialised = true;
    zvsdk::NetStartup();
    return 1;
}

int ZVNetSetEncription(int enable)
{
    if (enable != 0 && enable != 1)
        return 0;
    State().encryption = enable;
    return 1;
}

int ZVNetRelease(void)
{
    const bool wasInitialised = State().netInitialised.exchange(false);
    zvsdk::NetShutdown();
    return wasInitialised ? 1 : 0;
}

int ZVOnvifInit(void)
{
    zvsdk::OnvifStartup();
    State().onvifInitialised = true;
    return 1;
}

int ZVOnvifSetSeachTimeout(int searchSeconds, int connectSeconds, int commandSeconds)
{
    if (!State().onvifInitialised || searchSeconds <= 0 || connectSeconds <= 0 || commandSeconds <= 0)
        return 0;
    State().onvifSearchTimeout = searchSeconds;
    State().onvifConnectTimeout = connectSeconds;
    State().onvifCommandTimeout = commandSeconds;
    return 1;
}

int ZVOnvifRelease(void)
{
    const bool wasInitialised = State().onvifInitialised.exchange(false);
    zvsdk::OnvifShutdown();
    return wasInitialised ? 1 : 0;
}
