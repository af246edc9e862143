#include "OnvifDevice.h"

#include "Socket.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

namespace zvsdk::onvif
{
namespace
{
// Responses put their parts in tds as the schema says; some devices use tt.
const char* const kDeviceOrSchema[] = { ns::kDevice, ns::kSchema, nullptr };

bool ParseInt(const XmlElement* e, long low, long high, long& out)
{
    if (!e)
        return false;
    const std::string text = e->Trimmed();
    if (text.empty() || text.size() > 11)
        return false;
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return end && *end == 0 && out >= low && out <= high;
}

bool ParseBool(const XmlElement* e, bool fallback)
{
    if (!e)
        return fallback;
    const std::string text = e->Trimmed();
    if (text == "true" || text == "1")
        return true;
    if (text == "false" || text == "0")
        return false;
    return fallback;
}

bool ParseAddress(const std::string& text, Ipv4& out)
{
    in_addr a {};
    if (!ParseIpv4(text.c_str(), a))
        return false;
    std::memcpy(out.data(), &a.s_addr, 4);
    return true;
}

std::string AddressText(const Ipv4& a)
{
    in_addr addr {};
    std::memcpy(&addr.s_addr, a.data(), 4);
    return Ipv4Text(addr);
}

// Address and prefix of a PrefixedIPv4Address element.
bool ParsePrefixed(const XmlElement* e, Ipv4& address, int& prefix)
{
    if (!e)
        return false;
    const XmlElement* a = e->Child(ns::kSchema, "Address");
    if (!a || !ParseAddress(a->Trimmed(), address))
        return false;
    long p = 0;
    prefix = ParseInt(e->Child(ns::kSchema, "PrefixLength"), 0, 32, p) ? static_cast<int>(p) : -1;
    return true;
}

bool IsZero(const uint8_t* a)
{
    return a[0] == 0 && a[1] == 0 && a[2] == 0 && a[3] == 0;
}

Ipv4 ToIpv4(const uint8_t* a)
{
    return Ipv4 { a[0], a[1], a[2], a[3] };
}
} // namespace

bool ParseSystemDateAndTime(const XmlElement& response, int64_t& deviceUtcSeconds)
{
    const XmlElement* sdt = response.Child(kDeviceOrSchema, "SystemDateAndTime");
    const XmlElement* utc = sdt ? sdt->Child(ns::kSchema, "UTCDateTime") : nullptr;
    const XmlElement* date = utc ? utc->Child(ns::kSchema, "Date") : nullptr;
    const XmlElement* time = utc ? utc->Child(ns::kSchema, "Time") : nullptr;
    if (!date || !time)
        return false;
    long year, month, day, hour, minute, second;
    if (!ParseInt(date->Child(ns::kSchema, "Year"), 1970, 9999, year)
        || !ParseInt(date->Child(ns::kSchema, "Month"), 1, 12, month)
        || !ParseInt(date->Child(ns::kSchema, "Day"), 1, 31, day)
        || !ParseInt(time->Child(ns::kSchema, "Hour"), 0, 23, hour)
        || !ParseInt(time->Child(ns::kSchema, "Minute"), 0, 59, minute)
        || !ParseInt(time->Child(ns::kSchema, "Second"), 0, 60, second))
        return false;
    std::tm tm {};
    tm.tm_year = static_cast<int>(year - 1900);
    tm.tm_mon = static_cast<int>(month - 1);
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = static_cast<int>(hour);
    tm.tm_min = static_cast<int>(minute);
    tm.tm_sec = static_cast<int>(second);
    deviceUtcSeconds = static_cast<int64_t>(timegm(&tm));
    return true;
}

bool ParseNetworkInterfaces(const XmlElement& response, const std::string& preferredIp, InterfaceInfo& out)
{
    bool haveAny = false;
    for (const auto& child : response.children) {
        if (child->name != "NetworkInterfaces" || (child->ns != ns::kDevice && child->ns != ns::kSchema))
            continue;
        const XmlElement* ipv4 = child->Child(ns::kSchema, "IPv4");
        if (!ipv4 || !ParseBool(child->Child(ns::kSchema, "Enabled"), true)
            || !ParseBool(ipv4->Child(ns::kSchema, "Enabled"), true))
            continue;
        const XmlElement* config = ipv4->Child(ns::kSchema, "Config");
        if (!config)
            continue;
        InterfaceInfo info;
        info.token = child->Attribute("token");
        info.dhcp = ParseBool(config->Child(ns::kSchema, "DHCP"), false);
        std::vector<const XmlElement*> addresses;
        const XmlElement* fromDhcp = config->Child(ns::kSchema, "FromDHCP");
        if (info.dhcp && fromDhcp)
            addresses.push_back(fromDhcp);
        for (const XmlElement* manual : config->Children(ns::kSchema, "Manual"))
            addresses.push_back(manual);
        if (!info.dhcp && fromDhcp)
            addresses.push_back(fromDhcp);
        bool preferred = false;
        for (const XmlElement* a : addresses) {
            Ipv4 address {};
            int prefix = -1;
            if (!ParsePrefixed(a, address, prefix))
                continue;
            const bool matches = AddressText(address) == preferredIp;
            if (!info.hasAddress || matches) {
                info.hasAddress = true;
                info.address = address;
                info.prefixLength = prefix;
            }
            if (matches) {
                preferred = true;
                break;
            }
        }
        if (preferred) {
            out = info;
            return true;
        }
        if (!haveAny || (!out.hasAddress && info.hasAddress)) {
            out = info;
            haveAny = true;
        }
    }
    return haveAny;
}

bool ParseDefaultGateway(const XmlElement& response, Ipv4& gateway, bool& found)
{
    found = false;
    const XmlElement* g = response.Child(kDeviceOrSchema, "NetworkGateway");
    if (!g)
        return false;
    bool named = false; // some entry is not empty
    for (const XmlElement* a : g->Children(ns::kSchema, "IPv4Address")) {
        const std::string text = a->Trimmed();
        named = named || !text.empty();
        if (ParseAddress(text, gateway)) {
            found = true;
            break;
        }
    }
    // Entries of which none is an address tell no gateway; no entry means none is set.
    return found || !named;
}

bool ParseHttpPort(const XmlElement& response, const char* protocol, uint16_t currentPort, uint16_t& port, bool& found)
{
    found = false;
    for (const auto& child : response.children) {
        if (child->name != "NetworkProtocols" || (child->ns != ns::kDevice && child->ns != ns::kSchema))
            continue;
        const XmlElement* name = child->Child(ns::kSchema, "Name");
        if (!name || name->Trimmed() != protocol)
            continue;
        for (const XmlElement* p : child->Children(ns::kSchema, "Port")) {
            long value = 0;
            if (!ParseInt(p, 1, 65535, value))
                continue;
            if (!found || value == currentPort)
                port = static_cast<uint16_t>(value);
            found = true;
        }
    }
    return true;
}

bool ParseRebootNeeded(const XmlElement& response, bool& rebootNeeded)
{
    rebootNeeded = ParseBool(response.Child(kDeviceOrSchema, "RebootNeeded"), false);
    return true;
}

bool PrefixToMask(int prefix, Ipv4& mask)
{
    if (prefix < 0 || prefix > 32)
        return false;
    const uint32_t bits = prefix == 0 ? 0u : ~uint32_t(0) << (32 - prefix);
    mask = { uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits) };
    return true;
}

int MaskToPrefix(const Ipv4& mask)
{
    const uint32_t bits = uint32_t(mask[0]) << 24 | uint32_t(mask[1]) << 16 | uint32_t(mask[2]) << 8 | mask[3];
    int prefix = 0;
    while (prefix < 32 && (bits & (0x80000000u >> prefix)))
        ++prefix;
    const uint32_t expected = prefix == 0 ? 0u : ~uint32_t(0) << (32 - prefix);
    return bits == expected ? prefix : -1;
}

DeviceClient::DeviceClient(std::string ip, uint16_t port, ServiceAddress service, Credentials credentials,
    Timeouts timeouts, const std::atomic<bool>* cancel, const std::atomic<bool>* cancelToo)
    : m_ip(std::move(ip))
    , m_port(port)
    , m_service(std::move(service))
    , m_session(std::make_unique<SoapSession>())
    , m_credentials(std::move(credentials))
    , m_timeouts(timeouts)
    , m_cancel(cancel)
    , m_cancelToo(cancelToo)
{
}

DeviceClient::~DeviceClient() = default;

SoapReply DeviceClient::Call(const char* action, const std::string& bodyXml, bool authenticated)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeouts.commandMs);
    SoapTarget target;
    target.ip = m_ip;
    target.https = m_service.https;
    target.path = m_service.path;
    target.connectTimeoutMs = m_timeouts.connectMs;
    target.cancel = m_cancel;
    target.cancelToo = m_cancelToo;
    bool onFallback = false;
    for (;;) {
        target.port = onFallback ? m_fallbackPort : m_port;
        target.timeoutMs = std::max(1, RemainingMs(deadline));
        // The HTTP Digest answers a challenge even on the calls that need no token.
        SoapReply reply = m_session->Call(
            target, action, bodyXml, authenticated ? &m_credentials : nullptr, &m_credentials, m_clockOffset);
        // After a port change the device may still be rebinding, or keep the old
        // port until it restarts: try both until the command time runs out.
        if (!reply.couldNotConnect || m_fallbackPort == 0 || RemainingMs(deadline) == 0
            || (m_cancel && m_cancel->load()) || (m_cancelToo && m_cancelToo->load()))
            return reply;
        if (onFallback)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(100, RemainingMs(deadline))));
        onFallback = !onFallback;
    }
}

bool DeviceClient::Expect(const SoapReply& reply, const char* action) const
{
    return reply.status == SoapStatus::Ok
        && reply.response->Is(ns::kDevice, (std::string(action) + "Response").c_str());
}

int DeviceClient::Login()
{
    // The device's clock first: a digest whose creation time is far off its clock is refused.
    SoapReply time = Call("GetSystemDateAndTime", "<tds:GetSystemDateAndTime/>", false);
    int64_t deviceUtc = 0;
    if (Expect(time, "GetSystemDateAndTime") && ParseSystemDateAndTime(*time.response, deviceUtc))
        m_clockOffset = deviceUtc - static_cast<int64_t>(std::time(nullptr));
    else if (time.status != SoapStatus::Ok && time.status != SoapStatus::Fault
        && time.status != SoapStatus::Unauthorized)
        return ZVNET_STATUS_FAILED;
    SoapReply info = Call("GetDeviceInformation", "<tds:GetDeviceInformation/>", true);
    if (info.status == SoapStatus::Unauthorized)
        return ZVNET_STATUS_LOGIN_FAILED;
    return Expect(info, "GetDeviceInformation") ? ZVNET_STATUS_LOGIN_OK : ZVNET_STATUS_FAILED;
}

bool DeviceClient::ReadInterface(InterfaceInfo& info)
{
    const SoapReply reply = Call("GetNetworkInterfaces", "<tds:GetNetworkInterfaces/>", true);
    return Expect(reply, "GetNetworkInterfaces") && ParseNetworkInterfaces(*reply.response, m_ip, info);
}

bool DeviceClient::ReadHttpPort(uint16_t& port, bool& found)
{
    port = m_port;
    found = false;
    const SoapReply reply = Call("GetNetworkProtocols", "<tds:GetNetworkProtocols/>", true);
    if (Expect(reply, "GetNetworkProtocols"))
        return ParseHttpPort(*reply.response, WebProtocol(), m_port, port, found);
    // A device without the operation answers with a fault: its port stays unknown.
    return reply.status == SoapStatus::Fault;
}

bool DeviceClient::QueryNetwork(ZVOnvifNetworkParam& block)
{
    InterfaceInfo info;
    // Without a prefix length there is no mask to tell.
    if (!ReadInterface(info) || !info.hasAddress || info.prefixLength < 0)
        return false;
    // A device without the gateway or protocol operation still has its address read;
    // any other failure fails the query.
    Ipv4 gateway {};
    bool hasGateway = false;
    SoapReply g = Call("GetNetworkDefaultGateway", "<tds:GetNetworkDefaultGateway/>", true);
    if (Expect(g, "GetNetworkDefaultGateway")) {
        if (!ParseDefaultGateway(*g.response, gateway, hasGateway))
            return false;
    } else if (g.status != SoapStatus::Fault) {
        return false;
    }
    uint16_t httpPort;
    bool hasHttp;
    if (!ReadHttpPort(httpPort, hasHttp))
        return false;

    Ipv4 mask {};
    PrefixToMask(info.prefixLength, mask);
    std::memcpy(block.ip, info.address.data(), 4);
    std::memcpy(block.netmask, mask.data(), 4);
    std::memcpy(block.gateway, hasGateway ? gateway.data() : Ipv4 {}.data(), 4);
    block.webPort = hasHttp ? httpPort : m_port;
    block.networkMode = static_cast<uint8_t>(info.dhcp ? ZVNET_NET_MODE_DHCP : ZVNET_NET_MODE_STATIC);
    return true;
}

bool DeviceClient::SetNetwork(const ZVOnvifNetworkParam& block)
{
    if (block.networkMode != ZVNET_NET_MODE_DHCP && block.networkMode != ZVNET_NET_MODE_STATIC)
        return false; // PPPoE, 3G and Wi-Fi are not device-management settings
    const bool dhcp = block.networkMode == ZVNET_NET_MODE_DHCP;
    InterfaceInfo current;
    if (!ReadInterface(current) || current.token.empty())
        return false;

    // Zero fields keep the device's values.
    Ipv4 address = IsZero(block.ip) ? current.address : ToIpv4(block.ip);
    int prefix = current.prefixLength;
    if (!IsZero(block.netmask) && (prefix = MaskToPrefix(ToIpv4(block.netmask))) < 0)
        return false;
    if (!dhcp && (IsZero(address.data()) || prefix < 0))
        return false;

    if (!dhcp && !IsZero(block.gateway)) {
        const std::string body = "<tds:SetNetworkDefaultGateway><tds:IPv4Address>" + AddressText(ToIpv4(block.gateway))
            + "</tds:IPv4Address></tds:SetNetworkDefaultGateway>";
        if (!Expect(Call("SetNetworkDefaultGateway", body, true), "SetNetworkDefaultGateway"))
            return false;
    }

    if (block.webPort != 0) {
        if (block.webPort > 65535)
            return false;
        uint16_t httpPort;
        bool hasHttp;
        if (!ReadHttpPort(httpPort, hasHttp))
            return false;
        if (!hasHttp || httpPort != block.webPort) {
            const std::string body = std::string("<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>")
                + WebProtocol() + "</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>" + std::to_string(block.webPort)
                + "</tt:Port></tds:NetworkProtocols></tds:SetNetworkProtocols>";
            if (!Expect(Call("SetNetworkProtocols", body, true), "SetNetworkProtocols"))
                return false;
            // Followed at once; the old port stays a fallback until the device answers on the new one.
            m_fallbackPort = m_port;
            m_port = static_cast<uint16_t>(block.webPort);
        }
    }

    const bool interfaceChanges = dhcp != current.dhcp
        || (!dhcp && (address != current.address || prefix != current.prefixLength || !current.hasAddress));
    if (!interfaceChanges) {
        RememberService(m_ip, m_port, m_service);
        return true;
    }
    std::string ipv4 = "<tt:IPv4><tt:Enabled>true</tt:Enabled>";
    if (dhcp)
        ipv4 += "<tt:DHCP>true</tt:DHCP>";
    else
        ipv4 += "<tt:Manual><tt:Address>" + AddressText(address) + "</tt:Address><tt:PrefixLength>"
            + std::to_string(prefix) + "</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP>";
    ipv4 += "</tt:IPv4>";
    const std::string body = "<tds:SetNetworkInterfaces><tds:InterfaceToken>" + XmlEscape(current.token)
        + "</tds:InterfaceToken><tds:NetworkInterface><tt:Enabled>true</tt:Enabled>" + ipv4
        + "</tds:NetworkInterface></tds:SetNetworkInterfaces>";
    SoapReply set = Call("SetNetworkInterfaces", body, true);
    bool rebootNeeded = false;
    if (!Expect(set, "SetNetworkInterfaces") || !ParseRebootNeeded(*set.response, rebootNeeded))
        return false;
    if (rebootNeeded) {
        // The device applies the change only when it restarts: still at the old address.
        if (!Expect(Call("SystemReboot", "<tds:SystemReboot/>", true), "SystemReboot"))
            return false;
    }
    if (!dhcp)
        m_ip = AddressText(address);
    m_fallbackPort = 0;
    // The next connection to the new address speaks as this one did.
    RememberService(m_ip, m_port, m_service);
    return true;
}
} // namespace zvsdk::onvif
