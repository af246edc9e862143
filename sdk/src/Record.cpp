#include "Record.h"
#include "Socket.h"

#include <cstring>

namespace zvsdk
{
namespace
{
template <size_t N> void Terminate(char (&field)[N])
{
    field[N - 1] = '\0';
}
} // namespace

void SearchRecordFromWire(const uint8_t* data, in_addr sender, SearchDevRsp& record)
{
    static_assert(sizeof(SearchDevRsp) == 452);
    std::memcpy(&record, data, sizeof record);
    Terminate(record.ip);
    Terminate(record.hostName);
    Terminate(record.netmask);
    Terminate(record.gateway);
    Terminate(record.dns1);
    Terminate(record.dns2);
    Terminate(record.deviceType);
    Terminate(record.deviceVersion);
    Terminate(record.deviceName);
    Terminate(record.mac);
    Terminate(record.p2pId);
    Terminate(record.manufacture);
    if (record.ip[0] == '\0') {
        const std::string text = Ipv4Text(sender);
        std::strncpy(record.ip, text.c_str(), sizeof record.ip - 1);
    }
}
} // namespace zvsdk
