// Upgrade page benchmark: a batch of fake SDK devices on loopback (200 by
// default) upgraded through the real page with one firmware file (4 MiB by
// default): ticked through the header, started by the Upgrade button, run
// until the page has unlocked itself and the tool bar. Measures the longest
// gap of a 5 ms timer on the GUI thread during the whole batch, the batch's
// time, and checks that every row ends with its own result and every device
// received exactly the file's bytes. Not a test: run it by hand.
//
//   bench_upgradepage [--devices N] [--size-mib N] [--runs N]

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "FakeDevice.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "TaskPool.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "UpgradeFrame.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QPushButton>
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
    ToolBarFrame toolBar;
    UpgradeFrame page;
    page.m_pToolBarFrame = &toolBar;
    page.resize(1500, 800);
    page.show();
    QList<DeviceInfo*> devices;
    std::vector<size_t> upgradesBefore;
    for (const auto& fake : fakes) {
        devices << TestSupport::ListedDevice(fake->State());
        upgradesBefore.push_back(fake->Upgrades().size());
    }
    DeviceInfoMng::Instance()->ReplaceLanDevices(devices);
    page.RefreshDeviceList();
    auto* view = page.findChild<CheckBoxTableView*>(QStringLiteral("m_pDeviceTableView"));
    CheckBoxHeaderView* header = view->checkBoxHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, header->boxRect(0).center());
    page.findChild<LineEdit*>(QStringLiteral("m_pEditFilePath"))->setText(path);
    page.findChild<LineEdit*>(QStringLiteral("m_pEditUserName"))->setText(QStringLiteral("admin"));
    page.findChild<LineEdit*>(QStringLiteral("m_pEditPassword"))->setText(QStringLiteral("admin123"));

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
    QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("m_pBtnUpgrade")), Qt::LeftButton);
    const bool done = QTest::qWaitFor(
        [&] { return !page.IsBatchRunning() && toolBar.Button(ToolBarFrame::ButtonUpgrade)->isEnabled(); }, 600000);
    ticker.stop();
    result.ms = batch.elapsed();
    result.longestGapMs = longest;
    if (!done)
        std::fprintf(stderr, "the batch did not end within 10 minutes\n");

    const QString ok = PageTest::StatusTextOf(StatusUpgradeOk);
    const int statusColumn = CheckBoxTableModel::FromViewModel(view->model())->columnOfHeader(44);
    for (int row = 0; row < view->model()->rowCount(); ++row)
        result.rowsOk += view->model()->index(row, statusColumn).data().toString() == ok ? 1 : 0;
    for (const DeviceInfo* device : devices)
        result.ok += device->m_status == StatusUpgradeOk ? 1 : 0;
    for (size_t i = 0; i < fakes.size(); ++i) {
        const std::vector<fakedevice::UpgradeRecord> upgrades = fakes[i]->Upgrades();
        if (upgrades.size() == upgradesBefore[i] + 1 && upgrades.back().sha256 == hash
            && upgrades.back().receivedSize == uint64_t(size))
            ++result.bytesOk;
    }
    page.ClearDeviceList();
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
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
