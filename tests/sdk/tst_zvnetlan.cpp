// The library in a LAN of network namespaces (tests/netns/lan.sh): real
// broadcast search, and a network change that moves a device. The test thread
// works from the "host" namespace; fake devices live in "dev1".."dev5".
#include "DeviceWire.h"
#include "LanTestSupport.h"
#include "SdkTestSupport.h"
#include "ZVSdkConfig.h"

#include <QtTest>

#include <arpa/inet.h>

#include <cstring>

using namespace sdktest;
using fakedevice::DeviceState;
using fakedevice::FakeDevice;

namespace
{
std::string Address(int n)
{
    return LanAddress(n);
}

void SetIp(uint8_t* out, const std::string& text)
{
    inet_pton(AF_INET, text.c_str(), out);
}
} // namespace

class TestZVNetLan : public LanTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void broadcastSearchFinds200Devices();
    void networkChangeMovesTheDevice();
    void rangeSearchFindsExactlyLiveAddresses();

private:
    std::unique_ptr<FakeDevice> DeviceInDev5(int n);
    bool EnterHostForBroadcast();
};

void TestZVNetLan::init()
{
    ZVSdkSetSearchWindow(0);
}

void TestZVNetLan::cleanup()
{
    // Whatever happened, the test thread leaves the LAN and the SDK searches loopback only.
    LanTestCase::cleanup();
    SetSearchTargets({ Loopback(254) });
}

bool TestZVNetLan::EnterHostForBroadcast()
{
    // Broadcast goes to every interface the thread sees: only ever from inside the LAN.
    if (!m_lan.Enter(QStringLiteral("host")) || !NamespaceLan::SeesOnlyLan())
        return false;
    return ZVSdkSetSearchTargets(nullptr, 0) == 1;
}

std::unique_ptr<FakeDevice> TestZVNetLan::DeviceInDev5(int n)
{
    return LanTestCase::DeviceInDev5([n] {
        FakeDevice::Options options;
        options.broadcast = true;
        return std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(Address(n), 5000 + n), options);
    });
}

void TestZVNetLan::broadcastSearchFinds200Devices()
{
    // Four fake device programs of 50 devices each, one per namespace.
    const auto programs = StartPrograms(QStringLiteral(DEVSCAN_FAKEDEVICE),
        { QStringLiteral("--broadcast"), QStringLiteral("--seconds"), QStringLiteral("120") });
    QString why;
    QVERIFY2(programs->WaitReady(kLanPerNamespace, &why), qPrintable(why));

    QVERIFY(EnterHostForBroadcast());
    SdkScope sdk({}, 0);
    QVERIFY(ZVSdkSetSearchTargets(nullptr, 0) == 1);
    SearchCollector collector;
    SearchClock clock(collector);
    ZVNetSearchParam param { &SearchCollector::Callback, &collector, 0, {} };
    QCOMPARE(ZVNetSearchDev(&param), 1);
    QVERIFY(collector.WaitEnd(20000));
    const qint64 endMs = clock.timer.elapsed();
    ZVNetRelease(); // joins the search's work: no record can follow
    QCOMPARE(collector.Ips(), ProgramAddresses());
    QCOMPARE(collector.Ends(), 1);
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    qInfo("broadcast search: %d devices, last found after %lld ms, end marker after %lld ms",
        int(collector.Records().size()), clock.lastRecordMs.load(), endMs);
    // Every record names the device as it is.
    for (const SearchDevRsp& r : collector.Records()) {
        QCOMPARE(QByteArray(r.netmask), QByteArray("255.255.0.0"));
        QCOMPARE(r.mediaPort, uint32_t(fakedevice::kDefaultTcpPort));
    }
    QVERIFY(programs->Terminate());
}

void TestZVNetLan::networkChangeMovesTheDevice()
{
    auto device = DeviceInDev5(201);
    QVERIFY(device);
    QVERIFY(EnterHostForBroadcast());
    SdkScope sdk({}, 0);
    QVERIFY(ZVSdkSetSearchTargets(nullptr, 0) == 1);

    // Addressed by its current address and MAC, found by broadcast on the LAN.
    const DeviceState before = device->State();
    ZVNetNewDevInfo info {};
    std::strcpy(info.version, "12");
    std::strcpy(info.userName, "admin");
    std::strcpy(info.password, "admin123");
    SetIp(info.currentIp, before.ip);
    SetIp(info.newIp, Address(202));
    SetIp(info.netmask, "255.255.0.0");
    SetIp(info.gateway, "10.213.0.254");
    std::strncpy(info.mac, before.mac.c_str(), sizeof info.mac - 1);
    info.mediaPort = 9612;
    info.webPort = 8080;
    info.networkMode = ZVNET_NET_MODE_STATIC;
    info.flag225 = 1;
    QCOMPARE(ZVNetSetNewDevInfoEx(&info), 1);
    QTRY_COMPARE(QString::fromStdString(device->State().ip), QString::fromStdString(Address(202)));
    QVERIFY(device->WaitListening(3000));

    SearchCollector collector;
    ZVNetSearchParam param { &SearchCollector::Callback, &collector, 0, {} };
    QCOMPARE(ZVNetSearchDev(&param), 1);
    QVERIFY(collector.WaitEnd(10000));
    QCOMPARE(collector.Ips(), QStringList { QString::fromStdString(Address(202)) });
    QCOMPARE(QByteArray(collector.Records().front().gateway), QByteArray("10.213.0.254"));
    QCOMPARE(collector.Records().front().mediaPort, 9612u);
    // And it takes connections there.
    const int handle = Connect(Address(202), "admin", "admin123", nullptr, 9612);
    QVERIFY(handle != 0);
    int h = handle;
    ZVNetConnectionStop(&h);
}

void TestZVNetLan::rangeSearchFindsExactlyLiveAddresses()
{
    std::vector<std::unique_ptr<FakeDevice>> devices;
    for (int n : { 203, 205, 209 })
        devices.push_back(DeviceInDev5(n));
    for (const auto& d : devices)
        QVERIFY(d);
    QVERIFY(m_lan.Enter(QStringLiteral("host")));
    SdkScope sdk({ Loopback(254) }, 0);
    SearchCollector collector;
    ZVNetP2PSearchParam param {};
    param.callback = &SearchCollector::Callback;
    param.user = &collector;
    param.mode = ZVNET_SEARCH_MODE_RANGE;
    std::strcpy(param.startIp, Address(195).c_str());
    std::strcpy(param.stopIp, Address(205).c_str());
    QCOMPARE(ZVNetSearchDevPoint2Point(&param), 1);
    QVERIFY(collector.WaitEnd(10000));
    QCOMPARE(
        collector.Ips(), (QStringList { QString::fromStdString(Address(203)), QString::fromStdString(Address(205)) }));
    QCOMPARE(devices.back()->CountReceived(fakedevice::wire::Search), 0);
}

QTEST_GUILESS_MAIN(TestZVNetLan)
#include "tst_zvnetlan.moc"
