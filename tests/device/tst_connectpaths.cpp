// The JSON login of the HTTP-API devices and the ONVIF connection, end to end
// through DeviceInfo: task entry on another thread, the SDK's answer on its
// own, the result event and the dispatch on the GUI thread, the pending
// operation and the logout, checked on the device side as well. Also many
// devices at once on every connection path, where a result may come before
// the starting thread has stored its handle.

#include "DeviceFixtures.h"
#include "DeviceTasks.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "HttpClient.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QtTest>

#include <map>
#include <memory>

using fakedevice::FakeHttpApi;
using fakedevice::FakeOnvif;
using namespace TestSupport;

namespace
{
// Loopback addresses of this test process alone.
const std::string kPrefix = fakedevice::UniqueLoopbackPrefix();
const std::string kApiIp = kPrefix + "40"; // HTTP JSON API, plain HTTP
const std::string kHttpsIp = kPrefix + "41"; // HTTP JSON API, TLS only
const std::string kOnvifIp = kPrefix + "42"; // ONVIF
const std::string kSharedIp = kPrefix + "43"; // HTTP JSON API and ONVIF on one web port
const std::string kZvnetIp = kPrefix + "44"; // the SDK's own protocol
const std::string kSilentIp = kPrefix + "48"; // takes no connection, never answers
const std::string kNobodyIp = kPrefix + "49"; // nothing listens
constexpr uint16_t kOnvifPort = 18080;
constexpr int kDeviceType = 7;
const char* const kPassword = "admin123";
const char* const kLogoutPath = "/API/Web/Logout";
const char* const kLoginPath = "/API/Web/Login";

int ResultWaitMs()
{
    // Sanitizer builds run several times slower.
    return 20000;
}

std::string LoginCookie(const FakeHttpApi& api)
{
    fakedevice::HttpExchange login;
    Json::Value reply;
    std::string errors;
    Json::CharReaderBuilder builder;
    if (!api.LastExchange(kLoginPath, login) || !ParseJsonText(builder, login.reply, reply, errors))
        return std::string();
    return reply["data"]["cookie"].asString();
}

// Parameter 511 read over a connection handle: 1 while it is logged in.
int QueryOnvifNetwork(int handle, std::string& ip)
{
    ZVOnvifNetworkParam block;
    std::memset(&block, 0, sizeof block);
    block.size = sizeof block;
    ZVNetQueryParamExReq request { ZVONVIF_PARAM_NETWORK, 0, &block, sizeof block, {} };
    const int result = ZVOnvifQueryParamEx(handle, &request);
    ip = std::to_string(block.ip[0]) + "." + std::to_string(block.ip[1]) + "." + std::to_string(block.ip[2]) + "."
        + std::to_string(block.ip[3]);
    return result;
}

bool OnvifLoginSeen(const FakeOnvif& onvif, bool authenticated, const std::string& authError = std::string())
{
    for (const fakedevice::OnvifRequest& request : onvif.Requests()) {
        if (request.operation == "GetDeviceInformation" && request.authenticated == authenticated
            && (authError.empty() || request.authError == authError))
            return true;
    }
    return false;
}
} // namespace

class TestConnectPaths : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void jsonLogin_data();
    void jsonLogin();
    void onvifConnection_data();
    void onvifConnection();
    void oneWebPortServesJsonAndOnvif();
    void startWithoutTheLibraryEnds_data();
    void startWithoutTheLibraryEnds();
    void manyDevicesAtOnce_data();
    void manyDevicesAtOnce();

private:
    std::unique_ptr<DeviceInfo> MakeDevice(const std::string& ip, quint32 webPort, bool onvif = false);
    // Runs entry for the device on a thread of its own and waits for the first report.
    void RunEntry(void (*entry)(void*), DeviceInfo* device);
    // Runs the worker the dispatch queued, as a pool thread would, and checks
    // how it reported.
    void RunHeldWorker(TaskRecorder& recorder);
    // What every operation ends with on the program's side.
    static void VerifyLoggedOut(const DeviceInfo& device);
    // No report beyond the expected ones follows, and the device is logged out.
    void VerifyEnded(const DeviceInfo& device, int reports);

    std::unique_ptr<NumberedLanguageTexts> m_texts;
    std::unique_ptr<TaskPool> m_pool;
    std::unique_ptr<FakeHttpApi> m_api;
    std::unique_ptr<FakeHttpApi> m_https;
    std::unique_ptr<FakeOnvif> m_onvif;
    std::unique_ptr<fakedevice::FakeDevice> m_zvnet;
    std::unique_ptr<fakedevice::BlackHoleListener> m_silent;
    ReportLog m_log;
    std::unique_ptr<RecordingListener> m_page;
};

void TestConnectPaths::initTestCase()
{
    m_texts = std::make_unique<NumberedLanguageTexts>();
    QCOMPARE(ZVNetInit(), 1);
    QCOMPARE(ZVOnvifInit(), 1);
    QCOMPARE(ZVOnvifSetSeachTimeout(1, 2, 2), 1);
    ZVSdkSetTimeouts(2000, 2000);
    m_pool = std::make_unique<TaskPool>(4);

    fakedevice::HttpDeviceState state;
    state.deviceType = kDeviceType;
    FakeHttpApi::Options options;
    options.ip = kApiIp;
    m_api = std::make_unique<FakeHttpApi>(state, options);
    options.ip = kHttpsIp;
    options.scheme = FakeHttpApi::Scheme::Https;
    m_https = std::make_unique<FakeHttpApi>(state, options);
    QVERIFY(m_api->Listening());
    QVERIFY(m_https->Listening());

    fakedevice::OnvifState onvif = fakedevice::OnvifStateFor(kOnvifIp, 1);
    onvif.webPort = kOnvifPort;
    m_onvif = std::make_unique<FakeOnvif>(onvif);
    QVERIFY(m_onvif->WaitListening());

    m_zvnet = std::make_unique<fakedevice::FakeDevice>(fakedevice::LoopbackDeviceState(kZvnetIp, 1));
    QVERIFY(m_zvnet->WaitListening());
    m_silent = std::make_unique<fakedevice::BlackHoleListener>(kSilentIp);
    QVERIFY(m_silent->Listening());

    m_page = std::make_unique<RecordingListener>(m_log, QStringLiteral("stream"));
}

void TestConnectPaths::init()
{
    ZVAppSetting::Instance()->m_company = 44;
    m_api->ClearExchanges();
    m_https->ClearExchanges();
    m_onvif->ClearRequests();
    m_log.Clear();
}

void TestConnectPaths::cleanup()
{
    // Reports of one test never run into the next.
    QCoreApplication::sendPostedEvents();
}

void TestConnectPaths::cleanupTestCase()
{
    m_pool.reset();
    m_api.reset();
    m_https.reset();
    m_onvif.reset();
    m_zvnet.reset();
    m_silent.reset();
    ZVOnvifRelease();
    ZVNetRelease();
    ZVAppSetting::Instance()->m_company = 0;
}

std::unique_ptr<DeviceInfo> TestConnectPaths::MakeDevice(const std::string& ip, quint32 webPort, bool onvif)
{
    auto device = WaitingDevice(
        QString::fromStdString(ip), fakedevice::kDefaultTcpPort, webPort, QStringLiteral("admin"), kPassword, onvif);
    device->m_pStreamConfigFrame = m_page.get();
    return device;
}

void TestConnectPaths::RunEntry(void (*entry)(void*), DeviceInfo* device)
{
    OnOtherThread([=] { entry(device); });
    QTRY_VERIFY_WITH_TIMEOUT(m_log.Count() > 0, ResultWaitMs());
}

void TestConnectPaths::RunHeldWorker(TaskRecorder& recorder)
{
    OnOtherThread([&] { recorder.RunHeld(); });
    QTRY_COMPARE_WITH_TIMEOUT(m_log.Count(), 2, ResultWaitMs());
    const TaskReport worker = m_log.Reports().value(1);
    QVERIFY(!worker.finished);
    QVERIFY(worker.onGuiThread);
    // The page hears of the result before the device is logged out.
    QVERIFY(worker.loggedIn);
    QTRY_VERIFY_WITH_TIMEOUT(!m_log.Reports().value(1).device->m_bLogin, ResultWaitMs());
    QTRY_VERIFY_WITH_TIMEOUT(!m_log.Reports().value(1).device->HasOffThreadWork(), ResultWaitMs());
    QCOMPARE(m_log.Reports().value(1).device->m_handle, 0);
}

void TestConnectPaths::VerifyEnded(const DeviceInfo& device, int reports)
{
    QTRY_VERIFY_WITH_TIMEOUT(!device.HasOffThreadWork(), ResultWaitMs());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), reports);
    VerifyLoggedOut(device);
}

void TestConnectPaths::VerifyLoggedOut(const DeviceInfo& device)
{
    QVERIFY(!device.m_bLogin);
    QCOMPARE(device.m_handle, 0);
    QVERIFY(!device.m_sdkDevice);
    QVERIFY(device.m_cookie.empty());
    QVERIFY(device.m_token.empty());
}

void TestConnectPaths::jsonLogin_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("pool"); // a pool operation (query stream), else a direct one (match version)
    QTest::addColumn<int>("status"); // at the first report

    QTest::newRow("connected, direct") << "api" << kPassword << false << int(StatusConnected);
    QTest::newRow("connected, pool worker") << "api" << kPassword << true << int(StatusConnected);
    QTest::newRow("https device, direct") << "https" << kPassword << false << int(StatusConnected);
    QTest::newRow("https device, pool worker") << "https" << kPassword << true << int(StatusConnected);
    QTest::newRow("wrong password") << "api"
                                    << "wrong" << true << int(StatusConnectFailed);
    QTest::newRow("https device, wrong password") << "https"
                                                  << "wrong" << true << int(StatusConnectFailed);
    QTest::newRow("device gone") << "nobody" << kPassword << true << int(StatusConnectFailed);
    QTest::newRow("device silent") << "silent" << kPassword << true << int(StatusConnectFailed);
}

void TestConnectPaths::jsonLogin()
{
    QFETCH(QString, target);
    QFETCH(QString, password);
    QFETCH(bool, pool);
    QFETCH(int, status);
    const bool https = target == "https";
    FakeHttpApi* api = target == "api" ? m_api.get() : https ? m_https.get() : nullptr;
    const std::string ip = api ? api->Ip() : target == "silent" ? kSilentIp : kNobodyIp;
    const quint32 port = api ? api->Port() : target == "silent" ? m_silent->Port() : 8080;
    TaskRecorder recorder(nullptr); // a queued worker waits until the test runs it
    auto device = MakeDevice(ip, port);
    device->m_password = password;

    RunEntry(pool ? &QueryStreamTask : &MatchVersionTask, device.get());
    const TaskReport first = m_log.Reports().value(0);
    QVERIFY(first.onGuiThread);
    QCOMPARE(first.status, status);
    if (status != StatusConnected) {
        QVERIFY(first.finished);
        QVERIFY(!first.loggedIn);
        QVERIFY(recorder.Tasks().isEmpty());
        if (api && password != kPassword) {
            fakedevice::HttpExchange login;
            QVERIFY(api->LastExchange(kLoginPath, login));
            QCOMPARE(login.status, 401);
            QCOMPARE(login.request.tls, https);
        }
    } else if (!pool) {
        QVERIFY(first.finished);
        QVERIFY(!first.loggedIn);
    } else {
        // Connected while the worker waits: the session it would use is open
        // at the device and takes requests.
        QVERIFY(!first.finished);
        QVERIFY(first.loggedIn);
        QCOMPARE(recorder.Tasks().size(), 1);
        QVERIFY(recorder.Tasks()[0].urgent);
        QVERIFY(device->m_sdkDevice);
        QCOMPARE(api->Sessions(), 1);
        QCOMPARE(device->m_cookie, LoginCookie(*api));
        HttpClient client;
        client.SetCookie(device->m_cookie);
        client.SetCsrfToken(device->m_token);
        client.SetHttps(device->m_bHttps);
        client.SetHost(ip);
        QVERIFY(
            client.PostJson(api->Base(https) + "/API/Maintenance/TransKey/Get" + R"({"data":{"type":["base_salt"]}})"));
        RunHeldWorker(recorder);
    }
    VerifyEnded(*device, status == StatusConnected && pool ? 2 : 1);
    if (!api)
        return;
    if (status == StatusConnected) {
        // The login's values, and the session ended at the device over the
        // login's scheme.
        QCOMPARE(device->m_bHttps, https);
        QCOMPARE(int(device->m_newWebPort), int(api->Port()));
        QCOMPARE(device->m_deviceType, kDeviceType);
        QTRY_COMPARE(api->Sessions(), 0);
        const std::string cookie = LoginCookie(*api);
        QVERIFY(!cookie.empty());
        int ended = 0;
        for (const fakedevice::HttpExchange& exchange : api->Exchanges()) {
            if (exchange.request.path != kLogoutPath)
                continue;
            QCOMPARE(exchange.request.Header("Cookie"), cookie);
            QCOMPARE(exchange.request.tls, https);
            ended += exchange.status == 200;
        }
        QCOMPARE(ended, 1);
    } else {
        QCOMPARE(api->Sessions(), 0);
    }
}

void TestConnectPaths::onvifConnection_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("pool"); // a pool operation (query stream), else a direct one (match version)
    QTest::addColumn<int>("status"); // at the first report

    QTest::newRow("connected, direct") << "onvif" << kPassword << 0 << false << int(StatusConnected);
    QTest::newRow("connected, pool worker") << "onvif" << kPassword << 0 << true << int(StatusConnected);
    // ONVIF devices connect through ONVIF under the HTTP-API codes too.
    QTest::newRow("code 44, direct") << "onvif" << kPassword << 44 << false << int(StatusConnected);
    QTest::newRow("code 43, pool worker") << "onvif" << kPassword << 43 << true << int(StatusConnected);
    QTest::newRow("wrong password") << "onvif"
                                    << "wrong" << 0 << true << int(StatusConnectFailed);
    QTest::newRow("code 44, wrong password") << "onvif"
                                             << "wrong" << 44 << true << int(StatusConnectFailed);
    QTest::newRow("no device") << "nobody" << kPassword << 0 << true << int(StatusConnectFailed);
    QTest::newRow("code 44, no device") << "nobody" << kPassword << 44 << false << int(StatusConnectFailed);
}

void TestConnectPaths::onvifConnection()
{
    QFETCH(QString, target);
    QFETCH(QString, password);
    QFETCH(int, company);
    QFETCH(bool, pool);
    QFETCH(int, status);
    ZVAppSetting::Instance()->m_company = company;
    const bool present = target == "onvif";
    TaskRecorder recorder(nullptr);
    auto device = MakeDevice(present ? kOnvifIp : kNobodyIp, kOnvifPort, true);
    device->m_password = password;

    RunEntry(pool ? &QueryStreamTask : &MatchVersionTask, device.get());
    const TaskReport first = m_log.Reports().value(0);
    QVERIFY(first.onGuiThread);
    QCOMPARE(first.status, status);
    int handle = 0;
    if (status != StatusConnected) {
        QVERIFY(first.finished);
        QVERIFY(!first.loggedIn);
        QVERIFY(recorder.Tasks().isEmpty());
        if (present)
            QVERIFY(OnvifLoginSeen(*m_onvif, false, "digest"));
    } else if (!pool) {
        QVERIFY(first.finished);
        QVERIFY(!first.loggedIn);
        QCOMPARE(first.handle, 0);
    } else {
        // The worker's connection is logged in and reads the device.
        QVERIFY(!first.finished);
        QVERIFY(first.loggedIn);
        QCOMPARE(recorder.Tasks().size(), 1);
        handle = device->m_handle;
        QVERIFY(handle != 0);
        std::string ip;
        QCOMPARE(QueryOnvifNetwork(handle, ip), 1);
        QCOMPARE(ip, kOnvifIp);
        RunHeldWorker(recorder);
    }
    VerifyEnded(*device, status == StatusConnected && pool ? 2 : 1);
    if (status == StatusConnected) {
        // ONVIF keeps no session at the device: the login was checked there,
        // and the connection is gone on the program's side.
        QVERIFY(OnvifLoginSeen(*m_onvif, true));
        if (handle) {
            std::string ip;
            QCOMPARE(QueryOnvifNetwork(handle, ip), 0);
        }
    }
}

// A camera serves its ONVIF endpoint on the web port of its HTTP API: one
// fake device answers the JSON login and the ONVIF connection there, both at
// once.
void TestConnectPaths::oneWebPortServesJsonAndOnvif()
{
    // Declared first, gone last: the HTTP server calls into it until it stops.
    std::unique_ptr<FakeOnvif> onvif;
    FakeHttpApi::Options options;
    options.ip = kSharedIp;
    auto api = std::make_unique<FakeHttpApi>(fakedevice::HttpDeviceState(), options);
    QVERIFY(api->Listening());
    fakedevice::OnvifState state = fakedevice::OnvifStateFor(kSharedIp, 2);
    state.webPort = api->Port();
    FakeOnvif::Options onvifOptions;
    onvifOptions.webServer = false;
    onvif = std::make_unique<FakeOnvif>(state, onvifOptions);
    QVERIFY(onvif->WaitListening());
    FakeOnvif* soap = onvif.get();
    api->SetRawHandler("/onvif/", [soap](const fakedevice::HttpRequest& request) { return soap->Serve(request); });

    auto json = MakeDevice(kSharedIp, api->Port());
    auto camera = MakeDevice(kSharedIp, api->Port(), true);
    DeviceInfo* jsonDevice = json.get();
    DeviceInfo* onvifDevice = camera.get();
    OnOtherThread([=] {
        MatchVersionTask(jsonDevice);
        MatchVersionTask(onvifDevice);
    });
    QTRY_COMPARE_WITH_TIMEOUT(m_log.Count(), 2, ResultWaitMs());
    VerifyEnded(*json, 2);
    VerifyLoggedOut(*camera);
    for (const TaskReport& report : m_log.Reports()) {
        QCOMPARE(report.status, int(StatusConnected));
        QVERIFY(report.finished);
    }
    QVERIFY(OnvifLoginSeen(*onvif, true));
    QTRY_COMPARE(api->Sessions(), 0);

    int logins = 0;
    int soapCalls = 0;
    for (const fakedevice::HttpExchange& exchange : api->Exchanges()) {
        if (exchange.request.path != kLogoutPath)
            QCOMPARE(exchange.status, 200);
        logins += exchange.request.path == kLoginPath;
        soapCalls += exchange.request.path == "/onvif/device_service";
    }
    QCOMPARE(logins, 1);
    QVERIFY(soapCalls >= 2);
}

void TestConnectPaths::startWithoutTheLibraryEnds_data()
{
    QTest::addColumn<bool>("onvif");
    QTest::newRow("json login") << false;
    QTest::newRow("onvif") << true;
}

// A start that the released library refuses, with no answer to follow, still
// ends the device once, so that no page waits for ever.
void TestConnectPaths::startWithoutTheLibraryEnds()
{
    QFETCH(bool, onvif);
    auto device = onvif ? MakeDevice(kOnvifIp, kOnvifPort, true) : MakeDevice(kApiIp, m_api->Port());
    if (onvif)
        ZVOnvifRelease();
    else
        ZVNetRelease();
    OnOtherThread([&] { QueryStreamTask(device.get()); });
    const bool reported = QTest::qWaitFor([this] { return m_log.Count() > 0; }, 5000);
    if (!onvif) {
        QCOMPARE(ZVNetInit(), 1);
        ZVSdkSetTimeouts(2000, 2000);
    }
    QCOMPARE(ZVOnvifInit(), 1);
    QCOMPARE(ZVOnvifSetSeachTimeout(1, 2, 2), 1);
    QVERIFY(reported);
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, int(StatusConnectFailed));
    QVERIFY(report.finished);
    QVERIFY(report.onGuiThread);
    VerifyEnded(*device, 1);
    QCOMPARE(m_api->CountRequests(kLoginPath), 0);
    QCOMPARE(m_onvif->CountRequests("GetDeviceInformation"), 0);
}

void TestConnectPaths::manyDevicesAtOnce_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("status");

    for (const char* path : { "zvnet", "onvif", "json" }) {
        QTest::addRow("%s, connected", path) << path << true << int(StatusConnected);
        QTest::addRow("%s, nobody there", path) << path << false << int(StatusConnectFailed);
    }
}

// Every start answers quickly, on the SDK's threads, while the pool threads
// store the handles their starts returned: each device still ends once, with
// its own result, logged out.
void TestConnectPaths::manyDevicesAtOnce()
{
    QFETCH(QString, path);
    QFETCH(bool, present);
    QFETCH(int, status);
    constexpr int kDevices = 12;
    ZVAppSetting::Instance()->m_company = path == "json" ? 44 : 0;
    std::string ip = kNobodyIp;
    quint32 webPort = 8080;
    if (present && path == "onvif") {
        ip = kOnvifIp;
        webPort = kOnvifPort;
    } else if (present && path == "json") {
        ip = kApiIp;
        webPort = m_api->Port();
    } else if (present) {
        ip = kZvnetIp;
    }
    std::vector<std::unique_ptr<DeviceInfo>> devices;
    for (int i = 0; i < kDevices; ++i)
        devices.push_back(MakeDevice(ip, webPort, path == "onvif"));
    for (const auto& device : devices)
        QVERIFY(m_pool->AddTask(&MatchVersionTask, device.get()));

    QTRY_COMPARE_WITH_TIMEOUT(m_log.Count(), kDevices, ResultWaitMs());
    for (const auto& device : devices)
        QTRY_VERIFY_WITH_TIMEOUT(!device->HasOffThreadWork(), ResultWaitMs());
    QCoreApplication::sendPostedEvents();
    std::map<DeviceInfo*, int> reports;
    for (const TaskReport& report : m_log.Reports()) {
        ++reports[report.device];
        QVERIFY(report.onGuiThread);
        QVERIFY(report.finished);
        QCOMPARE(report.status, status);
        QVERIFY(!report.loggedIn);
    }
    QCOMPARE(int(reports.size()), kDevices);
    for (const auto& device : devices)
        VerifyLoggedOut(*device);
    if (present && path == "zvnet")
        QTRY_COMPARE(m_zvnet->LoggedInSessions(), 0);
    if (present && path == "json")
        QTRY_COMPARE(m_api->Sessions(), 0);
}

QTEST_GUILESS_MAIN(TestConnectPaths)
#include "tst_connectpaths.moc"
