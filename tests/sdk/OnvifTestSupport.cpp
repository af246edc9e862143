#include "OnvifTestSupport.h"

#include "ZVSdkConfig.h"

#include <arpa/inet.h>

#include <cstring>

namespace sdktest
{
std::unique_ptr<fakedevice::FakeOnvif> StartOnvifDevice(
    int n, const std::function<void(fakedevice::OnvifState&)>& tweak)
{
    fakedevice::OnvifState state = fakedevice::OnvifStateFor(Loopback(n), n);
    state.webPort = static_cast<uint16_t>(18000 + n);
    if (tweak)
        tweak(state);
    auto device = std::make_unique<fakedevice::FakeOnvif>(state);
    device->WaitListening();
    return device;
}

bool SetOnvifTargets(const std::vector<std::string>& addresses)
{
    std::vector<const char*> texts;
    for (const auto& a : addresses)
        texts.push_back(a.c_str());
    return ZVSdkSetOnvifSearchTargets(texts.data(), static_cast<int>(texts.size())) == 1;
}

OnvifScope::OnvifScope(
    const std::vector<std::string>& probeTargets, int searchSeconds, int connectSeconds, int commandSeconds)
{
    ZVNetInit();
    ZVOnvifInit();
    ZVOnvifSetSeachTimeout(searchSeconds, connectSeconds, commandSeconds);
    // Loopback only: the multicast default never runs outside a namespace LAN.
    SetOnvifTargets(probeTargets.empty() ? std::vector<std::string> { Loopback(254) } : probeTargets);
}

OnvifScope::~OnvifScope()
{
    ZVOnvifRelease();
    ZVNetRelease();
    SetOnvifTargets({ Loopback(254) });
}

int StartOnvifSearch(SearchCollector& collector)
{
    ZVNetSearchParam param {};
    param.callback = &SearchCollector::Callback;
    param.user = &collector;
    return ZVOnvifSearchDevStart(&param);
}

int OnvifConnect(const std::string& ip, uint16_t port, const std::string& user, const std::string& password,
    StatusCollector& collector)
{
    ZVOnvifConnParam param {};
    param.ip = ip.c_str();
    param.port = port;
    param.userName = user.c_str();
    param.password = password.c_str();
    param.user = &collector;
    param.statusCallback = &StatusCollector::Callback;
    const int handle = ZVOnvifConnectionStart(&param);
    collector.StartReturned();
    if (handle != 0)
        collector.WaitCount(1, 15000);
    return handle;
}

int QueryNetwork(int handle, ZVOnvifNetworkParam& block)
{
    std::memset(&block, 0, sizeof block);
    block.size = sizeof block;
    ZVNetQueryParamExReq request { ZVONVIF_PARAM_NETWORK, 0, &block, sizeof block, {} };
    return ZVOnvifQueryParamEx(handle, &request);
}

int SetNetwork(int handle, const ZVOnvifNetworkParam& block)
{
    ZVNetSetParamReq request { ZVONVIF_PARAM_NETWORK, &block, nullptr, 0, 0 };
    return ZVOnvifSetParam(handle, &request);
}

ZVOnvifNetworkParam NetworkBlock(
    const char* ip, const char* netmask, const char* gateway, uint32_t webPort, uint8_t networkMode)
{
    ZVOnvifNetworkParam block {};
    block.size = sizeof block;
    if (ip)
        inet_pton(AF_INET, ip, block.ip);
    if (netmask)
        inet_pton(AF_INET, netmask, block.netmask);
    if (gateway)
        inet_pton(AF_INET, gateway, block.gateway);
    block.webPort = webPort;
    block.networkMode = networkMode;
    return block;
}

std::string Dotted(const uint8_t* a)
{
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}
} // namespace sdktest
