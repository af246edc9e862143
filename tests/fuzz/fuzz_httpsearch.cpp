// The HTTP JSON API's range search, answer to table row: the wrapper's record
// of one device's range reply, the search page's mapping of a record into the
// search record, and the device list's copy of that.
#include "DeviceInfo.h"
#include "ExtranetsearchFrame.h"
#include "HttpClient.h"
#include "WrapperSearch.h"

#include <cstdint>
#include <string>

namespace
{
void MapRecord(const Json::Value& device)
{
    SearchDevRsp record;
    ExtranetsearchFrame::RecordFromJson(device, &record);
    DeviceInfo info;
    info.InitFromSearchRsp(&record, false);
    info.Ip();
    info.DeviceName();
    info.DeviceType();
    info.DeviceVersion();
    info.Mac();
    info.Netmask();
    info.Gateway();
    info.NetModeText();
    info.IsInitialized();
}

bool Parse(const std::string& text, Json::Value& root)
{
    Json::CharReaderBuilder builder;
    std::string errors;
    return ParseJsonText(builder, text, root, errors) && root.isObject();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zvsdk::wrapper;
    HttpReply reply;
    reply.status = 200;
    reply.body.assign(reinterpret_cast<const char*>(data), size);
    HttpPost probe;
    probe.ip = "127.0.0.9";
    probe.port = 80;
    std::string text;
    Json::Value root;
    if (ProbeRecord(reply, probe, text) && Parse(text, root))
        MapRecord(root);
    // The page maps whatever record a wrapper hands it, not only ours.
    if (Parse(reply.body, root))
        MapRecord(root);
    return 0;
}
