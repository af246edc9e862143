// The road of a device operation through the SDK stand-in and the fake
// device: task entry, connection, result event, dispatch, logout and the
// reports to the requesting pages.

#include "DeviceFixtures.h"
#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "OperationFixtures.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QPointer>
#include <QtTest>

#include <memory>
#include <thread>

using fakedevice::FakeDevice;
using fakedevice::Faults;
using namespace TestSupport;

namespace
{
// Loopback addresses of this test process alone.
const std::string kDeviceAddress = fakedevice::UniqueLoopbackPrefix() + "1"; // answers
const std::string kSilentAddress = fakedevice::UniqueLoopbackPrefix() + "2"; // takes connections, never answers
const std::string kNobodyAddress = fakedevice::UniqueLoopbackPrefix() + "9"; // nothing listens
const char* const kDeviceIp = kDeviceAddress.c_str();
const char* const kSilentIp = kSilentAddress.c_str();
const char* const kNobodyIp = kNobodyAddress.c_str();
const char* const kUser = "admin";
const char* const kPassword = "admin123";

void ConnectOnly(void* device)
{
    static_cast<DeviceInfo*>(device)->ConnectDevice();
}

// A device that keeps the events it receives instead of acting on them.
class EventRecordingDevice : public DeviceInfo
{
public:
    struct Event
    {
        int type;
        int code;
        int value;
        int extra;
    };
    QVector<Event> events;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == static_cast<QEvent::Type>(UpgradeEvent)) {
            const auto* upgrade = static_cast<QUpgradeEvent*>(event);
            events.append({ UpgradeEvent, upgrade->code, upgrade->value, upgrade->extra });
        } else if (event->type() == static_cast<QEvent::Type>(ConnectEvent)) {
            events.append({ ConnectEvent, static_cast<QConnectEvent*>(event)->code, 0, -1 });
        }
    }
};

enum class Route
{
    Direct,
    Upgrade,
    Pool,
};

struct EntryCase
{
    const char* name;
    void (*entry)(void*); // null: m_operation = operation, then ConnectDevice
    int operation;
    Route route;
    bool urgent;
    bool finishedWhenQueued;
    int statusWhenQueued;
    // The page the operation reports to.
    DeviceTaskListener* DeviceInfo::*page = &DeviceInfo::m_pUpgradeFrame;
};

const EntryCase kEntries[] = {
    { "upgrade", &UpgradeTask, OpUpgrade, Route::Upgrade, false, false, 0 },
    { "factory info", &SetFactoryInfoTask, OpSetFactoryInfo, Route::Direct, false, true, 0 },
    { "default", &DefaultTask, OpDefault, Route::Pool, true, true, StatusConnected },
    { "ptz default", &PTZDefaultTask, OpPTZDefault, Route::Direct, false, true, 0 },
    { "export", &ExportParamTask, OpExportParam, Route::Direct, false, true, 0 },
    { "import", &ImportParamTask, OpImportParam, Route::Pool, true, true, StatusConnected,
        &DeviceInfo::m_pImportExportFrame },
    { "ntp", &EnableNTPTask, OpEnableNTP, Route::Direct, false, true, 0 },
    { "onvif network", &ModifyOnvifNetworkTask, OpModifyOnvifNetwork, Route::Direct, false, true, 0 },
    { "query network", &QueryNetworkTask, OpQueryNetwork, Route::Direct, false, true, 0 },
    { "query version", &QueryVersionTask, OpQueryVersion, Route::Direct, false, true, 0 },
    { "match version", &MatchVersionTask, OpMatchVersion, Route::Direct, false, true, 0 },
    { "change password", &ChangePasswordTask, OpChangePassword, Route::Pool, true, false, StatusConnected,
        &DeviceInfo::m_pChangePassword },
    { "query stream", &QueryStreamTask, OpQueryStream, Route::Pool, true, false, StatusConnected,
        &DeviceInfo::m_pStreamConfigFrame },
    { "set stream", &SetStreamTask, OpSetStream, Route::Pool, false, false, StatusConnected,
        &DeviceInfo::m_pStreamConfigFrame },
    { "set time", &SetTimeTask, OpSetTime, Route::Pool, false, false, StatusConnected,
        &DeviceInfo::m_pStreamConfigFrame },
    { "set osd", &SetOsdTask, OpSetOsd, Route::Pool, false, false, StatusConnected, &DeviceInfo::m_pOSDConfig },
    { "query osd", &QueryOsdTask, OpQueryOsd, Route::Pool, false, false, StatusConnected, &DeviceInfo::m_pOSDConfig },
    { "recovery", &RecoveryTask, OpRecovery, Route::Pool, false, false, StatusConnected,
        &DeviceInfo::m_pRecoveryDevice },
    { "reboot", &RebootTask, OpReboot, Route::Pool, false, false, StatusRebooting, &DeviceInfo::m_pRebootDevice },
    { "change device", &ChangeDeviceTask, OpChangeDevice, Route::Pool, false, false, StatusChanging,
        &DeviceInfo::m_pChangeDevice },
    { "code 12", nullptr, 12, Route::Direct, false, true, 0 },
    { "code 99", nullptr, 99, Route::Direct, false, true, 0 },
};
} // namespace

class TestDispatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void zvnetConnectionOutcome_data();
    void zvnetConnectionOutcome();
    void statusCodesWhileConnecting_data();
    void statusCodesWhileConnecting();
    void codesTheCallbacksDoNotPass();
    void startWithoutHandleEndsOnce_data();
    void startWithoutHandleEndsOnce();
    void connectedOperationsRunTheirRoute_data();
    void connectedOperationsRunTheirRoute();
    void lateEventsLeaveTheRunningWorkerAlone();
    void requestersAreCalledInPageOrder_data();
    void requestersAreCalledInPageOrder();
    void upgradeProgressKeepsTheConnection();
    void upgradeCallbackReadsItsRecord();
    void finalUpgradeCodes_data();
    void finalUpgradeCodes();
    void upgradeStartWithoutHandleEnds_data();
    void upgradeStartWithoutHandleEnds();
    void uploadResultDisposesTheThread_data();
    void uploadResultDisposesTheThread();
    void deletedDeviceGetsNothing();
    void networkChangeOfSdkDevicesNeedsNoConnection();
    void recoveryWithoutGroupsEnds();
    void entriesIgnoreNull();

private:
    std::unique_ptr<DeviceInfo> MakeDevice(const char* ip, bool onvif = false);
    // Runs entry for the device and waits for the first report.
    void RunEntry(void (*entry)(void*), DeviceInfo* device);

    OperationBench m_bench;
    ReportLog& m_log = m_bench.log;
    std::unique_ptr<FakeDevice> m_device;
    std::unique_ptr<FakeDevice> m_silent;
};

void TestDispatch::initTestCase()
{
    m_bench.Start(4, QStringLiteral("upgrade"));
    m_device = std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(kDeviceIp, 1));
    m_silent = std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(kSilentIp, 2));
    QVERIFY(m_device->WaitListening());
    QVERIFY(m_silent->WaitListening());
    Faults silent;
    silent.noAnswer = true;
    m_silent->SetFaults(silent);
}

void TestDispatch::init()
{
    m_bench.NextCase();
    m_device->SetFaults(Faults());
    m_device->SetPassword(kPassword); // a password change may have run
    m_device->ClearReceived();
}

void TestDispatch::cleanup()
{
    // Reports of one test never run into the next.
    QCoreApplication::sendPostedEvents();
}

void TestDispatch::cleanupTestCase()
{
    m_bench.Stop();
    m_device.reset();
    m_silent.reset();
}

std::unique_ptr<DeviceInfo> TestDispatch::MakeDevice(const char* ip, bool onvif)
{
    auto device = WaitingDevice(ip, fakedevice::kDefaultTcpPort, 80, kUser, kPassword, onvif);
    device->m_pUpgradeFrame = m_bench.page.get();
    return device;
}

void TestDispatch::RunEntry(void (*entry)(void*), DeviceInfo* device)
{
    // A thread of its own that has returned before the device may go.
    OnOtherThread([=] { entry(device); });
    QTRY_VERIFY_WITH_TIMEOUT(m_log.Count() > 0, 8000);
}

void TestDispatch::zvnetConnectionOutcome_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<uint>("loginCode");
    QTest::addColumn<bool>("dropLogin");
    QTest::addColumn<int>("status");

    QTest::newRow("connected") << kDeviceIp << kUser << kPassword << 0u << false << int(StatusConnected);
    QTest::newRow("wrong password") << kDeviceIp << kUser << "wrong" << 0u << false << int(StatusConnectFailed);
    QTest::newRow("no device") << kNobodyIp << kUser << kPassword << 0u << false << int(StatusConnectFailed);
    QTest::newRow("link drops at login") << kDeviceIp << kUser << kPassword << 0u << true << int(StatusConnectFailed);
    QTest::newRow("refused 104") << kDeviceIp << kUser << kPassword << 104u << false << int(StatusRefused);
    QTest::newRow("locked 112") << kDeviceIp << kUser << kPassword << 112u << false << int(StatusRefused);
    QTest::newRow("closed 3") << kDeviceIp << kUser << kPassword << 3u << false << int(StatusConnectFailed);
    QTest::newRow("other 107") << kDeviceIp << kUser << kPassword << 107u << false << int(StatusConnectFailed);
}

void TestDispatch::zvnetConnectionOutcome()
{
    QFETCH(QString, ip);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(uint, loginCode);
    QFETCH(bool, dropLogin);
    QFETCH(int, status);

    Faults faults;
    faults.loginCode = loginCode;
    if (dropLogin) {
        faults.faultType = fakedevice::wire::Login;
        faults.dropBeforeReply = true;
    }
    m_device->SetFaults(faults);
    auto device = MakeDevice(ip.toLatin1().constData());
    device->m_user = user;
    device->m_password = password;

    RunEntry(&MatchVersionTask, device.get());

    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, status);
    QVERIFY(report.finished);
    QVERIFY(report.onGuiThread);
    QVERIFY(!report.loggedIn);
    QCOMPARE(report.handle, 0);
    // One end per attempt, and the device side is closed as well.
    QTRY_COMPARE(m_device->LoggedInSessions(), 0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 1);
    QCOMPARE(int(device->m_status), status);
    QVERIFY(!device->m_bLogin);
    QCOMPARE(device->m_handle, 0);
    if (status == StatusConnected)
        QCOMPARE(m_device->CountReceived(fakedevice::wire::Login), 1);
}

void TestDispatch::statusCodesWhileConnecting_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<int>("status");

    for (int code : { 2, 3, 4, 105, 106, 107, 108, 109 })
        QTest::addRow("status %d", code) << code << false << int(StatusConnectFailed);
    QTest::newRow("status 103") << 103 << false << int(StatusParamError);
    QTest::newRow("status 104") << 104 << false << int(StatusRefused);
    QTest::newRow("status 112") << 112 << false << int(StatusRefused);
    QTest::newRow("alarm 113") << 113 << true << int(StatusAlarm);
    QTest::newRow("alarm 113 with upper bits") << (0x70000 | 113) << true << int(StatusAlarm);
}

// The SDK's callbacks, called on an SDK-like thread while a real connection
// waits for its login.
void TestDispatch::statusCodesWhileConnecting()
{
    QFETCH(int, code);
    QFETCH(bool, alarm);
    QFETCH(int, status);

    auto device = MakeDevice(kSilentIp);
    DeviceInfo* raw = device.get();
    OnOtherThread([=] { MatchVersionTask(raw); });
    QVERIFY(device->m_bLogin);

    OnOtherThread([=] {
        if (alarm)
            DeviceInfo::OnConnectAlarm(code, nullptr, 0, raw);
        else
            DeviceInfo::OnConnectStatus(code, raw);
    });
    QTRY_COMPARE(m_log.Count(), 1);
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, status);
    QVERIFY(report.finished);
    QVERIFY(report.onGuiThread);
    QVERIFY(!report.loggedIn);
    QCOMPARE(device->m_handle, 0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 1);
}

void TestDispatch::codesTheCallbacksDoNotPass()
{
    auto device = MakeDevice(kSilentIp);
    DeviceInfo* raw = device.get();
    OnOtherThread([=] { MatchVersionTask(raw); });
    QVERIFY(device->m_bLogin);

    OnOtherThread([=] {
        for (int code : { 110, 0, 1, 5, 102, 111, 125, 156 })
            DeviceInfo::OnConnectStatus(code, raw);
        for (int code : { 114, 0x10000, 0x10000 | 112 })
            DeviceInfo::OnConnectAlarm(code, nullptr, 0, raw);
    });
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 0);
    QCOMPARE(int(device->m_status), int(StatusWaiting));
    QVERIFY(device->m_bLogin);

    OnOtherThread([=] { DeviceInfo::OnConnectStatus(LoginFailed, raw); });
    QTRY_COMPARE(m_log.Count(), 1);
    QCOMPARE(int(device->m_status), int(StatusConnectFailed));
    QVERIFY(!device->m_bLogin);
}

void TestDispatch::startWithoutHandleEndsOnce_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("noHandle");
    // No handle and no report at all: the device ends after a grace time.
    QTest::newRow("sdk released") << "released" << int(StatusConnectFailed) << true;
    // No handle, and the SDK reports why: its reason stands.
    QTest::newRow("no user name") << "no user" << int(StatusParamError) << true;
    // A handle whose connection fails: the device stops it.
    QTest::newRow("onvif") << "onvif" << int(StatusConnectFailed) << false;
}

void TestDispatch::startWithoutHandleEndsOnce()
{
    QFETCH(QString, mode);
    QFETCH(int, status);
    QFETCH(bool, noHandle);
    const bool onvif = mode == "onvif";
    auto device = MakeDevice(onvif ? kNobodyIp : kDeviceIp, onvif);
    if (mode == "no user")
        device->m_user.clear();
    if (mode == "released")
        ZVNetRelease();

    const unsigned graceChecks = StartReportGraceChecks();
    RunEntry(&QueryVersionTask, device.get());
    if (mode == "released") {
        ZVNetInit();
        ZVSdkSetTimeouts(3000, 3000);
    }

    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.status, status);
    QVERIFY(report.finished);
    QVERIFY(!report.loggedIn);
    // Past the grace time, or once the stop has joined the SDK's work,
    // nothing ends the device a second time.
    if (noHandle)
        QTRY_VERIFY_WITH_TIMEOUT(StartReportGraceChecks() > graceChecks, 20000);
    else
        QTRY_VERIFY(!device->HasOffThreadWork());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 1);
    QCOMPARE(int(device->m_status), status);
    QCOMPARE(device->m_handle, 0);
    QCOMPARE(m_device->CountReceived(fakedevice::wire::Login), 0);
}

void TestDispatch::connectedOperationsRunTheirRoute_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(sizeof(kEntries) / sizeof(kEntries[0])); ++i)
        QTest::newRow(kEntries[i].name) << i;
}

// What is checked is what the dispatch does around the operations, not
// their result.
void TestDispatch::connectedOperationsRunTheirRoute()
{
    QFETCH(int, index);
    const EntryCase& entry = kEntries[index];
    TaskRecorder recorder(m_bench.environment->Pool());
    auto device = MakeDevice(kDeviceIp);
    device->m_pUpgradeFrame = nullptr;
    device.get()->*entry.page = m_bench.page.get();
    if (entry.entry) {
        RunEntry(entry.entry, device.get());
    } else {
        device->m_operation = entry.operation;
        RunEntry(&ConnectOnly, device.get());
    }
    QCOMPARE(device->m_operation, entry.operation);
    QCOMPARE(m_device->CountReceived(fakedevice::wire::Login), 1);

    const TaskReport first = m_log.Reports().value(0);
    QVERIFY(first.onGuiThread);
    switch (entry.route) {
    case Route::Direct:
        QVERIFY(recorder.Tasks().isEmpty());
        QVERIFY(first.finished);
        QVERIFY(!first.loggedIn);
        QCOMPARE(first.handle, 0);
        if (entry.operation == OpMatchVersion || !entry.entry)
            QCOMPARE(first.status, int(StatusConnected));
        break;
    case Route::Upgrade:
        // Connected while the upgrade runs; its final event ends it.
        QVERIFY(!first.finished);
        QVERIFY(first.loggedIn);
        QVERIFY(recorder.Tasks().isEmpty());
        QTRY_COMPARE(m_log.Count(), 2);
        QVERIFY(m_log.Reports().value(1).finished);
        QVERIFY(!m_log.Reports().value(1).loggedIn);
        break;
    case Route::Pool: {
        const QVector<QueuedTask> tasks = recorder.Tasks();
        QCOMPARE(tasks.size(), 1);
        QCOMPARE(tasks[0].urgent, entry.urgent);
        QCOMPARE(tasks[0].status, entry.statusWhenQueued);
        // The pages hear of the queued worker before the worker reports, and
        // only the worker logs out.
        QCOMPARE(first.finished, entry.finishedWhenQueued);
        QCOMPARE(first.status, entry.statusWhenQueued);
        QVERIFY(first.loggedIn);
        QTRY_COMPARE(m_log.Count(), 2);
        const TaskReport worker = m_log.Reports().value(1);
        QVERIFY(!worker.finished);
        QVERIFY(worker.onGuiThread);
        // The page hears of the result, then the device is logged out.
        QVERIFY(worker.loggedIn);
        QVERIFY(worker.handle != 0);
        QTRY_VERIFY(!device->m_bLogin && !device->HasOffThreadWork());
        break;
    }
    }
    QTRY_COMPARE(m_device->LoggedInSessions(), 0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), entry.route == Route::Direct ? 1 : 2);
    QVERIFY(!device->m_bLogin);
    QCOMPARE(device->m_handle, 0);
    // A device that rebooted is back before the next case.
    QVERIFY(m_device->WaitListening(5000));
}

void TestDispatch::lateEventsLeaveTheRunningWorkerAlone()
{
    TaskRecorder recorder(nullptr); // the worker waits until the test runs it
    auto device = MakeDevice(kDeviceIp);
    DeviceInfo* raw = device.get();
    raw->m_pUpgradeFrame = nullptr;
    raw->m_pRebootDevice = m_bench.page.get();
    RunEntry(&RebootTask, raw);
    QCOMPARE(m_log.Reports().value(0).status, int(StatusRebooting));
    QVERIFY(!m_log.Reports().value(0).finished);
    QCOMPARE(recorder.Tasks().size(), 1);
    QTRY_COMPARE(m_device->LoggedInSessions(), 1);

    // The device reboots: its link drops, the SDK may report and alarm.
    m_device->SendAlarm(0x10000 | ConnectAlarm, {});
    m_device->DropSessions();
    OnOtherThread([=] {
        DeviceInfo::OnConnectStatus(ConnectClosed, raw);
        DeviceInfo::OnConnectAlarm(ConnectAlarm, nullptr, 0, raw);
        DeviceInfo::OnConnectStatus(ConnectOk, raw);
    });
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 1);
    QCOMPARE(int(device->m_status), int(StatusRebooting));
    QVERIFY(device->m_bLogin);
    QVERIFY(device->m_handle != 0);

    OnOtherThread([&] { recorder.RunHeld(); });
    QTRY_COMPARE(m_log.Count(), 2);
    QVERIFY(m_log.Reports().value(1).onGuiThread);
    QTRY_VERIFY(!device->m_bLogin && !device->HasOffThreadWork());
    QCOMPARE(device->m_handle, 0);
}

void TestDispatch::requestersAreCalledInPageOrder_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("connection failure") << "failure";
    QTest::newRow("worker on a pool thread") << "worker";
    QTest::newRow("upgrade page only") << "upgrade";
}

void TestDispatch::requestersAreCalledInPageOrder()
{
    QFETCH(QString, source);
    const QStringList order = { "search", "upgrade", "import/export", "change password", "excel", "device info",
        "range search", "stream", "osd", "recovery", "initial", "reboot", "change device" };
    std::vector<std::unique_ptr<RecordingListener>> pages;
    for (const QString& name : order)
        pages.push_back(std::make_unique<RecordingListener>(m_log, name));
    auto device = MakeDevice(kNobodyIp);
    DeviceInfo* raw = device.get();
    DeviceTaskListener* DeviceInfo::*const members[] = { &DeviceInfo::m_pSearchFrame, &DeviceInfo::m_pUpgradeFrame,
        &DeviceInfo::m_pImportExportFrame, &DeviceInfo::m_pChangePassword, &DeviceInfo::m_pExportExcel,
        &DeviceInfo::m_pDeviceInfoFrame, &DeviceInfo::m_pExtranetsearchFrame, &DeviceInfo::m_pStreamConfigFrame,
        &DeviceInfo::m_pOSDConfig, &DeviceInfo::m_pRecoveryDevice, &DeviceInfo::m_pInitialDevice,
        &DeviceInfo::m_pRebootDevice, &DeviceInfo::m_pChangeDevice };
    // Assigned backwards, so that the order can only come from the device.
    for (int i = 12; i >= 0; --i)
        raw->*members[i] = pages[i].get();

    QStringList expected = order;
    bool finished = true;
    if (source == "failure") {
        RunEntry(&QueryStreamTask, raw);
    } else if (source == "worker") {
        finished = false;
        OnOtherThread([=] { raw->EndWorker(StatusFailed); });
    } else {
        finished = false;
        expected = QStringList { "upgrade" };
        OnOtherThread([=] { raw->NotifyRequesters(false, RequesterUpgrade); });
    }
    QTRY_COMPARE(m_log.Count(), expected.size());
    QCOMPARE(m_log.Pages(), expected);
    for (const TaskReport& report : m_log.Reports()) {
        QVERIFY(report.onGuiThread);
        QCOMPARE(report.finished, finished);
        QVERIFY(!report.loggedIn);
    }
}

void TestDispatch::upgradeProgressKeepsTheConnection()
{
    TaskRecorder recorder(nullptr); // keeps the device connected: its worker never runs
    auto device = MakeDevice(kDeviceIp);
    DeviceInfo* raw = device.get();
    RecordingListener reboot(m_log, QStringLiteral("reboot"));
    raw->m_pRebootDevice = &reboot;
    RunEntry(&RebootTask, raw);
    QTRY_COMPARE(m_device->LoggedInSessions(), 1);
    m_log.Clear();

    QCoreApplication::postEvent(raw, new QUpgradeEvent(UpgradeTokenReady));
    QTRY_COMPARE(m_log.Count(), 1);
    QCOMPARE(int(raw->m_status), int(StatusUpgrade764));

    auto* progress = new QUpgradeEvent(UpgradeProgress);
    progress->value = 30;
    QCoreApplication::postEvent(raw, progress);
    QTRY_COMPARE(m_log.Count(), 2);
    QCOMPARE(int(raw->m_upgradeProgress), 30);

    // The SDK's progress code, with the percent as its info.
    OnOtherThread(
        [=] { DeviceInfo::OnUpgradeProgress(UpgradeProgress, reinterpret_cast<const void*>(intptr_t(57)), raw); });
    QTRY_COMPARE(m_log.Count(), 3);
    QCOMPARE(int(raw->m_upgradeProgress), 57);
    QCOMPARE(raw->StatusText(), QStringLiteral("T2757"));
    OnOtherThread([=] {
        DeviceInfo::OnUpgradeProgress(UpgradeProgress, reinterpret_cast<const void*>(intptr_t(64)), raw);
        DeviceInfo::OnUpgradeProgress(UpgradeReport, nullptr, raw); // no record to read: dropped
    });
    QTRY_COMPARE(m_log.Count(), 4);
    QCOMPARE(int(raw->m_upgradeProgress), 64);
    QCOMPARE(int(raw->m_status), int(StatusUpgrading));

    for (const TaskReport& report : m_log.Reports()) {
        QCOMPARE(report.page, QStringLiteral("upgrade"));
        QVERIFY(!report.finished);
        QVERIFY(report.loggedIn);
    }
    QCOMPARE(m_device->LoggedInSessions(), 1);

    QCoreApplication::postEvent(raw, new QUpgradeEvent(UpgradeSucceeded));
    QTRY_COMPARE(m_log.Count(), 5);
    const TaskReport last = m_log.Reports().value(4);
    QCOMPARE(last.page, QStringLiteral("upgrade"));
    QVERIFY(last.finished);
    QVERIFY(!last.loggedIn);
    QCOMPARE(last.handle, 0);
    QCOMPARE(int(raw->m_status), int(StatusUpgradeOk));
    QTRY_COMPARE(m_device->LoggedInSessions(), 0);
}

void TestDispatch::upgradeCallbackReadsItsRecord()
{
    EventRecordingDevice device;
    ZVNetUpgradeReport record;
    std::memset(&record, 0, sizeof(record));
    record.code = -3;
    record.value = 57;
    record.extra = 0x12345;
    OnOtherThread([&] {
        DeviceInfo::OnUpgradeProgress(UpgradeReport, &record, &device);
        DeviceInfo::OnUpgradeProgress(UpgradeProgress, reinterpret_cast<const void*>(intptr_t(64)), &device);
        DeviceInfo::OnUpgradeProgress(UpgradeFailed, nullptr, &device);
    });
    QTRY_COMPARE(device.events.size(), 3);
    QCOMPARE(device.events[0].code, -3);
    QCOMPARE(device.events[0].value, 57);
    QCOMPARE(device.events[0].extra, 0x12345);
    QCOMPARE(device.events[1].code, int(UpgradeProgress));
    QCOMPARE(device.events[1].value, 64);
    QCOMPARE(device.events[1].extra, -1);
    QCOMPARE(device.events[2].code, int(UpgradeFailed));
    QCOMPARE(device.events[2].value, 0);
}

void TestDispatch::finalUpgradeCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("status");
    QTest::newRow("390") << 390 << int(StatusUpgradeFailed);
    QTest::newRow("392") << 392 << int(StatusUpgrade392);
    QTest::newRow("393") << 393 << int(StatusUpgrade393);
    QTest::newRow("395") << 395 << int(StatusUpgrade395);
    QTest::newRow("396") << 396 << int(StatusUpgrade396);
    QTest::newRow("unknown") << 500 << int(StatusUpgradeError);
}

void TestDispatch::finalUpgradeCodes()
{
    QFETCH(int, code);
    QFETCH(int, status);
    auto device = MakeDevice(kNobodyIp);
    device->m_bLogin = true;
    QCoreApplication::postEvent(device.get(), new QUpgradeEvent(code));
    QTRY_COMPARE(m_log.Count(), 1);
    QVERIFY(m_log.Reports().value(0).finished);
    QCOMPARE(int(device->m_status), status);
    QVERIFY(!device->m_bLogin);
}

void TestDispatch::upgradeStartWithoutHandleEnds_data()
{
    QTest::addColumn<bool>("released");
    // No session for the upgrade: the SDK refuses the start and reports 390.
    QTest::newRow("refused and reported") << false;
    // The SDK takes no work at all: no handle and no report; the device ends
    // after the grace time all the same.
    QTest::newRow("sdk released") << true;
}

void TestDispatch::upgradeStartWithoutHandleEnds()
{
    QFETCH(bool, released);
    auto device = MakeDevice(kNobodyIp);
    DeviceInfo* raw = device.get();
    raw->m_operation = OpUpgrade;
    raw->m_upgradeFilePath = QStringLiteral("/nonexistent/firmware.bin");
    raw->AddBusy(); // as the page's queued task holds it
    raw->ExpectConnectResult();
    if (released)
        ZVNetRelease();
    // The connection is reported up, but there is no SDK session behind it.
    OnOtherThread([=] { DeviceInfo::OnConnectStatus(ConnectOk, raw); });

    QTRY_VERIFY_WITH_TIMEOUT(!raw->IsBusy(), 10000);
    if (released) {
        ZVNetInit();
        ZVSdkSetTimeouts(3000, 3000);
    }
    const QVector<TaskReport> reports = m_log.Reports();
    QCOMPARE(reports.size(), 2);
    QVERIFY(!reports[0].finished); // the upgrade started
    QVERIFY(reports[1].finished);
    QCOMPARE(reports[1].status, int(StatusUpgradeFailed));
    QVERIFY(!reports[1].loggedIn);
    QCOMPARE(int(raw->m_status), int(StatusUpgradeFailed));
    QCOMPARE(raw->m_upgradeHandle, 0);
    QVERIFY(!raw->HasOffThreadWork());
}

void TestDispatch::uploadResultDisposesTheThread_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("status");
    QTest::newRow("uploaded") << true << int(StatusUpgradeOk);
    QTest::newRow("refused") << false << int(StatusUpgradeFailed);
}

void TestDispatch::uploadResultDisposesTheThread()
{
    QFETCH(bool, ok);
    QFETCH(int, status);
    auto device = MakeDevice(kNobodyIp);
    QThread* upload = QThread::create([] {});
    QPointer<QThread> watch(upload);
    upload->start();
    device->m_pUpgradeThread = upload;

    device->checkUpgradeResult(ok);
    QVERIFY(watch.isNull());
    QVERIFY(!device->m_pUpgradeThread);
    QTRY_COMPARE(m_log.Count(), 1);
    QCOMPARE(int(device->m_status), status);
}

void TestDispatch::deletedDeviceGetsNothing()
{
    auto device = MakeDevice(kSilentIp);
    DeviceInfo* gone = device.get();
    OnOtherThread([=] { MatchVersionTask(gone); });
    QVERIFY(device->m_bLogin);
    // A result and a queued report are on their way when the device goes.
    OnOtherThread([=] {
        DeviceInfo::OnConnectStatus(LoginFailed, gone);
        gone->NotifyRequesters(false);
    });
    device.reset();
    // Callbacks that still hold the old pointer reach nothing.
    OnOtherThread([=] {
        DeviceInfo::OnConnectStatus(ConnectOk, gone);
        DeviceInfo::OnConnectAlarm(ConnectAlarm, nullptr, 0, gone);
        DeviceInfo::OnUpgradeProgress(UpgradeProgress, nullptr, gone);
        DeviceInfo::OnLoginResult("{\"status\":\"close\"}", gone);
    });
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 0);
}

void TestDispatch::networkChangeOfSdkDevicesNeedsNoConnection()
{
    auto device = MakeDevice(kDeviceIp);
    RecordingListener search(m_log, QStringLiteral("search"));
    device->m_pUpgradeFrame = nullptr;
    device->m_pSearchFrame = &search;
    RunEntry(&ModifyNetworkTask, device.get());
    const TaskReport report = m_log.Reports().value(0);
    QCOMPARE(report.page, QStringLiteral("search"));
    QVERIFY(report.finished);
    QVERIFY(report.onGuiThread);
    QVERIFY(!report.loggedIn);
    QCOMPARE(device->m_operation, int(OpModifyNetwork));
    QCOMPARE(m_device->CountReceived(fakedevice::wire::Login), 0);
}

void TestDispatch::recoveryWithoutGroupsEnds()
{
    auto device = MakeDevice(kDeviceIp);
    device->m_resetMode = 5;
    RunEntry(&RecoveryTask, device.get());
    QVERIFY(m_log.Reports().value(0).finished);
    QCOMPARE(int(device->m_status), int(StatusFailed));
    QCOMPARE(m_device->CountReceived(fakedevice::wire::Login), 0);
}

void TestDispatch::entriesIgnoreNull()
{
    for (void (*entry)(void*) : { &ModifyNetworkTask, &UpgradeTask, &SetFactoryInfoTask, &DefaultTask, &PTZDefaultTask,
             &ExportParamTask, &ImportParamTask, &EnableNTPTask, &ModifyOnvifNetworkTask, &QueryNetworkTask,
             &QueryVersionTask, &MatchVersionTask, &ChangePasswordTask, &QueryStreamTask, &SetStreamTask, &SetTimeTask,
             &SetOsdTask, &QueryOsdTask, &RecoveryTask, &InitialTask, &RebootTask, &ChangeDeviceTask })
        entry(nullptr);
    DeviceInfo::OnConnectStatus(ConnectOk, nullptr);
    DeviceInfo::OnConnectAlarm(ConnectAlarm, nullptr, 0, nullptr);
    DeviceInfo::OnLoginResult(nullptr, nullptr);
    DeviceInfo::OnUpgradeProgress(UpgradeFailed, nullptr, nullptr);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_log.Count(), 0);
}

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
