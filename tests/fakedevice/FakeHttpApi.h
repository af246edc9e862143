#pragma once

// The fake device's HTTP JSON API (sdk/PROTOCOL-HTTP.md): login and logout,
// session checks, both key requests, the device side of both password
// protections, the first password, the user password and the firmware
// upload, with fault injection and what the device received for the test
// to read. Every public function is thread-safe.

#include "HttpServer.h"
#include "HttpSettings.h"

#include <json/json.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fakedevice
{
// What the HTTP side of a device remembers.
struct HttpDeviceState
{
    std::string user = "admin";
    std::string password = "admin123";
    bool initialised = true; // false: no password yet; only the first-password requests are served
    int iterations = 1000; // PBKDF2 count of the login and key-request salts
    size_t saltBytes = 16; // key-request salt size (the protocol allows up to 32)
    int deviceType = 1; // login reply "device_type"
    std::string upgradeToken; // expected "X-Upgrade-Token"; empty accepts any
    int failuresBeforeBlock = 5; // consecutive failed logins that block logins
    int blockSeconds = 60;
    // The device's X25519 key pair and login salt (raw bytes); made at start when empty.
    std::string privateKey;
    std::string publicKey;
    std::string loginSalt;
    // Flags of the last password-recovery request.
    Json::Value recoveryFlags;
    // Members of the range reply's "device_info" (sdk/PROTOCOL-HTTP.md, section 7),
    // laid over the defaults; "ip", "web port" and "is first login" follow the
    // device unless set here.
    Json::Value rangeInfo;
    // Body of the plain-HTTP first-login probe (GET /new-cgi-bin/mediaport.cgi);
    // empty: "FirstLoginFlag=1" while not initialised, else "=0", after the media port.
    std::string mediaPortCgi;

    // Network settings (/API/NetworkConfig/NetBase/Set) beside the address and
    // port the device serves at (FakeHttpApi::Ip and Port).
    std::string netmask = "255.0.0.0";
    std::string gateway = "127.0.0.1";
    std::string dns1 = "127.0.0.1";
    std::string dns2;
    bool dhcp = false;
    // Groups the reset offers (/API/Maintenance/Reset/Range), and the settings
    // of those it restores besides the network, by group name; a reset brings
    // back the value the device started with (see FakeHttpMaintenance.cpp).
    std::vector<std::string> resetRange { "channel", "record", "event", "ai", "network", "except_network_param",
        "device", "system", "alarm", "secondary_authentication" };
    std::map<std::string, std::string> groupSettings { { "channel", "factory" }, { "record", "factory" },
        { "event", "factory" }, { "ai", "factory" }, { "device", "factory" }, { "system", "factory" },
        { "alarm", "factory" } };
    int resets = 0; // reset requests applied
    int reboots = 0;
    int rebootMs = 300; // a reboot keeps the device away this long
    // Streams, on-screen display, clock, parameter set and firmware upgrade.
    HttpSettings settings;
};

// Faults a test can switch on at any time.
struct HttpFaults
{
    // The reply faults apply to this path only; empty: to every path but the
    // first-login probe, which takes neverAnswer and delayMs when named here.
    std::string path;
    bool neverAnswer = false; // read the request, never answer
    bool silentAfterLogin = false; // once a login made a session, only the login paths are answered
    int delayMs = 0; // before answering
    int status = 0; // non-zero: refuse with this HTTP status, change nothing
    std::string location; // with status: a Location header (a redirect)
    bool notJson = false; // HTTP 200 with a body that is not JSON
    size_t oversizedBytes = 0; // non-zero: HTTP 200 with a body of this many bytes
    std::string rawBody; // non-empty: HTTP 200 with exactly these bytes
    bool cutBody = false; // the reply's head announces the whole body, half of it comes, then the connection closes
    bool zeroDeviceKey = false; // device-key entries carry 32 zero bytes (a small-order point)
    // Firmware uploads: >= 0 closes the connection, or stops reading for good,
    // once that many body bytes arrived.
    int64_t uploadDropAfter = -1;
    int64_t uploadStallAfter = -1;
    bool uploadAnswerBeforeDrop = false; // answer 200 first, then reset the link
    int64_t uploadReadBytesPerSecond = 0; // > 0: uploads are read no faster
    // Last word on every JSON reply before it goes out (wrong types, missing members).
    std::function<void(const std::string& path, Json::Value& reply)> editReply;
};

struct HttpExchange
{
    HttpRequest request;
    int status = 0;
    std::string reply;
};

// What the device made of the protections of the last request that carried any.
struct ProtectionCheck
{
    std::string path;
    bool authenticationSent = false; // data.base_secondary_authentication
    bool authenticationOk = false;
    bool passwordSent = false; // a base_enc_password object in data
    bool passwordDecrypted = false;
    std::string password; // the decrypted new password
    std::string error; // the step that failed
};

struct HttpSession
{
    std::string cookie; // "name=value", as the Cookie header carries it
    std::string token; // X-csrftoken
};

class FakeHttpApi
{
public:
    using Scheme = HttpServer::Scheme;

    struct Options
    {
        std::string ip = "127.0.0.1";
        uint16_t port = 0; // 0: any free port
        Scheme scheme = Scheme::Http;
        int maxSessions = 16;
        int sessionIdleSeconds = 600;
    };

    // One request to a path, for handlers added by tests and later endpoints.
    struct Call
    {
        const HttpRequest& request;
        const Json::Value& body; // null when the request had none
        const std::string* newPassword; // decrypted base_enc_password, when the request carried one
        bool authenticated; // a base_secondary_authentication was sent and verified
        HttpDeviceState& state; // under the device's lock
        HttpHeaders& replyHeaders;
    };
    // Returns the HTTP status and fills reply.
    using Handler = std::function<int(const Call& call, Json::Value& reply)>;

    explicit FakeHttpApi(HttpDeviceState state = HttpDeviceState());
    FakeHttpApi(HttpDeviceState state, Options options);
    ~FakeHttpApi();
    FakeHttpApi(const FakeHttpApi&) = delete;
    FakeHttpApi& operator=(const FakeHttpApi&) = delete;

    bool Listening() const;
    uint16_t Port() const;
    std::string Ip() const;
    std::string Base(bool https) const; // "http://ip:port" or "https://ip:port"

    HttpDeviceState State() const;
    void Update(const std::function<void(HttpDeviceState&)>& change);
    void SetFaults(const HttpFaults& faults);
    // needsSession: refused with 401 without a valid cookie and X-csrftoken.
    void SetHandler(const std::string& path, bool needsSession, Handler handler);
    // Requests whose path starts with pathPrefix go to handler as they came, outside the device's
    // lock and untouched by faults (another service on the same web port, such as ONVIF's
    // "/onvif/"); they are recorded like the others. A null handler removes the prefix.
    void SetRawHandler(const std::string& pathPrefix, HttpServer::Handler handler);

    HttpSession OpenSession(); // as a successful login makes one
    int Sessions() const;
    int OpenConnections() const;

    std::vector<HttpExchange> Exchanges() const;
    bool LastExchange(const std::string& path, HttpExchange& exchange) const;
    int CountRequests(const std::string& path) const;
    bool WaitRequests(const std::string& path, int count, int timeoutMs) const;
    void ClearExchanges();
    ProtectionCheck LastProtection() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Devices at each address, all on one port (when port is 0, the free port the
// first one got). tweak adjusts each device's state and options before it
// starts. Stops at the first device that cannot listen.
std::vector<std::unique_ptr<FakeHttpApi>> MakeHttpDevices(const std::vector<std::string>& addresses, uint16_t port,
    const std::function<void(size_t index, HttpDeviceState& state, FakeHttpApi::Options& options)>& tweak = {});

// The login exchange's proof: HMAC-SHA256 keyed with PBKDF2-HMAC-SHA256 of the
// password, over the label, both nonces and the user name (raw bytes).
std::string LoginProof(const std::string& password, const std::string& salt, int iterations, const std::string& nonce,
    const std::string& clientNonce, const std::string& user);
} // namespace fakedevice
