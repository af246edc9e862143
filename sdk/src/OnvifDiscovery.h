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

// The matches of one datagram; empty when it is no ProbeMatches message or is malformed.
std::vector<ProbeMatch> ParseProbeMatches(const char* data, size_t size);

// Fills a zeroed record: the address and web port of the device service
// (preferring the address the answer came from), then name, model and MAC from
// the scopes. False when no usable address is known.
bool FillSearchRecord(const ProbeMatch& match, in_addr from, SearchDevRsp& record);
} // namespace zvsdk::onvif
