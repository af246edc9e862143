#pragma once

// The device-management operations behind an ONVIF connection: the login
// check, and parameter 511 (address, mask, gateway, web port, DHCP) read and
// written through GetNetworkInterfaces/SetNetworkInterfaces, the default
// gateway and the HTTP protocol port.

#include "OnvifDiscovery.h"
#include "OnvifSoap.h"
#include "ZVOnvif.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace zvsdk::onvif
{
using Ipv4 = std::array<uint8_t, 4>; // dotted order

struct InterfaceInfo
{
    std::string token;
    bool dhcp = false;
    bool hasAddress = false;
    Ipv4 address {};
    int prefixLength = -1; // -1: not given
};

// Parsers of the responses (the XxxResponse element); false when a required element is missing.
// ParseDefaultGateway: false too when the gateways listed are none of them an IPv4 address.
bool ParseSystemDateAndTime(const XmlElement& response, int64_t& deviceUtcSeconds);
// Picks the interface that carries preferredIp, else the first with an IPv4 address.
bool ParseNetworkInterfaces(const XmlElement& response, const std::string& preferredIp, InterfaceInfo& out);
bool ParseDefaultGateway(const XmlElement& response, Ipv4& gateway, bool& found);
// The port of protocol ("HTTP", "HTTPS"): the listed one equal to currentPort, else the
// first; found false when the protocol is not listed.
bool ParseHttpPort(const XmlElement& response, const char* protocol, uint16_t currentPort, uint16_t& port, bool& found);
bool ParseRebootNeeded(const XmlElement& response, bool& rebootNeeded);

bool PrefixToMask(int prefix, Ipv4& mask);
int MaskToPrefix(const Ipv4& mask); // -1 when the bits are not contiguous

struct Timeouts
{
    int connectMs = 2000;
    int commandMs = 2000;
};

// One logged-in device. Not thread-safe: the caller serialises the calls.
class DeviceClient
{
public:
    // Either cancel flag ends a call under way.
    // service: the scheme and path the device announced at ip and port.
    DeviceClient(std::string ip, uint16_t port, ServiceAddress service, Credentials credentials, Timeouts timeouts,
        const std::atomic<bool>* cancel, const std::atomic<bool>* cancelToo = nullptr);
    ~DeviceClient();

    // The connection status code: ZVNET_STATUS_LOGIN_OK, ZVNET_STATUS_LOGIN_FAILED
    // for a refused password, ZVNET_STATUS_FAILED for everything else.
    int Login();
    bool QueryNetwork(ZVOnvifNetworkParam& block);
    bool SetNetwork(const ZVOnvifNetworkParam& block);

    int64_t ClockOffset() const { return m_clockOffset; }
    const std::string& Ip() const { return m_ip; }
    uint16_t Port() const { return m_port; }

private:
    SoapReply Call(const char* action, const std::string& bodyXml, bool authenticated);
    bool Expect(const SoapReply& reply, const char* action) const;
    bool ReadInterface(InterfaceInfo& info);
    // False when the device could not be asked; found false when it has no HTTP port to tell.
    bool ReadHttpPort(uint16_t& port, bool& found);

    const char* WebProtocol() const { return m_service.https ? "HTTPS" : "HTTP"; }

    std::string m_ip;
    uint16_t m_port;
    ServiceAddress m_service;
    std::unique_ptr<SoapSession> m_session;
    uint16_t m_fallbackPort = 0; // the port before a change that the device may not have applied yet
    Credentials m_credentials;
    Timeouts m_timeouts;
    const std::atomic<bool>* m_cancel;
    const std::atomic<bool>* m_cancelToo;
    int64_t m_clockOffset = 0; // device clock minus ours, in seconds
};
} // namespace zvsdk::onvif
