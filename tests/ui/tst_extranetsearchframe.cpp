// The IP-range search page against fake devices on loopback, through the SDK
// and through the wrapper's JSON search: what the table, the progress bar and
// the tool bar show, the per-address time-out and the bound on addresses asked
// at once, and the JSON record mapping.

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DevicePage.h"
#include "DeviceWire.h"
#include "ExtranetsearchFrame.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "SearchRuns.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <json/json.h>

#include <memory>
#include <random>
#include <sstream>

#include <unistd.h>

using fakedevice::FakeDevice;
using namespace TestSupport;

namespace
{
const std::string kPrefix = fakedevice::UniqueLoopbackPrefix();
constexpr int kLiveDevices = 50;

std::string Loopback(int n)
{
    return kPrefix + std::to_string(n);
}

QString Address(int n)
{
    return QString::fromStdString(Loopback(n));
}

struct Fixture
{
    Fixture()
    {
        page.m_pToolBarFrame = &toolBar;
        page.resize(1200, 600);
        page.show();
        view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pDeviceTableView"));
        model = CheckBoxTableModel::FromViewModel(view->model());
        button = page.findChild<QPushButton*>(QStringLiteral("m_pBtnQuery"));
        progress = page.findChild<QProgressBar*>(QStringLiteral("m_pProgress"));
    }

    QStringList Ips() const
    {
        QStringList ips;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            ips << view->model()->index(row, 1).data().toString();
        return ips;
    }
    bool ToolBarEnabled() const { return toolBar.Button(ToolBarFrame::ButtonSearch)->isEnabled(); }

    void Search(const QString& start, const QString& stop)
    {
        page.findChild<QLineEdit*>(QStringLiteral("m_pEditStaIP"))->setText(start);
        page.findChild<QLineEdit*>(QStringLiteral("m_pEditEndIP"))->setText(stop);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    bool WaitEnd(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([this] { return button->isEnabled(); }, timeoutMs);
    }

    ToolBarFrame toolBar;
    ExtranetsearchFrame page;
    CheckBoxTableView* view = nullptr;
    CheckBoxTableModel* model = nullptr;
    QPushButton* button = nullptr;
    QProgressBar* progress = nullptr;
};
} // namespace

class TestExtranetsearchFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void rangeFindsExactlyTheLiveDevices();
    void oneAddress();
    void notARangeEndsAtOnce_data();
    void notARangeEndsAtOnce();
    void slowAddress_data();
    void slowAddress();
    void silentRangeStaysWithinTheBound();
    void newSearchFreesTheLastOneFirst();
    void otherPagesBatchKeepsTheToolBarLocked();
    void lastDeviceDoneUnlocksTheToolBar();
    void jsonSearchOfHttpDevices();
    void pagesListTheRangeForHttpApiCustomers_data();
    void pagesListTheRangeForHttpApiCustomers();
    void jsonRequestNamesTheRange();
    void jsonRecordFillsItsFields_data();
    void jsonRecordFillsItsFields();
    void jsonReplyThatDoesNotParseEndsTheBlock();
    void addressClickOpensTheWebPage_data();
    void addressClickOpensTheWebPage();

private:
    std::vector<std::unique_ptr<FakeDevice>> m_devices;
    QStringList m_liveAddresses;
};

void TestExtranetsearchFrame::initTestCase()
{
    LoadNumberedTexts();
    QCOMPARE(ZVNetInit(), 1);
    // Fifty devices spread over the /24, listening in a shuffled order.
    std::vector<int> hosts;
    for (int n = 1; n <= 254; ++n)
        hosts.push_back(n);
    std::mt19937 random(7);
    std::shuffle(hosts.begin(), hosts.end(), random);
    hosts.resize(kLiveDevices);
    for (int n : hosts) {
        m_devices.push_back(std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(Loopback(n), n)));
        QVERIFY(m_devices.back()->WaitListening());
    }
    std::sort(hosts.begin(), hosts.end());
    for (int n : hosts)
        m_liveAddresses << Address(n);
}

void TestExtranetsearchFrame::init()
{
    // The range search's bounds as shipped.
    const ZVAppSetting shipped;
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = 0;
    settings->m_rangeSearchConcurrency = shipped.m_rangeSearchConcurrency;
    settings->m_rangeSearchTimeoutMs = shipped.m_rangeSearchTimeoutMs;
}

void TestExtranetsearchFrame::cleanup()
{
    DeviceInfoMng::Instance()->ReplaceExtranetDevices({});
}

void TestExtranetsearchFrame::cleanupTestCase()
{
    m_devices.clear();
    ZVNetRelease();
}

void TestExtranetsearchFrame::rangeFindsExactlyTheLiveDevices()
{
    for (const auto& device : m_devices)
        device->ClearReceived();
    Fixture f;
    QVector<int> shown;
    connect(f.progress, &QProgressBar::valueChanged, this, [&](int value) { shown << value; });
    f.Search(Address(0), Address(255));
    QVERIFY(!f.button->isEnabled());
    QVERIFY(!f.ToolBarEnabled());
    QVERIFY(f.progress->isVisible());
    QCOMPARE(f.progress->maximum(), 256);
    QVERIFY(f.page.IsSearching());
    // A second start while one runs changes nothing.
    f.page.SearchExtranetDevice();
    QVERIFY(f.page.IsSearching());

    QVERIFY(f.WaitEnd());
    QVERIFY(f.ToolBarEnabled());
    QVERIFY(!f.progress->isVisible());
    QCOMPARE(f.Ips(), m_liveAddresses);
    QCOMPARE(DeviceInfoMng::Instance()->m_extranetDevices, f.model->devices());
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    QCOMPARE(shown.last(), 256);
    // Each address is asked once, and once more only while it has not answered.
    for (const auto& device : m_devices) {
        const int asked = device->CountReceived(fakedevice::wire::Search);
        QVERIFY2(asked >= 1 && asked <= 2, qPrintable(QString::number(asked)));
    }
}

void TestExtranetsearchFrame::oneAddress()
{
    Fixture f;
    f.Search(m_liveAddresses.at(3), m_liveAddresses.at(3));
    QVERIFY(f.WaitEnd());
    QCOMPARE(f.Ips(), QStringList { m_liveAddresses.at(3) });
    QCOMPARE(f.progress->maximum(), 1);
}

void TestExtranetsearchFrame::notARangeEndsAtOnce_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("backwards") << Address(9) << Address(1);
    QTest::newRow("wider than a /16") << "10.0.0.0"
                                      << "10.1.0.0";
    QTest::newRow("no address") << "camera" << Address(9);
}

void TestExtranetsearchFrame::notARangeEndsAtOnce()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    Fixture f;
    f.Search(start, stop);
    QVERIFY(f.WaitEnd(1000));
    QVERIFY(f.ToolBarEnabled());
    QCOMPARE(f.model->rowCount(), 0);
}

void TestExtranetsearchFrame::slowAddress_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("listed");
    QTest::newRow("answers at half the time-out") << 0.5 << true;
    QTest::newRow("answers at 2 x the time-out") << 2.0 << false;
}

void TestExtranetsearchFrame::slowAddress()
{
    // With the settings' defaults, as shipped.
    QFETCH(double, factor);
    QFETCH(bool, listed);
    const int timeoutMs = ZVAppSetting::Instance()->m_rangeSearchTimeoutMs;
    const QString slow = m_liveAddresses.at(0);
    const QString quick = m_liveAddresses.at(1);
    FakeDevice* slowDevice = nullptr;
    for (const auto& device : m_devices) {
        if (QString::fromStdString(device->State().ip) == slow)
            slowDevice = device.get();
    }
    QVERIFY(slowDevice);
    slowDevice->ClearReceived();
    fakedevice::Faults faults;
    faults.replyDelayMs = int(factor * timeoutMs);
    slowDevice->SetFaults(faults);

    Fixture f;
    QElapsedTimer timer;
    timer.start();
    // Silent addresses before the slow one: the search runs its full time-out.
    f.Search(slow.left(slow.lastIndexOf('.') + 1) + "0", quick);
    QVERIFY(f.WaitEnd(30000));
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(f.Ips().contains(slow), listed);
    QVERIFY(f.Ips().contains(quick));
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // Every address was asked at the start: the end follows one time-out later.
    QVERIFY2(elapsed < timeoutMs + 250, qPrintable(QString::number(elapsed)));
#endif
    QVERIFY2(elapsed >= timeoutMs, qPrintable(QString::number(elapsed)));
    if (!listed) {
        // The late answer comes after the search has ended: nothing is added.
        QVERIFY(slowDevice->WaitDatagramsSent(1, 30000));
        QCoreApplication::sendPostedEvents();
        QVERIFY(!f.Ips().contains(slow));
    }
    QVERIFY(slowDevice->CountReceived(fakedevice::wire::Search) >= 1);
    QCOMPARE(DeviceInfoMng::Instance()->m_extranetDevices, f.model->devices());
    slowDevice->SetFaults(fakedevice::Faults());
}

void TestExtranetsearchFrame::silentRangeStaysWithinTheBound()
{
    // A /20 where nothing answers, with the settings' defaults: never more
    // addresses are being asked at once than the bound, across all blocks.
    const int concurrency = ZVAppSetting::Instance()->m_rangeSearchConcurrency;
    const int second = 16 * int(getpid() % 16);
    const QString start = QStringLiteral("127.252.%1.0").arg(second);
    const QString stop = QStringLiteral("127.252.%1.255").arg(second + 15);
    Fixture f;
    ZVSdkGetRangeLoad(nullptr, nullptr, 1);
    f.Search(start, stop);
    QCOMPARE(f.progress->maximum(), 4096);
    QVERIFY(f.WaitEnd(120000));
    int inFlight = -1;
    int peak = -1;
    ZVSdkGetRangeLoad(&inFlight, &peak, 0);
    QVERIFY2(peak <= concurrency, qPrintable(QString::number(peak)));
    // The whole bound was used: the blocks ran side by side.
    QCOMPARE(peak, concurrency);
    QCOMPARE(inFlight, 0);
    QCOMPARE(f.progress->value(), 4096);
    QCOMPARE(f.model->rowCount(), 0);
}

void TestExtranetsearchFrame::newSearchFreesTheLastOneFirst()
{
    Fixture f;
    f.Search(m_liveAddresses.at(0), m_liveAddresses.at(2));
    QVERIFY(f.WaitEnd());
    QList<QPointer<DeviceInfo>> first;
    for (DeviceInfo* device : f.model->devices())
        first << device;
    QCOMPARE(first.size(), 3);
    f.Search(m_liveAddresses.at(0), m_liveAddresses.at(0));
    QCOMPARE(f.model->rowCount(), 0);
    for (const QPointer<DeviceInfo>& device : first)
        QVERIFY(device.isNull());
    QVERIFY(f.WaitEnd());
    QCOMPARE(f.Ips(), QStringList { m_liveAddresses.at(0) });
}

void TestExtranetsearchFrame::otherPagesBatchKeepsTheToolBarLocked()
{
    // Another page runs a batch that locked the tool bar.
    class BatchPage : public DevicePage
    {
    public:
        BatchPage()
            : DevicePage(nullptr, QEvent::Type(1004))
        {
        }
        using DevicePage::BeginBatch;
    };
    Fixture f;
    BatchPage batch;
    batch.m_pToolBarFrame = &f.toolBar;
    DeviceInfo working;
    batch.BeginBatch({ &working }, true);
    QVERIFY(!f.ToolBarEnabled());

    // The range search ends, and so does the work on its last device: the bar stays locked.
    f.Search(m_liveAddresses.at(4), m_liveAddresses.at(4));
    QVERIFY(f.WaitEnd(30000));
    QCOMPARE(f.model->rowCount(), 1);
    QVERIFY(!f.ToolBarEnabled());
    DeviceInfo* listed = f.model->devices().first();
    f.page.OnDeviceTaskFinished(listed, false);
    f.page.OnDeviceTaskFinished(listed, true);
    QCoreApplication::sendPostedEvents();
    QVERIFY(!f.ToolBarEnabled());
    QVERIFY(f.button->isEnabled());

    // The batch's own end unlocks it.
    batch.OnDeviceTaskFinished(&working, true);
    QCoreApplication::sendPostedEvents();
    QVERIFY(f.ToolBarEnabled());
}

void TestExtranetsearchFrame::lastDeviceDoneUnlocksTheToolBar()
{
    Fixture f;
    f.Search(m_liveAddresses.at(4), m_liveAddresses.at(6));
    QVERIFY(f.WaitEnd(30000));
    QCOMPARE(f.model->rowCount(), 3);
    const QList<DeviceInfo*> listed = f.model->devices();
    f.toolBar.SetControlsEnabled(false);
    // Only finished work takes a device off the page's list; the last one ends the page's work.
    f.page.OnDeviceTaskFinished(listed.at(0), false);
    f.page.OnDeviceTaskFinished(listed.at(0), true);
    f.page.OnDeviceTaskFinished(listed.at(1), true);
    QCoreApplication::sendPostedEvents();
    QVERIFY(!f.ToolBarEnabled());
    f.page.OnDeviceTaskFinished(listed.at(2), true);
    QCoreApplication::sendPostedEvents();
    QVERIFY(f.ToolBarEnabled());
    // The rows stay: the devices belong to the range list until the next search.
    QCOMPARE(f.model->rowCount(), 3);
}

void TestExtranetsearchFrame::jsonSearchOfHttpDevices()
{
    ZVAppSetting::Instance()->m_company = 43;
    const std::string prefix = "127.251." + std::to_string(getpid() % 256) + ".";
    const std::vector<std::string> addresses = { prefix + "20", prefix + "3", prefix + "100" };
    auto devices
        = fakedevice::MakeHttpDevices(addresses, 0, [](size_t index, fakedevice::HttpDeviceState& state, auto&) {
              state.rangeInfo["device name"] = "http camera " + std::to_string(index);
              state.rangeInfo["network mode"] = index == 0 ? "wifi" : "lte";
          });
    QCOMPARE(devices.size(), addresses.size());
    QCOMPARE(ZVSdkSetRangeSearch(devices.front()->Port(), 64, 1000), 1);

    Fixture f;
    f.Search(QString::fromStdString(prefix + "1"), QString::fromStdString(prefix + "120"));
    QVERIFY(f.WaitEnd());
    ZVSdkSetRangeSearch(0, 0, 0);
    QCOMPARE(f.Ips(),
        (QStringList { QString::fromStdString(prefix + "3"), QString::fromStdString(prefix + "20"),
            QString::fromStdString(prefix + "100") }));
    const QList<DeviceInfo*> found = f.model->devices();
    QCOMPARE(found.at(1)->DeviceName(), QStringLiteral("http camera 0"));
    QCOMPARE(found.at(1)->m_searchRsp.networkMode, 4u);
    QCOMPARE(found.at(0)->m_searchRsp.networkMode, 5u);
    QCOMPARE(int(found.at(0)->m_searchRsp.webPort), int(devices.front()->Port()));
}

void TestExtranetsearchFrame::pagesListTheRangeForHttpApiCustomers_data()
{
    QTest::addColumn<int>("company");
    QTest::newRow("code 0: the pages keep the LAN list") << 0;
    QTest::newRow("code 43: the pages list the range") << 43;
}

// Without a LAN search the range is the list the operation pages show: they
// let go of it before a new search frees it, and list what it found.
void TestExtranetsearchFrame::pagesListTheRangeForHttpApiCustomers()
{
    QFETCH(int, company);
    const bool listed = company == 43;
    ZVAppSetting::Instance()->m_company = company;
    class RangePage : public DevicePage
    {
    public:
        RangePage()
            : DevicePage(nullptr, QEvent::Type(1013))
        {
        }
        void RefreshDeviceList() override { lists.append(DeviceInfoMng::Instance()->m_extranetDevices); }
        // The devices still held when the page is told to let go.
        void ClearDeviceList() override { heldAtClear.append(DeviceInfoMng::Instance()->m_extranetDevices.size()); }
        QList<QList<DeviceInfo*>> lists;
        QList<int> heldAtClear;
    } pageOfList;

    const std::string prefix = "127.251." + std::to_string(getpid() % 256) + ".";
    std::vector<std::unique_ptr<fakedevice::FakeHttpApi>> web;
    QString start = m_liveAddresses.at(0);
    QString stop = m_liveAddresses.at(2);
    if (listed) {
        web = fakedevice::MakeHttpDevices({ prefix + "30", prefix + "31", prefix + "32" }, 0);
        QCOMPARE(web.size(), size_t(3));
        QCOMPARE(ZVSdkSetRangeSearch(web.front()->Port(), 64, 1000), 1);
        start = QString::fromStdString(prefix + "30");
        stop = QString::fromStdString(prefix + "32");
    }
    Fixture f;
    f.page.SetPages({ &pageOfList, nullptr });
    for (int search = 0; search < 2; ++search) {
        f.Search(start, stop);
        QVERIFY(f.WaitEnd());
        QCOMPARE(f.model->rowCount(), 3);
    }
    ZVSdkSetRangeSearch(0, 0, 0);
    if (!listed) {
        QVERIFY(pageOfList.heldAtClear.isEmpty());
        QVERIFY(pageOfList.lists.isEmpty());
        return;
    }
    // The second search told the page before it freed the three of the first.
    QCOMPARE(pageOfList.heldAtClear, (QList<int> { 0, 3 }));
    QCOMPARE(pageOfList.lists.size(), 2);
    QCOMPARE(pageOfList.lists.last(), f.model->devices());
}

void TestExtranetsearchFrame::jsonRequestNamesTheRange()
{
    const std::string text = ExtranetsearchFrame::JsonSearchRequest(QStringLiteral("10.0.0.1"), "10.0.0.9");
    Json::Value request;
    std::istringstream stream(text);
    QVERIFY(Json::parseFromStream(Json::CharReaderBuilder(), stream, &request, nullptr));
    QCOMPARE(request.getMemberNames(), (std::vector<std::string> { "oem type", "start ip", "stop ip" }));
    QCOMPARE(request["oem type"].asString(), std::string("K38"));
    QCOMPARE(request["start ip"].asString(), std::string("10.0.0.1"));
    QCOMPARE(request["stop ip"].asString(), std::string("10.0.0.9"));
    QVERIFY(text.find('\t') != std::string::npos); // the default, styled writer
}

void TestExtranetsearchFrame::jsonRecordFillsItsFields_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    QTest::newRow("static") << QByteArray(R"({"network mode":"static"})") << "networkMode"
                            << "2";
    QTest::newRow("dhcp") << QByteArray(R"({"network mode":"dhcp"})") << "networkMode"
                          << "0";
    QTest::newRow("pppoe") << QByteArray(R"({"network mode":"pppoe"})") << "networkMode"
                           << "1";
    QTest::newRow("3g") << QByteArray(R"({"network mode":"3g"})") << "networkMode"
                        << "3";
    QTest::newRow("wifi") << QByteArray(R"({"network mode":"wifi"})") << "networkMode"
                          << "4";
    QTest::newRow("lte") << QByteArray(R"({"network mode":"lte"})") << "networkMode"
                         << "5";
    QTest::newRow("mode missing") << QByteArray("{}") << "networkMode"
                                  << "5";
    QTest::newRow("ip") << QByteArray(R"({"ip":"10.1.2.3"})") << "ip"
                        << "10.1.2.3";
    QTest::newRow("ip cut to its field") << QByteArray(R"({"ip":"1234567890123456789"})") << "ip"
                                         << "123456789012345";
    QTest::newRow("name cut to its field")
        << QByteArray(R"({"device name":")" + QByteArray(60, 'n') + "\"}") << "deviceName" << QString(35, 'n');
    QTest::newRow("name cut before a split letter")
        << QByteArray(R"({"device name":")" + QByteArray(34, 'n') + "\xc3\xa9\"}") << "deviceName" << QString(34, 'n');
    QTest::newRow("web port") << QByteArray(R"({"web port":8080})") << "webPort"
                              << "8080";
    QTest::newRow("web port as text") << QByteArray(R"({"web port":"8080"})") << "webPort"
                                      << "0";
    QTest::newRow("rtsp port in its width") << QByteArray(R"({"rtsp port":65537})") << "rtspPort"
                                            << "1";
    QTest::newRow("channels") << QByteArray(R"({"channel number":16})") << "channelNumber"
                              << "16";
    QTest::newRow("first login") << QByteArray(R"({"is first login":1})") << "isFirstLogin"
                                 << "1";
    QTest::newRow("first login as bool") << QByteArray(R"({"is first login":true})") << "isFirstLogin"
                                         << "0";
    QTest::newRow("type code") << QByteArray(R"({"device type ull":18446744073709551615})") << "deviceTypeCode"
                               << "18446744073709551615";
    QTest::newRow("mac") << QByteArray(R"({"mac addr":"AA:BB:CC:DD:EE:FF"})") << "mac"
                         << "AA:BB:CC:DD:EE:FF";
    QTest::newRow("p2p id") << QByteArray(R"({"p2p id":"ZV123"})") << "p2pId"
                            << "ZV123";
    QTest::newRow("not an object") << QByteArray("[1,2]") << "webPort"
                                   << "0";
}

void TestExtranetsearchFrame::jsonRecordFillsItsFields()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, field);
    QFETCH(QString, value);

    Json::Value device;
    std::istringstream stream(json.toStdString());
    QVERIFY(Json::parseFromStream(Json::CharReaderBuilder(), stream, &device, nullptr));
    SearchDevRsp record;
    std::memset(&record, 0xA5, sizeof(record));
    ExtranetsearchFrame::RecordFromJson(device, &record);
    const QMap<QString, QString> fields = {
        { "networkMode", QString::number(record.networkMode) },
        { "ip", FieldText(record.ip) },
        { "deviceName", FieldText(record.deviceName) },
        { "webPort", QString::number(record.webPort) },
        { "rtspPort", QString::number(record.rtspPort) },
        { "channelNumber", QString::number(record.channelNumber) },
        { "isFirstLogin", QString::number(record.isFirstLogin) },
        { "deviceTypeCode", QString::number(quint64(record.deviceTypeCode)) },
        { "mac", FieldText(record.mac) },
        { "p2pId", FieldText(record.p2pId) },
    };
    QCOMPARE(fields.value(field), value);
    // Every byte no member fills is zero.
    QCOMPARE(record.reserved368[0], uint8_t(0));
    QCOMPARE(record.year, uint16_t(0));
    if (field != QLatin1String("ip"))
        QCOMPARE(record.ip[0], '\0');
}

void TestExtranetsearchFrame::jsonReplyThatDoesNotParseEndsTheBlock()
{
    QStringList seen;
    int ends = 0;
    void* run = SearchRuns::Open([&](const SearchDevRsp* record) {
        if (record)
            seen << FieldText(record->ip);
        else
            ++ends;
    });
    ExtranetsearchFrame::JsonSearchCallback(R"({"ip":"10.0.0.1"})", run);
    ExtranetsearchFrame::JsonSearchCallback(R"({"ip":"10.0.0.2")", run);
    // The search counts as ended; what came afterwards is dropped.
    ExtranetsearchFrame::JsonSearchCallback(R"({"ip":"10.0.0.3"})", run);
    ExtranetsearchFrame::JsonSearchCallback(nullptr, run);
    ExtranetsearchFrame::JsonSearchCallback(R"({"ip":"10.0.0.4"})", nullptr);
    QCOMPARE(seen, QStringList { "10.0.0.1" });
    QCOMPARE(ends, 1);
    QVERIFY(!SearchRuns::IsOpen(run));
    QCOMPARE(ExtranetsearchFrame::SearchCallback(nullptr, nullptr), 0);
}

void TestExtranetsearchFrame::addressClickOpensTheWebPage_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("http on the web port") << false << QByteArray("http://%1:8080");
    QTest::newRow("https on 443") << true << QByteArray("https://%1:443");
}

void TestExtranetsearchFrame::addressClickOpensTheWebPage()
{
    QFETCH(bool, https);
    QFETCH(QByteArray, address);
    Fixture f;
    f.Search(m_liveAddresses.at(5), m_liveAddresses.at(5));
    QVERIFY(f.WaitEnd());
    QCOMPARE(f.model->rowCount(), 1);
    f.model->devices().first()->m_httpsCheckState = https ? Qt::Checked : Qt::Unchecked;
    WebPageRecorder recorder;
    const QRect cell = f.view->visualRect(f.view->model()->index(0, 3));
    QTest::mouseClick(f.view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QVERIFY(recorder.Pages().isEmpty());
    QTest::mouseClick(
        f.view->viewport(), Qt::LeftButton, Qt::NoModifier, f.view->visualRect(f.view->model()->index(0, 1)).center());
    QCOMPARE(recorder.Pages().size(), 1);
    QCOMPARE(recorder.Pages().first().address, QString::fromLatin1(address).arg(m_liveAddresses.at(5)).toLatin1());
    QCOMPARE(recorder.Pages().first().verb, QString());
}

QTEST_MAIN(TestExtranetsearchFrame)
#include "tst_extranetsearchframe.moc"
