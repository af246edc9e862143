// The HTTP-API side of the connection: the wrapper's JSON login, its result
// callback, the first-login probe against the fake device's HTTP API, and
// the device's password protections.

#include "DeviceCrypto.h"
#include "DeviceFixtures.h"
#include "DeviceTasks.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "HttpClient.h"
#include "JsonLogin.h"
#include "OperationFixtures.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QtTest>

#include <memory>
#include <thread>

using fakedevice::FakeHttpApi;
using fakedevice::HttpFaults;
using namespace TestSupport;
namespace devicecrypto = fakedevice::devicecrypto;

namespace
{
// Loopback addresses of this test process alone.
const std::string kApiAddress = fakedevice::UniqueLoopbackPrefix() + "20";
const std::string kNobodyAddress = fakedevice::UniqueLoopbackPrefix() + "29"; // nothing listens
const char* const kApiIp = kApiAddress.c_str();
const char* const kNobodyIp = kNobodyAddress.c_str();
const char* const kRangePath = "/API/Login/Range";

std::string SuccessText(const std::string& cookie, const std::string& token, int port)
{
    Json::Value result;
    result["status"] = "success";
    result["info"]["cookie"] = cookie;
    result["info"]["token"] = token;
    result["info"]["is_https"] = false;
    result["info"]["isHttps"] = false;
    result["info"]["port"] = port;
    return Json::FastWriter().write(result);
}
} // namespace

class TestHttpLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void incompleteJsonLoginNeverReachesTheWrapper_data();
    void incompleteJsonLoginNeverReachesTheWrapper();
    void jsonLoginWithoutSessionEnds();
    void unansweredJsonLoginEnds_data();
    void unansweredJsonLoginEnds();
    void loginTextCarriesTheDevice();
    void loginResultParsing_data();
    void loginResultParsing();
    void successfulLoginStoresTheSessionAndLogsOut();
    void loginResultOutcomes_data();
    void loginResultOutcomes();
    void firstLoginProbe_data();
    void firstLoginProbe();
    void passwordProtectionsUseTheDevicePasswords();

private:
    std::unique_ptr<DeviceInfo> MakeDevice(const char* ip, quint32 webPort);

    OperationBench m_bench;
    ReportLog& m_log = m_bench.log;
    std::unique_ptr<FakeHttpApi> m_api;
};

void TestHttpLogin::initTestCase()
{
    m_bench.Start(2, QStringLiteral("initial"));
    FakeHttpApi::Options options;
    options.ip = kApiIp;
    m_api = std::make_unique<FakeHttpApi>(fakedevice::HttpDeviceState(), options);
    QVERIFY(m_api->Listening());
}

void TestHttpLogin::init()
{
    m_bench.NextCase();
    ZVAppSetting::Instance()->m_company = 44;
    m_api->SetFaults(HttpFaults());
    m_api->Update([](fakedevice::HttpDeviceState& state) { state.initialised = true; });
    m_api->ClearExchanges();
}

void TestHttpLogin::cleanup()
{
    QCoreApplication::sendPostedEvents();
}

void TestHttpLogin::cleanupTestCase()
{
    m_bench.Stop();
    m_api.reset();
}

std::unique_ptr<DeviceInfo> TestHttpLogin::MakeDevice(const char* ip, quint32 webPort)
{
    auto device = WaitingDevice(ip, 9000, webPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    device->m_pInitialDevice = m_bench.page.get();
    return device;
}

void TestHttpLogin::incompleteJsonLoginNeverReachesTheWrapper_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<uint>("webPort");

    QTest::newRow("empty password") << 44 << kNobodyIp << "admin"
                                    << "" << 8080u;
    QTest::newRow("empty user") << 43 << kNobodyIp << ""
                                << "admin123" << 8080u;
    QTest::newRow("empty address") << 43 << ""
                                   << "admin"
                                   << "admin123" << 8080u;
    QTest::newRow("web port 0") << 44 << kNobodyIp << "admin"
                                << "admin123" << 0u;
    QTest::newRow("web port 70000") << 44 << kNobodyIp << "admin"
                                    << "admin123" << 70000u;
}

void TestHttpLogin::incompleteJsonLoginNeverReachesTheWrapper()
{
    QFETCH(int, company);
    QFETCH(QString, ip);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(uint, webPort);
    ZVAppSetting::Instance()->m_company = company;
    auto device = MakeDevice(ip.toLatin1().constData(), webPort);
    device->m_user = user;
    device->m_password = password;

    OnOtherThread([&] { QueryStreamTask(device.get()); });
    QVERIFY(!device->m_sdkDevice);
    QTRY_COMPARE(m_log.Count(), 1);
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, int(StatusParamError));
    QVERIFY(report.finished);
    QVERIFY(report.onGuiThread);
    QVERIFY(!report.loggedIn);
    QVERIFY(!device->m_sdkDevice);
}

// A login that ends without a session ("close" from the wrapper, however it
// comes) fails the device once and leaves no wrapper device behind.
void TestHttpLogin::jsonLoginWithoutSessionEnds()
{
    auto device = MakeDevice(kNobodyIp, 8080);
    OnOtherThread([&] { QueryStreamTask(device.get()); });
    QTRY_COMPARE_WITH_TIMEOUT(m_log.Count(), 1, 15000);
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, int(StatusConnectFailed));
    QVERIFY(report.finished);
    QVERIFY(!report.loggedIn);
    QVERIFY(!device->m_sdkDevice);
    QTRY_VERIFY(!device->HasOffThreadWork());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 1);
}

void TestHttpLogin::unansweredJsonLoginEnds_data()
{
    QTest::addColumn<QByteArray>("meanwhile"); // a result text that arrives during the wait, or none
    QTest::newRow("no answer") << QByteArray();
    QTest::newRow("answer does not parse") << QByteArray("\x01{");
    QTest::newRow("unknown status") << QByteArray(R"({"status":"busy"})");
}

// A device that takes the login's connection and never answers: the wrapper
// waits longer than the device's login wait, which ends the operation and
// frees the device. What arrives meanwhile and says nothing changes nothing.
void TestHttpLogin::unansweredJsonLoginEnds()
{
    QFETCH(QByteArray, meanwhile);
    HttpFaults silent;
    silent.neverAnswer = true;
    m_api->SetFaults(silent);
    ZVSdkSetTimeouts(60000, 60000);
    const int previousWait = SetJsonLoginWaitMs(1500);
    auto device = MakeDevice(kApiIp, m_api->Port());
    DeviceInfo* raw = device.get();
    QVERIFY(QueueDeviceTask(&QueryStreamTask, raw));
    QVERIFY(raw->IsBusy());
    QVERIFY(m_api->WaitRequests("/API/Login/Challenge", 1, 10000));
    if (!meanwhile.isEmpty()) {
        OnOtherThread([&] { DeviceInfo::OnLoginResult(meanwhile.constData(), raw); });
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_log.Count(), 0);
        QCOMPARE(int(raw->m_status), int(StatusWaiting));
    }

    QTRY_COMPARE_WITH_TIMEOUT(m_log.Count(), 1, 20000);
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, int(StatusConnectFailed));
    QVERIFY(report.finished);
    QVERIFY(!report.loggedIn);
    QTRY_VERIFY(!raw->IsBusy());
    QVERIFY(!raw->m_sdkDevice);
    SetJsonLoginWaitMs(previousWait);
    ZVSdkSetTimeouts(OperationEnvironment::kTimeoutMs, OperationEnvironment::kTimeoutMs);
}

void TestHttpLogin::loginTextCarriesTheDevice()
{
    const std::string password = QStringLiteral("p\u00e4ss\"w\\rd").toUtf8().toStdString();
    const std::string text = BuildLoginJson("10.1.2.3", "admin", password, 8443);
    Json::Value login;
    std::string errors;
    Json::CharReaderBuilder builder;
    QVERIFY(ParseJsonText(builder, text, login, errors));
    QCOMPARE(login.size(), Json::ArrayIndex(8));
    QCOMPARE(login["ip or id"].asString(), std::string("10.1.2.3"));
    QCOMPARE(login["user"].asString(), std::string("admin"));
    QCOMPARE(login["password"].asString(), password);
    QCOMPARE(login["ddns id server addr"].asString(), std::string());
    QCOMPARE(login["p2p type"].asString(), std::string("ip"));
    QCOMPARE(login["oem type"].asString(), std::string("K38"));
    QCOMPARE(login["protocol"].asString(), std::string("auto"));
    QVERIFY(login["port"].isInt());
    QCOMPARE(login["port"].asInt(), 8443);
}

void TestHttpLogin::loginResultParsing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("code");

    const QByteArray good = QByteArray::fromStdString(SuccessText("ZVSESSION=ab", "cd", 8080));
    QTest::newRow("success") << good << int(ConnectOk);
    QTest::newRow("success, text after the object") << good + "}]garbage" << int(ConnectOk);
    QTest::newRow("failed or blocked") << QByteArray(R"({"status":"login_failed_or_block"})") << int(LoginFailed);
    QTest::newRow("close") << QByteArray(R"({"status":"close"})") << int(ConnectClosed);
    QTest::newRow("not json") << QByteArray("<html>") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("array") << QByteArray(R"(["success"])") << 0;
    QTest::newRow("status a number") << QByteArray(R"({"status":1})") << 0;
    QTest::newRow("unknown status") << QByteArray(R"({"status":"busy"})") << 0;
    QTest::newRow("success without info") << QByteArray(R"({"status":"success"})") << 0;
    QTest::newRow("info not an object") << QByteArray(R"({"status":"success","info":"x"})") << 0;
    QTest::newRow("cookie a number") << QByteArray(
        R"({"status":"success","info":{"cookie":5,"token":"t","is_https":false,"port":80}})")
                                     << 0;
    QTest::newRow("empty token") << QByteArray(
        R"({"status":"success","info":{"cookie":"c","token":"","is_https":false,"port":80}})")
                                 << 0;
    QTest::newRow("https a text") << QByteArray(
        R"({"status":"success","info":{"cookie":"c","token":"t","is_https":"true","port":80}})")
                                  << 0;
    QTest::newRow("port a text") << QByteArray(
        R"({"status":"success","info":{"cookie":"c","token":"t","is_https":true,"port":"80"}})")
                                 << 0;
    QTest::newRow("port 0") << QByteArray(
        R"({"status":"success","info":{"cookie":"c","token":"t","is_https":true,"port":0}})")
                            << 0;
    QTest::newRow("port 70000") << QByteArray(
        R"({"status":"success","info":{"cookie":"c","token":"t","is_https":true,"port":70000}})")
                                << 0;
    QTest::newRow("nested too deep") << QByteArray(100000, '[') << 0;
}

void TestHttpLogin::loginResultParsing()
{
    QFETCH(QByteArray, json);
    QFETCH(int, code);
    const LoginResult result = ParseLoginResult(json.constData());
    QCOMPARE(result.code, code);
    if (code == ConnectOk) {
        QCOMPARE(result.cookie, std::string("ZVSESSION=ab"));
        QCOMPARE(result.token, std::string("cd"));
        QCOMPARE(result.https, false);
        QCOMPARE(result.port, 8080);
    }
}

void TestHttpLogin::successfulLoginStoresTheSessionAndLogsOut()
{
    auto device = MakeDevice(kApiIp, m_api->Port());
    DeviceInfo* raw = device.get();
    const fakedevice::HttpSession session = m_api->OpenSession();
    QCOMPARE(m_api->Sessions(), 1);
    raw->m_sdkDevice = zv_create_device();
    QVERIFY(raw->m_sdkDevice);
    raw->m_operation = OpMatchVersion;
    raw->m_bHttps = true; // the login reply says otherwise
    raw->ExpectConnectResult();

    const std::string text = SuccessText(session.cookie, session.token, m_api->Port());
    OnOtherThread([&] { DeviceInfo::OnLoginResult(text.c_str(), raw); });
    QCOMPARE(raw->m_cookie, session.cookie);
    QCOMPARE(raw->m_token, session.token);
    QVERIFY(!raw->m_bHttps);
    QCOMPARE(int(raw->m_newWebPort), int(m_api->Port()));
    QVERIFY(raw->m_bLogin);

    QTRY_COMPARE(m_log.Count(), 1);
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, int(StatusConnected));
    QVERIFY(report.finished);
    QVERIFY(!report.loggedIn);
    QVERIFY(!raw->m_sdkDevice);
    QVERIFY(raw->m_cookie.empty());
    // The session ended at the device with the values of the login.
    fakedevice::HttpExchange logout;
    QVERIFY(m_api->LastExchange("/API/Web/Logout", logout));
    QCOMPARE(logout.request.Header("Cookie"), session.cookie);
    QCOMPARE(logout.request.Header("X-csrftoken"), session.token);
    QCOMPARE(logout.status, 200);
    QCOMPARE(m_api->Sessions(), 0);
}

void TestHttpLogin::loginResultOutcomes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("awaited");
    QTest::addColumn<bool>("wrapperDevice");
    QTest::addColumn<int>("status"); // -1: the result is ignored

    const QByteArray success = QByteArray::fromStdString(SuccessText("c", "t", 80));
    QTest::newRow("failed or blocked") << QByteArray(R"({"status":"login_failed_or_block"})") << true << true
                                       << int(StatusConnectFailed);
    QTest::newRow("close") << QByteArray(R"({"status":"close"})") << true << true << int(StatusConnectFailed);
    // Nothing usable changes nothing; the login wait ends the attempt later.
    QTest::newRow("garbage") << QByteArray("\x01\x02") << true << true << -1;
    QTest::newRow("success without session") << QByteArray(R"({"status":"success","info":{}})") << true << true << -1;
    QTest::newRow("success after the attempt ended") << success << false << true << -1;
    QTest::newRow("close after the attempt ended") << QByteArray(R"({"status":"close"})") << false << true << -1;
    QTest::newRow("no wrapper device") << success << true << false << -1;
}

void TestHttpLogin::loginResultOutcomes()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, awaited);
    QFETCH(bool, wrapperDevice);
    QFETCH(int, status);
    auto device = MakeDevice(kNobodyIp, 8080);
    DeviceInfo* raw = device.get();
    raw->m_operation = OpMatchVersion;
    if (wrapperDevice)
        raw->m_sdkDevice = zv_create_device();
    if (awaited)
        raw->ExpectConnectResult();

    OnOtherThread([&] { DeviceInfo::OnLoginResult(json.constData(), raw); });
    if (status < 0) {
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_log.Count(), 0);
        QCOMPARE(int(raw->m_status), int(StatusWaiting));
        QVERIFY(raw->m_cookie.empty());
        QVERIFY(!raw->m_bLogin);
        return;
    }
    QTRY_COMPARE(m_log.Count(), 1);
    QCOMPARE(m_log.Reports().value(0).status, status);
    QVERIFY(m_log.Reports().value(0).finished);
    QVERIFY(!raw->m_bLogin);
    QVERIFY(!raw->m_sdkDevice);
}

void TestHttpLogin::firstLoginProbe_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("reply"); // how the device answers
    QTest::addColumn<int>("status");

    QTest::newRow("no password yet") << 44 << "first login" << int(StatusConnected);
    QTest::newRow("already initialised") << 43 << "initialised" << int(StatusNoFirstLogin);
    QTest::newRow("no device") << 44 << "nobody" << int(StatusRequestFailed);
    QTest::newRow("HTTP 500") << 44 << "500" << int(StatusRequestFailed);
    QTest::newRow("not json") << 44 << "not json" << int(StatusNoFirstLogin);
    QTest::newRow("flag a text") << 44 << "flag text" << int(StatusNoFirstLogin);
    QTest::newRow("no data") << 44 << "no data" << int(StatusNoFirstLogin);
    QTest::newRow("customer code 0") << 0 << "first login" << int(StatusConnectFailed);
}

void TestHttpLogin::firstLoginProbe()
{
    QFETCH(int, company);
    QFETCH(QString, reply);
    QFETCH(int, status);
    ZVAppSetting::Instance()->m_company = company;
    m_api->Update([&](fakedevice::HttpDeviceState& state) { state.initialised = reply != "first login"; });
    HttpFaults faults;
    faults.path = kRangePath;
    faults.status = reply == "500" ? 500 : 0;
    faults.notJson = reply == "not json";
    if (reply == "flag text")
        faults.editReply = [](const std::string&, Json::Value& json) { json["data"]["first_login_flag"] = "true"; };
    if (reply == "no data")
        faults.editReply = [](const std::string&, Json::Value& json) { json.removeMember("data"); };
    m_api->SetFaults(faults);
    TaskRecorder recorder(m_bench.environment->Pool());
    auto device = reply == "nobody" ? MakeDevice(kNobodyIp, 8080) : MakeDevice(kApiIp, m_api->Port());

    OnOtherThread([&] { InitialTask(device.get()); });
    QTRY_VERIFY(m_log.Count() > 0);
    QCOMPARE(device->m_operation, int(OpInitial));
    const TaskReport first = m_log.Reports().value(0);
    QCOMPARE(first.status, status);
    QVERIFY(first.onGuiThread);
    if (company == 0)
        QCOMPARE(m_api->CountRequests(kRangePath), 0);
    if (status != StatusConnected) {
        QVERIFY(first.finished);
        QVERIFY(!first.loggedIn);
        QVERIFY(recorder.Tasks().isEmpty());
        QTRY_VERIFY(!device->HasOffThreadWork());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_log.Count(), 1);
        return;
    }
    // The initialise worker is queued; it reports on its own (not judged here).
    QVERIFY(!first.finished);
    QCOMPARE(recorder.Tasks().size(), 1);
    QVERIFY(!recorder.Tasks()[0].urgent);
    QTRY_COMPARE(m_log.Count(), 2);
    QVERIFY(!m_log.Reports().value(1).finished);
    fakedevice::HttpExchange probe;
    QVERIFY(m_api->LastExchange(kRangePath, probe));
    QCOMPARE(probe.request.body, std::string(R"({"version":"1.0"})"));
    QVERIFY(probe.request.HasHeader("Cookie"));
    QCOMPARE(probe.request.Header("Cookie"), std::string());
    QCOMPARE(probe.request.Header("X-csrftoken"), std::string());
}

void TestHttpLogin::passwordProtectionsUseTheDevicePasswords()
{
    DeviceInfo device;
    const std::string latin1Password = "p\xe4ss";
    device.m_password = QString::fromLatin1(latin1Password.c_str());
    const std::string salt = devicecrypto::RandomBytes(16);
    std::string cipher = "left over";
    QVERIFY(device.Pbkdf2Sha256Base64(devicecrypto::ToBase64(salt), cipher, 1000));
    QCOMPARE(cipher, devicecrypto::ToBase64(devicecrypto::Pbkdf2Sha256(latin1Password, salt, 1000, 16)));
    cipher = "left over";
    QVERIFY(!device.Pbkdf2Sha256Base64("not base64!", cipher, 1000));
    QVERIFY(cipher.empty());

    const std::string latin1New = "N\xe9w-pass 1";
    device.m_newPassword = QString::fromLatin1(latin1New.c_str());
    const devicecrypto::KeyPair keys = devicecrypto::NewX25519KeyPair();
    std::string peerKey;
    QVERIFY(device.EncryptPasswordX25519(devicecrypto::ToBase64(keys.publicKey), peerKey, cipher));
    std::string decrypted;
    std::string error;
    QVERIFY(devicecrypto::DecryptPassword(keys.privateKey, "0" + peerKey, "0" + cipher, decrypted, error));
    QCOMPARE(decrypted, latin1New);
    QVERIFY(!device.EncryptPasswordX25519("short", peerKey, cipher));
    QVERIFY(peerKey.empty());
    QVERIFY(cipher.empty());
}

QTEST_GUILESS_MAIN(TestHttpLogin)
#include "tst_httplogin.moc"
