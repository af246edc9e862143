// The upgrade page driven through its widgets: refusals, the form per
// customer code, the lock of the page and the tool bar, per-row results, the
// row click; and end to end against fake devices, checked on the device side:
// an upgrade of twenty devices by the SDK and by the HTTP API, the version
// query and match (code 13) and factory defaults (code 36).

#include "DeviceWire.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "UpgradeFrame.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <random>

using namespace PageTest;

using Widths = QMap<int, int>; // column -> width
Q_DECLARE_METATYPE(Widths)

namespace
{
QByteArray Firmware(int size, unsigned seed)
{
    return RandomBytes(size, seed);
}

// Devices at loopback addresses no test process serves; their tasks are held.
QList<DeviceInfo*> QuietDevices(int count)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i)
        devices << NewDevice(nullptr, QString::fromStdString(Loopback(200 + i)), QStringLiteral("cam"));
    return devices;
}

struct Page : PageOf<UpgradeFrame>
{
    using PageOf::PageOf;

    bool ActionsEnabled() const
    {
        return Find<LineEdit>("m_pEditFilePath")->isEnabled() && Find<QPushButton>("m_pBtnOpenFile")->isEnabled()
            && Find<QPushButton>("m_pBtnUpgrade")->isEnabled() && Find<QPushButton>("m_pBtnQuery")->isEnabled();
    }
    bool ActionsDisabled() const
    {
        return !Find<LineEdit>("m_pEditFilePath")->isEnabled() && !Find<QPushButton>("m_pBtnOpenFile")->isEnabled()
            && !Find<QPushButton>("m_pBtnUpgrade")->isEnabled() && !Find<QPushButton>("m_pBtnQuery")->isEnabled();
    }
};

// The fake devices, once listening, listed on the page as a search lists them.
bool ListFakeDevices(
    DevicePage& page, const std::vector<std::unique_ptr<fakedevice::FakeDevice>>& fakes, QList<DeviceInfo*>* devices)
{
    for (const auto& fake : fakes) {
        if (!fake->WaitListening())
            return false;
        *devices << ListedDevice(fake->State());
    }
    ListDevices(page, *devices);
    return true;
}

// Every status text each row showed, in order, while the page ran.
class RowHistory
{
public:
    explicit RowHistory(Page& page)
        : m_page(page)
    {
        QObject::connect(page.table.Model(), &QAbstractItemModel::dataChanged, &m_context,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int row = from.row(); row <= to.row(); ++row) {
                    const QString text = m_page.table.Status(row);
                    QStringList& seen = m_seen[row];
                    if (seen.isEmpty() || seen.constLast() != text)
                        seen << text;
                }
            });
    }
    QStringList Of(int row) const { return m_seen.value(row); }

private:
    Page& m_page;
    QObject m_context;
    QMap<int, QStringList> m_seen;
};
} // namespace

class TestUpgradeFrame : public PageTestCase
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void formPerCustomerCode_data();
    void formPerCustomerCode();
    void openFileAsksWithCaptionAndFilter();
    void busyTimerUnlocksOnceNoDeviceIsConnected();
    void doneEventUnlocksAndRowsShowEachResult();
    void reportThatDoesNotFinishKeepsTheLock();
    void matchLocksNothing();
    void rowClick_data();
    void rowClick();
    void filterColumn_data();
    void filterColumn();
    void upgradeOfTwentyDevices_data();
    void upgradeOfTwentyDevices();
    void rowsShowEachUpgradeEventUnclicked();
    void versionQueryAndMatch();
    void factoryDefaults();

private:
    QString WriteFirmware(const QByteArray& bytes);
    int m_files = 0;
};

QString TestUpgradeFrame::WriteFirmware(const QByteArray& bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("firmware%1.sw").arg(++m_files));
    return WriteFile(path, bytes) ? path : QString();
}

void TestUpgradeFrame::refusals_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("query"); // a query box, not a warning
    QTest::addColumn<int>("textId");
    QTest::addColumn<int>("titleId");

    QTest::newRow("upgrade: no such file, nothing ticked")
        << 0 << "m_pBtnUpgrade" << false << false << "" << true << 50 << 6;
    QTest::newRow("upgrade: no such file, device ticked")
        << 0 << "m_pBtnUpgrade" << false << true << "" << true << 50 << 6;
    QTest::newRow("upgrade: nothing ticked") << 0 << "m_pBtnUpgrade" << true << false << "" << false << 51 << 6;
    QTest::newRow("default: nothing ticked") << 36 << "m_pBtnDefault" << true << false << "" << false << 51 << 6;
    QTest::newRow("query: nothing ticked") << 13 << "m_pBtnQuery" << true << false << "" << false << 51 << 110;
    QTest::newRow("match: no version") << 13 << "m_pBtnMatch" << true << true << "" << false << 148 << 110;
    QTest::newRow("match: no version, nothing ticked")
        << 13 << "m_pBtnMatch" << true << false << "" << false << 148 << 110;
    QTest::newRow("match: nothing ticked") << 13 << "m_pBtnMatch" << true << false << "V1" << false << 51 << 110;
}

void TestUpgradeFrame::refusals()
{
    QFETCH(int, company);
    QFETCH(QString, button);
    QFETCH(bool, fileExists);
    QFETCH(bool, tick);
    QFETCH(QString, version);
    QFETCH(bool, query);
    QFETCH(int, textId);
    QFETCH(int, titleId);

    PoolBench pool(true);
    Page page(company);
    ListDevices(*page.page, QuietDevices(2));
    page.SetText("m_pEditFilePath", fileExists ? WriteFirmware("fw") : m_dir.filePath("missing.sw"));
    page.SetText("m_pEditVersion", version);
    if (tick)
        page.table.ClickCheckBox(1);
    const QStringList statuses = page.table.Statuses();

    DialogAnswerer dialogs;
    page.Click(button.toLatin1().constData());
    QVERIFY(query ? ShowedQuery(dialogs, textId, titleId) : ShowedRefusal(dialogs, textId, titleId));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.ActionsEnabled());
    QVERIFY(ToolBarEnabled(page.toolBar));
    QCOMPARE(page.table.Statuses(), statuses);
}

void TestUpgradeFrame::formPerCustomerCode_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("defaultShown");
    QTest::addColumn<bool>("versionShown"); // query, match, version label and edit
    QTest::addColumn<Widths>("widths");

    QTest::newRow("13: version query and match") << 13 << false << true << Widths { { 4, 135 } };
    QTest::newRow("36: factory defaults") << 36 << true << false << Widths { { 4, 135 } };
    QTest::newRow("20: wide column 6") << 20 << false << false << Widths { { 6, 150 } };
    QTest::newRow("34: wide columns 2 and 6") << 34 << false << false << Widths { { 2, 500 }, { 6, 300 } };
    QTest::newRow("45: wide column 4") << 45 << false << false << Widths { { 4, 165 } };
    QTest::newRow("0") << 0 << false << false << Widths { { 0, 80 }, { 2, 100 }, { 3, 135 }, { 5, 150 } };
    // The version columns sit elsewhere in this code's list.
    QTest::newRow("31") << 31 << false << false << Widths { { 0, 80 } };
    QTest::newRow("43: HTTP API") << 43 << false << false << Widths { { 4, 135 } };
}

void TestUpgradeFrame::formPerCustomerCode()
{
    QFETCH(int, company);
    QFETCH(bool, defaultShown);
    QFETCH(bool, versionShown);
    QFETCH(Widths, widths);

    Page page(company);
    QCOMPARE(page.Find<QPushButton>("m_pBtnDefault")->isVisible(), defaultShown);
    for (const char* name : { "m_pBtnQuery", "m_pBtnMatch", "m_pLabelVersion", "m_pEditVersion" })
        QVERIFY2(page.Find<QWidget>(name)->isVisible() == versionShown, name);
    for (const char* name : { "m_pLabelFile", "m_pEditFilePath", "m_pBtnOpenFile", "m_pLabelUserName",
             "m_pEditUserName", "m_pLabelPassword", "m_pEditPassword", "m_pBtnUpgrade" })
        QVERIFY2(page.Find<QWidget>(name)->isVisible(), name);
    QCOMPARE(page.Find<QPushButton>("m_pBtnUpgrade")->text(), Text(11));
    QCOMPARE(page.Find<QLabel>("m_pLabelFile")->text(), Text(48));
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->MaxByteCount(), 16);

    // The queried version and the match result show under code 13 only,
    // wherever the code's column list puts them.
    const QVector<TextId> ids = CheckBoxTableModel::HeaderTextIds(TableKindUpgrade, company);
    QVERIFY(!ids.isEmpty());
    for (int column = 0; column < ids.size(); ++column) {
        const bool versionColumn = ids.at(column) == 142 || ids.at(column) == 145;
        QCOMPARE(page.table.view->isColumnHidden(column), versionColumn && company != 13);
    }
    for (auto it = widths.cbegin(); it != widths.cend(); ++it)
        QCOMPARE(page.table.view->columnWidth(it.key()), it.value());
}

void TestUpgradeFrame::openFileAsksWithCaptionAndFilter()
{
    Page page(0);
    FileAnswers files;
    files.answers << QStringLiteral("/tmp/x.sw");
    page.Click("m_pBtnOpenFile");
    QCOMPARE(files.asked.size(), 1);
    QCOMPARE(files.asked.at(0).save, false);
    QCOMPARE(files.asked.at(0).caption, Text(53));
    QCOMPARE(files.asked.at(0).filter, Text(52) + "(*.sw*  *.SW*)");
    QCOMPARE(files.asked.at(0).parent, page.page.get());
    QCOMPARE(page.Find<LineEdit>("m_pEditFilePath")->text(), QStringLiteral("/tmp/x.sw"));
    // Cancelled: the path is emptied.
    page.Click("m_pBtnOpenFile");
    QCOMPARE(page.Find<LineEdit>("m_pEditFilePath")->text(), QString());
}

void TestUpgradeFrame::busyTimerUnlocksOnceNoDeviceIsConnected()
{
    PoolBench pool(true);
    Page page(0);
    const QList<DeviceInfo*> devices = QuietDevices(3);
    ListDevices(*page.page, devices);
    const QString path = WriteFirmware("firmware");
    page.SetText("m_pEditFilePath", path);
    page.Login("admin", "secret");
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(2);
    page.Click("m_pBtnUpgrade");
    // Connected devices hold the lock (set before the first tick can run).
    devices[0]->m_bLogin = true;
    devices[2]->m_bLogin = true;

    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    QVERIFY(pool.Recorder().Tasks().at(0).function == &UpgradeTask);
    QCOMPARE(pool.Recorder().Tasks().at(0).argument, devices[0]);
    QCOMPARE(pool.Recorder().Tasks().at(1).argument, devices[2]);
    QVERIFY(!pool.Recorder().Tasks().at(0).urgent);
    QCOMPARE(devices[0]->m_upgradeFilePath, path);
    QCOMPARE(devices[2]->m_user, QStringLiteral("admin"));
    QCOMPARE(devices[2]->m_password, QStringLiteral("secret"));
    QCOMPARE(devices[0]->m_pUpgradeFrame, page.page.get());
    QVERIFY(!devices[1]->m_pUpgradeFrame);
    QCOMPARE(
        page.table.Statuses(), (QStringList { StatusTextOf(StatusWaiting), QString(), StatusTextOf(StatusWaiting) }));
    QVERIFY(page.ActionsDisabled());
    QVERIFY(!ToolBarEnabled(page.toolBar));
    QVERIFY(page.page->BusyTimer()->isActive());

    // One device still connected: ticks pass, the page stays locked.
    devices[0]->m_bLogin = false;
    QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
    QVERIFY(ticks.wait(10000));
    QCoreApplication::sendPostedEvents();
    QVERIFY(page.ActionsDisabled());
    QVERIFY(!ToolBarEnabled(page.toolBar));

    // None connected but both tasks still under way: the page stays locked.
    devices[2]->m_bLogin = false;
    QVERIFY(ticks.wait(10000));
    QCoreApplication::sendPostedEvents();
    QVERIFY(page.ActionsDisabled());
    QVERIFY(!ToolBarEnabled(page.toolBar));

    // Both tasks ended, none connected: the next tick unlocks and stops the
    // poll, though no device has finished.
    EndHeldRunning(devices[0], StatusUpgradeOk);
    EndHeldRunning(devices[2], StatusUpgradeOk);
    QTRY_VERIFY_WITH_TIMEOUT(ToolBarEnabled(page.toolBar), 10000);
    QVERIFY(page.ActionsEnabled());
    QVERIFY(!page.page->BusyTimer()->isActive());
    QVERIFY(page.page->IsBatchRunning());

    EndHeld(devices[0], StatusUpgradeOk);
    EndHeld(devices[2], StatusUpgradeOk);
    QTRY_VERIFY(!page.page->IsBatchRunning());
}

void TestUpgradeFrame::doneEventUnlocksAndRowsShowEachResult()
{
    // The default action has no busy poll: only the done event unlocks.
    PoolBench pool(true);
    Page page(36);
    const QList<DeviceInfo*> devices = QuietDevices(4);
    ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.Click("m_pBtnDefault");
    QCOMPARE(pool.Recorder().Tasks().size(), 4);
    for (const QueuedTask& task : pool.Recorder().Tasks())
        QVERIFY(task.function == &DefaultTask);
    QVERIFY(!page.page->BusyTimer()->isActive());
    QVERIFY(page.ActionsDisabled());
    QVERIFY(!ToolBarEnabled(page.toolBar));

    // Out of order, each row its own result.
    const int results[] = { StatusOk, StatusFailed, StatusConnectFailed, StatusRefused };
    for (int row : { 2, 0, 3 }) {
        EndHeld(devices[row], results[row]);
        QTRY_COMPARE(page.table.Status(row), StatusTextOf(results[row]));
        QCoreApplication::sendPostedEvents();
        QVERIFY(!ToolBarEnabled(page.toolBar));
        QVERIFY(page.ActionsDisabled());
    }
    QCOMPARE(page.table.Status(1), StatusTextOf(StatusWaiting));
    EndHeld(devices[1], results[1]);
    QTRY_VERIFY(ToolBarEnabled(page.toolBar));
    QVERIFY(page.ActionsEnabled());
    QCOMPARE(page.table.Statuses(),
        (QStringList { StatusTextOf(StatusOk), StatusTextOf(StatusFailed), StatusTextOf(StatusConnectFailed),
            StatusTextOf(StatusRefused) }));
}

void TestUpgradeFrame::reportThatDoesNotFinishKeepsTheLock()
{
    PoolBench pool(true);
    Page page(36);
    const QList<DeviceInfo*> devices = QuietDevices(1);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(0);
    page.Click("m_pBtnDefault");

    devices[0]->m_status = StatusResetting;
    OnOtherThread([&] { page.page->OnDeviceTaskFinished(devices[0], false); });
    QTRY_COMPARE(page.table.Status(0), StatusTextOf(StatusResetting));
    QCoreApplication::sendPostedEvents();
    QVERIFY(!ToolBarEnabled(page.toolBar));
    QVERIFY(page.page->IsBatchRunning());

    EndHeld(devices[0], StatusOk);
    QTRY_VERIFY(ToolBarEnabled(page.toolBar));
}

void TestUpgradeFrame::matchLocksNothing()
{
    PoolBench pool(true);
    Page page(13);
    const QList<DeviceInfo*> devices = QuietDevices(2);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(1);
    page.SetText("m_pEditVersion", QStringLiteral("V4.2"));
    page.Click("m_pBtnMatch");
    QVERIFY(page.ActionsEnabled());
    QVERIFY(ToolBarEnabled(page.toolBar));
    QVERIFY(page.Find<QPushButton>("m_pBtnMatch")->isEnabled());
    QVERIFY(!page.page->BusyTimer()->isActive());
    // And again at once.
    page.Click("m_pBtnMatch");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    for (const QueuedTask& task : pool.Recorder().Tasks()) {
        QVERIFY(task.function == &MatchVersionTask);
        QCOMPARE(task.argument, devices[1]);
    }
    QCOMPARE(devices[1]->m_matchVersion, QStringLiteral("V4.2"));
    QCOMPARE(page.table.Status(1), StatusTextOf(StatusWaiting));
    EndHeld(devices[1], StatusOk);
    EndHeld(devices[1], StatusOk);
    QTRY_VERIFY(!devices[1]->IsBusy());
}

void TestUpgradeFrame::rowClick_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("verb");

    QTest::newRow("0: elevated") << 0 << QStringLiteral("http") << QStringLiteral("8123") << QStringLiteral("runas");
    QTest::newRow("13") << 13 << QStringLiteral("http") << QStringLiteral("8123") << QStringLiteral("");
    QTest::newRow("20: https on 443") << 20 << QStringLiteral("https") << QStringLiteral("443") << QStringLiteral("");
    QTest::newRow("42: https on 443") << 42 << QStringLiteral("https") << QStringLiteral("443") << QStringLiteral("");
}

void TestUpgradeFrame::rowClick()
{
    QFETCH(int, company);
    QFETCH(QString, scheme);
    QFETCH(QString, port);
    QFETCH(QString, verb);

    Page page(company);
    QList<DeviceInfo*> devices;
    devices << NewDevice(nullptr, QStringLiteral("10.1.2.3"), QStringLiteral("a"), 1, 9000, 8123)
            << NewDevice(nullptr, QStringLiteral("10.1.2.4"), QStringLiteral("b"), 1, 9000, 8123);
    devices[0]->m_deviceVersionText = QStringLiteral("V9.1");
    ListDevices(*page.page, devices);
    WebPageRecorder pages;
    auto* version = page.Find<LineEdit>("m_pEditVersion");

    page.table.ClickCell(0, 3);
    QCOMPARE(version->text(), QStringLiteral("V9.1"));
    QVERIFY(pages.Pages().isEmpty());
    // Even an empty version is copied.
    page.table.ClickCell(1, 3);
    QCOMPARE(version->text(), QString());

    page.table.ClickCell(0, 1);
    QCOMPARE(version->text(), QStringLiteral("V9.1"));
    QCOMPARE(pages.Pages().size(), 1);
    QCOMPARE(QString::fromLatin1(pages.Pages().at(0).address), QStringLiteral("%1://10.1.2.3:%2").arg(scheme, port));
    QCOMPARE(pages.Pages().at(0).verb, verb);
}

void TestUpgradeFrame::filterColumn_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("applied");
    QTest::newRow("34: after the status column") << 34 << 2 << 3;
    QTest::newRow("34: the address column stays") << 34 << 1 << 1;
    QTest::newRow("0: as given") << 0 << 2 << 2;
}

void TestUpgradeFrame::filterColumn()
{
    QFETCH(int, company);
    QFETCH(int, column);
    QFETCH(int, applied);
    Page page(company);
    ListDevices(*page.page,
        { NewDevice(nullptr, QStringLiteral("10.1.2.3"), QStringLiteral("alpha")),
            NewDevice(nullptr, QStringLiteral("10.1.2.4"), QStringLiteral("beta")) });
    page.page->SetFilterColumn(column);
    QCOMPARE(page.page->Model()->filterColumn(), applied);
    page.page->SetFilterText(QStringLiteral("10.1.2.4"));
    QCOMPARE(page.table.Rows(), column == 1 ? 1 : 0);
    page.page->SetFilterText(QString());
    QCOMPARE(page.table.Rows(), 2);
}

void TestUpgradeFrame::upgradeOfTwentyDevices_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("SDK (code 0)") << false;
    QTest::newRow("HTTP API (code 43)") << true;
}

void TestUpgradeFrame::upgradeOfTwentyDevices()
{
    QFETCH(bool, http);
    constexpr int kDevices = 20;
    constexpr int kDropped = 4;
    constexpr int kWrongPassword = 13;
    const QByteArray image = Firmware(256 * 1024, 7);
    const QString path = WriteFirmware(image);

    PoolBench pool(false, 8);
    Page page(http ? 43 : 0);
    std::vector<std::string> addresses;
    for (int i = 0; i < kDevices; ++i)
        addresses.push_back(Loopback(10 + i));
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    if (http) {
        fakedevice::HttpFaults drop;
        drop.uploadDropAfter = image.size() / 2;
        fleet.web[kDropped]->SetFaults(drop);
    } else {
        fakedevice::Faults drop;
        drop.upgradeDropPercent = 50;
        fleet.sdk[kDropped]->SetFaults(drop);
    }
    fleet.Refuse(kWrongPassword);
    const QList<DeviceInfo*> devices = fleet.Listed();
    ListDevices(*page.page, devices);
    QCOMPARE(page.table.Rows(), kDevices);
    RowHistory history(page);

    page.SetText("m_pEditFilePath", path);
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.table.CheckAll();
    page.Click("m_pBtnUpgrade");
    QVERIFY(!ToolBarEnabled(page.toolBar));
    QVERIFY(page.ActionsDisabled());

    QTRY_VERIFY_WITH_TIMEOUT(!page.page->IsBatchRunning(), 120000);
    QTRY_VERIFY(ToolBarEnabled(page.toolBar));
    QVERIFY(page.ActionsEnabled());

    const QString ok = StatusTextOf(StatusUpgradeOk);
    for (int row = 0; row < kDevices; ++row) {
        // Rows are in list order: the devices' addresses ascend.
        QCOMPARE(page.table.Cell(row, 1), QString::fromStdString(addresses[size_t(row)]));
        const QString status = page.table.Status(row);
        if (row == kDropped) {
            QCOMPARE(status, StatusTextOf(StatusUpgradeFailed));
        } else if (row == kWrongPassword) {
            // Both protocols end a refused login as a login failure: the wrapper's
            // "login_failed_or_block", the SDK's status 105.
            QCOMPARE(status, StatusTextOf(StatusConnectFailed));
        } else {
            QVERIFY2(status == ok, qPrintable(QStringLiteral("row %1: %2").arg(row).arg(status)));
            // It went through waiting and its own progress.
            const QStringList seen = history.Of(row);
            QVERIFY2(seen.contains(StatusTextOf(StatusWaiting)), qPrintable(seen.join(',')));
            QVERIFY2(
                std::any_of(seen.cbegin(), seen.cend(), [](const QString& text) { return text.startsWith(Text(27)); }),
                qPrintable(seen.join(',')));
        }
    }

    // The device side: exactly the file's bytes at every device that succeeded.
    const std::string hash = Sha256Hex(image);
    for (int i = 0; i < kDevices; ++i) {
        if (http) {
            const std::vector<fakedevice::HttpUpload> uploads = fleet.web[size_t(i)]->State().settings.uploads;
            if (i == kDropped || i == kWrongPassword) {
                QVERIFY(uploads.empty());
                // The refused device was asked to log in, and gave no session.
                if (i == kWrongPassword) {
                    QVERIFY(fleet.web[size_t(i)]->CountRequests("/API/Web/Login") > 0);
                    QCOMPARE(fleet.web[size_t(i)]->State().settings.tokenRequests.size(), size_t(0));
                }
                continue;
            }
            QCOMPARE(int(uploads.size()), 1);
            QCOMPARE(uploads[0].size, uint64_t(image.size()));
            QCOMPARE(uploads[0].sha256, hash);
        } else {
            const std::vector<fakedevice::UpgradeRecord> upgrades = fleet.sdk[size_t(i)]->Upgrades();
            if (i == kWrongPassword) {
                QVERIFY(upgrades.empty());
                QVERIFY(fleet.sdk[size_t(i)]->CountReceived(fakedevice::wire::Login) > 0);
                continue;
            }
            QCOMPARE(int(upgrades.size()), 1);
            if (i == kDropped) {
                QVERIFY(upgrades[0].receivedSize < uint64_t(image.size()));
                continue;
            }
            QCOMPARE(upgrades[0].receivedSize, uint64_t(image.size()));
            QCOMPARE(upgrades[0].sha256, hash);
            QVERIFY(upgrades[0].ended);
        }
    }
    for (const auto& device : fleet.sdk)
        QTRY_COMPARE(device->LoggedInSessions(), 0);
    for (const auto& api : fleet.web)
        QTRY_COMPARE(api->Sessions(), 0);
}

// Without a click on any row, each row is told of its device's waiting, its
// progress and its end as they come, and the view paints the end.
void TestUpgradeFrame::rowsShowEachUpgradeEventUnclicked()
{
    const QString path = WriteFirmware(Firmware(1024 * 1024, 11));
    PoolBench pool(false);
    Page page(0);
    FakeFleet fleet(false, { Loopback(40), Loopback(41), Loopback(42) });
    QVERIFY(fleet.Listening());
    ListDevices(*page.page, fleet.Listed());
    const int status = page.table.StatusColumn();
    ViewWatch watch(page.table.view, { status });
    page.SetText("m_pEditFilePath", path);
    page.Login(QStringLiteral("admin"), QString::fromStdString(fleet.Password(0)));
    page.table.CheckAll();
    page.Click("m_pBtnUpgrade");
    QTRY_VERIFY_WITH_TIMEOUT(!page.page->IsBatchRunning(), 60000);

    const QString ok = StatusTextOf(StatusUpgradeOk);
    for (int row = 0; row < 3; ++row) {
        const QStringList told = watch.Told(row, status);
        QVERIFY2(told.size() >= 3 && told.constFirst() == StatusTextOf(StatusWaiting) && told.constLast() == ok,
            qPrintable(told.join(',')));
        QVERIFY2(std::any_of(told.cbegin(), told.cend(), [](const QString& text) { return text.startsWith(Text(27)); }),
            qPrintable(told.join(',')));
        QVERIFY(watch.WaitPainted(row, status, ok));
    }
}

void TestUpgradeFrame::versionQueryAndMatch()
{
    PoolBench pool(false);
    Page page(13);
    const auto fakes = fakedevice::MakeDevices({ Loopback(40), Loopback(41), Loopback(42) });
    fakes[1]->Update([](fakedevice::DeviceState& state) { state.deviceVersion = "V5.0.0 build 20260301"; });
    fakes[2]->SetPassword("other");
    QList<DeviceInfo*> devices;
    QVERIFY(ListFakeDevices(*page.page, fakes, &devices));
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.table.CheckAll();

    page.Click("m_pBtnQuery");
    QVERIFY(!ToolBarEnabled(page.toolBar));
    QTRY_VERIFY_WITH_TIMEOUT(!page.page->IsBatchRunning(), 30000);
    QTRY_VERIFY(ToolBarEnabled(page.toolBar));
    QCOMPARE(devices[0]->m_deviceVersionText, QStringLiteral("V4.2.1 build 20260101"));
    QCOMPARE(devices[1]->m_deviceVersionText, QStringLiteral("V5.0.0 build 20260301"));
    QCOMPARE(page.table.Status(0), StatusTextOf(StatusQueryOk));
    QCOMPARE(page.table.Status(2), StatusTextOf(StatusConnectFailed));
    const int versionColumn = page.page->Model()->columnOfHeader(142);
    QCOMPARE(page.table.Cell(1, versionColumn), QStringLiteral("V5.0.0 build 20260301"));

    // The clicked row's version becomes the one to match.
    page.table.ClickCell(1, 3);
    QCOMPARE(page.Find<LineEdit>("m_pEditVersion")->text(), QStringLiteral("V5.0.0 build 20260301"));
    page.Click("m_pBtnMatch");
    QVERIFY(ToolBarEnabled(page.toolBar));
    QTRY_VERIFY_WITH_TIMEOUT(!page.page->IsBatchRunning(), 30000);
    const int matchColumn = page.page->Model()->columnOfHeader(145);
    // Matched, not matched, and nothing for the device whose version is unknown.
    QTRY_COMPARE(page.table.Cell(1, matchColumn), Text(146));
    QCOMPARE(page.table.Cell(0, matchColumn), Text(147));
    QCOMPARE(page.table.Cell(2, matchColumn), QString());
    for (const auto& fake : fakes)
        QTRY_COMPARE(fake->LoggedInSessions(), 0);
}

void TestUpgradeFrame::factoryDefaults()
{
    PoolBench pool(false);
    Page page(36);
    const auto fakes = fakedevice::MakeDevices({ Loopback(50), Loopback(51), Loopback(52) });
    QList<DeviceInfo*> devices;
    QVERIFY(ListFakeDevices(*page.page, fakes, &devices));
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(2);
    page.Click("m_pBtnDefault");
    QVERIFY(!ToolBarEnabled(page.toolBar));
    QTRY_VERIFY_WITH_TIMEOUT(ToolBarEnabled(page.toolBar), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(fakes[0]->State().defaultResets, 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(fakes[2]->State().defaultResets, 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(0), StatusTextOf(StatusOk), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(2), StatusTextOf(StatusOk), 30000);
    QCOMPARE(fakes[1]->State().defaultResets, 0);
    QCOMPARE(page.table.Status(1), QString());
    for (const auto& fake : fakes)
        QTRY_COMPARE(fake->LoggedInSessions(), 0);
}

QTEST_MAIN(TestUpgradeFrame)
#include "tst_upgradeframe.moc"
