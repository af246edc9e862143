// The device list's readers of the HTTP JSON API's replies: the parse every
// operation makes, the success check and the key-list entries of the
// password exchanges.
#include "HttpClient.h"
#include "JsonRead.h"
#include "TransKey.h"
#include "workers/WorkerSupport.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    if (!ParseJsonText(builder, std::string(reinterpret_cast<const char*>(data), size), root, errors))
        return 0;
    DeviceOps::IsSuccessReply(root);
    for (Json::ArrayIndex index : { 0u, 1u, 2u }) {
        SaltEntry salt;
        ReadSaltEntry(root, index, salt);
        DeviceKeyEntry key;
        ReadDeviceKeyEntry(root, index, key);
    }
    if (const Json::Value* reply = JsonRead::Member(root, "data")) {
        int number = 0;
        bool flag = false;
        std::string text;
        for (const char* name : { "status", "cookie", "token", "port", "isHttps", "upgrade_token" }) {
            JsonRead::ReadInt(*reply, name, number);
            JsonRead::ReadBool(*reply, name, flag);
            JsonRead::ReadText(*reply, name, text);
        }
    }
    return 0;
}
