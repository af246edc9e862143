// On-screen display of channel 1 (channel name, its position and that of the
// date), read and written through the SDK's records or the HTTP JSON API.

#include "DeviceOperations.h"
#include "FixedText.h"
#include "WorkerSupport.h"

#include <cstring>
#include <optional>

namespace
{
using namespace DeviceOps;

const char* const kOsdGetPath = "/API/ChannelConfig/OSD/Get";
const char* const kOsdSetPath = "/API/ChannelConfig/OSD/Set";
// The device list never holds more channels than an SDK query delivers.
constexpr int kMaxChannels = 256;

QString Position(int x, int y)
{
    return QString::number(x) + QLatin1Char(',') + QString::number(y);
}

// The texts the table shows, stored when the worker ends; without a channel
// name the listed one stays.
ShownValues ShownOsd(int nameX, int nameY, int dateX, int dateY, std::optional<QString> channelName = std::nullopt)
{
    const QString namePos = Position(nameX, nameY);
    const QString datePos = Position(dateX, dateY);
    return [namePos, datePos, channelName](DeviceInfo& device) {
        device.m_osdNamePos = namePos;
        device.m_osdDatePos = datePos;
        if (channelName)
            device.m_osdChannelName = *channelName;
    };
}

// The name in the local 8-bit code page, cut at a character boundary to the
// field's 40 bytes (a full field has no terminator); the rest is zero.
void PutChannelName(char (&field)[sizeof(ZVNetOsdParam::channelName)], const QString& name)
{
    PutText(name, TextCode::Local8Bit, field, FieldEnd::Padded);
}

// The length of text without a UTF-8 sequence cut short at its end: a name
// that fills the device's field may have lost the tail of its last character.
int CompleteUtf8Length(const char* text, int length)
{
    int start = length;
    while (start > 0 && length - start < 4 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return length;
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    const int needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return length - (start - 1) < needed ? start - 1 : length;
}

bool QueryOsd(DeviceInfo* device)
{
    const ZVNetChannelMask mask = AllChannels();
    int result = 0;
    return QueryRecords(*device, ZVNET_PARAM_OSD, device->m_osdRecords, &DeviceInfo::OnOsdRecord, &mask, result);
}

int SetThroughSdk(DeviceInfo* device, ShownValues&)
{
    if (!QueryOsd(device))
        return StatusFailed;
    ZVNetOsdParam& record = device->m_osdRecords.front();
    record.nameX = static_cast<uint16_t>(device->m_osdNameX);
    record.nameY = static_cast<uint16_t>(device->m_osdNameY);
    record.dateX = static_cast<uint16_t>(device->m_osdDateX);
    record.dateY = static_cast<uint16_t>(device->m_osdDateY);
    PutChannelName(record.channelName, device->m_osdChannelName);
    return SetRecords(*device, ZVNET_PARAM_OSD, device->m_osdRecords) != 0 ? StatusOk : StatusFailed;
}

int QueryThroughSdk(DeviceInfo* device, ShownValues& shown)
{
    if (!QueryOsd(device))
        return StatusQueryFailed;
    const ZVNetOsdParam& record = device->m_osdRecords.front();
    const char* name = record.channelName;
    const void* end = std::memchr(name, '\0', sizeof(record.channelName));
    const int length = end ? static_cast<int>(static_cast<const char*>(end) - name) : int(sizeof(record.channelName));
    shown = ShownOsd(record.nameX, record.nameY, record.dateX, record.dateY,
        QString::fromUtf8(name, CompleteUtf8Length(name, length)));
    return StatusQueryOk;
}

Json::Value Shown(const Json::Value& pos)
{
    Json::Value item(Json::objectValue);
    item["show"] = true;
    item["pos"] = pos;
    return item;
}

Json::Value Pos(int x, int y)
{
    Json::Value pos(Json::objectValue);
    pos["x"] = x;
    pos["y"] = y;
    return pos;
}

int SetThroughHttp(DeviceInfo* device, ShownValues& shown)
{
    if (device->m_osdChannelName.isEmpty())
        return StatusFailed;
    const QDateTime& when = device->m_dateTime;
    Json::Value channel(Json::objectValue);
    channel["status"] = "Online";
    channel["name"] = Shown(Pos(device->m_osdNameX, device->m_osdNameY));
    channel["name"]["text"] = device->m_osdChannelName.toStdString(); // JSON text is UTF-8
    channel["alarm"] = Shown(Pos(0, 0));
    channel["alarm"]["text"] = "Alarm Pos";
    Json::Value datetime = Shown(Pos(device->m_osdDateX, device->m_osdDateY));
    datetime["date_format"] = "YYYY-MM-DD";
    datetime["time_format"] = 24;
    datetime["time"]["year"] = when.date().year();
    datetime["time"]["month"] = when.date().month();
    datetime["time"]["day"] = when.date().day();
    datetime["time"]["hour"] = when.time().hour();
    datetime["time"]["minute"] = when.time().minute();
    datetime["time"]["second"] = when.time().second();
    channel["datetime"] = datetime;
    Json::Value data(Json::objectValue);
    data["channel_max"] = 1;
    data["support_copy"] = true;
    data["channel_info"]["CH1"] = channel;

    DeviceHttp http(*device);
    Json::Value reply;
    if (!http.PostForReply(kOsdSetPath, RequestBody(data), reply))
        return StatusFailed;
    shown = ShownOsd(device->m_osdNameX, device->m_osdNameY, device->m_osdDateX, device->m_osdDateY);
    return StatusOk;
}

int QueryThroughHttp(DeviceInfo* device, ShownValues& shown)
{
    Json::Value body = RequestBody();
    const int channels = qMin(device->ChannelCount(), kMaxChannels);
    if (channels > 0) {
        Json::Value names(Json::arrayValue);
        for (int i = 1; i <= channels; ++i)
            names.append("CH" + std::to_string(i));
        body["channel"] = names;
    }
    DeviceHttp http(*device);
    Json::Value reply;
    if (!http.PostForReply(kOsdGetPath, body, reply))
        return StatusQueryFailed;
    // The channel must be there; positions and the name it leaves out read
    // as 0 and empty.
    const Json::Value* channel = MemberPath(reply, { "data", "channel_info", "CH1" });
    if (!channel || !channel->isObject())
        return StatusQueryFailed;
    const Json::Value* name = channel ? MemberPath(*channel, { "name" }) : nullptr;
    const Json::Value* namePos = name ? MemberPath(*name, { "pos" }) : nullptr;
    const Json::Value* datePos = channel ? MemberPath(*channel, { "datetime", "pos" }) : nullptr;
    int nameX = 0, nameY = 0, dateX = 0, dateY = 0;
    std::string text;
    if (!ReadOptionalInteger(namePos, "x", nameX) || !ReadOptionalInteger(namePos, "y", nameY)
        || !ReadOptionalInteger(datePos, "x", dateX) || !ReadOptionalInteger(datePos, "y", dateY)
        || !ReadOptionalString(name, "text", text))
        return StatusQueryFailed;
    shown = ShownOsd(nameX, nameY, dateX, dateY, QString::fromStdString(text));
    return StatusQueryOk;
}
} // namespace

namespace DeviceOps
{
void SetOsdConfig(DeviceInfo* device)
{
    EndApiWorker(device, RequesterOsdConfig, &SetThroughHttp, &SetThroughSdk, &DeviceInfo::m_osdRecords);
}

void GetOsdConfig(DeviceInfo* device)
{
    EndApiWorker(device, RequesterOsdConfig, &QueryThroughHttp, &QueryThroughSdk, &DeviceInfo::m_osdRecords);
}
} // namespace DeviceOps
