// Reboot page benchmark: fake SDK devices on loopback (200 by default)
// rebooted through the real page: ticked through the header, started by the
// Reboot button. Not a test: run it by hand.
//
// What it measures, per run:
// - one device's time: a batch of one device through the same page, from the
//   click until that device has its final status and is logged out (the
//   median of --single batches, each on a device that is back from its last
//   reboot);
// - the batch's time: the same for all devices at once, until the last of
//   them has its final status and is logged out. It is set against
//   1.2 x ceil(devices / pool threads) x one device's time;
// - the page's own unlock, which comes at the first tick of its 1000 ms busy
//   poll after that;
// - the longest gap of a 5 ms timer on the GUI thread from the click until
//   the page has unlocked itself and the tool bar;
// - that every row shows the reboot's success and every device was rebooted
//   exactly once and came back.
//
// The devices' debug lines (one per logout) are dropped, not printed.
//
//   bench_rebootpage [--devices N] [--runs N] [--single N] [--reboot-ms N]

#include "DeviceInfo.h"
#include "FakeDevice.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "RebootDevice.h"
#include "TaskPool.h"
#include "UiTestSupport.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{
struct BatchResult
{
    bool ended = false;
    qint64 doneMs = 0; // every device has its final status and is logged out
    qint64 unlockMs = 0; // the page and the tool bar are enabled again
    qint64 longestGapMs = 0;
    int rowsOk = 0;
    int rebootedOnce = 0;
    int back = 0;
};

bool AllDone(const QList<DeviceInfo*>& devices)
{
    return std::all_of(devices.cbegin(), devices.cend(), [](const DeviceInfo* device) {
        const int status = device->m_status;
        return (status == StatusRebootOk || status == StatusRebootFailed || status == StatusRebootRequestFailed
                   || status == StatusConnectFailed)
            && !device->m_bLogin && !device->HasOffThreadWork();
    });
}

// Runs the event loop until done() holds, checking every millisecond; false
// after timeoutMs.
template <typename Done> bool RunUntil(Done done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(1);
    loop.exec();
    return done();
}

// One batch of the devices at fakes[first, first + count) through a new page.
BatchResult RunBatch(const std::vector<std::unique_ptr<fakedevice::FakeDevice>>& fakes, size_t first, size_t count)
{
    BatchResult result;
    PageTest::PageOf<RebootDevice> page(0, QSize(1500, 800));
    QList<DeviceInfo*> devices;
    std::vector<int> rebootsBefore;
    for (size_t i = first; i < first + count; ++i) {
        devices << TestSupport::ListedDevice(fakes[i]->State());
        rebootsBefore.push_back(fakes[i]->State().reboots);
    }
    PageTest::ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.SetText("m_pEditUser", QStringLiteral("admin"));
    page.SetText("m_pEditPwd", QStringLiteral("admin123"));
    auto* button = page.Find<QPushButton>("m_pBtnReboot");

    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.elapsed());
        sinceTick.restart();
    });
    QElapsedTimer batch;
    batch.start();
    sinceTick.start();
    ticker.start(5);
    QTest::mouseClick(button, Qt::LeftButton);
    const bool done = RunUntil([&] { return AllDone(devices); }, 300000);
    result.doneMs = batch.elapsed();
    const bool unlocked
        = RunUntil([&] { return button->isEnabled() && PageTest::ToolBarEnabled(page.toolBar); }, 30000);
    result.unlockMs = batch.elapsed();
    ticker.stop();
    result.longestGapMs = std::max(longest, sinceTick.elapsed());
    result.ended = done && unlocked;

    result.rowsOk = page.table.Statuses().count(PageTest::StatusTextOf(StatusRebootOk));
    for (size_t i = 0; i < count; ++i) {
        const fakedevice::FakeDevice& fake = *fakes[first + i];
        result.rebootedOnce += fake.State().reboots == rebootsBefore[i] + 1 ? 1 : 0;
        result.back += fake.WaitListening(10000) ? 1 : 0;
    }
    return result;
}

qint64 Median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg)
            previous(type, context, text);
    });
    const int count = std::clamp(PageTest::BenchOption(argc, argv, "--devices", 200), 1, 250);
    const int runs = PageTest::BenchOption(argc, argv, "--runs", 3);
    const int singles = std::max(1, PageTest::BenchOption(argc, argv, "--single", 5));
    const int rebootMs = PageTest::BenchOption(argc, argv, "--reboot-ms", 300);

    TestSupport::LoadNumberedTexts();
    ZVNetInit();
    ZVSdkSetTimeouts(10000, 10000);
    // The pool the program starts with.
    TaskPool pool(0);
    const int threads = pool.ThreadCount();

    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i)
        addresses.push_back(fakedevice::UniqueLoopbackPrefix() + std::to_string(1 + i));
    const std::vector<std::unique_ptr<fakedevice::FakeDevice>> fakes = fakedevice::MakeDevices(addresses);
    for (const auto& fake : fakes) {
        fake->Update([rebootMs](fakedevice::DeviceState& state) { state.rebootMs = rebootMs; });
        if (!fake->WaitListening()) {
            std::fprintf(stderr, "a fake device cannot listen\n");
            return 1;
        }
    }
    const qint64 rounds = (count + threads - 1) / threads;
    std::printf("%d devices, away %d ms after a reboot, pool of %d threads (%lld rounds)\n", count, rebootMs, threads,
        static_cast<long long>(rounds));
    bool allOk = true;
    for (int run = 1; run <= runs; ++run) {
        std::vector<qint64> single;
        for (int i = 0; i < singles; ++i) {
            const BatchResult one = RunBatch(fakes, size_t(i % count), 1);
            allOk = allOk && one.ended && one.rowsOk == 1 && one.rebootedOnce == 1 && one.back == 1;
            single.push_back(one.doneMs);
        }
        const qint64 oneMs = Median(single);
        const BatchResult result = RunBatch(fakes, 0, size_t(count));
        const double bound = 1.2 * double(rounds) * double(oneMs);
        std::printf("run %d: one device %lld ms (median of %d, %lld..%lld); batch %lld ms against 1.2 x %lld x %lld = "
                    "%.0f ms (%s); page unlocked by its poll at %lld ms; longest GUI timer gap %lld ms (%s); rows "
                    "showing success %d/%d, rebooted once %d, back %d\n",
            run, static_cast<long long>(oneMs), singles,
            static_cast<long long>(*std::min_element(single.begin(), single.end())),
            static_cast<long long>(*std::max_element(single.begin(), single.end())),
            static_cast<long long>(result.doneMs), static_cast<long long>(rounds), static_cast<long long>(oneMs), bound,
            double(result.doneMs) <= bound ? "within" : "over", static_cast<long long>(result.unlockMs),
            static_cast<long long>(result.longestGapMs), result.longestGapMs < 50 ? "under 50" : "50 or more",
            result.rowsOk, count, result.rebootedOnce, result.back);
        std::fflush(stdout);
        allOk = allOk && result.ended && result.rowsOk == count && result.rebootedOnce == count && result.back == count;
    }
    ZVNetRelease();
    return allOk ? 0 : 1;
}
