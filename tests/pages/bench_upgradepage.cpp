// Upgrade page benchmark: a batch of fake SDK devices on loopback (200 by
// default) upgraded through the real page with one firmware file (4 MiB by
// default): ticked through the header, started by the Upgrade button, run
// until the page has unlocked itself and the tool bar. Measures the longest
// gap of a 5 ms timer on the GUI thread during the whole batch, the batch's
// time, and checks that every row ends with its own result and every device
// received exactly the file's bytes. Not a test: run it by hand.
//
//   bench_upgradepage [--devices N] [--size-mib N] [--runs N]

#include "DeviceInfo.h"
#include "FakeDevice.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "TaskPool.h"
#include "UiTestSupport.h"
#include "UpgradeFrame.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <random>

namespace
{
struct RunResult
{
    qint64 ms = 0;
    qint64 longestGapMs = 0;
    qint64 longestGapEndMs = 0; // since the click
    int ok = 0;
    int rowsOk = 0;
    int bytesOk = 0;
};

RunResult RunOnce(const std::vector<std::unique_ptr<fakedevice::FakeDevice>>& fakes, const QString& path,
    const std::string& hash, qint64 size)
{
    RunResult result;
    PageTest::PageOf<UpgradeFrame> page(0, QSize(1500, 800));
    QList<DeviceInfo*> devices;
    std::vector<size_t> upgradesBefore;
    for (const auto& fake : fakes) {
        devices << TestSupport::ListedDevice(fake->State());
        upgradesBefore.push_back(fake->Upgrades().size());
    }
    PageTest::ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.SetText("m_pEditFilePath", path);
    page.Login(QStringLiteral("admin"), QStringLiteral("admin123"));

    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QElapsedTimer batch;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (sinceTick.elapsed() > longest) {
            longest = sinceTick.elapsed();
            result.longestGapEndMs = batch.elapsed();
        }
        sinceTick.restart();
    });
    batch.start();
    sinceTick.start();
    ticker.start(5);
    page.Click("m_pBtnUpgrade");
    const bool done = QTest::qWaitFor(
        [&] { return !page.page->IsBatchRunning() && PageTest::ToolBarEnabled(page.toolBar); }, 600000);
    ticker.stop();
    result.ms = batch.elapsed();
    result.longestGapMs = longest;
    if (!done)
        std::fprintf(stderr, "the batch did not end within 10 minutes\n");

    result.rowsOk = page.table.Statuses().count(PageTest::StatusTextOf(StatusUpgradeOk));
    for (const DeviceInfo* device : devices)
        result.ok += device->m_status == StatusUpgradeOk ? 1 : 0;
    for (size_t i = 0; i < fakes.size(); ++i) {
        const std::vector<fakedevice::UpgradeRecord> upgrades = fakes[i]->Upgrades();
        if (upgrades.size() == upgradesBefore[i] + 1 && upgrades.back().sha256 == hash
            && upgrades.back().receivedSize == uint64_t(size))
            ++result.bytesOk;
    }
    return result;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = std::min(250, PageTest::BenchOption(argc, argv, "--devices", 200));
    const int sizeMiB = PageTest::BenchOption(argc, argv, "--size-mib", 4);
    const int runs = PageTest::BenchOption(argc, argv, "--runs", 3);

    TestSupport::LoadNumberedTexts();
    ZVNetInit();
    ZVSdkSetTimeouts(10000, 10000);
    TaskPool pool(QThread::idealThreadCount() * 2 + 2);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("firmware.sw"));
    const QByteArray image = TestSupport::RandomBytes(sizeMiB * 1024 * 1024, 1);
    TestSupport::WriteFile(path, image);
    const std::string hash = TestSupport::Sha256Hex(image);

    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i)
        addresses.push_back(fakedevice::UniqueLoopbackPrefix() + std::to_string(1 + i));
    const std::vector<std::unique_ptr<fakedevice::FakeDevice>> fakes = fakedevice::MakeDevices(addresses);
    for (const auto& fake : fakes) {
        if (!fake->WaitListening()) {
            std::fprintf(stderr, "a fake device cannot listen\n");
            return 1;
        }
    }
    std::printf(
        "%d devices, %d MiB firmware, pool of %d threads\n", count, sizeMiB, QThread::idealThreadCount() * 2 + 2);
    bool allOk = true;
    for (int run = 1; run <= runs; ++run) {
        const RunResult result = RunOnce(fakes, path, hash, image.size());
        std::printf("run %d: batch %lld ms, longest GUI timer gap %lld ms (ending %lld ms after the click), upgraded "
                    "%d/%d, rows showing success %d, "
                    "devices with the file's exact bytes %d\n",
            run, static_cast<long long>(result.ms), static_cast<long long>(result.longestGapMs),
            static_cast<long long>(result.longestGapEndMs), result.ok, count, result.rowsOk, result.bytesOk);
        allOk = allOk && result.ok == count && result.rowsOk == count && result.bytesOk == count;
    }
    ZVNetRelease();
    return allOk ? 0 : 1;
}
