// Seeds corpus/<target>/ with what the fake devices really send back: the
// search reply datagram, WS-Discovery answers, SOAP replies (open, refused and
// authorised), and the HTTP JSON API's replies with and without a session.
//   fuzz_seed_corpus CORPUS_DIR
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "HttpServer.h"
#include "OnvifDiscovery.h"
#include "OnvifSoap.h"
#include "WrapperHttp.h"
#include "ZVNet.h"
#include "ZVSessionScript.h"
#include "ZVWire.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
std::string g_root;

void Save(const std::string& target, const std::string& name, const std::string& bytes)
{
    const std::string folder = g_root + "/" + target;
    ::mkdir(folder.c_str(), 0755);
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    std::printf("%s/%s: %zu bytes\n", target.c_str(), name.c_str(), bytes.size());
}

// One datagram to ip:port and the first answer (bounded wait).
std::string Exchange(const std::string& ip, uint16_t port, const std::string& datagram)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
    std::string answer;
    for (int attempt = 0; attempt < 5 && answer.empty(); ++attempt) {
        ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 2000) == 1) {
            std::vector<char> buffer(65536);
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n > 0)
                answer.assign(buffer.data(), static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

void SeedSearch(const std::string& ip)
{
    fakedevice::DeviceState state;
    state.ip = ip;
    fakedevice::FakeDevice::Options options;
    options.udpPort = 19610;
    fakedevice::FakeDevice device(state, options);
    if (!device.WaitListening())
        return;
    uint8_t search[zvwire::kSearchReqSize] = {};
    const auto frame = zvwire::EncodeFrame(zvwire::MSG_SEARCH, 7, 0, search, sizeof search);
    const std::string reply = Exchange(ip, options.udpPort, std::string(frame.begin(), frame.end()));
    if (reply.size() != zvwire::kHeaderSize + zvwire::kSearchRspSize)
        return;
    Save("fuzz_zvwire", "search-reply", reply);
    Save("fuzz_searchrecord", "search-record", reply.substr(zvwire::kHeaderSize));
}

bool ReadAll(int fd, uint8_t* out, size_t size)
{
    while (size > 0) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 5000) != 1)
            return false;
        const ssize_t n = ::recv(fd, out, size, 0);
        if (n <= 0)
            return false;
        out += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// One reply frame of the session, as a record of the fuzzed device's script.
bool ReadRecord(int fd, std::vector<uint8_t>& script)
{
    uint8_t head[zvwire::kHeaderSize];
    zvwire::Header h;
    if (!ReadAll(fd, head, sizeof head)
        || zvwire::DecodeHeader(head, sizeof head, zvwire::kMaxTcpPayload, h) != zvwire::Decode::Ok)
        return false;
    zvfuzz::ScriptRecord r;
    r.type = h.type;
    r.status = h.status;
    r.payload.resize(h.length);
    if (!ReadAll(fd, r.payload.data(), r.payload.size()) || r.payload.size() > 0xffff)
        return false;
    zvfuzz::AppendRecord(script, r);
    return true;
}

// A whole session with the fake device: challenge, login, then the requests
// fuzz_zvsession makes after a login, in its order.
void SeedSession(const std::string& ip)
{
    fakedevice::DeviceState state;
    state.ip = ip;
    state.mediaPort = 19611;
    fakedevice::FakeDevice::Options options;
    options.udpPort = 19612;
    fakedevice::FakeDevice device(state, options);
    if (!device.WaitListening())
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(state.mediaPort);
    ::inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return;
    }
    std::vector<uint8_t> script;
    uint8_t head[zvwire::kHeaderSize];
    zvwire::Header h;
    std::vector<uint8_t> challenge(zvwire::kChallengeSize);
    if (!ReadAll(fd, head, sizeof head)
        || zvwire::DecodeHeader(head, sizeof head, zvwire::kMaxTcpPayload, h) != zvwire::Decode::Ok
        || h.length != challenge.size() || !ReadAll(fd, challenge.data(), challenge.size())) {
        ::close(fd);
        return;
    }
    zvfuzz::ScriptRecord first;
    first.type = h.type;
    first.status = h.status;
    first.payload = challenge;
    zvfuzz::AppendRecord(script, first);

    const std::string user = state.users[0].name, password = state.users[0].password;
    uint8_t clientNonce[zvwire::kNonceSize] = { 1 }, proof[32];
    zvwire::LoginProof(password, challenge.data(), clientNonce, user, proof);
    zvwire::Writer login;
    login.Bytes(clientNonce, sizeof clientNonce).Text(user.c_str(), zvwire::kUserNameField).Bytes(proof, 32);
    zvwire::Writer users, streams, version, none;
    users.U32(ZVNET_PARAM_USERS);
    streams.U32(ZVNET_PARAM_MAIN_STREAM);
    for (int i = 0; i < 8; ++i) {
        users.U32(0);
        streams.U32(0);
    }
    version.U32(ZVNET_PARAM_VERSION).U32(sizeof(ZVNetVersionParam));
    const std::pair<uint16_t, const zvwire::Writer*> requests[] = {
        { zvwire::MSG_LOGIN, &login },
        { zvwire::MSG_GET_DEVINFO, &none },
        { zvwire::MSG_QUERY_PARAM, &users },
        { zvwire::MSG_QUERY_PARAM, &streams },
        { zvwire::MSG_QUERY_BLOCK, &version },
        { zvwire::MSG_EXPORT, &none },
    };
    uint32_t id = 1;
    for (const auto& request : requests) {
        const auto frame
            = zvwire::EncodeFrame(request.first, id++, 0, request.second->Data().data(), request.second->Data().size());
        if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())
            || !ReadRecord(fd, script))
            break;
    }
    ::close(fd);
    Save("fuzz_zvsession", "session", std::string(script.begin(), script.end()));
    // The same conversation with an alarm pushed in after the login.
    zvfuzz::ScriptRecord alarm;
    alarm.flags = zvfuzz::kUnsolicited;
    alarm.type = zvwire::MSG_ALARM;
    zvwire::Writer alarmBody;
    alarmBody.U32(7).U32(4).U32(0x01020304);
    alarm.payload = alarmBody.Data();
    std::vector<uint8_t> withAlarm;
    zvfuzz::AppendRecord(withAlarm, alarm);
    const size_t challengeRecord = zvfuzz::kRecordHead + zvwire::kChallengeSize;
    const size_t loginRecord = zvfuzz::kRecordHead + 4;
    if (script.size() > challengeRecord + loginRecord) {
        withAlarm.insert(withAlarm.begin(), script.begin(), script.begin() + challengeRecord + loginRecord);
        withAlarm.insert(withAlarm.end(), script.begin() + challengeRecord + loginRecord, script.end());
        Save("fuzz_zvsession", "session-alarm", std::string(withAlarm.begin(), withAlarm.end()));
    }
}

void SeedOnvif(const std::string& ip)
{
    fakedevice::OnvifState state = fakedevice::OnvifStateFor(ip, 2);
    fakedevice::FakeOnvif::Options options;
    options.discoveryPort = 13702;
    options.webServer = false;
    fakedevice::FakeOnvif device(state, options);
    if (!device.WaitListening())
        return;
    using namespace zvsdk::onvif;
    const std::string id = NewMessageId();
    Save("fuzz_wsdiscovery", "probe-matches", Exchange(ip, options.discoveryPort, ProbeMessage(id, ProbeType::Device)));
    Save("fuzz_wsdiscovery", "probe-matches-nvt",
        Exchange(ip, options.discoveryPort, ProbeMessage(NewMessageId(), ProbeType::NetworkVideoTransmitter)));

    const Credentials good { state.user, state.password };
    const Credentials bad { state.user, "wrong" };
    for (const char* operation : { "GetSystemDateAndTime", "GetDeviceInformation", "GetNetworkInterfaces",
             "GetNetworkDefaultGateway", "GetDNS", "GetCapabilities", "GetServices", "GetProfiles" }) {
        const std::string body = std::string("<tds:") + operation + "/>";
        for (const Credentials* token : { &good, &bad }) {
            fakedevice::HttpRequest request;
            request.method = "POST";
            request.path = state.servicePath;
            request.version = "HTTP/1.1";
            request.headers.push_back({ "Content-Type", "application/soap+xml; charset=utf-8" });
            request.body = SoapEnvelope(body, token, 0);
            const fakedevice::HttpResponse response = device.Serve(request);
            Save("fuzz_onvifsoap", std::string(operation) + (token == &good ? "" : "-refused"), response.body);
        }
    }
}

void SeedHttpApi(const std::string& ip)
{
    fakedevice::FakeHttpApi::Options options;
    options.ip = ip;
    fakedevice::FakeHttpApi device(fakedevice::HttpDeviceState(), options);
    if (!device.Listening())
        return;
    using namespace zvsdk::wrapper;
    EnsureCurl();
    HttpBatch batch;
    const fakedevice::HttpSession session = device.OpenSession();
    struct Ask
    {
        const char* name;
        const char* path;
        const char* body;
        bool withSession;
    };
    const Ask asks[] = {
        { "challenge", "/API/Login/Challenge", R"({"version":"1.0","data":{"username":"admin"}})", false },
        { "login-refused", "/API/Web/Login", R"({"version":"1.0","data":{"username":"admin","proof":"AAAA"}})", false },
        { "login-transkey", "/API/Login/TransKey/Get", R"({"version":"1.0","data":{"type":["base_x_public"]}})",
            false },
        { "transkey", "/API/Maintenance/TransKey/Get", R"({"data":{"type":["base_salt","base_x_public"]}})", true },
        { "reset-range", "/API/Maintenance/Reset/Range", R"({"version":"1.0","data":{}})", true },
        { "login-range", "/API/Login/Range", R"({"version":"1.0","data":{}})", false },
        { "osd", "/API/ChannelConfig/OSD/Get", R"({"version":"1.0","data":{"channel":"CH1"}})", true },
        { "datetime", "/API/SystemConfig/DateTime/Get", R"({"version":"1.0","data":{}})", true },
        { "upgrade-token", "/API/Maintenance/SystemUpgrade/Token", R"({"version":"1.0","data":{}})", true },
        { "no-session", "/API/SystemConfig/DateTime/Get", R"({"version":"1.0","data":{}})", false },
    };
    for (const Ask& ask : asks) {
        HttpPost post;
        post.ip = ip;
        post.port = device.Port();
        post.path = ask.path;
        post.body = ask.body;
        if (ask.withSession) {
            post.cookie = session.cookie;
            post.token = session.token;
        }
        const HttpReply reply = batch.Run(post, [] { return false; });
        if (reply.body.empty())
            continue;
        Save("fuzz_wrapperjson", ask.name, reply.body);
        Save("fuzz_devicejson", ask.name, reply.body);
        if (std::string(ask.path) == "/API/Login/Range")
            Save("fuzz_httpsearch", ask.name, reply.body);
    }
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_corpus CORPUS_DIR\n");
        return 2;
    }
    g_root = argv[1];
    ::mkdir(g_root.c_str(), 0755);
    const std::string prefix = fakedevice::UniqueLoopbackPrefix();
    SeedSearch(prefix + "2");
    SeedOnvif(prefix + "3");
    SeedHttpApi(prefix + "4");
    SeedSession(prefix + "5");
    return 0;
}
