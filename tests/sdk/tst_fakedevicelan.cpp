// The fake-device program serving all three kinds of device at once, in a LAN
// of network namespaces (tests/netns/lan.sh): each kind is found by its own
// search and logs in by its own protocol, and each fault the program hands out
// shows up where a client meets it. The test thread works from "host"; the
// program runs in "dev1".
#include "NamespaceLan.h"
#include "OnvifTestSupport.h"
#include "SdkTestSupport.h"
#include "WrapperTestSupport.h"
#include "ZVSDKWrapper.h"
#include "ZVSdkConfig.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <mutex>

using namespace sdktest;
using namespace wrappertest;

namespace
{
// Per kind: the first device answers, the second refuses the password, the
// third answers late, the fourth not at all.
constexpr int kPerKind = 4;
constexpr int kLateMs = 1500;
constexpr int kWebPort = 80;

// Kinds are handed their addresses in the order sdk, onvif, http.
std::string Address(int kind, int index)
{
    return "10.213.1." + std::to_string(1 + kind * kPerKind + index);
}

QStringList Ips(int kind, std::initializer_list<int> indexes)
{
    QStringList ips;
    for (int index : indexes)
        ips << QString::fromStdString(Address(kind, index));
    return ips;
}
} // namespace

class TestFakeDeviceLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void sdkSearchListsTheSdkAndHttpKinds();
    void onvifSearchListsTheOnvifKind();
    void rangeSearchListsTheHttpKind();
    void loginsMeetTheirFaults();

private:
    bool EnterHost();

    NamespaceLan m_lan;
    QProcess m_program;
};

void TestFakeDeviceLan::initTestCase()
{
    QString reason;
    if (!m_lan.Up(1, 3 * kPerKind, &reason))
        QSKIP(qPrintable(reason));
    const QStringList args { QStringLiteral("--first"), QString::fromStdString(Address(0, 0)), QStringLiteral("--sdk"),
        QString::number(kPerKind), QStringLiteral("--onvif"), QString::number(kPerKind), QStringLiteral("--http"),
        QString::number(kPerKind), QStringLiteral("--web-port"), QString::number(kWebPort), QStringLiteral("--silent"),
        QStringLiteral("1"), QStringLiteral("--late"), QStringLiteral("1"), QStringLiteral("--reply-delay"),
        QString::number(kLateMs), QStringLiteral("--refuse"), QStringLiteral("1"), QStringLiteral("--broadcast"),
        QStringLiteral("--multicast"), QStringLiteral("--seconds"), QStringLiteral("300") };
    m_program.start(
        QStringLiteral("ip"), m_lan.ExecArguments(QStringLiteral("dev1"), QStringLiteral(DEVSCAN_FAKEDEVICE), args));
    QByteArray out;
    QElapsedTimer wait;
    wait.start();
    while (!out.contains("ready\n") && wait.elapsed() < 60000 && m_program.state() != QProcess::NotRunning) {
        m_program.waitForReadyRead(200);
        out += m_program.readAllStandardOutput();
    }
    QVERIFY2(out.contains("ready\n"), m_program.readAllStandardError().constData());
    // One line per device, the ONVIF ones marked.
    QCOMPARE(out.count("device "), 3 * kPerKind);
    QCOMPARE(out.count(" onvif\n"), kPerKind);
}

void TestFakeDeviceLan::cleanupTestCase()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.terminate();
        QVERIFY(m_program.waitForFinished(10000));
        QCOMPARE(m_program.exitCode(), 0);
    }
    m_lan.Down();
}

void TestFakeDeviceLan::cleanup()
{
    m_lan.Leave();
    SetSearchTargets({ Loopback(254) });
    SetOnvifTargets({ Loopback(254) });
}

bool TestFakeDeviceLan::EnterHost()
{
    // Broadcast and multicast go out on every interface the thread sees: only ever from inside the LAN.
    return m_lan.Enter(QStringLiteral("host")) && NamespaceLan::SeesOnlyLan();
}

void TestFakeDeviceLan::sdkSearchListsTheSdkAndHttpKinds()
{
    QVERIFY(EnterHost());
    // The window outlasts the late device's delay.
    SdkScope sdk({}, 4 * kLateMs);
    QCOMPARE(ZVSdkSetSearchTargets(nullptr, 0), 1);
    SearchCollector collector;
    QElapsedTimer timer;
    std::mutex mutex;
    QMap<QString, qint64> foundAfterMs;
    collector.onCallback = [&](const SearchDevRsp* record) {
        if (!record)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        foundAfterMs.insert(QString::fromLatin1(record->ip), timer.elapsed());
    };
    timer.start();
    ZVNetSearchParam param { &SearchCollector::Callback, &collector, 0, {} };
    QCOMPARE(ZVNetSearchDev(&param), 1);
    QVERIFY(collector.WaitEnd(30000));
    // The late ones answered no sooner than their delay.
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const QString& ip : Ips(0, { 2 }) + Ips(2, { 2 }))
            QVERIFY2(foundAfterMs.value(ip) >= kLateMs, qPrintable(ip));
    }
    QStringList expected = Ips(0, { 0, 1, 2 }) + Ips(2, { 0, 1, 2 });
    std::sort(expected.begin(), expected.end());
    QCOMPARE(collector.Ips(), expected);
    // The HTTP kind names the port its JSON API serves on; the SDK kind keeps the usual one.
    for (const SearchDevRsp& record : collector.Records()) {
        const bool http = Ips(2, { 0, 1, 2 }).contains(QString::fromLatin1(record.ip));
        QCOMPARE(record.webPort, http ? uint32_t(kWebPort) : 8080u);
        QCOMPARE(record.mediaPort, uint32_t(fakedevice::kDefaultTcpPort));
    }
}

void TestFakeDeviceLan::onvifSearchListsTheOnvifKind()
{
    QVERIFY(EnterHost());
    OnvifScope onvif({}, 3 * kLateMs / 1000 + 1);
    QCOMPARE(ZVSdkSetOnvifSearchTargets(nullptr, 0), 1);
    SearchCollector collector;
    int handle = StartOnvifSearch(collector);
    QVERIFY(handle != 0);
    QVERIFY(collector.WaitEnd(30000));
    QCOMPARE(ZVOnvifSearchDevStop(&handle), 1);
    QCOMPARE(collector.Ips(), Ips(1, { 0, 1, 2 }));
}

void TestFakeDeviceLan::rangeSearchListsTheHttpKind()
{
    QVERIFY(m_lan.Enter(QStringLiteral("host")));
    SdkScope sdk({ Loopback(254) }, 0);
    QCOMPARE(ZVSdkSetRangeSearch(kWebPort, 64, 4 * kLateMs), 1);
    TextCollector result;
    // Every address of the program: only the HTTP kind answers on the web port, the silent one not at all.
    const std::string request = RangeRequest(Address(0, 0), Address(2, kPerKind - 1));
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    result.StartReturned();
    QVERIFY(result.WaitEnd(30000));
    QStringList found;
    for (const std::string& text : result.Texts()) {
        const Json::Value record = Parse(text);
        QCOMPARE(record["web port"].asInt(), kWebPort);
        found << QString::fromStdString(record["ip"].asString());
    }
    QStringList expected = Ips(2, { 0, 1, 2 });
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(found, expected);
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestFakeDeviceLan::loginsMeetTheirFaults()
{
    QVERIFY(m_lan.Enter(QStringLiteral("host")));
    SdkScope sdk({ Loopback(254) }, 0, 6 * kLateMs, 6 * kLateMs);

    // Our SDK protocol: the first and the late device let the administrator in, the second does not.
    for (int index : { 0, 2 }) {
        int handle = Connect(Address(0, index), "admin", "admin123");
        QVERIFY2(handle != 0, Address(0, index).c_str());
        ZVNetConnectionStop(&handle);
    }
    QCOMPARE(Connect(Address(0, 1), "admin", "admin123"), 0);

    // The HTTP JSON API on the web port.
    zv_device_handle device = zv_create_device();
    QVERIFY(device);
    TextCollector accepted, refused;
    QCOMPARE(Status(Login(device, LoginJson(Address(2, 0), kWebPort, "admin123"), accepted)), std::string("success"));
    zv_device_logout(device);
    QCOMPARE(Status(Login(device, LoginJson(Address(2, 1), kWebPort, "admin123"), refused)),
        std::string("login_failed_or_block"));
    zv_destroy_device(device);

    // ONVIF.
    OnvifScope onvif({ Loopback(254) });
    StatusCollector good, wrong;
    int handle = OnvifConnect(Address(1, 0), 8080, "admin", "admin123", good);
    QVERIFY(handle != 0);
    QCOMPARE(good.Codes(), std::vector<int> { ZVNET_STATUS_LOGIN_OK });
    ZVOnvifConnectionStop(&handle);
    handle = OnvifConnect(Address(1, 1), 8080, "admin", "admin123", wrong);
    QVERIFY(handle != 0);
    QCOMPARE(wrong.Codes(), std::vector<int> { ZVNET_STATUS_LOGIN_FAILED });
    ZVOnvifConnectionStop(&handle);
}

QTEST_GUILESS_MAIN(TestFakeDeviceLan)
#include "tst_fakedevicelan.moc"
