// A search reply's 452-byte record, as the SDK copies it and as the device
// list maps it into a device (both the ZVNet and the ONVIF form), read back
// through the accessors the tables show.
#include "DeviceInfo.h"
#include "Record.h"
#include "ZVWire.h"

#include <QCoreApplication>

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The record reader only ever sees whole records (the datagram check comes first).
    std::vector<uint8_t> wire(zvwire::kSearchRspSize, 0);
    std::memcpy(wire.data(), data, size < wire.size() ? size : wire.size());
    in_addr sender {};
    sender.s_addr = htonl(0x7f000002);
    SearchDevRsp record {};
    zvsdk::SearchRecordFromWire(wire.data(), sender, record);
    zvsdk::SearchRecordMac(std::string(record.mac, zvwire::BoundedLength(record.mac, sizeof record.mac)));

    // The raw bytes too, as an ONVIF or HTTP search hands the device list a record of its own.
    SearchDevRsp raw {};
    std::memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
    for (const SearchDevRsp* source : { &record, &raw }) {
        for (bool onvif : { false, true }) {
            DeviceInfo device;
            device.InitFromSearchRsp(source, onvif);
            device.Ip();
            device.DeviceName();
            device.P2pId();
            device.ChannelCount();
            device.DeviceType();
            device.DeviceVersion();
            device.Netmask();
            device.Gateway();
            device.Mac();
            device.Manufacture();
            device.IsInitialized();
            device.NetModeText();
            device.StatusText();
            device.DateText();
            device.VersionMatchText();
        }
    }
    return 0;
}
