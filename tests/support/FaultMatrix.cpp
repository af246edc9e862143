#include "FaultMatrix.h"

#include "DeviceFixtures.h"
#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "DispatchFixtures.h"
#include "ExportPath.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "HttpClient.h"
#include "OperationFixtures.h"
#include "RangeSearch.h"
#include "SearchRuns.h"
#include "ZVAppSetting.h"
#include "ZVSDKWrapper.h"
#include "ZVSdkConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace TestSupport
{
namespace
{
using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::Faults;
using fakedevice::HttpDeviceState;
using fakedevice::HttpFaults;
namespace wire = fakedevice::wire;

constexpr int kHttpCompany = 44;
constexpr int kDevicesPerCase = 4;
constexpr int kFaultyIndex = 1;
// The SDK's request time-out in these cases; the connection keeps the
// environment's generous one. A late reply comes well past the time-out it
// strikes, so that a time-out that fires late on a loaded machine still fires
// first.
constexpr int kSdkConnectMs = 3000;
constexpr int kSdkRequestMs = 1500;
constexpr int kLateMarginMs = 1500;
constexpr int kSdkLateMs = kSdkRequestMs + kLateMarginMs;
constexpr int kOnvifCommandMs = 2000; // the environment's ONVIF time-outs
constexpr int kOnvifLateMs = kOnvifCommandMs + kLateMarginMs;
// The JSON client's own time-out is 5 s.
constexpr int kHttpLateMs = 5000 + kLateMarginMs;
// A reply beyond what the client takes.
constexpr size_t kHttpOversizedBytes = HttpClient::kMaxResponseBytes + 1024 * 1024;
// A held reply: far beyond every time-out, ended by the device's going.
constexpr int kHeldMs = 30000;
constexpr int kCaseBoundMs = 60000;

const char* const kKeyPath = "/API/Maintenance/TransKey/Get";
const char* const kTokenPath = "/API/Maintenance/SystemUpgrade/Token";
const char* const kUploadPath = "/API/Maintenance/SystemUpgrade/Upgrade";
constexpr int kFirmwareBytes = 256 * 1024;
const char* const kLoginPath = "/API/Web/Login";
const char* const kRangePath = "/API/Login/Range";
// How long the searches wait for answers: long enough for a loaded sanitizer
// build, a late answer comes after it.
constexpr int kSearchWindowMs = 1000;
constexpr int kRangeTimeoutMs = 1000;
constexpr int kSearchLateMs = kSearchWindowMs + kLateMarginMs;
const char* const kWrongPassword = "Not-the-password1";
const char* const kNewPassword = "New-Pass1234";

struct MatrixOperation
{
    const char* name;
    void (*sdkEntry)(void*); // null: the operation has no ZVNet way
    void (*httpEntry)(void*); // null: no HTTP way
    DeviceTaskListener* DeviceInfo::*sdkPage;
    DeviceTaskListener* DeviceInfo::*httpPage;
    int sdkOk, sdkFailed;
    int httpOk, httpFailed;
    // The ZVNet request whose reply the worker reads, and the one that
    // changes the device; 0 when there is none.
    uint16_t sdkRead, sdkWrite;
    // The HTTP path whose reply the worker reads, and the one that changes
    // the device; null when there is none.
    const char* httpRead;
    const char* httpWrite;
    // The path whose reply's member types the worker relies on; null when it
    // reads none (a reply parsed and not looked into, or one that only has to
    // name its groups).
    const char* httpTyped;
    // The HTTP client's time-out (5 s) is one for every worker: a late reply
    // is tried for a pool worker (reboot), a direct operation (export) and
    // one that reports apart from its end (network); the others end the same
    // way as one of those.
    bool httpLate;
    // Refreshes its page's row once while it runs (the HTTP restore).
    bool httpRefresh;
    bool usesKeys; // asks the HTTP key request first
    int keyFailed; // status when the key request fails (0: httpFailed)
    bool query; // changes nothing on the device
    void (*setup)(DeviceInfo& device, MatrixProtocol protocol, const QString& caseFile);
    // The result a healthy query leaves in the device record.
    bool (*queried)(const DeviceInfo& device);
    // The faulty device's status where it depends on the step the fault
    // strikes; null: the failure status above.
    int (*faultyStatus)(MatrixFault fault) = nullptr;
    const char* keyPath = kKeyPath; // the key request it asks
    // The ONVIF way (its statuses are the ZVNet way's): the SOAP operation
    // whose reply the worker reads, and the one that changes the device.
    void (*onvifEntry)(void*) = nullptr;
    const char* onvifRead = nullptr;
    const char* onvifWrite = nullptr;
    // A search instead of a task per device: the ZVNet search of the LAN or
    // of a range, and (httpRange) the HTTP API's range search.
    enum class Search
    {
        None,
        Lan,
        Range,
    } search
        = Search::None;
    bool httpRange = false;
};

void NoSetup(DeviceInfo&, MatrixProtocol, const QString&)
{
}

bool Connected(const DeviceInfo&)
{
    return true;
}

QDateTime CaseTime()
{
    return QDateTime(QDate(2026, 3, 9), QTime(7, 5, 3), Qt::UTC);
}

void SetupPassword(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.m_newPassword = device.m_confirmPassword = QLatin1String(kNewPassword);
}

void SetupStreamQuery(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.m_streamIndex = 0;
    device.m_resolutionText = QStringLiteral("before");
}

bool StreamQueried(const DeviceInfo& device)
{
    return device.m_resolutionText != QLatin1String("before") && !device.m_fpsText.isEmpty();
}

void SetupStreamSet(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.m_streamIndex = 0;
    device.m_fps = 20;
    device.m_fpsText = QStringLiteral("20");
    device.m_encodeTypeIndex = 1;
    device.m_encodeTypeText = QStringLiteral("H265");
    device.m_bitrateMode = 0;
    device.m_bitrateIndex = 9;
    device.m_customBitrate = 3000;
    device.m_resolutionText = QStringLiteral("1920*1080");
}

void SetupOsdQuery(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.m_osdNamePos.clear();
}

bool OsdQueried(const DeviceInfo& device)
{
    return !device.m_osdNamePos.isEmpty();
}

void SetupOsdSet(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.SetOsdParams(11, 22, 333, 44, QStringLiteral("Gate"));
    device.SetDateTime(CaseTime());
}

void SetupClock(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.SetDateTime(CaseTime());
}

void SetupDefaults(DeviceInfo& device, MatrixProtocol protocol, const QString&)
{
    if (protocol == MatrixProtocol::Http) {
        device.m_resetMode = 1;
        device.SetHttpResetGroups(true, true, true, true, false, true, true, true, false);
    }
}

void SetupImport(DeviceInfo& device, MatrixProtocol, const QString& caseFile)
{
    device.m_importFilePath = caseFile;
}

void SetupUpgrade(DeviceInfo& device, MatrixProtocol, const QString& caseFile)
{
    device.m_upgradeFilePath = caseFile;
}

// The address stays (a device that moves is found again only by a search);
// the rest of its settings change.
void SetupNetwork(DeviceInfo& device, MatrixProtocol protocol, const QString&)
{
    // ONVIF changes each setting by a request of its own, with no way back
    // from a later one that fails: the gateway alone is one request.
    if (protocol == MatrixProtocol::Onvif)
        device.SetNetworkAddress(QString(), 0, 0, QStringLiteral("127.0.0.9"), QString(), 2);
    else
        device.SetNetworkParams(QString(), 0, 0, QStringLiteral("127.0.0.9"), QStringLiteral("255.255.0.0"), 2,
            QStringLiteral("127.0.0.53"), QString());
}

void SetupNetworkQuery(DeviceInfo& device, MatrixProtocol, const QString&)
{
    std::memset(device.m_searchRsp.gateway, 0, sizeof(device.m_searchRsp.gateway));
}

bool NetworkQueried(const DeviceInfo& device)
{
    return !device.Gateway().isEmpty();
}

void SetupInitialise(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.m_newPassword = device.m_confirmPassword = QLatin1String(kNewPassword);
}

// The first-login probe fails (no answer, no whole reply, not the device's
// own refusal) or does not read as a device waiting for its password; the key
// request fails; or the password is refused.
int InitialiseFailure(MatrixFault fault)
{
    switch (fault) {
    case MatrixFault::NoAnswer:
    case MatrixFault::DropMidTransfer:
    case MatrixFault::Oversized: return StatusRequestFailed;
    case MatrixFault::NotJson:
    case MatrixFault::WrongTypes: return StatusNoFirstLogin;
    case MatrixFault::ShortKeyList: return StatusInitUnavailable;
    default: return StatusInitFailed;
    }
}

void SetupNameType(DeviceInfo& device, MatrixProtocol, const QString&)
{
    device.m_newDeviceName = "Gate 7";
    device.m_newDeviceType = "ZV-IPC-9000";
}

// Which protocol ways exist: the HTTP API has no recovery-free factory default
// (its restore goes by groups, the "defaults" row) and no device name or type
// change (the worker says unsupported before any request).
const MatrixOperation kOperations[] = {
    { "login", &MatchVersionTask, &MatchVersionTask, &DeviceInfo::m_pDeviceInfoFrame, &DeviceInfo::m_pDeviceInfoFrame,
        StatusConnected, StatusConnectFailed, StatusConnected, StatusConnectFailed, 0, 0, kLoginPath, nullptr,
        kLoginPath, true, false, false, 0, true, &NoSetup, &Connected },
    { "reboot", &RebootTask, &RebootTask, &DeviceInfo::m_pRebootDevice, &DeviceInfo::m_pRebootDevice, StatusRebootOk,
        StatusRebootFailed, StatusRebootOk, StatusRebootFailed, 0, wire::RemoteTest, kKeyPath,
        "/API/Maintenance/DeviceReboot/Set", kKeyPath, true, false, true, StatusRebootRequestFailed, false, &NoSetup,
        nullptr },
    { "defaults", &DefaultTask, &RecoveryTask, &DeviceInfo::m_pUpgradeFrame, &DeviceInfo::m_pRecoveryDevice, StatusOk,
        StatusFailed, StatusOk, StatusFailed, 0, wire::SetParam, "/API/Maintenance/Reset/Range",
        "/API/Maintenance/Reset/Set", kKeyPath, false, true, true, 0, false, &SetupDefaults, nullptr },
    { "password", &ChangePasswordTask, &ChangePasswordTask, &DeviceInfo::m_pChangePassword,
        &DeviceInfo::m_pChangePassword, StatusOk, StatusFailed, StatusOk, StatusFailed, wire::QueryParam,
        wire::SetParam, kKeyPath, "/API/SystemConfig/User/Set", kKeyPath, false, false, true, 0, false, &SetupPassword,
        nullptr },
    { "stream query", &QueryStreamTask, &QueryStreamTask, &DeviceInfo::m_pStreamConfigFrame,
        &DeviceInfo::m_pStreamConfigFrame, StatusQueryOk, StatusQueryFailed, StatusQueryOk, StatusQueryFailed,
        wire::QueryParam, 0, "/API/StreamConfig/MainStream/Get", nullptr, "/API/StreamConfig/MainStream/Get", false,
        false, false, 0, true, &SetupStreamQuery, &StreamQueried },
    { "stream set", &SetStreamTask, &SetStreamTask, &DeviceInfo::m_pStreamConfigFrame,
        &DeviceInfo::m_pStreamConfigFrame, StatusOk, StatusFailed, StatusOk, StatusFailed, wire::QueryParam,
        wire::SetParam, nullptr, "/API/StreamConfig/MainStream/Set", nullptr, false, false, false, 0, false,
        &SetupStreamSet, nullptr },
    { "osd query", &QueryOsdTask, &QueryOsdTask, &DeviceInfo::m_pOSDConfig, &DeviceInfo::m_pOSDConfig, StatusQueryOk,
        StatusQueryFailed, StatusQueryOk, StatusQueryFailed, wire::QueryParam, 0, "/API/ChannelConfig/OSD/Get", nullptr,
        "/API/ChannelConfig/OSD/Get", false, false, false, 0, true, &SetupOsdQuery, &OsdQueried },
    { "osd set", &SetOsdTask, &SetOsdTask, &DeviceInfo::m_pOSDConfig, &DeviceInfo::m_pOSDConfig, StatusOk, StatusFailed,
        StatusOk, StatusFailed, wire::QueryParam, wire::SetParam, "/API/ChannelConfig/OSD/Set",
        "/API/ChannelConfig/OSD/Set", nullptr, false, false, false, 0, false, &SetupOsdSet, nullptr },
    { "clock", &SetTimeTask, &SetTimeTask, &DeviceInfo::m_pStreamConfigFrame, &DeviceInfo::m_pStreamConfigFrame,
        StatusOk, StatusFailed, StatusOk, StatusFailed, wire::QueryBlock, wire::SetParam, nullptr,
        "/API/SystemConfig/DateTime/Set", nullptr, false, false, false, 0, false, &SetupClock, nullptr },
    { "export", &ExportParamTask, &ExportParamTask, &DeviceInfo::m_pImportExportFrame,
        &DeviceInfo::m_pImportExportFrame, StatusExportOk, StatusExportFailed, StatusExportOk, StatusExportFailed,
        wire::Export, 0, "/API/Maintenance/ParamManagement/Get", nullptr, "/API/Maintenance/ParamManagement/Get", true,
        false, false, 0, true, &NoSetup, &Connected },
    { "import", &ImportParamTask, &ImportParamTask, &DeviceInfo::m_pImportExportFrame,
        &DeviceInfo::m_pImportExportFrame, StatusImportOk, StatusImportFailed, StatusImportOk, StatusImportFailed, 0,
        wire::Import, kKeyPath, "/API/Maintenance/ParamManagement/Set", kKeyPath, false, false, true, 0, false,
        &SetupImport, nullptr },
    { "name and type", &ChangeDeviceTask, nullptr, &DeviceInfo::m_pChangeDevice, &DeviceInfo::m_pChangeDevice,
        StatusChangeOk, StatusChangeFailed, 0, 0, 0, wire::SetParamEx, nullptr, nullptr, nullptr, false, false, false,
        0, false, &SetupNameType, nullptr },
    // The ZVNet change goes by datagram to the device's address, with the
    // login values in it and no connection.
    { "network", &ModifyNetworkTask, &ModifyNetworkTask, &DeviceInfo::m_pSearchFrame, &DeviceInfo::m_pSearchFrame,
        StatusOk, StatusFailed, StatusOk, StatusFailed, 0, wire::SetNetwork, "/API/NetworkConfig/NetBase/Set",
        "/API/NetworkConfig/NetBase/Set", nullptr, true, false, false, 0, false, &SetupNetwork, nullptr, nullptr,
        kKeyPath, &ModifyOnvifNetworkTask, "GetNetworkInterfaces", "SetNetworkDefaultGateway" },
    // The ZVNet upgrade is read back by its start reply and written chunk by
    // chunk; the HTTP one asks a token (its reply read), then streams the image.
    { "upgrade", &UpgradeTask, &UpgradeTask, &DeviceInfo::m_pUpgradeFrame, &DeviceInfo::m_pUpgradeFrame,
        StatusUpgradeOk, StatusUpgradeFailed, StatusUpgradeOk, StatusUpgradeFailed, wire::UpgradeStart,
        wire::UpgradeData, kTokenPath, kUploadPath, kTokenPath, false, false, true, 0, false, &SetupUpgrade, nullptr },
    // Only the HTTP API has a first password: the ZVNet way ends at once,
    // without a request.
    { "initialise", nullptr, &InitialTask, &DeviceInfo::m_pInitialDevice, &DeviceInfo::m_pInitialDevice, 0, 0,
        StatusInitOk, StatusInitFailed, 0, 0, "/API/Login/Range", "/API/FirstLogin/Password/Set", "/API/Login/Range",
        false, false, true, 0, false, &SetupInitialise, nullptr, &InitialiseFailure, "/API/Login/TransKey/Get" },
    // The searches: each device answers on its own, so faults that strike a
    // reply's link (drops, a device that goes away) are its silence for
    // ZVNet's datagrams; the HTTP range search asks the first-login probe.
    { "LAN search", nullptr, nullptr, nullptr, nullptr, 1, 0, 0, 0, wire::Search, 0, nullptr, nullptr, nullptr, false,
        false, false, 0, true, &NoSetup, nullptr, nullptr, kKeyPath, nullptr, nullptr, nullptr,
        MatrixOperation::Search::Lan, false },
    { "range search", nullptr, nullptr, nullptr, nullptr, 1, 0, 1, 0, wire::Search, 0, kRangePath, nullptr, kRangePath,
        true, false, false, 0, true, &NoSetup, nullptr, nullptr, kKeyPath, nullptr, nullptr, nullptr,
        MatrixOperation::Search::Range, true },
    // Reading the network settings is ONVIF's alone.
    { "network query", nullptr, nullptr, &DeviceInfo::m_pDeviceInfoFrame, &DeviceInfo::m_pDeviceInfoFrame,
        StatusQueryOk, StatusQueryFailed, 0, 0, 0, 0, nullptr, nullptr, nullptr, false, false, false, 0, true,
        &SetupNetworkQuery, &NetworkQueried, nullptr, kKeyPath, &QueryNetworkTask, "GetNetworkDefaultGateway",
        nullptr },
};
constexpr int kLogin = 0;
constexpr int kExport = 9;
constexpr int kImport = 10;
constexpr int kNetwork = 12;
constexpr int kUpgrade = 13;
constexpr int kInitialise = 14;

const char* FaultName(MatrixFault fault, MatrixProtocol protocol)
{
    switch (fault) {
    case MatrixFault::NoAnswer: return "no answer";
    case MatrixFault::Late: return "late";
    case MatrixFault::DropMidTransfer: return "drops mid-transfer";
    case MatrixFault::ErrorReply: return "error reply";
    case MatrixFault::NotJson: return protocol == MatrixProtocol::Onvif ? "not SOAP" : "not JSON";
    case MatrixFault::WrongTypes: return "wrong types";
    case MatrixFault::ShortKeyList: return "short key list";
    case MatrixFault::Oversized: return "oversized";
    case MatrixFault::HugeLength: return "huge length";
    case MatrixFault::RefusedPassword: return "refused password";
    case MatrixFault::Vanishes: return "vanishes";
    }
    return "?";
}

// The ZVNet request a fault strikes (wire type; 0: every reply), or -1 when
// the fault does not apply to the operation.
int SdkFaultType(const MatrixOperation& operation, MatrixFault fault, bool login)
{
    const uint16_t read = operation.sdkRead;
    const uint16_t write = operation.sdkWrite;
    // A search answer is one datagram with one record.
    if (operation.search != MatrixOperation::Search::None) {
        switch (fault) {
        case MatrixFault::NoAnswer:
        case MatrixFault::Late:
        case MatrixFault::ErrorReply:
        case MatrixFault::ShortKeyList:
        case MatrixFault::Oversized:
        case MatrixFault::HugeLength: return wire::Search;
        default: return -1;
        }
    }
    // The network change's datagrams: each one whole or lost, no records.
    if (&operation == &kOperations[kNetwork]) {
        switch (fault) {
        case MatrixFault::NoAnswer:
        case MatrixFault::RefusedPassword: return 0;
        case MatrixFault::Late:
        case MatrixFault::Vanishes:
        case MatrixFault::ErrorReply: return write;
        default: return -1;
        }
    }
    switch (fault) {
    // Every operation connects the same way: a device that never answers or
    // refuses the password is the login row's case, not each operation's.
    case MatrixFault::NoAnswer:
    case MatrixFault::RefusedPassword: return login ? 0 : -1;
    // The login's own reply faults strike the challenge and the login result.
    // A device that goes away during its login holds the login's result.
    case MatrixFault::Vanishes: return login ? uint16_t(wire::Login) : write ? write : read;
    case MatrixFault::Late:
    case MatrixFault::ErrorReply: return login ? 0 : write ? write : read;
    case MatrixFault::DropMidTransfer:
    case MatrixFault::HugeLength: return login ? 0 : read ? read : write;
    // Records come only in the replies that read some.
    case MatrixFault::ShortKeyList:
    case MatrixFault::Oversized: return read == wire::QueryParam || read == wire::Export ? read : -1;
    // JSON and its types are the HTTP API's alone.
    case MatrixFault::NotJson:
    case MatrixFault::WrongTypes: return -1;
    }
    return -1;
}

// The ONVIF operation a fault strikes ("GetDeviceInformation" is the
// connection), or null when it does not apply. SOAP has no types of its own
// to get wrong beyond what a reply that does not parse shows; key lists,
// records and frame lengths are the other protocols'.
const char* OnvifFaultOperation(const MatrixOperation& operation, MatrixFault fault)
{
    const char* read = operation.onvifRead;
    const char* write = operation.onvifWrite;
    // The discovery answer: none, one that is no SOAP message, or one too
    // large to be a discovery answer.
    if (operation.search != MatrixOperation::Search::None) {
        switch (fault) {
        case MatrixFault::NoAnswer:
        case MatrixFault::NotJson:
        case MatrixFault::Oversized: return "Probe";
        default: return nullptr;
        }
    }
    switch (fault) {
    case MatrixFault::NoAnswer: return "GetDeviceInformation";
    case MatrixFault::RefusedPassword: return "";
    case MatrixFault::Late:
    case MatrixFault::Vanishes:
    case MatrixFault::ErrorReply: return write ? write : read;
    case MatrixFault::DropMidTransfer:
    case MatrixFault::NotJson:
    case MatrixFault::Oversized: return read ? read : write;
    default: return nullptr;
    }
}

// The HTTP path a fault strikes ("" for every path), or null when it does not
// apply.
const char* HttpFaultPath(const MatrixOperation& operation, MatrixFault fault, bool login)
{
    const char* read = operation.httpRead;
    const char* write = operation.httpWrite;
    // The first-login probe is the initialise's login; it carries no password.
    const bool initialise = &operation == &kOperations[kInitialise];
    if (operation.httpRange) {
        switch (fault) {
        case MatrixFault::NoAnswer:
        case MatrixFault::Late:
        case MatrixFault::DropMidTransfer:
        case MatrixFault::ErrorReply:
        case MatrixFault::NotJson:
        case MatrixFault::WrongTypes:
        case MatrixFault::Oversized: return kRangePath;
        default: return nullptr;
        }
    }
    switch (fault) {
    // As for ZVNet, the connection's own faults are the login row's.
    case MatrixFault::NoAnswer: return login || initialise ? "" : nullptr;
    // Past the login, the device refuses the password of the secondary
    // authentication that protects a request.
    case MatrixFault::RefusedPassword:
        if (login)
            return "";
        return operation.usesKeys && std::strcmp(operation.keyPath, kKeyPath) == 0 ? kKeyPath : nullptr;
    case MatrixFault::Late:
        if (!operation.httpLate)
            return nullptr;
        return write ? write : read;
    case MatrixFault::Vanishes:
    case MatrixFault::ErrorReply: return write ? write : read;
    case MatrixFault::DropMidTransfer: return read ? read : write;
    // Replies that are not read (a set whose success is HTTP 200 alone)
    // cannot be wrong in their body.
    case MatrixFault::NotJson:
    case MatrixFault::Oversized: return read;
    case MatrixFault::WrongTypes: return operation.httpTyped;
    case MatrixFault::ShortKeyList: return operation.usesKeys ? operation.keyPath : nullptr;
    // Frame lengths are ZVNet's alone.
    case MatrixFault::HugeLength: return nullptr;
    }
    return nullptr;
}

int ExpectedFaultyStatus(const MatrixOperation& operation, MatrixProtocol protocol, MatrixFault fault)
{
    const bool http = protocol == MatrixProtocol::Http;
    // A search lists the faulty device nowhere.
    if (operation.search != MatrixOperation::Search::None)
        return 0;
    if (protocol == MatrixProtocol::Onvif)
        return fault == MatrixFault::NoAnswer || fault == MatrixFault::RefusedPassword ? int(StatusConnectFailed)
                                                                                       : operation.sdkFailed;
    // A wrong password is a failed login like any other; 104 and 112, the
    // device's own refusals, are no faults of a batch.
    if (&operation == &kOperations[kLogin])
        return StatusConnectFailed;
    if (operation.faultyStatus)
        return operation.faultyStatus(fault);
    if (!http)
        return operation.sdkFailed;
    const char* path = HttpFaultPath(operation, fault, false);
    // The keys came; the device refused what was made with them.
    if (operation.keyFailed && path && std::strcmp(path, kKeyPath) == 0 && fault != MatrixFault::RefusedPassword)
        return operation.keyFailed;
    return operation.httpFailed;
}

void (*EntryOf(const MatrixOperation& operation, MatrixProtocol protocol))(void*)
{
    switch (protocol) {
    case MatrixProtocol::ZVNet: return operation.sdkEntry;
    case MatrixProtocol::Http: return operation.httpEntry;
    case MatrixProtocol::Onvif: return operation.onvifEntry;
    }
    return nullptr;
}

bool Offers(const MatrixOperation& operation, MatrixProtocol protocol)
{
    switch (operation.search) {
    case MatrixOperation::Search::Lan: return protocol != MatrixProtocol::Http;
    case MatrixOperation::Search::Range:
        return protocol == MatrixProtocol::ZVNet || (protocol == MatrixProtocol::Http && operation.httpRange);
    case MatrixOperation::Search::None: return EntryOf(operation, protocol) != nullptr;
    }
    return false;
}

std::vector<FaultCase> MakeCases()
{
    std::vector<FaultCase> cases;
    const MatrixFault faults[] = { MatrixFault::NoAnswer, MatrixFault::Late, MatrixFault::DropMidTransfer,
        MatrixFault::ErrorReply, MatrixFault::NotJson, MatrixFault::WrongTypes, MatrixFault::ShortKeyList,
        MatrixFault::Oversized, MatrixFault::HugeLength, MatrixFault::RefusedPassword, MatrixFault::Vanishes };
    for (int index = 0; index < int(sizeof(kOperations) / sizeof(kOperations[0])); ++index) {
        const MatrixOperation& operation = kOperations[index];
        const bool login = index == kLogin;
        for (const MatrixProtocol protocol : { MatrixProtocol::ZVNet, MatrixProtocol::Http, MatrixProtocol::Onvif }) {
            const bool http = protocol == MatrixProtocol::Http;
            const bool onvif = protocol == MatrixProtocol::Onvif;
            if (!Offers(operation, protocol))
                continue;
            for (const MatrixFault fault : faults) {
                const bool applies = onvif ? OnvifFaultOperation(operation, fault) != nullptr
                    : http                 ? HttpFaultPath(operation, fault, login) != nullptr
                                           : SdkFaultType(operation, fault, login) >= 0;
                if (!applies)
                    continue;
                FaultCase c;
                c.name = QStringLiteral("%1, %2: %3")
                             .arg(QLatin1String(operation.name),
                                 QLatin1String(onvif ? "ONVIF"
                                         : http      ? "HTTP"
                                                     : "ZVNet"),
                                 QLatin1String(FaultName(fault, protocol)));
                c.operation = index;
                c.protocol = protocol;
                c.fault = fault;
                c.healthyStatus = http ? operation.httpOk : operation.sdkOk;
                c.faultyStatus = ExpectedFaultyStatus(operation, protocol, fault);
                cases.push_back(c);
            }
        }
    }
    return cases;
}

// What a device remembers, by part, for telling a whole change from a partial
// one.
using StateView = std::map<std::string, std::string>;

StateView ViewOf(const DeviceState& state)
{
    StateView view;
    for (const auto& param : state.params)
        view["param " + std::to_string(param.first)] = std::string(param.second.begin(), param.second.end());
    view["password"] = state.users.empty() ? std::string() : state.users.front().password;
    view["reboots"] = std::to_string(state.reboots);
    view["defaults"] = std::to_string(state.defaultResets);
    view["name"] = state.deviceName;
    view["type"] = state.deviceType;
    view["address"] = state.netmask + "|" + state.gateway + "|" + state.dns1 + "|" + state.dns2 + "|"
        + std::to_string(state.mediaPort) + "|" + std::to_string(state.webPort) + "|"
        + std::to_string(state.networkMode);
    for (const auto& group : state.groupSettings)
        view["group " + group.first] = group.second;
    return view;
}

StateView ViewOf(const FakeDevice& device)
{
    StateView view = ViewOf(device.State());
    // The image the device took: the last upload it ended.
    std::string firmware;
    for (const fakedevice::UpgradeRecord& upgrade : device.Upgrades()) {
        if (upgrade.ended)
            firmware = upgrade.sha256;
    }
    view["firmware"] = firmware;
    return view;
}

StateView ViewOf(const fakedevice::OnvifState& state)
{
    StateView view;
    // The address and its DNS server are each device's own; the cases keep them.
    view["address"] = std::to_string(state.prefixLength) + "|" + state.gateway + "|" + std::to_string(state.webPort)
        + "|" + (state.dhcp ? "dhcp" : "static");
    view["password"] = state.password;
    view["reboots"] = std::to_string(state.reboots);
    return view;
}

StateView ViewOf(const HttpDeviceState& state)
{
    StateView view;
    view["password"] = state.password + (state.initialised ? "" : " (no password yet)");
    view["reboots"] = std::to_string(state.reboots);
    view["resets"] = std::to_string(state.resets);
    view["address"] = state.netmask + "|" + state.gateway + "|" + state.dns1 + "|" + state.dns2 + "|"
        + (state.dhcp ? "dhcp" : "static");
    for (const auto& group : state.groupSettings)
        view["group " + group.first] = group.second;
    for (const auto& stream : state.settings.streams) {
        const fakedevice::HttpStreamSettings& s = stream.second;
        view["stream " + stream.first] = s.resolution + "|" + std::to_string(s.fps) + "|" + s.encodeType + "|"
            + s.bitrateMode + "|" + std::to_string(s.bitrate) + "|" + std::to_string(s.customBitrate);
    }
    const fakedevice::HttpOsdSettings& osd = state.settings.osd;
    view["osd"] = osd.name + "|" + std::to_string(osd.nameX) + "|" + std::to_string(osd.nameY) + "|"
        + std::to_string(osd.dateX) + "|" + std::to_string(osd.dateY);
    const fakedevice::HttpClockSettings& clock = state.settings.clock;
    view["clock"] = clock.date + "|" + clock.time + "|" + clock.timeZone + "|" + clock.dateFormat + "|"
        + std::to_string(clock.timeFormat) + "|" + (clock.synchronizeComputerTime ? "sync" : "");
    view["params"] = state.settings.deviceParams;
    // Uploads the device received whole and accepted.
    view["firmware"] = state.settings.uploads.empty() ? std::string() : state.settings.uploads.back().sha256;
    view["imports"] = std::to_string(state.settings.paramImports);
    return view;
}

StateView Changed(const StateView& before, const StateView& after)
{
    StateView changed;
    for (const auto& part : after) {
        const auto old = before.find(part.first);
        if (old == before.end() || old->second != part.second)
            changed[part.first] = part.second;
    }
    for (const auto& part : before) {
        if (!after.count(part.first))
            changed[part.first] = "(gone)";
    }
    return changed;
}

QString Parts(const StateView& view)
{
    QStringList names;
    for (const auto& part : view)
        names << QString::fromStdString(part.first);
    return names.join(QLatin1Char(','));
}

// One device of a case: its fake device of either kind, the listed device,
// and what the fake device remembered at the start.
struct CaseDevice
{
    std::unique_ptr<FakeDevice> sdk;
    std::unique_ptr<FakeHttpApi> http;
    std::unique_ptr<fakedevice::FakeOnvif> onvif;
    std::unique_ptr<DeviceInfo> device;
    StateView before;
    StateView after; // also kept from a device that went away
    bool gone = false;
};

StateView CurrentView(const CaseDevice& d)
{
    if (d.onvif)
        return ViewOf(d.onvif->State());
    return d.sdk ? ViewOf(*d.sdk) : ViewOf(d.http->State());
}

// The reports that ended an operation for device (IsOperationEnd). A worker
// that refreshes its row while it runs does so before its end, both logged in
// and not finished, and the refresh may show the status the end has already
// stored: the first such report past the connection's is the refresh. The
// network change tells the search page whether it took apart from the end
// (after a connection the end follows it).
int EndReportsOf(const ReportLog& log, const DeviceInfo* device, bool refreshes, bool changeEnds)
{
    int ends = 0;
    bool refreshSeen = !refreshes;
    for (const TaskReport& report : log.Reports()) {
        if (report.device != device)
            continue;
        if (report.wholeRow != -1) {
            ends += changeEnds ? 1 : 0;
            continue;
        }
        if (!refreshSeen && report.loggedIn && !report.finished && report.status != StatusConnected) {
            refreshSeen = true;
            continue;
        }
        ends += IsOperationEnd(report) ? 1 : 0;
    }
    return ends;
}
} // namespace

const std::vector<FaultCase>& FaultMatrixCases()
{
    static const std::vector<FaultCase> cases = MakeCases();
    return cases;
}

struct FaultMatrixRunner::Impl
{
    Impl()
        : environment()
        , page(log, QStringLiteral("page"))
    {
        ZVSdkSetTimeouts(kSdkConnectMs, kSdkRequestMs);
        const std::string nobody = OperationEnvironment::NobodyAddress();
        const char* target = nobody.c_str();
        ZVSdkSetOnvifSearchTargets(&target, 1);
    }

    // Loopback addresses of this process, four fresh ones in a row per case
    // (a range), over both blocks before any is used again.
    std::string NextAddress()
    {
        const int slot = nextSlot++ % (2 * 248);
        return fakedevice::UniqueLoopbackPrefix(slot / 248) + std::to_string(slot % 248 + 1);
    }

    bool MakeDevices(
        const FaultCase& c, const MatrixOperation& operation, std::vector<CaseDevice>& devices, QStringList& problems);
    void ArmFault(const FaultCase& c, const MatrixOperation& operation, CaseDevice& faulty);
    // The device goes away once its request is under way; true once it has.
    bool VanishWhenAsked(
        const FaultCase& c, const MatrixOperation& operation, CaseDevice& faulty, std::vector<std::thread>& stops);
    void CheckDevices(const FaultCase& c, const MatrixOperation& operation, const std::vector<CaseDevice>& devices,
        FaultOutcome& outcome);
    void StopDevices(std::vector<CaseDevice>& devices);
    // Runs the case's search over the devices; true when it ended.
    bool RunSearch(const FaultCase& c, const MatrixOperation& operation, const std::vector<CaseDevice>& devices,
        FaultOutcome& outcome);

    OperationEnvironment environment;
    ReportLog log;
    RecordingSearchListener page;
    QTemporaryDir files;
    int nextSlot = 0;
    int caseNumber = 0;
    QString exportDir;
};

bool FaultMatrixRunner::Impl::MakeDevices(
    const FaultCase& c, const MatrixOperation& operation, std::vector<CaseDevice>& devices, QStringList& problems)
{
    const bool http = c.protocol == MatrixProtocol::Http;
    QString caseFile;
    if (&operation == &kOperations[kUpgrade]) {
        caseFile = QDir(files.path()).filePath(QStringLiteral("firmware-%1.sw").arg(caseNumber));
        QFile file(caseFile);
        QByteArray image(kFirmwareBytes, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char((i * 131 + caseNumber) & 0xFF);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
            problems << QStringLiteral("the firmware file could not be written");
            return false;
        }
    }
    if (&operation == &kOperations[kImport] && !http) {
        // A parameter set as a device of the kind exports it ("FDEX", then
        // id, size and bytes of each record), with its own on-screen name.
        DeviceState model;
        model.FillDefaultParams();
        fakedevice::Bytes& osd = model.params[ZVNET_PARAM_OSD];
        if (osd.size() >= offsetof(ZVNetOsdParam, channelName) + 8)
            std::memcpy(osd.data() + offsetof(ZVNetOsdParam, channelName), "Imported", 8);
        fakedevice::Bytes set { 'F', 'D', 'E', 'X' };
        for (const auto& param : model.params) {
            wire::Append32(set, param.first);
            wire::Append32(set, static_cast<uint32_t>(param.second.size()));
            set.insert(set.end(), param.second.begin(), param.second.end());
        }
        caseFile = QDir(files.path()).filePath(QStringLiteral("import-%1.txt").arg(caseNumber));
        QFile file(caseFile);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char*>(set.data()), qint64(set.size())) != qint64(set.size())) {
            problems << QStringLiteral("the import file could not be written");
            return false;
        }
    } else if (&operation == &kOperations[kImport]) {
        fakedevice::HttpSettings settings;
        settings.osd.name = "Imported";
        settings.deviceParams = "imported-set";
        caseFile = QDir(files.path()).filePath(QStringLiteral("import-%1.txt").arg(caseNumber));
        QFile file(caseFile);
        const std::string text = fakedevice::ExportParams(settings);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
            problems << QStringLiteral("the import file could not be written");
            return false;
        }
    }
    devices.resize(kDevicesPerCase);
    for (int i = 0; i < kDevicesPerCase; ++i) {
        CaseDevice& d = devices[size_t(i)];
        const std::string ip = NextAddress();
        const QString name = QStringLiteral("Camera %1").arg(i + 1);
        if (c.protocol == MatrixProtocol::Onvif) {
            fakedevice::OnvifState state = fakedevice::OnvifStateFor(ip, i + 1);
            state.name = name.toStdString();
            d.onvif = std::make_unique<fakedevice::FakeOnvif>(state);
            if (!d.onvif->WaitListening()) {
                problems << QStringLiteral("ONVIF device %1 does not listen").arg(i);
                return false;
            }
            d.device.reset(ListedOnvifDevice(state));
        } else if (http) {
            FakeHttpApi::Options options;
            options.ip = ip;
            // The range search asks one web port at every address.
            if (i > 0)
                options.port = devices[0].http->Port();
            HttpDeviceState initial;
            initial.initialised = &operation != &kOperations[kInitialise];
            d.http = std::make_unique<FakeHttpApi>(initial, options);
            if (!d.http->Listening()) {
                problems << QStringLiteral("HTTP device %1 does not listen").arg(i);
                return false;
            }
            const HttpDeviceState state = d.http->State();
            d.device.reset(NewDevice(nullptr, QString::fromStdString(ip), name, 1, 9000, d.http->Port()));
            d.device->m_user = QString::fromStdString(state.user);
            d.device->m_password = QString::fromStdString(state.password);
        } else {
            DeviceState state = fakedevice::LoopbackDeviceState(ip, i + 1);
            state.FillDefaultParams();
            state.deviceName = name.toStdString();
            d.sdk = std::make_unique<FakeDevice>(state);
            if (!d.sdk->WaitListening()) {
                problems << QStringLiteral("ZVNet device %1 does not listen").arg(i);
                return false;
            }
            d.device.reset(ListedDevice(state));
        }
        d.device->m_status = StatusWaiting;
        if (DeviceTaskListener* DeviceInfo::*member = http ? operation.httpPage : operation.sdkPage)
            d.device.get()->*member = &page;
        operation.setup(*d.device, c.protocol, caseFile);
        d.before = CurrentView(d);
    }
    return true;
}

void FaultMatrixRunner::Impl::ArmFault(const FaultCase& c, const MatrixOperation& operation, CaseDevice& faulty)
{
    const bool login = &operation == &kOperations[kLogin];
    if (c.fault == MatrixFault::RefusedPassword && (!faulty.http || login)) {
        faulty.device->m_password = QLatin1String(kWrongPassword);
        return;
    }
    if (faulty.onvif && operation.search != MatrixOperation::Search::None) {
        fakedevice::OnvifFaults faults;
        faults.noProbeAnswer = c.fault == MatrixFault::NoAnswer;
        if (c.fault == MatrixFault::NotJson)
            faults.probeReply = "<?xml version=\"1.0\"?><env:Envelope><env:Body><d:ProbeMatches>";
        if (c.fault == MatrixFault::Oversized)
            faults.probeReply = "<?xml version=\"1.0\"?><env:Envelope>" + std::string(60000, ' ') + "</env:Envelope>";
        faulty.onvif->SetFaults(faults);
        return;
    }
    if (faulty.onvif) {
        const std::string name = OnvifFaultOperation(operation, c.fault);
        fakedevice::OnvifReply reply;
        switch (c.fault) {
        case MatrixFault::NoAnswer:
        case MatrixFault::Vanishes: reply.delayMs = kHeldMs; break;
        case MatrixFault::Late: reply.delayMs = kOnvifLateMs; break;
        case MatrixFault::ErrorReply: reply = OnvifRefusal(); break;
        case MatrixFault::NotJson: reply = OnvifGarble(); break;
        case MatrixFault::DropMidTransfer:
            reply.body = std::string("<?xml version=\"1.0\"?><env:Envelope><env:Body>") + std::string(4096, ' ')
                + "</env:Body></env:Envelope>";
            reply.cutBody = true;
            break;
        case MatrixFault::Oversized: reply.fillerBytes = kHttpOversizedBytes; break;
        default: break;
        }
        fakedevice::OnvifFaults faults;
        faults.replies[name] = reply;
        faulty.onvif->SetFaults(faults);
        return;
    }
    if (faulty.sdk) {
        Faults faults;
        faults.faultType = static_cast<uint16_t>(SdkFaultType(operation, c.fault, login));
        switch (c.fault) {
        case MatrixFault::NoAnswer:
            faults.noAnswer = operation.search == MatrixOperation::Search::None;
            faults.noSearchAnswer = !faults.noAnswer;
            break;
        // The login and the network change wait as long as a connection does.
        case MatrixFault::Late:
            faults.replyDelayMs = operation.search != MatrixOperation::Search::None ? kSearchLateMs
                : login || &operation == &kOperations[kNetwork]                     ? kSdkConnectMs + kLateMarginMs
                                                                                    : kSdkLateMs;
            break;
        case MatrixFault::Vanishes: faults.replyDelayMs = kHeldMs; break;
        case MatrixFault::DropMidTransfer:
            // The upgrade's link drops a third into the image.
            if (&operation == &kOperations[kUpgrade])
                faults.upgradeDropPercent = 30;
            else
                faults.dropMidReply = true;
            break;
        case MatrixFault::ErrorReply: faults.replyStatus = wire::Refused; break;
        case MatrixFault::ShortKeyList: faults.truncatedReply = true; break;
        case MatrixFault::Oversized: faults.oversizedReply = true; break;
        case MatrixFault::HugeLength: faults.hugeLength = true; break;
        default: break;
        }
        faulty.sdk->SetFaults(faults);
        return;
    }
    HttpFaults faults;
    faults.path = HttpFaultPath(operation, c.fault, login);
    switch (c.fault) {
    case MatrixFault::NoAnswer:
    case MatrixFault::Vanishes: faults.neverAnswer = true; break;
    case MatrixFault::Late: faults.delayMs = operation.httpRange ? kSearchLateMs : kHttpLateMs; break;
    case MatrixFault::DropMidTransfer:
        if (&operation == &kOperations[kUpgrade])
            faults.uploadDropAfter = kFirmwareBytes / 3;
        else
            faults.cutBody = true;
        break;
    case MatrixFault::ErrorReply: faults.status = 500; break;
    case MatrixFault::NotJson: faults.notJson = true; break;
    // The device checks the answer against a salt of its own: to it, the
    // login password is wrong.
    case MatrixFault::RefusedPassword: faults.editReply = EditReplyOf(kKeyPath, &BreakSalt); break;
    case MatrixFault::Oversized: faults.oversizedBytes = kHttpOversizedBytes; break;
    case MatrixFault::ShortKeyList:
        faults.editReply = EditReplyOf(
            operation.keyPath, [](Json::Value& reply) { reply["data"]["Key_lists"] = Json::Value(Json::arrayValue); });
        break;
    case MatrixFault::WrongTypes: {
        const std::string path = faults.path;
        // Every member of the reply's data, and the result, becomes an array.
        faults.editReply = EditReplyOf(path, [](Json::Value& reply) {
            std::function<void(Json::Value&)> retype = [&retype](Json::Value& value) {
                if (value.isObject()) {
                    for (const std::string& name : value.getMemberNames())
                        retype(value[name]);
                } else {
                    Json::Value wrapped(Json::arrayValue);
                    wrapped.append(value);
                    value = wrapped;
                }
            };
            if (reply.isMember("data"))
                retype(reply["data"]);
            if (reply.isMember("result"))
                retype(reply["result"]);
        });
        break;
    }
    default: break;
    }
    faulty.http->SetFaults(faults);
}

bool FaultMatrixRunner::Impl::VanishWhenAsked(
    const FaultCase& c, const MatrixOperation& operation, CaseDevice& faulty, std::vector<std::thread>& stops)
{
    if (faulty.gone)
        return true;
    const bool login = &operation == &kOperations[kLogin];
    bool asked = false;
    if (faulty.onvif) {
        asked = faulty.onvif->CountRequests(OnvifFaultOperation(operation, c.fault)) > 0;
    } else if (faulty.sdk) {
        asked = faulty.sdk->CountReceived(static_cast<uint16_t>(SdkFaultType(operation, c.fault, login))) > 0;
    } else {
        asked = faulty.http->CountRequests(HttpFaultPath(operation, c.fault, login)) > 0;
    }
    if (!asked)
        return false;
    faulty.after = CurrentView(faulty);
    faulty.gone = true;
    // Its threads are joined away from this thread, which goes on delivering events.
    stops.emplace_back(
        [sdk = std::move(faulty.sdk), http = std::move(faulty.http), onvif = std::move(faulty.onvif)]() mutable {
            sdk.reset();
            http.reset();
            onvif.reset();
        });
    return true;
}

void FaultMatrixRunner::Impl::CheckDevices(
    const FaultCase& c, const MatrixOperation& operation, const std::vector<CaseDevice>& devices, FaultOutcome& outcome)
{
    const bool http = c.protocol == MatrixProtocol::Http;
    StateView healthyChange;
    bool first = true;
    for (int i = 0; i < kDevicesPerCase; ++i) {
        const CaseDevice& d = devices[size_t(i)];
        const StateView change = Changed(d.before, d.gone ? d.after : CurrentView(d));
        if (i == kFaultyIndex)
            continue;
        if (operation.query) {
            if (!change.empty())
                outcome.problems << QStringLiteral("device %1: a query changed %2").arg(i).arg(Parts(change));
            if (operation.queried && !operation.queried(*d.device))
                outcome.problems << QStringLiteral("device %1: the query left no result").arg(i);
            continue;
        }
        if (change.empty())
            outcome.problems << QStringLiteral("device %1 did not change").arg(i);
        if (first) {
            healthyChange = change;
            first = false;
        } else if (change != healthyChange) {
            outcome.problems
                << QStringLiteral("device %1 changed %2, another %3").arg(i).arg(Parts(change), Parts(healthyChange));
        }
    }
    const CaseDevice& faulty = devices[size_t(kFaultyIndex)];
    const StateView faultyChange = Changed(faulty.before, faulty.gone ? faulty.after : CurrentView(faulty));
    if (!faultyChange.empty() && faultyChange != healthyChange)
        outcome.problems << QStringLiteral("the faulty device is half-changed: %1").arg(Parts(faultyChange));

    // The export's file is whole or absent; the healthy devices' files are alike.
    if (&operation == &kOperations[kExport]) {
        QByteArray healthyFile;
        for (int i = 0; i < kDevicesPerCase; ++i) {
            QFile file(QDir(exportDir).filePath(devices[size_t(i)].device->DeviceName() + QStringLiteral(".txt")));
            const bool exists = file.exists();
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            if (i == kFaultyIndex) {
                if (exists && outcome.statuses.value(i) != StatusExportOk)
                    outcome.problems << QStringLiteral("a failed export left a file");
                continue;
            }
            if (bytes.isEmpty()) {
                outcome.problems << QStringLiteral("device %1 has no export file").arg(i);
                continue;
            }
            // The ZVNet sets carry each device's own address: alike in size only.
            if (healthyFile.isEmpty())
                healthyFile = bytes;
            else if (http ? bytes != healthyFile : bytes.size() != healthyFile.size())
                outcome.problems << QStringLiteral("device %1's export differs").arg(i);
        }
        if (http && !healthyFile.startsWith("ZVPARAM:"))
            outcome.problems << QStringLiteral("the HTTP export is no parameter set");
    }
}

namespace
{
// What a search found, by address, and how often it ended; filled on the
// SDK's threads.
struct SearchFindings
{
    std::mutex mutex;
    std::map<std::string, int> found;
    int ends = 0;

    void Add(const SearchDevRsp* record)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!record) {
            ++ends;
            return;
        }
        const std::string ip(record->ip, strnlen(record->ip, sizeof(record->ip)));
        ++found[ip];
    }
    int Found(const std::string& ip)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = found.find(ip);
        return it == found.end() ? 0 : it->second;
    }
    int Ends()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return ends;
    }
};

// The pages' SDK callbacks: a record reaches its run only while it is open.
int SearchCallback(const SearchDevRsp* record, void* user)
{
    return user && SearchRuns::Deliver(user, record) ? 1 : 0;
}

// The HTTP range search's devices come as JSON texts (null: the end); only
// the address matters here.
void JsonSearchCallback(const char* json, void* user)
{
    if (!user)
        return;
    if (!json) {
        SearchRuns::Deliver(user, nullptr);
        return;
    }
    Json::Value device;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    const size_t size = std::strlen(json);
    SearchDevRsp record;
    std::memset(&record, 0, sizeof(record));
    if (reader->parse(json, json + size, &device, nullptr) && device.isObject() && device["ip"].isString())
        std::strncpy(record.ip, device["ip"].asCString(), sizeof(record.ip) - 1);
    SearchRuns::Deliver(user, &record);
}
} // namespace

bool FaultMatrixRunner::Impl::RunSearch(
    const FaultCase& c, const MatrixOperation& operation, const std::vector<CaseDevice>& devices, FaultOutcome& outcome)
{
    const bool http = c.protocol == MatrixProtocol::Http;
    std::vector<std::string> addresses;
    for (const CaseDevice& d : devices)
        addresses.push_back(d.device->Ip().toStdString());
    SearchFindings findings;
    void* run = SearchRuns::Open([&findings](const SearchDevRsp* record) { findings.Add(record); });
    bool started = false;
    std::unique_ptr<RangeSearch> range;
    bool rangeFinished = false;
    int onvifSearch = 0;
    if (c.protocol == MatrixProtocol::Onvif) {
        std::vector<const char*> targets;
        for (const std::string& address : addresses)
            targets.push_back(address.c_str());
        ZVSdkSetOnvifSearchTargets(targets.data(), int(targets.size()));
        ZVNetSearchParam param;
        std::memset(&param, 0, sizeof(param));
        param.callback = &SearchCallback;
        param.user = run;
        onvifSearch = ZVOnvifSearchDevStart(&param);
        started = onvifSearch != 0;
    } else if (operation.search == MatrixOperation::Search::Lan) {
        std::vector<const char*> targets;
        for (const std::string& address : addresses)
            targets.push_back(address.c_str());
        ZVSdkSetSearchTargets(targets.data(), int(targets.size()));
        ZVSdkSetSearchWindow(kSearchWindowMs);
        ZVNetSearchParam param;
        std::memset(&param, 0, sizeof(param));
        param.callback = &SearchCallback;
        param.user = run;
        started = ZVNetSearchDev(&param) != 0;
    } else {
        quint32 first = 0, last = 0;
        if (!RangeSearch::ParseRange(
                QString::fromStdString(addresses.front()), QString::fromStdString(addresses.back()), &first, &last)
            || last - first + 1 != addresses.size()) {
            outcome.problems << QStringLiteral("the devices are no range");
            SearchRuns::Close(run);
            return false;
        }
        RangeSearch::Limits limits;
        limits.concurrency = 64;
        limits.timeoutMs = kRangeTimeoutMs;
        if (http)
            ZVSdkSetRangeSearch(devices.front().http->Port(), limits.concurrency, limits.timeoutMs);
        else
            ZVSdkSetRangeLimits(limits.concurrency, limits.timeoutMs);
        SearchRuns::Close(run);
        run = nullptr;
        range = std::make_unique<RangeSearch>();
        QObject::connect(range.get(), &RangeSearch::Finished, [&rangeFinished] { rangeFinished = true; });
        range->Start(
            first, last, limits,
            [http](const QString& start, const QString& stop, void* block) {
                if (http) {
                    Json::Value request(Json::objectValue);
                    request["start ip"] = start.toStdString();
                    request["stop ip"] = stop.toStdString();
                    return zv_search_device(Json::writeString(Json::StreamWriterBuilder(), request).c_str(),
                               &JsonSearchCallback, block)
                        != 0;
                }
                ZVNetP2PSearchParam param;
                std::memset(&param, 0, sizeof(param));
                param.callback = &SearchCallback;
                param.user = block;
                param.mode = ZVNET_SEARCH_MODE_RANGE;
                std::strncpy(param.startIp, start.toLatin1().constData(), sizeof(param.startIp) - 1);
                std::strncpy(param.stopIp, stop.toLatin1().constData(), sizeof(param.stopIp) - 1);
                return ZVNetSearchDevPoint2Point(&param) != 0;
            },
            [](void* block) { ZVSdkStopSearch(block); },
            [&findings](const SearchDevRsp* record) { findings.Add(record); });
        started = true;
    }
    if (!started)
        outcome.problems << QStringLiteral("the search did not start");
    const bool ended
        = started && QTest::qWaitFor([&] { return range ? rangeFinished : findings.Ends() > 0; }, kCaseBoundMs);
    if (onvifSearch != 0)
        ZVOnvifSearchDevStop(&onvifSearch);
    if (run)
        SearchRuns::Close(run);
    QCoreApplication::sendPostedEvents();
    // Never the real LAN, not even by default.
    const std::string nobody = OperationEnvironment::NobodyAddress();
    const char* target = nobody.c_str();
    ZVSdkSetSearchTargets(&target, 1);
    ZVSdkSetOnvifSearchTargets(&target, 1);
    ZVSdkSetSearchWindow(0);
    ZVSdkSetRangeSearch(0, 0, 0);
    // A range search hands on records only: it ended when it said so.
    const int ends = range ? (rangeFinished ? 1 : 0) : findings.Ends();
    for (size_t i = 0; i < addresses.size(); ++i) {
        outcome.statuses << findings.Found(addresses[i]);
        outcome.endReports << ends;
    }
    int strangers = 0;
    {
        std::lock_guard<std::mutex> lock(findings.mutex);
        for (const auto& found : findings.found)
            strangers += std::count(addresses.begin(), addresses.end(), found.first) == 0 ? found.second : 0;
    }
    if (strangers > 0)
        outcome.problems << QStringLiteral("%1 records of no device of the case").arg(strangers);
    if (range && !ended)
        range->Stop();
    return ended;
}

FaultMatrixRunner::FaultMatrixRunner()
    : m_impl(std::make_unique<Impl>())
{
}

FaultMatrixRunner::~FaultMatrixRunner() = default;

FaultOutcome FaultMatrixRunner::Run(const FaultCase& c)
{
    Impl& s = *m_impl;
    FaultOutcome outcome;
    outcome.faultyIndex = kFaultyIndex;
    ++s.caseNumber;
    s.log.Clear();
    const MatrixOperation& operation = kOperations[c.operation];
    const bool http = c.protocol == MatrixProtocol::Http;
    ZVAppSetting::Instance()->m_company = http ? kHttpCompany : 0;
    // The ONVIF change reads the settings before it writes them.
    ZVAppSetting::Instance()->m_onvifTimeoutSet = c.protocol == MatrixProtocol::Onvif;
    s.exportDir = QDir(s.files.path()).filePath(QStringLiteral("case-%1").arg(s.caseNumber));
    QDir().mkpath(s.exportDir);
    const QString exportDir = s.exportDir;
    const ExportPathQuestion previous
        = SetExportPathQuestion([exportDir](const QString& suggested) { return QDir(exportDir).filePath(suggested); });

    std::vector<CaseDevice> devices;
    if (!s.MakeDevices(c, operation, devices, outcome.problems)) {
        SetExportPathQuestion(previous);
        return outcome;
    }
    s.ArmFault(c, operation, devices[size_t(kFaultyIndex)]);

    // The GUI thread's timer, from the first queued task to the last end.
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(
        &ticker, &QTimer::timeout, [&] { outcome.longestGapMs = qMax(outcome.longestGapMs, sinceTick.restart()); });
    QElapsedTimer batch;
    batch.start();
    sinceTick.start();
    ticker.start();

    if (operation.search != MatrixOperation::Search::None) {
        outcome.ended = s.RunSearch(c, operation, devices, outcome);
        outcome.longestGapMs = qMax(outcome.longestGapMs, sinceTick.elapsed());
        outcome.elapsedMs = batch.elapsed();
        ticker.stop();
        SetExportPathQuestion(previous);
        s.StopDevices(devices);
        return outcome;
    }

    void (*entry)(void*) = EntryOf(operation, c.protocol);
    for (CaseDevice& d : devices) {
        if (!QueueDeviceTask(entry, d.device.get()))
            outcome.problems << QStringLiteral("a task could not be queued");
    }
    std::vector<std::thread> stops;
    auto over = [&] {
        if (c.fault == MatrixFault::Vanishes)
            s.VanishWhenAsked(c, operation, devices[size_t(kFaultyIndex)], stops);
        for (const CaseDevice& d : devices) {
            if (d.device->IsBusy() || d.device->HasOffThreadWork() || d.device->m_bLogin)
                return false;
        }
        return true;
    };
    outcome.ended = QTest::qWaitFor(over, kCaseBoundMs);
    outcome.longestGapMs = qMax(outcome.longestGapMs, sinceTick.elapsed());
    outcome.elapsedMs = batch.elapsed();
    ticker.stop();
    QCoreApplication::sendPostedEvents();
    for (std::thread& stop : stops)
        stop.join();

    for (const CaseDevice& d : devices) {
        outcome.statuses << d.device->m_status;
        outcome.endReports << EndReportsOf(
            s.log, d.device.get(), http && operation.httpRefresh, !http && &operation == &kOperations[kNetwork]);
    }
    if (c.fault == MatrixFault::Vanishes && !devices[size_t(kFaultyIndex)].gone)
        outcome.problems << QStringLiteral("the faulty device was never asked");
    if (outcome.ended)
        s.CheckDevices(c, operation, devices, outcome);
    SetExportPathQuestion(previous);
    ZVAppSetting::Instance()->m_onvifTimeoutSet = false;
    // A device that did not end is left to the process's end rather than
    // deleted under its work.
    if (!outcome.ended) {
        for (CaseDevice& d : devices)
            d.device.release();
    }
    s.StopDevices(devices);
    return outcome;
}

void FaultMatrixRunner::Impl::StopDevices(std::vector<CaseDevice>& devices)
{
    // Each fake device takes a tick of its own to stop: all at once.
    std::vector<std::thread> ends;
    for (CaseDevice& d : devices) {
        ends.emplace_back([sdk = std::move(d.sdk), http = std::move(d.http), onvif = std::move(d.onvif)]() mutable {
            sdk.reset();
            http.reset();
            onvif.reset();
        });
    }
    for (std::thread& end : ends)
        end.join();
}

std::vector<FaultCaseGap> MeasureFaultMatrixGaps()
{
    std::vector<FaultCaseGap> gaps;
    FaultMatrixRunner runner;
    for (const FaultCase& c : FaultMatrixCases()) {
        const FaultOutcome outcome = runner.Run(c);
        bool passed = outcome.ended && outcome.problems.isEmpty();
        for (int i = 0; passed && i < outcome.statuses.size(); ++i) {
            passed = outcome.endReports[i] == 1
                && outcome.statuses[i] == (i == outcome.faultyIndex ? c.faultyStatus : c.healthyStatus);
        }
        gaps.push_back({ c.name, outcome.longestGapMs, passed });
    }
    return gaps;
}
} // namespace TestSupport
