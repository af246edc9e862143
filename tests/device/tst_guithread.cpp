// The GUI thread keeps running while a device stalls: the operations that
// wait on a device, and the logout that ends them, run on pool threads, and
// the device still ends with its status and its reports.

#include "DeviceFixtures.h"
#include "DeviceTasks.h"
#include "DispatchFixtures.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "OperationFixtures.h"
#include "ZVAppSetting.h"

#include <QtTest>

#include <memory>

using fakedevice::FakeHttpApi;
using fakedevice::HttpFaults;
using namespace TestSupport;

namespace
{
const char* const kNetBasePath = "/API/NetworkConfig/NetBase/Set";
const char* const kLogoutPath = "/API/Web/Logout";

// Counts the ticks of a GUI-thread timer at which stalled() holds.
class StallTicker
{
public:
    explicit StallTicker(std::function<bool()> stalled)
        : m_stalled(std::move(stalled))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_ticks += m_stalled() ? 1 : 0; });
        m_timer.start();
    }
    int Ticks() const { return m_ticks; }

private:
    std::function<bool()> m_stalled;
    QTimer m_timer;
    int m_ticks = 0;
};
} // namespace

class TestGuiThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void httpWorkRunsBesideTheGuiThread_data();
    void httpWorkRunsBesideTheGuiThread();
    void onvifChangeRunsBesideTheGuiThread();

private:
    std::unique_ptr<OperationEnvironment> m_environment;
    ReportLog m_log;
    std::unique_ptr<RecordingSearchListener> m_search;
};

void TestGuiThread::initTestCase()
{
    m_environment = std::make_unique<OperationEnvironment>();
    m_search = std::make_unique<RecordingSearchListener>(m_log, QStringLiteral("search"));
}

void TestGuiThread::init()
{
    ZVAppSetting::Instance()->m_company = 0;
    m_log.Clear();
}

void TestGuiThread::cleanupTestCase()
{
    m_environment.reset();
}

void TestGuiThread::httpWorkRunsBesideTheGuiThread_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("stalledPath"); // the request the device never answers
    QTest::addColumn<int>("status");

    // The change's request and then the logout go unanswered.
    QTest::newRow("network change") << "network" << kNetBasePath << int(StatusFailed);
    // Only the logout goes unanswered.
    QTest::newRow("logout") << "logout" << kLogoutPath << int(StatusConnected);
}

void TestGuiThread::httpWorkRunsBesideTheGuiThread()
{
    QFETCH(QString, operation);
    QFETCH(QString, stalledPath);
    QFETCH(int, status);
    ZVAppSetting::Instance()->m_company = 43;
    FakeHttpApi::Options options;
    options.ip = OperationEnvironment::Address(operation == "network" ? 10 : 11);
    FakeHttpApi api(fakedevice::HttpDeviceState(), options);
    QVERIFY(api.Listening());
    HttpFaults faults;
    if (operation == "network") {
        faults.silentAfterLogin = true;
    } else {
        faults.path = kLogoutPath;
        faults.neverAnswer = true;
    }
    api.SetFaults(faults);
    std::unique_ptr<DeviceInfo> device(ListedHttpDevice(api));
    DeviceInfo* raw = device.get();
    raw->m_pSearchFrame = m_search.get();
    raw->SetNetworkParams(QString(), 0, 0, QString(), QString(), 2, QString(), QString());

    const std::string path = stalledPath.toStdString();
    StallTicker ticker([&] { return raw->IsBusy() && api.CountRequests(path) > 0; });
    QVERIFY(QueueDeviceTask(operation == "network" ? &ModifyNetworkTask : &MatchVersionTask, raw));
    // While the device keeps the request waiting, the GUI thread's timer runs.
    QTRY_VERIFY_WITH_TIMEOUT(ticker.Ticks() >= 5, 15000);
    QVERIFY(raw->IsBusy());
    QVERIFY(api.CountRequests(path) >= 1);

    QTRY_VERIFY_WITH_TIMEOUT(!raw->IsBusy(), 30000);
    QCOMPARE(int(raw->m_status), status);
    QVERIFY(!raw->m_bLogin);
    QVERIFY(!raw->m_sdkDevice);
    QVERIFY(api.CountRequests(kLogoutPath) >= 1);
    const QVector<TaskReport> reports = m_log.Reports();
    QVERIFY(!reports.isEmpty());
    for (const TaskReport& report : reports) {
        QVERIFY(report.onGuiThread);
        QVERIFY(report.finished);
        QCOMPARE(report.status, status);
    }
    // The change told the search page it failed (the status cell only); the
    // logout's report follows it.
    if (operation == "network") {
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports[0].wholeRow, 0);
        QVERIFY(!reports.last().loggedIn);
    }
}

void TestGuiThread::onvifChangeRunsBesideTheGuiThread()
{
    fakedevice::OnvifState state = fakedevice::OnvifStateFor(OperationEnvironment::Address(20), 1);
    state.webPort = 18520;
    fakedevice::FakeOnvif onvif(state);
    QVERIFY(onvif.WaitListening());
    fakedevice::OnvifFaults faults;
    faults.silentAfterConnect = true;
    onvif.SetFaults(faults);
    std::unique_ptr<DeviceInfo> device(ListedOnvifDevice(state));
    DeviceInfo* raw = device.get();
    raw->m_pSearchFrame = m_search.get();
    raw->SetNetworkAddress(QString::fromStdString(OperationEnvironment::Address(21)), 0, 0, QString(), QString(), 2);

    // Connected, and the change waits on the device.
    StallTicker ticker([&] { return raw->IsBusy() && raw->m_status == StatusConnected; });
    QVERIFY(QueueDeviceTask(&ModifyOnvifNetworkTask, raw));
    QTRY_VERIFY_WITH_TIMEOUT(ticker.Ticks() >= 5, 15000);
    QVERIFY(raw->IsBusy());

    QTRY_VERIFY_WITH_TIMEOUT(!raw->IsBusy(), 30000);
    QCOMPARE(int(raw->m_status), int(StatusFailed));
    QCOMPARE(raw->m_handle, 0);
    QCOMPARE(raw->Ip(), QString::fromStdString(state.ip));
    QCOMPARE(m_log.Pages(), QStringList({ "search" }));
    QVERIFY(m_log.Reports()[0].finished);
    QVERIFY(!m_log.Reports()[0].loggedIn);
}

QTEST_GUILESS_MAIN(TestGuiThread)
#include "tst_guithread.moc"
