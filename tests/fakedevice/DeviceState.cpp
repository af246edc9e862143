#include "DeviceState.h"

#include "ZVNet.h"
#include "ZVOnvif.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace fakedevice
{
void PutText(Bytes& record, size_t offset, size_t width, const std::string& text)
{
    if (offset + width > record.size() || width == 0)
        return;
    std::fill(record.begin() + offset, record.begin() + offset + width, 0);
    const size_t n = std::min(text.size(), width - 1);
    std::memcpy(record.data() + offset, text.data(), n);
}

std::string GetText(const uint8_t* data, size_t width)
{
    size_t n = 0;
    while (n < width && data[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(data), n);
}

void PutU16(Bytes& record, size_t offset, uint16_t value)
{
    if (offset + 2 <= record.size())
        std::memcpy(record.data() + offset, &value, 2);
}

void PutU32(Bytes& record, size_t offset, uint32_t value)
{
    if (offset + 4 <= record.size())
        std::memcpy(record.data() + offset, &value, 4);
}

void PutU64(Bytes& record, size_t offset, uint64_t value)
{
    if (offset + 8 <= record.size())
        std::memcpy(record.data() + offset, &value, 8);
}

uint32_t GetU32(const uint8_t* data)
{
    uint32_t value;
    std::memcpy(&value, data, 4);
    return value;
}

namespace
{
template <typename T> Bytes SizedBlock()
{
    Bytes block(sizeof(T), 0);
    PutU32(block, 0, sizeof(T));
    return block;
}

void PutAddress(Bytes& record, size_t offset, const std::string& text)
{
    in_addr address {};
    if (inet_pton(AF_INET, text.c_str(), &address) == 1)
        std::memcpy(record.data() + offset, &address.s_addr, 4);
}
} // namespace

void DeviceState::FillDefaultParams()
{
    auto add = [this](uint32_t id, Bytes bytes) { params.emplace(id, std::move(bytes)); };

    Bytes version = SizedBlock<ZVNetVersionParam>();
    PutText(version, offsetof(ZVNetVersionParam, version), sizeof(ZVNetVersionParam::version), deviceVersion);
    add(ZVNET_PARAM_VERSION, version);

    Bytes dateTime = SizedBlock<ZVNetDateTimeParam>();
    PutU16(dateTime, offsetof(ZVNetDateTimeParam, year), 26);
    dateTime[offsetof(ZVNetDateTimeParam, month)] = 1;
    dateTime[offsetof(ZVNetDateTimeParam, day)] = 1;
    dateTime[offsetof(ZVNetDateTimeParam, hour)] = 12;
    add(ZVNET_PARAM_DATETIME, dateTime);

    add(ZVNET_PARAM_DEFAULT, SizedBlock<ZVNetDefaultParam>());

    const int count = std::max(1, channels);
    Bytes mainStreams, subStreams, osds;
    for (int c = 0; c < count; ++c) {
        for (int sub = 0; sub < 2; ++sub) {
            Bytes s(sizeof(ZVNetStreamParam), 0);
            s[offsetof(ZVNetStreamParam, bitrateMode)] = 0;
            s[offsetof(ZVNetStreamParam, bitrateIndex)] = sub ? 2 : 6;
            PutU16(s, offsetof(ZVNetStreamParam, customBitrate), sub ? 512 : 4096);
            s[offsetof(ZVNetStreamParam, frameRate)] = sub ? 15 : 25;
            s[offsetof(ZVNetStreamParam, resolutionIndex)] = 0;
            const uint16_t sizes[3][2] = { { 1920, 1080 }, { 1280, 720 }, { 640, 360 } };
            for (unsigned r = 0; r < 3; ++r) {
                const size_t at = ZVNET_STREAM_RESOLUTION_OFFSET + ZVNET_STREAM_RESOLUTION_STRIDE * (r + (sub ? 1 : 0));
                PutU16(s, at, sizes[r][0]);
                PutU16(s, at + 2, sizes[r][1]);
            }
            s[offsetof(ZVNetStreamParam, encodeType)] = sub ? 0 : 1;
            (sub ? subStreams : mainStreams).insert((sub ? subStreams : mainStreams).end(), s.begin(), s.end());
        }
        Bytes osd(sizeof(ZVNetOsdParam), 0);
        PutU16(osd, offsetof(ZVNetOsdParam, nameX), 10);
        PutU16(osd, offsetof(ZVNetOsdParam, nameY), 10);
        PutU16(osd, offsetof(ZVNetOsdParam, dateX), 400);
        PutU16(osd, offsetof(ZVNetOsdParam, dateY), 10);
        PutText(osd, offsetof(ZVNetOsdParam, channelName), sizeof(ZVNetOsdParam::channelName),
            "CH" + std::to_string(c + 1));
        osds.insert(osds.end(), osd.begin(), osd.end());
    }
    add(ZVNET_PARAM_MAIN_STREAM, mainStreams);
    add(ZVNET_PARAM_SUB_STREAM, subStreams);
    add(ZVNET_PARAM_OSD, osds);

    Bytes factory = SizedBlock<ZVNetFactoryInfo>();
    PutText(factory, offsetof(ZVNetFactoryInfo, mainBoardName), sizeof(ZVNetFactoryInfo::mainBoardName), "MB-100");
    PutText(factory, offsetof(ZVNetFactoryInfo, productType), sizeof(ZVNetFactoryInfo::productType), deviceType);
    PutText(factory, offsetof(ZVNetFactoryInfo, deviceType), sizeof(ZVNetFactoryInfo::deviceType), deviceType);
    PutText(factory, offsetof(ZVNetFactoryInfo, deviceName), sizeof(ZVNetFactoryInfo::deviceName), deviceName);
    add(ZVNET_BLOCK_FACTORY_INFO, factory);

    Bytes key = SizedBlock<ZVNetFactoryKeyParam>();
    key[offsetof(ZVNetFactoryKeyParam, flag24)] = 255;
    add(ZVNET_BLOCK_FACTORY_KEY, key);

    Bytes network = SizedBlock<ZVOnvifNetworkParam>();
    PutAddress(network, offsetof(ZVOnvifNetworkParam, ip), ip);
    PutAddress(network, offsetof(ZVOnvifNetworkParam, netmask), netmask);
    PutAddress(network, offsetof(ZVOnvifNetworkParam, gateway), gateway);
    PutU32(network, offsetof(ZVOnvifNetworkParam, webPort), webPort);
    network[offsetof(ZVOnvifNetworkParam, networkMode)] = static_cast<uint8_t>(networkMode);
    add(ZVONVIF_PARAM_NETWORK, network);
}

Bytes DeviceState::DevInfoRecord() const
{
    Bytes r(sizeof(ZVNetDevInfo), 0);
    PutU64(r, offsetof(ZVNetDevInfo, featureBits),
        static_cast<uint64_t>(networkChoice & ZVNET_DEVINFO_NETWORK_MASK) << ZVNET_DEVINFO_NETWORK_SHIFT);
    r[offsetof(ZVNetDevInfo, userFieldFlags)] = longUserFields ? ZVNET_DEVINFO_LONG_USER_FIELDS : 0;
    r[offsetof(ZVNetDevInfo, deviceKind)] = static_cast<uint8_t>(deviceKind);
    PutU32(r, offsetof(ZVNetDevInfo, capabilityWord), intelligent ? ZVNET_DEVINFO_INTELLIGENT : 0);
    if (extendedUpgrade) {
        const unsigned bit = ZVNET_ABILITY_UPGRADE_EXTENDED;
        PutU32(r, offsetof(ZVNetDevInfo, abilitySet) + 4 * (bit / 32), 1u << (bit % 32));
    }
    return r;
}

Bytes DeviceState::SearchRecord() const
{
    Bytes r(sizeof(SearchDevRsp), 0);
    auto text = [&r](size_t offset, size_t width, const std::string& value) { PutText(r, offset, width, value); };
    text(offsetof(SearchDevRsp, ip), 16, ip);
    text(offsetof(SearchDevRsp, hostName), 36, hostName);
    text(offsetof(SearchDevRsp, netmask), 16, netmask);
    text(offsetof(SearchDevRsp, gateway), 16, gateway);
    text(offsetof(SearchDevRsp, dns1), 16, dns1);
    text(offsetof(SearchDevRsp, dns2), 16, dns2);
    PutU32(r, offsetof(SearchDevRsp, mediaPort), mediaPort);
    PutU32(r, offsetof(SearchDevRsp, webPort), webPort);
    PutU32(r, offsetof(SearchDevRsp, networkMode), networkMode);
    text(offsetof(SearchDevRsp, deviceType), 28, deviceType);
    PutU64(r, offsetof(SearchDevRsp, deviceTypeCode), deviceTypeCode);
    text(offsetof(SearchDevRsp, deviceVersion), 36, deviceVersion);
    PutU32(r, offsetof(SearchDevRsp, deviceId), deviceId);
    text(offsetof(SearchDevRsp, deviceName), 36, deviceName);
    text(offsetof(SearchDevRsp, mac), 36, mac);
    PutU32(r, offsetof(SearchDevRsp, channelNumber), static_cast<uint32_t>(channels));
    r[offsetof(SearchDevRsp, version)] = version;
    r[offsetof(SearchDevRsp, netInterface)] = netInterface;
    text(offsetof(SearchDevRsp, p2pId), 38, p2pId);
    text(offsetof(SearchDevRsp, manufacture), 32, manufacture);
    PutU16(r, offsetof(SearchDevRsp, rtspPort), rtspPort);
    r[offsetof(SearchDevRsp, channelCount)] = static_cast<uint8_t>(std::clamp(channels, 0, 127));
    PutU16(r, offsetof(SearchDevRsp, year), year);
    r[offsetof(SearchDevRsp, month)] = month;
    r[offsetof(SearchDevRsp, day)] = day;
    r[offsetof(SearchDevRsp, isFirstLogin)] = firstLogin ? 1 : 0;
    r[offsetof(SearchDevRsp, inputPinCount)] = inputPins;
    r[offsetof(SearchDevRsp, outputPinCount)] = outputPins;
    r[offsetof(SearchDevRsp, supportTwoWayTalk)] = twoWayTalk;
    return r;
}

Bytes DeviceState::UserHeader() const
{
    Bytes header(sizeof(ZVNetUserHeader), 0);
    header[0] = static_cast<uint8_t>(users.size());
    return header;
}

Bytes DeviceState::UserRecords() const
{
    Bytes all;
    for (const User& user : users) {
        Bytes r(sizeof(ZVNetUserParam), 0);
        if (longUserFields) {
            PutText(r, offsetof(ZVNetUserParam, longUserName), 32, user.name);
            PutText(r, offsetof(ZVNetUserParam, longPassword), 32, user.password);
        } else {
            PutText(r, offsetof(ZVNetUserParam, shortUserName), 8, user.name);
            PutText(r, offsetof(ZVNetUserParam, shortPassword), 8, user.password);
        }
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

bool DeviceState::ApplyUserRecords(const uint8_t* data, size_t size)
{
    const size_t recordSize = sizeof(ZVNetUserParam);
    if (size == 0 || size % recordSize != 0 || size / recordSize > users.size())
        return false;
    for (size_t i = 0; i < size / recordSize; ++i) {
        const uint8_t* r = data + i * recordSize;
        if (r[offsetof(ZVNetUserParam, changeFlag)] != 1)
            continue;
        // Fields that fill their width carry no terminator.
        users[i].password = longUserFields ? GetText(r + offsetof(ZVNetUserParam, longPassword), 32)
                                           : GetText(r + offsetof(ZVNetUserParam, shortPassword), 8);
    }
    return true;
}
} // namespace fakedevice
