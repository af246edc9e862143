// The pool workers that restore or restart a connected device: factory
// defaults, defaults of chosen parameter groups, and the reboot.

#include "DeviceInfo.h"
#include "DeviceOperations.h"
#include "JsonRead.h"
#include "WorkerSupport.h"
#include "ZVAppSetting.h"

#include <cstring>

namespace
{
using DeviceOps::DeviceHttp;

// Order of the SDK group flags in m_resetGroups (SetSdkResetGroups).
enum SdkGroup
{
    SdkDisplay,
    SdkRecord,
    SdkAdvanced,
    SdkIntelligent,
    SdkNetwork,
    SdkDevice,
    SdkSystem,
    SdkExceptNetwork,
    SdkPairing,
    SdkAlarm,
    SdkAll,
};

// Order of the HTTP group flags in m_resetGroups from byte 11 (SetHttpResetGroups).
enum HttpGroup
{
    HttpAi,
    HttpAlarm,
    HttpChannel,
    HttpDevice,
    HttpNetwork,
    HttpRecord,
    HttpSystem,
    HttpEvent,
    HttpExceptNetwork,
};
constexpr int kFirstHttpFlag = 11;

// The groups a device offers in its reset range, in the order of m_resetRange.
const char* const kRangeKeys[] = { "channel", "record", "event", "ai", "network", "except_network_param", "device",
    "system", "alarm", "secondary_authentication" };
static_assert(sizeof(kRangeKeys) / sizeof(kRangeKeys[0]) == sizeof(DeviceInfo::m_resetRange));

// The reset request names its groups in this order.
struct HttpResetGroup
{
    const char* key;
    HttpGroup flag;
};
constexpr HttpResetGroup kResetGroups[] = {
    { "channel", HttpChannel },
    { "record", HttpRecord },
    { "event", HttpEvent },
    { "alarm", HttpAlarm },
    { "ai", HttpAi },
    { "network", HttpNetwork },
    { "except_network_param", HttpExceptNetwork },
    { "device", HttpDevice },
    { "system", HttpSystem },
};

constexpr const char* kResetRangePath = "/API/Maintenance/Reset/Range";
constexpr const char* kResetSetPath = "/API/Maintenance/Reset/Set";
constexpr const char* kRebootPath = "/API/Maintenance/DeviceReboot/Set";

int SetDefaults(const DeviceInfo& device, const ZVNetDefaultParam& block)
{
    ZVNetSetParamReq request;
    std::memset(&request, 0, sizeof(request));
    request.paramId = ZVNET_PARAM_DEFAULT;
    request.block = &block;
    return ZVNetSetParam(device.m_handle, &request) != 0 ? StatusOk : StatusFailed;
}

ZVNetDefaultParam EmptyDefaults()
{
    ZVNetDefaultParam block;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    return block;
}

bool SdkFlag(const DeviceInfo& device, SdkGroup group)
{
    return device.m_resetGroups[group] != 0;
}

bool HttpFlag(const DeviceInfo& device, HttpGroup group)
{
    return device.m_resetGroups[kFirstHttpFlag + group] != 0;
}

int ResetSdkGroups(const DeviceInfo& device)
{
    ZVNetDefaultParam block = EmptyDefaults();
    block.display = SdkFlag(device, SdkDisplay);
    block.record = SdkFlag(device, SdkRecord);
    block.alarm = SdkFlag(device, SdkAlarm);
    block.device = SdkFlag(device, SdkDevice);
    block.system = SdkFlag(device, SdkSystem);
    block.advanced = SdkFlag(device, SdkAdvanced);
    block.intelligent = SdkFlag(device, SdkIntelligent);
    block.pairing = SdkFlag(device, SdkPairing);
    if (SdkFlag(device, SdkNetwork)) {
        block.network = SdkFlag(device, SdkAll) ? ZVNET_DEFAULT_NETWORK_ALL
            : SdkFlag(device, SdkExceptNetwork) ? ZVNET_DEFAULT_NETWORK_EXCEPT_ADDRESS
                                                : ZVNET_DEFAULT_NETWORK_KEEP;
    }
    return SetDefaults(device, block);
}

// A protected request: the salt, the secondary authentication of the login
// password, then data with it at path. keyFailed tells when no request went out
// because the key could not be had.
bool PostProtected(DeviceHttp& http, const DeviceInfo& device, const char* path, Json::Value data, bool& keyFailed)
{
    TransKeys keys;
    keyFailed = !http.RequestKeys(TransKeyForm::Salt, keys)
        || !DeviceHttp::AddSecondaryAuthentication(data, device.m_password, keys.salt);
    if (keyFailed)
        return false;
    Json::Value reply;
    return http.PostForReply(path, DeviceOps::RequestBody(data), reply) && DeviceOps::IsSuccessReply(reply);
}

int ResetHttpGroups(DeviceInfo* device)
{
    device->m_status = StatusResetting;
    device->NotifyRequesters(false, RequesterRecovery);

    DeviceHttp http(*device);
    Json::Value range;
    if (!http.PostForReply(kResetRangePath, std::string(), range))
        return StatusFailed;
    const Json::Value* offered = JsonRead::Member(range, "data");
    for (size_t i = 0; i < sizeof(kRangeKeys) / sizeof(kRangeKeys[0]); ++i) {
        const Json::Value* group = offered ? JsonRead::Member(*offered, kRangeKeys[i]) : nullptr;
        device->m_resetRange[i] = group && !group->isNull() ? 1 : 0;
    }
    auto isOffered = [device](const char* key) {
        for (size_t i = 0; i < sizeof(kRangeKeys) / sizeof(kRangeKeys[0]); ++i) {
            if (std::strcmp(kRangeKeys[i], key) == 0)
                return device->m_resetRange[i] != 0;
        }
        return false;
    };

    // Groups the device does not have are left out. Keeping the address needs
    // the device's own group for it: without one, the whole network group
    // would be restored and the device lost at a new address.
    if (HttpFlag(*device, HttpNetwork) && HttpFlag(*device, HttpExceptNetwork) && !isOffered("except_network_param"))
        return StatusFailed;
    Json::Value data(Json::objectValue);
    bool any = false;
    for (const HttpResetGroup& group : kResetGroups) {
        if (!isOffered(group.key))
            continue;
        const bool chosen = HttpFlag(*device, group.flag);
        data[group.key] = chosen;
        any = any || chosen;
    }
    if (!any)
        return StatusFailed;
    bool keyFailed = false;
    return PostProtected(http, *device, kResetSetPath, data, keyFailed) ? StatusOk : StatusFailed;
}

void RemoteTestCallback(int, int, const void*, void*)
{
}

int RebootThroughSdk(DeviceInfo* device)
{
    ZVNetRemoteTestParam param;
    std::memset(&param, 0, sizeof(param));
    param.command = ZVNET_REMOTE_TEST_REBOOT;
    param.user = device;
    param.callback = &RemoteTestCallback;
    return ZVNetRemoteTest(device->m_handle, &param) != 0 ? StatusRebootOk : StatusRebootFailed;
}

int RebootThroughHttp(DeviceInfo* device)
{
    DeviceHttp http(*device);
    bool keyFailed = false;
    if (PostProtected(http, *device, kRebootPath, Json::Value(Json::objectValue), keyFailed))
        return StatusRebootOk;
    return keyFailed ? StatusRebootRequestFailed : StatusRebootFailed;
}
} // namespace

namespace DeviceOps
{
void ResetDevice(DeviceInfo* device)
{
    ZVNetDefaultParam block = EmptyDefaults();
    block.display = block.record = block.alarm = block.device = block.system = block.advanced = block.intelligent = 1;
    block.network = ZVNET_DEFAULT_NETWORK_ALL;
    device->EndWorker(SetDefaults(*device, block), RequesterUpgrade);
}

void ResetDeviceGroups(DeviceInfo* device)
{
    const int company = Company();
    int status = StatusFailed;
    if (((company == 0 || company == 40) && device->m_resetMode == 0) || company == 45)
        status = ResetSdkGroups(*device);
    else if (IsHttpApiCompany(company) && device->m_resetMode == 1)
        status = ResetHttpGroups(device);
    // Any other combination has no request: the device still ends, failed.
    device->EndWorker(status, RequesterRecovery);
}

void RebootDevice(DeviceInfo* device)
{
    EndApiWorker(device, RequesterReboot, &RebootThroughHttp, &RebootThroughSdk);
}
} // namespace DeviceOps
