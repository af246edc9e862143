#pragma once

// The settings the fake device's HTTP JSON API keeps for the device
// operations (sdk/PROTOCOL-HTTP.md, section 8): video streams, on-screen
// display, clock, the parameter set as a whole (export and import), and the
// firmware upgrade (token requests and uploads as the device received them).

#include <json/json.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fakedevice
{
class FakeHttpApi;

struct HttpStreamSettings
{
    std::string resolution;
    int fps = 25;
    std::string encodeType = "H264";
    std::string bitrateMode = "Predefined";
    int bitrate = 2048;
    int customBitrate = 2048;
};

struct HttpOsdSettings
{
    std::string name = "CH1";
    int nameX = 10;
    int nameY = 10;
    int dateX = 400;
    int dateY = 10;
};

struct HttpClockSettings
{
    std::string date = "01/01/2026"; // DD/MM/YYYY
    std::string time = "12:00:00";
    std::string timeZone = "GMT+0:00";
    std::string dateFormat = "DD/MM/YYYY";
    int timeFormat = 24;
    bool synchronizeComputerTime = false;
    int64_t setAtMs = 0; // the host's clock (ms since 1970, UTC) when the last set arrived
};

// One upgrade token request as the device read it.
struct HttpTokenRequest
{
    std::string fileName;
    int fileSize = 0;
    std::vector<int> head; // the upgrade_head numbers
    std::string token; // the token the device handed out
};

// One firmware upload the device received whole and accepted.
struct HttpUpload
{
    std::string token;
    uint64_t size = 0;
    std::string sha256; // lower-case hex
    double seconds = 0; // from the first to the last byte
};

struct HttpSettings
{
    HttpSettings();

    // "MainStream", "SubStream", "MobileStream".
    std::map<std::string, HttpStreamSettings> streams;
    HttpOsdSettings osd;
    HttpClockSettings clock;
    std::string deviceParams; // what else the parameter set carries (opaque)
    int paramImports = 0; // parameter sets applied
    std::vector<HttpTokenRequest> tokenRequests;
    std::vector<HttpUpload> uploads;
};

// The parameter set as the device exports it: "ZVPARAM:" and the base64 of
// its settings in lines of 64 characters, each line indented, "\r\n" after
// each. An import takes the text with or without the spaces and line ends.
std::string ExportParams(const HttpSettings& settings);
// False, changing nothing, for a text that is not an exported parameter set.
bool ImportParams(const std::string& text, HttpSettings& settings);

// The zone text's offset from UTC in minutes; false for a text the device
// does not take ("GMT", a sign, hours, ":", two digits of minutes).
bool ClockZoneMinutes(const std::string& zone, int& minutes);
// The clock's date and time in the clock's zone, as seconds since 1970 UTC.
bool ClockUtcSeconds(const HttpClockSettings& clock, int64_t& seconds);

// Serves the settings' endpoints on api (called by its constructor).
void AddSettingsHandlers(FakeHttpApi& api);
} // namespace fakedevice
