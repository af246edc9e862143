// ONVIF in a LAN of network namespaces (tests/netns/lan.sh): WS-Discovery by
// multicast from the "host" namespace, a network change that moves a device,
// and an independent ONVIF client reading the fake device.
#include "LanTestSupport.h"
#include "OnvifTestSupport.h"
#include "ZVSdkConfig.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <cstdlib>

using namespace sdktest;
using fakedevice::FakeOnvif;
using fakedevice::OnvifState;

namespace
{
// Outside the addresses lan.sh gave the namespaces.
const std::string kMovedTo = "10.213.3.7";

std::string Address(int n)
{
    return LanAddress(n);
}
} // namespace

class TestOnvifLan : public LanTestCase
{
    Q_OBJECT

private slots:
    void cleanup();
    void searchLists200DevicesOnce();
    void networkChangeMovesTheDevice();
    void wrongPasswordFails();
    void independentClientReadsTheDevice();

private:
    std::unique_ptr<FakeOnvif> DeviceInDev5(int n);
    // The test thread in "host", where multicast reaches only the LAN, probing the group.
    bool EnterHostForMulticast();
    void Search(SearchCollector& collector, int timeoutMs);
};

void TestOnvifLan::cleanup()
{
    LanTestCase::cleanup();
    SetOnvifTargets({ Loopback(254) });
}

std::unique_ptr<FakeOnvif> TestOnvifLan::DeviceInDev5(int n)
{
    return LanTestCase::DeviceInDev5([n] {
        OnvifState state = fakedevice::OnvifStateFor(Address(n), 5000 + n);
        state.prefixLength = 16;
        state.gateway = "10.213.0.254";
        state.dns = "10.213.0.53";
        FakeOnvif::Options options;
        options.multicast = true;
        // The new address goes onto the namespace's interface, as a camera takes it.
        options.addAddress = [](const std::string& ip, int prefix) {
            const std::string command
                = "ip addr replace " + ip + "/" + std::to_string(prefix) + " dev eth0 2>/dev/null";
            return std::system(command.c_str()) == 0;
        };
        return std::make_unique<FakeOnvif>(state, options);
    });
}

bool TestOnvifLan::EnterHostForMulticast()
{
    // Multicast goes out on every interface the thread sees: only ever from inside the LAN.
    return m_lan.Enter(QStringLiteral("host")) && NamespaceLan::SeesOnlyLan();
}

void TestOnvifLan::Search(SearchCollector& collector, int timeoutMs)
{
    QCOMPARE(ZVSdkSetOnvifSearchTargets(nullptr, 0), 1);
    int handle = StartOnvifSearch(collector);
    QVERIFY(handle != 0);
    QVERIFY(collector.WaitEnd(timeoutMs));
    QCOMPARE(ZVOnvifSearchDevStop(&handle), 1);
}

void TestOnvifLan::searchLists200DevicesOnce()
{
    // Four fake programs of 50 devices each, one per namespace; each answer
    // waits up to 300 ms, as target services spread their answers.
    const auto programs = StartPrograms(QStringLiteral(DEVSCAN_FAKEONVIF),
        { QStringLiteral("--multicast"), QStringLiteral("--delay-ms"), QStringLiteral("300"),
            QStringLiteral("--seconds"), QStringLiteral("120") });
    QString why;
    QVERIFY2(programs->WaitReady(kLanPerNamespace, &why), qPrintable(why));

    QVERIFY(EnterHostForMulticast());
    OnvifScope onvif({}, 3);
    SearchCollector collector;
    SearchClock clock(collector);
    Search(collector, 15000);
    const qint64 endMs = clock.timer.elapsed();
    // The search is stopped: no callback comes after this.
    QVERIFY2(programs->Running(&why), qPrintable(why));
    QCOMPARE(collector.Ips(), ProgramAddresses());
    QCOMPARE(int(collector.Records().size()), kLanPrograms * kLanPerNamespace);
    QCOMPARE(collector.Ends(), 1);
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    qInfo("ONVIF search: %d devices, last found after %lld ms, end marker after %lld ms",
        int(collector.Records().size()), clock.lastRecordMs.load(), endMs);
    for (const SearchDevRsp& r : collector.Records())
        QCOMPARE(r.webPort, 8080u);
    QVERIFY(programs->Terminate());
}

void TestOnvifLan::networkChangeMovesTheDevice()
{
    auto device = DeviceInDev5(201);
    QVERIFY(device);
    QVERIFY(EnterHostForMulticast());
    OnvifScope onvif({}, 2);

    StatusCollector status;
    int handle = OnvifConnect(Address(201), 8080, "admin", "admin123", status);
    QCOMPARE(status.Codes(), std::vector<int> { ZVNET_STATUS_LOGIN_OK });
    ZVOnvifNetworkParam block
        = NetworkBlock(kMovedTo.c_str(), "255.255.0.0", "10.213.0.1", 8081, ZVNET_NET_MODE_STATIC);
    QCOMPARE(SetNetwork(handle, block), 1);
    ZVOnvifConnectionStop(&handle);
    QVERIFY(device->WaitListening());
    QCOMPARE(QString::fromStdString(device->State().ip), QString::fromStdString(kMovedTo));
    QCOMPARE(QString::fromStdString(device->State().gateway), QStringLiteral("10.213.0.1"));

    // A new search finds it there, and only there.
    SearchCollector collector;
    Search(collector, 10000);
    QCOMPARE(collector.Ips(), QStringList { QString::fromStdString(kMovedTo) });
    QCOMPARE(collector.Records().front().webPort, 8081u);
}

void TestOnvifLan::wrongPasswordFails()
{
    auto device = DeviceInDev5(203);
    QVERIFY(device);
    QVERIFY(m_lan.Enter(QStringLiteral("host")));
    OnvifScope onvif({});
    StatusCollector status;
    int handle = OnvifConnect(Address(203), 8080, "admin", "not-the-password", status);
    QVERIFY(handle != 0);
    QCOMPARE(status.Codes(), std::vector<int> { ZVNET_STATUS_LOGIN_FAILED });
    QCOMPARE(QString::fromStdString(device->Requests().back().authError), QStringLiteral("digest"));
    ZVOnvifConnectionStop(&handle);
}

void TestOnvifLan::independentClientReadsTheDevice()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("onvif-util"));
    if (tool.isEmpty())
        QSKIP("onvif-util not installed (Debian package onvif-tools; tools/install-deps.sh installs it)");
    auto device = DeviceInDev5(205);
    QVERIFY(device);
    // The tool seeds its nonces with the current second: two requests within one
    // second may carry the same nonce and creation time.
    device->Update([](OnvifState& s) { s.refuseReplayedNonce = false; });

    // Its discovery: a multicast probe on every interface of "host".
    QProcess all;
    all.start(QStringLiteral("ip"), m_lan.ExecArguments(QStringLiteral("host"), tool, { QStringLiteral("-a") }));
    QVERIFY(all.waitForFinished(30000));
    const QByteArray listed = all.readAllStandardOutput();
    QVERIFY2(listed.contains(QByteArray::fromStdString(Address(205) + " ")), listed.constData());
    QVERIFY2(listed.contains("Camera 5205"), listed.constData());

    // Its login (device information, capabilities, profiles) and the network settings.
    // The tool waits only briefly for each reply: on a loaded machine (sanitizer
    // builds in parallel) a session may time out and is tried again.
    QByteArray out;
    for (int attempt = 0; attempt < 3 && !out.contains("successfully connected"); ++attempt) {
        QProcess session;
        session.start(QStringLiteral("ip"),
            m_lan.ExecArguments(QStringLiteral("host"), tool,
                { QStringLiteral("-u"), QStringLiteral("admin"), QStringLiteral("-p"), QStringLiteral("admin123"),
                    QString::fromStdString(Address(205)) }));
        QVERIFY(session.waitForStarted(5000));
        session.write("get network\nquit\n");
        session.closeWriteChannel();
        QVERIFY(session.waitForFinished(30000));
        out = session.readAllStandardOutput();
    }
    QByteArray refused;
    for (const auto& r : device->Requests()) {
        if (r.tokenSent && !r.authenticated)
            refused += QByteArray::fromStdString(r.operation + ": " + r.authError + " " + r.created + "\n");
    }
    out += refused;
    QVERIFY2(out.contains("successfully connected"), out.constData());
    QVERIFY2(out.contains(QByteArray::fromStdString("IP Address: " + Address(205))), out.constData());
    QVERIFY2(out.contains("Gateway:    10.213.0.254"), out.constData());
    QVERIFY2(out.contains("DNS:        10.213.0.53"), out.constData());
    QVERIFY2(out.contains("DHCP:       NO"), out.constData());
    // It signed in with the digest, and the device took it.
    bool signedIn = false;
    for (const auto& r : device->Requests())
        signedIn = signedIn || (r.operation == "GetNetworkInterfaces" && r.authenticated);
    QVERIFY(signedIn);
}

QTEST_GUILESS_MAIN(TestOnvifLan)
#include "tst_onviflan.moc"
