#include "FakeOnvif.h"

#include <QByteArray>
#include <QDateTime>
#include <QDomDocument>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

namespace fakedevice
{
namespace
{
using Clock = std::chrono::steady_clock;

constexpr const char* kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
constexpr const char* kDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char* kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr const char* kGroup = "239.255.255.250";
constexpr size_t kMaxRequests = 4096;
constexpr size_t kMaxNonces = 4096;
constexpr int kApplyDelayMs = 150; // a change waits until its reply is out

std::string Envelope(const std::string& body)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                       "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"")
        + kSoap12
        + "\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
          "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" xmlns:ter=\"http://www.onvif.org/ver10/error\">"
          "<SOAP-ENV:Body>"
        + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

HttpResponse Soap(int status, const std::string& body)
{
    HttpResponse r;
    r.status = status;
    r.headers.emplace_back("Content-Type", "application/soap+xml; charset=utf-8");
    r.body = Envelope(body);
    return r;
}

// SOAP 1.2's HTTP binding: a Sender fault is 400, a Receiver fault 500.
HttpResponse Fault(const char* code, const char* subcode, const char* reason)
{
    return Soap(std::strcmp(code, "Sender") == 0 ? 400 : 500,
        std::string("<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:") + code
            + "</SOAP-ENV:Value><SOAP-ENV:Subcode><SOAP-ENV:Value>ter:" + subcode
            + "</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code><SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">"
            + reason + "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>");
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string PercentEncode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// First element below e (depth first) with that local name, any namespace:
// clients disagree on tds and tt for the parts of a request.
QDomElement Find(const QDomElement& e, const char* local)
{
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String(local))
            return c;
        const QDomElement deeper = Find(c, local);
        if (!deeper.isNull())
            return deeper;
    }
    return QDomElement();
}

std::string Text(const QDomElement& e)
{
    return e.isNull() ? std::string() : e.text().trimmed().toStdString();
}

bool ValidIpv4(const std::string& text)
{
    in_addr a {};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// Parses with QDom one document at a time: Qt guards its text codec registry with
// a lock ThreadSanitizer cannot see, and a fake device has no need to parse in parallel.
bool SetContent(QDomDocument& document, const QByteArray& data)
{
    static std::mutex parsing;
    std::lock_guard<std::mutex> lock(parsing);
    return document.setContent(QString::fromUtf8(data), true);
}

std::string Sha1Base64(const std::string& input)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha1(), nullptr);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(length)).toBase64().toStdString();
}

std::string HexDigest(const EVP_MD* md, const std::string& input)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(input.data(), input.size(), digest, &length, md, nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::string RandomHex(std::mt19937_64& random)
{
    char text[40];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(random()),
        static_cast<unsigned long long>(random()));
    return text;
}

bool SameNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

// The parameters of an "Authorization: Digest" header; false when it is none or malformed.
bool ParseDigestHeader(const std::string& header, std::map<std::string, std::string>& out)
{
    if (header.size() < 7 || !SameNoCase(header.substr(0, 7), "Digest "))
        return false;
    size_t i = 7;
    while (i < header.size()) {
        while (i < header.size() && (header[i] == ' ' || header[i] == ','))
            ++i;
        if (i >= header.size())
            break;
        const size_t eq = header.find('=', i);
        if (eq == std::string::npos)
            return false;
        std::string key = header.substr(i, eq - i);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        std::transform(key.begin(), key.end(), key.begin(), [](char c) { return char(std::tolower(c)); });
        i = eq + 1;
        std::string value;
        if (i < header.size() && header[i] == '"') {
            ++i;
            while (i < header.size() && header[i] != '"') {
                if (header[i] == '\\' && i + 1 < header.size())
                    ++i;
                value += header[i++];
            }
            if (i >= header.size())
                return false;
            ++i;
        } else {
            while (i < header.size() && header[i] != ',')
                value += header[i++];
            while (!value.empty() && value.back() == ' ')
                value.pop_back();
        }
        out[key] = value;
    }
    return true;
}

// What the device implements; anything else is refused before any check of the caller.
bool Implemented(const std::string& operation)
{
    static const std::set<std::string> operations { "GetCapabilities", "GetDNS", "GetDeviceInformation", "GetHostname",
        "GetNetworkDefaultGateway", "GetNetworkInterfaces", "GetNetworkProtocols", "GetProfile", "GetProfiles",
        "GetServices", "GetSystemDateAndTime", "SetNetworkDefaultGateway", "SetNetworkInterfaces",
        "SetNetworkProtocols", "SystemReboot" };
    return operations.count(operation) > 0;
}

bool PreAuthentication(const std::string& operation)
{
    return operation == "GetSystemDateAndTime" || operation == "GetCapabilities" || operation == "GetServices"
        || operation == "GetHostname";
}

int BindUdp(const std::string& ip, uint16_t port, bool reuse)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    if (reuse)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &a.sin_addr) != 1
        || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A network change waiting for its time (or for SystemReboot).
struct Change
{
    std::optional<std::string> ip;
    std::optional<int> prefixLength;
    std::optional<bool> dhcp;
    std::optional<uint16_t> webPort;
};

struct Datagram
{
    Clock::time_point due;
    sockaddr_in to {};
    std::string payload;
};
} // namespace

OnvifState OnvifStateFor(const std::string& ip, int index, int prefixLength)
{
    OnvifState s;
    s.ip = ip;
    in_addr a {};
    if (inet_pton(AF_INET, ip.c_str(), &a) == 1 && prefixLength >= 1 && prefixLength <= 30) {
        const uint32_t host = ntohl(a.s_addr);
        const uint32_t mask = ~uint32_t(0) << (32 - prefixLength);
        uint32_t gateway = (host & mask) + 1;
        if (gateway == host)
            gateway = (host | ~mask) - 1;
        in_addr g {};
        g.s_addr = htonl(gateway);
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &g, text, sizeof text);
        s.prefixLength = prefixLength;
        s.gateway = text;
        s.dns = text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "urn:uuid:5a560000-0000-4000-8000-%012x", index);
    s.endpoint = text;
    std::snprintf(
        text, sizeof text, "02:5a:56:%02x:%02x:%02x", (index >> 16) & 0xff, (index >> 8) & 0xff, index & 0xff);
    s.mac = text;
    s.name = "Camera " + std::to_string(index);
    std::snprintf(text, sizeof text, "ZV%010d", index);
    s.serial = text;
    return s;
}

struct FakeOnvif::Impl
{
    Options options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    OnvifState state;
    OnvifFaults faults;
    bool connected = false; // silentAfterConnect: the connection was made
    std::deque<OnvifRequest> requests;
    std::set<std::string> nonces;
    std::deque<std::string> nonceOrder;
    struct DigestNonce
    {
        int uses = 0;
        uint32_t lastNc = 0;
    };
    std::map<std::string, DigestNonce> digestNonces;
    std::deque<std::string> digestNonceOrder;
    std::mt19937_64 nonceRandom { std::random_device {}() };
    int probes = 0;
    std::set<std::string> probeIds;
    std::deque<std::string> probeIdOrder;
    Change staged; // waits for SystemReboot
    std::optional<Clock::time_point> applyAt;
    Change pending; // applied at applyAt
    bool stopping = false;
    bool rebindHttp = true;
    int discoveryGeneration = 1; // bumped when the address or port changes
    bool httpBound = false;
    bool discoveryBound = false;
    std::unique_ptr<HttpServer> server; // the mover thread only, and the destructor
    std::thread mover;
    std::thread responder;

    // ---- HTTP ---------------------------------------------------------------------------------

    bool CheckToken(const QDomElement& header, OnvifRequest& request, const OnvifState& s)
    {
        const QDomElement token = Find(header, "UsernameToken");
        if (token.isNull())
            return false;
        request.tokenSent = true;
        request.user = Text(Find(token, "Username"));
        const QDomElement password = Find(token, "Password");
        const std::string nonceText = Text(Find(token, "Nonce"));
        request.created = Text(Find(token, "Created"));
        if (request.user != s.user) {
            request.authError = "user";
            return false;
        }
        if (!password.attribute(QStringLiteral("Type")).endsWith(QLatin1String("#PasswordDigest"))) {
            request.authError = "password type";
            return false;
        }
        const QByteArray nonce = QByteArray::fromBase64(QByteArray::fromStdString(nonceText));
        if (nonce.isEmpty()) {
            request.authError = "nonce";
            return false;
        }
        QDateTime created = QDateTime::fromString(QString::fromStdString(request.created), Qt::ISODateWithMs);
        if (!created.isValid())
            created = QDateTime::fromString(QString::fromStdString(request.created), Qt::ISODate);
        if (!created.isValid() || created.timeSpec() != Qt::UTC) {
            request.authError = "created";
            return false;
        }
        const int64_t deviceNow = QDateTime::currentSecsSinceEpoch() + s.clockOffsetSeconds;
        if (std::llabs(created.toSecsSinceEpoch() - deviceNow) > s.createdWindowSeconds) {
            request.authError = "created out of window";
            return false;
        }
        if (Text(password) != Sha1Base64(nonce.toStdString() + request.created + s.password)) {
            request.authError = "digest";
            return false;
        }
        const std::string nonceKey = nonceText + " " + request.created;
        if (s.refuseReplayedNonce && nonces.count(nonceKey)) {
            request.authError = "nonce replayed";
            return false;
        }
        nonces.insert(nonceKey);
        nonceOrder.push_back(nonceKey);
        if (nonceOrder.size() > kMaxNonces) {
            nonces.erase(nonceOrder.front());
            nonceOrder.pop_front();
        }
        return true;
    }

    void Record(OnvifRequest request)
    {
        if (requests.size() >= kMaxRequests)
            requests.pop_front();
        requests.push_back(std::move(request));
        changed.notify_all();
    }

    static void Merge(Change& into, const Change& change)
    {
        if (change.ip)
            into.ip = change.ip;
        if (change.prefixLength)
            into.prefixLength = change.prefixLength;
        if (change.dhcp)
            into.dhcp = change.dhcp;
        if (change.webPort)
            into.webPort = change.webPort;
    }

    void Schedule(const Change& change)
    {
        Merge(pending, change);
        applyAt = Clock::now() + std::chrono::milliseconds(kApplyDelayMs);
        changed.notify_all();
    }

    void Stage(const Change& change)
    {
        if (state.rebootNeeded)
            Merge(staged, change);
        else
            Schedule(change);
    }

    static constexpr const char* kRealm = "ONVIF Camera";

    static std::string MediaPath(const OnvifState& s)
    {
        return s.servicePath.substr(0, s.servicePath.rfind('/') + 1) + "media_service";
    }

    static std::string Origin(const OnvifState& s)
    {
        return std::string(s.https ? "https://" : "http://") + s.ip + ":" + std::to_string(s.webPort);
    }

    // Checks the HTTP Digest of a request; stale is set for a nonce that has
    // been used up or is unknown when the rest of the answer checks out.
    bool CheckDigest(const HttpRequest& http, OnvifRequest& request, const OnvifState& s, bool& stale)
    {
        stale = false;
        const std::string header = http.Header("Authorization");
        std::map<std::string, std::string> p;
        if (header.empty()) {
            request.digestError = "none";
            return false;
        }
        request.digestSent = true;
        if (!ParseDigestHeader(header, p)) {
            request.digestError = "malformed";
            return false;
        }
        const std::string algorithm = p.count("algorithm") ? p["algorithm"] : "MD5";
        request.digestAlgorithm = algorithm;
        request.digestNonce = p["nonce"];
        const EVP_MD* md = nullptr;
        for (const std::string& offered : s.digestAlgorithms) {
            if (SameNoCase(offered, algorithm))
                md = SameNoCase(algorithm, "SHA-256") ? EVP_sha256()
                    : SameNoCase(algorithm, "MD5")    ? EVP_md5()
                                                      : nullptr;
        }
        if (!md) {
            request.digestError = "algorithm";
            return false;
        }
        if (p["username"] != s.user || p.count("userhash") || p["realm"] != kRealm) {
            request.digestError = "user";
            return false;
        }
        const std::string nc = p["nc"];
        if (p["qop"] != "auth" || p["cnonce"].empty() || nc.size() != 8
            || nc.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            request.digestError = "qop";
            return false;
        }
        request.digestNc = static_cast<uint32_t>(std::strtoul(nc.c_str(), nullptr, 16));
        if (p["uri"] != http.path) {
            request.digestError = "uri";
            return false;
        }
        const std::string ha1 = HexDigest(md, s.user + ":" + kRealm + ":" + s.password);
        const std::string ha2 = HexDigest(md, http.method + ":" + p["uri"]);
        const std::string expected
            = HexDigest(md, ha1 + ":" + p["nonce"] + ":" + nc + ":" + p["cnonce"] + ":auth:" + ha2);
        if (!SameNoCase(p["response"], expected)) {
            request.digestError = "response";
            return false;
        }
        const auto it = digestNonces.find(p["nonce"]);
        if (it == digestNonces.end() || (s.digestNonceUses > 0 && it->second.uses >= s.digestNonceUses)) {
            request.digestError = "nonce stale";
            stale = true;
            return false;
        }
        if (request.digestNc <= it->second.lastNc) {
            request.digestError = "nonce count replayed";
            return false;
        }
        ++it->second.uses;
        it->second.lastNc = request.digestNc;
        request.digestOk = true;
        return true;
    }

    HttpResponse DigestChallenge(const OnvifState& s, bool stale)
    {
        const std::string nonce = RandomHex(nonceRandom);
        digestNonces[nonce] = DigestNonce();
        digestNonceOrder.push_back(nonce);
        if (digestNonceOrder.size() > kMaxNonces) {
            digestNonces.erase(digestNonceOrder.front());
            digestNonceOrder.pop_front();
        }
        HttpResponse r;
        r.status = 401;
        for (const std::string& algorithm : s.digestAlgorithms)
            r.headers.emplace_back("WWW-Authenticate",
                std::string("Digest realm=\"") + kRealm + "\", qop=\"auth\", algorithm=" + algorithm + ", nonce=\""
                    + nonce + "\", opaque=\"5a56\"" + (stale ? ", stale=true" : ""));
        r.headers.emplace_back("Content-Type", "text/html");
        r.body = "<html><body>401 Unauthorized</body></html>";
        return r;
    }

    HttpResponse Serve(const HttpRequest& http)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (http.path != state.servicePath && http.path != MediaPath(state)) {
                HttpResponse r;
                r.status = 404;
                r.headers.emplace_back("Content-Type", "text/html");
                r.body = "<html><body>404 Not Found</body></html>";
                return r;
            }
        }
        QDomDocument document;
        if (!SetContent(document, QByteArray::fromStdString(http.body)))
            return Fault("Sender", "WellFormed", "not well formed");
        const QDomElement envelope = document.documentElement();
        const QDomElement body = envelope.firstChildElement(QStringLiteral("Body"));
        const QDomElement operation = body.firstChildElement();
        if (envelope.localName() != QLatin1String("Envelope") || envelope.namespaceURI() != QLatin1String(kSoap12)
            || operation.isNull())
            return Fault("Sender", "WellFormed", "no SOAP 1.2 envelope");

        std::lock_guard<std::mutex> lock(mutex);
        OnvifRequest request;
        request.operation = operation.localName().toStdString();
        request.tls = http.tls;
        request.body = http.body;
        const std::string name = request.operation;
        const bool open = PreAuthentication(name) && !(name == "GetSystemDateAndTime" && faults.timeNeedsAuth);
        bool stale = false;
        // HTTP comes first: a request it refuses is never read, its token not spent.
        const bool digestOk = !state.httpDigest || open || CheckDigest(http, request, state, stale);
        if (digestOk)
            request.authenticated = CheckToken(envelope.firstChildElement(QStringLiteral("Header")), request, state);
        const bool authenticated = request.authenticated || !state.tokenRequired;
        if (faults.silentAfterConnect && connected) {
            Record(request);
            HttpResponse silent;
            silent.neverAnswer = true;
            return silent;
        }
        if (faults.silentAfterConnect && authenticated && name == "GetDeviceInformation")
            connected = true;
        HttpResponse response;
        if (!digestOk) {
            response = DigestChallenge(state, stale);
        } else if (const auto canned = faults.replies.find(name); canned != faults.replies.end()) {
            response.status = canned->second.status;
            response.headers.emplace_back("Content-Type", "application/soap+xml; charset=utf-8");
            response.body = canned->second.body;
            response.fillerBytes = canned->second.fillerBytes;
            response.delayMs = canned->second.delayMs;
            response.cutBody = canned->second.cutBody;
        } else if (!Implemented(name)) {
            response = Fault("Receiver", "ActionNotSupported", "not supported");
        } else if (!open && !authenticated) {
            response = Fault("Sender", "NotAuthorized", "Sender not Authorized");
        } else {
            response = Operation(name, operation);
        }
        request.status = response.status;
        Record(request);
        return response;
    }

    HttpResponse Operation(const std::string& name, const QDomElement& op)
    {
        OnvifState& s = state;
        const std::string deviceService = Origin(s) + s.servicePath;
        const std::string mediaService = Origin(s) + MediaPath(s);
        if (name == "GetSystemDateAndTime") {
            const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(s.clockOffsetSeconds);
            const QDate d = now.date();
            const QTime t = now.time();
            return Soap(200,
                "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>Manual</tt:DateTimeType>"
                "<tt:DaylightSavings>false</tt:DaylightSavings><tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone>"
                "<tt:UTCDateTime><tt:Time><tt:Hour>"
                    + std::to_string(t.hour()) + "</tt:Hour><tt:Minute>" + std::to_string(t.minute())
                    + "</tt:Minute><tt:Second>" + std::to_string(t.second())
                    + "</tt:Second></tt:Time><tt:Date><tt:Year>" + std::to_string(d.year()) + "</tt:Year><tt:Month>"
                    + std::to_string(d.month()) + "</tt:Month><tt:Day>" + std::to_string(d.day())
                    + "</tt:Day></tt:Date></tt:UTCDateTime></tds:SystemDateAndTime></"
                      "tds:GetSystemDateAndTimeResponse>");
        }
        if (name == "GetDeviceInformation")
            return Soap(200,
                "<tds:GetDeviceInformationResponse><tds:Manufacturer>" + Escape(s.manufacturer)
                    + "</tds:Manufacturer><tds:Model>" + Escape(s.hardware) + "</tds:Model><tds:FirmwareVersion>"
                    + Escape(s.firmware) + "</tds:FirmwareVersion><tds:SerialNumber>" + Escape(s.serial)
                    + "</tds:SerialNumber><tds:HardwareId>1</tds:HardwareId></tds:GetDeviceInformationResponse>");
        if (name == "GetHostname")
            return Soap(200,
                "<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false</tt:FromDHCP><tt:Name>"
                    + Escape(s.name) + "</tt:Name></tds:HostnameInformation></tds:GetHostnameResponse>");
        if (name == "GetCapabilities")
            return Soap(200,
                "<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device><tt:XAddr>" + deviceService
                    + "</tt:XAddr></tt:Device><tt:Media><tt:XAddr>" + mediaService
                    + "</tt:XAddr></tt:Media></tds:Capabilities></tds:GetCapabilitiesResponse>");
        if (name == "GetServices") {
            auto entry = [](const char* nsUri, const std::string& xaddr, int major, int minor) {
                return std::string("<tds:Service><tds:Namespace>") + nsUri + "</tds:Namespace><tds:XAddr>" + xaddr
                    + "</tds:XAddr><tds:Version><tt:Major>" + std::to_string(major) + "</tt:Major><tt:Minor>"
                    + std::to_string(minor) + "</tt:Minor></tds:Version></tds:Service>";
            };
            return Soap(200,
                "<tds:GetServicesResponse>" + entry("http://www.onvif.org/ver10/device/wsdl", deviceService, 2, 60)
                    + entry("http://www.onvif.org/ver10/media/wsdl", mediaService, 2, 60)
                    + "</tds:GetServicesResponse>");
        }
        if (name == "GetProfiles" || name == "GetProfile") {
            const std::string profile = std::string(name == "GetProfiles" ? "<trt:Profiles" : "<trt:Profile")
                + " token=\"Profile_1\" fixed=\"true\"><tt:Name>MainStream</tt:Name>"
                + (name == "GetProfiles" ? "</trt:Profiles>" : "</trt:Profile>");
            return Soap(200, "<trt:" + name + "Response>" + profile + "</trt:" + name + "Response>");
        }
        if (name == "GetNetworkInterfaces") {
            const std::string address = "<tt:Address>" + s.ip + "</tt:Address><tt:PrefixLength>"
                + std::to_string(s.prefixLength) + "</tt:PrefixLength>";
            return Soap(200,
                "<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"" + Escape(s.interfaceToken)
                    + "\"><tt:Enabled>true</tt:Enabled><tt:Info><tt:Name>" + Escape(s.interfaceToken)
                    + "</tt:Name><tt:HwAddress>" + s.mac
                    + "</tt:HwAddress><tt:MTU>1500</tt:MTU></tt:Info><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>"
                    + (s.dhcp ? "<tt:FromDHCP>" + address + "</tt:FromDHCP>" : "<tt:Manual>" + address + "</tt:Manual>")
                    + "<tt:DHCP>" + (s.dhcp ? "true" : "false")
                    + "</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>");
        }
        if (name == "SetNetworkInterfaces") {
            if (Text(Find(op, "InterfaceToken")) != s.interfaceToken)
                return Fault("Sender", "InvalidArgVal", "no such interface");
            const QDomElement ipv4 = Find(op, "IPv4");
            Change change;
            const std::string dhcp = Text(Find(ipv4, "DHCP"));
            if (dhcp == "true" || dhcp == "false")
                change.dhcp = dhcp == "true";
            const QDomElement manual = Find(ipv4, "Manual");
            if (!manual.isNull()) {
                const std::string address = Text(Find(manual, "Address"));
                bool ok = false;
                const int prefix = QString::fromStdString(Text(Find(manual, "PrefixLength"))).toInt(&ok);
                if (!ValidIpv4(address) || !ok || prefix < 1 || prefix > 32)
                    return Fault("Sender", "InvalidArgVal", "bad address");
                change.ip = address;
                change.prefixLength = prefix;
            }
            const bool reboot = s.rebootNeeded;
            Stage(change);
            return Soap(200,
                std::string("<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>") + (reboot ? "true" : "false")
                    + "</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>");
        }
        if (name == "GetNetworkDefaultGateway")
            return Soap(200,
                "<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway><tt:IPv4Address>" + s.gateway
                    + "</tt:IPv4Address></tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>");
        if (name == "SetNetworkDefaultGateway") {
            const std::string gateway = Text(Find(op, "IPv4Address"));
            if (!ValidIpv4(gateway))
                return Fault("Sender", "InvalidArgVal", "bad gateway");
            s.gateway = gateway;
            return Soap(200, "<tds:SetNetworkDefaultGatewayResponse/>");
        }
        // The web port is the HTTP or the HTTPS port, as the device serves it.
        const std::string webProtocol = s.https ? "HTTPS" : "HTTP";
        if (name == "GetNetworkProtocols")
            return Soap(200,
                "<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>" + webProtocol
                    + "</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>" + std::to_string(s.webPort)
                    + "</tt:Port></tds:NetworkProtocols><tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>true"
                      "</tt:Enabled><tt:Port>554</tt:Port></tds:NetworkProtocols></tds:GetNetworkProtocolsResponse>");
        if (name == "SetNetworkProtocols") {
            for (QDomElement p = Find(op, "NetworkProtocols"); !p.isNull(); p = p.nextSiblingElement()) {
                if (Text(Find(p, "Name")) != webProtocol)
                    continue;
                bool ok = false;
                const int port = QString::fromStdString(Text(Find(p, "Port"))).toInt(&ok);
                if (!ok || port < 1 || port > 65535)
                    return Fault("Sender", "InvalidArgVal", "bad port");
                Change change;
                change.webPort = static_cast<uint16_t>(port);
                Stage(change);
            }
            return Soap(200, "<tds:SetNetworkProtocolsResponse/>");
        }
        if (name == "GetDNS")
            return Soap(200,
                "<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>false</tt:FromDHCP><tt:DNSManual><tt:Type>IPv4"
                "</tt:Type><tt:IPv4Address>"
                    + s.dns + "</tt:IPv4Address></tt:DNSManual></tds:DNSInformation></tds:GetDNSResponse>");
        if (name == "SystemReboot") {
            ++s.reboots;
            Schedule(staged);
            staged = Change();
            return Soap(
                200, "<tds:SystemRebootResponse><tds:Message>Rebooting</tds:Message></tds:SystemRebootResponse>");
        }
        return Fault("Receiver", "ActionNotSupported", "not supported");
    }

    // ---- moving and binding (mover thread) -------------------------------------------------------

    void MoverLoop()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            if (rebindHttp && !options.webServer) {
                rebindHttp = false;
                httpBound = true;
                changed.notify_all();
                continue;
            }
            if (rebindHttp) {
                rebindHttp = false;
                HttpServer::Options o;
                o.ip = state.ip;
                o.port = state.webPort;
                o.scheme = state.https ? HttpServer::Scheme::Https : HttpServer::Scheme::Http;
                o.maxConnections = 16;
                o.idleSeconds = 5;
                httpBound = false;
                std::unique_ptr<HttpServer> old = std::move(server);
                lock.unlock();
                old.reset(); // frees the port before the new server takes it
                auto fresh = std::make_unique<HttpServer>(o, [this](const HttpRequest& r) { return Serve(r); });
                lock.lock();
                httpBound = fresh->Listening();
                server = std::move(fresh);
                changed.notify_all();
                continue;
            }
            if (applyAt && Clock::now() >= *applyAt) {
                Change change = pending;
                pending = Change();
                applyAt.reset();
                Apply(change, lock);
                continue;
            }
            if (applyAt)
                changed.wait_until(lock, *applyAt);
            else
                changed.wait(lock);
        }
    }

    void Apply(const Change& change, std::unique_lock<std::mutex>& lock)
    {
        if (change.dhcp)
            state.dhcp = *change.dhcp;
        if (change.prefixLength)
            state.prefixLength = *change.prefixLength;
        bool moved = false;
        if (change.ip && *change.ip != state.ip) {
            const std::string ip = *change.ip;
            const int prefix = state.prefixLength;
            bool ok = true;
            if (options.addAddress) {
                lock.unlock();
                ok = options.addAddress(ip, prefix);
                lock.lock();
            }
            if (ok) {
                state.ip = ip;
                moved = true;
            }
        }
        if (change.webPort && *change.webPort != state.webPort) {
            state.webPort = *change.webPort;
            moved = true;
        }
        if (moved) {
            rebindHttp = true;
            ++discoveryGeneration;
        }
        changed.notify_all();
    }

    // ---- discovery (responder thread) --------------------------------------------------------------

    std::string ProbeMatches(const std::string& relatesTo, const OnvifState& s, const std::string& xaddrs) const
    {
        const std::string scopes = "onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming "
                                   "onvif://www.onvif.org/name/"
            + PercentEncode(s.name) + " onvif://www.onvif.org/hardware/" + PercentEncode(s.hardware)
            + " onvif://www.onvif.org/MAC/" + PercentEncode(s.mac) + " onvif://www.onvif.org/location/";
        return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"") + kSoap12
            + "\" xmlns:wsa=\"" + kAddressing + "\" xmlns:d=\"" + kDiscovery
            + "\" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
              "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"><SOAP-ENV:Header><wsa:MessageID>urn:uuid:"
            + std::to_string(std::random_device {}()) + "</wsa:MessageID><wsa:RelatesTo>" + Escape(relatesTo)
            + "</wsa:RelatesTo><wsa:To>" + kAddressing + "/role/anonymous</wsa:To><wsa:Action>" + kDiscovery
            + "/ProbeMatches</wsa:Action></SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch>"
              "<wsa:EndpointReference><wsa:Address>"
            + Escape(s.endpoint)
            + "</wsa:Address></wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>"
              "<d:Scopes>"
            + Escape(scopes) + "</d:Scopes><d:XAddrs>" + Escape(xaddrs)
            + "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body>"
              "</SOAP-ENV:Envelope>";
    }

    // Answers a Probe (not its repeat); queues the answer's datagrams.
    void OnDatagram(
        const char* data, size_t size, const sockaddr_in& from, std::deque<Datagram>& queue, std::mt19937& random)
    {
        QDomDocument document;
        if (!SetContent(document, QByteArray(data, static_cast<int>(size))))
            return;
        const QDomElement envelope = document.documentElement();
        const QDomElement probe = envelope.firstChildElement(QStringLiteral("Body")).firstChildElement();
        if (probe.localName() != QLatin1String("Probe") || probe.namespaceURI() != QLatin1String(kDiscovery))
            return;
        const std::string messageId = Text(Find(envelope.firstChildElement(QStringLiteral("Header")), "MessageID"));
        const QStringList types
            = QString::fromStdString(Text(Find(probe, "Types"))).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& t : types) {
            const QString local = t.section(QLatin1Char(':'), -1);
            if (local != QLatin1String("NetworkVideoTransmitter") && local != QLatin1String("Device"))
                return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (messageId.empty() || probeIds.count(messageId))
            return; // a retransmission of a probe already answered
        probeIds.insert(messageId);
        probeIdOrder.push_back(messageId);
        if (probeIdOrder.size() > kMaxNonces) {
            probeIds.erase(probeIdOrder.front());
            probeIdOrder.pop_front();
        }
        ++probes;
        changed.notify_all();
        if (faults.noProbeAnswer)
            return;
        const std::string xaddrs = faults.xaddrs.empty() ? Origin(state) + state.servicePath : faults.xaddrs;
        std::string payload = faults.probeReply.empty() ? ProbeMatches(messageId, state, xaddrs) : faults.probeReply;
        const std::string relatesTo = Escape(messageId);
        for (size_t at = payload.find("{relatesTo}"); at != std::string::npos;
             at = payload.find("{relatesTo}", at + relatesTo.size()))
            payload.replace(at, 11, relatesTo);
        const int delay
            = faults.probeDelayMaxMs > 0 ? std::uniform_int_distribution<int>(0, faults.probeDelayMaxMs)(random) : 0;
        for (int i = 0; i < std::max(1, faults.probeCopies); ++i)
            queue.push_back({ Clock::now() + std::chrono::milliseconds(delay + 50 * i), from, payload });
    }

    void ResponderLoop()
    {
        std::mt19937 random(std::random_device {}());
        int unicast = -1, group = -1;
        int generation = 0;
        std::deque<Datagram> queue;
        std::vector<char> buffer(65536);
        for (;;) {
            std::string ip;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (stopping)
                    break;
                if (generation != discoveryGeneration || unicast < 0) {
                    generation = discoveryGeneration;
                    if (unicast >= 0)
                        ::close(unicast);
                    if (group >= 0)
                        ::close(group);
                    unicast = BindUdp(state.ip, options.discoveryPort, options.multicast);
                    group = -1;
                    if (unicast >= 0 && options.multicast) {
                        group = BindUdp(kGroup, options.discoveryPort, true);
                        ip_mreq join {};
                        inet_pton(AF_INET, kGroup, &join.imr_multiaddr);
                        inet_pton(AF_INET, state.ip.c_str(), &join.imr_interface);
                        const int off = 0;
                        if (group >= 0
                            && (setsockopt(group, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0
                                || setsockopt(group, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0)) {
                            ::close(group);
                            group = -1;
                        }
                    }
                    discoveryBound = unicast >= 0 && (!options.multicast || group >= 0);
                    changed.notify_all();
                }
            }
            const auto now = Clock::now();
            while (!queue.empty() && queue.front().due <= now) {
                const Datagram& d = queue.front();
                if (unicast >= 0)
                    ::sendto(unicast, d.payload.data(), d.payload.size(), MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr*>(&d.to), sizeof d.to);
                queue.pop_front();
            }
            std::sort(queue.begin(), queue.end(), [](const Datagram& a, const Datagram& b) { return a.due < b.due; });
            int timeout = 100;
            if (!queue.empty())
                timeout = static_cast<int>(std::clamp<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(queue.front().due - Clock::now()).count(), 0,
                    100));
            if (unicast < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the address may come later
                std::lock_guard<std::mutex> lock(mutex);
                generation = 0;
                continue;
            }
            pollfd fds[2] = { { unicast, POLLIN, 0 }, { group, POLLIN, 0 } };
            if (::poll(fds, group >= 0 ? 2 : 1, timeout) <= 0)
                continue;
            for (const pollfd& p : fds) {
                if (p.fd < 0 || !(p.revents & POLLIN))
                    continue;
                sockaddr_in from {};
                socklen_t length = sizeof from;
                const ssize_t n = ::recvfrom(
                    p.fd, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
                if (n > 0)
                    OnDatagram(buffer.data(), static_cast<size_t>(n), from, queue, random);
            }
        }
        if (unicast >= 0)
            ::close(unicast);
        if (group >= 0)
            ::close(group);
    }
};

FakeOnvif::FakeOnvif(OnvifState state)
    : FakeOnvif(std::move(state), Options())
{
}

FakeOnvif::FakeOnvif(OnvifState state, Options options)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->options = std::move(options);
    m_impl->state = std::move(state);
    Impl* impl = m_impl.get();
    impl->mover = std::thread([impl]() { impl->MoverLoop(); });
    impl->responder = std::thread([impl]() { impl->ResponderLoop(); });
}

FakeOnvif::~FakeOnvif()
{
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->stopping = true;
        m_impl->changed.notify_all();
    }
    m_impl->mover.join();
    m_impl->responder.join();
    std::unique_ptr<HttpServer> server;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        server = std::move(m_impl->server);
    }
    server.reset();
}

bool FakeOnvif::WaitListening(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
        [this]() { return m_impl->httpBound && m_impl->discoveryBound && !m_impl->rebindHttp && !m_impl->applyAt; });
}

OnvifState FakeOnvif::State() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->state;
}

void FakeOnvif::Update(const std::function<void(OnvifState&)>& change)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const std::string ip = m_impl->state.ip;
    const uint16_t port = m_impl->state.webPort;
    const bool https = m_impl->state.https;
    change(m_impl->state);
    if (m_impl->state.ip != ip || m_impl->state.webPort != port || m_impl->state.https != https) {
        m_impl->rebindHttp = true;
        ++m_impl->discoveryGeneration;
        m_impl->httpBound = false;
    }
    m_impl->changed.notify_all();
}

void FakeOnvif::SetFaults(const OnvifFaults& faults)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->faults = faults;
}

std::vector<OnvifRequest> FakeOnvif::Requests() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return std::vector<OnvifRequest>(m_impl->requests.begin(), m_impl->requests.end());
}

int FakeOnvif::CountRequests(const std::string& operation) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return static_cast<int>(std::count_if(m_impl->requests.begin(), m_impl->requests.end(),
        [&operation](const OnvifRequest& r) { return r.operation == operation; }));
}

int FakeOnvif::Probes() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->probes;
}

void FakeOnvif::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->requests.clear();
    m_impl->probes = 0;
}

HttpResponse FakeOnvif::Serve(const HttpRequest& request)
{
    return m_impl->Serve(request);
}
} // namespace fakedevice
