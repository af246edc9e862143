// The restore-defaults page and its group dialog driven through their
// widgets: the dialog's radio and check logic per customer code, the
// refusals, the groups each queued device receives, and end to end against
// fake devices (SDK, and the HTTP API under code 43): exactly the chosen
// groups are back at their factory values, a device that fails shows its own
// status, and the page unlocks by its busy poll.

#include "DefaultSelection.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "RecoveryDevice.h"
#include "ResetFixtures.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>
#include <vector>

using namespace PageTest;

namespace
{
const QStringList kSdkBoxes = { "m_cAll", "m_cAdvanced", "m_cAlarm", "m_cDevice", "m_cDisplay", "m_cIntelligent",
    "m_cNetwork", "m_cPairing", "m_cRecord", "m_cSystem" };
const QStringList kHttpBoxes = { "m_cHttpAll", "m_cHttpChannel", "m_cHttpRecord", "m_cHttpEvent", "m_cHttpAlarm",
    "m_cHttpAI", "m_cHttpNetwork", "m_cHttpDevice", "m_cHttpSystem" };

// The dialog's result flags by name, in the dialog's order.
const QStringList kSdkResultNames = { "display", "record", "advanced", "intelligent", "network", "device", "system",
    "exceptNetwork", "pairing", "alarm", "all" };
const QStringList kHttpResultNames
    = { "channel", "record", "alarm", "network", "device", "system", "ai", "event", "exceptNetwork", "all" };
// What a device stores, by setter: SetSdkResetGroups, then SetHttpResetGroups.
const QStringList kStoredSdkNames = kSdkResultNames;
const QStringList kStoredHttpNames
    = { "ai", "alarm", "channel", "device", "network", "record", "system", "event", "exceptNetwork" };

template <size_t N> QStringList NamesOf(const std::array<bool, N>& flags, const QStringList& names)
{
    QStringList set;
    for (size_t i = 0; i < N; ++i)
        if (flags[i])
            set << names.at(int(i));
    return set;
}

// The groups a device was given, as "sdk: ..." or "http: ...".
QString StoredGroups(const DeviceInfo* device)
{
    QStringList set;
    const bool http = device->m_resetMode == 1;
    const QStringList& names = http ? kStoredHttpNames : kStoredSdkNames;
    for (int i = 0; i < names.size(); ++i)
        if (device->m_resetGroups[(http ? 11 : 0) + i])
            set << names.at(i);
    return (http ? QStringLiteral("http: ") : QStringLiteral("sdk: ")) + set.join(QLatin1Char(' '));
}

void Click(QWidget* dialog, const QString& name)
{
    auto* button = dialog->findChild<QAbstractButton*>(name);
    QVERIFY2(button, qPrintable(name));
    QVERIFY2(button->isVisible() && button->isEnabled(), qPrintable(name));
    // Check boxes and radio buttons take a click on their box or text only.
    QPoint point = button->rect().center();
    const bool radio = qobject_cast<QRadioButton*>(button);
    if (radio || qobject_cast<QCheckBox*>(button)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        point = button->style()
                    ->subElementRect(
                        radio ? QStyle::SE_RadioButtonClickRect : QStyle::SE_CheckBoxClickRect, &option, button)
                    .center();
    }
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, point);
}

// The radio buttons as a user sees them: "hidden", "none" (shown, neither
// chosen), "except" or "all".
QString Radios(const QWidget* dialog)
{
    const auto* except = dialog->findChild<QRadioButton*>(QStringLiteral("m_rExceptNetwork"));
    const auto* all = dialog->findChild<QRadioButton*>(QStringLiteral("m_rAll"));
    if (!except->isVisible() && !all->isVisible())
        return except->isEnabled() || all->isEnabled() || except->isChecked() || all->isChecked()
            ? QStringLiteral("hidden but live")
            : QStringLiteral("hidden");
    if (except->isVisible() != all->isVisible() || !except->isEnabled() || !all->isEnabled())
        return QStringLiteral("half shown");
    if (except->isChecked() && all->isChecked())
        return QStringLiteral("both");
    return except->isChecked() ? QStringLiteral("except") : all->isChecked() ? QStringLiteral("all") : "none";
}

// Only the mode's column can be seen and used.
bool OnlyColumnOf(const QWidget* dialog, int mode)
{
    for (const QString& name : kSdkBoxes + kHttpBoxes) {
        const bool own = (mode == 0) == kSdkBoxes.contains(name);
        const auto* box = dialog->findChild<QCheckBox*>(name);
        if (box->isVisible() != own || box->isEnabled() != own)
            return false;
    }
    return true;
}

// Answers the page's group dialog: clicks the named boxes in order, then
// Confirm, or Cancel when the last name is "cancel". Records the modes shown.
class SelectionAnswer
{
public:
    explicit SelectionAnswer(QStringList clicks)
        : m_clicks(std::move(clicks))
    {
        m_previous = DefaultSelection::SetShownHook([this](DefaultSelection* dialog) { Answer(dialog); });
    }
    ~SelectionAnswer() { DefaultSelection::SetShownHook(m_previous); }

    QList<int> modes;

private:
    void Answer(DefaultSelection* dialog)
    {
        modes << dialog->Mode();
        QStringList clicks = m_clicks;
        const bool cancel = !clicks.isEmpty() && clicks.constLast() == QLatin1String("cancel");
        if (cancel)
            clicks.removeLast();
        for (const QString& name : clicks)
            Click(dialog, name);
        Click(dialog, cancel ? QStringLiteral("m_bCancel") : QStringLiteral("m_bConfirm"));
        // A click that failed above leaves the dialog open: end it here.
        if (dialog->isVisible())
            dialog->reject();
    }

    QStringList m_clicks;
    DefaultSelection::ShownHook m_previous;
};

struct RecoveryPage : PageOf<RecoveryDevice>
{
    explicit RecoveryPage(int company)
        : PageOf(company, QSize(1200, 600))
    {
    }
    // Codes 43 and 44 have no columns on this page (nor a tool-bar button for
    // it): the devices are ticked as the header's box would tick them.
    void TickAll()
    {
        if (table.Model()->columnCount() > 0)
            table.CheckAll();
        else {
            table.view->updateHeadCheckStateToModel(Qt::Checked);
            table.view->updateHeadCheckStateToDelgate(Qt::Checked);
        }
    }
    bool Unlocked() const { return Find<QPushButton>("m_pBtnRecover")->isEnabled() && ToolBarEnabled(toolBar); }
};
} // namespace

class TestRecoveryDevice : public PageTestCase
{
    Q_OBJECT

private slots:
    void forms();
    void dialogLogic_data();
    void dialogLogic();
    void refusals_data();
    void refusals();
    void devicesReceive_data();
    void devicesReceive();
    void onDevices_data();
    void onDevices();
};

void TestRecoveryDevice::forms()
{
    DefaultLogin login(QStringLiteral("admin"), QStringLiteral("secret"));
    for (int company : { 0, 40, 45 }) {
        RecoveryPage page(company);
        QCOMPARE(page.Find<QPushButton>("m_pBtnRecover")->text(), Text(197));
        QCOMPARE(page.Find<QLabel>("m_pLabelUserName")->text(), Text(12));
        QCOMPARE(page.Find<QLabel>("m_pLabelPassword")->text(), Text(13));
        QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->text(), QStringLiteral("admin"));
        QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->text(), QStringLiteral("secret"));
        QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->MaxByteCount(), 16);
        QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->MaxByteCount(), 16);
        auto* type = page.Find<QComboBox>("m_pComType");
        QCOMPARE(type->count(), 2);
        QCOMPARE(type->itemText(1), QStringLiteral("Http"));
        QCOMPARE(type->currentIndex(), 0);
        QVERIFY(!type->isVisible() && !type->isEnabled());
        QCOMPARE(page.table.view->columnWidth(0), 80);
        if (company == 40)
            QCOMPARE(page.table.view->columnWidth(3), 110);
        QCOMPARE(page.table.view->columnWidth(4), company == 45 ? 165 : 130);
        QVERIFY(page.page->BusyTimer());
    }
    QWidget parent;
    DefaultSelection dialog(&parent, 1);
    QCOMPARE(dialog.windowTitle(), Text(221));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("m_lTip"))->text(), Text(220));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.size(), QSize(465, 389));
    QCOMPARE(dialog.findChild<QRadioButton*>(QStringLiteral("m_rAll"))->text(), Text(219));
    // The two columns of group boxes, each top to bottom, as the user reads them.
    const std::vector<std::pair<const char*, std::vector<std::pair<const char*, int>>>> columns = {
        { "verticalLayout",
            { { "m_cAll", 235 }, { "m_cAdvanced", 209 }, { "m_cAlarm", 214 }, { "m_cDevice", 211 },
                { "m_cDisplay", 207 }, { "m_cIntelligent", 210 }, { "m_cNetwork", 215 }, { "m_cPairing", 213 },
                { "m_cRecord", 208 }, { "m_cSystem", 212 } } },
        { "verticalLayout_3",
            { { "m_cHttpAll", 87 }, { "m_cHttpChannel", 236 }, { "m_cHttpRecord", 71 }, { "m_cHttpEvent", 194 },
                { "m_cHttpAlarm", 67 }, { "m_cHttpAI", 195 }, { "m_cHttpNetwork", 70 }, { "m_cHttpDevice", 68 },
                { "m_cHttpSystem", 72 } } },
    };
    for (const auto& [layoutName, boxes] : columns) {
        const auto* layout = dialog.findChild<QVBoxLayout*>(QLatin1String(layoutName));
        QVERIFY(layout);
        QCOMPARE(layout->count(), int(boxes.size()));
        for (int i = 0; i < layout->count(); ++i) {
            const auto* box = qobject_cast<QCheckBox*>(layout->itemAt(i)->widget());
            QVERIFY(box);
            QCOMPARE(box->objectName(), QLatin1String(boxes[size_t(i)].first));
            QCOMPARE(box->text(), Text(boxes[size_t(i)].second));
        }
    }
}

void TestRecoveryDevice::dialogLogic_data()
{
    // mode: the dialog the page shows for the code (0 SDK groups, 1 HTTP groups).
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("radios");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("flags");
    const QStringList sdkGroups
        = { "display", "record", "advanced", "intelligent", "network", "device", "system", "pairing", "alarm" };
    const QStringList httpGroups = { "channel", "record", "alarm", "network", "device", "system", "ai", "event" };
    auto row = [](const char* name, int company, int mode, const QStringList& clicks, const char* radios, bool confirm,
                   const QStringList& flags) {
        QTest::newRow(name) << company << mode << clicks << QString::fromLatin1(radios) << confirm << flags;
    };

    row("12: nothing ticked", 12, 0, {}, "hidden", true, {});
    row("12: network shows both radios unticked", 12, 0, { "m_cNetwork" }, "none", true, { "network" });
    row("12: network, keep the address", 12, 0, { "m_cNetwork", "m_rExceptNetwork" }, "except", true,
        { "network", "exceptNetwork" });
    row("12: the other radio unticks the first", 12, 0, { "m_cNetwork", "m_rExceptNetwork", "m_rAll" }, "all", true,
        { "network", "all" });
    row("12: unticking network unticks and hides both", 12, 0, { "m_cNetwork", "m_rAll", "m_cNetwork" }, "hidden", true,
        {});
    row("12: ticking network again shows both unticked", 12, 0,
        { "m_cNetwork", "m_rExceptNetwork", "m_cNetwork", "m_cNetwork" }, "none", true, { "network" });
    row("12: record stays free after network toggles", 12, 0,
        { "m_cNetwork", "m_cNetwork", "m_cNetwork", "m_cRecord", "m_cRecord", "m_cRecord" }, "none", true,
        { "record", "network" });
    row("12: select all ticks every group and shows the radios", 12, 0, { "m_cAll" }, "none", true, sdkGroups);
    row("12: select all, then restore the whole network", 12, 0, { "m_cAll", "m_rAll" }, "all", true,
        sdkGroups + QStringList { "all" });
    row("12: select all twice clears everything", 12, 0, { "m_cAll", "m_rExceptNetwork", "m_cAll" }, "hidden", true,
        {});
    row("12: cancel", 12, 0, { "m_cAll", "m_rAll" }, "all", false, {});
    // Code 40 skips the network rule after select all (its page never asks).
    row("40: select all leaves the radios hidden", 40, 0, { "m_cAll" }, "hidden", true, sdkGroups);
    row("40: the network box still shows them", 40, 0, { "m_cNetwork" }, "none", true, { "network" });

    row("0: nothing ticked", 0, 1, {}, "hidden", true, {});
    row("0: network shows both radios unticked", 0, 1, { "m_cHttpNetwork" }, "none", true, { "network" });
    row("0: network, keep the address", 0, 1, { "m_cHttpNetwork", "m_rExceptNetwork" }, "except", true,
        { "network", "exceptNetwork" });
    row("0: a radio left after unticking network counts for nothing", 0, 1,
        { "m_cHttpChannel", "m_cHttpNetwork", "m_rAll", "m_cHttpNetwork" }, "hidden", true, { "channel" });
    row("0: record stays free after network toggles", 0, 1,
        { "m_cHttpNetwork", "m_cHttpNetwork", "m_cHttpNetwork", "m_cHttpRecord", "m_cHttpRecord", "m_cHttpRecord" },
        "none", true, { "record", "network" });
    row("43: select all ticks every group and shows the radios", 43, 1, { "m_cHttpAll" }, "none", true, httpGroups);
    row("43: select all, then restore the whole network", 43, 1, { "m_cHttpAll", "m_rExceptNetwork", "m_rAll" }, "all",
        true, httpGroups + QStringList { "all" });
    row("44: select all twice clears everything", 44, 1, { "m_cHttpAll", "m_rAll", "m_cHttpAll" }, "hidden", true, {});
    row("45: select all, keep the address", 45, 1, { "m_cHttpAll", "m_rExceptNetwork" }, "except", true,
        httpGroups + QStringList { "exceptNetwork" });
    row("45: cancel", 45, 1, { "m_cHttpEvent" }, "hidden", false, {});
}

void TestRecoveryDevice::dialogLogic()
{
    QFETCH(int, company);
    QFETCH(int, mode);
    QFETCH(QStringList, clicks);
    QFETCH(QString, radios);
    QFETCH(bool, confirm);
    QFETCH(QStringList, flags);
    ZVAppSetting::Instance()->m_company = company;
    QWidget parent;
    DefaultSelection dialog(&parent, mode);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(Radios(&dialog), QStringLiteral("hidden"));
    QVERIFY(OnlyColumnOf(&dialog, mode));
    for (const QString& name : clicks)
        Click(&dialog, name);
    QCOMPARE(Radios(&dialog), radios);
    QVERIFY(OnlyColumnOf(&dialog, mode));

    Click(&dialog, confirm ? QStringLiteral("m_bConfirm") : QStringLiteral("m_bCancel"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.IsAccepted(), confirm);
    if (!confirm)
        return;
    QCOMPARE(NamesOf(dialog.SdkResult(), kSdkResultNames), mode == 0 ? flags : QStringList());
    QCOMPARE(NamesOf(dialog.HttpResult(), kHttpResultNames), mode == 1 ? flags : QStringList());
}

void TestRecoveryDevice::refusals_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("textId");
    QTest::addColumn<int>("titleId");
    QTest::newRow("nothing ticked") << 0 << false << QStringLiteral("admin") << QStringLiteral("pw") << 51 << 6;
    QTest::newRow("no user") << 45 << true << QStringLiteral("") << QStringLiteral("pw") << 222 << 222;
    QTest::newRow("no password") << 0 << true << QStringLiteral("admin") << QStringLiteral("") << 222 << 222;
    QTest::newRow("code 40, no password") << 40 << true << QStringLiteral("admin") << QStringLiteral("") << 222 << 222;
}

void TestRecoveryDevice::refusals()
{
    QFETCH(int, company);
    QFETCH(bool, tick);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, textId);
    QFETCH(int, titleId);
    PoolBench pool(true);
    RecoveryPage page(company);
    const QList<DeviceInfo*> devices = LoopbackDevices(2);
    ListDevices(*page.page, devices);
    if (tick)
        page.TickAll();
    page.Login(user, password);
    const QStringList statuses = page.table.Statuses();
    SelectionAnswer selection({ "m_cHttpAll", "m_cAll" });
    DialogAnswerer dialogs;
    page.Click("m_pBtnRecover");
    QVERIFY(ShowedRefusal(dialogs, textId, titleId));
    QVERIFY(selection.modes.isEmpty());
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
    QCOMPARE(page.table.Statuses(), statuses);
    for (const DeviceInfo* device : devices)
        QVERIFY(!device->m_pRecoveryDevice);
}

void TestRecoveryDevice::devicesReceive_data()
{
    // shown: the dialog's mode, -1 for none; groups: what each device stores,
    // empty when nothing may be queued.
    QTest::addColumn<int>("company");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("groups");
    QTest::newRow("40: every SDK group but keeping the address, no dialog")
        << 40 << QStringList() << -1
        << "sdk: display record advanced intelligent network device system pairing alarm all";
    QTest::newRow("0: channel, event and AI feed display, advanced and intelligent; pairing always")
        << 0 << QStringList { "m_cHttpChannel", "m_cHttpEvent", "m_cHttpAI", "m_cHttpNetwork", "m_rExceptNetwork" } << 1
        << "sdk: display advanced intelligent network exceptNetwork pairing";
    QTest::newRow("45: select all and the whole network")
        << 45 << QStringList { "m_cHttpAll", "m_rAll" } << 1
        << "sdk: display record advanced intelligent network device system pairing alarm all";
    QTest::newRow("45: one group") << 45 << QStringList { "m_cHttpRecord" } << 1 << "sdk: record pairing";
    QTest::newRow("0: network with neither radio")
        << 0 << QStringList { "m_cHttpNetwork" } << 1 << "sdk: network pairing";
    QTest::newRow("43: the HTTP groups in the setter's order")
        << 43 << QStringList { "m_cHttpAI", "m_cHttpSystem", "m_cHttpNetwork", "m_rExceptNetwork" } << 1
        << "http: ai network system exceptNetwork";
    QTest::newRow("44: select all and the whole network")
        << 44 << QStringList { "m_cHttpAll", "m_rAll" } << 1
        << "http: ai alarm channel device network record system event";
    QTest::newRow("0: confirmed with nothing ticked") << 0 << QStringList() << 1 << "";
    QTest::newRow("45: a radio left after unticking network")
        << 45 << QStringList { "m_cHttpNetwork", "m_rExceptNetwork", "m_cHttpNetwork" } << 1 << "";
    QTest::newRow("0: cancelled") << 0 << QStringList { "m_cHttpAll", "cancel" } << 1 << "";
}

void TestRecoveryDevice::devicesReceive()
{
    QFETCH(int, company);
    QFETCH(QStringList, clicks);
    QFETCH(int, shown);
    QFETCH(QString, groups);
    PoolBench pool(true);
    RecoveryPage page(company);
    const QList<DeviceInfo*> devices = LoopbackDevices(3);
    ListDevices(*page.page, devices);
    page.TickAll();
    page.Login(QStringLiteral("admin"), QStringLiteral("pw"));
    const QStringList statuses = page.table.Statuses();
    SelectionAnswer selection(clicks);
    DialogAnswerer dialogs;
    page.Click("m_pBtnRecover");
    QCOMPARE(selection.modes, shown < 0 ? QList<int>() : QList<int> { shown });
    QVERIFY(dialogs.Dialogs().isEmpty());
    QVERIFY(!page.page->findChild<DefaultSelection*>()); // deleted after its run

    if (groups.isEmpty()) {
        QVERIFY(NothingStarted(pool, *page.page));
        QVERIFY(page.Unlocked());
        QCOMPARE(page.table.Statuses(), statuses);
        return;
    }
    QCOMPARE(pool.Recorder().Tasks().size(), devices.size());
    for (int i = 0; i < devices.size(); ++i) {
        QVERIFY(pool.Recorder().Tasks().at(i).function == &RecoveryTask);
        QCOMPARE(pool.Recorder().Tasks().at(i).argument, static_cast<void*>(devices[i]));
        QCOMPARE(StoredGroups(devices[i]), groups);
        QCOMPARE(devices[i]->m_user, QStringLiteral("admin"));
        QCOMPARE(devices[i]->m_password, QStringLiteral("pw"));
        QCOMPARE(devices[i]->m_pRecoveryDevice, page.page.get());
        QCOMPARE(devices[i]->m_status.load(), int(StatusWaiting));
    }
    if (page.table.Model()->columnCount() > 0)
        for (int row = 0; row < devices.size(); ++row)
            QCOMPARE(page.table.Status(row), StatusTextOf(StatusWaiting));
    QVERIFY(!page.Unlocked());
    QVERIFY(PollRunning(*page.page));
    QVERIFY(EndHeldBatch(page, devices, StatusConnectFailed));
}

void TestRecoveryDevice::onDevices_data()
{
    // restored: the groups back at their factory values on each device that
    // succeeds (ResetFixtures.h names them).
    QTest::addColumn<int>("company");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("restored");
    QTest::newRow("SDK, code 40: every group") << 40 << QStringList()
                                               << QStringList { "display", "record", "network", "alarm", "device",
                                                      "system", "advanced", "intelligent", "pairing" };
    QTest::newRow("SDK, code 0: the HTTP column's groups, keeping the address")
        << 0 << QStringList { "m_cHttpChannel", "m_cHttpAI", "m_cHttpNetwork", "m_rExceptNetwork" }
        << QStringList { "display", "network", "intelligent", "pairing" };
    QTest::newRow("SDK, code 45: three groups")
        << 45 << QStringList { "m_cHttpAlarm", "m_cHttpDevice", "m_cHttpSystem" }
        << QStringList { "alarm", "device", "system", "pairing" };
    QTest::newRow("HTTP API, code 43: two groups and the network, keeping the address")
        << 43 << QStringList { "m_cHttpRecord", "m_cHttpAI", "m_cHttpNetwork", "m_rExceptNetwork" }
        << QStringList { "record", "ai", "network" };
    QTest::newRow("HTTP API, code 43: the whole network")
        << 43 << QStringList { "m_cHttpEvent", "m_cHttpNetwork", "m_rAll" }
        << QStringList { "event", "network", "address" };
}

void TestRecoveryDevice::onDevices()
{
    QFETCH(int, company);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, restored);
    const bool http = IsHttpApiCompany(company);
    PoolBench pool(false);
    RecoveryPage page(company);
    const std::vector<std::string> addresses = { Loopback(90), Loopback(91), Loopback(92), Loopback(93) };
    const size_t failing = 1;
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    std::vector<fakedevice::DeviceState> factory;
    std::vector<fakedevice::HttpDeviceState> httpFactory;
    const QList<DeviceInfo*> devices = fleet.Listed();
    for (const auto& api : fleet.web) {
        httpFactory.push_back(api->State());
        ScrambleHttpGroups(*api);
    }
    for (const auto& fake : fleet.sdk) {
        factory.push_back(fake->State());
        ScrambleGroups(*fake);
    }
    fleet.Refuse(failing);
    ListDevices(*page.page, devices);
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.TickAll();
    QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
    SelectionAnswer selection(clicks);
    page.Click("m_pBtnRecover");
    QVERIFY(!page.Unlocked());

    for (int i = 0; i < devices.size(); ++i) {
        const int expected = size_t(i) == failing ? StatusConnectFailed : StatusOk;
        QTRY_COMPARE_WITH_TIMEOUT(devices[i]->m_status.load(), expected, 30000);
        if (!http)
            QCOMPARE(page.table.Status(i), StatusTextOf(expected));
    }
    // The devices that reset stay in the working list: the busy poll brings
    // the page back once none of them is logged in.
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    QVERIFY(page.page->IsBatchRunning());
    QVERIFY(!ticks.isEmpty());
    QVERIFY(!page.page->BusyTimer()->isActive());

    for (size_t i = 0; i < addresses.size(); ++i) {
        const QStringList expected = i == failing ? QStringList() : restored;
        if (http) {
            QCOMPARE(RestoredHttpGroups(fleet.web[i]->State(), httpFactory[i]), expected);
            QCOMPARE(fleet.web[i]->State().resets, i == failing ? 0 : 1);
        } else {
            QCOMPARE(RestoredGroups(fleet.sdk[i]->State(), factory[i]), expected);
            QCOMPARE(fleet.sdk[i]->State().defaultResets, i == failing ? 0 : 1);
        }
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

QTEST_MAIN(TestRecoveryDevice)
#include "tst_recoverydevice.moc"
