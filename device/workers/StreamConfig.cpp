// Video stream settings of channel 1: read and written through the SDK's
// stream records or the HTTP JSON API.

#include "DeviceOperations.h"
#include "WorkerSupport.h"

#include <QDebug>

#include <cstring>
#include <iterator>

namespace
{
using namespace DeviceOps;

const int kMainBitrates[] = { 32, 48, 64, 80, 96, 128, 160, 192, 224, 256, 320, 384, 448, 512, 640, 768, 896, 1024,
    1280, 1536, 1792, 2048, 4096, 5120, 6144, 8192, 10240, 12288, 3072, 16384 };
const int kSubBitrates[] = { 8, 16, 24, 32, 48, 64, 80, 96, 128, 160, 192, 224, 256, 320, 384, 448, 512, 768, 1024,
    1536, 2048, 3072, 4096, 5120 };
constexpr int kMainDefaultBitrate = 1024;
constexpr int kSubDefaultBitrate = 512;
const char* const kEncodeTypes[] = { "H264", "H265", "MJPEG", "H264+", "H265+" };
// The set worker matches the first eight entries only.
constexpr unsigned kSettableResolutions = 8;

static_assert(ZVNET_STREAM_RESOLUTION_OFFSET + ZVNET_STREAM_RESOLUTION_STRIDE * (ZVNET_STREAM_RESOLUTION_COUNT - 1) + 4
        <= sizeof(ZVNetStreamParam),
    "every resolution entry lies inside the record");

bool IsMainStream(const DeviceInfo& device)
{
    return device.m_streamIndex == 0;
}

uint32_t StreamParamId(const DeviceInfo& device)
{
    return IsMainStream(device) ? ZVNET_PARAM_MAIN_STREAM : ZVNET_PARAM_SUB_STREAM;
}

const char* StreamName(const DeviceInfo& device)
{
    return device.m_streamIndex == 0 ? "MainStream" : device.m_streamIndex == 1 ? "SubStream" : "MobileStream";
}

std::string StreamPath(const DeviceInfo& device, const char* verb)
{
    return std::string("/API/StreamConfig/") + StreamName(device) + "/" + verb;
}

int PredefinedBitrate(bool mainStream, unsigned index)
{
    if (mainStream)
        return index < std::size(kMainBitrates) ? kMainBitrates[index] : kMainDefaultBitrate;
    return index < std::size(kSubBitrates) ? kSubBitrates[index] : kSubDefaultBitrate;
}

// "width*height" of resolution entry index; the record is read within its size.
QString ResolutionText(const ZVNetStreamParam& record, unsigned index)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    const size_t at = ZVNET_STREAM_RESOLUTION_OFFSET + ZVNET_STREAM_RESOLUTION_STRIDE * index;
    uint16_t width, height;
    std::memcpy(&width, bytes + at, 2);
    std::memcpy(&height, bytes + at + 2, 2);
    return QString::number(width) + QLatin1Char('*') + QString::number(height);
}

int QueryThroughSdk(DeviceInfo* device, ShownValues& shown)
{
    const ZVNetChannelMask mask = AllChannels();
    int result = 0;
    const bool answered = QueryRecords(
        *device, StreamParamId(*device), device->m_streamRecords, &DeviceInfo::OnStreamRecord, &mask, result);
    qDebug() << "query===" << result;
    if (!answered)
        return StatusQueryFailed;
    const ZVNetStreamParam& record = device->m_streamRecords.front();
    // An index beyond the record's entries names nothing: the record is not used.
    if (record.resolutionIndex >= ZVNET_STREAM_RESOLUTION_COUNT)
        return StatusQueryFailed;
    const int bitrateMode = record.bitrateMode;
    const int bitrateIndex = record.bitrateIndex;
    const int customBitrate = record.bitrateMode != 0 ? record.customBitrate
                                                      : PredefinedBitrate(IsMainStream(*device), record.bitrateIndex);
    const QString fps = QString::number(record.frameRate);
    const QString resolution = ResolutionText(record, record.resolutionIndex);
    // An encoding the table does not name keeps the text it had.
    const QString encodeType
        = record.encodeType < std::size(kEncodeTypes) ? QLatin1String(kEncodeTypes[record.encodeType]) : QString();
    shown = [=](DeviceInfo& target) {
        target.m_bitrateMode = bitrateMode;
        target.m_bitrateIndex = bitrateIndex;
        target.m_customBitrate = customBitrate;
        target.m_fpsText = fps;
        target.m_resolutionText = resolution;
        if (!encodeType.isNull())
            target.m_encodeTypeText = encodeType;
    };
    return StatusQueryOk;
}

int QueryThroughHttp(DeviceInfo* device, ShownValues& shown)
{
    DeviceHttp http(*device);
    Json::Value reply;
    if (!http.PostForReply(StreamPath(*device, "Get"), std::string(R"({"version":"1.0","data":{}})"), reply))
        return StatusQueryFailed;
    // The channel must be there; a member it leaves out reads as empty or 0,
    // and a mode other than "UserDefined" is the predefined form.
    const Json::Value* channel = MemberPath(reply, { "data", "channel_info", "CH1" });
    if (!channel || !channel->isObject())
        return StatusQueryFailed;
    std::string resolution, encodeType, bitrateMode;
    int fps = 0;
    if (!ReadOptionalString(channel, "resolution", resolution) || !ReadOptionalInteger(channel, "fps", fps)
        || !ReadOptionalString(channel, "video_encode_type", encodeType)
        || !ReadOptionalString(channel, "bitrate_mode", bitrateMode))
        return StatusQueryFailed;
    const bool userDefined = bitrateMode == "UserDefined";
    int bitrate = 0;
    if (!ReadOptionalInteger(channel, userDefined ? "custom_bitrate" : "bitrate", bitrate))
        return StatusQueryFailed;
    const QString resolutionText = QString::fromStdString(resolution);
    const QString fpsText = QString::number(fps);
    const QString encodeTypeText = QString::fromStdString(encodeType);
    const QString bitrateModeText = QString::fromStdString(bitrateMode);
    shown = [=](DeviceInfo& target) {
        target.m_resolutionText = resolutionText;
        target.m_fpsText = fpsText;
        target.m_encodeTypeText = encodeTypeText;
        target.m_bitrateMode = userDefined ? 1 : 0;
        target.m_customBitrate = bitrate;
        target.m_bitrateModeText = bitrateModeText;
    };
    return StatusQueryOk;
}

int SetThroughSdk(DeviceInfo* device)
{
    const ZVNetChannelMask mask = AllChannels();
    int result = 0;
    const bool answered = QueryRecords(
        *device, StreamParamId(*device), device->m_streamRecords, &DeviceInfo::OnStreamRecord, &mask, result);
    qDebug() << "set:query===" << result;
    if (!answered)
        return StatusFailed;
    ZVNetStreamParam& record = device->m_streamRecords.front();
    record.frameRate = static_cast<uint8_t>(device->m_fps);
    record.encodeType = static_cast<uint8_t>(device->m_encodeTypeIndex);
    record.bitrateMode = static_cast<uint8_t>(device->m_bitrateMode);
    for (unsigned i = 0; i < kSettableResolutions; ++i) {
        if (ResolutionText(record, i) == device->m_resolutionName) {
            record.resolutionIndex = static_cast<uint8_t>(i);
            break;
        }
    }
    if (device->m_bitrateMode != 0)
        record.customBitrate = static_cast<uint16_t>(device->m_customBitrate);
    else
        record.bitrateIndex = static_cast<uint8_t>(device->m_bitrateIndex);
    return SetRecords(*device, StreamParamId(*device), device->m_streamRecords) != 0 ? StatusOk : StatusFailed;
}

// The number the frame-rate text starts with; 0 when it starts with none.
int LeadingNumber(const QString& text)
{
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || value > 100000)
            break;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

int SetThroughHttp(DeviceInfo* device)
{
    Json::Value channel(Json::objectValue);
    channel["resolution"] = device->m_resolutionText.toStdString();
    channel["fps"] = LeadingNumber(device->m_fpsText);
    channel["bitrate"] = device->m_customBitrate;
    if (IsMainStream(*device))
        channel["bitrate_mode"] = device->m_bitrateMode == 0 ? "Predefined" : "UserDefined";
    else
        channel["bitrate_mode"] = device->m_bitrateModeText.toStdString();
    channel["custom_bitrate"] = device->m_customBitrate;
    channel["video_encode_type"] = device->m_encodeTypeText.toStdString();
    channel["chn_index"] = "CH1";
    Json::Value data(Json::objectValue);
    data["channel_info"]["CH1"] = channel;
    DeviceHttp http(*device);
    return http.Post(StreamPath(*device, "Set"), RequestBody(data)) ? StatusOk : StatusFailed;
}
} // namespace

namespace DeviceOps
{
void GetStreamConfig(DeviceInfo* device)
{
    EndApiWorker(device, RequesterStreamConfig, &QueryThroughHttp, &QueryThroughSdk, &DeviceInfo::m_streamRecords);
}

void SetStreamConfig(DeviceInfo* device)
{
    EndApiWorker(device, RequesterStreamConfig, &SetThroughHttp, &SetThroughSdk, &DeviceInfo::m_streamRecords);
}
} // namespace DeviceOps
