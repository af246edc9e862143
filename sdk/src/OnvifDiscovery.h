#pragma once

// WS-Discovery for ONVIF devices: the Probe message, ProbeMatches read by
// namespace and local name, and the search record made from one match.

#include "ZVTypes.h"

#include <netinet/in.h>

#include <cstddef>
#include <string>
#include <vector>

namespace zvsdk::onvif
{
inline constexpr const char* kDiscoveryGroup = "239.255.255.250";
inline constexpr uint16_t kDiscoveryPort = 3702;

// How a device service is reached beyond its address and port: the scheme and
// path its XAddr announced.
struct ServiceAddress
{
    bool https = false;
    std::string path = "/onvif/device_service";
};

struct ProbeMatch
{
    std::string endpoint; // EndpointReference/Address: the device's stable identity
    std::vector<std::string> types; // "namespace local" per resolved type
    bool videoDevice = false; // a network video transmitter or an ONVIF device service
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;
};

enum class ProbeType
{
    NetworkVideoTransmitter,
    Device, // recorders often announce only the device service
};

std::string NewMessageId(); // "urn:uuid:" and a random version 4 UUID
std::string ProbeMessage(const std::string& messageId, ProbeType type);

// The matches of one datagram; empty when it is no ProbeMatches message, is
// malformed, or answers a message other than probeIds (a match without
// RelatesTo is taken). Past the element limit, the matches read whole are kept.
std::vector<ProbeMatch> ParseProbeMatches(const char* data, size_t size, const std::vector<std::string>& probeIds);

// Fills a zeroed record: the address and web port of the device service
// (preferring the address the answer came from; the sender's address with the
// XAddr's port when no XAddr names an IPv4 host), then name, model and MAC from
// the scopes; service gets the XAddr's scheme and path. False when no usable
// address is known.
bool FillSearchRecord(const ProbeMatch& match, in_addr from, SearchDevRsp& record, ServiceAddress& service);

// The scheme and path last announced at an address and port, kept for the
// connections that only know the search record's address and web port.
void RememberService(const std::string& ip, uint16_t port, const ServiceAddress& service);
// What was announced there; else https on port 443 and http elsewhere, at the usual path.
ServiceAddress ServiceAt(const std::string& ip, uint16_t port);
} // namespace zvsdk::onvif
