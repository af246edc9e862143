#include "Record.h"
#include "Socket.h"

#include <cctype>
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

std::string SearchRecordMac(const std::string& text)
{
    std::string digits;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isxdigit(byte))
            digits += static_cast<char>(std::toupper(byte));
        else if (c != ':' && c != '-' && c != '.')
            return text;
    }
    if (digits.size() != 12)
        return text;
    std::string mac;
    for (size_t i = 0; i < digits.size(); i += 2) {
        if (!mac.empty())
            mac += ':';
        mac.append(digits, i, 2);
    }
    return mac;
}
} // namespace zvsdk
