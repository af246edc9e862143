// Factory defaults, defaults of chosen parameter groups and the reboot, run
// end to end against the fake device through the SDK and the HTTP API; each
// case checks what the device restored or did, and the status the list shows.

#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "HttpClient.h"
#include "OperationFixtures.h"
#include "ResetFixtures.h"

#include <set>

using fakedevice::Bytes;
using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::Faults;
using fakedevice::HttpDeviceState;
using fakedevice::HttpFaults;
using namespace TestSupport;
namespace wire = fakedevice::wire;

namespace
{
const char* const kRangePath = "/API/Maintenance/Reset/Range";
const char* const kResetPath = "/API/Maintenance/Reset/Set";
const char* const kRebootPath = "/API/Maintenance/DeviceReboot/Set";
const char* const kKeyPath = "/API/Maintenance/TransKey/Get";

// One case as it runs: the fake device of its kind, the listed device, and
// the device's state before the case changed it.
struct Run
{
    FakeDevice* fake = nullptr;
    FakeHttpApi* api = nullptr;
    DeviceInfo* device = nullptr;
    DeviceState factory;
    HttpDeviceState httpFactory;
};

struct ResetCase
{
    const char* name;
    void (*entry)(void*);
    DeviceTaskListener* DeviceInfo::*page;
    int company; // 43 and 44: the HTTP API
    void (*prepare)(Run&); // groups to choose, faults; may be null
    int status;
    void (*check)(const Run&); // may be null
};

// Exactly these groups are back; every other one is as the case left it.
void CheckRestored(const Run& run, const std::set<std::string>& groups)
{
    const DeviceState now = run.fake->State();
    for (const QString& group : SdkGroupNames())
        QVERIFY2(GroupRestored(now, run.factory, group) == (groups.count(group.toStdString()) == 1), qPrintable(group));
}

void CheckHttpRestored(const Run& run, const std::set<std::string>& groups)
{
    const HttpDeviceState now = run.api->State();
    for (const QString& group : HttpGroupNames())
        QVERIFY2(HttpGroupRestored(now, run.httpFactory, group) == (groups.count(group.toStdString()) == 1),
            qPrintable(group));
}

// The defaults request the SDK device received.
ZVNetDefaultParam SentDefaults(const Run& run)
{
    for (const fakedevice::Received& received : run.fake->ReceivedRequests()) {
        if (received.type == wire::SetParam && received.payload.size() == 16 + sizeof(ZVNetDefaultParam)
            && wire::U32(received.payload.data()) == ZVNET_PARAM_DEFAULT)
            return RecordFrom<ZVNetDefaultParam>(received.payload, 16);
    }
    return ZVNetDefaultParam {};
}

void CheckNetworkByte(const Run& run, int network)
{
    const ZVNetDefaultParam sent = SentDefaults(run);
    QCOMPARE(sent.size, uint32_t(sizeof(sent)));
    QCOMPARE(int(sent.network), network);
}

void CheckNoDefaults(const Run& run)
{
    QCOMPARE(run.fake->CountReceived(wire::SetParam), 0);
    CheckRestored(run, {});
}

Json::Value LastBody(const FakeHttpApi& api, const char* path)
{
    fakedevice::HttpExchange exchange;
    Json::Value body;
    if (api.LastExchange(path, exchange)) {
        Json::CharReaderBuilder builder;
        std::string errors;
        ParseJsonText(builder, exchange.request.body, body, errors);
    }
    return body;
}

void SdkGroups(Run& run, bool display, bool record, bool advanced, bool intelligent, bool network, bool device,
    bool system, bool exceptNetwork, bool pairing, bool alarm, bool all)
{
    ScrambleGroups(*run.fake);
    run.device->SetSdkResetGroups(
        display, record, advanced, intelligent, network, device, system, exceptNetwork, pairing, alarm, all);
}

void HttpGroups(Run& run, bool ai, bool alarm, bool channel, bool device, bool network, bool record, bool system,
    bool event, bool exceptNetwork)
{
    ScrambleHttpGroups(*run.api);
    run.device->SetHttpResetGroups(ai, alarm, channel, device, network, record, system, event, exceptNetwork);
}

void SetHttpFaults(Run& run, const char* path, int status, bool notJson = false)
{
    HttpFaults faults;
    faults.path = path;
    faults.status = status;
    faults.notJson = notJson;
    run.api->SetFaults(faults);
}

void SetSilent(Run& run, const char* path)
{
    HttpFaults faults;
    faults.path = path;
    faults.neverAnswer = true;
    run.api->SetFaults(faults);
}

// The device breaks the SDK replies to requests of type the way fault says.
void BreakReplies(Run& run, uint16_t type, bool Faults::*fault)
{
    Faults faults;
    faults.faultType = type;
    faults.*fault = true;
    run.fake->SetFaults(faults);
}

void Refuse(Run& run, uint16_t type)
{
    Faults faults;
    faults.faultType = type;
    faults.replyStatus = wire::Refused;
    run.fake->SetFaults(faults);
}

void SetReplyResult(Run& run, const char* result, const char* onPath = kRebootPath)
{
    HttpFaults faults;
    faults.path = onPath;
    const std::string text = result ? result : "";
    const std::string target = onPath;
    faults.editReply = [text, target](const std::string& path, Json::Value& reply) {
        if (path != target)
            return;
        if (text.empty())
            reply.removeMember("result");
        else
            reply["result"] = text;
    };
    run.api->SetFaults(faults);
}

// Away long enough to be seen away.
void LongReboot(Run& run)
{
    if (run.fake)
        run.fake->Update([](DeviceState& s) { s.rebootMs = 1500; });
    else
        run.api->Update([](HttpDeviceState& s) { s.rebootMs = 1500; });
}

void CheckBackAfterReboot(const Run& run)
{
    if (run.fake) {
        QCOMPARE(run.fake->State().reboots, 1);
        QTRY_VERIFY(!run.fake->Listening()); // away for a while
        QVERIFY(run.fake->WaitListening(5000));
    } else {
        QCOMPARE(run.api->State().reboots, 1);
        QTRY_VERIFY(!run.api->Listening());
        QTRY_VERIFY(run.api->Listening());
        QCOMPARE(run.api->Sessions(), 0);
    }
}

DeviceTaskListener* DeviceInfo::*const kUpgradePage = &DeviceInfo::m_pUpgradeFrame;
DeviceTaskListener* DeviceInfo::*const kRecoveryPage = &DeviceInfo::m_pRecoveryDevice;
DeviceTaskListener* DeviceInfo::*const kRebootPage = &DeviceInfo::m_pRebootDevice;

const ResetCase kCases[] = {
    // Factory defaults: every group, the whole network, never the pairing.
    { "factory defaults", &DefaultTask, kUpgradePage, 0,
        [](Run& run) {
            ScrambleGroups(*run.fake);
            run.device->SetSdkResetGroups(false, false, false, false, false, false, false, true, true, false, false);
        },
        StatusOk,
        [](const Run& run) {
            const ZVNetDefaultParam sent = SentDefaults(run);
            for (uint8_t group :
                { sent.display, sent.record, sent.alarm, sent.device, sent.system, sent.advanced, sent.intelligent })
                QCOMPARE(int(group), 1);
            QCOMPARE(int(sent.network), 1);
            QCOMPARE(int(sent.pairing), 0);
            CheckRestored(
                run, { "display", "record", "network", "alarm", "device", "system", "advanced", "intelligent" });
        } },
    { "factory defaults refused", &DefaultTask, kUpgradePage, 0, [](Run& run) { Refuse(run, wire::SetParam); },
        StatusFailed, nullptr },

    // Groups through the SDK.
    { "chosen groups only", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) { SdkGroups(run, false, true, false, true, false, false, false, false, false, true, false); },
        StatusOk,
        [](const Run& run) {
            CheckRestored(run, { "record", "intelligent", "alarm" });
        } },
    { "network with all", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) { SdkGroups(run, true, false, false, false, true, false, true, false, false, false, true); },
        StatusOk,
        [](const Run& run) {
            CheckNetworkByte(run, 1);
            CheckRestored(run, { "display", "network", "system" });
        } },
    { "network except the address", &RecoveryTask, kRecoveryPage, 40,
        [](Run& run) { SdkGroups(run, false, false, true, false, true, true, false, true, true, false, false); },
        StatusOk,
        [](const Run& run) {
            CheckNetworkByte(run, 2);
            CheckRestored(run, { "advanced", "network", "device", "pairing" });
        } },
    { "network alone", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) { SdkGroups(run, false, false, false, false, true, false, false, false, false, false, false); },
        StatusOk,
        [](const Run& run) {
            CheckNetworkByte(run, 0);
            CheckRestored(run, {});
        } },
    { "all without network", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) { SdkGroups(run, false, false, false, false, false, false, false, true, false, false, true); },
        StatusOk, [](const Run& run) { CheckNetworkByte(run, 0); } },
    { "customer 45 with the HTTP groups stored", &RecoveryTask, kRecoveryPage, 45,
        [](Run& run) {
            SdkGroups(run, false, true, false, false, false, false, false, false, false, false, false);
            run.device->SetHttpResetGroups(true, true, true, true, true, true, true, true, true);
        },
        StatusOk, [](const Run& run) { CheckRestored(run, { "record" }); } },
    { "groups refused", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) {
            SdkGroups(run, false, true, false, false, false, false, false, false, false, false, false);
            Refuse(run, wire::SetParam);
        },
        StatusFailed, nullptr },
    { "groups reply garbled", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) {
            SdkGroups(run, false, true, false, false, false, false, false, false, false, false, false);
            BreakReplies(run, wire::SetParam, &Faults::badMagic);
        },
        StatusFailed, nullptr },
    { "groups, closed instead of a reply", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) {
            SdkGroups(run, false, true, false, false, false, false, false, false, false, false, false);
            BreakReplies(run, wire::SetParam, &Faults::dropBeforeReply);
        },
        StatusFailed, nullptr },
    { "groups, wrong password", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) {
            SdkGroups(run, false, true, false, false, false, false, false, false, false, false, false);
            run.device->m_password = QStringLiteral("wrong");
        },
        StatusConnectFailed, &CheckNoDefaults },
    // No request is defined for these: the device still ends, failed.
    { "customer 0 with HTTP groups", &RecoveryTask, kRecoveryPage, 0,
        [](Run& run) {
            ScrambleGroups(*run.fake);
            run.device->SetHttpResetGroups(true, true, true, true, true, true, true, true, false);
        },
        StatusFailed, &CheckNoDefaults },
    { "customer 12 with SDK groups", &RecoveryTask, kRecoveryPage, 12,
        [](Run& run) { SdkGroups(run, true, true, true, true, true, true, true, false, true, true, true); },
        StatusFailed, &CheckNoDefaults },

    // Reboot through the SDK.
    { "reboot", &RebootTask, kRebootPage, 0, &LongReboot, StatusRebootOk, &CheckBackAfterReboot },
    { "reboot refused", &RebootTask, kRebootPage, 0, [](Run& run) { Refuse(run, wire::RemoteTest); },
        StatusRebootFailed, nullptr },
    { "reboot reply garbled", &RebootTask, kRebootPage, 0,
        [](Run& run) { BreakReplies(run, wire::RemoteTest, &Faults::badMagic); }, StatusRebootFailed, nullptr },
    { "reboot, no answer", &RebootTask, kRebootPage, 0,
        [](Run& run) {
            Faults faults;
            faults.noAnswer = true;
            run.fake->SetFaults(faults);
        },
        StatusConnectFailed, [](const Run& run) { QCOMPARE(run.fake->State().reboots, 0); } },

    // Groups through the HTTP API.
    { "http: chosen groups only", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) { HttpGroups(run, true, false, true, false, false, false, true, false, false); }, StatusOk,
        [](const Run& run) {
            CheckHttpRestored(run, { "ai", "channel", "system" });
            const Json::Value data = LastBody(*run.api, kResetPath)["data"];
            for (const char* group :
                { "channel", "record", "event", "alarm", "ai", "network", "except_network_param", "device", "system" })
                QVERIFY2(data[group].isBool(), group);
            QVERIFY(data["ai"].asBool() && data["channel"].asBool() && data["system"].asBool());
            QVERIFY(!data["record"].asBool() && !data["network"].asBool());
            QVERIFY(data["base_secondary_authentication"].isObject());
            QVERIFY(run.api->LastProtection().authenticationOk);
            for (uint8_t offered : run.device->m_resetRange)
                QCOMPARE(int(offered), 1);
        } },
    { "http: network except the address", &RecoveryTask, kRecoveryPage, 43,
        [](Run& run) { HttpGroups(run, false, false, false, false, true, false, false, false, true); }, StatusOk,
        [](const Run& run) { CheckHttpRestored(run, { "network" }); } },
    { "http: whole network", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) { HttpGroups(run, false, false, false, false, true, false, false, false, false); }, StatusOk,
        [](const Run& run) {
            CheckHttpRestored(run, { "network", "address" });
        } },
    { "http: a group the device lacks is left out", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            run.api->Update([](HttpDeviceState& s) { s.resetRange = { "channel", "record", "network" }; });
            HttpGroups(run, true, false, true, false, false, false, false, false, false);
        },
        StatusOk,
        [](const Run& run) {
            CheckHttpRestored(run, { "channel" });
            const Json::Value data = LastBody(*run.api, kResetPath)["data"];
            QCOMPARE(data.size(), Json::ArrayIndex(4)); // three groups and the authentication
            QVERIFY(!data.isMember("ai"));
        } },
    { "http: keeping the address needs its group", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            run.api->Update([](HttpDeviceState& s) { s.resetRange = { "channel", "network" }; });
            HttpGroups(run, false, false, true, false, true, false, false, false, true);
        },
        StatusFailed,
        [](const Run& run) {
            QCOMPARE(run.api->CountRequests(kResetPath), 0);
            CheckHttpRestored(run, {});
        } },
    { "http: no chosen group offered", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            run.api->Update([](HttpDeviceState& s) { s.resetRange = { "channel" }; });
            HttpGroups(run, true, false, false, false, false, false, false, false, false);
        },
        StatusFailed, [](const Run& run) { QCOMPARE(run.api->CountRequests(kResetPath), 0); } },
    { "http: range not json", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            SetHttpFaults(run, kRangePath, 0, true);
        },
        StatusFailed, [](const Run& run) { QCOMPARE(run.api->CountRequests(kResetPath), 0); } },
    { "http: key request refused", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            SetHttpFaults(run, kKeyPath, 500);
        },
        StatusFailed, [](const Run& run) { QCOMPARE(run.api->CountRequests(kResetPath), 0); } },
    { "http: reset refused", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            SetHttpFaults(run, kResetPath, 500);
        },
        StatusFailed, [](const Run& run) { CheckHttpRestored(run, {}); } },
    { "http: reset reply not json", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            SetHttpFaults(run, kResetPath, 0, true);
        },
        StatusFailed, nullptr },
    { "http: reset result other than success", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            SetReplyResult(run, "failed", kResetPath);
        },
        StatusFailed, nullptr },
    { "http: reset not answered", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            SetSilent(run, kResetPath);
        },
        StatusFailed, nullptr },
    { "http: wrong password", &RecoveryTask, kRecoveryPage, 44,
        [](Run& run) {
            HttpGroups(run, true, true, true, true, true, true, true, true, false);
            run.device->m_password = QStringLiteral("wrong");
        },
        StatusConnectFailed, [](const Run& run) { QCOMPARE(run.api->CountRequests(kRangePath), 0); } },

    // Reboot through the HTTP API.
    { "http: reboot", &RebootTask, kRebootPage, 44, &LongReboot, StatusRebootOk,
        [](const Run& run) {
            const Json::Value data = LastBody(*run.api, kRebootPath)["data"];
            QVERIFY(data["base_secondary_authentication"]["cipher"].isString());
            QVERIFY(data["base_secondary_authentication"]["seq"].isInt());
            QVERIFY(run.api->LastProtection().authenticationOk);
            CheckBackAfterReboot(run);
        } },
    { "http: reboot key not json", &RebootTask, kRebootPage, 43,
        [](Run& run) { SetHttpFaults(run, kKeyPath, 0, true); }, StatusRebootRequestFailed,
        [](const Run& run) {
            QCOMPARE(run.api->CountRequests(kRebootPath), 0);
            QCOMPARE(run.api->State().reboots, 0);
        } },
    { "http: reboot result other than success", &RebootTask, kRebootPage, 44,
        [](Run& run) { SetReplyResult(run, "failed"); }, StatusRebootFailed, nullptr },
    { "http: reboot reply without result", &RebootTask, kRebootPage, 44, [](Run& run) { SetReplyResult(run, nullptr); },
        StatusRebootFailed, nullptr },
    { "http: reboot reply not json", &RebootTask, kRebootPage, 44,
        [](Run& run) { SetHttpFaults(run, kRebootPath, 0, true); }, StatusRebootFailed, nullptr },
    { "http: reboot not answered", &RebootTask, kRebootPage, 44, [](Run& run) { SetSilent(run, kRebootPath); },
        StatusRebootFailed, nullptr },
    { "http: reboot, wrong password", &RebootTask, kRebootPage, 44,
        [](Run& run) { run.device->m_password = QStringLiteral("wrong"); }, StatusConnectFailed,
        [](const Run& run) {
            QCOMPARE(run.api->CountRequests(kKeyPath), 0);
            QCOMPARE(run.api->State().reboots, 0);
        } },
    { "http: reboot refused", &RebootTask, kRebootPage, 44, [](Run& run) { SetHttpFaults(run, kRebootPath, 403); },
        StatusRebootFailed, [](const Run& run) { QCOMPARE(run.api->State().reboots, 0); } },
};
} // namespace

class TestResetReboot : public OperationTestCase
{
    Q_OBJECT

private slots:
    void operations_data();
    void operations();
};

void TestResetReboot::operations_data()
{
    AddCaseRows(kCases);
}

void TestResetReboot::operations()
{
    int index = 0;
    const ResetCase& c = CaseOfRow(kCases, &index);
    const std::string address = OperationEnvironment::Address(10 + index);
    Run run;
    std::unique_ptr<FakeDevice> fake;
    std::unique_ptr<FakeHttpApi> api;
    std::unique_ptr<DeviceInfo> device;
    if (IsHttpApiCompany(c.company)) {
        FakeHttpApi::Options options;
        options.ip = address;
        api = std::make_unique<FakeHttpApi>(HttpDeviceState(), options);
        QVERIFY(api->Listening());
        run.httpFactory = api->State();
        device.reset(ListedHttpDevice(*api));
    } else {
        fake = std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(address, index + 1));
        QVERIFY(fake->WaitListening());
        run.factory = fake->State();
        device.reset(ListedDevice(run.factory));
    }
    run.fake = fake.get();
    run.api = api.get();
    run.device = device.get();
    device.get()->*c.page = m_bench.page.get();
    if (c.prepare)
        c.prepare(run);

    QVERIFY(RunOperation(c.entry, device.get(), m_log));

    // The page hears when the worker is queued (and, for the HTTP groups,
    // when their request goes out), then the worker's result.
    const bool connected = c.status != StatusConnectFailed;
    const bool httpGroups = connected && c.entry == &RecoveryTask && IsHttpApiCompany(c.company);
    QTRY_COMPARE(m_log.Count(), !connected ? 1 : httpGroups ? 3 : 2);
    const TaskReport last = m_log.Reports().last();
    QCOMPARE(last.status, c.status);
    QVERIFY(last.onGuiThread);
    // A worker's result reaches the page before its logout; a failed
    // connection's after it.
    if (!connected)
        QVERIFY(!last.loggedIn);
    QCOMPARE(int(device->m_status), c.status);
    QVERIFY(!device->m_bLogin);
    QVERIFY(!device->m_sdkDevice);
    QCOMPARE(device->m_handle, 0);
    // The worker's report only refreshes the row; a connection that failed,
    // or a worker that was never queued, ends the device for the page.
    if (connected) {
        // The worker's report only refreshes the row.
        QVERIFY(!last.finished);
        const TaskReport first = m_log.Reports()[0];
        QVERIFY(first.loggedIn);
        QCOMPARE(first.finished, c.entry == &DefaultTask);
        QCOMPARE(first.status, c.entry == &RebootTask ? int(StatusRebooting) : int(StatusConnected));
        // Reports from a pool thread show the device as it is when they arrive.
        if (httpGroups)
            QVERIFY(m_log.Reports()[1].status == StatusResetting || m_log.Reports()[1].status == c.status);
    } else {
        QVERIFY(last.finished);
    }
    if (fake && c.entry != &RebootTask)
        QTRY_COMPARE(fake->LoggedInSessions(), 0);
    if (c.check)
        c.check(run);
}

QTEST_GUILESS_MAIN(TestResetReboot)
#include "tst_resetreboot.moc"
