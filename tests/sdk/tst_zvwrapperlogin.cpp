// The SDK wrapper's JSON login against fake devices' HTTP JSON API on
// loopback: the one result of each login, logout and device handles, and what
// hostile replies do.
#include "WrapperTestSupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <map>

using namespace sdktest;
using namespace wrappertest;

namespace
{
struct HostileCase
{
    const char* name;
    HttpFaults faults;
    const char* status; // the one result expected
    int deviceType; // after a success
};

const std::vector<HostileCase>& HostileCases()
{
    static const std::vector<HostileCase> cases = [] {
        std::vector<HostileCase> c;
        HttpFaults f;
        f.path = kChallenge;
        f.notJson = true;
        c.push_back({ "challenge: html", f, "close", 0 });
        c.push_back({ "challenge: empty object", Raw(kChallenge, "{}"), "close", 0 });
        c.push_back({ "challenge: truncated JSON", Raw(kChallenge, "{\"result\":\"success\",\"data\":{\"salt\":\"AAAA"),
            "close", 0 });
        c.push_back({ "challenge: nested 30000 deep", Raw(kChallenge, Nested(30000)), "close", 0 });
        c.push_back(
            { "challenge: NUL bytes", Raw(kChallenge, std::string("{\"result\":\"succ\0ss\"}", 20)), "close", 0 });
        f = HttpFaults();
        f.path = kChallenge;
        f.oversizedBytes = 4 * 1024 * 1024;
        c.push_back({ "challenge: 4 MiB", f, "close", 0 });
        f = HttpFaults();
        f.path = kChallenge;
        f.cutBody = true;
        c.push_back({ "challenge: connection cut mid-body", f, "close", 0 });
        f = HttpFaults();
        f.path = kChallenge;
        f.status = 500;
        c.push_back({ "challenge: HTTP 500", f, "close", 0 });
        f.status = 401; // a 401 without a login reason
        c.push_back({ "challenge: 401 other reason", f, "close", 0 });
        c.push_back({ "challenge: data is an array",
            Edit(kChallenge, [](Json::Value& r) { r["data"] = Json::Value(Json::arrayValue); }), "close", 0 });
        c.push_back({ "challenge: result failed", Edit(kChallenge, [](Json::Value& r) { r["result"] = "failed"; }),
            "close", 0 });
        c.push_back(
            { "challenge: iter 0", Edit(kChallenge, [](Json::Value& r) { r["data"]["iter"] = 0; }), "close", 0 });
        c.push_back({ "challenge: iter above ten million",
            Edit(kChallenge, [](Json::Value& r) { r["data"]["iter"] = 20000000; }), "close", 0 });
        c.push_back({ "challenge: iter as text", Edit(kChallenge, [](Json::Value& r) { r["data"]["iter"] = "1000"; }),
            "close", 0 });
        c.push_back({ "challenge: iter fractional",
            Edit(kChallenge, [](Json::Value& r) { r["data"]["iter"] = 1000.5; }), "close", 0 });
        c.push_back({ "challenge: salt not base64",
            Edit(kChallenge, [](Json::Value& r) { r["data"]["salt"] = "@@@@"; }), "close", 0 });
        c.push_back(
            { "challenge: salt empty", Edit(kChallenge, [](Json::Value& r) { r["data"]["salt"] = ""; }), "close", 0 });
        c.push_back({ "challenge: nonce of 6 bytes",
            Edit(kChallenge, [](Json::Value& r) { r["data"]["nonce"] = "AAAAAAAA"; }), "close", 0 });
        c.push_back(
            { "challenge: seq as text", Edit(kChallenge, [](Json::Value& r) { r["data"]["seq"] = "1"; }), "close", 0 });
        c.push_back(
            { "login: truncated JSON", Raw(kLogin, "{\"result\":\"success\",\"data\":{\"cookie\":\"ZVS"), "close", 0 });
        f = HttpFaults();
        f.path = kLogin;
        f.oversizedBytes = 100 * 1024;
        c.push_back({ "login: 100 KiB", f, "close", 0 });
        c.push_back({ "login: cookie with a line break",
            Edit(kLogin, [](Json::Value& r) { r["data"]["cookie"] = "ZVSESSION=1\r\nX-Evil: 1"; }), "close", 0 });
        c.push_back({ "login: cookie not Latin text",
            Edit(kLogin, [](Json::Value& r) { r["data"]["cookie"] = "ZVSESSION=\xff\xfe"; }), "close", 0 });
        c.push_back(
            { "login: cookie as number", Edit(kLogin, [](Json::Value& r) { r["data"]["cookie"] = 5; }), "close", 0 });
        c.push_back(
            { "login: no token", Edit(kLogin, [](Json::Value& r) { r["data"].removeMember("token"); }), "close", 0 });
        c.push_back({ "login: token of 4 KiB",
            Edit(kLogin, [](Json::Value& r) { r["data"]["token"] = std::string(4096, 'a'); }), "close", 0 });
        c.push_back(
            { "login: data null", Edit(kLogin, [](Json::Value& r) { r["data"] = Json::Value(); }), "close", 0 });
        // Session values intact, the rest unusable: the login stands on what it knows.
        c.push_back(
            { "login: port 70000", Edit(kLogin, [](Json::Value& r) { r["data"]["port"] = 70000; }), "success", 7 });
        c.push_back(
            { "login: port as text", Edit(kLogin, [](Json::Value& r) { r["data"]["port"] = "80"; }), "success", 7 });
        c.push_back({ "login: is_https as text", Edit(kLogin, [](Json::Value& r) { r["data"]["is_https"] = "yes"; }),
            "success", 7 });
        c.push_back({ "login: device_type as text",
            Edit(kLogin, [](Json::Value& r) { r["data"]["device_type"] = "7"; }), "success", 0 });
        return c;
    }();
    return cases;
}
} // namespace

class TestZVWrapperLogin : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { m_hostile.reset(); }
    void login_data();
    void login();
    void deviceGone_data();
    void deviceGone();
    void blockedAfterFailures();
    void hostileReplies_data();
    void hostileReplies();
    void unusableRequests_data();
    void unusableRequests();
    void handles();
    void noResultAfterLogoutOrDestroy_data();
    void noResultAfterLogoutOrDestroy();
    void callbackMayEndItsOwnDevice();
    void oneLoginAtATime();
    void newLoginEndsTheOldSession();
    void manyLoginsAtOnce();

private:
    std::unique_ptr<FakeHttpApi> m_hostile;
};

void TestZVWrapperLogin::login_data()
{
    QTest::addColumn<int>("scheme");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("initialised");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("https");

    const int http = int(Scheme::Http), https = int(Scheme::Https), both = int(Scheme::Both);
    QTest::newRow("http") << http << "auto"
                          << "admin123" << true << "success" << false;
    QTest::newRow("https") << https << "auto"
                           << "admin123" << true << "success" << true;
    QTest::newRow("both on one port: TLS first") << both << "auto"
                                                 << "admin123" << true << "success" << true;
    QTest::newRow("both on one port, http asked") << both << "http"
                                                  << "admin123" << true << "success" << false;
    QTest::newRow("https asked of a plain device") << http << "https"
                                                   << "admin123" << true << "close" << false;
    QTest::newRow("wrong password") << http << "auto"
                                    << "admin124" << true << "login_failed_or_block" << false;
    QTest::newRow("wrong password over https") << https << "auto"
                                               << "Wrong-Secret" << true << "login_failed_or_block" << false;
    QTest::newRow("no password set yet") << http << "auto"
                                         << "admin123" << false << "login_failed_or_block" << false;
}

void TestZVWrapperLogin::login()
{
    QFETCH(int, scheme);
    QFETCH(QString, protocol);
    QFETCH(QString, password);
    QFETCH(bool, initialised);
    QFETCH(QString, status);
    QFETCH(bool, https);

    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    HttpDeviceState state;
    state.deviceType = 7;
    state.initialised = initialised;
    FakeHttpApi device(state, At(Loopback(1), Scheme(scheme)));
    QVERIFY(device.Listening());

    zv_device_handle handle = zv_create_device();
    QVERIFY(handle);
    TextCollector result;
    const std::string json = LoginJson(device.Ip(), device.Port(), password.toStdString(), protocol.toStdString());
    const std::string text = Login(handle, json, result);
    QVERIFY(result.AllAfterStart());
    QVERIFY(!result.OnCallerThread());
    const Json::Value reply = Parse(text);
    QCOMPARE(QString::fromStdString(reply["status"].asString()), status);

    // The password never travels: neither in a body nor in a header.
    for (const auto& exchange : device.Exchanges()) {
        QVERIFY(exchange.request.body.find(password.toStdString()) == std::string::npos);
        for (const auto& header : exchange.request.headers)
            QVERIFY(header.second.find(password.toStdString()) == std::string::npos);
    }

    if (status == "success") {
        const Json::Value& info = reply["info"];
        QCOMPARE(info["is_https"].asBool(), https);
        QCOMPARE(info["isHttps"].asBool(), https);
        QCOMPARE(info["port"].asInt(), int(device.Port()));
        QCOMPARE(zv_get_device_type(handle), 7);
        QCOMPARE(device.Sessions(), 1);
        fakedevice::HttpExchange login;
        QVERIFY(device.LastExchange(kLogin, login));
        QCOMPARE(login.request.tls, https);
        const Json::Value data = Parse(login.reply)["data"];
        QCOMPARE(info["cookie"].asString(), data["cookie"].asString());
        QCOMPARE(info["token"].asString(), data["token"].asString());

        // Logout ends the session on the device, with its cookie and token.
        QCOMPARE(zv_device_logout(handle), 1);
        QCOMPARE(zv_get_device_type(handle), 0);
        QVERIFY(device.WaitRequests(kLogout, 1, 3000));
        QTRY_COMPARE(device.Sessions(), 0);
        fakedevice::HttpExchange logout;
        QVERIFY(device.LastExchange(kLogout, logout));
        QCOMPARE(logout.status, 200);
        QCOMPARE(logout.request.Header("X-csrftoken"), info["token"].asString());
    } else {
        // The login's thread may still wind down after its result; once joined, nothing is open.
        ZVNetRelease();
        QCOMPARE(zv_get_device_type(handle), 0);
        QCOMPARE(device.Sessions(), 0);
        QCOMPARE(zv_device_logout(handle), 0); // nothing was open
    }
    QCOMPARE(zv_destroy_device(handle), 1);
    QCOMPARE(zv_destroy_device(handle), 0);
    ZVNetRelease(); // joins the login's work
    QCOMPARE(result.Count(), size_t(1));
}

void TestZVWrapperLogin::deviceGone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("nothing listening") << "closed";
    QTest::newRow("connection never accepted") << "black hole";
    QTest::newRow("request never answered") << "silent";
    QTest::newRow("no session left") << "full";
    QTest::newRow("plain device asked for https, also silent") << "silent https";
}

void TestZVWrapperLogin::deviceGone()
{
    QFETCH(QString, kind);
    const int timeoutMs = 800;
    SdkScope sdk({}, 400, timeoutMs, timeoutMs);
    std::unique_ptr<FakeHttpApi> device;
    std::unique_ptr<BlackHoleListener> blackHole;
    std::string ip = Loopback(2);
    int port = 0;
    if (kind == "black hole") {
        blackHole = std::make_unique<BlackHoleListener>(ip);
        QVERIFY(blackHole->Listening());
        port = blackHole->Port();
    } else {
        FakeHttpApi::Options options = At(ip);
        options.maxSessions = kind == "full" ? 0 : 16;
        device = std::make_unique<FakeHttpApi>(HttpDeviceState(), options);
        QVERIFY(device->Listening());
        port = device->Port();
        HttpFaults faults;
        faults.neverAnswer = kind.startsWith("silent");
        device->SetFaults(faults);
        if (kind == "closed")
            device.reset();
    }
    zv_device_handle handle = zv_create_device();
    TextCollector result;
    QElapsedTimer timer;
    timer.start();
    const std::string text
        = Login(handle, LoginJson(ip, port, "admin123", kind == "silent https" ? "https" : "auto"), result);
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(QString::fromStdString(Status(text)), QStringLiteral("close"));
    // A host that never answered the connection is not asked again without TLS.
    if (kind == "black hole")
        QVERIFY2(elapsed < 2 * timeoutMs - 200, QByteArray::number(elapsed));
    QVERIFY2(elapsed < 3 * timeoutMs, QByteArray::number(elapsed));
    QCOMPARE(zv_destroy_device(handle), 1);
    ZVNetRelease(); // joins the login's work
    QCOMPARE(result.Count(), size_t(1));
}

void TestZVWrapperLogin::blockedAfterFailures()
{
    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    FakeHttpApi device(HttpDeviceState(), At(Loopback(3)));
    zv_device_handle handle = zv_create_device();
    for (int i = 0; i < 5; ++i) {
        TextCollector wrong;
        QCOMPARE(Status(Login(handle, LoginJson(device.Ip(), device.Port(), "wrong"), wrong)),
            std::string("login_failed_or_block"));
    }
    TextCollector right;
    QCOMPARE(Status(Login(handle, LoginJson(device.Ip(), device.Port(), "admin123"), right)),
        std::string("login_failed_or_block"));
    fakedevice::HttpExchange last;
    QVERIFY(device.LastExchange(kLogin, last));
    QCOMPARE(Parse(last.reply)["reason"].asString(), std::string("blocked"));
    QCOMPARE(device.Sessions(), 0);
    zv_destroy_device(handle);
}

void TestZVWrapperLogin::hostileReplies_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < HostileCases().size(); ++i)
        QTest::newRow(HostileCases()[i].name) << int(i);
}

void TestZVWrapperLogin::hostileReplies()
{
    QFETCH(int, index);
    const HostileCase& c = HostileCases()[size_t(index)];
    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    if (!m_hostile) {
        // One device for every case: sessions whose replies the wrapper refused stay open on it.
        HttpDeviceState state;
        state.deviceType = 7;
        FakeHttpApi::Options options = At(Loopback(4));
        options.maxSessions = 1000;
        m_hostile = std::make_unique<FakeHttpApi>(state, options);
    }
    FakeHttpApi& device = *m_hostile;
    device.SetFaults(c.faults);
    zv_device_handle handle = zv_create_device();
    TextCollector result;
    const std::string text = Login(handle, LoginJson(device.Ip(), device.Port(), "admin123"), result);
    const Json::Value reply = Parse(text);
    QCOMPARE(reply["status"].asString(), std::string(c.status));
    if (std::string(c.status) == "success") {
        QCOMPARE(reply["info"]["port"].asInt(), int(device.Port()));
        QCOMPARE(reply["info"]["is_https"].asBool(), false);
        QCOMPARE(zv_get_device_type(handle), c.deviceType);
    }
    QCOMPARE(zv_destroy_device(handle), 1);
    ZVNetRelease(); // joins the login's work
    QCOMPARE(result.Count(), size_t(1));
}

void TestZVWrapperLogin::unusableRequests_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("nullText");
    const std::string ip = Loopback(5);
    QTest::newRow("null text") << QByteArray() << true;
    QTest::newRow("not JSON") << QByteArray("ip=1") << false;
    QTest::newRow("an array") << QByteArray("[1,2]") << false;
    QTest::newRow("host name") << QByteArray::fromStdString(LoginJson("localhost", 80, "x")) << false;
    QTest::newRow("port 0") << QByteArray::fromStdString(LoginJson(ip, 0, "x")) << false;
    QTest::newRow("port 70000") << QByteArray::fromStdString(LoginJson(ip, 70000, "x")) << false;
    QTest::newRow("empty user") << QByteArray::fromStdString(LoginJson(ip, 80, "x", "auto", "")) << false;
    QTest::newRow("port as text") << QByteArray("{\"ip or id\":\"" + QByteArray::fromStdString(ip)
        + "\",\"port\":\"80\",\"user\":\"admin\",\"password\":\"x\"}")
                                  << false;
    QTest::newRow("100 KiB") << QByteArray::fromStdString(LoginJson(ip, 80, std::string(100 * 1024, 'p'))) << false;
}

void TestZVWrapperLogin::unusableRequests()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, nullText);
    SdkScope sdk;
    zv_device_handle handle = zv_create_device();
    TextCollector result;
    QCOMPARE(StartLogin(handle, nullText ? nullptr : json.constData(), result), 0);
    QVERIFY(result.WaitCount(1, 2000));
    QCOMPARE(zv_destroy_device(handle), 1);
    ZVNetRelease(); // joins the login's work
    QCOMPARE(result.Texts(), std::vector<std::string> { "{\"status\":\"close\"}" });
    QVERIFY(result.AllAfterStart());
}

void TestZVWrapperLogin::handles()
{
    SdkScope sdk;
    QCOMPARE(zv_destroy_device(nullptr), 0);
    QCOMPARE(zv_device_logout(nullptr), 0);
    QCOMPARE(zv_get_device_type(nullptr), 0);
    QCOMPARE(zv_device_login_ex(nullptr), 0);
    zv_device_login_param noCallback {};
    noCallback.json = "{}";
    QCOMPARE(zv_device_login_ex(&noCallback), 0);

    // Handles are never reused: a destroyed or made-up one fails cleanly.
    zv_device_handle a = zv_create_device();
    zv_device_handle b = zv_create_device();
    QVERIFY(a && b && a != b);
    QCOMPARE(zv_destroy_device(a), 1);
    zv_device_handle c = zv_create_device();
    QVERIFY(c != a);
    const auto madeUp = reinterpret_cast<zv_device_handle>(uintptr_t(0x7fff1234));
    for (zv_device_handle bad : { a, madeUp, zv_device_handle(nullptr) }) {
        QCOMPARE(zv_device_logout(bad), 0);
        QCOMPARE(zv_get_device_type(bad), 0);
        QCOMPARE(zv_destroy_device(bad), 0);
        TextCollector result;
        const std::string json = LoginJson(Loopback(6), 80, "x");
        QCOMPARE(StartLogin(bad, json.c_str(), result), 0);
        QVERIFY(result.WaitCount(1, 2000));
        QCOMPARE(Status(result.Texts().front()), std::string("close"));
    }
    QCOMPARE(zv_destroy_device(b), 1);
    QCOMPARE(zv_destroy_device(c), 1);
}

void TestZVWrapperLogin::noResultAfterLogoutOrDestroy_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::addColumn<QString>("slowPath");
    QTest::newRow("logout while the challenge is pending") << false << kChallenge;
    QTest::newRow("destroy while the challenge is pending") << true << kChallenge;
    QTest::newRow("logout while the login is pending") << false << kLogin;
    QTest::newRow("destroy while the login is pending") << true << kLogin;
}

void TestZVWrapperLogin::noResultAfterLogoutOrDestroy()
{
    QFETCH(bool, destroy);
    QFETCH(QString, slowPath);
    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    FakeHttpApi device(HttpDeviceState(), At(Loopback(7)));
    HttpFaults faults;
    faults.path = slowPath.toStdString();
    faults.delayMs = 400;
    device.SetFaults(faults);
    zv_device_handle handle = zv_create_device();
    TextCollector result;
    const std::string json = LoginJson(device.Ip(), device.Port(), "admin123");
    QCOMPARE(StartLogin(handle, json.c_str(), result), 1);
    QVERIFY(device.WaitRequests(faults.path, 1, 3000));
    QCOMPARE(destroy ? zv_destroy_device(handle) : zv_device_logout(handle), 1);
    // A session the device opened meanwhile is ended all the same.
    QTRY_COMPARE(device.Sessions(), 0);
    // The slow answer has gone out and every link is closed: the login's work is over.
    QTRY_COMPARE_WITH_TIMEOUT(device.OpenConnections(), 0, 20000);
    QCOMPARE(device.CountRequests(kLogin), slowPath == kLogin ? 1 : 0);
    if (!destroy)
        QCOMPARE(zv_destroy_device(handle), 1);
    ZVNetRelease(); // joins the login's work
    QCOMPARE(result.Count(), size_t(0));
}

void TestZVWrapperLogin::callbackMayEndItsOwnDevice()
{
    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    FakeHttpApi device(HttpDeviceState(), At(Loopback(8)));
    zv_device_handle handle = zv_create_device();
    TextCollector result;
    std::atomic<int> logout { -1 }, destroyed { -1 };
    result.onCallback = [&](const char*) {
        // No lock of the library is held here: both calls come back.
        logout = zv_device_logout(handle);
        destroyed = zv_destroy_device(handle);
    };
    QCOMPARE(Status(Login(handle, LoginJson(device.Ip(), device.Port(), "admin123"), result)), std::string("success"));
    QTRY_COMPARE(destroyed.load(), 1);
    QCOMPARE(logout.load(), 1);
    QTRY_COMPARE(device.Sessions(), 0);
    QCOMPARE(result.Count(), size_t(1));
}

void TestZVWrapperLogin::oneLoginAtATime()
{
    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    FakeHttpApi device(HttpDeviceState(), At(Loopback(9)));
    HttpFaults faults;
    faults.path = kChallenge;
    faults.delayMs = 300;
    device.SetFaults(faults);
    zv_device_handle handle = zv_create_device();
    TextCollector first, second;
    const std::string json = LoginJson(device.Ip(), device.Port(), "admin123");
    QCOMPARE(StartLogin(handle, json.c_str(), first), 1);
    QCOMPARE(StartLogin(handle, json.c_str(), second), 0);
    QVERIFY(second.WaitCount(1, 2000));
    QCOMPARE(Status(second.Texts().front()), std::string("close"));
    QVERIFY(first.WaitCount(1, 4000));
    QCOMPARE(Status(first.Texts().front()), std::string("success"));
    zv_destroy_device(handle);
    QTRY_COMPARE(device.Sessions(), 0);
    ZVNetRelease(); // joins the logins' work
    QCOMPARE(first.Count() + second.Count(), size_t(2));
}

void TestZVWrapperLogin::newLoginEndsTheOldSession()
{
    SdkScope sdk({}, 400, kTimeoutMs, kTimeoutMs);
    FakeHttpApi device(HttpDeviceState(), At(Loopback(10)));
    zv_device_handle handle = zv_create_device();
    TextCollector first, second;
    const std::string json = LoginJson(device.Ip(), device.Port(), "admin123");
    QCOMPARE(Status(Login(handle, json, first)), std::string("success"));
    QCOMPARE(Status(Login(handle, json, second)), std::string("success"));
    QVERIFY(device.WaitRequests(kLogout, 1, 3000));
    QTRY_COMPARE(device.Sessions(), 1);
    QCOMPARE(Parse(second.Texts().front())["info"]["cookie"].asString().empty(), false);
    zv_destroy_device(handle);
    QTRY_COMPARE(device.Sessions(), 0);
}

void TestZVWrapperLogin::manyLoginsAtOnce()
{
    SdkScope sdk({}, 400, 3000, 3000);
    std::vector<std::string> addresses;
    for (int n = 20; n < 40; ++n)
        addresses.push_back(Loopback(n));
    auto devices = MakeHttpDevices(addresses, 0, [](size_t index, HttpDeviceState& state, FakeHttpApi::Options& o) {
        state.deviceType = int(index);
        o.scheme = index % 2 ? Scheme::Https : Scheme::Http;
    });
    QCOMPARE(devices.size(), addresses.size());
    std::vector<zv_device_handle> handles;
    std::vector<std::unique_ptr<TextCollector>> results;
    for (size_t i = 0; i < devices.size(); ++i) {
        handles.push_back(zv_create_device());
        results.push_back(std::make_unique<TextCollector>());
        const std::string json = LoginJson(devices[i]->Ip(), devices[i]->Port(), "admin123");
        QCOMPARE(StartLogin(handles.back(), json.c_str(), *results.back()), 1);
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        QVERIFY(results[i]->WaitCount(1, 10000));
        const Json::Value reply = Parse(results[i]->Texts().front());
        QCOMPARE(reply["status"].asString(), std::string("success"));
        QCOMPARE(reply["info"]["is_https"].asBool(), i % 2 == 1);
        QCOMPARE(zv_get_device_type(handles[i]), int(i));
        QCOMPARE(devices[i]->Sessions(), 1);
    }
    for (size_t i = 0; i < devices.size(); ++i)
        QCOMPARE(zv_destroy_device(handles[i]), 1);
    for (const auto& device : devices)
        QTRY_COMPARE(device->Sessions(), 0);
    ZVNetRelease(); // joins the logins' work
    for (size_t i = 0; i < devices.size(); ++i)
        QCOMPARE(results[i]->Count(), size_t(1));
}

QTEST_GUILESS_MAIN(TestZVWrapperLogin)
#include "tst_zvwrapperlogin.moc"
