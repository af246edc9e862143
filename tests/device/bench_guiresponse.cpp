// GUI-responsiveness benchmark: batches of devices that take the connection
// and then stop answering, run through operations that wait on the device.
// A 5 ms timer on the GUI thread measures the longest time the thread went
// without running it while each batch ran, from the first queued task to the
// last device's end, and the longest single event the thread delivered (the
// program's own share of a gap), with what the scheduler says of the longest
// gap: how long the thread ran in it and how long it was runnable but waited
// for a processor. Every device must end with a failure status.
//
//   100 HTTP-API devices (customer code 43): network change, then reboot
//   100 ONVIF devices: ONVIF network change
//
// Not a test: run it by hand.   bench_guiresponse [--devices N]

#include "DeviceFixtures.h"
#include "DeviceInfo.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "TaskPool.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace
{
// Times every event the GUI thread delivers: the longest one is what the
// program itself kept the thread busy with; the rest of a timer gap is the
// thread waiting for a processor.
class TimingApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth++ > 0) {
            const bool handled = QCoreApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        ++m_events;
        QElapsedTimer timer;
        timer.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        m_longestNs = qMax(m_longestNs, timer.nsecsElapsed());
        --m_depth;
        return handled;
    }
    // Events delivered since the last call.
    int TakeEvents()
    {
        const int events = m_events;
        m_events = 0;
        return events;
    }
    qint64 TakeLongestNs()
    {
        const qint64 longest = m_longestNs;
        m_longestNs = 0;
        return longest;
    }

private:
    int m_depth = 0;
    int m_events = 0;
    qint64 m_longestNs = 0;
};

// The calling thread's scheduler figures (Linux schedstat): nanoseconds on a
// processor and nanoseconds runnable but waiting for one.
struct SchedFigures
{
    qint64 runNs = 0;
    qint64 waitNs = 0;
};

class SchedReader
{
public:
    SchedReader()
    {
        const std::string path
            = "/proc/self/task/" + std::to_string(static_cast<long>(syscall(SYS_gettid))) + "/schedstat";
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    ~SchedReader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SchedFigures Read() const
    {
        SchedFigures figures;
        char text[128] = {};
        if (m_fd >= 0 && ::pread(m_fd, text, sizeof(text) - 1, 0) > 0) {
            long long run = 0, wait = 0;
            if (std::sscanf(text, "%lld %lld", &run, &wait) == 2) {
                figures.runNs = run;
                figures.waitNs = wait;
            }
        }
        return figures;
    }

private:
    int m_fd = -1;
};

class EndCounter : public DeviceTaskListener
{
public:
    void OnDeviceTaskFinished(DeviceInfo*, bool finished) override { m_finished += finished ? 1 : 0; }
    int Finished() const { return m_finished; }
    void Clear() { m_finished = 0; }

private:
    int m_finished = 0;
};

struct BatchResult
{
    qint64 elapsedMs = 0;
    qint64 longestGapMs = 0;
    qint64 longestGapAtMs = 0; // when the longest gap ended, from the batch's start
    qint64 longestEventUs = 0; // the longest single event delivery on the GUI thread
    // Within the longest gap: the GUI thread on a processor, and runnable but
    // kept waiting for one.
    qint64 gapRunUs = 0;
    qint64 gapWaitUs = 0;
    int gapEvents = 0; // events the GUI thread delivered within the longest gap
    int failed = 0; // devices that ended with a failure status
    bool ended = false;
};

bool IsFailure(int status)
{
    switch (status) {
    case StatusConnectFailed:
    case StatusParamError:
    case StatusRefused:
    case StatusFailed:
    case StatusRebootFailed:
    case StatusRebootRequestFailed: return true;
    default: return false;
    }
}

// Queues task for every device and runs the event loop until none is busy.
BatchResult RunBatch(const std::vector<std::unique_ptr<DeviceInfo>>& devices, void (*task)(void*), int timeoutMs)
{
    BatchResult result;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QElapsedTimer batch;
    const SchedReader sched;
    SchedFigures lastTick = sched.Read();
    auto* app = static_cast<TimingApplication*>(QCoreApplication::instance());
    app->TakeEvents();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        const SchedFigures now = sched.Read();
        const int events = app->TakeEvents();
        if (gap > result.longestGapMs) {
            result.gapEvents = events;
            result.longestGapMs = gap;
            result.longestGapAtMs = batch.elapsed();
            result.gapRunUs = (now.runNs - lastTick.runNs) / 1000;
            result.gapWaitUs = (now.waitNs - lastTick.waitNs) / 1000;
        }
        lastTick = now;
    });
    batch.start();
    sinceTick.start();
    ticker.start();
    for (const auto& device : devices) {
        device->m_status = StatusWaiting;
        QueueDeviceTask(task, device.get());
    }
    auto busy = [&] {
        for (const auto& device : devices) {
            if (device->IsBusy() || device->HasOffThreadWork())
                return true;
        }
        return false;
    };
    app->TakeLongestNs();
    // The event loop runs as the window's would; a check every 100 ms ends it.
    QEventLoop loop;
    QTimer check;
    check.setInterval(100);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!busy() || batch.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start();
    loop.exec();
    check.stop();
    result.longestEventUs = app->TakeLongestNs() / 1000;
    // The last tick's gap counts too.
    result.longestGapMs = qMax(result.longestGapMs, sinceTick.elapsed());
    ticker.stop();
    result.elapsedMs = batch.elapsed();
    result.ended = !busy();
    for (const auto& device : devices)
        result.failed += IsFailure(device->m_status) ? 1 : 0;
    return result;
}

void Print(const char* name, int count, const BatchResult& result)
{
    std::printf("%-24s %4d devices %6.1f s  longest GUI gap %3lld ms (at %5.1f s; in it on CPU %5.1f ms, waiting "
                "for a CPU %5.1f ms, %d events)  longest event %5.2f ms  failed %d/%d%s\n",
        name, count, result.elapsedMs / 1000.0, static_cast<long long>(result.longestGapMs),
        result.longestGapAtMs / 1000.0, result.gapRunUs / 1000.0, result.gapWaitUs / 1000.0, result.gapEvents,
        result.longestEventUs / 1000.0, result.failed, count, result.ended ? "" : "  (NOT ENDED)");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    TimingApplication app(argc, argv);
    int count = 100;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--devices") == 0)
            count = qBound(1, std::atoi(argv[i + 1]), 250);
    }
    TestSupport::NumberedLanguageTexts texts;
    ZVNetInit();
    ZVOnvifInit();
    const std::string nobody = fakedevice::UniqueLoopbackPrefix(2) + "254";
    const char* target = nobody.c_str();
    ZVSdkSetSearchTargets(&target, 1);
    EndCounter page;
    bool allGood = true;

    {
        // HTTP API: the login is answered, nothing after it.
        ZVAppSetting::Instance()->m_company = 43;
        std::vector<std::string> addresses;
        for (int i = 1; i <= count; ++i)
            addresses.push_back(fakedevice::UniqueLoopbackPrefix(0) + std::to_string(i));
        auto apis = fakedevice::MakeHttpDevices(addresses, 0);
        if (apis.size() != addresses.size()) {
            std::fprintf(stderr, "the fake HTTP devices did not start\n");
            return 1;
        }
        fakedevice::HttpFaults silent;
        silent.silentAfterLogin = true;
        std::vector<std::unique_ptr<DeviceInfo>> devices;
        for (const auto& api : apis) {
            api->SetFaults(silent);
            const fakedevice::HttpDeviceState state = api->State();
            devices.emplace_back(
                TestSupport::NewDevice(nullptr, QString::fromStdString(api->Ip()), QString(), 1, 9000, api->Port()));
            devices.back()->m_user = QString::fromStdString(state.user);
            devices.back()->m_password = QString::fromStdString(state.password);
            devices.back()->m_pSearchFrame = &page;
            devices.back()->m_pRebootDevice = &page;
        }
        for (const auto& device : devices)
            device->SetNetworkParams(QString(), 0, 0, QString(), QString(), 2, QString(), QString());
        const BatchResult change = RunBatch(devices, &ModifyNetworkTask, 600000);
        Print("HTTP API network change", count, change);
        for (const auto& device : devices)
            device->m_pSearchFrame = nullptr;
        const BatchResult reboot = RunBatch(devices, &RebootTask, 600000);
        Print("HTTP API reboot", count, reboot);
        allGood = allGood && change.ended && reboot.ended && change.failed == count && reboot.failed == count
            && change.longestGapMs < 50 && reboot.longestGapMs < 50;
        devices.clear();
    }

    {
        // ONVIF: the connection is made, nothing after it is answered.
        ZVAppSetting::Instance()->m_company = 0;
        std::vector<std::unique_ptr<fakedevice::FakeOnvif>> onvifs;
        std::vector<std::unique_ptr<DeviceInfo>> devices;
        fakedevice::OnvifFaults silent;
        silent.silentAfterConnect = true;
        for (int i = 1; i <= count; ++i) {
            fakedevice::OnvifState state
                = fakedevice::OnvifStateFor(fakedevice::UniqueLoopbackPrefix(1) + std::to_string(i), i);
            onvifs.push_back(std::make_unique<fakedevice::FakeOnvif>(state));
            if (!onvifs.back()->WaitListening()) {
                std::fprintf(stderr, "the fake ONVIF devices did not start\n");
                return 1;
            }
            onvifs.back()->SetFaults(silent);
            DeviceInfo* device
                = TestSupport::NewDevice(nullptr, QString::fromStdString(state.ip), QString(), 1, 0, state.webPort);
            const SearchDevRsp record = device->m_searchRsp;
            device->InitFromSearchRsp(&record, true);
            device->m_user = QString::fromStdString(state.user);
            device->m_password = QString::fromStdString(state.password);
            device->m_pSearchFrame = &page;
            device->SetNetworkAddress(QStringLiteral("10.9.9.9"), 0, 0, QString(), QString(), 2);
            devices.emplace_back(device);
        }
        const BatchResult change = RunBatch(devices, &ModifyOnvifNetworkTask, 600000);
        Print("ONVIF network change", count, change);
        allGood = allGood && change.ended && change.failed == count && change.longestGapMs < 50;
        devices.clear();
    }

    ZVNetRelease();
    ZVOnvifRelease();
    std::printf("%s\n", allGood ? "every device failed; the GUI gap stayed under 50 ms" : "NOT MET");
    return allGood ? 0 : 1;
}
