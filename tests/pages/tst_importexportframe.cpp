// The import/export page driven through its widgets: refusals, the file-name
// rule, the file questions, and end to end against fake devices (SDK and HTTP
// API, code 43): one device exported, the file imported into three devices,
// which then hold the exported parameters.

#include "ImportExportFrame.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

#include <thread>

using namespace PageTest;

namespace
{
struct Page : PageOf<ImportExportFrame>
{
    explicit Page(int company)
        : PageOf(company, QSize(1200, 600))
    {
    }
    bool ButtonsEnabled() const
    {
        return Find<QPushButton>("m_pBtnExport")->isEnabled() && Find<QPushButton>("m_pBtnImport")->isEnabled();
    }
};

QList<DeviceInfo*> NamedDevices(const QStringList& names)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < names.size(); ++i)
        devices << NewDevice(nullptr, QString::fromStdString(Loopback(200 + i)), names.at(i));
    return devices;
}
} // namespace

class TestImportExportFrame : public PageTestCase
{
    Q_OBJECT

private slots:
    void form();
    void refusals_data();
    void refusals();
    void cancelledImportDoesNothing();
    void fileNameRule_data();
    void fileNameRule();
    void importQueuesEveryNamedDevice();
    void exportOfOneDevice();
    void exportStatusWaitsForTheAnswer_data();
    void exportStatusWaitsForTheAnswer();
    void exportThenImportIntoThree_data();
    void exportThenImportIntoThree();
};

void TestImportExportFrame::form()
{
    for (int company : { 0, 45 }) {
        Page page(company);
        QCOMPARE(page.Find<QPushButton>("m_pBtnExport")->text(), Text(113));
        QCOMPARE(page.Find<QPushButton>("m_pBtnImport")->text(), Text(114));
        QCOMPARE(page.Find<QLabel>("m_pLabelUserName")->text(), Text(12));
        QCOMPARE(page.Find<QLabel>("m_pLabelPassword")->text(), Text(13));
        QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->MaxByteCount(), 16);
        QCOMPARE(page.table.view->columnWidth(4), company == 45 ? 165 : 130);
        QCOMPARE(page.table.view->columnWidth(5), 150);
    }
}

void TestImportExportFrame::refusals_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<bool>("query");
    QTest::addColumn<int>("textId");

    QTest::newRow("export: nothing ticked") << "m_pBtnExport" << QList<int>() << false << 51;
    QTest::newRow("export: two ticked") << "m_pBtnExport" << QList<int> { 0, 1 } << false << 120;
    QTest::newRow("import: nothing ticked") << "m_pBtnImport" << QList<int>() << false << 51;
    // The file is named for device 0 only.
    QTest::newRow("import: second device named otherwise") << "m_pBtnImport" << QList<int> { 0, 1 } << true << 119;
    QTest::newRow("import: first device named otherwise") << "m_pBtnImport" << QList<int> { 1, 2 } << true << 119;
}

void TestImportExportFrame::refusals()
{
    QFETCH(QString, button);
    QFETCH(QList<int>, ticked);
    QFETCH(bool, query);
    QFETCH(int, textId);

    PoolBench pool(true);
    Page page(0);
    const QList<DeviceInfo*> devices = NamedDevices({ "lobby", "gate", "lobby" });
    ListDevices(*page.page, devices);
    for (int row : ticked)
        page.table.ClickCheckBox(row);
    const QString file = m_dir.filePath(QStringLiteral("lobby.txt"));
    QVERIFY(WriteFile(file, "params"));
    FileAnswers files;
    files.answers << file;
    const QStringList statuses = page.table.Statuses();

    DialogAnswerer dialogs;
    page.Click(button.toLatin1().constData());
    QVERIFY(query ? ShowedQuery(dialogs, textId, 6) : ShowedRefusal(dialogs, textId, 6));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.ButtonsEnabled());
    QVERIFY(ToolBarEnabled(page.toolBar));
    // Every name is checked first: no device was prepared.
    QCOMPARE(page.table.Statuses(), statuses);
    for (const DeviceInfo* device : devices)
        QVERIFY(device->m_importFilePath.isEmpty());
}

void TestImportExportFrame::cancelledImportDoesNothing()
{
    PoolBench pool(true);
    Page page(0);
    ListDevices(*page.page, NamedDevices({ "lobby" }));
    FileAnswers files; // answers nothing: cancelled
    DialogAnswerer dialogs;
    page.Click("m_pBtnImport");
    QCOMPARE(files.asked.size(), 1);
    QCOMPARE(files.asked.at(0).save, false);
    QCOMPARE(files.asked.at(0).caption, Text(117));
    QCOMPARE(files.asked.at(0).directory, QDir::currentPath());
    QCOMPARE(files.asked.at(0).filter, QString());
    // Not even the refusal for nothing ticked.
    QVERIFY(dialogs.Dialogs().isEmpty());
    QCOMPARE(pool.Recorder().Tasks().size(), 0);
}

void TestImportExportFrame::fileNameRule_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("belongs");
    QTest::newRow("as exported") << QStringLiteral("/x/Camera 1.txt") << QStringLiteral("Camera 1") << true;
    QTest::newRow("other name") << QStringLiteral("/x/Camera 1.txt") << QStringLiteral("Camera 2") << false;
    QTest::newRow("names are case-sensitive")
        << QStringLiteral("/x/camera 1.txt") << QStringLiteral("Camera 1") << false;
    QTest::newRow("any four last characters") << QStringLiteral("/x/lobbyABCD") << QStringLiteral("lobby") << true;
    QTest::newRow("exactly four characters: empty name") << QStringLiteral("/x/.txt") << QStringLiteral("") << true;
    QTest::newRow("exactly four characters, named device") << QStringLiteral("/x/.txt") << QStringLiteral("a") << false;
    QTest::newRow("shorter than four: compared whole") << QStringLiteral("/x/abc") << QStringLiteral("abc") << true;
    QTest::newRow("the directory does not count")
        << QStringLiteral("/lobby/gate.txt") << QStringLiteral("gate") << true;
}

void TestImportExportFrame::fileNameRule()
{
    QFETCH(QString, file);
    QFETCH(QString, device);
    QFETCH(bool, belongs);
    QCOMPARE(ImportExportFrame::FileBelongsTo(file, device), belongs);
}

void TestImportExportFrame::importQueuesEveryNamedDevice()
{
    PoolBench pool(true);
    Page page(0);
    const QList<DeviceInfo*> devices = NamedDevices({ "lobby", "gate", "lobby" });
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(2);
    const QString file = m_dir.filePath(QStringLiteral("lobby.txt"));
    QVERIFY(WriteFile(file, "params"));
    FileAnswers files;
    files.answers << file;
    page.Login("admin", "pw");
    page.Click("m_pBtnImport");

    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    for (const QueuedTask& task : pool.Recorder().Tasks())
        QVERIFY(task.function == &ImportParamTask);
    for (int row : { 0, 2 }) {
        QCOMPARE(devices[row]->m_importFilePath, file);
        QCOMPARE(devices[row]->m_password, QStringLiteral("pw"));
        QCOMPARE(devices[row]->m_pImportExportFrame, page.page.get());
        QCOMPARE(page.table.Status(row), StatusTextOf(StatusWaiting));
    }
    // An import locks nothing.
    QVERIFY(page.ButtonsEnabled());
    QVERIFY(ToolBarEnabled(page.toolBar));
    EndHeld(devices[2], StatusImportOk);
    EndHeld(devices[0], StatusImportFailed);
    QTRY_COMPARE(page.table.Status(0), StatusTextOf(StatusImportFailed));
    QTRY_COMPARE(page.table.Status(2), StatusTextOf(StatusImportOk));
    QTRY_VERIFY(!page.page->IsBatchRunning());
}

void TestImportExportFrame::exportOfOneDevice()
{
    PoolBench pool(true);
    Page page(0);
    const QList<DeviceInfo*> devices = NamedDevices({ "lobby", "gate" });
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(1);
    page.Click("m_pBtnExport");
    QCOMPARE(pool.Recorder().Tasks().size(), 1);
    QVERIFY(pool.Recorder().Tasks().at(0).function == &ExportParamTask);
    QCOMPARE(pool.Recorder().Tasks().at(0).argument, devices[1]);
    QCOMPARE(int(devices[1]->m_status), int(StatusWaiting));
    // Free again at once: the file is asked for later.
    QVERIFY(page.ButtonsEnabled());
    QVERIFY(ToolBarEnabled(page.toolBar));

    // The export's question is the page's save dialog.
    FileAnswers files;
    files.answers << QStringLiteral("/tmp/chosen.txt");
    QCOMPARE(AskExportPath(QStringLiteral("gate.txt")), QStringLiteral("/tmp/chosen.txt"));
    QCOMPARE(files.asked.size(), 1);
    QCOMPARE(files.asked.at(0).save, true);
    QCOMPARE(files.asked.at(0).caption, Text(115));
    QCOMPARE(files.asked.at(0).directory, QStringLiteral("gate.txt"));
    QCOMPARE(files.asked.at(0).filter, QStringLiteral("Export File (*.txt)"));
    QCOMPARE(files.asked.at(0).parent, page.page.get());
    // Asked from another thread, no dialog: the export is cancelled.
    QString answer = QStringLiteral("unset");
    std::thread asker([&] { answer = AskExportPath(QStringLiteral("gate.txt")); });
    asker.join();
    QCOMPARE(answer, QString());
    QCOMPARE(files.asked.size(), 1);

    EndHeld(devices[1], StatusExportOk);
    QTRY_COMPARE(page.table.Status(1), StatusTextOf(StatusExportOk));
}

void TestImportExportFrame::exportStatusWaitsForTheAnswer_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<bool>("save");
    QTest::addColumn<int>("status"); // once the question is answered
    QTest::newRow("SDK, saved") << false << true << int(StatusExportOk);
    // Cancelled, the SDK export leaves the row as the connection left it.
    QTest::newRow("SDK, cancelled") << false << false << int(StatusConnected);
    QTest::newRow("HTTP API, saved") << true << true << int(StatusExportOk);
    QTest::newRow("HTTP API, cancelled") << true << false << int(StatusExportFailed);
}

void TestImportExportFrame::exportStatusWaitsForTheAnswer()
{
    QFETCH(bool, http);
    QFETCH(bool, save);
    QFETCH(int, status);
    PoolBench pool(false);
    Page page(http ? 43 : 0);
    FakeFleet fleet(http, { Loopback(64) });
    QVERIFY(fleet.Listening());
    ListDevices(*page.page, fleet.Listed());
    page.Login("admin", "admin123");
    const QString file = m_dir.filePath(http ? QStringLiteral("wait/http.txt") : QStringLiteral("wait/sdk.txt"));
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QFile::remove(file);
    FileAnswers files;
    if (save)
        files.answers << file;
    // What the row shows while the save dialog is open.
    QStringList shownWhileOpen;
    files.whileOpen = [&] { shownWhileOpen << page.table.Status(0); };
    page.table.ClickCheckBox(0);
    page.Click("m_pBtnExport");
    QTRY_COMPARE_WITH_TIMEOUT(files.asked.size(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(0), StatusTextOf(status), 30000);
    QTRY_VERIFY(!page.page->IsBatchRunning());

    QCOMPARE(shownWhileOpen.size(), 1);
    for (int outcome : { int(StatusExportOk), int(StatusExportFailed) })
        QVERIFY2(shownWhileOpen.at(0) != StatusTextOf(outcome), qPrintable(shownWhileOpen.at(0)));
    QCOMPARE(QFileInfo(file).size() > 0, save);
    QTRY_COMPARE(fleet.Sessions(0), 0);
}

void TestImportExportFrame::exportThenImportIntoThree_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("SDK (code 0)") << false;
    QTest::newRow("HTTP API (code 43)") << true;
}

void TestImportExportFrame::exportThenImportIntoThree()
{
    QFETCH(bool, http);
    PoolBench pool(false);
    Page page(http ? 43 : 0);
    const std::vector<std::string> addresses = { Loopback(60), Loopback(61), Loopback(62), Loopback(63) };
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    // The source's settings differ from the others'.
    if (http) {
        fleet.web[0]->Update([](fakedevice::HttpDeviceState& state) {
            state.settings.osd.name = "Exported";
            state.settings.streams["SubStream"].fps = 7;
            state.settings.clock.timeZone = "GMT+2:00";
        });
    } else {
        for (const auto& fake : fleet.sdk)
            fake->Update([](fakedevice::DeviceState& state) { state.deviceName = "Camera"; });
        fleet.sdk[0]->Update([](fakedevice::DeviceState& state) {
            state.params[ZVNET_PARAM_OSD][20] ^= 0x55;
            state.params[ZVNET_PARAM_MAIN_STREAM][17] = 5;
        });
    }
    const QList<DeviceInfo*> devices = fleet.Listed();
    // The HTTP devices' name comes from their search record.
    if (http) {
        for (DeviceInfo* device : devices)
            CopyLatin1(QStringLiteral("Camera"), device->m_searchRsp.deviceName);
    }
    ListDevices(*page.page, devices);
    page.Login("admin", "admin123");

    // Export device 0, saved where the dialog says.
    const QString file = m_dir.filePath(http ? QStringLiteral("http/Camera.txt") : QStringLiteral("sdk/Camera.txt"));
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    FileAnswers files;
    files.answers << file << file;
    page.table.ClickCheckBox(0);
    page.Click("m_pBtnExport");
    QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(0), StatusTextOf(StatusExportOk), 30000);
    QCOMPARE(files.asked.size(), 1);
    QCOMPARE(files.asked.at(0).directory, QStringLiteral("Camera.txt"));
    QVERIFY(QFileInfo(file).size() > 0);

    // Import it into the three others.
    page.table.ClickCheckBox(0);
    for (int row : { 1, 2, 3 })
        page.table.ClickCheckBox(row);
    page.Click("m_pBtnImport");
    for (int row : { 1, 2, 3 })
        QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(row), StatusTextOf(StatusImportOk), 30000);
    QTRY_VERIFY(!page.page->IsBatchRunning());

    for (size_t i = 1; i < addresses.size(); ++i) {
        if (http) {
            const fakedevice::HttpSettings source = fleet.web[0]->State().settings;
            const fakedevice::HttpSettings target = fleet.web[i]->State().settings;
            QCOMPARE(target.paramImports, 1);
            QCOMPARE(target.osd.name, std::string("Exported"));
            QCOMPARE(target.streams.at("SubStream").fps, 7);
            QCOMPARE(target.clock.timeZone, std::string("GMT+2:00"));
            QCOMPARE(target.deviceParams, source.deviceParams);
        } else {
            QVERIFY(fleet.sdk[i]->State().params == fleet.sdk[0]->State().params);
        }
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

QTEST_MAIN(TestImportExportFrame)
#include "tst_importexportframe.moc"
