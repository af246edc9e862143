// Sets the device's clock to the time the page chose (the PC's), through the
// SDK's date/time block or the HTTP JSON API.

#include "DeviceOperations.h"
#include "WorkerSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Plain getters and ASCII digits: QDateTime::toString(format) builds Qt's
// default calendar on first use, which is not safe to race on pool threads,
// and it writes the system locale's digits, which a device refuses.
std::string DateText(const QDate& date)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%02d/%02d/%04d", date.day(), date.month(), date.year());
    return text;
}

std::string TimeText(const QTime& time)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d", time.hour(), time.minute(), time.second());
    return text;
}

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
    data["date"] = DateText(when.date());
    data["time"] = TimeText(when.time());
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
    if (!when.isValid())
        return QStringLiteral("GMT+0:00");
    // The offset the date-time itself carries: no system time zone is looked
    // up on the pool thread. Hours and minutes: a zone 5:30 east sent as 5:00
    // sets the clock half an hour wrong. A zone west of UTC keeps its own sign.
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    char text[32];
    std::snprintf(text, sizeof(text), "GMT%c%d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return QString::fromLatin1(text);
}

void SyncDateTime(DeviceInfo* device)
{
    EndApiWorker(device, RequesterStreamConfig, &SetThroughHttp, &SetThroughSdk);
}
} // namespace DeviceOps
