// Sets the device's clock to the time the page chose (the PC's), through the
// SDK's date/time block or the HTTP JSON API.

#include "DeviceOperations.h"
#include "WorkerSupport.h"

#include <QTimeZone>

#include <cstring>

namespace
{
using namespace DeviceOps;

const char* const kDateTimeGetPath = "/API/SystemConfig/DateTime/Get";
const char* const kDateTimeSetPath = "/API/SystemConfig/DateTime/Set";
constexpr int kFirstYear = 2000; // the block holds the years since, in 16 bits
// Years before kFirstYear wrap round in the word as the device reads them; a
// year whose difference does not fit the word at all is refused.
constexpr int kMinYearOffset = -32768;
constexpr int kMaxYearOffset = 65535;

int SetThroughSdk(DeviceInfo* device)
{
    const QDateTime& when = device->m_dateTime;
    const int yearOffset = when.isValid() ? when.date().year() - kFirstYear : 0;
    if (!when.isValid() || yearOffset < kMinYearOffset || yearOffset > kMaxYearOffset)
        return StatusFailed;
    ZVNetDateTimeParam block;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    ZVNetQueryParamExReq query;
    std::memset(&query, 0, sizeof(query));
    query.paramId = ZVNET_PARAM_DATETIME;
    query.buffer = &block;
    query.bufferSize = sizeof(block);
    if (ZVNetQueryParamEx(device->m_handle, &query) == 0)
        return StatusFailed;
    // Everything else keeps what the device answered.
    block.year = static_cast<uint16_t>(yearOffset);
    block.month = static_cast<uint8_t>(when.date().month());
    block.day = static_cast<uint8_t>(when.date().day());
    block.hour = static_cast<uint8_t>(when.time().hour());
    block.minute = static_cast<uint8_t>(when.time().minute());
    block.second = static_cast<uint8_t>(when.time().second());
    block.flags16 = 0x0100;
    block.flag82 = 1;
    ZVNetSetParamReq set;
    std::memset(&set, 0, sizeof(set));
    set.paramId = ZVNET_PARAM_DATETIME;
    set.block = &block;
    return ZVNetSetParam(device->m_handle, &set) != 0 ? StatusOk : StatusFailed;
}

int SetThroughHttp(DeviceInfo* device)
{
    const QDateTime& when = device->m_dateTime;
    if (!when.isValid())
        return StatusFailed;
    DeviceHttp http(*device);
    if (!http.Post(kDateTimeGetPath))
        return StatusFailed;
    Json::Value data(Json::objectValue);
    data["date"] = when.toString(QStringLiteral("dd/MM/yyyy")).toStdString();
    data["time"] = when.toString(QStringLiteral("HH:mm:ss")).toStdString();
    data["synchronize_computer_time"] = true;
    data["date_format"] = "DD/MM/YYYY";
    data["time_format"] = 24;
    data["time_zone"] = TimeZoneText(when).toStdString();
    return http.Post(kDateTimeSetPath, RequestBody(data)) ? StatusOk : StatusFailed;
}
} // namespace

namespace DeviceOps
{
QString TimeZoneText(const QDateTime& when)
{
    const QTimeZone zone = when.timeZone();
    if (!zone.isValid())
        return QStringLiteral("GMT+0:00");
    // Hours and minutes: a zone 5:30 east sent as 5:00 sets the clock half an
    // hour wrong. A zone west of UTC keeps its own sign.
    const int offset = zone.offsetFromUtc(when);
    const int minutes = qAbs(offset) / 60;
    return QStringLiteral("GMT%1%2:%3")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void SyncDateTime(DeviceInfo* device)
{
    EndApiWorker(device, RequesterStreamConfig, &SetThroughHttp, &SetThroughSdk);
}
} // namespace DeviceOps
