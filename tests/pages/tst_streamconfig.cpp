// The stream configuration page driven through its widgets: the form per
// customer code, the refusals (a Set only writes what a successful query of
// the chosen stream returned), what each queued device receives, and end to
// end against fake devices by the SDK and the HTTP API (code 43): settings
// set on the page are what each device stores and a query shows them back,
// and the clocks set from the computer land within 2 s of its clock, in UTC
// on HTTP API devices and in local wall time on SDK devices, under several
// time zones. One device with another password fails on its own row.

#include "DeviceWire.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "StreamConfigFrame.h"

#include <QComboBox>
#include <QLabel>
#include <QTimeZone>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

using namespace PageTest;

namespace
{
// What a query of one stream left in a device.
struct Queried
{
    int stream = 0;
    QString resolution;
    QString fps;
    QString encodeType;
    int bitrateMode = 0;
    int bitrateIndex = 0;
    int customBitrate = 0;
    QString bitrateModeText;
};

QList<DeviceInfo*> Devices(int count)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i)
        devices << NewDevice(nullptr, QString::fromStdString(Loopback(200 + i)), QStringLiteral("cam%1").arg(i));
    return devices;
}

// Ends a held query as its worker would: the values, then the status.
void EndQuery(DeviceInfo* device, const Queried& values, int status)
{
    OnOtherThread([device, values, status] {
        PostDeviceEvent(device, new QDeviceCallEvent([device, values, status] {
            if (status == StatusQueryOk) {
                device->m_resolutionText = values.resolution;
                device->m_fpsText = values.fps;
                device->m_encodeTypeText = values.encodeType;
                device->m_bitrateMode = values.bitrateMode;
                device->m_bitrateIndex = values.bitrateIndex;
                device->m_customBitrate = values.customBitrate;
                device->m_bitrateModeText = values.bitrateModeText;
            }
            device->m_status = status;
            device->EndOperation(true);
        }));
    });
}

Queried Values(int stream, int seed)
{
    Queried values;
    values.stream = stream;
    values.resolution = QStringLiteral("%1*%2").arg(1280 + seed).arg(720 + seed);
    values.fps = QString::number(10 + seed);
    values.encodeType = seed % 2 ? QStringLiteral("H264") : QStringLiteral("H265");
    values.bitrateMode = 1;
    values.bitrateIndex = 3 + seed;
    values.customBitrate = 1000 + seed;
    values.bitrateModeText = QStringLiteral("UserDefined");
    return values;
}

struct StreamPage : PageOf<StreamConfigFrame>
{
    explicit StreamPage(int company)
        : PageOf(company, QSize(1500, 600))
    {
    }
    QComboBox* Streams() const { return Find<QComboBox>("m_pStreamComBox"); }
    void Choose(int stream) { Streams()->setCurrentIndex(stream); }
    void TickOnly(const QList<int>& rows)
    {
        page->Model()->setAllChecked(Qt::Unchecked);
        for (int row : rows)
            table.ClickCheckBox(row);
    }
    bool Unlocked() const
    {
        for (const char* name : { "m_pBtnQuery", "m_pBtnSet", "m_pBtnSetTime" })
            if (!Find<QPushButton>(name)->isEnabled())
                return false;
        return ToolBarEnabled(toolBar);
    }
    // The stream's columns of a row: resolution, frame rate, encoding, bitrate.
    QStringList StreamCells(int row) const
    {
        const CheckBoxTableModel* model = CheckBoxTableModel::FromViewModel(table.Model());
        QStringList cells;
        for (TextId id : { 175, 176, 177, 181 })
            cells << table.Cell(row, model->columnOfHeader(id));
        return cells;
    }
};

// Queries stream on the ticked rows with held tasks and ends each as given
// (0: the row is not queried), in row order.
void QueryHeld(
    StreamPage& page, PoolBench& pool, const QList<DeviceInfo*>& devices, int stream, const QList<int>& statuses)
{
    QList<int> rows;
    for (int row = 0; row < statuses.size(); ++row)
        if (statuses[row] != 0)
            rows << row;
    page.TickOnly(rows);
    page.Choose(stream);
    const int before = pool.Recorder().Tasks().size();
    page.Click("m_pBtnQuery");
    QCOMPARE(pool.Recorder().Tasks().size(), before + rows.size());
    for (int row : rows)
        EndQuery(devices[row], Values(stream, row), statuses[row]);
    QTRY_VERIFY(page.Unlocked());
}

// The HTTP API device's clock when the set arrived, against the computer's then.
qint64 HttpClockError(const fakedevice::FakeHttpApi& api)
{
    const fakedevice::HttpClockSettings clock = api.State().settings.clock;
    int64_t utc = 0;
    if (clock.setAtMs == 0 || !fakedevice::ClockUtcSeconds(clock, utc))
        return std::numeric_limits<qint64>::max();
    return utc * 1000 - clock.setAtMs;
}

// The SDK device's wall clock, read in zone, against the computer's clock
// when the set arrived.
qint64 SdkClockError(const fakedevice::FakeDevice& fake, const QTimeZone& zone)
{
    const fakedevice::Bytes block = fake.State().params.at(ZVNET_PARAM_DATETIME);
    if (block.size() != sizeof(ZVNetDateTimeParam))
        return std::numeric_limits<qint64>::max();
    ZVNetDateTimeParam record;
    std::memcpy(&record, block.data(), sizeof(record));
    const QDateTime wall(
        QDate(2000 + record.year, record.month, record.day), QTime(record.hour, record.minute, record.second), zone);
    const qint64 arrivedMs = fake.LastParamSetMs(ZVNET_PARAM_DATETIME);
    if (arrivedMs == 0 || !wall.isValid())
        return std::numeric_limits<qint64>::max();
    return wall.toMSecsSinceEpoch() - arrivedMs;
}

// The process's time zone for the life of the object.
class ZoneOfProcess
{
public:
    explicit ZoneOfProcess(const QByteArray& zone)
        : m_had(qEnvironmentVariableIsSet("TZ"))
        , m_previous(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneOfProcess()
    {
        if (m_had)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_previous;
};
} // namespace

class TestStreamConfig : public PageTestCase
{
    Q_OBJECT

private slots:
    void forms_data();
    void forms();
    void nothingTicked_data();
    void nothingTicked();
    void setNeedsAQueryOfTheStream_data();
    void setNeedsAQueryOfTheStream();
    void setPassesTheQueriedValues_data();
    void setPassesTheQueriedValues();
    void queryAndTimePrepareEachTicked();
    void multiChannelMessage();
    void streamsOnDevices_data();
    void streamsOnDevices();
    void rowsShowQueriedValuesUnclicked();
    void clocksOnDevices_data();
    void clocksOnDevices();
};

void TestStreamConfig::forms_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("streams");
    QTest::addColumn<int>("column3");
    QTest::newRow("code 0") << 0 << 2 << 135;
    QTest::newRow("code 38") << 38 << 2 << 135;
    QTest::newRow("code 43: mobile stream too") << 43 << 3 << 135;
    QTest::newRow("code 44: mobile stream too") << 44 << 3 << 135;
    QTest::newRow("code 45: wider column 3") << 45 << 2 << 165;
}

void TestStreamConfig::forms()
{
    QFETCH(int, company);
    QFETCH(int, streams);
    QFETCH(int, column3);
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    ZVAppSetting::Instance()->m_defaultPassword = QStringLiteral("secret");
    StreamPage page(company);
    QCOMPARE(page.Find<QLabel>("m_pLabUserName")->text(), Text(12));
    QCOMPARE(page.Find<QLabel>("m_pLabPassword")->text(), Text(13));
    QCOMPARE(page.Find<QPushButton>("m_pBtnQuery")->text(), Text(139));
    QCOMPARE(page.Find<QPushButton>("m_pBtnSet")->text(), Text(64));
    QCOMPARE(page.Find<QPushButton>("m_pBtnSetTime")->text(), Text(179));
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->text(), QStringLiteral("admin"));
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->text(), QStringLiteral("secret"));
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->MaxByteCount(), 16);
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->MaxByteCount(), 16);
    QCOMPARE(page.Streams()->count(), streams);
    for (int item = 0; item < streams; ++item) {
        QCOMPARE(page.Streams()->itemText(item), Text(172 + item));
        QCOMPARE(page.Streams()->itemData(item).toInt(), item);
    }
    QCOMPARE(page.table.view->columnWidth(0), 80);
    QCOMPARE(page.table.view->columnWidth(3), column3);
    QCOMPARE(page.table.view->columnWidth(5), 125);
    QCOMPARE(page.table.view->columnWidth(6), 145);
    QVERIFY(page.page->BusyTimer() != nullptr);
    // Only single-channel devices are listed.
    QList<DeviceInfo*> devices = Devices(2);
    devices << NewDevice(nullptr, QString::fromStdString(Loopback(210)), QStringLiteral("nvr"), 4);
    ListDevices(*page.page, devices);
    QCOMPARE(page.table.Rows(), 2);
    ZVAppSetting::Instance()->m_defaultUser.clear();
    ZVAppSetting::Instance()->m_defaultPassword.clear();
}

void TestStreamConfig::nothingTicked_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("button");
    for (int company : { 0, 43 }) {
        for (const char* button : { "m_pBtnQuery", "m_pBtnSet", "m_pBtnSetTime" })
            QTest::addRow("code %d, %s", company, button) << company << QString::fromLatin1(button);
    }
}

void TestStreamConfig::nothingTicked()
{
    QFETCH(int, company);
    QFETCH(QString, button);
    PoolBench pool(true);
    StreamPage page(company);
    ListDevices(*page.page, Devices(2));
    DialogAnswerer dialogs;
    page.Click(button.toLatin1().constData());
    QVERIFY(ShowedRefusal(dialogs, 51, 6));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
}

void TestStreamConfig::setNeedsAQueryOfTheStream_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("queryStream"); // -1: no query
    QTest::addColumn<QList<int>>("queryStatuses"); // per row, in report order; 0: not queried
    QTest::addColumn<int>("setStream");
    QTest::addColumn<bool>("accepted");
    const int ok = StatusQueryOk;
    const int failed = StatusQueryFailed;
    using L = QList<int>;
    QTest::newRow("code 0: never queried") << 0 << -1 << L() << 0 << false;
    QTest::newRow("code 0: main queried, sub set") << 0 << 0 << L { ok, ok } << 1 << false;
    QTest::newRow("code 0: first ticked never queried") << 0 << 0 << L { 0, ok } << 0 << false;
    QTest::newRow("code 0: first ticked's query failed") << 0 << 0 << L { failed, ok } << 0 << false;
    QTest::newRow("code 0: sub queried and set") << 0 << 1 << L { ok, failed } << 1 << true;
    QTest::newRow("code 45: never queried") << 45 << -1 << L() << 0 << false;
    QTest::newRow("code 43: never queried") << 43 << -1 << L() << 0 << false;
    QTest::newRow("code 43: main queried, sub set") << 43 << 0 << L { ok, ok } << 1 << false;
    QTest::newRow("code 43: last report a failed query") << 43 << 0 << L { ok, failed } << 0 << false;
    QTest::newRow("code 43: main queried and set") << 43 << 0 << L { failed, ok } << 0 << true;
    QTest::newRow("code 44: mobile queried and set") << 44 << 2 << L { ok, 0 } << 2 << true;
}

void TestStreamConfig::setNeedsAQueryOfTheStream()
{
    QFETCH(int, company);
    QFETCH(int, queryStream);
    QFETCH(QList<int>, queryStatuses);
    QFETCH(int, setStream);
    QFETCH(bool, accepted);
    PoolBench pool(true);
    StreamPage page(company);
    const QList<DeviceInfo*> devices = Devices(2);
    ListDevices(*page.page, devices);
    if (queryStream >= 0)
        QueryHeld(page, pool, devices, queryStream, queryStatuses);
    const int queued = pool.Recorder().Tasks().size();
    page.TickOnly({ 0, 1 });
    page.Choose(setStream);
    const QStringList statuses = page.table.Statuses();
    DialogAnswerer dialogs;
    page.Click("m_pBtnSet");
    QCoreApplication::sendPostedEvents();
    if (!accepted) {
        QVERIFY(ShowedRefusal(dialogs, 193, 6));
        QCOMPARE(pool.Recorder().Tasks().size(), queued);
        QVERIFY(page.Unlocked());
        QCOMPARE(page.table.Statuses(), statuses);
        return;
    }
    QVERIFY(dialogs.Dialogs().isEmpty());
    QCOMPARE(pool.Recorder().Tasks().size(), queued + 2);
    QVERIFY(pool.Recorder().Tasks().at(queued).function == &SetStreamTask);
    QVERIFY(!page.Unlocked());
    for (DeviceInfo* device : devices)
        EndHeld(device, StatusOk);
    QTRY_VERIFY(page.Unlocked());
}

void TestStreamConfig::setPassesTheQueriedValues_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("timeSetBetween");
    QTest::newRow("code 0") << 0 << false;
    QTest::newRow("code 0, clocks set since the query") << 0 << true;
    QTest::newRow("code 43: the last to report") << 43 << false;
}

void TestStreamConfig::setPassesTheQueriedValues()
{
    QFETCH(int, company);
    QFETCH(bool, timeSetBetween);
    const bool http = IsHttpApiCompany(company);
    PoolBench pool(true);
    StreamPage page(company);
    const QList<DeviceInfo*> devices = Devices(3);
    ListDevices(*page.page, devices);
    QueryHeld(page, pool, devices, 1, { StatusQueryOk, StatusQueryOk, 0 });
    if (timeSetBetween) {
        page.TickOnly({ 0, 1, 2 });
        page.Click("m_pBtnSetTime");
        for (DeviceInfo* device : devices)
            EndHeld(device, StatusOk);
        QTRY_VERIFY(page.Unlocked());
    }
    // Under code 0 the first ticked device gives the values; under the HTTP
    // API codes the device that reported last.
    const Queried expected = Values(1, http ? 1 : 0);
    page.TickOnly({ 0, 1, 2 });
    const QDateTime before = QDateTime::currentDateTime();
    page.Click("m_pBtnSet");
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(pool.Recorder().Tasks().size(), timeSetBetween ? 8 : 5);
    for (DeviceInfo* device : devices) {
        QCOMPARE(device->m_streamIndex, 1);
        QCOMPARE(device->m_customBitrate, expected.customBitrate);
        QCOMPARE(device->m_bitrateMode, expected.bitrateMode);
        QVERIFY(device->m_dateTime >= before.addMSecs(-1) && device->m_dateTime <= after);
        QCOMPARE(device->m_status, int(StatusWaiting));
        if (http) {
            QCOMPARE(device->m_resolutionText, expected.resolution);
            QCOMPARE(device->m_fpsText, expected.fps);
            QCOMPARE(device->m_encodeTypeText, expected.encodeType);
            QCOMPARE(device->m_bitrateModeText, expected.bitrateModeText);
        } else {
            QCOMPARE(device->m_resolutionName, expected.resolution);
            QCOMPARE(device->m_fps, expected.fps.toInt());
            QCOMPARE(device->m_encodeTypeIndex, expected.encodeType == QLatin1String("H264") ? 0 : 1);
            QCOMPARE(device->m_bitrateIndex, expected.bitrateIndex);
        }
    }
    for (DeviceInfo* device : devices)
        EndHeld(device, StatusOk);
    QTRY_VERIFY(page.Unlocked());
}

void TestStreamConfig::queryAndTimePrepareEachTicked()
{
    PoolBench pool(true);
    StreamPage page(43);
    const QList<DeviceInfo*> devices = Devices(3);
    ListDevices(*page.page, devices);
    page.Login(QStringLiteral("admin"), QStringLiteral("pw"));
    page.TickOnly({ 0, 2 });
    page.Choose(2);
    page.Click("m_pBtnQuery");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    QVERIFY(!page.Unlocked());
    QVERIFY(PollRunning(*page.page));
    for (int row : { 0, 2 }) {
        QVERIFY(pool.Recorder().Tasks().at(row / 2).function == &QueryStreamTask);
        QCOMPARE(devices[row]->m_streamIndex, 2);
        QCOMPARE(devices[row]->m_password, QStringLiteral("pw"));
        QCOMPARE(devices[row]->m_pStreamConfigFrame, page.page.get());
        QCOMPARE(page.table.Status(row), StatusTextOf(StatusWaiting));
    }
    QCOMPARE(devices[1]->m_pStreamConfigFrame, nullptr);
    // No device logged in, but both tasks under way: locked; once they have
    // ended, the busy poll brings the page back.
    QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
    QVERIFY(ticks.wait(10000));
    QVERIFY(!page.Unlocked());
    for (int row : { 0, 2 })
        EndHeldRunning(devices[row], StatusOk);
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 10000);
    QVERIFY(!page.page->BusyTimer()->isActive());

    // The time of the click goes to every device, whenever its task starts.
    page.TickOnly({ 0, 1, 2 });
    const QDateTime before = QDateTime::currentDateTime();
    page.Click("m_pBtnSetTime");
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(pool.Recorder().Tasks().size(), 5);
    for (int row = 0; row < 3; ++row) {
        QVERIFY(pool.Recorder().Tasks().at(2 + row).function == &SetTimeTask);
        QCOMPARE(devices[row]->m_dateTime, devices[0]->m_dateTime);
    }
    QVERIFY(devices[0]->m_dateTime >= before.addMSecs(-1) && devices[0]->m_dateTime <= after);
    for (DeviceInfo* device : devices)
        EndHeld(device, StatusOk);
    QTRY_VERIFY(page.Unlocked());
}

void TestStreamConfig::multiChannelMessage()
{
    PoolBench pool(true);
    StreamPage page(0);
    const QList<DeviceInfo*> devices = Devices(3);
    ListDevices(*page.page, devices);
    QueryHeld(page, pool, devices, 0, { StatusQueryOk, StatusQueryOk, StatusQueryOk });
    // Devices that count more channels than when they were listed.
    devices[1]->m_searchRsp.channelNumber = 4;
    devices[2]->m_searchRsp.channelNumber = 0;
    const QStringList expected
        = { devices[1]->Ip() + QStringLiteral(" not suppose!"), devices[2]->Ip() + QStringLiteral(" not suppose!") };
    page.TickOnly({ 0, 1, 2 });
    for (const char* button : { "m_pBtnQuery", "m_pBtnSet", "m_pBtnSetTime" }) {
        const int queued = pool.Recorder().Tasks().size();
        DialogAnswerer dialogs;
        page.Click(button);
        QStringList texts;
        for (const DialogAnswerer::Shown& shown : dialogs.Dialogs()) {
            texts << shown.text;
            QCOMPARE(shown.title, Text(6));
            QCOMPARE(shown.buttonMode, 0);
            QCOMPARE(shown.iconMode, 2);
        }
        // Each device is still queued; setting the clocks asks nothing.
        QCOMPARE(texts, QByteArray(button) == "m_pBtnSetTime" ? QStringList() : expected);
        QCOMPARE(pool.Recorder().Tasks().size(), queued + 3);
        for (DeviceInfo* device : devices)
            EndHeld(device, QByteArray(button) == "m_pBtnQuery" ? StatusQueryOk : StatusOk);
        QTRY_VERIFY(page.Unlocked());
    }
}

void TestStreamConfig::streamsOnDevices_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("stream");
    QTest::newRow("SDK (code 0), main stream") << 0 << 0;
    QTest::newRow("SDK (code 0), sub stream") << 0 << 1;
    QTest::newRow("HTTP API (code 43), main stream") << 43 << 0;
    QTest::newRow("HTTP API (code 43), sub stream") << 43 << 1;
}

void TestStreamConfig::streamsOnDevices()
{
    QFETCH(int, company);
    QFETCH(int, stream);
    const bool http = IsHttpApiCompany(company);
    PoolBench pool(false);
    StreamPage page(company);
    const std::vector<std::string> addresses = { Loopback(90), Loopback(91), Loopback(92) };
    const size_t failing = 2;
    const std::string streamName = stream == 0 ? "MainStream" : "SubStream";
    const uint32_t streamId = stream == 0 ? ZVNET_PARAM_MAIN_STREAM : ZVNET_PARAM_SUB_STREAM;
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    // The first device's stream differs from the others' in every value.
    const fakedevice::HttpStreamSettings chosen { "1280*720", 12, "H264", "UserDefined", 3000, 3000 };
    if (http) {
        fleet.web[0]->Update([&](fakedevice::HttpDeviceState& state) { state.settings.streams[streamName] = chosen; });
    } else {
        fleet.sdk[0]->Update([&](fakedevice::DeviceState& state) {
            uint8_t* record = state.params[streamId].data();
            record[offsetof(ZVNetStreamParam, bitrateMode)] = 1;
            fakedevice::PutU16(state.params[streamId], offsetof(ZVNetStreamParam, customBitrate), 3000);
            record[offsetof(ZVNetStreamParam, frameRate)] = 12;
            // Entry 1 of the main stream's list, entry 2 of the sub stream's.
            record[offsetof(ZVNetStreamParam, resolutionIndex)] = uint8_t(stream == 0 ? 1 : 2);
            record[offsetof(ZVNetStreamParam, encodeType)] = 0;
        });
    }
    const QList<DeviceInfo*> devices = ListFleet(*page.page, fleet, failing);
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.Choose(stream);

    // The first device's settings, read on the page...
    page.TickOnly({ 0 });
    page.Click("m_pBtnQuery");
    QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(0), StatusTextOf(StatusQueryOk), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    const QStringList shown
        = { QStringLiteral("1280*720"), QStringLiteral("12"), QStringLiteral("H264"), QStringLiteral("3000") };
    QCOMPARE(page.StreamCells(0), shown);

    // ...set on every device...
    page.TickOnly({ 0, 1, 2 });
    page.Click("m_pBtnSet");
    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const bool set = i != failing;
        if (http) {
            const fakedevice::HttpStreamSettings now = fleet.web[i]->State().settings.streams[streamName];
            const fakedevice::HttpStreamSettings other = fakedevice::HttpSettings().streams[streamName];
            const fakedevice::HttpStreamSettings& want = set ? chosen : other;
            QCOMPARE(now.resolution, want.resolution);
            QCOMPARE(now.fps, want.fps);
            QCOMPARE(now.encodeType, want.encodeType);
            QCOMPARE(now.bitrateMode, want.bitrateMode);
            QCOMPARE(now.customBitrate, want.customBitrate);
        } else {
            const fakedevice::DeviceState now = fleet.sdk[i]->State();
            ZVNetStreamParam record;
            std::memcpy(&record, now.params.at(streamId).data(), sizeof(record));
            QCOMPARE(int(record.bitrateMode), set ? 1 : 0);
            QCOMPARE(int(record.customBitrate), set ? 3000 : (stream == 0 ? 4096 : 512));
            QCOMPARE(int(record.frameRate), set ? 12 : (stream == 0 ? 25 : 15));
            QCOMPARE(int(record.resolutionIndex), set ? (stream == 0 ? 1 : 2) : 0);
            QCOMPARE(int(record.encodeType), set || stream == 1 ? 0 : 1);
        }
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }

    // ...and shown back by a query of all.
    page.Click("m_pBtnQuery");
    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusQueryOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    QCOMPARE(page.StreamCells(0), shown);
    QCOMPARE(page.StreamCells(1), shown);
}

// Without a click on any row, each queried row is told of its values and its
// status when its query ends, and the view paints them.
void TestStreamConfig::rowsShowQueriedValuesUnclicked()
{
    PoolBench pool(false);
    StreamPage page(0);
    FakeFleet fleet(false, { Loopback(80), Loopback(81) });
    QVERIFY(fleet.Listening());
    ListDevices(*page.page, fleet.Listed());
    const CheckBoxTableModel* model = page.page->Model();
    const QVector<int> columns = { model->columnOfHeader(175), model->columnOfHeader(176), model->columnOfHeader(177),
        model->columnOfHeader(181), model->columnOfHeader(44) };
    ViewWatch watch(page.table.view, columns);
    QVERIFY(QueryEveryRow(page, fleet));

    // The fake devices' own main stream, at its predefined bitrate.
    const QStringList shown = { QStringLiteral("1920*1080"), QStringLiteral("25"), QStringLiteral("H265"),
        QStringLiteral("160"), StatusTextOf(StatusQueryOk) };
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < columns.size(); ++i)
            QVERIFY(watch.Shows(row, columns[i], shown[i]));
    }
}

void TestStreamConfig::clocksOnDevices_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QByteArray>("zone");
    for (const char* zone : { "UTC", "America/New_York", "Asia/Kolkata" }) {
        QTest::addRow("SDK (code 0), %s", zone) << 0 << QByteArray(zone);
        QTest::addRow("HTTP API (code 43), %s", zone) << 43 << QByteArray(zone);
    }
}

void TestStreamConfig::clocksOnDevices()
{
    QFETCH(int, company);
    QFETCH(QByteArray, zone);
    const bool http = IsHttpApiCompany(company);
    const ZoneOfProcess inZone(zone);
    const QTimeZone timeZone(zone);
    QVERIFY(timeZone.isValid());
    QCOMPARE(QDateTime::currentDateTime().offsetFromUtc(), timeZone.offsetFromUtc(QDateTime::currentDateTimeUtc()));
    PoolBench pool(false);
    StreamPage page(company);
    const std::vector<std::string> addresses = { Loopback(100), Loopback(101), Loopback(102) };
    const size_t failing = 1;
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    const QList<DeviceInfo*> devices = ListFleet(*page.page, fleet, failing);
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));
    page.TickOnly({ 0, 1, 2 });
    page.Click("m_pBtnSetTime");
    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);

    const qint64 allowedMs = 2000;
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (i == failing) {
            if (http)
                QCOMPARE(fleet.web[i]->State().settings.clock.setAtMs, int64_t(0));
            else
                QCOMPARE(fleet.sdk[i]->CountReceived(uint16_t(fakedevice::wire::SetParam)), 0);
            continue;
        }
        // Seconds are cut: the device may be up to a second behind, plus the way there.
        const qint64 error = http ? HttpClockError(*fleet.web[i]) : SdkClockError(*fleet.sdk[i], timeZone);
        qInfo("device %d: its clock minus the computer's when the set arrived: %lld ms", int(i), error);
        QVERIFY2(error <= 0 && error > -allowedMs, qPrintable(QStringLiteral("%1 ms").arg(error)));
        if (http) {
            const int offset = timeZone.offsetFromUtc(QDateTime::currentDateTimeUtc()) / 60;
            const QString expected = QStringLiteral("GMT%1%2:%3")
                                         .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                         .arg(qAbs(offset) / 60)
                                         .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
            QCOMPARE(QString::fromStdString(fleet.web[i]->State().settings.clock.timeZone), expected);
        }
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

QTEST_MAIN(TestStreamConfig)
#include "tst_streamconfig.moc"
