#include "HttpSettings.h"

#include "DeviceCrypto.h"
#include "FakeHttpApi.h"
#include "HttpJson.h"

#include <chrono>
#include <initializer_list>

namespace fakedevice
{
namespace
{
namespace dc = devicecrypto;
using Call = FakeHttpApi::Call;

const char* const kParamMarker = "ZVPARAM:";
constexpr size_t kParamLine = 64;
constexpr Json::ArrayIndex kUpgradeHeadBytes = 1024;
const char* const kStreams[] = { "MainStream", "SubStream", "MobileStream" };

int Refuse(Json::Value& reply, int status, const char* reason)
{
    reply = Result("failed", reason);
    return status;
}

int Success(Json::Value& reply)
{
    reply = Result("success");
    return 200;
}

const Json::Value* Path(const Json::Value& root, std::initializer_list<const char*> names)
{
    const Json::Value* value = &root;
    for (const char* name : names) {
        value = Member(*value, name);
        if (!value)
            return nullptr;
    }
    return value;
}

bool BoolMember(const Json::Value& object, const char* name, bool& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isBool())
        return false;
    out = value->asBool();
    return true;
}

bool ReadPos(const Json::Value* item, int& x, int& y)
{
    const Json::Value* pos = item ? Member(*item, "pos") : nullptr;
    return pos && IntMember(*pos, "x", x) && IntMember(*pos, "y", y);
}

Json::Value Pos(int x, int y)
{
    Json::Value pos(Json::objectValue);
    pos["x"] = x;
    pos["y"] = y;
    return pos;
}

// ---- the settings as JSON, for the replies and the parameter set --------------------------------

Json::Value StreamJson(const HttpStreamSettings& stream)
{
    Json::Value json(Json::objectValue);
    json["resolution"] = stream.resolution;
    json["fps"] = stream.fps;
    json["video_encode_type"] = stream.encodeType;
    json["bitrate_mode"] = stream.bitrateMode;
    json["bitrate"] = stream.bitrate;
    json["custom_bitrate"] = stream.customBitrate;
    json["chn_index"] = "CH1";
    return json;
}

bool ReadStream(const Json::Value& json, HttpStreamSettings& stream)
{
    HttpStreamSettings read;
    if (!TextMember(json, "resolution", read.resolution) || !IntMember(json, "fps", read.fps)
        || !TextMember(json, "video_encode_type", read.encodeType)
        || !TextMember(json, "bitrate_mode", read.bitrateMode) || !IntMember(json, "bitrate", read.bitrate)
        || !IntMember(json, "custom_bitrate", read.customBitrate))
        return false;
    stream = read;
    return true;
}

Json::Value OsdJson(const HttpOsdSettings& osd)
{
    Json::Value json(Json::objectValue);
    json["status"] = "Online";
    json["name"]["show"] = true;
    json["name"]["text"] = osd.name;
    json["name"]["pos"] = Pos(osd.nameX, osd.nameY);
    json["datetime"]["show"] = true;
    json["datetime"]["date_format"] = "YYYY-MM-DD";
    json["datetime"]["time_format"] = 24;
    json["datetime"]["pos"] = Pos(osd.dateX, osd.dateY);
    return json;
}

bool ReadOsd(const Json::Value& json, HttpOsdSettings& osd)
{
    HttpOsdSettings read;
    const Json::Value* name = Member(json, "name");
    if (!name || !TextMember(*name, "text", read.name) || !ReadPos(name, read.nameX, read.nameY)
        || !ReadPos(Member(json, "datetime"), read.dateX, read.dateY))
        return false;
    osd = read;
    return true;
}

Json::Value ClockJson(const HttpClockSettings& clock)
{
    Json::Value json(Json::objectValue);
    json["date"] = clock.date;
    json["time"] = clock.time;
    json["time_zone"] = clock.timeZone;
    json["date_format"] = clock.dateFormat;
    json["time_format"] = clock.timeFormat;
    json["synchronize_computer_time"] = clock.synchronizeComputerTime;
    return json;
}

bool Digits(const std::string& text, size_t from, size_t count)
{
    for (size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

int Number(const std::string& text, size_t from, size_t count)
{
    return std::stoi(text.substr(from, count));
}

// "DD/MM/YYYY", "HH:MM:SS" and a zone "GMT+H:MM" as the device takes them.
bool ReadClock(const Json::Value& json, HttpClockSettings& clock)
{
    HttpClockSettings read;
    int zoneMinutes = 0;
    if (!TextMember(json, "date", read.date) || !TextMember(json, "time", read.time)
        || !TextMember(json, "time_zone", read.timeZone) || !TextMember(json, "date_format", read.dateFormat)
        || !IntMember(json, "time_format", read.timeFormat)
        || !BoolMember(json, "synchronize_computer_time", read.synchronizeComputerTime))
        return false;
    const std::string& d = read.date;
    const std::string& t = read.time;
    if (d.size() != 10 || !Digits(d, 0, 2) || d[2] != '/' || !Digits(d, 3, 2) || d[5] != '/' || !Digits(d, 6, 4)
        || t.size() != 8 || !Digits(t, 0, 2) || t[2] != ':' || !Digits(t, 3, 2) || t[5] != ':' || !Digits(t, 6, 2)
        || !ClockZoneMinutes(read.timeZone, zoneMinutes))
        return false;
    clock = read;
    return true;
}

Json::Value SettingsJson(const HttpSettings& settings)
{
    Json::Value json(Json::objectValue);
    for (const auto& [name, stream] : settings.streams)
        json["streams"][name] = StreamJson(stream);
    json["osd"] = OsdJson(settings.osd);
    json["clock"] = ClockJson(settings.clock);
    json["device"] = settings.deviceParams;
    return json;
}

// ---- endpoints -----------------------------------------------------------------------------------

int UpgradeToken(const Call& call, Json::Value& reply)
{
    if (!call.authenticated)
        return Refuse(reply, 403, "protection");
    const Json::Value* data = Member(call.body, "data");
    const Json::Value* head = data ? Member(*data, "upgrade_head") : nullptr;
    HttpTokenRequest request;
    if (!data || !TextMember(*data, "file_name", request.fileName) || !IntMember(*data, "file_size", request.fileSize)
        || !head || !head->isArray() || head->size() != kUpgradeHeadBytes)
        return Refuse(reply, 400, "bad_request");
    for (const Json::Value& byte : *head) {
        if (!byte.isInt() || byte.asInt() < 0 || byte.asInt() > 255)
            return Refuse(reply, 400, "bad_request");
        request.head.push_back(byte.asInt());
    }
    request.token = dc::ToHex(dc::RandomBytes(16));
    call.state.upgradeToken = request.token;
    call.state.settings.tokenRequests.push_back(request);
    Success(reply);
    reply["data"]["upgrade_token"] = request.token;
    return 200;
}

int Upload(const Call& call, Json::Value& reply)
{
    const std::string token = call.request.Header("X-Upgrade-Token");
    if (!call.state.upgradeToken.empty() && token != call.state.upgradeToken)
        return Refuse(reply, 403, "upgrade_token");
    // An image of another size than its token announced is not the one announced.
    const std::vector<HttpTokenRequest>& requests = call.state.settings.tokenRequests;
    if (!requests.empty() && requests.back().token == token
        && call.request.bodySize != static_cast<uint64_t>(requests.back().fileSize))
        return Refuse(reply, 400, "file_size");
    call.state.settings.uploads.push_back(
        { token, call.request.bodySize, call.request.bodySha256, call.request.bodySeconds });
    return Success(reply);
}

int ParamGet(const Call& call, Json::Value& reply)
{
    if (!call.authenticated)
        return Refuse(reply, 403, "protection");
    Success(reply);
    reply["data"]["param"] = ExportParams(call.state.settings);
    return 200;
}

int ParamSet(const Call& call, Json::Value& reply)
{
    if (!call.authenticated)
        return Refuse(reply, 403, "protection");
    const Json::Value* data = Member(call.body, "data");
    std::string param;
    if (!data || !TextMember(*data, "param", param) || !ImportParams(param, call.state.settings))
        return Refuse(reply, 400, "bad_param");
    ++call.state.settings.paramImports;
    return Success(reply);
}

int StreamGet(const std::string& name, const Call& call, Json::Value& reply)
{
    Success(reply);
    reply["data"]["channel_info"]["CH1"] = StreamJson(call.state.settings.streams[name]);
    return 200;
}

int StreamSet(const std::string& name, const Call& call, Json::Value& reply)
{
    const Json::Value* channel = Path(call.body, { "data", "channel_info", "CH1" });
    if (!channel || !ReadStream(*channel, call.state.settings.streams[name]))
        return Refuse(reply, 400, "bad_request");
    return Success(reply);
}

int OsdGet(const Call& call, Json::Value& reply)
{
    Success(reply);
    Json::Value& channels = reply["data"]["channel_info"];
    channels["CH1"] = OsdJson(call.state.settings.osd);
    const Json::Value* asked = Member(call.body, "channel");
    if (asked && asked->isArray()) {
        for (const Json::Value& name : *asked) {
            if (name.isString() && name.asString() != "CH1" && channels.size() < 256)
                channels[name.asString()] = OsdJson(HttpOsdSettings());
        }
    }
    return 200;
}

int OsdSet(const Call& call, Json::Value& reply)
{
    const Json::Value* channel = Path(call.body, { "data", "channel_info", "CH1" });
    if (!channel || !ReadOsd(*channel, call.state.settings.osd))
        return Refuse(reply, 400, "bad_request");
    return Success(reply);
}

int ClockGet(const Call& call, Json::Value& reply)
{
    Success(reply);
    reply["data"] = ClockJson(call.state.settings.clock);
    return 200;
}

int ClockSet(const Call& call, Json::Value& reply)
{
    const Json::Value* data = Member(call.body, "data");
    if (!data || !ReadClock(*data, call.state.settings.clock))
        return Refuse(reply, 400, "bad_request");
    call.state.settings.clock.setAtMs
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
    return Success(reply);
}
} // namespace

bool ClockZoneMinutes(const std::string& zone, int& minutes)
{
    // "GMT", a sign, one or two digits of hours, ":" and two of minutes.
    const size_t colon = zone.find(':');
    if (zone.compare(0, 3, "GMT") != 0 || zone.size() < 8 || (zone[3] != '+' && zone[3] != '-')
        || (colon != 5 && colon != 6) || zone.size() != colon + 3 || !Digits(zone, 4, colon - 4)
        || !Digits(zone, colon + 1, 2))
        return false;
    const int hours = Number(zone, 4, colon - 4);
    const int rest = Number(zone, colon + 1, 2);
    if (hours > 14 || rest > 59)
        return false;
    minutes = (zone[3] == '-' ? -1 : 1) * (hours * 60 + rest);
    return true;
}

bool ClockUtcSeconds(const HttpClockSettings& clock, int64_t& seconds)
{
    int zoneMinutes = 0;
    if (clock.date.size() != 10 || clock.time.size() != 8 || !ClockZoneMinutes(clock.timeZone, zoneMinutes))
        return false;
    const int day = Number(clock.date, 0, 2);
    const int month = Number(clock.date, 3, 2);
    int year = Number(clock.date, 6, 4);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    // Days since 1970-01-01 of a proleptic Gregorian date.
    year -= month <= 2 ? 1 : 0;
    const int era = year / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = int64_t(era) * 146097 + dayOfEra - 719468;
    const int64_t wall
        = days * 86400 + Number(clock.time, 0, 2) * 3600 + Number(clock.time, 3, 2) * 60 + Number(clock.time, 6, 2);
    seconds = wall - int64_t(zoneMinutes) * 60;
    return true;
}

HttpSettings::HttpSettings()
{
    streams["MainStream"] = { "1920*1080", 25, "H265", "Predefined", 4096, 4096 };
    streams["SubStream"] = { "640*360", 15, "H264", "Predefined", 512, 512 };
    streams["MobileStream"] = { "352*288", 10, "H264", "UserDefined", 256, 256 };
    deviceParams = "audio=on;motion=off;record=schedule;ircut=auto";
}

std::string ExportParams(const HttpSettings& settings)
{
    const std::string encoded = dc::ToBase64(Json::FastWriter().write(SettingsJson(settings)));
    std::string text = std::string(kParamMarker) + "\r\n";
    for (size_t at = 0; at < encoded.size(); at += kParamLine)
        text += "  " + encoded.substr(at, kParamLine) + "\r\n";
    return text;
}

bool ImportParams(const std::string& text, HttpSettings& settings)
{
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t')
            compact.push_back(c);
    }
    const std::string marker = kParamMarker;
    std::string decoded;
    if (compact.compare(0, marker.size(), marker) != 0 || !dc::FromBase64(compact.substr(marker.size()), decoded))
        return false;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value json;
    std::string errors;
    if (!reader->parse(decoded.data(), decoded.data() + decoded.size(), &json, &errors) || !json.isObject())
        return false;
    HttpSettings read = settings;
    const Json::Value* streams = Member(json, "streams");
    for (const char* name : kStreams) {
        const Json::Value* stream = streams ? Member(*streams, name) : nullptr;
        if (!stream || !ReadStream(*stream, read.streams[name]))
            return false;
    }
    const Json::Value* osd = Member(json, "osd");
    const Json::Value* clock = Member(json, "clock");
    if (!osd || !ReadOsd(*osd, read.osd) || !clock || !ReadClock(*clock, read.clock)
        || !TextMember(json, "device", read.deviceParams))
        return false;
    settings.streams = read.streams;
    settings.osd = read.osd;
    settings.clock = read.clock;
    settings.deviceParams = read.deviceParams;
    return true;
}

void AddSettingsHandlers(FakeHttpApi& api)
{
    api.SetHandler("/API/Maintenance/SystemUpgrade/Token", true, &UpgradeToken);
    api.SetHandler("/API/Maintenance/SystemUpgrade/Upgrade", true, &Upload);
    api.SetHandler("/API/Maintenance/ParamManagement/Get", true, &ParamGet);
    api.SetHandler("/API/Maintenance/ParamManagement/Set", true, &ParamSet);
    for (const char* name : kStreams) {
        const std::string stream = name;
        api.SetHandler("/API/StreamConfig/" + stream + "/Get", true,
            [stream](const Call& call, Json::Value& reply) { return StreamGet(stream, call, reply); });
        api.SetHandler("/API/StreamConfig/" + stream + "/Set", true,
            [stream](const Call& call, Json::Value& reply) { return StreamSet(stream, call, reply); });
    }
    api.SetHandler("/API/ChannelConfig/OSD/Get", true, &OsdGet);
    api.SetHandler("/API/ChannelConfig/OSD/Set", true, &OsdSet);
    api.SetHandler("/API/SystemConfig/DateTime/Get", true, &ClockGet);
    api.SetHandler("/API/SystemConfig/DateTime/Set", true, &ClockSet);
}
} // namespace fakedevice
