#pragma once

// Device operations run end to end in a test: the SDK stand-in set up for
// loopback, a task pool for the workers, listed devices made from what a
// fake device would answer to a search, a pair of fake devices (the SDK's
// protocol and the HTTP JSON API) with the page that hears their results, and
// a wait for the end of an operation as the pages see it.

#include "DeviceFixtures.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QtTest>

#include <cstring>
#include <functional>
#include <memory>

namespace TestSupport
{
using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::HttpDeviceState;
using fakedevice::HttpFaults;

// The pool that runs the dispatch's workers, and the recorder of what it ran.
struct OperationPool
{
    explicit OperationPool(int threads = 4)
        : pool(std::make_unique<TaskPool>(threads))
        , recorder(std::make_unique<TaskRecorder>(pool.get()))
    {
    }
    ~OperationPool()
    {
        recorder.reset();
        pool.reset();
    }
    std::unique_ptr<TaskPool> pool;
    std::unique_ptr<TaskRecorder> recorder;
};

// The SDK, the language texts and a task pool that takes the dispatch's
// workers, for the life of the object.
class OperationEnvironment
{
public:
    // The SDK's connect and request time-outs.
    static constexpr int kTimeoutMs = 3000;

    explicit OperationEnvironment(int poolThreads = 4)
    {
        ZVNetInit();
        ZVOnvifInit();
        ZVSdkSetTimeouts(kTimeoutMs, kTimeoutMs);
        ZVOnvifSetSeachTimeout(2, 2, 2);
        // The network change also asks the search targets: never the real LAN.
        const std::string nobody = NobodyAddress();
        const char* target = nobody.c_str();
        ZVSdkSetSearchTargets(&target, 1);
        m_pool = std::make_unique<OperationPool>(poolThreads);
    }
    ~OperationEnvironment()
    {
        m_pool.reset();
        ZVNetRelease();
        ZVOnvifRelease();
        ZVAppSetting::Instance()->m_company = 0;
    }

    // The pool the dispatch's workers run on.
    TaskPool* Pool() const { return m_pool->pool.get(); }
    // Loopback addresses of this test process; n from 1 to 253.
    static std::string Address(int n) { return fakedevice::UniqueLoopbackPrefix() + std::to_string(n); }
    // Nothing listens there.
    static std::string NobodyAddress() { return Address(254); }

private:
    NumberedLanguageTexts m_texts;
    std::unique_ptr<OperationPool> m_pool;
};

// What a table of operation cases keeps from case to case: the environment
// for the test case's life, the pages' reports and one page that records them.
struct OperationBench
{
    void Start(int poolThreads = 4, const QString& pageName = QStringLiteral("page"))
    {
        environment = std::make_unique<OperationEnvironment>(poolThreads);
        page = std::make_unique<RecordingListener>(log, pageName);
    }
    void NextCase()
    {
        ZVAppSetting::Instance()->m_company = 0;
        log.Clear();
    }
    void Stop() { environment.reset(); }

    std::unique_ptr<OperationEnvironment> environment;
    ReportLog log;
    std::unique_ptr<RecordingListener> page;
};

// What an operation test's process holds: the bench started once, each case
// from customer code 0 with an empty log. (QtTest runs these private slots of
// the base class as its own; list this header in the test's sources for moc.)
class OperationTestCase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_bench.Start(); }
    void init() { m_bench.NextCase(); }
    void cleanupTestCase() { m_bench.Stop(); }

protected:
    OperationBench m_bench;
    ReportLog& m_log = m_bench.log;
};

// A fake device of the SDK's protocol at loopback address n, with the default
// parameters and what tweak changes; null when it does not listen.
inline std::unique_ptr<FakeDevice> SdkDevice(int n, const std::function<void(DeviceState&)>& tweak = {})
{
    DeviceState state = fakedevice::LoopbackDeviceState(OperationEnvironment::Address(n), n);
    state.FillDefaultParams();
    if (tweak)
        tweak(state);
    auto device = std::make_unique<FakeDevice>(state);
    if (!device->WaitListening())
        return nullptr;
    return device;
}

// A fake HTTP API device at loopback address n; null when it does not listen.
inline std::unique_ptr<FakeHttpApi> HttpDevice(int n, const std::function<void(HttpDeviceState&)>& tweak = {})
{
    HttpDeviceState state;
    if (tweak)
        tweak(state);
    FakeHttpApi::Options options;
    options.ip = OperationEnvironment::Address(n);
    auto api = std::make_unique<FakeHttpApi>(state, options);
    if (!api->Listening())
        return nullptr;
    return api;
}

// A device as the search lists the fake device in state; owner deletes it.
inline DeviceInfo* ListedDevice(const fakedevice::DeviceState& state, QObject* owner = nullptr)
{
    const fakedevice::Bytes record = state.SearchRecord();
    SearchDevRsp rsp;
    std::memcpy(&rsp, record.data(), sizeof(rsp));
    auto* device = new DeviceInfo(owner);
    device->InitFromSearchRsp(&rsp, false);
    device->m_user = QString::fromStdString(state.users.at(0).name);
    device->m_password = QString::fromStdString(state.users.at(0).password);
    device->m_status = StatusWaiting;
    return device;
}

// A device at the address and web port of a fake HTTP API device.
inline DeviceInfo* ListedHttpDevice(const fakedevice::FakeHttpApi& api, QObject* owner = nullptr)
{
    DeviceInfo* device = NewDevice(owner, QString::fromStdString(api.Ip()), QString(), 1, 9000, api.Port());
    const fakedevice::HttpDeviceState state = api.State();
    device->m_user = QString::fromStdString(state.user);
    device->m_password = QString::fromStdString(state.password);
    device->m_status = StatusWaiting;
    return device;
}

// A device as the ONVIF search lists the fake ONVIF device.
inline DeviceInfo* ListedOnvifDevice(const fakedevice::OnvifState& state, QObject* owner = nullptr)
{
    DeviceInfo* device = NewDevice(owner, QString::fromStdString(state.ip), QString(), 1, 0, state.webPort);
    const SearchDevRsp record = device->m_searchRsp;
    device->InitFromSearchRsp(&record, true);
    device->m_user = QString::fromStdString(state.user);
    device->m_password = QString::fromStdString(state.password);
    device->m_status = StatusWaiting;
    return device;
}

// A report that can end an operation: finished, or a result beyond the
// connection (a pool worker's, which comes before its logout).
inline bool IsResultReport(const TaskReport& report)
{
    return report.finished || report.status != StatusConnected;
}

// The operation is over for the device: a result has been reported, the
// device is logged out, and nothing of the operation still runs elsewhere.
inline bool OperationOver(const DeviceInfo* device, const ReportLog& log)
{
    if (device->m_bLogin || device->HasOffThreadWork())
        return false;
    for (const TaskReport& report : log.Reports()) {
        if (IsResultReport(report))
            return true;
    }
    return false;
}

// Runs entry for device as a pool thread would and waits until the operation
// is over, then delivers what is still posted.
inline bool RunOperation(void (*entry)(void*), DeviceInfo* device, const ReportLog& log, int timeoutMs = 20000)
{
    OnOtherThread([=] { entry(device); });
    if (!QTest::qWaitFor([&] { return OperationOver(device, log); }, timeoutMs))
        return false;
    // Nothing of the operation runs any more: what it reported is posted.
    QCoreApplication::sendPostedEvents();
    return true;
}

// The reports that ended the operation: the results reported after the
// connection (the pool workers report before their logout).
inline QVector<TaskReport> EndReports(const ReportLog& log)
{
    QVector<TaskReport> ends;
    for (const TaskReport& report : log.Reports()) {
        if (IsOperationEnd(report))
            ends.append(report);
    }
    return ends;
}

// The rows of a table of cases, each named by its case and carrying its index.
template <typename Case, std::size_t N> void AddCaseRows(const Case (&cases)[N])
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << static_cast<int>(i);
}

// The case of the current row of a table from AddCaseRows, its index in
// *row, with the case's customer code set.
template <typename Case, std::size_t N> const Case& CaseOfRow(const Case (&cases)[N], int* row)
{
    QFETCH(int, index);
    *row = index;
    ZVAppSetting::Instance()->m_company = cases[index].company;
    return cases[index];
}

// A record of the type the SDK headers lay out, read from raw bytes.
template <typename Record> Record RecordFrom(const fakedevice::Bytes& bytes, size_t offset = 0)
{
    Record record;
    std::memset(&record, 0, sizeof(record));
    if (bytes.size() >= offset + sizeof(record))
        std::memcpy(&record, bytes.data() + offset, sizeof(record));
    return record;
}

// Canned answers of the fake ONVIF device to one operation: a refusal, a reply
// that is no SOAP message, and one that comes only after the command time-out.
inline fakedevice::OnvifReply OnvifRefusal()
{
    return fakedevice::OnvifReply { 500, std::string(), 0, 0 };
}
inline fakedevice::OnvifReply OnvifGarble()
{
    return fakedevice::OnvifReply { 200, "<env:Envelope><env:Body><tds:", 0, 0 };
}
inline fakedevice::OnvifReply OnvifTooLate()
{
    return fakedevice::OnvifReply { 200, std::string(), 0, 3000 };
}
enum class Api
{
    Sdk, // customer code 0: the maker's SDK
    Http, // customer code 44: the HTTP JSON API
};

inline const char* const kLoginUser = "admin";
inline const char* const kLoginPassword = "admin123";

// A key reply whose salt is not the one the device checks the answer with:
// the device sees the answer of a wrong login password.
inline void BreakSalt(Json::Value& reply)
{
    reply["data"]["Key_lists"][0]["key"] = "AAAAAAAAAAAAAAAAAAAAAA==";
}

// A reply edit (HttpFaults::editReply) for one path only.
inline std::function<void(const std::string&, Json::Value&)> EditReplyOf(
    const std::string& path, std::function<void(Json::Value&)> edit)
{
    return [path, edit](const std::string& replyPath, Json::Value& reply) {
        if (replyPath == path)
            edit(reply);
    };
}

class DevicePairBench
{
public:
    // The SDK device listens at prefix + firstOctet, the HTTP device at the next address.
    explicit DevicePairBench(int firstOctet)
        : m_sdkAddress(fakedevice::UniqueLoopbackPrefix() + std::to_string(firstOctet))
        , m_httpAddress(fakedevice::UniqueLoopbackPrefix() + std::to_string(firstOctet + 1))
    {
        ZVNetInit();
        ZVSdkSetTimeouts(3000, 3000);
        m_pool = std::make_unique<OperationPool>();
        m_sdk = std::make_unique<fakedevice::FakeDevice>(fakedevice::LoopbackDeviceState(m_sdkAddress, firstOctet));
        fakedevice::FakeHttpApi::Options options;
        options.ip = m_httpAddress;
        m_http = std::make_unique<fakedevice::FakeHttpApi>(fakedevice::HttpDeviceState(), options);
        m_page = std::make_unique<RecordingListener>(m_log, QStringLiteral("page"));
    }
    ~DevicePairBench()
    {
        m_pool.reset();
        m_sdk.reset();
        m_http.reset();
        ZVNetRelease();
        ZVAppSetting::Instance()->m_company = 0;
    }

    bool Listening() const { return m_sdk->WaitListening() && m_http->Listening(); }
    fakedevice::FakeDevice& Sdk() { return *m_sdk; }
    fakedevice::FakeHttpApi& Http() { return *m_http; }
    ReportLog& Log() { return m_log; }
    DeviceTaskListener* Page() { return m_page.get(); }

    // Both devices as they were at start: no faults, the login password,
    // the HTTP device's settings; nothing received; no reports.
    void Reset()
    {
        m_sdk->SetFaults(fakedevice::Faults());
        m_sdk->SetPassword(kLoginPassword);
        m_sdk->ClearReceived();
        m_http->SetFaults(fakedevice::HttpFaults());
        m_http->Update([](fakedevice::HttpDeviceState& state) {
            state.password = kLoginPassword;
            state.initialised = true;
            state.upgradeToken.clear();
            state.settings = fakedevice::HttpSettings();
        });
        m_http->ClearExchanges();
        m_log.Clear();
    }

    // A device as a search listed it, with the login values, reporting to the
    // test's page through member; selects the customer code of api.
    std::unique_ptr<DeviceInfo> MakeDevice(Api api, DeviceTaskListener* DeviceInfo::*member)
    {
        ZVAppSetting::Instance()->m_company = api == Api::Http ? 44 : 0;
        const bool http = api == Api::Http;
        std::unique_ptr<DeviceInfo> device(
            NewDevice(nullptr, QString::fromStdString(http ? m_httpAddress : m_sdkAddress), QStringLiteral("Camera 1"),
                1, fakedevice::kDefaultTcpPort, http ? m_http->Port() : 80));
        device->m_user = kLoginUser;
        device->m_password = kLoginPassword;
        device->m_status = StatusWaiting;
        device.get()->*member = m_page.get();
        return device;
    }

    // Runs entry for device on a thread of its own and waits for the
    // operation's end; false when it did not end in time.
    bool RunToEnd(void (*entry)(void*), DeviceInfo* device, int timeoutMs = 20000)
    {
        OnOtherThread([=] { entry(device); });
        if (!QTest::qWaitFor(
                [&] { return EndReports() > 0 && !device->m_bLogin && !device->HasOffThreadWork(); }, timeoutMs))
            return false;
        QCoreApplication::sendPostedEvents();
        return true;
    }

    bool WaitForEnd(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this] { return EndReports() > 0; }, timeoutMs);
    }

    int EndReports() const
    {
        int ends = 0;
        for (const TaskReport& report : m_log.Reports())
            ends += IsOperationEnd(report) ? 1 : 0;
        return ends;
    }

    TaskReport LastReport() const { return m_log.Reports().value(m_log.Count() - 1); }

private:
    std::string m_sdkAddress;
    std::string m_httpAddress;
    std::unique_ptr<OperationPool> m_pool;
    std::unique_ptr<fakedevice::FakeDevice> m_sdk;
    std::unique_ptr<fakedevice::FakeHttpApi> m_http;
    ReportLog m_log;
    std::unique_ptr<RecordingListener> m_page;
};
} // namespace TestSupport
