// The LAN search page against fake devices on loopback: what the table, the
// panel and the tool bar show through a search, a batch network change and a
// new search that starts while a batch still runs.

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"
#include "DeviceInfoMng.h"
#include "DeviceWire.h"
#include "DispatchFixtures.h"
#include "DottedQuad.h"
#include "FakeDevice.h"
#include "FakeOnvif.h"
#include "LineEdit.h"
#include "SearchFrame.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

using fakedevice::FakeDevice;
using namespace TestSupport;

namespace
{
const std::string kPrefix = fakedevice::UniqueLoopbackPrefix();
const std::string kSilentTarget = kPrefix + "254"; // nothing listens there

std::string Loopback(int n)
{
    return kPrefix + std::to_string(n);
}

std::vector<const char*> Texts(const std::vector<std::string>& addresses)
{
    std::vector<const char*> texts;
    for (const std::string& address : addresses)
        texts.push_back(address.c_str());
    return texts;
}

bool SetTargets(const std::vector<std::string>& addresses)
{
    return ZVSdkSetSearchTargets(Texts(addresses).data(), int(addresses.size())) == 1;
}

bool SetOnvifTargets(const std::vector<std::string>& addresses)
{
    return ZVSdkSetOnvifSearchTargets(Texts(addresses).data(), int(addresses.size())) == 1;
}

// Ends each held task from another thread as its worker would, failed, but
// without the worker's network exchange: the records of these tests name no
// device, so nothing may be sent to their addresses.
void EndHeldTasks(const TaskRecorder& recorder)
{
    const QVector<QueuedTask> tasks = recorder.Tasks();
    OnOtherThread([&] {
        for (const QueuedTask& task : tasks) {
            auto* device = static_cast<DeviceInfo*>(task.argument);
            PostDeviceEvent(device, new QDeviceCallEvent([device] {
                device->m_status = StatusFailed;
                device->EndOperation(true);
            }));
        }
    });
}

SearchDevRsp Record(const QString& ip, const QString& name = QString())
{
    SearchDevRsp record;
    std::memset(&record, 0, sizeof(record));
    CopyLatin1(ip, record.ip);
    CopyLatin1(name, record.deviceName);
    CopyLatin1(QStringLiteral("255.255.255.0"), record.netmask);
    CopyLatin1(QStringLiteral("192.168.1.1"), record.gateway);
    record.mediaPort = 9000;
    record.webPort = 80;
    record.networkMode = ZVNET_NET_MODE_STATIC;
    return record;
}

// A page that lists the LAN devices, as the operation pages do.
class ListingPage : public DevicePage
{
public:
    ListingPage()
        : DevicePage(nullptr, QEvent::Type(1012))
    {
    }
    void RefreshDeviceList() override { listed.append(DeviceInfoMng::Instance()->m_lanDevices); }
    void ClearDeviceList() override { ++cleared; }
    QList<QList<DeviceInfo*>> listed;
    int cleared = 0;
};

// The search page with its tool bar and one listing page.
struct Fixture
{
    Fixture()
    {
        page.m_pToolBarFrame = &toolBar;
        page.SetPages({ &listing });
        page.resize(1500, 600);
        page.show();
        view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pNormalView"));
        model = CheckBoxTableModel::FromViewModel(view->model());
    }

    QStringList Column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            texts << view->model()->index(row, column).data().toString();
        return texts;
    }
    QStringList Ips() const { return Column(1); }
    QStringList Statuses() const { return Column(view->model()->columnCount() - 1); }
    bool ToolBarEnabled() const { return toolBar.Button(ToolBarFrame::ButtonUpgrade)->isEnabled(); }
    template <typename T> T* Find(const char* name) const { return page.findChild<T*>(QLatin1String(name)); }

    QRect CellRect(int row, int column) const { return view->visualRect(view->model()->index(row, column)); }
    void ClickCell(int row, int column)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellRect(row, column).center());
    }
    void ClickCheckBox(int row) { TestSupport::ClickCheckBox(view, row); }

    // Runs a search in which the "SDK" finds exactly these records and then
    // ends; the real search of the silent target is given up unheard.
    bool SearchFinding(const QList<SearchDevRsp>& records)
    {
        if (!SetTargets({ kSilentTarget }))
            return false;
        page.StartSearch();
        void* run = page.SearchRun();
        if (!run)
            return false;
        OnOtherThread([&] {
            for (const SearchDevRsp& record : records)
                SearchFrame::SearchCallback(&record, run);
            SearchFrame::SearchCallback(nullptr, run);
        });
        return QTest::qWaitFor([this] { return !page.IsSearching(); }, 20000);
    }

    ToolBarFrame toolBar;
    ListingPage listing;
    SearchFrame page;
    CheckBoxTableView* view = nullptr;
    CheckBoxTableModel* model = nullptr;
};
} // namespace

class TestSearchFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void searchListsEachDeviceOnceByAddress();
    void repliesForOneAddressMakeOneRow();
    void newSearchFreesTheLastOneAndDropsLateReplies();
    void httpApiCustomersSearchNothingYetUnlock_data();
    void httpApiCustomersSearchNothingYetUnlock();
    void panelFollowsClicksAndChecks();
    void batchNetworkChangeAddresses_data();
    void batchNetworkChangeAddresses();
    void networkPanelRefusesWhatIsNoAddress_data();
    void networkPanelRefusesWhatIsNoAddress();
    void networkPanelSendsTheTypedAddresses_data();
    void networkPanelSendsTheTypedAddresses();
    void batchLocksThenShowsEachResult();
    void newSearchDuringBatchKeepsItsResults();
    void networkChangeMovesTheDevices();
    void onvifSearchListsOnvifDevices();
    void onvifQueryOfTheClickedDevice();
    void addressClickOpensTheWebPage_data();
    void addressClickOpensTheWebPage();
    void widthChoosesThePanelLayout_data();
    void widthChoosesThePanelLayout();
    void addressEditsShowTheWidestAddress_data();
    void addressEditsShowTheWidestAddress();
    void panelKeepsItsPlaceWhenTheLabelSwitches_data();
    void panelKeepsItsPlaceWhenTheLabelSwitches();
    void filterActsOnTheCurrentTable_data();
    void filterActsOnTheCurrentTable();
    void doubleClickAsksForTheLoginPage();
    void columnsFollowTheCustomerCode_data();
    void columnsFollowTheCustomerCode();

private:
    std::unique_ptr<TaskPool> m_pool;
    std::vector<std::unique_ptr<FakeDevice>> m_devices;
    std::vector<std::unique_ptr<fakedevice::FakeOnvif>> m_onvifDevices;
};

void TestSearchFrame::initTestCase()
{
    ApplyProgramStyle();
    LoadNumberedTexts();
    QCOMPARE(ZVNetInit(), 1);
    ZVOnvifInit();
    // The shipped search windows: a search of configured targets ends once all
    // of them have answered, and the window only bounds the silent ones.
    ZVOnvifSetSeachTimeout(2, 2, 2);
    ZVSdkSetSearchWindow(0);
    ZVSdkSetTimeouts(2000, 2000);
    m_pool = std::make_unique<TaskPool>(4);
    // Addresses answered out of numeric order.
    for (int n : { 10, 9, 100, 2, 33 }) {
        m_devices.push_back(std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(Loopback(n), n)));
        QVERIFY(m_devices.back()->WaitListening());
    }
    // ONVIF devices of their own, their web ports 18000 + n.
    for (int n : { 61, 52, 70 }) {
        fakedevice::OnvifState state = fakedevice::OnvifStateFor(Loopback(n), n);
        state.webPort = uint16_t(18000 + n);
        m_onvifDevices.push_back(std::make_unique<fakedevice::FakeOnvif>(state));
        QVERIFY(m_onvifDevices.back()->WaitListening());
    }
}

void TestSearchFrame::init()
{
    ZVAppSetting::Instance()->m_company = 0;
    QVERIFY(SetTargets({ kSilentTarget }));
    QVERIFY(SetOnvifTargets({ kSilentTarget }));
}

void TestSearchFrame::cleanup()
{
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestSearchFrame::cleanupTestCase()
{
    m_pool.reset();
    m_devices.clear();
    m_onvifDevices.clear();
    ZVNetRelease();
    ZVOnvifRelease();
}

void TestSearchFrame::searchListsEachDeviceOnceByAddress()
{
    std::vector<std::string> targets;
    for (const auto& device : m_devices)
        targets.push_back(device->State().ip);
    QVERIFY(SetTargets(targets));
    Fixture f;
    QThread* resetThread = nullptr;
    connect(f.model, &QAbstractItemModel::modelReset, this, [&] { resetThread = QThread::currentThread(); });

    f.page.StartSearch();
    QVERIFY(!f.ToolBarEnabled());
    QVERIFY(f.page.IsSearching());
    QCOMPARE(f.listing.cleared, 1);
    QTRY_VERIFY_WITH_TIMEOUT(f.ToolBarEnabled(), 20000);

    QStringList expected;
    for (int n : { 2, 9, 10, 33, 100 })
        expected << QString::fromStdString(Loopback(n));
    QCOMPARE(f.Ips(), expected);
    // The hand-over and the model reset ran on the GUI thread.
    QCOMPARE(resetThread, QThread::currentThread());
    const QList<DeviceInfo*> listed = DeviceInfoMng::Instance()->m_lanDevices;
    QCOMPARE(listed, f.model->devices());
    QCOMPARE(f.listing.listed, QList<QList<DeviceInfo*>> { listed });
    for (DeviceInfo* device : listed)
        QCOMPARE(device->thread(), QThread::currentThread());
    // What the SDK reported shows in the other columns.
    QCOMPARE(f.Column(2).value(0), QStringLiteral("9611")); // media port
    for (const auto& device : m_devices)
        QVERIFY(device->CountReceived(fakedevice::wire::Search) >= 1);
}

void TestSearchFrame::repliesForOneAddressMakeOneRow()
{
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.10", "first"), Record("10.0.0.9"), Record("10.0.0.10", "second"),
        Record("10.0.0.100"), Record("10.0.0.9", "again") }));
    QCOMPARE(f.Ips(), (QStringList { "10.0.0.9", "10.0.0.10", "10.0.0.100" }));
    QCOMPARE(f.model->devices().at(1)->DeviceName(), QStringLiteral("first"));
    QCOMPARE(DeviceInfoMng::Instance()->m_lanDevices.size(), 3);
}

void TestSearchFrame::newSearchFreesTheLastOneAndDropsLateReplies()
{
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.1"), Record("10.0.0.2") }));
    QList<QPointer<DeviceInfo>> first;
    for (DeviceInfo* device : f.model->devices())
        first << device;
    QCOMPARE(first.size(), 2);

    // A search that is given up: what it found and what it still reports go.
    QVERIFY(SetTargets({ kSilentTarget }));
    f.page.StartSearch();
    for (const QPointer<DeviceInfo>& device : first)
        QVERIFY(device.isNull());
    QCOMPARE(f.model->rowCount(), 0);
    void* givenUp = f.page.SearchRun();
    const SearchDevRsp early = Record("10.0.0.3");
    OnOtherThread([&] { QCOMPARE(SearchFrame::SearchCallback(&early, givenUp), 1); });

    QVERIFY(f.SearchFinding({ Record("10.0.0.4") }));
    const SearchDevRsp late = Record("10.0.0.5");
    OnOtherThread([&] {
        QCOMPARE(SearchFrame::SearchCallback(&late, givenUp), 0);
        QCOMPARE(SearchFrame::SearchCallback(nullptr, givenUp), 0);
    });
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.Ips(), QStringList { "10.0.0.4" });
    QCOMPARE(f.listing.cleared, 3);
    QVERIFY(f.ToolBarEnabled());
}

void TestSearchFrame::httpApiCustomersSearchNothingYetUnlock_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("43") << 43;
    QTest::newRow("44") << 44;
}

void TestSearchFrame::httpApiCustomersSearchNothingYetUnlock()
{
    QFETCH(int, code);
    ZVAppSetting::Instance()->m_company = code;
    QVERIFY(SetTargets({ m_devices.front()->State().ip }));
    m_devices.front()->ClearReceived();
    Fixture f;
    f.page.StartSearch();
    auto* timer = f.Find<QTimer>("m_pTimer");
    QVERIFY(timer && timer->isActive());
    QVERIFY(!f.ToolBarEnabled());
    QTRY_VERIFY(f.ToolBarEnabled());
    QCOMPARE(f.listing.listed.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!timer->isActive(), 3000);
    QCOMPARE(m_devices.front()->CountReceived(fakedevice::wire::Search), 0);
}

void TestSearchFrame::panelFollowsClicksAndChecks()
{
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.1"), Record("10.0.0.2") }));
    auto* bottom = f.Find<QFrame>("SearchFrameBottom");
    auto* ipLabel = f.Find<QLabel>("m_pLableIP");
    auto* ip = f.Find<LineEdit>("m_pEditIP");
    auto* mode = f.Find<QComboBox>("m_pComNetMode");
    QVERIFY(!bottom->isVisible());

    f.ClickCell(1, 3);
    QVERIFY(bottom->isVisible());
    QCOMPARE(ipLabel->text(), QStringLiteral("T32"));
    QCOMPARE(ip->text(), QStringLiteral("10.0.0.2"));
    QCOMPARE(f.Find<LineEdit>("m_pEditPort")->text(), QStringLiteral("9000"));
    QCOMPARE(f.Find<LineEdit>("m_pEditNetMask")->text(), QStringLiteral("255.255.255.0"));
    QCOMPARE(mode->currentIndex(), 1);
    QVERIFY(ip->isEnabled());
    QCOMPARE(f.page.GetCurrentDevice(), f.model->devices().at(1));

    // A check starts batch mode: the address is where the batch starts.
    f.ClickCheckBox(0);
    QCOMPARE(f.view->headCheckState(), int(Qt::PartiallyChecked));
    QCOMPARE(ipLabel->text(), QStringLiteral("T45"));
    QVERIFY(ip->text().isEmpty());
    f.view->checkBoxHeader()->updateHeadCheckStateToModel(Qt::Unchecked);
    QCOMPARE(ipLabel->text(), QStringLiteral("T32"));

    // DHCP locks the address edits.
    mode->setCurrentIndex(0);
    QVERIFY(!ip->isEnabled());
    QVERIFY(!f.Find<LineEdit>("m_pEditGateway")->isEnabled());
    mode->setCurrentIndex(1);
    QVERIFY(ip->isEnabled());
}

void TestSearchFrame::batchNetworkChangeAddresses_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<int>("mode");
    // Per device in table order: the address it is given, empty for its own,
    // "refused" when nothing may be sent to it.
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("dhcp");

    const QStringList own = { "", "", "" };
    QTest::newRow("carry into the next octet under a typed /16")
        << "192.168.1.254"
        << "255.255.0.0" << 1 << QStringList { "192.168.1.254", "192.168.1.255", "192.168.2.0" } << 2;
    // The devices keep their /24: the broadcast address and the next network
    // would leave them unreachable.
    QTest::newRow("past the broadcast address of the devices' own /24")
        << "192.168.1.254"
        << "" << 1 << QStringList { "192.168.1.254", "refused", "refused" } << 2;
    QTest::newRow("broadcast address of a typed /24")
        << "10.1.1.253"
        << "255.255.255.0" << 1 << QStringList { "10.1.1.253", "10.1.1.254", "refused" } << 2;
    QTest::newRow("end of the address space") << "255.255.255.255"
                                              << "" << 1 << QStringList { "255.255.255.255", "", "" } << 2;
    // An empty address keeps the device's own.
    QTest::newRow("no start address") << ""
                                      << "" << 1 << own << 2;
    QTest::newRow("DHCP keeps every address") << "172.16.0.1"
                                              << "" << 0 << own << 0;
}

void TestSearchFrame::batchNetworkChangeAddresses()
{
    QFETCH(QString, start);
    QFETCH(QString, netmask);
    QFETCH(int, mode);
    QFETCH(QStringList, addresses);
    QFETCH(int, dhcp);

    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.3"), Record("10.0.0.1"), Record("10.0.0.2") }));
    TaskRecorder recorder(nullptr); // tasks are held
    f.view->checkBoxHeader()->updateHeadCheckStateToModel(Qt::Checked);
    f.Find<QComboBox>("m_pComNetMode")->setCurrentIndex(mode);
    f.Find<LineEdit>("m_pEditIP")->setText(start);
    f.Find<LineEdit>("m_pEditNetMask")->setText(netmask);
    f.Find<LineEdit>("m_pEditWebPort")->setText(QStringLiteral("8080"));
    f.Find<LineEdit>("m_pEditPort")->setText(QStringLiteral("x"));
    QTest::mouseClick(f.Find<QPushButton>("m_pBtnModify"), Qt::LeftButton);

    // In table order, each address after the one before; an empty one keeps
    // the device's own. A refused device is not queued and shows the failure.
    const QVector<QueuedTask> tasks = recorder.Tasks();
    QCOMPARE(tasks.size(), int(addresses.size() - addresses.count(QStringLiteral("refused"))));
    const QStringList statuses = f.Statuses();
    for (int i = 0; i < addresses.size(); ++i) {
        DeviceInfo* device = f.model->devices().at(i);
        if (addresses.at(i) != QStringLiteral("refused"))
            continue;
        DeviceInfo failed;
        failed.m_status = StatusFailed;
        QCOMPARE(statuses.at(i), failed.StatusText());
        QVERIFY(!device->IsBusy());
        QVERIFY(device->m_newIp.isEmpty());
        QVERIFY(device->m_newWebPort != 8080);
    }
    for (int i = 0; i < tasks.size(); ++i) {
        QVERIFY(tasks.at(i).function == &ModifyNetworkTask);
        QVERIFY(!tasks.at(i).urgent);
        auto* device = static_cast<DeviceInfo*>(tasks.at(i).argument);
        QCOMPARE(device, f.model->devices().at(i));
        QCOMPARE(device->m_newIp, addresses.at(i).isEmpty() ? device->Ip() : addresses.at(i));
        QCOMPARE(device->m_newNetmask, netmask.isEmpty() || mode == 0 ? device->Netmask() : netmask);
        QCOMPARE(device->m_newDhcp, dhcp);
        QCOMPARE(int(device->m_newWebPort), 8080);
        QCOMPARE(int(device->m_newMediaPort), 9000); // no number: the device keeps its own
        QCOMPARE(device->m_user, QStringLiteral("tolvi"));
        QVERIFY(device->IsBusy());
    }
    EndHeldTasks(recorder);
    QTRY_VERIFY_WITH_TIMEOUT(f.Find<QPushButton>("m_pBtnModify")->isEnabled(), 8000);
}

// Lists the fake devices through a real search; what they received before is forgotten.
static bool SearchTheFakeDevices(Fixture& f, const std::vector<std::unique_ptr<FakeDevice>>& devices)
{
    std::vector<std::string> targets;
    for (const auto& device : devices)
        targets.push_back(device->State().ip);
    if (!SetTargets(targets))
        return false;
    f.page.StartSearch();
    if (!QTest::qWaitFor([&f] { return !f.page.IsSearching(); }, 20000) || f.model->rowCount() != int(devices.size()))
        return false;
    for (const auto& device : devices)
        device->ClearReceived();
    return true;
}

// The panel's values: the clicked device's own ones (batch false), or none
// for the devices of rows 0 to 2 (batch true); then these texts typed over
// them, a text "own" leaving the edit as the panel has it.
static void TypeIntoPanel(Fixture& f, bool batch, const QString& ip, const QString& netmask, const QString& gateway)
{
    if (batch) {
        for (int row : { 0, 1, 2 })
            f.ClickCheckBox(row);
    } else {
        f.ClickCell(0, 3);
    }
    f.Find<QComboBox>("m_pComNetMode")->setCurrentIndex(1); // static
    f.Find<LineEdit>("m_pEditUserName")->setText(QStringLiteral("admin"));
    f.Find<LineEdit>("m_pEditPassword")->setText(QStringLiteral("admin123"));
    const QPair<const char*, QString> typed[]
        = { { "m_pEditIP", ip }, { "m_pEditNetMask", netmask }, { "m_pEditGateway", gateway } };
    for (const auto& edit : typed) {
        if (edit.second != QStringLiteral("own"))
            f.Find<LineEdit>(edit.first)
                ->setText(QString(edit.second).replace(QStringLiteral("{net}"), QString::fromStdString(kPrefix)));
    }
}

void TestSearchFrame::networkPanelRefusesWhatIsNoAddress_data()
{
    QTest::addColumn<bool>("batch");
    QTest::addColumn<QString>("ip"); // "{net}" is this test's loopback prefix
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    auto row = [](const char* name, bool batch, const char* ip, const char* netmask, const char* gateway,
                   const char* message, const char* focus) {
        QTest::newRow(name) << batch << QString(ip) << QString(netmask) << QString(gateway) << QString(message)
                            << QString(focus);
    };
    row("mask with a gap, gateway abc", false, "own", "255.0.255.0", "abc", "T37: T239", "m_pEditNetMask");
    row("gateway abc", false, "own", "own", "abc", "T38: T238", "m_pEditGateway");
    row("mask 0.0.0.0", false, "own", "0.0.0.0", "own", "T37: T239", "m_pEditNetMask");
    row("address with a leading zero", false, "{net}02", "own", "own", "T32: T238", "m_pEditIP");
    row("gateway outside the typed /24", false, "own", "255.255.255.0", "10.0.0.1", "T38: T240", "m_pEditGateway");
    row("batch: start address past 255", true, "{net}999", "", "", "T45: T238", "m_pEditIP");
    row("batch: start address 10.0.0.300", true, "10.0.0.300", "", "", "T45: T238", "m_pEditIP");
    row("batch: gateway outside the devices' own network", true, "", "", "10.0.0.1", "T38: T240", "m_pEditGateway");
    row("batch: mask of letters", true, "{net}20", "mask", "", "T37: T239", "m_pEditNetMask");
}

void TestSearchFrame::networkPanelRefusesWhatIsNoAddress()
{
    QFETCH(bool, batch);
    QFETCH(QString, ip);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    Fixture f;
    QVERIFY(SearchTheFakeDevices(f, m_devices));
    TaskRecorder recorder(m_pool.get());
    TypeIntoPanel(f, batch, ip, netmask, gateway);
    const QStringList statuses = f.Statuses();
    DialogAnswerer dialogs;
    QTest::mouseClick(f.Find<QPushButton>("m_pBtnModify"), Qt::LeftButton);

    // One message names the field; nothing is queued, nothing reaches a device.
    QCOMPARE(dialogs.Dialogs().size(), 1);
    QCOMPARE(dialogs.Dialogs().at(0).text, message);
    QCOMPARE(dialogs.Dialogs().at(0).title, QStringLiteral("T110"));
    QCOMPARE(f.page.focusWidget(), f.Find<QWidget>(focus.toLatin1().constData()));
    QVERIFY(recorder.Tasks().isEmpty());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.Statuses(), statuses);
    QVERIFY(f.Find<QPushButton>("m_pBtnModify")->isEnabled());
    QVERIFY(f.ToolBarEnabled());
    for (const auto& device : m_devices)
        QCOMPARE(device->CountReceived(fakedevice::wire::SetNetwork), 0);
}

void TestSearchFrame::networkPanelSendsTheTypedAddresses_data()
{
    QTest::addColumn<bool>("batch");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    // What the devices of rows 0 to 2 (one device unless batch) receive; "own"
    // for the device's own address.
    QTest::addColumn<QString>("sentIp");
    QTest::addColumn<QString>("sentNetmask");
    QTest::addColumn<QString>("sentGateway");
    auto row = [](const char* name, bool batch, const char* ip, const char* netmask, const char* gateway,
                   const char* sentNetmask, const char* sentGateway) {
        QTest::newRow(name) << batch << QString(ip) << QString(netmask) << QString(gateway) << QStringLiteral("own")
                            << QString(sentNetmask) << QString(sentGateway);
    };
    row("own address, a typed /24 and its gateway", false, "own", "255.255.255.0", "{net}1", "255.255.255.0", "{net}1");
    row("no gateway", false, "own", "own", "0.0.0.0", "255.0.0.0", "0.0.0.0");
    row("batch: own addresses, a typed /24 and its gateway", true, "", "255.255.255.0", "{net}254", "255.255.255.0",
        "{net}254");
    row("batch: own addresses and masks, a gateway of the devices' /8", true, "", "", "127.0.0.2", "255.0.0.0",
        "127.0.0.2");
}

void TestSearchFrame::networkPanelSendsTheTypedAddresses()
{
    QFETCH(bool, batch);
    QFETCH(QString, ip);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QString, sentIp);
    QFETCH(QString, sentNetmask);
    QFETCH(QString, sentGateway);
    Fixture f;
    QVERIFY(SearchTheFakeDevices(f, m_devices));
    TaskRecorder recorder(m_pool.get());
    TypeIntoPanel(f, batch, ip, netmask, gateway);
    DialogAnswerer dialogs;
    auto* modify = f.Find<QPushButton>("m_pBtnModify");
    QTest::mouseClick(modify, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(modify->isEnabled(), 20000);
    QVERIFY(dialogs.Dialogs().isEmpty());

    // The devices listed in rows 0 to 2 are .2, .9 and .10, in m_devices 3, 1 and 0.
    const int devices[] = { 3, 1, 0 };
    auto bytes = [](const QString& text) {
        const QString address = QString(text).replace(QStringLiteral("{net}"), QString::fromStdString(kPrefix));
        unsigned char out[4] = {};
        ParseDottedQuadBytes(address.toLatin1().constData(), out);
        return QByteArray(reinterpret_cast<const char*>(out), 4);
    };
    for (int row = 0; row < (batch ? 3 : 1); ++row) {
        FakeDevice& device = *m_devices.at(size_t(devices[row]));
        const QString own = QString::fromStdString(device.State().ip);
        QCOMPARE(f.model->devices().at(row)->Ip(), own);
        DeviceInfo ok;
        ok.m_status = StatusOk;
        QCOMPARE(f.Statuses().at(row), ok.StatusText());
        fakedevice::Received set;
        for (const fakedevice::Received& received : device.ReceivedRequests())
            if (received.type == fakedevice::wire::SetNetwork)
                set = received;
        QCOMPARE(set.payload.size(), size_t(840));
        const char* record = reinterpret_cast<const char*>(set.payload.data()) + 96;
        const QByteArray sent(record + offsetof(ZVNetNewDevInfo, newIp), 12); // address, mask, gateway
        QCOMPARE(sent.toHex(' '),
            (bytes(sentIp == QStringLiteral("own") ? own : sentIp) + bytes(sentNetmask) + bytes(sentGateway))
                .toHex(' '));
        // The device took them.
        const fakedevice::DeviceState state = device.State();
        QCOMPARE(QString::fromStdString(state.ip), own);
        QCOMPARE(bytes(QString::fromStdString(state.netmask)), bytes(sentNetmask));
        QCOMPARE(bytes(QString::fromStdString(state.gateway)), bytes(sentGateway));
        QVERIFY(device.WaitListening(20000));
        device.Update([](fakedevice::DeviceState& s) {
            s.netmask = fakedevice::DeviceState().netmask;
            s.gateway = fakedevice::DeviceState().gateway;
        });
    }
    // Nothing reached the devices outside the change.
    for (size_t other = 0; other < m_devices.size(); ++other) {
        if (!std::count(devices, devices + (batch ? 3 : 1), int(other)))
            QCOMPARE(m_devices.at(other)->CountReceived(fakedevice::wire::SetNetwork), 0);
    }
}

void TestSearchFrame::batchLocksThenShowsEachResult()
{
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.1"), Record("10.0.0.2"), Record("10.0.0.3") }));
    TaskRecorder recorder(nullptr);
    f.ClickCheckBox(0);
    f.ClickCheckBox(2);
    auto* modify = f.Find<QPushButton>("m_pBtnModify");
    QTest::mouseClick(modify, Qt::LeftButton);

    QCOMPARE(recorder.Tasks().size(), 2);
    QVERIFY(!modify->isEnabled());
    QVERIFY(!f.Find<LineEdit>("m_pEditIP")->isEnabled());
    QVERIFY(!f.ToolBarEnabled());
    QCOMPARE(f.Statuses(), (QStringList { "T19", "", "T19" }));

    // The devices end one by one; the page unlocks after the last.
    EndHeldTasks(recorder);
    QTRY_VERIFY_WITH_TIMEOUT(modify->isEnabled(), 8000);
    QVERIFY(f.ToolBarEnabled());
    const QStringList statuses = f.Statuses();
    QVERIFY(statuses.at(0) != QStringLiteral("T19") && !statuses.at(0).isEmpty());
    QCOMPARE(statuses.at(1), QString());
    QCOMPARE(statuses.at(2), statuses.at(0));
    for (DeviceInfo* device : f.model->devices())
        QVERIFY(!device->IsBusy());
}

void TestSearchFrame::newSearchDuringBatchKeepsItsResults()
{
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.1"), Record("10.0.0.2"), Record("10.0.0.3") }));
    ReportLog log;
    RecordingListener observer(log, QStringLiteral("observer"));
    QList<QPointer<DeviceInfo>> batch;
    for (DeviceInfo* device : f.model->devices()) {
        device->m_pRebootDevice = &observer;
        batch << device;
    }
    TaskRecorder recorder(nullptr);
    f.view->checkBoxHeader()->updateHeadCheckStateToModel(Qt::Checked);
    QTest::mouseClick(f.Find<QPushButton>("m_pBtnModify"), Qt::LeftButton);
    QCOMPARE(recorder.Tasks().size(), 3);

    // A new search while the batch waits on the pool.
    QVERIFY(f.SearchFinding({ Record("10.0.0.7") }));
    for (const QPointer<DeviceInfo>& device : batch)
        QVERIFY(!device.isNull());
    QCOMPARE(f.Ips(), QStringList { "10.0.0.7" });
    QVERIFY(!f.ToolBarEnabled()); // the batch still runs

    EndHeldTasks(recorder);
    QTRY_VERIFY_WITH_TIMEOUT(f.Find<QPushButton>("m_pBtnModify")->isEnabled(), 8000);
    QVERIFY(f.ToolBarEnabled());
    // Every device of the batch reported its end while it still existed, and
    // went only afterwards.
    QTRY_VERIFY(std::all_of(batch.cbegin(), batch.cend(), [](const QPointer<DeviceInfo>& d) { return d.isNull(); }));
    const QVector<TaskReport> reports = log.Reports();
    QCOMPARE(reports.size(), 3);
    for (const TaskReport& report : reports) {
        QVERIFY(report.finished);
        QVERIFY(report.onGuiThread);
        QVERIFY(report.status != StatusWaiting);
    }
    QCOMPARE(f.Ips(), QStringList { "10.0.0.7" });
}

void TestSearchFrame::networkChangeMovesTheDevices()
{
    std::vector<std::string> targets;
    for (const auto& device : m_devices)
        targets.push_back(device->State().ip);
    QVERIFY(SetTargets(targets));
    Fixture f;
    f.page.StartSearch();
    QTRY_VERIFY_WITH_TIMEOUT(!f.page.IsSearching(), 20000);
    QCOMPARE(f.model->rowCount(), 5);
    TaskRecorder recorder(m_pool.get());
    // The devices at .9 and .10 move to .200 and .201.
    f.ClickCheckBox(1);
    f.ClickCheckBox(2);
    f.Find<LineEdit>("m_pEditUserName")->setText(QStringLiteral("admin"));
    f.Find<LineEdit>("m_pEditPassword")->setText(QStringLiteral("admin123"));
    f.Find<LineEdit>("m_pEditIP")->setText(QString::fromStdString(Loopback(200)));
    QTest::mouseClick(f.Find<QPushButton>("m_pBtnModify"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(f.Find<QPushButton>("m_pBtnModify")->isEnabled(), 10000);
    QVERIFY(m_devices.at(1)->CountReceived(fakedevice::wire::SetNetwork) > 0);

    targets.push_back(Loopback(200));
    targets.push_back(Loopback(201));
    QVERIFY(SetTargets(targets));
    // They answer only once they listen at their new addresses.
    QTRY_COMPARE(QString::fromStdString(m_devices.at(0)->State().ip), QString::fromStdString(Loopback(201)));
    QTRY_COMPARE(QString::fromStdString(m_devices.at(1)->State().ip), QString::fromStdString(Loopback(200)));
    QVERIFY(m_devices.at(0)->WaitListening(20000));
    QVERIFY(m_devices.at(1)->WaitListening(20000));
    f.page.StartSearch();
    QTRY_VERIFY_WITH_TIMEOUT(!f.page.IsSearching(), 20000);
    QStringList expected;
    for (int n : { 2, 33, 100, 200, 201 })
        expected << QString::fromStdString(Loopback(n));
    QCOMPARE(f.Ips(), expected);
    // Put them back for the other tests.
    m_devices.at(1)->Update([](fakedevice::DeviceState& state) { state.ip = Loopback(9); });
    m_devices.at(0)->Update([](fakedevice::DeviceState& state) { state.ip = Loopback(10); });
}

void TestSearchFrame::onvifSearchListsOnvifDevices()
{
    std::vector<std::string> targets;
    for (const auto& device : m_onvifDevices)
        targets.push_back(device->State().ip);
    QVERIFY(SetOnvifTargets(targets));
    // The SDK's own devices are asked too, and must not show in the ONVIF list.
    QVERIFY(SetTargets({ m_devices.front()->State().ip }));
    Fixture f;
    f.page.SetProtocol(1);
    QVERIFY(f.page.IsSearching());
    QTRY_VERIFY_WITH_TIMEOUT(!f.page.IsSearching(), 20000);
    auto* onvifView = f.Find<CheckBoxTableView>("m_pOnvifView");
    QVERIFY(onvifView->isVisible());
    QVERIFY(!f.view->isVisible());
    QVERIFY(!f.Find<QPushButton>("m_pBtnQuery")->isHidden());
    QStringList ips;
    for (int row = 0; row < onvifView->model()->rowCount(); ++row)
        ips << onvifView->model()->index(row, 1).data().toString();
    QCOMPARE(ips,
        (QStringList { QString::fromStdString(Loopback(52)), QString::fromStdString(Loopback(61)),
            QString::fromStdString(Loopback(70)) }));
    const QList<DeviceInfo*> devices = DeviceInfoMng::Instance()->m_lanDevices;
    QCOMPARE(devices.size(), 3);
    for (DeviceInfo* device : devices) {
        QVERIFY(device->m_bOnvif);
        QCOMPARE(int(device->m_searchRsp.webPort), 18000 + device->Ip().section('.', 3).toInt());
    }
    // The columns ONVIF has nothing for are hidden; the address is not.
    QVERIFY(onvifView->isColumnHidden(2));
    QVERIFY(!onvifView->isColumnHidden(1));
    QCOMPARE(f.page.Protocol(), 1);

    // Back to the SDK's own search and view.
    f.page.SetProtocol(0);
    QTRY_VERIFY_WITH_TIMEOUT(!f.page.IsSearching(), 20000);
    QCOMPARE(f.Ips(), QStringList { QString::fromStdString(m_devices.front()->State().ip) });
    QVERIFY(f.Find<QPushButton>("m_pBtnQuery")->isHidden());
}

void TestSearchFrame::onvifQueryOfTheClickedDevice()
{
    QVERIFY(SetOnvifTargets({ m_onvifDevices.front()->State().ip }));
    Fixture f;
    f.page.SetProtocol(1);
    QTRY_VERIFY_WITH_TIMEOUT(!f.page.IsSearching(), 20000);
    auto* onvifView = f.Find<CheckBoxTableView>("m_pOnvifView");
    QCOMPARE(onvifView->model()->rowCount(), 1);
    TaskRecorder recorder(m_pool.get());
    QTest::mouseClick(onvifView->viewport(), Qt::LeftButton, Qt::NoModifier,
        onvifView->visualRect(onvifView->model()->index(0, 3)).center());
    // No media port for ONVIF devices.
    QVERIFY(!f.Find<LineEdit>("m_pEditPort")->isEnabled());
    f.Find<LineEdit>("m_pEditUserName")->setText(QStringLiteral("admin"));
    f.Find<LineEdit>("m_pEditPassword")->setText(QStringLiteral("admin123"));
    auto* query = f.Find<QPushButton>("m_pBtnQuery");
    QTest::mouseClick(query, Qt::LeftButton);
    QVERIFY(!query->isEnabled());
    QVERIFY(!f.ToolBarEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(query->isEnabled(), 10000);
    QVERIFY(f.ToolBarEnabled());
    QCOMPARE(recorder.Tasks().size(), 1);
    QVERIFY(recorder.Tasks().first().function == &QueryNetworkTask);
    // The device was reached over ONVIF, and the row shows how it ended.
    QVERIFY(!m_onvifDevices.front()->Requests().empty());
    const QString status = onvifView->model()->index(0, onvifView->model()->columnCount() - 1).data().toString();
    QVERIFY(!status.isEmpty() && status != QStringLiteral("T19"));
}

void TestSearchFrame::addressClickOpensTheWebPage_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("https");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("verb");

    QTest::newRow("code 0") << 0 << false << QByteArray("http://10.0.0.5:80") << "runas";
    QTest::newRow("code 5") << 5 << false << QByteArray("http://10.0.0.5:80") << "";
    QTest::newRow("https box") << 20 << true << QByteArray("https://10.0.0.5:443") << "";
}

void TestSearchFrame::addressClickOpensTheWebPage()
{
    QFETCH(int, code);
    QFETCH(bool, https);
    QFETCH(QByteArray, address);
    QFETCH(QString, verb);

    ZVAppSetting::Instance()->m_company = code;
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.5") }));
    if (https)
        f.model->devices().first()->m_httpsCheckState = Qt::Checked;
    WebPageRecorder recorder;
    f.ClickCell(0, 3);
    QVERIFY(recorder.Pages().isEmpty());
    f.ClickCell(0, 1);
    QCOMPARE(recorder.Pages().size(), 1);
    QCOMPARE(recorder.Pages().first().address, address);
    QCOMPARE(recorder.Pages().first().verb, verb);
}

void TestSearchFrame::widthChoosesThePanelLayout_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("code 0") << 0;
    QTest::newRow("code 31 with DNS") << 31;
}

void TestSearchFrame::widthChoosesThePanelLayout()
{
    QFETCH(int, code);
    ZVAppSetting::Instance()->m_company = code;
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.5") }));
    f.ClickCell(0, 2);
    auto* ip = f.Find<LineEdit>("m_pEditIP");
    auto* gateway = f.Find<LineEdit>("m_pEditGateway");
    auto* dns1 = f.Find<LineEdit>("m_pEditDNS1");
    auto* dns2 = f.Find<LineEdit>("m_pEditDNS2");
    QCOMPARE(dns1->isVisible(), code == 31);
    auto row = [&] { return ip->geometry().top() == gateway->geometry().top(); };
    // The grid puts the gateway under the address, in the address's column.
    auto grid = [&] {
        return gateway->geometry().top() > ip->geometry().top() && gateway->geometry().left() == ip->geometry().left();
    };
    QTRY_VERIFY(row());
    if (code == 31)
        QCOMPARE(dns2->geometry().top(), ip->geometry().top());
    f.page.resize(1419, 600);
    QTRY_VERIFY(grid());
    if (code == 31)
        QCOMPARE(dns2->geometry().top(), gateway->geometry().top());
    f.page.resize(1100, 600);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QVERIFY(grid());
    f.page.resize(1420, 600);
    QTRY_VERIFY(row());
    QVERIFY(ip->geometry().left() < gateway->geometry().left());
}

// The room an edit has for its text: its contents less QLineEdit's own two
// pixels on either side.
static int TextRoom(const QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    option.state |= QStyle::State_Sunken;
    return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - 2 * 2;
}

// Lets every layout pass that is due happen.
static void SettleLayouts()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
}

void TestSearchFrame::addressEditsShowTheWidestAddress_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("edits");
    const QStringList plain = { "m_pEditIP", "m_pEditGateway", "m_pEditNetMask" };
    QTest::newRow("code 0") << 0 << plain;
    QTest::newRow("code 20") << 20 << plain;
    QTest::newRow("code 31 with DNS") << 31 << (plain + QStringList { "m_pEditDNS1", "m_pEditDNS2" });
}

void TestSearchFrame::addressEditsShowTheWidestAddress()
{
    QFETCH(int, code);
    QFETCH(QStringList, edits);
    ZVAppSetting::Instance()->m_company = code;
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.213.100.254") }));
    f.ClickCheckBox(0); // batch mode: the user types the addresses
    SettleLayouts();
    for (const QString& name : qAsConst(edits)) {
        auto* edit = f.page.findChild<LineEdit*>(name);
        QVERIFY2(edit && edit->isVisible(), qPrintable(name));
        edit->setText(QStringLiteral("255.255.255.255"));
        QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->text()) <= TextRoom(edit), qPrintable(name));
    }
}

void TestSearchFrame::panelKeepsItsPlaceWhenTheLabelSwitches_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("one row") << 1600;
    QTest::newRow("grid") << 1200;
}

void TestSearchFrame::panelKeepsItsPlaceWhenTheLabelSwitches()
{
    QFETCH(int, width);
    // Texts of very different widths for the label's two states.
    QByteArray texts = NumberedLanguageFile(239);
    texts.replace("<string>T32</string>", "<string>IP</string>");
    texts.replace("<string>T45</string>", "<string>Start address of the batch</string>");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("labels.xml"));
    QVERIFY(WriteFile(path, texts));
    LanguageTexts::Reload(path);

    Fixture f;
    f.page.resize(width, 600);
    QVERIFY(f.SearchFinding({ Record("10.0.0.1"), Record("10.0.0.2") }));
    auto* label = f.Find<QLabel>("m_pLableIP");
    const QList<QWidget*> panel
        = { f.Find<QWidget>("m_pEditIP"), f.Find<QWidget>("m_pEditPort"), f.Find<QWidget>("m_pEditGateway"),
              f.Find<QWidget>("m_pComNetMode"), f.Find<QWidget>("m_pBtnModify"), f.Find<QWidget>("m_pGroupDevInfo") };
    auto positions = [&] {
        QList<int> x;
        for (const QWidget* widget : panel)
            x << widget->mapTo(&f.page, QPoint(0, 0)).x();
        return x;
    };

    f.ClickCell(1, 3);
    SettleLayouts();
    QCOMPARE(label->text(), QStringLiteral("IP"));
    const QList<int> single = positions();

    f.ClickCheckBox(0);
    SettleLayouts();
    QCOMPARE(label->text(), QStringLiteral("Start address of the batch"));
    QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    QCOMPARE(positions(), single);

    f.view->checkBoxHeader()->updateHeadCheckStateToModel(Qt::Unchecked);
    SettleLayouts();
    QCOMPARE(label->text(), QStringLiteral("IP"));
    QCOMPARE(positions(), single);
    LoadNumberedTexts();
}

void TestSearchFrame::filterActsOnTheCurrentTable_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("modelColumn");

    QTest::newRow("address") << 0 << 1 << 1;
    QTest::newRow("code 34 moves columns after the address") << 34 << 2 << 3;
    QTest::newRow("code 43 moves column 2") << 43 << 2 << 3;
}

void TestSearchFrame::filterActsOnTheCurrentTable()
{
    QFETCH(int, code);
    QFETCH(int, column);
    QFETCH(int, modelColumn);
    ZVAppSetting::Instance()->m_company = code;
    Fixture f;
    f.page.SetFilterColumn(column);
    QCOMPARE(f.model->filterColumn(), modelColumn);
    if (IsHttpApiCompany(code))
        return; // no LAN search to list anything
    QVERIFY(f.SearchFinding({ Record("10.0.0.5"), Record("10.0.1.6"), Record("10.0.1.7") }));
    f.page.SetFilterColumn(1);
    f.page.SetFilterText(QStringLiteral("0.1."));
    QCOMPARE(f.Ips(), (QStringList { "10.0.1.6", "10.0.1.7" }));
    f.page.SetFilterText(QString());
    QCOMPARE(f.Ips().size(), 3);
}

void TestSearchFrame::doubleClickAsksForTheLoginPage()
{
    Fixture f;
    QVERIFY(f.SearchFinding({ Record("10.0.0.5") }));
    QSignalSpy login(&f.page, &SearchFrame::SearchFrameDoubleClick);
    f.ClickCell(0, 3);
    QTest::mouseDClick(f.view->viewport(), Qt::LeftButton, Qt::NoModifier, f.CellRect(0, 3).center());
    QCOMPARE(login.size(), 1);
    QCOMPARE(f.page.GetCurrentDevice(), f.model->devices().first());
    QString user;
    QString password;
    f.page.GetLoginText(&user, &password);
    QCOMPARE(user, QStringLiteral("tolvi"));
    QCOMPARE(password, QStringLiteral("tolvi"));
}

void TestSearchFrame::columnsFollowTheCustomerCode_data()
{
    // One entry a column of the view: its width in pixels, 0 for a hidden
    // column, -1 for a column the page leaves to the view (column 1, those it
    // sets no width for, and the stretched last one).
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("onvif");
    QTest::addColumn<QVector<int>>("columns");
    using Columns = QVector<int>;
    QTest::newRow("code 0") << 0 << 0 << false
                            << Columns { 80, -1, 100, 135, 130, 125, 145, 120, 120, 120, 120, 120, -1, -1 };
    QTest::newRow("code 20, https column")
        << 20 << 0 << false << Columns { 80, -1, 70, 135, 130, 125, 145, 120, 120, 120, 120, 120, 120, -1, -1 };
    QTest::newRow("code 20, language 2") << 20 << 2 << false
                                         << Columns { 80, -1, 70, 135, 130, 125, 145, 155, 155, 120, 120, 120, 155, -1,
                                                -1 };
    QTest::newRow("code 31") << 31 << 0 << false << Columns { 80, -1, 100, 135, 130, 125, 145, 120, 120, 120, 120, -1 };
    QTest::newRow("code 34") << 34 << 0 << false
                             << Columns { 80, -1, 300, 135, 130, 125, 145, 120, 120, 120, 120, 120, 120, -1 };
    // Code 40's last column does not stretch.
    QTest::newRow("code 40") << 40 << 0 << false << Columns { 80, -1, 100, 135, 300, 125, 145, 120 };
    QTest::newRow("code 41") << 41 << 0 << false
                             << Columns { 80, -1, 100, 135, 130, 125, 145, 120, 120, 120, 120, 120, -1, 80, -1 };
    QTest::newRow("code 45") << 45 << 0 << false
                             << Columns { 80, -1, 100, 135, 130, 165, 145, 120, 140, 120, 120, 120, 180, -1 };
    QTest::newRow("onvif, code 0") << 0 << 0 << true << Columns { 80, -1, 0, -1, 0, 125, 0, 0, 0, 0, 120, 0, 0, -1 };
    QTest::newRow("onvif, code 20") << 20 << 0 << true
                                    << Columns { 80, -1, 0, 0, -1, 0, 145, 0, 0, 0, 0, 120, 0, 0, -1 };
    QTest::newRow("onvif, code 40") << 40 << 0 << true << Columns { 80, -1, 0, -1, 0, 125, 0, 0 };
}

void TestSearchFrame::columnsFollowTheCustomerCode()
{
    QFETCH(int, code);
    QFETCH(int, language);
    QFETCH(bool, onvif);
    QFETCH(QVector<int>, columns);
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = code;
    const int languageBefore = settings->m_currentLanguage;
    settings->m_currentLanguage = language;
    Fixture f;
    settings->m_currentLanguage = languageBefore;
    CheckBoxTableView* view = f.view;
    if (onvif) {
        // An empty table: no row's text widens a column.
        f.page.SetProtocol(1);
        QTRY_VERIFY_WITH_TIMEOUT(!f.page.IsSearching(), 20000);
        view = f.Find<CheckBoxTableView>("m_pOnvifView");
    }
    QCOMPARE(view->model()->columnCount(), columns.size());
    for (int column = 0; column < columns.size(); ++column) {
        const QByteArray where = "column " + QByteArray::number(column);
        const int expected = columns.at(column);
        QVERIFY2(view->isColumnHidden(column) == (expected == 0), where.constData());
        if (expected > 0)
            QVERIFY2(view->columnWidth(column) == expected,
                (where + ": width " + QByteArray::number(view->columnWidth(column))).constData());
    }
}

QTEST_MAIN(TestSearchFrame)
#include "tst_searchframe.moc"
