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
#include <deque>
#include <map>
#include <mutex>

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

// UTF-8 from a URI into a Latin-1 record field, cut to its width and
// terminated. Control characters (a decoded %0A, say) are left out.
void PutText(char* field, size_t width, const std::string& utf8)
{
    const QByteArray latin1 = QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())).toLatin1();
    std::memset(field, 0, width);
    size_t n = 0;
    for (const char c : latin1) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            continue;
        if (n + 1 >= width)
            break;
        field[n++] = c;
    }
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

struct XAddr
{
    ServiceAddress service;
    bool ipv4 = false; // host is an IPv4 literal, in address
    in_addr address {};
    uint16_t port = 80;
};

constexpr size_t kMaxPathBytes = 512;

// An http(s) address: scheme, port, path, and the host when it is an IPv4
// literal. Host names and IPv6 literals are accepted without their host.
bool ParseXAddr(const std::string& url, XAddr& out)
{
    size_t start;
    if (StartsWithNoCase(url, "http://")) {
        start = 7;
        out.service.https = false;
        out.port = 80;
    } else if (StartsWithNoCase(url, "https://")) {
        start = 8;
        out.service.https = true;
        out.port = 443;
    } else {
        return false;
    }
    const size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos)
        authority = authority.substr(at + 1);
    std::string hostText = authority;
    std::string portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            return false;
        hostText = authority.substr(0, close + 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                return false;
            portText = authority.substr(close + 2);
            hasPort = true;
        }
    } else if (const size_t colon = authority.find(':'); colon != std::string::npos) {
        hostText = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
        hasPort = true;
    }
    if (hostText.empty())
        return false;
    if (hasPort) {
        if (portText.empty() || portText.size() > 5
            || !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const long value = std::stol(portText);
        if (value < 1 || value > 65535)
            return false;
        out.port = static_cast<uint16_t>(value);
    }
    // The path goes into the request line: printable, no spaces, bounded.
    if (end != std::string::npos && url[end] != '#') {
        std::string path = url.substr(end, url.find('#', end) - end);
        if (path[0] == '?')
            path = "/" + path;
        if (path.size() <= kMaxPathBytes
            && std::all_of(path.begin(), path.end(), [](char c) { return c > 0x20 && c < 0x7f; }))
            out.service.path = path;
    }
    out.ipv4 = ParseIpv4(hostText.c_str(), out.address);
    return true;
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

std::vector<ProbeMatch> ParseProbeMatches(const char* data, size_t size, const std::vector<std::string>& probeIds)
{
    std::vector<ProbeMatch> matches;
    XmlLimits limits;
    limits.maxBytes = kMaxDatagram;
    limits.maxElements = 2000;
    limits.keepReadAtElementLimit = true;
    const auto root = ParseXml(data, size, limits, nullptr);
    const XmlElement* body = root ? SoapBody(*root) : nullptr;
    const XmlElement* list = body ? body->Child(kDiscoveryNs, "ProbeMatches") : nullptr;
    if (!list)
        return matches;
    // An answer to some other message (or another kind of message) is not ours.
    if (const XmlElement* header = root->Child(kSoapEnvelopeNs, "Header")) {
        if (const XmlElement* action = header->Child(kAddressingNs, "Action")) {
            const std::string text = action->Trimmed();
            if (text != std::string(ns::kDiscovery) + "/ProbeMatches"
                && text != std::string(ns::kDiscovery11) + "/ProbeMatches")
                return matches;
        }
        if (const XmlElement* relatesTo = header->Child(kAddressingNs, "RelatesTo")) {
            if (std::find(probeIds.begin(), probeIds.end(), relatesTo->Trimmed()) == probeIds.end())
                return matches;
        }
    }
    for (const auto& m : list->children) {
        if (!m->closed)
            break; // cut off by the element limit
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

bool FillSearchRecord(const ProbeMatch& match, in_addr from, SearchDevRsp& record, ServiceAddress& service)
{
    in_addr address = from;
    uint16_t port = 80;
    service = ServiceAddress();
    bool chosen = false;
    bool named = false; // an XAddr without an IPv4 host gave scheme, port and path
    for (const std::string& url : match.xaddrs) {
        XAddr x;
        if (!ParseXAddr(url, x))
            continue;
        if (!x.ipv4) {
            // Reached at the sender's address, on the port the device named.
            if (!chosen && !named) {
                port = x.port;
                service = x.service;
                named = true;
            }
            continue;
        }
        const in_addr host = x.address;
        if (ntohl(host.s_addr) == 0 || ntohl(host.s_addr) >= 0xe0000000u)
            continue; // no device lives at an unspecified, multicast or broadcast address
        // The address the answer came from is the one known to reach the device.
        if (!chosen || host.s_addr == from.s_addr) {
            address = host;
            port = x.port;
            service = x.service;
            chosen = true;
        }
        if (host.s_addr == from.s_addr)
            break;
    }
    if (!chosen)
        address = from;
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

namespace
{
constexpr size_t kMaxServices = 65536;

struct Services
{
    std::mutex mutex;
    std::map<std::string, ServiceAddress> byAddress; // "ip:port"
    std::deque<std::string> order; // oldest first, to bound the map
};

// Never destroyed: connection workers may still read it while statics go away.
Services& AllServices()
{
    static Services* services = new Services;
    return *services;
}

std::string ServiceKey(const std::string& ip, uint16_t port)
{
    return ip + ":" + std::to_string(port);
}
} // namespace

void RememberService(const std::string& ip, uint16_t port, const ServiceAddress& service)
{
    Services& all = AllServices();
    const std::string key = ServiceKey(ip, port);
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto inserted = all.byAddress.insert_or_assign(key, service);
    if (!inserted.second)
        return;
    all.order.push_back(key);
    if (all.order.size() > kMaxServices) {
        all.byAddress.erase(all.order.front());
        all.order.pop_front();
    }
}

ServiceAddress ServiceAt(const std::string& ip, uint16_t port)
{
    Services& all = AllServices();
    {
        std::lock_guard<std::mutex> lock(all.mutex);
        const auto it = all.byAddress.find(ServiceKey(ip, port));
        if (it != all.byAddress.end())
            return it->second;
    }
    ServiceAddress service;
    service.https = port == 443;
    return service;
}
} // namespace zvsdk::onvif
