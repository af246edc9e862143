// The single-device session against fake devices: what a login yields, the
// events its owner hears, the bounded JSON login, customer code 8's paced
// reconnection, and a logout that never waits on the device.

#include "DeviceEvents.h"
#include "DeviceWire.h"
#include "OperationFixtures.h"
#include "ZVDevice.h"

#include <QElapsedTimer>

using namespace TestSupport;
namespace wire = fakedevice::wire;

namespace
{
constexpr int kWaitMs = 20000;

// The owner: the codes of the ConnectEvents the session forwards, with the
// time each came.
class Owner : public QObject
{
public:
    QVector<int> codes;
    QVector<qint64> times;
    QElapsedTimer clock;

    Owner() { clock.start(); }

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() != static_cast<QEvent::Type>(ConnectEvent))
            return;
        TakePostedEvent(this);
        codes.append(static_cast<QConnectEvent*>(event)->code);
        times.append(clock.elapsed());
    }
};

} // namespace

class TestZVDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_environment = std::make_unique<OperationEnvironment>(); }
    void cleanupTestCase() { m_environment.reset(); }
    void cleanup() { ZVAppSetting::Instance()->m_company = 0; }

    void sdkLoginYieldsHandleAndInformation();
    void jsonLoginYieldsSession();
    void jsonLoginAgainClosesOldSession();
    void jsonLoginTakesReplyPort_data();
    void jsonLoginTakesReplyPort();
    void unansweredJsonLoginEndsClosed();
    void reconnectIsPacedAndStopsOnRefusal();
    void logoutDoesNotWait_data();
    void logoutDoesNotWait();

private:
    std::unique_ptr<OperationEnvironment> m_environment;
};

void TestZVDevice::sdkLoginYieldsHandleAndInformation()
{
    auto sdk = SdkDevice(1);
    QVERIFY(sdk);
    Owner owner;
    ZVDevice session;
    session.m_owner = &owner;
    const QString ip = QString::fromStdString(OperationEnvironment::Address(1));
    session.Login(ip, sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    QCOMPARE(session.m_state, 3); // the outcome comes later
    QTRY_COMPARE_WITH_TIMEOUT(owner.codes, QVector<int>({ 101 }), kWaitMs);
    QCOMPARE(session.m_state, 101);
    QVERIFY(session.m_handle != 0);
    const fakedevice::Bytes info = sdk->State().DevInfoRecord();
    QVERIFY(std::memcmp(session.m_devInfo, info.data(), info.size()) == 0);
    QCOMPARE(sdk->LoggedInSessions(), 1);
    // The device's family byte went with the connection (code 0: family 0).
    session.Logout();
    QCOMPARE(session.m_state, 3);
    QCOMPARE(session.m_handle, 0);
    QVERIFY(session.m_ip.isEmpty() && session.m_user.isEmpty() && session.m_password.isEmpty());
    QCOMPARE(session.m_port, 0);
    QTRY_COMPARE_WITH_TIMEOUT(sdk->LoggedInSessions(), 0, kWaitMs);
    // The information block stays until the next login overwrites it.
    QVERIFY(std::memcmp(session.m_devInfo, info.data(), info.size()) == 0);
}

void TestZVDevice::jsonLoginYieldsSession()
{
    ZVAppSetting::Instance()->m_company = 43;
    auto web = HttpDevice(2);
    QVERIFY(web);
    web->Update([](HttpDeviceState& s) { s.deviceType = 4; });
    Owner owner;
    ZVDevice session;
    session.m_owner = &owner;
    session.Login(QString::fromStdString(web->Ip()), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QCOMPARE(session.m_state, 100);
    QVERIFY(session.m_sdkDevice != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(owner.codes, QVector<int>({ 101 }), kWaitMs);
    QCOMPARE(session.m_state, 101);
    QVERIFY(session.m_cookie.rfind("ZVSESSION=", 0) == 0);
    QVERIFY(!session.m_token.empty());
    QCOMPARE(session.m_bHttps, false);
    QCOMPARE(session.m_port, int(web->Port()));
    int64_t type = 0;
    std::memcpy(&type, session.m_devInfo, sizeof(type));
    QCOMPARE(type, int64_t(4));
    QCOMPARE(web->Sessions(), 1);

    // A refused login: 105.
    ZVDevice refused;
    Owner refusedOwner;
    refused.m_owner = &refusedOwner;
    refused.Login(QString::fromStdString(web->Ip()), web->Port(), QStringLiteral("admin"), QStringLiteral("wrong"));
    QTRY_COMPARE_WITH_TIMEOUT(refusedOwner.codes, QVector<int>({ 105 }), kWaitMs);
    QCOMPARE(refused.m_state, 105);
}

void TestZVDevice::jsonLoginAgainClosesOldSession()
{
    ZVAppSetting::Instance()->m_company = 43;
    auto web = HttpDevice(3);
    QVERIFY(web);
    Owner owner;
    ZVDevice session;
    session.m_owner = &owner;
    const QString ip = QString::fromStdString(web->Ip());
    session.Login(ip, web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(session.m_state, 101, kWaitMs);
    const std::string firstCookie = session.m_cookie;
    const zv_device_handle firstDevice = session.m_sdkDevice;
    session.Login(ip, web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QCOMPARE(session.m_state, 100);
    QVERIFY(web->WaitRequests("/API/Web/Logout", 1, kWaitMs));
    fakedevice::HttpExchange logout;
    QVERIFY(web->LastExchange("/API/Web/Logout", logout));
    QCOMPARE(logout.request.Header("Cookie"), firstCookie);
    QTRY_COMPARE_WITH_TIMEOUT(session.m_state, 101, kWaitMs);
    QVERIFY(session.m_cookie != firstCookie);
    // The old wrapper device is gone: the wrapper no longer knows it.
    session.WaitIdle();
    QCOMPARE(zv_get_device_type(firstDevice), 0);
    QTRY_COMPARE_WITH_TIMEOUT(web->Sessions(), 1, kWaitMs);
    QCOMPARE(owner.codes, QVector<int>({ 101, 101 }));
}

void TestZVDevice::jsonLoginTakesReplyPort_data()
{
    QTest::addColumn<int>("replyPort");
    QTest::addColumn<bool>("taken");
    QTest::newRow("another port") << 0 << true;
    QTest::newRow("port 0") << 0 << false;
    QTest::newRow("port 65536") << 65536 << false;
}

void TestZVDevice::jsonLoginTakesReplyPort()
{
    QFETCH(int, replyPort);
    QFETCH(bool, taken);
    ZVAppSetting::Instance()->m_company = 43;
    auto web = HttpDevice(7);
    QVERIFY(web);
    // The device says later requests go to another port of it.
    FakeHttpApi::Options options;
    options.ip = web->Ip();
    FakeHttpApi other(HttpDeviceState(), options);
    QVERIFY(other.Listening());
    const int port = taken ? int(other.Port()) : replyPort;
    HttpFaults faults;
    faults.editReply = [port](const std::string& path, Json::Value& reply) {
        if (path == "/API/Web/Login" && reply.isMember("data"))
            reply["data"]["port"] = port;
    };
    web->SetFaults(faults);
    ZVDevice session;
    session.Login(QString::fromStdString(web->Ip()), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(session.m_state, 101, kWaitMs);
    QCOMPARE(session.m_port, taken ? int(other.Port()) : int(web->Port()));
    web->SetFaults(HttpFaults());
}

void TestZVDevice::unansweredJsonLoginEndsClosed()
{
    ZVAppSetting::Instance()->m_company = 43;
    auto web = HttpDevice(4);
    QVERIFY(web);
    HttpFaults faults;
    faults.neverAnswer = true;
    web->SetFaults(faults);
    // The wrapper itself would wait far longer than the session.
    ZVSdkSetTimeouts(120000, 120000);
    const int previous = ZVDevice::SetLoginAnswerMs(300);
    Owner owner;
    {
        ZVDevice session;
        session.m_owner = &owner;
        session.Login(
            QString::fromStdString(web->Ip()), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
        QCOMPARE(session.m_state, 100);
        QTRY_COMPARE_WITH_TIMEOUT(owner.codes, QVector<int>({ 3 }), kWaitMs);
        QCOMPARE(session.m_state, 3);
        QVERIFY(session.m_sdkDevice == nullptr);
        web->SetFaults(HttpFaults());
    }
    ZVDevice::SetLoginAnswerMs(previous);
    ZVSdkSetTimeouts(3000, 3000);
}

void TestZVDevice::reconnectIsPacedAndStopsOnRefusal()
{
    ZVAppSetting::Instance()->m_company = 8;
    constexpr int kDelayMs = 300;
    const int previous = ZVDevice::SetReconnectDelayMs(kDelayMs);
    Owner owner;
    {
        // Nobody answers: every failed connection starts a new one, one delay later.
        ZVDevice session;
        session.m_owner = &owner;
        session.Login(QString::fromStdString(OperationEnvironment::NobodyAddress()), 9611, QStringLiteral("admin"),
            QStringLiteral("admin123"));
        QTRY_VERIFY_WITH_TIMEOUT(owner.codes.size() >= 3, kWaitMs);
        for (int code : owner.codes)
            QCOMPARE(code, 2);
        for (int i = 1; i < owner.times.size(); ++i)
            QVERIFY2(owner.times[i] - owner.times[i - 1] >= kDelayMs - 20, qPrintable(QString::number(i)));
        QVERIFY(session.ReconnectPending());
    }

    // A refused password ends the series at once.
    auto sdk = SdkDevice(5);
    QVERIFY(sdk);
    Owner refusedOwner;
    ZVDevice session;
    session.m_owner = &refusedOwner;
    session.Login(QString::fromStdString(OperationEnvironment::Address(5)), sdk->State().mediaPort,
        QStringLiteral("admin"), QStringLiteral("wrong"));
    QTRY_COMPARE_WITH_TIMEOUT(refusedOwner.codes, QVector<int>({ 105 }), kWaitMs);
    QVERIFY(!session.ReconnectPending());
    QCoreApplication::sendPostedEvents();
    session.WaitIdle();
    QCOMPARE(sdk->CountReceived(wire::Login), 1);
    ZVDevice::SetReconnectDelayMs(previous);
}

void TestZVDevice::logoutDoesNotWait_data()
{
    QTest::addColumn<int>("company");
    QTest::newRow("sdk") << 0;
    QTest::newRow("http") << 43;
}

void TestZVDevice::logoutDoesNotWait()
{
    QFETCH(int, company);
    ZVAppSetting::Instance()->m_company = company;
    std::unique_ptr<FakeDevice> sdk;
    std::unique_ptr<FakeHttpApi> web;
    ZVDevice session;
    const QString ip = QString::fromStdString(OperationEnvironment::Address(6));
    if (company == 0) {
        sdk = SdkDevice(6);
        QVERIFY(sdk);
        session.Login(ip, sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    } else {
        web = HttpDevice(6);
        QVERIFY(web);
        session.Login(ip, web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(session.m_state, 101, kWaitMs);
    // The device takes its time over the logout (or, for the SDK, the next reply).
    if (web) {
        HttpFaults faults;
        faults.path = "/API/Web/Logout";
        faults.delayMs = 8000;
        web->SetFaults(faults);
    } else {
        fakedevice::Faults faults;
        faults.replyDelayMs = 8000;
        sdk->SetFaults(faults);
    }
    QElapsedTimer clock;
    clock.start();
    session.Logout();
    session.Login(ip, 1, QStringLiteral("admin"), QStringLiteral("admin123"));
    session.Logout();
    // Well below the device's delay: the GUI thread did not wait for it.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(session.m_state, 3);
    if (web)
        QVERIFY(web->WaitRequests("/API/Web/Logout", 1, kWaitMs));
    else
        QTRY_COMPARE_WITH_TIMEOUT(sdk->LoggedInSessions(), 0, kWaitMs);
}

QTEST_GUILESS_MAIN(TestZVDevice)
#include "tst_zvdevice.moc"
