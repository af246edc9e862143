#pragma once

// Helpers of the ONVIF tests: fake ONVIF devices on this process's loopback
// addresses, and the library set up for ONVIF with short time-outs.

#include "FakeOnvif.h"
#include "SdkTestSupport.h"
#include "ZVOnvif.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sdktest
{
// A fake ONVIF device at Loopback(n), its web port 18000 + n; tweak adjusts its state first.
std::unique_ptr<fakedevice::FakeOnvif> StartOnvifDevice(
    int n, const std::function<void(fakedevice::OnvifState&)>& tweak = {});

// ZVNetInit, ZVOnvifInit and the three ONVIF time-outs (seconds) for the length of a
// test function; the probe goes unicast to the given addresses. Releases both at the end.
class OnvifScope
{
public:
    explicit OnvifScope(const std::vector<std::string>& probeTargets, int searchSeconds = 1, int connectSeconds = 2,
        int commandSeconds = 2);
    ~OnvifScope();
    OnvifScope(const OnvifScope&) = delete;
    OnvifScope& operator=(const OnvifScope&) = delete;
};
bool SetOnvifTargets(const std::vector<std::string>& addresses);

// Starts an ONVIF search into collector; returns the handle.
int StartOnvifSearch(SearchCollector& collector);

// Connects and waits for the status; the handle (0 when the start failed) and the
// codes that arrived go to the out arguments.
int OnvifConnect(const std::string& ip, uint16_t port, const std::string& user, const std::string& password,
    StatusCollector& collector);

// Parameter 511 read and written on a connection.
int QueryNetwork(int handle, ZVOnvifNetworkParam& block);
int SetNetwork(int handle, const ZVOnvifNetworkParam& block);
ZVOnvifNetworkParam NetworkBlock(
    const char* ip, const char* netmask, const char* gateway, uint32_t webPort, uint8_t networkMode);
std::string Dotted(const uint8_t* address);
} // namespace sdktest
