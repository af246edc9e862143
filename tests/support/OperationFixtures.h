#pragma once

// Device operations run end to end in a test: the SDK stand-in set up for
// loopback, a task pool for the workers, listed devices made from what a
// fake device would answer to a search, and a wait for the end of an
// operation as the pages see it.

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
#include <memory>

namespace TestSupport
{
// The SDK, the language texts and a task pool that takes the dispatch's
// workers, for the life of the object.
class OperationEnvironment
{
public:
    explicit OperationEnvironment(int poolThreads = 4)
    {
        ZVNetInit();
        ZVOnvifInit();
        ZVSdkSetTimeouts(3000, 3000);
        ZVOnvifSetSeachTimeout(2, 2, 2);
        // The network change also asks the search targets: never the real LAN.
        const std::string nobody = NobodyAddress();
        const char* target = nobody.c_str();
        ZVSdkSetSearchTargets(&target, 1);
        m_pool = std::make_unique<TaskPool>(poolThreads);
        m_recorder = std::make_unique<TaskRecorder>(m_pool.get());
    }
    ~OperationEnvironment()
    {
        m_recorder.reset();
        m_pool.reset();
        ZVNetRelease();
        ZVOnvifRelease();
        ZVAppSetting::Instance()->m_company = 0;
    }

    // Loopback addresses of this test process; n from 1 to 253.
    static std::string Address(int n) { return fakedevice::UniqueLoopbackPrefix() + std::to_string(n); }
    // Nothing listens there.
    static std::string NobodyAddress() { return Address(254); }

private:
    NumberedLanguageTexts m_texts;
    std::unique_ptr<TaskPool> m_pool;
    std::unique_ptr<TaskRecorder> m_recorder;
};

// What a table of operation cases keeps from case to case: the environment
// for the test case's life, the pages' reports and one page that records them.
struct OperationBench
{
    void Start()
    {
        environment = std::make_unique<OperationEnvironment>();
        page = std::make_unique<RecordingListener>(log, QStringLiteral("page"));
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
    QCoreApplication::sendPostedEvents();
    QTest::qWait(30); // a report that should not come has its chance
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
} // namespace TestSupport
