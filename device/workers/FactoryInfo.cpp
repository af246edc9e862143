// Writing the factory information block: all of it with its factory key from
// the device information page, or only the device's name and type from the
// change-device page.

#include "DeviceInfo.h"
#include "DeviceOperations.h"
#include "FixedText.h"
#include "ZVAppSetting.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace
{
int WriteBlock(int handle, ZVNetBlockId id, const void* block, uint32_t size)
{
    ZVNetSetParamExReq request;
    std::memset(&request, 0, sizeof(request));
    request.type = ZVNET_SETPARAMEX_TYPE;
    request.blockId = id;
    request.block = block;
    request.blockSize = size;
    request.flags = 1;
    return ZVNetSetParamEx(handle, &request);
}

int WriteFactoryKey(DeviceInfo* device)
{
    device->m_keyId = device->m_keyId.trimmed();
    device->m_boardId = device->m_boardId.trimmed();
    // Nothing to write: a key of 0 with no board would overwrite the device's key.
    if (device->m_keyId.isEmpty() && device->m_boardId.isEmpty())
        return StatusOk;
    ZVNetFactoryKeyParam key;
    std::memset(&key, 0, sizeof(key));
    key.size = sizeof(key);
    bool hex = false;
    const uint keyId = device->m_keyId.toUInt(&hex, 16);
    key.keyId = hex ? keyId : 0;
    PutText(device->m_boardId, TextCode::Utf8, key.boardId, FieldEnd::Padded);
    key.flag24 = 255;
    return WriteBlock(device->m_handle, ZVNET_BLOCK_FACTORY_KEY, &key, sizeof(key)) != 0 ? StatusOk : StatusFailed;
}

// The Latin-1 bytes of text, at most width - 1 of them, so that a NUL follows.
template <size_t Width> void PutName(const std::string& text, char (&field)[Width])
{
    PutBytes(text.data(), text.size(), TextCode::Latin1, field, FieldEnd::Terminated);
}
} // namespace

namespace DeviceOps
{
void WriteFactoryInfo(DeviceInfo* device)
{
    // The page fills the texts; each still ends inside its field.
    ZVNetFactoryInfo block = device->m_paramBlock;
    for (char* last : { &block.mainBoardName[sizeof(block.mainBoardName) - 1],
             &block.productType[sizeof(block.productType) - 1], &block.deviceType[sizeof(block.deviceType) - 1],
             &block.deviceName[sizeof(block.deviceName) - 1], &block.customType[sizeof(block.customType) - 1] })
        *last = '\0';
    if (WriteBlock(device->m_handle, ZVNET_BLOCK_FACTORY_INFO, &block, sizeof(block)) == 0) {
        device->m_status = StatusFailed;
        return;
    }
    if (device->m_keyId.isEmpty() && !device->m_boardId.isEmpty()) {
        device->m_status = StatusOk;
        return;
    }
    device->m_status = WriteFactoryKey(device);
}

void ChangeDeviceInfo(DeviceInfo* device)
{
    const int company = Company();
    if (company != 0 && company != 40) {
        device->EndWorker(StatusChangeUnsupported, RequesterChangeDevice);
        return;
    }
    ZVNetDevInfo info;
    std::memset(&info, 0, sizeof(info));
    ZVNetGetDevInfo(device->m_handle, &info, sizeof(info));

    ZVNetFactoryInfo& block = device->m_paramBlock;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    uint32_t mask = 0;
    if (!device->m_newDeviceName.empty()) {
        PutName(device->m_newDeviceName, block.deviceName);
        mask |= ZVNET_FACTORY_DEVICE_NAME;
    }
    if (!device->m_newDeviceType.empty()) {
        PutName(device->m_newDeviceType, block.deviceType);
        mask |= ZVNET_FACTORY_DEVICE_TYPE;
    }
    block.changeMask = mask;
    const int result = WriteBlock(device->m_handle, ZVNET_BLOCK_FACTORY_INFO, &block, sizeof(block));
    device->EndWorker(result != 0 ? StatusChangeOk : StatusChangeFailed, RequesterChangeDevice);
}
} // namespace DeviceOps
