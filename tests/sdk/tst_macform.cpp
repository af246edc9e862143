// A device's MAC address reads the same in its search record whichever search
// found it: the SDK's own, which carries it as the devices report it, or the
// ONVIF discovery, whatever form the device announces it in.
#include "OnvifTestSupport.h"
#include "ZVSdkConfig.h"

#include <QtTest>

using namespace sdktest;
using fakedevice::DeviceState;
using fakedevice::OnvifState;

namespace
{
// How the devices of the SDK's own search report their MAC address.
const char* const kSdkForm = "02:5A:56:00:00:2B";

QByteArray MacOf(const SearchCollector& collector)
{
    const std::vector<SearchDevRsp> records = collector.Records();
    return records.size() == 1 ? QByteArray(records.front().mac) : QByteArray("(not one record)");
}
} // namespace

class TestMacForm : public QObject
{
    Q_OBJECT

private slots:
    void bothSearchesGiveOneForm_data();
    void bothSearchesGiveOneForm();
};

void TestMacForm::bothSearchesGiveOneForm_data()
{
    QTest::addColumn<QByteArray>("announced");
    QTest::addColumn<QByteArray>("onvifRecord");

    QTest::newRow("lower case") << QByteArray("02:5a:56:00:00:2b") << QByteArray(kSdkForm);
    QTest::newRow("already the SDK's form") << QByteArray(kSdkForm) << QByteArray(kSdkForm);
    QTest::newRow("dashes") << QByteArray("02-5a-56-00-00-2B") << QByteArray(kSdkForm);
    QTest::newRow("no separators") << QByteArray("025a5600002b") << QByteArray(kSdkForm);
    QTest::newRow("dotted groups") << QByteArray("025a.5600.002b") << QByteArray(kSdkForm);
    // What is no MAC address is not made to look like one.
    QTest::newRow("too short") << QByteArray("02:5a:56:00:00") << QByteArray("02:5a:56:00:00");
    QTest::newRow("not hex") << QByteArray("gate-west") << QByteArray("gate-west");
}

void TestMacForm::bothSearchesGiveOneForm()
{
    QFETCH(QByteArray, announced);
    QFETCH(QByteArray, onvifRecord);

    auto sdkDevice = StartDevice(41, [](DeviceState& s) { s.mac = kSdkForm; });
    auto onvifDevice = StartOnvifDevice(42, [&](OnvifState& s) { s.mac = announced.toStdString(); });
    QVERIFY(onvifDevice->WaitListening());
    OnvifScope onvif({ Loopback(42) }, 1);
    QVERIFY(SetSearchTargets({ Loopback(41) }));
    ZVSdkSetSearchWindow(400);

    SearchCollector sdkRecords;
    ZVNetSearchParam param {};
    param.callback = &SearchCollector::Callback;
    param.user = &sdkRecords;
    QCOMPARE(ZVNetSearchDev(&param), 1);
    SearchCollector onvifRecords;
    int handle = StartOnvifSearch(onvifRecords);
    QVERIFY(handle != 0);
    QVERIFY(sdkRecords.WaitEnd(10000));
    QVERIFY(onvifRecords.WaitEnd(10000));
    ZVOnvifSearchDevStop(&handle);

    QCOMPARE(MacOf(sdkRecords), QByteArray(kSdkForm));
    QCOMPARE(MacOf(onvifRecords), onvifRecord);
    SetSearchTargets({});
    ZVSdkSetSearchWindow(0);
}

QTEST_GUILESS_MAIN(TestMacForm)
#include "tst_macform.moc"
