#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fakedevice
{
using Bytes = std::vector<uint8_t>;

struct User
{
    std::string name;
    std::string password;
};

// Everything a device remembers. Parameters are kept as the raw records the
// SDK headers lay out, keyed by parameter or block id.
struct DeviceState
{
    std::string ip = "127.0.0.2";
    std::string netmask = "255.0.0.0";
    std::string gateway = "127.0.0.1";
    std::string dns1 = "127.0.0.1";
    std::string dns2;
    std::string mac = "02:5a:56:00:00:02";
    std::string hostName = "camera";
    std::string deviceType = "ZV-IPC-2000"; // model
    std::string deviceVersion = "V4.2.1 build 20260101";
    std::string deviceName = "Camera";
    std::string manufacture = "ZV";
    std::string p2pId;
    uint64_t deviceTypeCode = 0x2000;
    uint32_t deviceId = 1;
    uint16_t mediaPort = 9611;
    uint16_t webPort = 8080;
    uint16_t rtspPort = 554;
    uint32_t networkMode = 2; // ZVNET_NET_MODE_STATIC
    int channels = 1;
    uint8_t version = 1;
    uint8_t netInterface = 0;
    uint8_t inputPins = 1;
    uint8_t outputPins = 1;
    uint8_t twoWayTalk = 0;
    uint16_t year = 2026;
    uint8_t month = 1;
    uint8_t day = 1;

    // users[0] is the administrator the SDK logs in with.
    std::vector<User> users { { "admin", "admin123" } };
    bool firstLogin = false; // no password set yet: only the first-password request is accepted

    // Device information bits.
    bool longUserFields = true;
    char deviceKind = '1';
    bool intelligent = false;
    bool extendedUpgrade = false;
    unsigned networkChoice = 4;

    std::map<uint32_t, Bytes> params;

    int reboots = 0;
    int ptzDefaults = 0;

    // Fills params with records for every id the SDK knows (existing ids are kept).
    void FillDefaultParams();
    Bytes DevInfoRecord() const; // 1232-byte ZVNetDevInfo
    Bytes SearchRecord() const; // 452-byte SearchDevRsp
    Bytes UserHeader() const; // 48 bytes
    Bytes UserRecords() const; // 272 bytes per user
    // Applies the records of a user-list write: changed records set passwords.
    bool ApplyUserRecords(const uint8_t* data, size_t size);
};

// Helpers for fixed-width texts in records.
void PutText(Bytes& record, size_t offset, size_t width, const std::string& text);
std::string GetText(const uint8_t* data, size_t width);
void PutU16(Bytes& record, size_t offset, uint16_t value);
void PutU32(Bytes& record, size_t offset, uint32_t value);
void PutU64(Bytes& record, size_t offset, uint64_t value);
uint32_t GetU32(const uint8_t* data);
} // namespace fakedevice
