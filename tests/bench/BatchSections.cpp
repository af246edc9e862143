// Batches of 200 fake SDK devices on loopback against the task pool's bound
// (the pool the program starts with: 2 x processors + 2 threads):
// - network change: every device's task queued at once, as the search page
//   queues them, each device moved to an address of its own;
// - reboot through the real page (ticked through the header, started by the
//   Reboot button), each device away 300 ms after its reboot; also the GUI
//   thread's time in the click itself.
// Per batch: the time from the start until every device has its final status,
// is logged out and has no work left off the GUI thread, against
// 1.2 x ceil(devices / pool threads) x one device's time (the median of
// single-device batches the same way); the peak of device tasks running at
// once on the pool (shown beside the pool's bound, which it cannot pass: the
// pool has that many threads); and the longest GUI timer gap. Every device
// must succeed (on the device side too), else the section fails.

#include "DeviceFixtures.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "FakeDevice.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "RebootDevice.h"
#include "Sections.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace bench
{
namespace
{
constexpr int kBatchDevices = 200;
constexpr int kRebootAwayMs = 300;

struct BatchResult
{
    bool ended = false;
    double doneMs = 0;
    int peak = 0;
    qint64 gapMs = 0;
    QString gapWhy;
    int succeeded = 0; // on the program's side and on the device's
    double clickMs = -1; // the GUI thread's time in the button's click; -1: no click
};

// Loopback SDK protocol fakes, with the SDK set up as the program sets it.
class SdkFleet
{
public:
    explicit SdkFleet(int count, int rebootMs = 0)
    {
        ZVNetInit();
        ZVSdkSetTimeouts(10000, 10000);
        // The network change also asks the search targets: nobody listens there.
        const std::string nobody = fakedevice::UniqueLoopbackPrefix(3) + "254";
        const char* target = nobody.c_str();
        ZVSdkSetSearchTargets(&target, 1);
        std::vector<std::string> addresses;
        for (int i = 0; i < count; ++i)
            addresses.push_back(fakedevice::UniqueLoopbackPrefix(0) + std::to_string(1 + i));
        fakes = fakedevice::MakeDevices(addresses);
        for (const auto& fake : fakes) {
            fake->Update([rebootMs](fakedevice::DeviceState& state) { state.rebootMs = rebootMs; });
            listening = listening && fake->WaitListening();
        }
    }
    ~SdkFleet()
    {
        fakes.clear();
        ZVNetRelease();
    }
    std::vector<std::unique_ptr<fakedevice::FakeDevice>> fakes;
    bool listening = true;
};

class EndListener : public DeviceTaskListener
{
public:
    void OnDeviceTaskFinished(DeviceInfo*, bool finished) override { ended += finished ? 1 : 0; }
    int ended = 0;
};

bool Settled(const DeviceInfo* device)
{
    return !device->IsBusy() && !device->m_bLogin && !device->HasOffThreadWork();
}

// Network change of fakes[first, first + count), each to an address of the
// other loopback block than the one it is at, queued from the GUI thread as
// the search page queues it.
BatchResult NetworkBatch(SdkFleet& fleet, PoolLoad& load, size_t first, size_t count)
{
    BatchResult result;
    EndListener page;
    std::vector<std::unique_ptr<DeviceInfo>> devices;
    std::vector<std::string> targets;
    for (size_t i = first; i < first + count; ++i) {
        const fakedevice::DeviceState state = fleet.fakes[i]->State();
        devices.emplace_back(TestSupport::ListedDevice(state));
        const std::string inFirst = fakedevice::UniqueLoopbackPrefix(1) + std::to_string(1 + i);
        targets.push_back(state.ip == inFirst ? fakedevice::UniqueLoopbackPrefix(2) + std::to_string(1 + i) : inFirst);
        devices.back()->m_pSearchFrame = &page;
        devices.back()->SetNetworkParams(
            QString::fromStdString(targets.back()), 0, 0, QString(), QString(), 2, QString(), QString());
    }
    GuiGapMeter gap;
    load.ResetPeak();
    QElapsedTimer batch;
    batch.start();
    gap.Start();
    for (const auto& device : devices)
        QueueDeviceTask(&ModifyNetworkTask, device.get());
    result.ended = RunUntil(
        [&] {
            return page.ended == int(count)
                && std::all_of(devices.begin(), devices.end(), [](const auto& d) { return Settled(d.get()); });
        },
        120000);
    result.doneMs = batch.nsecsElapsed() / 1e6;
    result.gapMs = gap.Stop();
    result.gapWhy = gap.Explanation();
    result.peak = load.Peak();
    QCoreApplication::sendPostedEvents();
    for (size_t i = 0; i < count; ++i) {
        const fakedevice::FakeDevice& fake = *fleet.fakes[first + i];
        if (devices[i]->m_status == StatusOk && fake.State().ip == targets[i] && fake.WaitListening(10000))
            ++result.succeeded;
    }
    return result;
}

bool RebootDone(const QList<DeviceInfo*>& devices)
{
    return std::all_of(devices.cbegin(), devices.cend(), [](const DeviceInfo* device) {
        const int status = device->m_status;
        return (status == StatusRebootOk || status == StatusRebootFailed || status == StatusRebootRequestFailed
                   || status == StatusConnectFailed)
            && !device->m_bLogin && !device->HasOffThreadWork();
    });
}

// One reboot batch of fakes[first, first + count) through a new page.
BatchResult RebootBatch(SdkFleet& fleet, PoolLoad& load, size_t first, size_t count)
{
    BatchResult result;
    PageTest::PageOf<RebootDevice> page(0, QSize(1500, 800));
    QList<DeviceInfo*> devices;
    std::vector<int> rebootsBefore;
    for (size_t i = first; i < first + count; ++i) {
        devices << TestSupport::ListedDevice(fleet.fakes[i]->State());
        rebootsBefore.push_back(fleet.fakes[i]->State().reboots);
    }
    PageTest::ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.SetText("m_pEditUser", QStringLiteral("admin"));
    page.SetText("m_pEditPwd", QStringLiteral("admin123"));
    auto* button = page.Find<QPushButton>("m_pBtnReboot");

    GuiGapMeter gap;
    load.ResetPeak();
    QElapsedTimer batch;
    batch.start();
    gap.Start();
    QElapsedTimer click;
    click.start();
    // Press and release are delivered at once, the click's slot within them.
    QTest::mouseClick(button, Qt::LeftButton);
    result.clickMs = click.nsecsElapsed() / 1e6;
    const bool done = RunUntil([&] { return RebootDone(devices); }, 300000);
    result.doneMs = batch.nsecsElapsed() / 1e6;
    result.peak = load.Peak();
    // The gap runs on until the page has unlocked itself and the tool bar.
    const bool unlocked
        = RunUntil([&] { return button->isEnabled() && PageTest::ToolBarEnabled(page.toolBar); }, 30000);
    result.gapMs = gap.Stop();
    result.gapWhy = gap.Explanation();
    result.ended = done && unlocked;

    const QString ok = PageTest::StatusTextOf(StatusRebootOk);
    for (size_t i = 0; i < count; ++i) {
        const fakedevice::FakeDevice& fake = *fleet.fakes[first + i];
        const bool rowOk = page.table.Status(int(i)) == ok;
        if (rowOk && fake.State().reboots == rebootsBefore[i] + 1 && fake.WaitListening(10000))
            ++result.succeeded;
    }
    return result;
}

// Runs single-device batches, then the whole batch, options.runs times, and
// writes the batch's figure and its GUI gap.
Outcome Measure(const Options& options, Report& report, const QString& what, const QString& measures,
    const std::function<BatchResult(size_t first, size_t count)>& run)
{
    const int singles = options.quick ? 3 : 5;
    const int bound = PoolLoad::Bound();
    const int rounds = (kBatchDevices + bound - 1) / bound;
    Series one, whole, gaps, clicks;
    int peak = 0;
    QString fault, gapWhy;
    qint64 worstGap = -1;
    for (int r = 0; r < options.runs && fault.isEmpty(); ++r) {
        Series single;
        for (int i = 0; i < singles && fault.isEmpty(); ++i) {
            const BatchResult s = run(size_t(i), 1);
            if (!s.ended || s.succeeded != 1)
                fault = QStringLiteral("a single-device %1 did not succeed").arg(what);
            single.Add(s.doneMs);
        }
        one.Add(single.Median());
        const BatchResult b = run(0, kBatchDevices);
        if (!b.ended)
            fault = QStringLiteral("the %1 batch did not end").arg(what);
        else if (b.succeeded != kBatchDevices)
            fault = QStringLiteral("%1 of %2 devices succeeded").arg(b.succeeded).arg(kBatchDevices);
        whole.Add(b.doneMs);
        gaps.Add(b.gapMs);
        if (b.clickMs >= 0)
            clicks.Add(b.clickMs);
        peak = std::max(peak, b.peak);
        if (b.gapMs > worstGap) {
            worstGap = b.gapMs;
            gapWhy = b.gapWhy;
        }
    }
    const double limit = 1.2 * rounds * one.Median();
    Figure figure;
    figure.title = QStringLiteral("batch %1 of 200 devices against the pool bound").arg(what);
    figure.measures = measures
        + QStringLiteral("; one device's time is the median of %1 single-device batches per run; peak device tasks "
                         "running at once, counted as they run on the pool threads (shown, not a goal: the pool has "
                         "exactly as many threads as its bound)")
              .arg(singles);
    figure.figure = QStringLiteral("all ended after %1; one device %2; peak %3 device tasks at once")
                        .arg(whole.Text("ms", 1), one.Text("ms", 2))
                        .arg(peak);
    figure.peer = QStringLiteral("the pool's bound: %1 threads, so %2 rounds; 1.2 x %2 x one device = %3 ms")
                      .arg(bound)
                      .arg(rounds)
                      .arg(limit, 0, 'f', 1);
    figure.goal = QStringLiteral("every device succeeds; all ended within 1.2 x rounds x one device");
    const bool inTime = whole.Median() <= limit;
    figure.met = fault.isEmpty() && inTime;
    figure.gap = !fault.isEmpty() ? fault
        : !inTime
        ? QStringLiteral("median %1 ms over the %2 ms bound").arg(whole.Median(), 0, 'f', 1).arg(limit, 0, 'f', 1)
        : QString();
    report.Add(figure);

    if (!clicks.IsEmpty()) {
        Figure clickFigure;
        clickFigure.title = QStringLiteral("GUI time of the click: %1 batch of 200 devices").arg(what);
        clickFigure.measures = QStringLiteral("the time the GUI thread spends delivering the button's press and "
                                              "release, the click's slot included (every ticked device prepared, "
                                              "the batch's rows refreshed, each device's task queued), 200 ticked "
                                              "rows");
        clickFigure.figure = clicks.Text("ms", 2);
        clickFigure.goal = QStringLiteral("at most 10 ms in every run (plain build)");
        clickFigure.met = clicks.Max() <= 10;
        clickFigure.gap = QStringLiteral("%1 ms").arg(clicks.Max(), 0, 'f', 2);
        report.Add(clickFigure);
    }

    Figure gapFigure;
    gapFigure.title = QStringLiteral("longest GUI timer gap: %1 batch of 200 devices").arg(what);
    gapFigure.measures = QStringLiteral("the longest time the GUI thread went without running a 5 ms timer, from "
                                        "the batch's start until it ended (%1)")
                             .arg(what);
    gapFigure.figure = QStringLiteral("%1; worst run: %2").arg(gaps.Text("ms"), gapWhy);
    gapFigure.goal = QStringLiteral("under 50 ms in every run (plain build)");
    gapFigure.met = gaps.Max() < 50;
    gapFigure.gap = QStringLiteral("%1 ms").arg(gaps.Max(), 0, 'f', 0);
    report.Add(gapFigure);
    return fault.isEmpty() ? Outcome::Ok() : Outcome::Failed(fault);
}
} // namespace

Outcome NetworkBatchSection(const Options& options, Report& report)
{
    TestSupport::NumberedLanguageTexts texts;
    SdkFleet fleet(kBatchDevices);
    if (!fleet.listening)
        return Outcome::Failed(QStringLiteral("a fake device cannot listen"));
    PoolLoad load;
    return Measure(options, report, QStringLiteral("network change"),
        QStringLiteral("ModifyNetworkTask queued for every device at once (QueueDeviceTask, as the search page does), "
                       "each device moved to a loopback address of its own; from the first queued task until every "
                       "device has reported its end, is logged out and has no work left off the GUI thread"),
        [&](size_t first, size_t count) { return NetworkBatch(fleet, load, first, count); });
}

Outcome RebootBatchSection(const Options& options, Report& report)
{
    TestSupport::LoadNumberedTexts();
    SdkFleet fleet(kBatchDevices, kRebootAwayMs);
    if (!fleet.listening)
        return Outcome::Failed(QStringLiteral("a fake device cannot listen"));
    PoolLoad load;
    return Measure(options, report, QStringLiteral("reboot"),
        QStringLiteral("the reboot page, every row ticked through the header and the Reboot button clicked, each "
                       "device away %1 ms after its reboot; from the click until every device has its final status, "
                       "is logged out and has no work left off the GUI thread (the GUI gap runs on until the page "
                       "has unlocked itself)")
            .arg(kRebootAwayMs),
        [&](size_t first, size_t count) { return RebootBatch(fleet, load, first, count); });
}
} // namespace bench
