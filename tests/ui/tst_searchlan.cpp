// Both search pages in a LAN of network namespaces (tests/netns/lan.sh): a
// real broadcast search of 200 fake devices, a range search of a /24 with 50
// live devices, and a network change that moves devices. The test's GUI
// thread works from the "host" namespace; the devices live in "dev1".."dev5".

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"
#include "DeviceInfoMng.h"
#include "DeviceWire.h"
#include "DispatchFixtures.h"
#include "ExtranetsearchFrame.h"
#include "FakeDevice.h"
#include "FakeOnvif.h"
#include "LanDevices.h"
#include "LineEdit.h"
#include "NamespaceLan.h"
#include "SearchFrame.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <memory>

using fakedevice::FakeDevice;
using namespace TestSupport;

namespace
{
constexpr int kPerNamespace = 50;

QStringList ShownIps(const CheckBoxTableView* view)
{
    QStringList ips;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        ips << view->model()->index(row, 1).data().toString();
    return ips;
}

QStringList Addresses(int first, int count)
{
    QStringList addresses;
    for (int n = first; n < first + count; ++n)
        addresses << LanAddress(n);
    return addresses;
}
} // namespace

class TestSearchLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void lanSearchListsEveryDeviceOnce();
    void rangeSearchFindsExactlyTheLiveDevices();
    void networkChangeMovesTheCheckedDevices();
    void onvifSearchListsTheOnvifDevices();

private:
    bool EnterHostForBroadcast();
    bool RunSearch(SearchFrame& page);

    NamespaceLan m_lan;
    std::vector<std::unique_ptr<QProcess>> m_programs;
};

void TestSearchLan::initTestCase()
{
    QString reason;
    if (!m_lan.Up(5, kPerNamespace, &reason))
        QSKIP(qPrintable(reason));
    LoadNumberedTexts();
}

void TestSearchLan::init()
{
    ZVAppSetting::Instance()->m_company = 0;
}

void TestSearchLan::cleanup()
{
    StopLanDevices(m_programs);
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    DeviceInfoMng::Instance()->ReplaceExtranetDevices({});
    ZVOnvifRelease();
    ZVNetRelease();
    // Whatever happened, the test thread leaves the LAN and searches loopback only.
    m_lan.Leave();
    const char* const loopback[] = { "127.0.0.254" };
    ZVSdkSetSearchTargets(loopback, 1);
    ZVSdkSetOnvifSearchTargets(loopback, 1);
    ZVSdkSetSearchWindow(0);
}

void TestSearchLan::cleanupTestCase()
{
    m_lan.Down();
}

bool TestSearchLan::EnterHostForBroadcast()
{
    // Broadcast goes to every interface the thread sees: only ever from inside the LAN.
    if (!m_lan.Enter(QStringLiteral("host")) || !NamespaceLan::SeesOnlyLan())
        return false;
    ZVNetInit();
    ZVNetSetEncription(1);
    return ZVSdkSetSearchTargets(nullptr, 0) == 1;
}

bool TestSearchLan::RunSearch(SearchFrame& page)
{
    page.StartSearch();
    return QTest::qWaitFor([&] { return !page.IsSearching(); }, 60000);
}

void TestSearchLan::lanSearchListsEveryDeviceOnce()
{
    QString error;
    for (int i = 0; i < 4; ++i) {
        m_programs.push_back(StartLanDevices(m_lan, QStringLiteral("dev%1").arg(i + 1), 1 + i * kPerNamespace,
            kPerNamespace, QStringLiteral(DEVSCAN_FAKEDEVICE), &error));
        QVERIFY2(m_programs.back(), qPrintable(error));
    }
    QVERIFY(EnterHostForBroadcast());
    // The shipped window: a broadcast search cannot end before it.
    ZVSdkSetSearchWindow(0);

    ToolBarFrame toolBar;
    SearchFrame page;
    page.m_pToolBarFrame = &toolBar;
    page.show();
    QVERIFY(RunSearch(page));
    QVERIFY(toolBar.Button(ToolBarFrame::ButtonSearch)->isEnabled());
    // Each device answers both rounds of the search: one row each, by address.
    const auto* view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pNormalView"));
    QCOMPARE(ShownIps(view), Addresses(1, 4 * kPerNamespace));
    QCOMPARE(DeviceInfoMng::Instance()->m_lanDevices.size(), 4 * kPerNamespace);
}

void TestSearchLan::rangeSearchFindsExactlyTheLiveDevices()
{
    // 10.213.1.101-150 live; the rest of the /24 exists in the LAN but answers nothing.
    QString error;
    m_programs.push_back(
        StartLanDevices(m_lan, QStringLiteral("dev3"), 101, kPerNamespace, QStringLiteral(DEVSCAN_FAKEDEVICE), &error));
    QVERIFY2(m_programs.back(), qPrintable(error));
    // Unicast to the /24 as well: only ever from inside the LAN.
    QVERIFY(EnterHostForBroadcast());
    // The range search's bounds as shipped; each block ends on its SDK's end.
    const ZVAppSetting shipped;
    ZVAppSetting::Instance()->m_rangeSearchConcurrency = shipped.m_rangeSearchConcurrency;
    ZVAppSetting::Instance()->m_rangeSearchTimeoutMs = shipped.m_rangeSearchTimeoutMs;

    ToolBarFrame toolBar;
    ExtranetsearchFrame page;
    page.m_pToolBarFrame = &toolBar;
    page.show();
    page.findChild<QLineEdit*>(QStringLiteral("m_pEditStaIP"))->setText(QStringLiteral("10.213.1.0"));
    page.findChild<QLineEdit*>(QStringLiteral("m_pEditEndIP"))->setText(QStringLiteral("10.213.1.255"));
    auto* button = page.findChild<QPushButton*>(QStringLiteral("m_pBtnQuery"));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(page.IsSearching());
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 60000);
    const auto* view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pDeviceTableView"));
    QCOMPARE(ShownIps(view), Addresses(101, kPerNamespace));
}

void TestSearchLan::networkChangeMovesTheCheckedDevices()
{
    // Two devices of dev5 (10.213.1.201 and .202) move to .249 and .250.
    std::vector<std::unique_ptr<FakeDevice>> devices;
    QVERIFY(m_lan.Enter(QStringLiteral("dev5")));
    for (int n : { 201, 202, 203 }) {
        FakeDevice::Options options;
        options.broadcast = true;
        devices.push_back(std::make_unique<FakeDevice>(
            fakedevice::LoopbackDeviceState(LanAddress(n).toStdString(), 5000 + n), options));
        QVERIFY(devices.back()->WaitListening(3000));
    }
    QVERIFY(EnterHostForBroadcast());
    ZVSdkSetSearchWindow(0);

    ToolBarFrame toolBar;
    SearchFrame page;
    page.m_pToolBarFrame = &toolBar;
    page.resize(1500, 600);
    page.show();
    QVERIFY(RunSearch(page));
    auto* view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pNormalView"));
    QCOMPARE(ShownIps(view), Addresses(201, 3));

    // Threads keep the network namespace of the thread that made them: the
    // workers, which also broadcast, are made inside the LAN.
    TaskPool pool(2);
    std::atomic<int> workerSeesOnlyLan { -1 };
    pool.AddTask([](void* seen) { static_cast<std::atomic<int>*>(seen)->store(NamespaceLan::SeesOnlyLan() ? 1 : 0); },
        &workerSeesOnlyLan);
    QTRY_VERIFY(workerSeesOnlyLan.load() >= 0);
    QCOMPARE(workerSeesOnlyLan.load(), 1);
    TaskRecorder recorder(&pool);
    auto* model = CheckBoxTableModel::FromViewModel(view->model());
    model->setCheckState(view->model()->index(0, 0), Qt::Checked);
    model->setCheckState(view->model()->index(1, 0), Qt::Checked);
    model->updateCheckedDevices();
    emit view->headCheckChanged(Qt::PartiallyChecked);
    page.findChild<LineEdit*>(QStringLiteral("m_pEditUserName"))->setText(QStringLiteral("admin"));
    page.findChild<LineEdit*>(QStringLiteral("m_pEditPassword"))->setText(QStringLiteral("admin123"));
    page.findChild<QComboBox*>(QStringLiteral("m_pComNetMode"))->setCurrentIndex(1);
    page.findChild<LineEdit*>(QStringLiteral("m_pEditIP"))->setText(LanAddress(249));
    auto* modify = page.findChild<QPushButton*>(QStringLiteral("m_pBtnModify"));
    QTest::mouseClick(modify, Qt::LeftButton);
    QVERIFY(!modify->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(modify->isEnabled(), 15000);
    QVERIFY(devices.front()->CountReceived(fakedevice::wire::SetNetwork) > 0);

    // The devices answer at their new addresses; the next search lists them there.
    QTRY_COMPARE(QString::fromStdString(devices.at(0)->State().ip), LanAddress(249));
    QTRY_COMPARE(QString::fromStdString(devices.at(1)->State().ip), LanAddress(250));
    // They answer only once they listen at their new addresses.
    for (const auto& device : devices)
        QVERIFY(device->WaitListening(20000));
    QVERIFY(RunSearch(page));
    QCOMPARE(ShownIps(view), (QStringList { LanAddress(203), LanAddress(249), LanAddress(250) }));
}

void TestSearchLan::onvifSearchListsTheOnvifDevices()
{
    // ONVIF devices in dev5 (10.213.1.233-235) that answer the multicast probe.
    std::vector<std::unique_ptr<fakedevice::FakeOnvif>> devices;
    QVERIFY(m_lan.Enter(QStringLiteral("dev5")));
    for (int n : { 235, 233, 234 }) {
        fakedevice::OnvifState state = fakedevice::OnvifStateFor(LanAddress(n).toStdString(), 5000 + n);
        state.prefixLength = 16;
        fakedevice::FakeOnvif::Options options;
        options.multicast = true;
        devices.push_back(std::make_unique<fakedevice::FakeOnvif>(state, options));
        QVERIFY(devices.back()->WaitListening(3000));
    }
    QVERIFY(EnterHostForBroadcast());
    ZVOnvifInit();
    ZVOnvifSetSeachTimeout(2, 2, 2);
    QCOMPARE(ZVSdkSetOnvifSearchTargets(nullptr, 0), 1);

    ToolBarFrame toolBar;
    SearchFrame page;
    page.m_pToolBarFrame = &toolBar;
    page.show();
    page.SetProtocol(1);
    QVERIFY(QTest::qWaitFor([&] { return !page.IsSearching(); }, 20000));
    const auto* view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pOnvifView"));
    QCOMPARE(ShownIps(view), Addresses(233, 3));
    for (DeviceInfo* device : DeviceInfoMng::Instance()->m_lanDevices)
        QVERIFY(device->m_bOnvif);
}

QTEST_MAIN(TestSearchLan)
#include "tst_searchlan.moc"
