// A WS-Discovery answer datagram: its ProbeMatches, and the search record made
// from each match.
#include "OnvifDiscovery.h"
#include "OnvifXml.h"

#include <arpa/inet.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zvsdk::onvif::PrepareXmlReaders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zvsdk::onvif;
    const char* text = reinterpret_cast<const char*>(data);
    // Matches that answer our probe, and any (an empty list takes only matches without RelatesTo).
    const std::vector<std::string> ids { "urn:uuid:5a560000-0000-4000-8000-00000000f022" };
    for (const auto& probeIds : { ids, std::vector<std::string>() }) {
        for (const ProbeMatch& match : ParseProbeMatches(text, size, probeIds)) {
            for (uint32_t from : { 0x7f000002u, 0u }) {
                in_addr sender {};
                sender.s_addr = htonl(from);
                SearchDevRsp record {};
                ServiceAddress service;
                FillSearchRecord(match, sender, record, service);
            }
        }
    }
    return 0;
}
