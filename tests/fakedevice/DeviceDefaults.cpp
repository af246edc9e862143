#include "DeviceDefaults.h"

#include "ZVNet.h"
#include "ZVOnvif.h"

#include <cstring>

namespace fakedevice
{
namespace
{
void RestoreParam(DeviceState& state, const DeviceState& factory, uint32_t id)
{
    const auto it = factory.params.find(id);
    if (it != factory.params.end())
        state.params[id] = it->second;
}

void RestoreSetting(DeviceState& state, const DeviceState& factory, const char* group)
{
    const auto it = factory.groupSettings.find(group);
    if (it != factory.groupSettings.end())
        state.groupSettings[group] = it->second;
}
} // namespace

void RestoreGroups(DeviceState& state, const DeviceState& factory, const uint8_t* request)
{
    ZVNetDefaultParam groups;
    std::memcpy(&groups, request, sizeof(groups));
    if (groups.display) {
        RestoreParam(state, factory, ZVNET_PARAM_MAIN_STREAM);
        RestoreParam(state, factory, ZVNET_PARAM_SUB_STREAM);
        RestoreParam(state, factory, ZVNET_PARAM_OSD);
    }
    if (groups.record)
        RestoreSetting(state, factory, "record");
    if (groups.network == ZVNET_DEFAULT_NETWORK_ALL) {
        state.ip = factory.ip;
        state.netmask = factory.netmask;
        state.gateway = factory.gateway;
    }
    if (groups.network == ZVNET_DEFAULT_NETWORK_ALL || groups.network == ZVNET_DEFAULT_NETWORK_EXCEPT_ADDRESS) {
        state.dns1 = factory.dns1;
        state.dns2 = factory.dns2;
        state.mediaPort = factory.mediaPort;
        state.webPort = factory.webPort;
        state.networkMode = factory.networkMode;
        RestoreParam(state, factory, ZVONVIF_PARAM_NETWORK);
    }
    if (groups.alarm)
        RestoreSetting(state, factory, "alarm");
    if (groups.device) {
        state.deviceName = factory.deviceName;
        state.hostName = factory.hostName;
    }
    if (groups.system)
        RestoreParam(state, factory, ZVNET_PARAM_DATETIME);
    if (groups.advanced)
        RestoreSetting(state, factory, "advanced");
    if (groups.intelligent)
        RestoreSetting(state, factory, "intelligent");
    if (groups.pairing)
        RestoreSetting(state, factory, "pairing");
    ++state.defaultResets;
}
} // namespace fakedevice
