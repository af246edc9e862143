// Records and codes shared by the ZVNet, ZVOnvif and ZVSDKWrapper interfaces.
#ifndef ZVTYPES_H
#define ZVTYPES_H

#include <stddef.h>
#include <stdint.h>

// Results: 0 is failure. Calls that succeed return ZVNET_OK; some callers accept
// no other non-zero value, so the SDK never returns another one for success.
enum ZVNetResult : int
{
    ZVNET_FAILED = 0,
    ZVNET_OK = 1,
};

// Connection status codes delivered through ZVNetStatusCallback.
enum ZVNetStatusCode : int
{
    ZVNET_STATUS_FAILED = 2,
    ZVNET_STATUS_CLOSED = 3,
    ZVNET_STATUS_ERROR = 4,
    ZVNET_STATUS_LOGIN_OK = 101,
    ZVNET_STATUS_PARAM_ERROR = 103,
    ZVNET_STATUS_REFUSED = 104,
    ZVNET_STATUS_LOGIN_FAILED = 105,
    ZVNET_STATUS_ERROR_106 = 106,
    ZVNET_STATUS_ERROR_107 = 107,
    ZVNET_STATUS_ERROR_108 = 108,
    ZVNET_STATUS_ERROR_109 = 109,
    ZVNET_STATUS_110 = 110, // not acted upon by callers
    ZVNET_STATUS_LOCKED = 112, // refused; the device locks further logins for a while
    ZVNET_STATUS_ALARM = 113, // alarm code (low 16 bits) of ZVNetAlarmCallback
    ZVNET_STATUS_PASSWORD_SAVED = 125,
    ZVNET_STATUS_156 = 156,
};

// Network mode of SearchDevRsp::networkMode and of the network-setting records.
enum ZVNetNetMode : uint32_t
{
    ZVNET_NET_MODE_DHCP = 0,
    ZVNET_NET_MODE_PPPOE = 1,
    ZVNET_NET_MODE_STATIC = 2,
    ZVNET_NET_MODE_3G = 3,
    ZVNET_NET_MODE_WIFI = 4,
};

// Device family byte of the search and connection records; 0 means any family.
enum ZVNetDeviceFamily : uint8_t
{
    ZVNET_DEVICE_FAMILY_ANY = 0,
    ZVNET_DEVICE_FAMILY_MAX = 8,
};

// One answering device. Texts are NUL-terminated Latin-1 within their fields.
// Packed to 4: deviceTypeCode sits at offset 156, so copy it rather than bind a reference to it.
#pragma pack(push, 4)
struct SearchDevRsp
{
    char ip[16];
    char hostName[36];
    char netmask[16];
    char gateway[16];
    char dns1[16];
    char dns2[16];
    uint32_t mediaPort; // port of the ZVNet connection
    uint32_t webPort; // HTTP API and ONVIF connection port
    uint32_t networkMode; // ZVNetNetMode
    char deviceType[28];
    uint64_t deviceTypeCode;
    char deviceVersion[36];
    uint32_t deviceId;
    char deviceName[36];
    char mac[36];
    int32_t channelNumber;
    uint8_t version;
    uint8_t netInterface;
    char p2pId[38];
    char manufacture[32];
    uint16_t rtspPort;
    int8_t channelCount; // preferred over channelNumber when above 0
    uint8_t reserved355;
    uint16_t year;
    uint8_t month;
    uint8_t day;
    uint8_t reserved360[4];
    uint8_t isFirstLogin; // non-zero: no password set yet
    uint8_t inputPinCount;
    uint8_t outputPinCount;
    uint8_t supportTwoWayTalk;
    uint8_t reserved368[84];
};
#pragma pack(pop)

static_assert(sizeof(SearchDevRsp) == 452);
static_assert(offsetof(SearchDevRsp, ip) == 0);
static_assert(offsetof(SearchDevRsp, hostName) == 16);
static_assert(offsetof(SearchDevRsp, netmask) == 52);
static_assert(offsetof(SearchDevRsp, gateway) == 68);
static_assert(offsetof(SearchDevRsp, dns1) == 84);
static_assert(offsetof(SearchDevRsp, dns2) == 100);
static_assert(offsetof(SearchDevRsp, mediaPort) == 116);
static_assert(offsetof(SearchDevRsp, webPort) == 120);
static_assert(offsetof(SearchDevRsp, networkMode) == 124);
static_assert(offsetof(SearchDevRsp, deviceType) == 128);
static_assert(offsetof(SearchDevRsp, deviceTypeCode) == 156);
static_assert(offsetof(SearchDevRsp, deviceVersion) == 164);
static_assert(offsetof(SearchDevRsp, deviceId) == 200);
static_assert(offsetof(SearchDevRsp, deviceName) == 204);
static_assert(offsetof(SearchDevRsp, mac) == 240);
static_assert(offsetof(SearchDevRsp, channelNumber) == 276);
static_assert(offsetof(SearchDevRsp, version) == 280);
static_assert(offsetof(SearchDevRsp, netInterface) == 281);
static_assert(offsetof(SearchDevRsp, p2pId) == 282);
static_assert(offsetof(SearchDevRsp, manufacture) == 320);
static_assert(offsetof(SearchDevRsp, rtspPort) == 352);
static_assert(offsetof(SearchDevRsp, channelCount) == 354);
static_assert(offsetof(SearchDevRsp, year) == 356);
static_assert(offsetof(SearchDevRsp, month) == 358);
static_assert(offsetof(SearchDevRsp, day) == 359);
static_assert(offsetof(SearchDevRsp, isFirstLogin) == 364);
static_assert(offsetof(SearchDevRsp, inputPinCount) == 365);
static_assert(offsetof(SearchDevRsp, outputPinCount) == 366);
static_assert(offsetof(SearchDevRsp, supportTwoWayTalk) == 367);

// Called once per answering device, then once with a null record at the end of
// the search. The record is valid during the call only.
typedef int (*ZVNetSearchCallback)(const SearchDevRsp* record, void* user);

// Connection status (ZVNetStatusCode), delivered on an SDK thread.
typedef void (*ZVNetStatusCallback)(int status, void* user);

// Request of ZVNetSearchDev and ZVOnvifSearchDevStart.
struct ZVNetSearchParam
{
    ZVNetSearchCallback callback;
    void* user;
    uint8_t deviceFamily; // ZVNetDeviceFamily
    uint8_t reserved[3];
};

// Query of a size-prefixed parameter block: the buffer's first u32 holds its
// own size, the rest is zero; the SDK fills the rest.
struct ZVNetQueryParamExReq
{
    uint32_t paramId;
    uint32_t reserved4;
    void* buffer;
    uint32_t bufferSize;
    uint32_t reserved[4];
};

// Write of a parameter: either a size-prefixed block, or an array of fixed-size
// records as a query delivered them (the record size follows from paramId).
struct ZVNetSetParamReq
{
    uint32_t paramId;
    const void* block;
    const void* records;
    uint32_t recordCount;
    uint32_t reserved16;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// Layout on 32-bit targets, where pointers take four bytes.
static_assert(sizeof(ZVNetSearchParam) == 12);
static_assert(offsetof(ZVNetSearchParam, user) == 4);
static_assert(offsetof(ZVNetSearchParam, deviceFamily) == 8);
static_assert(sizeof(ZVNetQueryParamExReq) == 32);
static_assert(offsetof(ZVNetQueryParamExReq, buffer) == 8);
static_assert(offsetof(ZVNetQueryParamExReq, bufferSize) == 12);
static_assert(sizeof(ZVNetSetParamReq) == 20);
static_assert(offsetof(ZVNetSetParamReq, block) == 4);
static_assert(offsetof(ZVNetSetParamReq, records) == 8);
static_assert(offsetof(ZVNetSetParamReq, recordCount) == 12);
#endif

#endif // ZVTYPES_H
