// The Excel export page driven through its widgets, the workbook read back by
// an independent reader (openpyxl, through Debian's python3): header texts,
// one row per device in list order, numbers as numbers, the 11-column form of
// the HTTP API customers, the last cell of a P2P id that is no id; a cancelled
// dialog, a workbook that cannot be saved, and devices a new search replaces
// while the job runs.

#include "ExportExcel.h"
#include "LanguageTexts.h"
#include "PageBench.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QThreadPool>

using namespace PageTest;

namespace
{
DeviceInfo* FullDevice(int n, const QString& p2pId)
{
    SearchDevRsp record;
    std::memset(&record, 0, sizeof(record));
    CopyLatin1(QStringLiteral("10.0.0.%1").arg(n), record.ip);
    CopyLatin1(QStringLiteral("Camera %1").arg(n), record.deviceName);
    CopyLatin1(QStringLiteral("ZV-IPC-%1").arg(n), record.deviceType);
    CopyLatin1(QStringLiteral("V4.%1").arg(n), record.deviceVersion);
    CopyLatin1(QStringLiteral("255.255.0.0"), record.netmask);
    CopyLatin1(QStringLiteral("10.0.0.1"), record.gateway);
    CopyLatin1(QStringLiteral("02:00:00:00:00:%1").arg(n, 2, 10, QLatin1Char('0')), record.mac);
    CopyLatin1(p2pId, record.p2pId);
    record.channelNumber = n;
    record.mediaPort = 9000 + n;
    record.webPort = 8000 + n;
    record.networkMode = n % 2 ? ZVNET_NET_MODE_DHCP : ZVNET_NET_MODE_STATIC;
    auto* device = new DeviceInfo;
    device->InitFromSearchRsp(&record, false);
    return device;
}

QJsonArray Row(const QJsonObject& book, int row)
{
    return book.value("rows").toArray().at(row).toArray();
}

struct Page : PageOf<ExportExcel>
{
    explicit Page(int company)
        : PageOf(company, QSize(1200, 600))
    {
    }
    void ClickExport() { Click("m_pBtnExcel"); }
};
} // namespace

class TestExportExcel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void form();
    void nothingTickedIsRefused();
    void cancelledDialogWritesNothing();
    void workbookOfTheTickedDevices_data();
    void workbookOfTheTickedDevices();
    void unsavedWorkbookIsAFailure();
    void devicesOutliveANewSearchDuringTheJob();
    void headerFollowsTheLanguage();

private:
    QTemporaryDir m_dir;
};

void TestExportExcel::initTestCase()
{
    LoadNumberedTexts();
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo::exists(QStringLiteral("/usr/bin/python3")), "Debian's python3 is needed");
}

void TestExportExcel::cleanup()
{
    QThreadPool::globalInstance()->waitForDone();
    ZVAppSetting::Instance()->m_company = 0;
}

void TestExportExcel::form()
{
    Page page(0);
    QCOMPARE(page.page->findChild<QPushButton*>("m_pBtnExcel")->text(), Text(168));
    QVERIFY(page.page->findChild<QLabel*>("m_lavelStatus"));
    const int widths[] = { 80, -1, 100, 135, 135, 125, 145, 120, 120, 120, 120, 120 };
    for (int column = 0; column < 12; ++column) {
        if (widths[column] > 0)
            QCOMPARE(page.table.view->columnWidth(column), widths[column]);
    }
}

void TestExportExcel::nothingTickedIsRefused()
{
    Page page(0);
    ListDevices(*page.page, { FullDevice(1, "A1") });
    FileAnswers files;
    DialogAnswerer dialogs;
    page.ClickExport();
    QVERIFY(ShowedRefusal(dialogs, 51, 6));
    QVERIFY(files.asked.isEmpty());
}

void TestExportExcel::cancelledDialogWritesNothing()
{
    Page page(0);
    ListDevices(*page.page, { FullDevice(1, "A1"), FullDevice(2, "B2") });
    page.table.ClickCheckBox(0);
    FileAnswers files; // cancels
    page.ClickExport();
    QCOMPARE(files.asked.size(), 1);
    QCOMPARE(files.asked.at(0).save, true);
    QCOMPARE(files.asked.at(0).caption, QStringLiteral("SAVE EXCEL"));
    QCOMPARE(files.asked.at(0).directory, QString());
    QCOMPARE(files.asked.at(0).filter, QStringLiteral("Export Files (*.xlsx)"));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(page.table.Statuses(), (QStringList { QString(), QString() }));
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Files).isEmpty());
}

void TestExportExcel::workbookOfTheTickedDevices_data()
{
    QTest::addColumn<int>("company");
    QTest::newRow("SDK customers: 12 columns") << 0;
    QTest::newRow("HTTP API customers (43): 11 columns") << 43;
}

void TestExportExcel::workbookOfTheTickedDevices()
{
    QFETCH(int, company);
    const bool mediaPort = company != 43;
    Page page(company);
    QList<DeviceInfo*> devices;
    devices << FullDevice(1, "A1B2") << FullDevice(2, "-not-an-id") << FullDevice(3, "") << FullDevice(4, "9Z");
    ListDevices(*page.page, devices);
    // Ticked out of order; three of four.
    for (int row : { 3, 0, 1 })
        page.table.ClickCheckBox(row);
    const QString path = m_dir.filePath(QStringLiteral("devices%1.xlsx").arg(company));
    FileAnswers files;
    files.answers << path;
    page.ClickExport();
    for (int row : { 0, 1, 3 })
        QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(row), StatusTextOf(StatusExportOk), 30000);
    QCOMPARE(page.table.Status(2), QString());

    const QJsonObject book = TestSupport::ReadWorkbook(path);
    QVERIFY(!book.isEmpty());
    QCOMPARE(book.value("sheets").toInt(), 1);
    QCOMPARE(book.value("rows").toArray().size(), 4);
    QCOMPARE(book.value("maxColumn").toInt(), mediaPort ? 12 : 11);

    QStringList header;
    for (const QJsonValue& cell : Row(book, 0))
        header << cell.toObject().value("value").toString();
    QStringList expected;
    for (int id : { 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127 }) {
        if (id != 33 || mediaPort)
            expected << Text(id);
    }
    QCOMPARE(header, expected);

    // Rows in list order, numbers as numbers.
    const int rowDevices[] = { 1, 2, 4 };
    for (int r = 1; r <= 3; ++r) {
        const DeviceInfo* device = devices[rowDevices[r - 1] - 1];
        const int n = rowDevices[r - 1];
        const QJsonArray cells = Row(book, r);
        QCOMPARE(cells.size(), mediaPort ? 12 : 11);
        auto cell = [&](int column) { return cells.at(column).toObject(); };
        QCOMPARE(cell(0).value("value").toString(), QStringLiteral("10.0.0.%1").arg(n));
        QCOMPARE(cell(0).value("type").toString(), QStringLiteral("text"));
        int c = 1;
        if (mediaPort) {
            QCOMPARE(cell(c).value("type").toString(), QStringLiteral("number"));
            QCOMPARE(cell(c++).value("value").toInt(), 9000 + n);
        }
        QCOMPARE(cell(c).value("type").toString(), QStringLiteral("number"));
        QCOMPARE(cell(c++).value("value").toInt(), 8000 + n);
        QCOMPARE(cell(c).value("type").toString(), QStringLiteral("number"));
        QCOMPARE(cell(c++).value("value").toInt(), n);
        QCOMPARE(cell(c++).value("value").toString(), QStringLiteral("Camera %1").arg(n));
        QCOMPARE(cell(c++).value("value").toString(), QStringLiteral("ZV-IPC-%1").arg(n));
        QCOMPARE(cell(c++).value("value").toString(), QStringLiteral("V4.%1").arg(n));
        QCOMPARE(cell(c++).value("value").toString(), QStringLiteral("255.255.0.0"));
        QCOMPARE(cell(c++).value("value").toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(cell(c++).value("value").toString(), device->Mac());
        QCOMPARE(cell(c++).value("value").toString(), device->NetModeText());
        const QJsonObject p2p = cell(c);
        if (n == 2) {
            QCOMPARE(p2p.value("type").toString(), QStringLiteral("empty"));
        } else {
            QCOMPARE(p2p.value("type").toString(), QStringLiteral("text"));
            QCOMPARE(p2p.value("value").toString(), n == 1 ? QStringLiteral("A1B2") : QStringLiteral("9Z"));
        }
    }

    // Twelve widths even on the 11-column sheet; every row centred.
    const QJsonObject widths = book.value("widths").toObject();
    const double expectedWidths[] = { 15, 15, 15, 15, 30, 20, 30, 15, 15, 25, 15, 30 };
    for (int column = 0; column < 12; ++column) {
        const QString letter(QChar('A' + column));
        // Excel stores widths with the font's padding added.
        QVERIFY2(qAbs(widths.value(letter).toDouble() - expectedWidths[column]) < 1.0, qPrintable(letter));
    }
    const QJsonObject rowFormats = book.value("rowFormats").toObject();
    for (int row = 1; row <= 4; ++row) {
        const QJsonObject format = rowFormats.value(QString::number(row)).toObject();
        QCOMPARE(format.value("horizontal").toString(), QStringLiteral("center"));
        QCOMPARE(format.value("vertical").toString(), QStringLiteral("center"));
    }
}

void TestExportExcel::unsavedWorkbookIsAFailure()
{
    Page page(0);
    ListDevices(*page.page, { FullDevice(1, "A1"), FullDevice(2, "B2") });
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(1);
    const QString path = m_dir.filePath(QStringLiteral("no/such/folder/devices.xlsx"));
    FileAnswers files;
    files.answers << path;
    page.ClickExport();
    QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(0), StatusTextOf(StatusExportFailed), 30000);
    QTRY_COMPARE(page.table.Status(1), StatusTextOf(StatusExportFailed));
    QVERIFY(!QFileInfo::exists(path));
}

void TestExportExcel::devicesOutliveANewSearchDuringTheJob()
{
    Page page(0);
    QList<DeviceInfo*> devices;
    for (int n = 1; n <= 50; ++n)
        devices << FullDevice(n, "A");
    ListDevices(*page.page, devices);
    page.table.CheckAll();
    QList<QPointer<DeviceInfo>> watched;
    for (DeviceInfo* device : devices)
        watched << device;
    const QString path = m_dir.filePath(QStringLiteral("busy.xlsx"));
    FileAnswers files;
    files.answers << path;
    page.ClickExport();
    // The job holds the devices: a new search may not free them yet.
    for (DeviceInfo* device : devices)
        QVERIFY(device->IsBusy());
    ClearDevices(*page.page);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const QPointer<DeviceInfo>& device : watched)
        QVERIFY(device);
    // Once the job has ended, they go.
    QThreadPool::globalInstance()->waitForDone();
    QTRY_VERIFY(std::all_of(watched.cbegin(), watched.cend(), [](const QPointer<DeviceInfo>& d) { return !d; }));
    QCOMPARE(TestSupport::ReadWorkbook(path).value("rows").toArray().size(), 51);
}

void TestExportExcel::headerFollowsTheLanguage()
{
    Page page(0);
    ListDevices(*page.page, { FullDevice(1, "A1") });
    page.table.ClickCheckBox(0);
    // Another language: text n reads "L<n>".
    const QString language = m_dir.filePath(QStringLiteral("other-language.xml"));
    QVERIFY(WriteFile(language, NumberedLanguageFile(239, QStringLiteral("L"))));
    LanguageTexts::Create(language);
    QCoreApplication::postEvent(page.page.get(), new LanguageChangedEvent);
    QTRY_COMPARE(page.page->findChild<QPushButton*>("m_pBtnExcel")->text(), QStringLiteral("L168"));

    const QString path = m_dir.filePath(QStringLiteral("language.xlsx"));
    FileAnswers files;
    files.answers << path;
    page.ClickExport();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path) && page.table.Status(0) == StatusTextOf(StatusExportOk), 30000);
    const QJsonArray header = Row(TestSupport::ReadWorkbook(path), 0);
    QCOMPARE(header.at(0).toObject().value("value").toString(), QStringLiteral("L32"));
    QCOMPARE(header.at(11).toObject().value("value").toString(), QStringLiteral("L127"));
    LoadNumberedTexts();
}

QTEST_MAIN(TestExportExcel)
#include "tst_exportexcel.moc"
