// The small operations that run inside the connection result: PTZ defaults,
// NTP on, and the two queries (ONVIF network settings, firmware version).

#include "DeviceInfo.h"
#include "DeviceOperations.h"
#include "DeviceThread.h"
#include "DottedQuad.h"
#include "FixedText.h"
#include "ZVOnvif.h"

#include <cstring>

namespace
{
// A size-prefixed block, zeroed, for a query to fill.
template <typename Block> Block EmptyBlock()
{
    Block block;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    return block;
}

template <typename Block> ZVNetQueryParamExReq QueryOf(uint32_t paramId, Block& block)
{
    ZVNetQueryParamExReq request;
    std::memset(&request, 0, sizeof(request));
    request.paramId = paramId;
    request.buffer = &block;
    request.bufferSize = sizeof(block);
    return request;
}

// The NTP calls also fail with 2.
bool NtpCallOk(int result)
{
    return result != 0 && result != 2;
}

// A text that would not fit leaves the field as it was.
void PutAddressText(const uint8_t (&bytes)[4], char (&field)[16])
{
    FormatDottedQuad(bytes, field, sizeof(field));
}
} // namespace

namespace DeviceOps
{
void RestorePtzDefaults(DeviceInfo* device)
{
    ZVNetPTZParam param;
    std::memset(&param, 0, sizeof(param));
    device->m_status = ZVNetPTZControl(device->m_handle, ZVNET_PTZ_DEFAULT, &param) != 0 ? StatusOk : StatusFailed;
}

void EnableNtp(DeviceInfo* device)
{
    auto block = EmptyBlock<ZVNetDateTimeParam>();
    const ZVNetQueryParamExReq query = QueryOf(ZVNET_PARAM_DATETIME, block);
    if (!NtpCallOk(ZVNetQueryParamEx(device->m_handle, &query))) {
        device->m_status = StatusFailed;
        return;
    }
    block.ntpEnable = 1;
    ZVNetSetParamReq set;
    std::memset(&set, 0, sizeof(set));
    set.paramId = ZVNET_PARAM_DATETIME;
    set.block = &block;
    device->m_status = NtpCallOk(ZVNetSetParam(device->m_handle, &set)) ? StatusOk : StatusFailed;
}

void QueryOnvifNetwork(DeviceInfo* device)
{
    auto block = EmptyBlock<ZVOnvifNetworkParam>();
    const ZVNetQueryParamExReq query = QueryOf(ZVONVIF_PARAM_NETWORK, block);
    if (ZVOnvifQueryParamEx(device->m_handle, &query) != ZVNET_OK) {
        device->m_status = StatusQueryFailed;
        return;
    }
    // The tables read the record on the device's thread: the answer is
    // written there, ahead of the report and before the logout reads it.
    RunOnDeviceThreadAndWait(device, [device, &block] {
        SearchDevRsp& record = device->m_searchRsp;
        PutAddressText(block.ip, record.ip);
        PutAddressText(block.netmask, record.netmask);
        PutAddressText(block.gateway, record.gateway);
        record.webPort = block.webPort;
        record.networkMode = block.networkMode;
    });
    device->m_status = StatusQueryOk;
}

void QueryVersion(DeviceInfo* device)
{
    auto block = EmptyBlock<ZVNetVersionParam>();
    const ZVNetQueryParamExReq query = QueryOf(ZVNET_PARAM_VERSION, block);
    if (ZVNetQueryParamEx(device->m_handle, &query) == 0) {
        device->m_status = StatusQueryFailed;
        return;
    }
    // The device's text ends at its field even without a terminator. The
    // upgrade table reads it on the device's thread.
    const QString version = FieldText(block.version);
    RunOnDeviceThread(device, [device, version] { device->m_deviceVersionText = version; });
    device->m_status = StatusQueryOk;
}
} // namespace DeviceOps
