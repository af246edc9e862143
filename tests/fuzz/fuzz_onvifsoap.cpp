// A device service's SOAP reply, sorted as every ONVIF call sorts it, under
// the statuses a device answers with.
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
        // What the callers read next: the response's children, texts and attributes.
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
