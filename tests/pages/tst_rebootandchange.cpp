// The reboot and change-device pages driven through their widgets: the
// refusals, what each queued device receives, and end to end against fake
// devices: a reboot batch (SDK and HTTP API, code 43) brings each device back
// and the page unlocks by its busy poll, with one device that fails on its
// own row; a change writes exactly the ticked attributes.

#include "ChangeDevice.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "RebootDevice.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

using namespace PageTest;

namespace
{
struct RebootPage : PageOf<RebootDevice>
{
    explicit RebootPage(int company)
        : PageOf(company, QSize(1200, 600))
    {
    }
    void LoginAs(const QString& user, const QString& password)
    {
        SetText("m_pEditUser", user);
        SetText("m_pEditPwd", password);
    }
    bool Unlocked() const { return Find<QPushButton>("m_pBtnReboot")->isEnabled() && ToolBarEnabled(toolBar); }
};

struct ChangePage : PageOf<ChangeDevice>
{
    explicit ChangePage(int company)
        : PageOf(company, QSize(1400, 600))
    {
    }
    void LoginAs(const QString& user, const QString& password)
    {
        SetText("m_pEditUserName", user);
        SetText("m_pEditPassWord", password);
    }
    void Choose(bool name, const QString& nameText, bool type, const QString& typeText)
    {
        Find<QCheckBox>("m_pCheckDeviceName")->setChecked(name);
        SetText("m_pEditDeviceName", nameText);
        Find<QCheckBox>("m_pCheckDeviceType")->setChecked(type);
        SetText("m_pEditDeviceType", typeText);
    }
    bool Unlocked() const
    {
        for (const char* name : { "m_pEditUserName", "m_pEditPassWord", "m_pEditDeviceName", "m_pEditDeviceType" })
            if (!Find<LineEdit>(name)->isEnabled())
                return false;
        return Find<QPushButton>("m_pBtnChange")->isEnabled() && Find<QCheckBox>("m_pCheckDeviceName")->isEnabled()
            && Find<QCheckBox>("m_pCheckDeviceType")->isEnabled() && ToolBarEnabled(toolBar);
    }
};
// The control frame as both pages build it: a raised panel; labels and
// check boxes 20 to 120 px wide, edits 80 px and the button 72 px, all 25 px high.
template <typename Page>
bool BarAsBuilt(const Page& page, std::initializer_list<const char*> bounded, std::initializer_list<const char*> edits,
    const char* button)
{
    const auto* frame = page.template Find<QFrame>("m_pFrameCtrl");
    if (!frame || frame->frameShape() != QFrame::StyledPanel || frame->frameShadow() != QFrame::Raised)
        return false;
    auto sized = [&](const char* name, QSize low, QSize high) {
        const auto* widget = page.template Find<QWidget>(name);
        return widget && widget->parent() == frame && widget->minimumSize() == low && widget->maximumSize() == high;
    };
    for (const char* name : bounded)
        if (!sized(name, QSize(20, 25), QSize(120, 25)))
            return false;
    for (const char* name : edits)
        if (!sized(name, QSize(80, 25), QSize(80, 25)))
            return false;
    return sized(button, QSize(72, 25), QSize(72, 25));
}
} // namespace

class TestRebootAndChange : public PageTestCase
{
    Q_OBJECT

private slots:
    void forms();
    void rebootRefusals_data();
    void rebootRefusals();
    void rebootQueuesEachTicked();
    void clickRefreshesItsRowsOnce();
    void changeRefusals_data();
    void changeRefusals();
    void changePassesOnlyTicked_data();
    void changePassesOnlyTicked();
    void rebootBatch_data();
    void rebootBatch();
    void rebootStaysLockedThroughASlowLogin();
    void changeOnDevices_data();
    void changeOnDevices();
};

void TestRebootAndChange::forms()
{
    DefaultLogin login(QStringLiteral("admin"), QStringLiteral("secret"));
    {
        RebootPage page(0);
        QCOMPARE(page.Find<QPushButton>("m_pBtnReboot")->text(), Text(61));
        QCOMPARE(page.Find<QLabel>("m_pLabelUser")->text(), Text(12));
        QCOMPARE(page.Find<QLabel>("m_pLablePwd")->text(), Text(13));
        QCOMPARE(page.Find<LineEdit>("m_pEditUser")->text(), QStringLiteral("admin"));
        QCOMPARE(page.Find<LineEdit>("m_pEditPwd")->text(), QStringLiteral("secret"));
        QCOMPARE(page.Find<LineEdit>("m_pEditPwd")->echoMode(), QLineEdit::Password);
        QCOMPARE(page.Find<LineEdit>("m_pEditUser")->maxLength(), 16);
        QCOMPARE(page.Find<LineEdit>("m_pEditPwd")->maxLength(), 16);
        QCOMPARE(page.table.view->columnWidth(5), 150);
        QCOMPARE(page.page->BusyTimer() != nullptr, true);
        QVERIFY(BarAsBuilt(page, { "m_pLabelUser", "m_pLablePwd" }, { "m_pEditUser", "m_pEditPwd" }, "m_pBtnReboot"));
    }
    for (int company : { 0, 40 }) {
        ChangePage page(company);
        QCOMPARE(page.Find<QPushButton>("m_pBtnChange")->text(), Text(228));
        QCOMPARE(page.Find<QCheckBox>("m_pCheckDeviceName")->text(), Text(60));
        QCOMPARE(page.Find<QCheckBox>("m_pCheckDeviceType")->text(), Text(35));
        QVERIFY(!page.Find<QCheckBox>("m_pCheckDeviceName")->isChecked());
        QVERIFY(!page.Find<QCheckBox>("m_pCheckDeviceType")->isChecked());
        QVERIFY(page.Find<LineEdit>("m_pEditDeviceName")->text().isEmpty());
        QCOMPARE(page.Find<LineEdit>("m_pEditPassWord")->text(), QStringLiteral("secret"));
        QCOMPARE(page.Find<LineEdit>("m_pEditPassWord")->maxLength(), 16);
        if (company == 40)
            QCOMPARE(page.table.view->columnWidth(3), 110);
        QCOMPARE(page.table.view->columnWidth(5), 120);
        QVERIFY(BarAsBuilt(page, { "m_pLableUserName", "m_pLablePassWord", "m_pCheckDeviceName", "m_pCheckDeviceType" },
            { "m_pEditUserName", "m_pEditPassWord", "m_pEditDeviceName", "m_pEditDeviceType" }, "m_pBtnChange"));
    }
}

void TestRebootAndChange::rebootRefusals_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("textId");
    QTest::newRow("nothing ticked") << false << QStringLiteral("admin") << QStringLiteral("pw") << 51;
    QTest::newRow("no user") << true << QStringLiteral("") << QStringLiteral("pw") << 222;
    QTest::newRow("no password") << true << QStringLiteral("admin") << QStringLiteral("") << 222;
}

void TestRebootAndChange::rebootRefusals()
{
    QFETCH(bool, tick);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, textId);
    PoolBench pool(true);
    RebootPage page(0);
    ListDevices(*page.page, LoopbackDevices(2));
    if (tick)
        page.table.CheckAll();
    page.LoginAs(user, password);
    const QStringList statuses = page.table.Statuses();
    DialogAnswerer dialogs;
    page.Click("m_pBtnReboot");
    QVERIFY(ShowedRefusal(dialogs, textId, 6));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
    QCOMPARE(page.table.Statuses(), statuses);
}

void TestRebootAndChange::rebootQueuesEachTicked()
{
    PoolBench pool(true);
    RebootPage page(0);
    const QList<DeviceInfo*> devices = LoopbackDevices(3);
    ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.LoginAs(QStringLiteral("admin"), QStringLiteral("pw"));
    page.Click("m_pBtnReboot");
    QCOMPARE(pool.Recorder().Tasks().size(), 3);
    for (int row = 0; row < 3; ++row) {
        QVERIFY(pool.Recorder().Tasks().at(row).function == &RebootTask);
        QCOMPARE(devices[row]->m_user, QStringLiteral("admin"));
        QCOMPARE(devices[row]->m_password, QStringLiteral("pw"));
        QCOMPARE(devices[row]->m_pRebootDevice, page.page.get());
        QCOMPARE(page.table.Status(row), StatusTextOf(StatusWaiting));
    }
    QVERIFY(!page.Unlocked());
    QVERIFY(PollRunning(*page.page));
    // Every device ends without a login left: the page comes back.
    QVERIFY(EndHeldBatch(page, devices, StatusConnectFailed));
}

// The click tells the view of its batch in one change, from the first ticked
// row to the last, and the view paints each ticked row waiting.
void TestRebootAndChange::clickRefreshesItsRowsOnce()
{
    PoolBench pool(true);
    RebootPage page(0);
    const QList<DeviceInfo*> devices = LoopbackDevices(5);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(1);
    page.table.ClickCheckBox(3);
    page.LoginAs(QStringLiteral("admin"), QStringLiteral("pw"));
    const int status = page.table.StatusColumn();
    ViewWatch watch(page.table.view, { status });
    QSignalSpy told(page.table.Model(), &QAbstractItemModel::dataChanged);
    page.Click("m_pBtnReboot");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.at(0).at(0).toModelIndex(), page.table.Model()->index(1, 0));
    QCOMPARE(told.at(0).at(1).toModelIndex(), page.table.Model()->index(3, page.table.Model()->columnCount() - 1));
    for (int row : { 1, 3 })
        QVERIFY(watch.Shows(row, status, StatusTextOf(StatusWaiting)));
    QCOMPARE(page.table.Status(2), StatusTextOf(StatusNone));
    QVERIFY(EndHeldBatch(page, { devices[1], devices[3] }, StatusConnectFailed));
}

void TestRebootAndChange::changeRefusals_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("nameBox");
    QTest::addColumn<bool>("typeBox");
    QTest::addColumn<int>("textId");
    QTest::newRow("nothing ticked") << false << QStringLiteral("admin") << QStringLiteral("pw") << true << true << 51;
    QTest::newRow("no user") << true << QStringLiteral("") << QStringLiteral("pw") << true << false << 222;
    QTest::newRow("no password") << true << QStringLiteral("admin") << QStringLiteral("") << false << true << 222;
    // Text in both edits does not stand for a ticked box.
    QTest::newRow("neither box ticked") << true << QStringLiteral("admin") << QStringLiteral("pw") << false << false
                                        << 234;
}

void TestRebootAndChange::changeRefusals()
{
    QFETCH(bool, tick);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, nameBox);
    QFETCH(bool, typeBox);
    QFETCH(int, textId);
    PoolBench pool(true);
    ChangePage page(0);
    const QList<DeviceInfo*> devices = LoopbackDevices(2);
    ListDevices(*page.page, devices);
    if (tick)
        page.table.CheckAll();
    page.LoginAs(user, password);
    page.Choose(nameBox, QStringLiteral("Lobby"), typeBox, QStringLiteral("T-1"));
    DialogAnswerer dialogs;
    page.Click("m_pBtnChange");
    QVERIFY(ShowedRefusal(dialogs, textId, 6));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
    for (const DeviceInfo* device : devices)
        QVERIFY(device->m_newDeviceName.empty() && device->m_newDeviceType.empty());
}

void TestRebootAndChange::changePassesOnlyTicked_data()
{
    QTest::addColumn<bool>("nameBox");
    QTest::addColumn<bool>("typeBox");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("both") << true << true << QStringLiteral("Lobby") << QStringLiteral("T-1");
    QTest::newRow("name only, type text left") << true << false << QStringLiteral("Lobby") << QStringLiteral("");
    QTest::newRow("type only, name text left") << false << true << QStringLiteral("") << QStringLiteral("T-1");
}

void TestRebootAndChange::changePassesOnlyTicked()
{
    QFETCH(bool, nameBox);
    QFETCH(bool, typeBox);
    QFETCH(QString, name);
    QFETCH(QString, type);
    PoolBench pool(true);
    ChangePage page(0);
    const QList<DeviceInfo*> devices = LoopbackDevices(2);
    ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.LoginAs(QStringLiteral("admin"), QStringLiteral("pw"));
    page.Choose(nameBox, QStringLiteral("Lobby"), typeBox, QStringLiteral("T-1"));
    page.Click("m_pBtnChange");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    for (int row = 0; row < 2; ++row) {
        QVERIFY(pool.Recorder().Tasks().at(row).function == &ChangeDeviceTask);
        QCOMPARE(QString::fromStdString(devices[row]->m_newDeviceName), name);
        QCOMPARE(QString::fromStdString(devices[row]->m_newDeviceType), type);
        QCOMPARE(devices[row]->m_password, QStringLiteral("pw"));
        QCOMPARE(devices[row]->m_pChangeDevice, page.page.get());
        QCOMPARE(page.table.Status(row), StatusTextOf(StatusWaiting));
    }
    QVERIFY(!page.Unlocked());
    for (DeviceInfo* device : devices)
        EndHeld(device, StatusChangeOk);
    QTRY_VERIFY(page.Unlocked());
}

void TestRebootAndChange::rebootBatch_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("SDK (code 0)") << false;
    QTest::newRow("HTTP API (code 43)") << true;
}

void TestRebootAndChange::rebootBatch()
{
    QFETCH(bool, http);
    PoolBench pool(false);
    RebootPage page(http ? 43 : 0);
    const std::vector<std::string> addresses = { Loopback(70), Loopback(71), Loopback(72), Loopback(73) };
    const size_t failing = 2;
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    for (const auto& api : fleet.web)
        api->Update([](fakedevice::HttpDeviceState& state) { state.rebootMs = 1500; });
    for (const auto& fake : fleet.sdk)
        fake->Update([](fakedevice::DeviceState& state) { state.rebootMs = 1500; });
    const QList<DeviceInfo*> devices = ListFleet(*page.page, fleet, failing);
    page.LoginAs(QStringLiteral("admin"), QString::fromStdString(fleet.Password(0)));
    page.table.CheckAll();
    QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
    page.Click("m_pBtnReboot");
    QVERIFY(!page.Unlocked());

    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusRebootOk));
    // The rebooted devices stay in the working list; the busy poll brings the
    // page back once none of them is logged in.
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    // No done event can have come: the rebooted devices are still listed as working.
    QVERIFY(page.page->IsBatchRunning());
    QVERIFY(!ticks.isEmpty());
    QVERIFY(!page.page->BusyTimer()->isActive());
    for (size_t i = 0; i < addresses.size(); ++i)
        QVERIFY(!devices[int(i)]->m_bLogin);

    for (size_t i = 0; i < addresses.size(); ++i) {
        if (http) {
            QCOMPARE(fleet.web[i]->State().reboots, i == failing ? 0 : 1);
            QTRY_VERIFY_WITH_TIMEOUT(fleet.web[i]->Listening(), 10000);
        } else {
            QCOMPARE(fleet.sdk[i]->State().reboots, i == failing ? 0 : 1);
            QVERIFY(fleet.sdk[i]->WaitListening(10000));
        }
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

// Over the HTTP API a device is logged in only once its JSON login answered:
// the page must stay locked through busy-timer ticks that come before that.
void TestRebootAndChange::rebootStaysLockedThroughASlowLogin()
{
    PoolBench pool(false);
    RebootPage page(43);
    const std::vector<std::string> addresses = { Loopback(74), Loopback(75), Loopback(76) };
    FakeFleet fleet(true, addresses);
    QVERIFY(fleet.Listening());
    fakedevice::HttpFaults slowLogin;
    slowLogin.path = "/API/Web/Login";
    slowLogin.delayMs = 2500;
    for (const auto& api : fleet.web)
        api->SetFaults(slowLogin);
    const QList<DeviceInfo*> devices = fleet.Listed();
    ListDevices(*page.page, devices);
    page.LoginAs(QStringLiteral("admin"), QString::fromStdString(fleet.Password(0)));
    page.table.CheckAll();
    QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
    // After each tick of the busy poll (the page's own slot runs first): the
    // page is unlocked only once no device of the batch is still under way.
    int unlockedEarly = 0;
    QObject::connect(page.page->BusyTimer(), &QTimer::timeout, [&] {
        if (page.Unlocked() && std::any_of(devices.cbegin(), devices.cend(), [](DeviceInfo* d) { return d->IsBusy(); }))
            ++unlockedEarly;
    });
    page.Click("m_pBtnReboot");
    QVERIFY(!page.Unlocked());
    // Two ticks while every login is still unanswered.
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 30000);
    QVERIFY(!page.Find<QPushButton>("m_pBtnReboot")->isEnabled() || fleet.web[0]->State().reboots > 0);
    page.Click("m_pBtnReboot"); // a disabled button: nothing more is queued

    QVERIFY(RowsEnd(page.table, addresses.size(), addresses.size(), StatusRebootOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    QCOMPARE(unlockedEarly, 0);
    for (size_t i = 0; i < addresses.size(); ++i) {
        QCOMPARE(fleet.web[i]->State().reboots, 1);
        QVERIFY(!devices[int(i)]->IsBusy());
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

void TestRebootAndChange::changeOnDevices_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("nameBox");
    QTest::addColumn<bool>("typeBox");
    QTest::newRow("code 0: name and type") << 0 << true << true;
    QTest::newRow("code 0: name only, type text left") << 0 << true << false;
    QTest::newRow("code 40: type only, name text left") << 40 << false << true;
}

void TestRebootAndChange::changeOnDevices()
{
    QFETCH(int, company);
    QFETCH(bool, nameBox);
    QFETCH(bool, typeBox);
    PoolBench pool(false);
    ChangePage page(company);
    const std::vector<std::string> addresses = { Loopback(80), Loopback(81), Loopback(82) };
    const size_t failing = 1;
    FakeFleet fleet(false, addresses);
    QVERIFY(fleet.Listening());
    const QList<DeviceInfo*> devices = fleet.Listed();
    fleet.Refuse(failing);
    std::vector<fakedevice::DeviceState> before;
    for (const auto& fake : fleet.sdk)
        before.push_back(fake->State());
    ListDevices(*page.page, devices);
    page.LoginAs(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.Choose(nameBox, QStringLiteral("Lobby"), typeBox, QStringLiteral("ZV-T9"));
    page.table.CheckAll();
    page.Click("m_pBtnChange");

    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusChangeOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const fakedevice::DeviceState now = fleet.sdk[i]->State();
        const bool changed = i != failing;
        QCOMPARE(now.deviceName, changed && nameBox ? std::string("Lobby") : before[i].deviceName);
        QCOMPARE(now.deviceType, changed && typeBox ? std::string("ZV-T9") : before[i].deviceType);
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

QTEST_MAIN(TestRebootAndChange)
#include "tst_rebootandchange.moc"
