// The SDK wrapper's readers of the HTTP JSON API's replies: the object parse,
// the success envelope, and the type-checked members and base64 texts its
// login and search read from it.
#include "WrapperHttp.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zvsdk::wrapper;
    HttpReply reply;
    reply.status = 200;
    reply.body.assign(reinterpret_cast<const char*>(data), size);

    Json::Value root;
    ParseObject(reply.body, root);
    const Json::Value* members[] = { &root, SuccessData(reply, root) };
    for (const Json::Value* object : members) {
        if (!object)
            continue;
        for (const char* name : { "salt", "nonce", "cookie", "token", "reason", "result", "data" }) {
            std::string text, bytes;
            if (TextMember(*object, name, text))
                FromBase64(text, bytes);
            int64_t number = 0;
            IntMember(*object, name, 1, 65535, number);
            IntMember(*object, name, INT64_MIN, INT64_MAX, number);
        }
        if (const Json::Value* info = ObjectMember(*object, "device_info"))
            CompactText(*info);
    }
    // The body as a base64 text of its own (salts and nonces arrive that way).
    std::string bytes;
    FromBase64(reply.body, bytes);
    return 0;
}
