// A device service's SOAP reply, sorted as every ONVIF call sorts it under
// the statuses a device answers with, then read by each response parser.
#include "OnvifDevice.h"
#include "OnvifSoap.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zvsdk::onvif::PrepareXmlReaders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zvsdk::onvif;
    const std::string body(reinterpret_cast<const char*>(data), size);
    for (long status : { 200L, 400L, 401L, 500L }) {
        const SoapReply reply = ClassifyReply(status, body);
        if (reply.status == SoapStatus::Ok && !reply.response)
            __builtin_trap();
        if (reply.response && status == 200) {
            const XmlElement& response = *reply.response;
            int64_t utc = 0;
            ParseSystemDateAndTime(response, utc);
            InterfaceInfo interface;
            ParseNetworkInterfaces(response, "127.0.0.2", interface);
            ParseNetworkInterfaces(response, "", interface);
            if (interface.prefixLength >= 0) {
                Ipv4 mask {};
                if (PrefixToMask(interface.prefixLength, mask) && MaskToPrefix(mask) != interface.prefixLength)
                    __builtin_trap();
            }
            Ipv4 gateway {};
            bool found = false;
            ParseDefaultGateway(response, gateway, found);
            uint16_t port = 0;
            ParseHttpPort(response, "HTTP", 80, port, found);
            ParseHttpPort(response, "HTTPS", 443, port, found);
            bool reboot = false;
            ParseRebootNeeded(response, reboot);
        }
        // The response's children, texts and attributes as the callers walk them.
        if (reply.response) {
            for (const auto& child : reply.response->children) {
                child->Trimmed();
                child->Attribute("token");
                std::string nsUri, local;
                child->ResolveQName(child->Trimmed(), nsUri, local);
            }
        }
    }
    return 0;
}
