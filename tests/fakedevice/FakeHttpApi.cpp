#include "FakeHttpApi.h"

#include "DeviceCrypto.h"
#include "FakeHttpMaintenance.h"
#include "HttpJson.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace fakedevice
{
namespace
{
using Clock = std::chrono::steady_clock;
namespace dc = devicecrypto;

constexpr const char* kCookieName = "ZVSESSION";
constexpr const char* kLoginLabel = "ZV-HTTP-LOGIN";
constexpr size_t kNonceBytes = 32;
constexpr size_t kMaxRecorded = 2000;
constexpr size_t kMaxIssued = 64; // outstanding salts, keys and nonces
constexpr auto kNonceLifetime = std::chrono::seconds(30);
constexpr int kMaxSearchDepth = 6;
const char* const kUploadPath = "/API/Maintenance/SystemUpgrade/Upgrade";

// The first object named name anywhere below value.
const Json::Value* FindObject(const Json::Value& value, const char* name, int depth = 0)
{
    if (!value.isObject() || depth > kMaxSearchDepth)
        return nullptr;
    if (const Json::Value* found = Member(value, name))
        return found;
    for (const auto& key : value.getMemberNames()) {
        if (const Json::Value* found = FindObject(value[key], name, depth + 1))
            return found;
    }
    return nullptr;
}

std::string JsonText(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

std::string CookieValue(const std::string& header)
{
    const std::string prefix = std::string(kCookieName) + "=";
    size_t pos = 0;
    while (pos < header.size()) {
        while (pos < header.size() && (header[pos] == ' ' || header[pos] == ';'))
            ++pos;
        const size_t end = header.find(';', pos);
        const std::string item = header.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (item.compare(0, prefix.size(), prefix) == 0)
            return item.substr(prefix.size());
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return std::string();
}

// What a device says about itself in the range reply.
Json::Value DefaultRangeInfo()
{
    Json::Value info(Json::objectValue);
    for (const char* text : { "device name", "device type", "device version", "dns1", "dns2", "gateway", "host name",
             "mac addr", "manufacture", "netmask", "p2p id" })
        info[text] = "";
    for (const char* number : { "channel number", "device id", "device type ull", "input pin count", "media port",
             "net interface", "output pin count", "rtsp port", "support two way talk", "version" })
        info[number] = 0;
    info["device name"] = "Camera";
    info["device type"] = "ZV-IPC-2000";
    info["device version"] = "V4.2.1 build 20260101";
    info["manufacture"] = "ZV";
    info["netmask"] = "255.0.0.0";
    info["network mode"] = "static";
    info["channel number"] = 1;
    info["rtsp port"] = 554;
    info["version"] = 1;
    return info;
}

template <typename Map> void Bound(Map& map)
{
    while (map.size() > kMaxIssued)
        map.erase(map.begin()); // the oldest sequence number
}
} // namespace

std::string LoginProof(const std::string& password, const std::string& salt, int iterations, const std::string& nonce,
    const std::string& clientNonce, const std::string& user)
{
    const std::string key = dc::Pbkdf2Sha256(password, salt, iterations, 32);
    return dc::HmacSha256(key, kLoginLabel + nonce + clientNonce + user);
}

struct FakeHttpApi::Impl
{
    struct Route
    {
        bool needsSession = false;
        Handler handler;
    };

    struct Session
    {
        std::string token;
        Clock::time_point lastUse;
    };

    struct Salt
    {
        std::string bytes;
        int iterations = 0;
    };

    struct Nonce
    {
        std::string bytes;
        std::string user;
        Clock::time_point issued;
    };

    Options options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    HttpDeviceState state;
    HttpFaults faults;
    std::map<std::string, Route> routes;
    std::map<std::string, HttpServer::Handler> rawRoutes; // by path prefix
    std::map<std::string, Session> sessions; // by cookie value
    std::map<int, Salt> salts; // by seq
    std::map<int, bool> deviceKeys; // seqs of handed-out device keys
    std::map<int, Nonce> nonces; // login challenges by seq
    int nextSeq = 1;
    int failedLogins = 0;
    Clock::time_point blockedUntil;
    std::deque<HttpExchange> exchanges;
    ProtectionCheck protection;
    // Moves to a new address and reboots, carried out once the reply that
    // caused them has gone out, by a thread of their own.
    HttpFactory factory;
    std::optional<HttpRelocation> scheduled; // by the request being handled
    std::optional<HttpRelocation> relocation; // for the relocation thread
    std::condition_variable relocationWake;
    bool stopRelocating = false;
    std::thread relocator;
    std::unique_ptr<HttpServer> server; // last: its threads stop before the rest goes

    Impl(HttpDeviceState s, Options o)
        : options(std::move(o))
        , state(std::move(s))
    {
        if (state.privateKey.size() != 32 || state.publicKey.size() != 32) {
            const dc::KeyPair pair = dc::NewX25519KeyPair();
            state.privateKey = pair.privateKey;
            state.publicKey = pair.publicKey;
        }
        if (state.loginSalt.empty())
            state.loginSalt = dc::RandomBytes(16);
        factory.state = state;
        AddRoutes();
        AddMaintenanceRoutes();
    }

    // ---- sessions ------------------------------------------------------------------------------

    HttpSession NewSession()
    {
        const auto now = Clock::now();
        for (auto it = sessions.begin(); it != sessions.end();) {
            if (now - it->second.lastUse > std::chrono::seconds(options.sessionIdleSeconds))
                it = sessions.erase(it);
            else
                ++it;
        }
        if (static_cast<int>(sessions.size()) >= options.maxSessions)
            return HttpSession();
        const std::string value = dc::ToHex(dc::RandomBytes(16));
        const std::string token = dc::ToHex(dc::RandomBytes(16));
        sessions[value] = { token, now };
        return { std::string(kCookieName) + "=" + value, token };
    }

    bool SessionValid(const HttpRequest& request)
    {
        const auto it = sessions.find(CookieValue(request.Header("Cookie")));
        if (it == sessions.end() || request.Header("X-csrftoken") != it->second.token
            || Clock::now() - it->second.lastUse > std::chrono::seconds(options.sessionIdleSeconds))
            return false;
        it->second.lastUse = Clock::now();
        return true;
    }

    int NewSeq() { return nextSeq++; }

    // ---- protections ---------------------------------------------------------------------------

    // Checks data.base_secondary_authentication against a salt this device handed out.
    bool CheckAuthentication(const Json::Value& object, std::string& error)
    {
        std::string cipher;
        int seq = 0;
        if (!TextMember(object, "cipher", cipher) || !IntMember(object, "seq", seq)) {
            error = "authentication_members";
            return false;
        }
        const auto it = salts.find(seq);
        if (it == salts.end()) {
            error = "authentication_seq";
            return false;
        }
        const Salt salt = it->second;
        salts.erase(it); // each salt answers one request
        const std::string expected
            = dc::ToBase64(dc::Pbkdf2Sha256(state.password, salt.bytes, salt.iterations, salt.bytes.size()));
        if (!dc::SameBytes(cipher, expected)) {
            error = "authentication_cipher";
            return false;
        }
        return true;
    }

    bool DecryptNewPassword(const Json::Value& object, std::string& password, std::string& error)
    {
        std::string cipher, peerKey;
        int seq = 0;
        if (!TextMember(object, "cipher", cipher) || !TextMember(object, "peer_key", peerKey)
            || !IntMember(object, "seq", seq)) {
            error = "password_members";
            return false;
        }
        if (deviceKeys.erase(seq) == 0) {
            error = "password_seq";
            return false;
        }
        return dc::DecryptPassword(state.privateKey, peerKey, cipher, password, error);
    }

    // ---- endpoints -----------------------------------------------------------------------------

    bool KeyList(const Json::Value& body, bool loginForm, Json::Value& reply)
    {
        const Json::Value* data = Member(body, "data");
        const Json::Value* types = data ? Member(*data, "type") : nullptr;
        if (!types || !types->isArray() || types->empty())
            return false;
        Json::Value list(Json::arrayValue);
        for (const Json::Value& type : *types) {
            if (!type.isString())
                return false;
            Json::Value entry(Json::objectValue);
            if (type.asString() == "base_salt" && !loginForm) {
                const int seq = NewSeq();
                const Salt salt { dc::RandomBytes(state.saltBytes), state.iterations };
                salts[seq] = salt;
                Bound(salts);
                entry["key"] = dc::ToBase64(salt.bytes);
                entry["iter"] = salt.iterations;
                entry["seq"] = seq;
            } else if (type.asString() == "base_x_public") {
                const int seq = NewSeq();
                deviceKeys[seq] = true;
                Bound(deviceKeys);
                entry["key"] = "0" + dc::ToBase64(faults.zeroDeviceKey ? std::string(32, '\0') : state.publicKey);
                entry["seq"] = seq;
            } else {
                return false;
            }
            list.append(entry);
        }
        reply = Result("success");
        reply["data"]["Key_lists"] = list;
        return true;
    }

    int Challenge(const Call& call, Json::Value& reply)
    {
        const Json::Value* data = Member(call.body, "data");
        std::string user;
        if (!data || !TextMember(*data, "username", user) || user.empty()) {
            reply = Result("failed", "bad_request");
            return 400;
        }
        // Unknown users get a stable salt of their own, so that a challenge
        // does not tell which users exist.
        const std::string salt
            = user == state.user ? state.loginSalt : dc::HmacSha256(state.loginSalt, "user:" + user).substr(0, 16);
        const int seq = NewSeq();
        nonces[seq] = { dc::RandomBytes(kNonceBytes), user, Clock::now() };
        Bound(nonces);
        reply = Result("success");
        reply["data"]["salt"] = dc::ToBase64(salt);
        reply["data"]["iter"] = state.iterations;
        reply["data"]["nonce"] = dc::ToBase64(nonces[seq].bytes);
        reply["data"]["seq"] = seq;
        return 200;
    }

    int Login(const Call& call, Json::Value& reply)
    {
        const Json::Value* data = Member(call.body, "data");
        std::string user, clientNonceText, proofText, clientNonce, proof;
        int seq = 0;
        if (!data || !TextMember(*data, "username", user) || !TextMember(*data, "cnonce", clientNonceText)
            || !TextMember(*data, "proof", proofText) || !IntMember(*data, "seq", seq)
            || !dc::FromBase64(clientNonceText, clientNonce) || clientNonce.size() != kNonceBytes
            || !dc::FromBase64(proofText, proof)) {
            reply = Result("failed", "bad_request");
            return 400;
        }
        const auto it = nonces.find(seq);
        const bool fresh
            = it != nonces.end() && it->second.user == user && Clock::now() - it->second.issued <= kNonceLifetime;
        const std::string nonce = it != nonces.end() ? it->second.bytes : std::string();
        if (it != nonces.end())
            nonces.erase(it); // one login per challenge
        if (Clock::now() < blockedUntil) {
            reply = Result("failed", "blocked");
            return 401;
        }
        if (!state.initialised) {
            reply = Result("failed", "first_login");
            return 401;
        }
        if (!fresh || user != state.user
            || !dc::SameBytes(
                proof, LoginProof(state.password, state.loginSalt, state.iterations, nonce, clientNonce, user))) {
            if (++failedLogins >= state.failuresBeforeBlock) {
                blockedUntil = Clock::now() + std::chrono::seconds(state.blockSeconds);
                failedLogins = 0;
            }
            reply = Result("failed", "login_failed");
            return 401;
        }
        failedLogins = 0;
        const HttpSession session = NewSession();
        if (session.cookie.empty()) {
            reply = Result("failed", "too_many_sessions");
            return 503;
        }
        call.replyHeaders.emplace_back("Set-Cookie", session.cookie + "; Path=/; HttpOnly");
        reply = Result("success");
        reply["data"]["cookie"] = session.cookie;
        reply["data"]["token"] = session.token;
        reply["data"]["is_https"] = call.request.tls;
        reply["data"]["port"] = options.port;
        reply["data"]["device_type"] = state.deviceType;
        return 200;
    }

    void AddRoutes()
    {
        routes["/API/Login/Challenge"]
            = { false, [this](const Call& call, Json::Value& reply) { return Challenge(call, reply); } };
        routes["/API/Web/Login"]
            = { false, [this](const Call& call, Json::Value& reply) { return Login(call, reply); } };
        routes["/API/Web/Logout"] = { true, [this](const Call& call, Json::Value& reply) {
                                         sessions.erase(CookieValue(call.request.Header("Cookie")));
                                         reply = Result("success");
                                         return 200;
                                     } };
        routes["/API/Maintenance/TransKey/Get"] = { true, [this](const Call& call, Json::Value& reply) {
                                                       if (KeyList(call.body, false, reply))
                                                           return 200;
                                                       reply = Result("failed", "bad_request");
                                                       return 400;
                                                   } };
        routes["/API/Login/TransKey/Get"] = { false, [this](const Call& call, Json::Value& reply) {
                                                 if (KeyList(call.body, true, reply))
                                                     return 200;
                                                 reply = Result("failed", "bad_request");
                                                 return 400;
                                             } };
        routes["/API/Login/Range"] = { false, [this](const Call& call, Json::Value& reply) {
                                          reply = Result("success");
                                          reply["data"]["first_login_flag"] = !call.state.initialised;
                                          Json::Value info = DefaultRangeInfo();
                                          info["ip"] = options.ip;
                                          info["web port"] = options.port;
                                          info["is first login"] = call.state.initialised ? 0 : 1;
                                          if (call.state.rangeInfo.isObject()) {
                                              for (const auto& key : call.state.rangeInfo.getMemberNames())
                                                  info[key] = call.state.rangeInfo[key];
                                          }
                                          reply["data"]["device_info"] = info;
                                          return 200;
                                      } };
        routes["/API/FirstLogin/Password/Set"] = { false, [](const Call& call, Json::Value& reply) {
                                                      if (call.state.initialised) {
                                                          reply = Result("failed", "initialised");
                                                          return 403;
                                                      }
                                                      if (!call.newPassword) {
                                                          reply = Result("failed", "bad_request");
                                                          return 400;
                                                      }
                                                      call.state.password = *call.newPassword;
                                                      call.state.initialised = true;
                                                      reply = Result("success");
                                                      return 200;
                                                  } };
        routes["/API/RecoverPassword/Set"] = { false, [](const Call& call, Json::Value& reply) {
                                                  const Json::Value* data = Member(call.body, "data");
                                                  call.state.recoveryFlags = data ? *data : Json::Value();
                                                  reply = Result("success");
                                                  return 200;
                                              } };
        routes["/API/SystemConfig/User/Set"] = { true, [](const Call& call, Json::Value& reply) {
                                                    if (!call.authenticated || !call.newPassword) {
                                                        reply = Result("failed", "protection");
                                                        return 403;
                                                    }
                                                    call.state.password = *call.newPassword;
                                                    reply = Result("success");
                                                    return 200;
                                                } };
    }

    // ---- network, reset and reboot --------------------------------------------------------------

    void AddMaintenanceRoutes()
    {
        routes["/API/NetworkConfig/NetBase/Set"]
            = { true, [this](const Call& call, Json::Value& reply) {
                   return SetNetBase(call.body, call.state, Address(), scheduled, reply);
               } };
        routes["/API/Maintenance/Reset/Range"]
            = { true, [this](const Call& call, Json::Value& reply) { return ResetRange(call.state, reply); } };
        routes["/API/Maintenance/Reset/Set"]
            = { true, [this](const Call& call, Json::Value& reply) {
                   return ResetGroups(call.body, call.authenticated, call.state, factory, Address(), scheduled, reply);
               } };
        routes["/API/Maintenance/DeviceReboot/Set"]
            = { true, [this](const Call& call, Json::Value& reply) {
                   return Reboot(call.authenticated, call.state, Address(), scheduled, reply);
               } };
    }

    HttpAddress Address() const { return { options.ip, options.port }; }

    std::unique_ptr<HttpServer> MakeServer()
    {
        HttpServer::Options serverOptions;
        serverOptions.ip = options.ip;
        serverOptions.port = options.port;
        serverOptions.scheme = options.scheme;
        serverOptions.streamBody = [](const std::string& path) { return path == kUploadPath; };
        serverOptions.streamFault = [this](const HttpRequest&) {
            std::lock_guard<std::mutex> lock(mutex);
            return StreamedBodyFault { faults.uploadDropAfter, faults.uploadStallAfter, faults.uploadAnswerBeforeDrop,
                faults.uploadReadBytesPerSecond };
        };
        return std::make_unique<HttpServer>(
            serverOptions, [this](const HttpRequest& request) { return Dispatch(request); });
    }

    // Called once the reply that asked for it has gone out.
    void Relocate(const HttpRelocation& move)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopRelocating)
            return;
        relocation = move;
        if (!relocator.joinable())
            relocator = std::thread([this] { RunRelocations(); });
        relocationWake.notify_all();
    }

    void RunRelocations()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            relocationWake.wait(lock, [this] { return stopRelocating || relocation; });
            if (stopRelocating)
                return;
            const HttpRelocation move = *relocation;
            relocation.reset();
            std::unique_ptr<HttpServer> old = std::move(server);
            lock.unlock();
            old.reset(); // every connection ends
            lock.lock();
            if (move.reboot) {
                sessions.clear();
                salts.clear();
                deviceKeys.clear();
                nonces.clear();
            }
            if (relocationWake.wait_for(
                    lock, std::chrono::milliseconds(move.offlineMs), [this] { return stopRelocating; }))
                return;
            options.ip = move.to.ip;
            options.port = move.to.port;
            lock.unlock();
            std::unique_ptr<HttpServer> fresh = MakeServer();
            lock.lock();
            server = std::move(fresh);
            changed.notify_all();
        }
    }

    // ---- dispatch ------------------------------------------------------------------------------

    HttpResponse Dispatch(const HttpRequest& request)
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (const auto& raw : rawRoutes) {
            if (request.path.compare(0, raw.first.size(), raw.first) != 0)
                continue;
            const HttpServer::Handler handler = raw.second;
            lock.unlock();
            HttpResponse response = handler(request);
            lock.lock();
            Record(request, response.status, response.body);
            return response;
        }
        if (request.method == "GET" && request.path == "/new-cgi-bin/mediaport.cgi") {
            HttpResponse probe;
            // A slow or silent probe only where a test names its path.
            if (faults.path == request.path && faults.neverAnswer) {
                Record(request, 0, std::string());
                probe.neverAnswer = true;
                return probe;
            }
            if (faults.path == request.path)
                probe.delayMs = faults.delayMs;
            probe.headers.push_back({ "Content-Type", "text/plain" });
            probe.body = !state.mediaPortCgi.empty() ? state.mediaPortCgi
                                                     : "MediaPort=" + std::to_string(options.port)
                    + "\r\nFirstLoginFlag=" + (state.initialised ? "0" : "1") + "\r\n";
            Record(request, probe.status, probe.body);
            return probe;
        }
        HttpResponse response;
        const bool faulty = faults.path.empty() || faults.path == request.path;
        const bool loginPath = request.path == "/API/Login/Challenge" || request.path == "/API/Web/Login";
        if ((faulty && faults.neverAnswer) || (faults.silentAfterLogin && !sessions.empty() && !loginPath)) {
            Record(request, 0, std::string());
            response.neverAnswer = true;
            return response;
        }
        if (faulty)
            response.delayMs = faults.delayMs;
        if (faulty && faults.notJson) {
            response.status = 200;
            response.headers.emplace_back("Content-Type", "text/html");
            response.body = "<html><body>Not found</body></html>";
        } else if (faulty && faults.oversizedBytes > 0) {
            response.status = 200;
            response.body = "{\"result\":\"success\",\"data\":\"";
            response.fillerBytes
                = faults.oversizedBytes > response.body.size() ? faults.oversizedBytes - response.body.size() : 0;
        } else if (faulty && !faults.rawBody.empty()) {
            response.status = 200;
            response.body = faults.rawBody;
        } else if (faulty && faults.status != 0) {
            response.status = faults.status;
            response.body = JsonText(Result("failed", "injected"));
            if (!faults.location.empty())
                response.headers.emplace_back("Location", faults.location);
        } else {
            Json::Value reply;
            scheduled.reset();
            response.status = Handle(request, reply, response.headers);
            if (faults.editReply)
                faults.editReply(request.path, reply);
            response.body = JsonText(reply);
            if (scheduled)
                response.afterSent = [this, move = *scheduled] { Relocate(move); };
            scheduled.reset();
        }
        response.cutBody = faulty && faults.cutBody;
        Record(request, response.status, response.body);
        return response;
    }

    int Handle(const HttpRequest& request, Json::Value& reply, HttpHeaders& replyHeaders)
    {
        if (request.method != "POST") {
            reply = Result("failed", "method");
            return 405;
        }
        const auto route = routes.find(request.path);
        if (route == routes.end()) {
            reply = Result("failed", "not_found");
            return 404;
        }
        if (route->second.needsSession && !SessionValid(request)) {
            reply = Result("failed", "unauthorized");
            return 401;
        }
        Json::Value body;
        if (!request.body.empty()) {
            Json::CharReaderBuilder builder;
            std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
            std::string errors;
            if (!reader->parse(request.body.data(), request.body.data() + request.body.size(), &body, &errors)
                || !body.isObject()) {
                reply = Result("failed", "bad_json");
                return 400;
            }
        }

        // Any request may carry the protections; a wrong one refuses it.
        const Json::Value* data = Member(body, "data");
        const Json::Value* authentication = data ? Member(*data, "base_secondary_authentication") : nullptr;
        const Json::Value* encrypted = data ? FindObject(*data, "base_enc_password") : nullptr;
        std::string newPassword;
        bool authenticated = false;
        if (authentication || encrypted) {
            ProtectionCheck check;
            check.path = request.path;
            check.authenticationSent = authentication != nullptr;
            check.passwordSent = encrypted != nullptr;
            if (authentication)
                check.authenticationOk = authenticated = CheckAuthentication(*authentication, check.error);
            if (encrypted && (!authentication || authenticated)) {
                check.passwordDecrypted = DecryptNewPassword(*encrypted, newPassword, check.error);
                check.password = newPassword;
            }
            protection = check;
            if ((authentication && !check.authenticationOk) || (encrypted && !check.passwordDecrypted)) {
                reply = Result("failed", "protection");
                return 403;
            }
        }
        const Call call { request, body, encrypted ? &newPassword : nullptr, authenticated, state, replyHeaders };
        return route->second.handler(call, reply);
    }

    void Record(const HttpRequest& request, int status, const std::string& reply)
    {
        if (exchanges.size() >= kMaxRecorded)
            exchanges.pop_front();
        exchanges.push_back({ request, status, reply });
        changed.notify_all();
    }
};

FakeHttpApi::FakeHttpApi(HttpDeviceState state)
    : FakeHttpApi(std::move(state), Options())
{
}

FakeHttpApi::FakeHttpApi(HttpDeviceState state, Options options)
    : m_impl(std::make_unique<Impl>(std::move(state), options))
{
    AddSettingsHandlers(*this);
    auto server = m_impl->MakeServer();
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (server->Listening())
        m_impl->options.port = server->Port();
    m_impl->factory.address = m_impl->Address();
    m_impl->server = std::move(server);
}

FakeHttpApi::~FakeHttpApi()
{
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->stopRelocating = true;
        m_impl->relocationWake.notify_all();
    }
    if (m_impl->relocator.joinable())
        m_impl->relocator.join();
    // Stop the connection threads before the state they use goes.
    std::unique_ptr<HttpServer> server;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        server = std::move(m_impl->server);
    }
    server.reset();
}

bool FakeHttpApi::Listening() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->server && m_impl->server->Listening();
}

uint16_t FakeHttpApi::Port() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->options.port;
}

std::string FakeHttpApi::Ip() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->options.ip;
}

std::string FakeHttpApi::Base(bool https) const
{
    return (https ? "https://" : "http://") + Ip() + ":" + std::to_string(Port());
}

HttpDeviceState FakeHttpApi::State() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->state;
}

void FakeHttpApi::Update(const std::function<void(HttpDeviceState&)>& change)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    change(m_impl->state);
}

void FakeHttpApi::SetFaults(const HttpFaults& faults)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->faults = faults;
}

void FakeHttpApi::SetHandler(const std::string& path, bool needsSession, Handler handler)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->routes[path] = { needsSession, std::move(handler) };
}

void FakeHttpApi::SetRawHandler(const std::string& pathPrefix, HttpServer::Handler handler)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (handler)
        m_impl->rawRoutes[pathPrefix] = std::move(handler);
    else
        m_impl->rawRoutes.erase(pathPrefix);
}

HttpSession FakeHttpApi::OpenSession()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->NewSession();
}

int FakeHttpApi::Sessions() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return static_cast<int>(m_impl->sessions.size());
}

int FakeHttpApi::OpenConnections() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->server ? m_impl->server->OpenConnections() : 0;
}

std::vector<HttpExchange> FakeHttpApi::Exchanges() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return std::vector<HttpExchange>(m_impl->exchanges.begin(), m_impl->exchanges.end());
}

bool FakeHttpApi::LastExchange(const std::string& path, HttpExchange& exchange) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    for (auto it = m_impl->exchanges.rbegin(); it != m_impl->exchanges.rend(); ++it) {
        if (it->request.path == path) {
            exchange = *it;
            return true;
        }
    }
    return false;
}

int FakeHttpApi::CountRequests(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    int count = 0;
    for (const HttpExchange& exchange : m_impl->exchanges)
        count += exchange.request.path == path ? 1 : 0;
    return count;
}

bool FakeHttpApi::WaitRequests(const std::string& path, int count, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->changed.wait_until(lock, deadline, [&] {
        int seen = 0;
        for (const HttpExchange& exchange : m_impl->exchanges)
            seen += exchange.request.path == path ? 1 : 0;
        return seen >= count;
    });
}

void FakeHttpApi::ClearExchanges()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->exchanges.clear();
}

ProtectionCheck FakeHttpApi::LastProtection() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->protection;
}

std::vector<std::unique_ptr<FakeHttpApi>> MakeHttpDevices(const std::vector<std::string>& addresses, uint16_t port,
    const std::function<void(size_t index, HttpDeviceState& state, FakeHttpApi::Options& options)>& tweak)
{
    std::vector<std::unique_ptr<FakeHttpApi>> devices;
    for (size_t i = 0; i < addresses.size(); ++i) {
        HttpDeviceState state;
        FakeHttpApi::Options options;
        options.ip = addresses[i];
        options.port = port;
        if (tweak)
            tweak(i, state, options);
        auto device = std::make_unique<FakeHttpApi>(state, options);
        if (!device->Listening())
            break;
        port = device->Port();
        devices.push_back(std::move(device));
    }
    return devices;
}
} // namespace fakedevice
