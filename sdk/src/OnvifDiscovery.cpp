#include "OnvifDiscovery.h"

#include "OnvifSoap.h"
#include "Record.h"
#include "Socket.h"

#include <QString>

#include <arpa/inet.h>

#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace zvsdk::onvif
{
namespace
{
constexpr size_t kMaxDatagram = 65536;
constexpr size_t kMaxMatches = 64;

// Decodes %XX escapes; other bytes stay as they are.
std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// UTF-8 from a URI into a Latin-1 record field, cut to its width and terminated.
void PutText(char* field, size_t width, const std::string& utf8)
{
    const QByteArray latin1 = QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())).toLatin1();
    const size_t n = std::min(static_cast<size_t>(latin1.size()), width - 1);
    std::memset(field, 0, width);
    std::memcpy(field, latin1.constData(), n);
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// Host and port of an http(s) address whose host is an IPv4 literal.
bool ParseXAddr(const std::string& url, in_addr& host, uint16_t& port)
{
    size_t start;
    uint16_t defaultPort;
    if (StartsWithNoCase(url, "http://")) {
        start = 7;
        defaultPort = 80;
    } else if (StartsWithNoCase(url, "https://")) {
        start = 8;
        defaultPort = 443;
    } else {
        return false;
    }
    const size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos)
        authority = authority.substr(at + 1);
    std::string hostText = authority;
    port = defaultPort;
    if (const size_t colon = authority.find(':'); colon != std::string::npos) {
        hostText = authority.substr(0, colon);
        const std::string portText = authority.substr(colon + 1);
        if (portText.empty() || portText.size() > 5
            || !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const long value = std::stol(portText);
        if (value < 1 || value > 65535)
            return false;
        port = static_cast<uint16_t>(value);
    }
    return ParseIpv4(hostText.c_str(), host);
}

bool IsVideoType(const std::string& nsUri, const std::string& local, bool resolved)
{
    if (local == "NetworkVideoTransmitter")
        return !resolved || nsUri == ns::kNetwork;
    if (local == "Device")
        return !resolved || nsUri == ns::kDevice;
    return false;
}
} // namespace

std::string NewMessageId()
{
    unsigned char b[16] = {};
    if (RAND_bytes(b, sizeof b) != 1)
        return std::string();
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text, "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
        b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string ProbeMessage(const std::string& messageId, ProbeType type)
{
    const std::string types = type == ProbeType::NetworkVideoTransmitter
        ? std::string("<d:Types xmlns:dn=\"") + ns::kNetwork + "\">dn:NetworkVideoTransmitter</d:Types>"
        : std::string("<d:Types xmlns:tds=\"") + ns::kDevice + "\">tds:Device</d:Types>";
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"") + ns::kSoap12
        + "\" xmlns:a=\"" + ns::kAddressing + "\" xmlns:d=\"" + ns::kDiscovery
        + "\"><s:Header><a:Action s:mustUnderstand=\"1\">" + ns::kDiscovery + "/Probe</a:Action><a:MessageID>"
        + messageId + "</a:MessageID><a:ReplyTo><a:Address>" + ns::kAddressing
        + "/role/anonymous</a:Address></a:ReplyTo><a:To s:mustUnderstand=\"1\">"
          "urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header><s:Body><d:Probe>"
        + types + "</d:Probe></s:Body></s:Envelope>";
}

std::vector<ProbeMatch> ParseProbeMatches(const char* data, size_t size)
{
    std::vector<ProbeMatch> matches;
    XmlLimits limits;
    limits.maxBytes = kMaxDatagram;
    limits.maxElements = 2000;
    const auto root = ParseXml(data, size, limits, nullptr);
    const XmlElement* body = root ? SoapBody(*root) : nullptr;
    const XmlElement* list = body ? body->Child(kDiscoveryNs, "ProbeMatches") : nullptr;
    if (!list)
        return matches;
    for (const auto& m : list->children) {
        if (m->name != "ProbeMatch" || (m->ns != ns::kDiscovery && m->ns != ns::kDiscovery11))
            continue;
        ProbeMatch match;
        if (const XmlElement* epr = m->Child(kAddressingNs, "EndpointReference")) {
            if (const XmlElement* address = epr->Child(kAddressingNs, "Address"))
                match.endpoint = address->Trimmed();
        }
        const XmlElement* types = m->Child(kDiscoveryNs, "Types");
        // A device that answers a typed probe without saying its types is taken at its word.
        match.videoDevice = !types;
        if (types) {
            for (const std::string& qname : SplitList(types->text)) {
                std::string nsUri, local;
                const bool resolved = types->ResolveQName(qname, nsUri, local);
                match.types.push_back(nsUri + " " + local);
                match.videoDevice = match.videoDevice || IsVideoType(nsUri, local, resolved);
            }
        }
        if (const XmlElement* scopes = m->Child(kDiscoveryNs, "Scopes"))
            match.scopes = SplitList(scopes->text);
        if (const XmlElement* xaddrs = m->Child(kDiscoveryNs, "XAddrs"))
            match.xaddrs = SplitList(xaddrs->text);
        matches.push_back(std::move(match));
        if (matches.size() >= kMaxMatches)
            break;
    }
    return matches;
}

bool FillSearchRecord(const ProbeMatch& match, in_addr from, SearchDevRsp& record)
{
    in_addr address = from;
    uint16_t port = 80;
    bool chosen = false;
    for (const std::string& url : match.xaddrs) {
        in_addr host {};
        uint16_t p = 0;
        if (!ParseXAddr(url, host, p) || ntohl(host.s_addr) == 0 || ntohl(host.s_addr) >= 0xe0000000u)
            continue; // no device lives at an unspecified, multicast or broadcast address
        // The address the answer came from is the one known to reach the device.
        if (!chosen || host.s_addr == from.s_addr) {
            address = host;
            port = p;
            chosen = true;
        }
        if (host.s_addr == from.s_addr)
            break;
    }
    if (address.s_addr == 0)
        return false;
    const std::string ip = Ipv4Text(address);
    std::memset(record.ip, 0, sizeof record.ip);
    std::memcpy(record.ip, ip.data(), std::min(ip.size(), sizeof record.ip - 1));
    record.webPort = port;
    record.networkMode = ZVNET_NET_MODE_STATIC;
    for (const std::string& scope : match.scopes) {
        static const char kBase[] = "onvif://www.onvif.org/";
        if (!StartsWithNoCase(scope, kBase))
            continue;
        const std::string rest = scope.substr(sizeof kBase - 1);
        if (StartsWithNoCase(rest, "name/"))
            PutText(record.deviceName, sizeof record.deviceName, PercentDecode(rest.substr(5)));
        else if (StartsWithNoCase(rest, "hardware/"))
            PutText(record.deviceType, sizeof record.deviceType, PercentDecode(rest.substr(9)));
        else if (StartsWithNoCase(rest, "mac/"))
            PutText(record.mac, sizeof record.mac, SearchRecordMac(PercentDecode(rest.substr(4))));
    }
    return true;
}
} // namespace zvsdk::onvif
