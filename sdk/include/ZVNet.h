// ZVNet: search, connection, parameters, commands, upgrade and settings of the
// maker's devices. Every record and text passed in is copied before the call
// returns; only callbacks and user values are kept.
#ifndef ZVNET_H
#define ZVNET_H

#include "ZVTypes.h"

// Parameter ids of ZVNetQueryParam, ZVNetQueryParamEx and ZVNetSetParam.
enum ZVNetParamId : uint32_t
{
    ZVNET_PARAM_VERSION = 502, // ZVNetVersionParam
    ZVNET_PARAM_USERS = 505, // ZVNetUserHeader + ZVNetUserParam records
    ZVNET_PARAM_DEFAULT = 521, // ZVNetDefaultParam
    ZVNET_PARAM_DATETIME = 524, // ZVNetDateTimeParam
    ZVNET_PARAM_MAIN_STREAM = 570, // ZVNetStreamParam records
    ZVNET_PARAM_SUB_STREAM = 571, // ZVNetStreamParam records
    ZVNET_PARAM_OSD = 573, // ZVNetOsdParam records
};

// ZVNetSetParamEx: request type and block ids.
enum ZVNetBlockId : uint32_t
{
    ZVNET_SETPARAMEX_TYPE = 216,
    ZVNET_BLOCK_FACTORY_KEY = 582, // ZVNetFactoryKeyParam
    ZVNET_BLOCK_FACTORY_INFO = 700, // ZVNetFactoryInfo
};

enum ZVNetCommand : int
{
    ZVNET_PTZ_DEFAULT = 100, // ZVNetPTZControl: restore PTZ defaults
    ZVNET_REMOTE_TEST_REBOOT = 303, // ZVNetRemoteTest: reboot the device
};

// Codes of ZVNetUpgradeCallback. All but PROGRESS and TRANSFER_START end the upgrade.
enum ZVNetUpgradeCode : int
{
    ZVNET_UPGRADE_FAILED = 390,
    ZVNET_UPGRADE_SUCCEEDED = 391,
    ZVNET_UPGRADE_BAD_FILE = 392,
    ZVNET_UPGRADE_393 = 393,
    ZVNET_UPGRADE_PROGRESS = 394, // info carries the percent as an integer
    ZVNET_UPGRADE_395 = 395,
    ZVNET_UPGRADE_396 = 396,
    ZVNET_UPGRADE_REPORT = 402, // info points to a ZVNetUpgradeReport
    ZVNET_UPGRADE_TRANSFER_START = 764,
};

enum ZVNetUpgradeType : uint32_t
{
    ZVNET_UPGRADE_TYPE_BASIC = 3,
    ZVNET_UPGRADE_TYPE_EXTENDED = 7, // devices with ZVNET_ABILITY_UPGRADE_EXTENDED
};

enum ZVNetSearchMode : uint8_t
{
    ZVNET_SEARCH_MODE_RANGE = 7, // ZVNetP2PSearchParam: unicast over an address range
};

// Network byte of ZVNetDefaultParam.
enum ZVNetDefaultNetwork : uint8_t
{
    ZVNET_DEFAULT_NETWORK_KEEP = 0,
    ZVNET_DEFAULT_NETWORK_ALL = 1,
    ZVNET_DEFAULT_NETWORK_EXCEPT_ADDRESS = 2,
};

// Change mask bits of ZVNetFactoryInfo.
enum ZVNetFactoryField : uint32_t
{
    ZVNET_FACTORY_MAIN_BOARD_NAME = 0x01,
    ZVNET_FACTORY_PRODUCT_TYPE = 0x08,
    ZVNET_FACTORY_DEVICE_TYPE = 0x10,
    ZVNET_FACTORY_DEVICE_NAME = 0x20,
    ZVNET_FACTORY_CUSTOM_TYPE = 0x40,
    ZVNET_FACTORY_FUNCTION_CODE = 0x80,
};

// Bits of ZVNetDevInfo.
inline constexpr uint8_t ZVNET_DEVINFO_LONG_USER_FIELDS = 0x08; // userFieldFlags
inline constexpr uint32_t ZVNET_DEVINFO_INTELLIGENT = 0x08; // capabilityWord
inline constexpr unsigned ZVNET_DEVINFO_NETWORK_SHIFT = 40; // 4-bit field in featureBits
inline constexpr uint64_t ZVNET_DEVINFO_NETWORK_MASK = 0xFull;
inline constexpr unsigned ZVNET_DEVINFO_NETWORK_CHOICE = 4; // network group with "except address"
inline constexpr unsigned ZVNET_ABILITY_UPGRADE_EXTENDED = 40; // bit of abilitySet

inline constexpr uint32_t ZVNET_EXPORT_HEADER_SIZE = 40; // bytes before the exported data
inline constexpr uint32_t ZVNET_IMPORT_MAX_DATA = 393216;

typedef void (*ZVNetAlarmCallback)(int code, const void* data, int size, void* user);
// Header or one item of a ZVNetQueryParam answer; the record is valid during the call only.
typedef void (*ZVNetQueryCallback)(const void* record, void* user);
typedef void (*ZVNetUpgradeCallback)(int code, const void* info, void* user);
// data holds ZVNET_EXPORT_HEADER_SIZE header bytes followed by size bytes of parameters.
typedef void (*ZVNetExportCallback)(const char* data, int size, void* user);
typedef void (*ZVNetRemoteTestCallback)(int command, int result, const void* data, void* user);

// Request of ZVNetConnectionStartEx.
struct ZVNetConnParam
{
    const char* ip;
    uint32_t port; // media port
    const char* userName; // UTF-8
    const char* password; // UTF-8
    uint32_t reserved16;
    uint32_t reserved20;
    void* user;
    uint32_t reserved28;
    ZVNetAlarmCallback alarmCallback; // may be null
    uint32_t reserved36;
    ZVNetStatusCallback statusCallback;
    uint32_t reserved44;
    uint32_t reserved48;
    uint16_t reserved52;
    uint8_t deviceFamily; // ZVNetDeviceFamily
    uint8_t reserved55;
};

// Request of ZVNetSearchDevPoint2Point.
struct ZVNetP2PSearchParam
{
    ZVNetSearchCallback callback;
    void* user;
    uint8_t mode; // ZVNET_SEARCH_MODE_RANGE
    uint8_t reserved9[3];
    char startIp[64];
    char stopIp[64];
    uint8_t reserved[256];
};

// Device information filled by ZVNetGetDevInfo.
struct ZVNetDevInfo
{
    uint64_t featureBits; // bits 40..43: ZVNET_DEVINFO_NETWORK_* field
    uint8_t reserved8[220];
    uint8_t userFieldFlags; // ZVNET_DEVINFO_LONG_USER_FIELDS
    uint8_t reserved229[5];
    char deviceKind; // '2' and '4' mark a device kind with its own group texts
    uint8_t reserved235[181];
    uint32_t capabilityWord; // ZVNET_DEVINFO_INTELLIGENT
    uint8_t reserved420[132];
    uint32_t abilitySet[8]; // bit n is bit n % 32 of word n / 32
    uint8_t reserved584[648];
};

static_assert(sizeof(ZVNetDevInfo) == 1232);
static_assert(offsetof(ZVNetDevInfo, userFieldFlags) == 228);
static_assert(offsetof(ZVNetDevInfo, deviceKind) == 234);
static_assert(offsetof(ZVNetDevInfo, capabilityWord) == 416);
static_assert(offsetof(ZVNetDevInfo, abilitySet) == 552);

// Channel selection of a per-channel query: bit n selects channel n + 1; no bit
// set selects every channel.
struct ZVNetChannelMask
{
    uint32_t size; // sizeof(ZVNetChannelMask)
    uint32_t channels[8];
};

static_assert(sizeof(ZVNetChannelMask) == 36);

// Request of ZVNetQueryParam: the header callback gets one header of headerSize
// bytes (none when headerSize is 0), the item callback one record of itemSize
// bytes per item, all before the call returns and on the calling thread.
struct ZVNetQueryParamReq
{
    uint32_t paramId;
    const ZVNetChannelMask* channelMask; // null: no channel selection
    uint32_t headerSize;
    ZVNetQueryCallback headerCallback;
    uint32_t itemSize;
    ZVNetQueryCallback itemCallback;
    void* user;
    uint32_t reserved28;
};

// Request of ZVNetSetParamEx.
struct ZVNetSetParamExReq
{
    uint32_t type; // ZVNET_SETPARAMEX_TYPE
    uint32_t blockId; // ZVNetBlockId
    const void* block;
    uint32_t blockSize;
    uint32_t reserved16;
    uint32_t reserved20;
    uint32_t flags; // always 1
};

// Header of the user list (ZVNET_PARAM_USERS).
struct ZVNetUserHeader
{
    uint8_t part[3][16];
};

static_assert(sizeof(ZVNetUserHeader) == 48);

// One device user (ZVNET_PARAM_USERS). Devices use either the short or the long
// name and password fields (ZVNET_DEVINFO_LONG_USER_FIELDS); texts zero-padded,
// not necessarily terminated.
struct ZVNetUserParam
{
    uint8_t reserved0[8];
    char shortPassword[8];
    char shortUserName[8];
    uint8_t reserved24[10];
    uint8_t changeFlag; // set to 1 in a record that is written back changed
    uint8_t reserved35[45];
    char longPassword[32];
    char longUserName[32];
    uint8_t reserved144[128];
};

static_assert(sizeof(ZVNetUserParam) == 272);
static_assert(offsetof(ZVNetUserParam, shortPassword) == 8);
static_assert(offsetof(ZVNetUserParam, shortUserName) == 16);
static_assert(offsetof(ZVNetUserParam, changeFlag) == 34);
static_assert(offsetof(ZVNetUserParam, longPassword) == 80);
static_assert(offsetof(ZVNetUserParam, longUserName) == 112);

struct ZVNetStreamResolution
{
    uint16_t width;
    uint16_t height;
    uint8_t reserved[8];
};

static_assert(sizeof(ZVNetStreamResolution) == 12);

// Resolution entries are 12 bytes apart from offset 24; entries 7 and 8 share
// their tail with encodeType, so they are spelled out.
inline constexpr unsigned ZVNET_STREAM_RESOLUTION_OFFSET = 24;
inline constexpr unsigned ZVNET_STREAM_RESOLUTION_STRIDE = 12;
inline constexpr unsigned ZVNET_STREAM_RESOLUTION_COUNT = 9; // entries inside the record

// One stream of one channel (ZVNET_PARAM_MAIN_STREAM, ZVNET_PARAM_SUB_STREAM).
struct ZVNetStreamParam
{
    uint8_t reserved0[8];
    uint8_t bitrateMode; // 0 predefined, non-zero user-defined
    uint8_t bitrateIndex; // index into the predefined bitrate list
    uint16_t customBitrate; // kbit/s
    uint8_t reserved12[5];
    uint8_t frameRate;
    uint8_t resolutionIndex; // current resolution entry
    uint8_t reserved19[5];
    ZVNetStreamResolution resolutions[7];
    uint16_t resolution7Width;
    uint16_t resolution7Height;
    uint8_t reserved112[6];
    uint8_t encodeType; // 0 H264, 1 H265, 2 MJPEG, 3 H264+, 4 H265+
    uint8_t reserved119;
    uint16_t resolution8Width;
    uint16_t resolution8Height;
    uint8_t reserved124[8];
};

static_assert(sizeof(ZVNetStreamParam) == 132);
static_assert(offsetof(ZVNetStreamParam, bitrateMode) == 8);
static_assert(offsetof(ZVNetStreamParam, bitrateIndex) == 9);
static_assert(offsetof(ZVNetStreamParam, customBitrate) == 10);
static_assert(offsetof(ZVNetStreamParam, frameRate) == 17);
static_assert(offsetof(ZVNetStreamParam, resolutionIndex) == 18);
static_assert(offsetof(ZVNetStreamParam, resolutions) == ZVNET_STREAM_RESOLUTION_OFFSET);
static_assert(offsetof(ZVNetStreamParam, resolution7Width) == 24 + 7 * 12);
static_assert(offsetof(ZVNetStreamParam, resolution7Height) == 26 + 7 * 12);
static_assert(offsetof(ZVNetStreamParam, encodeType) == 118);
static_assert(offsetof(ZVNetStreamParam, resolution8Width) == 24 + 8 * 12);
static_assert(offsetof(ZVNetStreamParam, resolution8Height) == 26 + 8 * 12);

// On-screen display of one channel (ZVNET_PARAM_OSD).
struct ZVNetOsdParam
{
    uint8_t reserved0[8];
    uint16_t nameX;
    uint16_t nameY;
    uint16_t dateX;
    uint16_t dateY;
    char channelName[40]; // zero-padded
    uint8_t reserved56[1640];
};

static_assert(sizeof(ZVNetOsdParam) == 1696);
static_assert(offsetof(ZVNetOsdParam, nameX) == 8);
static_assert(offsetof(ZVNetOsdParam, nameY) == 10);
static_assert(offsetof(ZVNetOsdParam, dateX) == 12);
static_assert(offsetof(ZVNetOsdParam, dateY) == 14);
static_assert(offsetof(ZVNetOsdParam, channelName) == 16);

// Date, time and NTP (ZVNET_PARAM_DATETIME), size-prefixed.
struct ZVNetDateTimeParam
{
    uint32_t size; // 292
    uint8_t reserved4[4];
    uint16_t year; // year - 2000
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint8_t reserved15;
    uint16_t flags16; // written as 0x0100 with a new time
    uint8_t reserved18[38];
    uint8_t ntpEnable;
    uint8_t reserved57[25];
    uint8_t flag82; // written as 1 with a new time
    uint8_t reserved83[209];
};

static_assert(sizeof(ZVNetDateTimeParam) == 292);
static_assert(offsetof(ZVNetDateTimeParam, year) == 8);
static_assert(offsetof(ZVNetDateTimeParam, month) == 10);
static_assert(offsetof(ZVNetDateTimeParam, day) == 11);
static_assert(offsetof(ZVNetDateTimeParam, hour) == 12);
static_assert(offsetof(ZVNetDateTimeParam, minute) == 13);
static_assert(offsetof(ZVNetDateTimeParam, second) == 14);
static_assert(offsetof(ZVNetDateTimeParam, flags16) == 16);
static_assert(offsetof(ZVNetDateTimeParam, ntpEnable) == 56);
static_assert(offsetof(ZVNetDateTimeParam, flag82) == 82);

// Firmware version (ZVNET_PARAM_VERSION), size-prefixed.
struct ZVNetVersionParam
{
    uint32_t size; // 700
    uint8_t reserved4[149];
    char version[547]; // NUL-terminated
};

static_assert(sizeof(ZVNetVersionParam) == 700);
static_assert(offsetof(ZVNetVersionParam, version) == 153);

// Factory defaults by group (ZVNET_PARAM_DEFAULT), size-prefixed; 1 = restore.
struct ZVNetDefaultParam
{
    uint32_t size; // 24
    uint8_t display;
    uint8_t record;
    uint8_t network; // ZVNetDefaultNetwork
    uint8_t alarm;
    uint8_t device;
    uint8_t system;
    uint8_t advanced;
    uint8_t intelligent;
    uint8_t pairing;
    uint8_t reserved13[11];
};

static_assert(sizeof(ZVNetDefaultParam) == 24);
static_assert(offsetof(ZVNetDefaultParam, display) == 4);
static_assert(offsetof(ZVNetDefaultParam, record) == 5);
static_assert(offsetof(ZVNetDefaultParam, network) == 6);
static_assert(offsetof(ZVNetDefaultParam, alarm) == 7);
static_assert(offsetof(ZVNetDefaultParam, device) == 8);
static_assert(offsetof(ZVNetDefaultParam, system) == 9);
static_assert(offsetof(ZVNetDefaultParam, advanced) == 10);
static_assert(offsetof(ZVNetDefaultParam, intelligent) == 11);
static_assert(offsetof(ZVNetDefaultParam, pairing) == 12);

// Factory information (ZVNET_BLOCK_FACTORY_INFO); only the fields named in
// changeMask are applied. Texts UTF-8, NUL-terminated within their fields.
struct ZVNetFactoryInfo
{
    uint32_t size; // 1032
    uint32_t changeMask; // ZVNetFactoryField bits
    uint8_t reserved8[8];
    char mainBoardName[56];
    char productType[64];
    char deviceType[32];
    char deviceName[32];
    char customType[32];
    int64_t functionCode;
    uint8_t reserved240[792];
};

static_assert(sizeof(ZVNetFactoryInfo) == 1032);
static_assert(offsetof(ZVNetFactoryInfo, changeMask) == 4);
static_assert(offsetof(ZVNetFactoryInfo, mainBoardName) == 16);
static_assert(offsetof(ZVNetFactoryInfo, productType) == 72);
static_assert(offsetof(ZVNetFactoryInfo, deviceType) == 136);
static_assert(offsetof(ZVNetFactoryInfo, deviceName) == 168);
static_assert(offsetof(ZVNetFactoryInfo, customType) == 200);
static_assert(offsetof(ZVNetFactoryInfo, functionCode) == 232);

// Factory key (ZVNET_BLOCK_FACTORY_KEY).
struct ZVNetFactoryKeyParam
{
    uint32_t size; // 32
    uint32_t keyId;
    char boardId[16]; // not terminated when 16 bytes long
    uint8_t flag24; // always 255
    uint8_t reserved25[7];
};

static_assert(sizeof(ZVNetFactoryKeyParam) == 32);
static_assert(offsetof(ZVNetFactoryKeyParam, keyId) == 4);
static_assert(offsetof(ZVNetFactoryKeyParam, boardId) == 8);
static_assert(offsetof(ZVNetFactoryKeyParam, flag24) == 24);

// Argument block of ZVNetPTZControl; all zero for ZVNET_PTZ_DEFAULT.
struct ZVNetPTZParam
{
    uint8_t data[44];
};

static_assert(sizeof(ZVNetPTZParam) == 44);

// Request of ZVNetRemoteTest.
struct ZVNetRemoteTestParam
{
    uint32_t command; // ZVNetCommand
    uint32_t reserved4;
    uint32_t reserved8;
    void* user;
    ZVNetRemoteTestCallback callback;
    uint32_t reserved20;
};

// Request of ZVNetStartRemoteUpgrade.
struct ZVNetUpgradeParam
{
    const char* path; // firmware file, UTF-8
    ZVNetUpgradeCallback callback;
    void* user;
    uint32_t upgradeType; // ZVNetUpgradeType
    uint32_t reserved16;
};

// Info of a ZVNET_UPGRADE_REPORT callback.
struct ZVNetUpgradeReport
{
    uint32_t reserved0;
    uint32_t extra;
    int8_t code;
    int8_t value;
    uint8_t reserved10[2];
};

static_assert(sizeof(ZVNetUpgradeReport) == 12);
static_assert(offsetof(ZVNetUpgradeReport, extra) == 4);
static_assert(offsetof(ZVNetUpgradeReport, code) == 8);
static_assert(offsetof(ZVNetUpgradeReport, value) == 9);

// Request of ZVNetExportBackupNew.
struct ZVNetExportParam
{
    void* user;
    ZVNetExportCallback callback;
};

// Request of ZVNetRemoteParamImportNew (allocate it: too large for a stack).
struct ZVNetImportParam
{
    uint32_t size; // sizeof(ZVNetImportParam)
    uint32_t dataSize; // bytes used in data
    char name[32]; // zero-padded, not necessarily terminated
    uint8_t data[ZVNET_IMPORT_MAX_DATA];
};

static_assert(sizeof(ZVNetImportParam) == 393256);
static_assert(offsetof(ZVNetImportParam, dataSize) == 4);
static_assert(offsetof(ZVNetImportParam, name) == 8);
static_assert(offsetof(ZVNetImportParam, data) == 40);

// Request of ZVNetSetNewDevInfoEx. Addresses are four bytes in dotted order,
// first number first.
struct ZVNetNewDevInfo
{
    char version[16]; // "12"
    char userName[64]; // Latin-1, NUL-terminated
    char password[64]; // Latin-1, NUL-terminated
    uint8_t currentIp[4]; // identifies the device
    uint8_t newIp[4];
    uint8_t netmask[4];
    uint8_t gateway[4];
    uint8_t dns1[4];
    uint8_t dns2[4];
    char mac[36]; // as in SearchDevRsp
    uint8_t reserved204[4];
    uint64_t deviceTypeCode; // as in SearchDevRsp
    uint32_t mediaPort;
    uint32_t webPort;
    uint8_t networkMode; // ZVNetNetMode
    uint8_t flag225; // always 1
    uint8_t reserved226[518];
};

static_assert(sizeof(ZVNetNewDevInfo) == 744);
static_assert(offsetof(ZVNetNewDevInfo, userName) == 16);
static_assert(offsetof(ZVNetNewDevInfo, password) == 80);
static_assert(offsetof(ZVNetNewDevInfo, currentIp) == 144);
static_assert(offsetof(ZVNetNewDevInfo, newIp) == 148);
static_assert(offsetof(ZVNetNewDevInfo, netmask) == 152);
static_assert(offsetof(ZVNetNewDevInfo, gateway) == 156);
static_assert(offsetof(ZVNetNewDevInfo, dns1) == 160);
static_assert(offsetof(ZVNetNewDevInfo, dns2) == 164);
static_assert(offsetof(ZVNetNewDevInfo, mac) == 168);
static_assert(offsetof(ZVNetNewDevInfo, deviceTypeCode) == 208);
static_assert(offsetof(ZVNetNewDevInfo, mediaPort) == 216);
static_assert(offsetof(ZVNetNewDevInfo, webPort) == 220);
static_assert(offsetof(ZVNetNewDevInfo, networkMode) == 224);
static_assert(offsetof(ZVNetNewDevInfo, flag225) == 225);

// First password of ZVNetStartSavePasword.
struct ZVNetSavePasswordExtra
{
    uint32_t size; // 516
    char password[256]; // UTF-8, NUL-terminated
    char reserved[256];
};

static_assert(sizeof(ZVNetSavePasswordExtra) == 516);
static_assert(offsetof(ZVNetSavePasswordExtra, password) == 4);
static_assert(offsetof(ZVNetSavePasswordExtra, reserved) == 260);

// Request of ZVNetStartSavePasword.
struct ZVNetSavePasswordParam
{
    const char* ip; // UTF-8
    uint32_t port; // media port
    uint32_t reserved8;
    uint32_t reserved12;
    void* user;
    ZVNetStatusCallback callback;
    const ZVNetSavePasswordExtra* extra;
    uint32_t extraSize; // sizeof(ZVNetSavePasswordExtra)
    uint32_t reserved32;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// Layout on 32-bit targets, where pointers take four bytes.
static_assert(sizeof(ZVNetConnParam) == 56);
static_assert(offsetof(ZVNetConnParam, port) == 4);
static_assert(offsetof(ZVNetConnParam, userName) == 8);
static_assert(offsetof(ZVNetConnParam, password) == 12);
static_assert(offsetof(ZVNetConnParam, user) == 24);
static_assert(offsetof(ZVNetConnParam, alarmCallback) == 32);
static_assert(offsetof(ZVNetConnParam, statusCallback) == 40);
static_assert(offsetof(ZVNetConnParam, deviceFamily) == 54);
static_assert(sizeof(ZVNetP2PSearchParam) == 396);
static_assert(offsetof(ZVNetP2PSearchParam, user) == 4);
static_assert(offsetof(ZVNetP2PSearchParam, mode) == 8);
static_assert(offsetof(ZVNetP2PSearchParam, startIp) == 12);
static_assert(offsetof(ZVNetP2PSearchParam, stopIp) == 76);
static_assert(offsetof(ZVNetP2PSearchParam, reserved) == 140);
static_assert(sizeof(ZVNetQueryParamReq) == 32);
static_assert(offsetof(ZVNetQueryParamReq, channelMask) == 4);
static_assert(offsetof(ZVNetQueryParamReq, headerSize) == 8);
static_assert(offsetof(ZVNetQueryParamReq, headerCallback) == 12);
static_assert(offsetof(ZVNetQueryParamReq, itemSize) == 16);
static_assert(offsetof(ZVNetQueryParamReq, itemCallback) == 20);
static_assert(offsetof(ZVNetQueryParamReq, user) == 24);
static_assert(sizeof(ZVNetSetParamExReq) == 28);
static_assert(offsetof(ZVNetSetParamExReq, blockId) == 4);
static_assert(offsetof(ZVNetSetParamExReq, block) == 8);
static_assert(offsetof(ZVNetSetParamExReq, blockSize) == 12);
static_assert(offsetof(ZVNetSetParamExReq, flags) == 24);
static_assert(sizeof(ZVNetRemoteTestParam) == 24);
static_assert(offsetof(ZVNetRemoteTestParam, user) == 12);
static_assert(offsetof(ZVNetRemoteTestParam, callback) == 16);
static_assert(sizeof(ZVNetUpgradeParam) == 20);
static_assert(offsetof(ZVNetUpgradeParam, callback) == 4);
static_assert(offsetof(ZVNetUpgradeParam, user) == 8);
static_assert(offsetof(ZVNetUpgradeParam, upgradeType) == 12);
static_assert(sizeof(ZVNetExportParam) == 8);
static_assert(offsetof(ZVNetExportParam, callback) == 4);
static_assert(sizeof(ZVNetSavePasswordParam) == 36);
static_assert(offsetof(ZVNetSavePasswordParam, port) == 4);
static_assert(offsetof(ZVNetSavePasswordParam, user) == 16);
static_assert(offsetof(ZVNetSavePasswordParam, callback) == 20);
static_assert(offsetof(ZVNetSavePasswordParam, extra) == 24);
static_assert(offsetof(ZVNetSavePasswordParam, extraSize) == 28);
#endif

extern "C" {

// Life cycle: once at start in this order, released once at exit.
int ZVNetInit(void);
int ZVNetSetEncription(int enable);
int ZVNetRelease(void);

// Search of the local segment; results and the end marker go to param->callback.
int ZVNetSearchDev(const ZVNetSearchParam* param);
// Search of an address range; same callback rules.
int ZVNetSearchDevPoint2Point(const ZVNetP2PSearchParam* param);

// Returns a connection handle (0 = failure); the outcome arrives later through
// param->statusCallback. Stop takes the handle's address; no callback for that
// handle runs after it returns.
int ZVNetConnectionStartEx(const ZVNetConnParam* param);
int ZVNetConnectionStop(int* handle);

// Fills buffer (size bytes, normally a ZVNetDevInfo) for a connected handle.
int ZVNetGetDevInfo(int handle, void* buffer, int size);

int ZVNetQueryParam(int handle, const ZVNetQueryParamReq* request);
int ZVNetQueryParamEx(int handle, const ZVNetQueryParamExReq* request);
int ZVNetSetParam(int handle, const ZVNetSetParamReq* request);
int ZVNetSetParamEx(int handle, const ZVNetSetParamExReq* request);

int ZVNetPTZControl(int handle, int command, const ZVNetPTZParam* param);
int ZVNetRemoteTest(int handle, const ZVNetRemoteTestParam* param);

// Returns an upgrade handle (0 = failure); reports through param->callback.
int ZVNetStartRemoteUpgrade(int handle, const ZVNetUpgradeParam* param);
int ZVNetStopRemoteUpgrade(int* upgradeHandle);

// Delivers the parameters through param->callback before returning.
int ZVNetExportBackupNew(int handle, const ZVNetExportParam* param);
int ZVNetRemoteParamImportNew(int handle, const ZVNetImportParam* param);

// Changes the network settings of the device at info->currentIp; no connection needed.
int ZVNetSetNewDevInfoEx(const ZVNetNewDevInfo* info);

// Sets the first password of a device without one; reports through param->callback.
int ZVNetStartSavePasword(const ZVNetSavePasswordParam* param);

} // extern "C"

#endif // ZVNET_H
