// The longest GUI timer gap during batches that wait on their devices, with
// what explains it (see GuiGapMeter):
// - 100 HTTP-API devices (customer code 43) that take the login and then stop
//   answering: network change, then reboot;
// - 100 ONVIF devices that take the connection and answer nothing after it:
//   ONVIF network change (every device in these three batches must end with a
//   failure status);
// - 200 fake SDK devices upgraded through the real page with a 4 MiB file,
//   until the page has unlocked itself and the tool bar (every row must show
//   success and every device hold exactly the file's bytes).
// With --quick the two silent kinds are two pool rounds of devices (each
// round waits out the devices' time-outs), not 100.
// The network change and reboot batches of 200 succeeding devices are
// measured in their own sections.

#include "DeviceFixtures.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"
#include "Sections.h"
#include "TaskPool.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "UpgradeFrame.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "ZVSdkConfig.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

namespace bench
{
namespace
{
constexpr int kUpgradeDevices = 200;
constexpr int kUpgradeMiB = 4;
constexpr qint64 kGoalMs = 50;

class EndCounter : public DeviceTaskListener
{
public:
    void OnDeviceTaskFinished(DeviceInfo*, bool) override { }
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

struct GapRun
{
    bool ended = false;
    int good = 0; // devices that ended as they must
    qint64 batchMs = 0;
    qint64 gapMs = 0;
    QString why;
};

// Queues task for every device and runs the event loop until none is busy.
GapRun SilentBatch(const std::vector<std::unique_ptr<DeviceInfo>>& devices, void (*task)(void*))
{
    GapRun result;
    GuiGapMeter gap;
    QElapsedTimer batch;
    batch.start();
    gap.Start();
    for (const auto& device : devices) {
        device->m_status = StatusWaiting;
        QueueDeviceTask(task, device.get());
    }
    result.ended = RunUntil(
        [&] {
            return std::none_of(devices.begin(), devices.end(),
                [](const auto& device) { return device->IsBusy() || device->HasOffThreadWork(); });
        },
        600000);
    result.gapMs = gap.Stop();
    result.why = gap.Explanation();
    result.batchMs = batch.elapsed();
    for (const auto& device : devices)
        result.good += IsFailure(device->m_status) ? 1 : 0;
    return result;
}

GapRun UpgradeBatch(const std::vector<std::unique_ptr<fakedevice::FakeDevice>>& fakes, const QString& path,
    const std::string& hash, qint64 size)
{
    GapRun result;
    PageTest::PageOf<UpgradeFrame> page(ZVAppSetting::Instance()->m_company, QSize(1500, 800));
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

    GuiGapMeter gap;
    QElapsedTimer batch;
    batch.start();
    gap.Start();
    page.Click("m_pBtnUpgrade");
    result.ended
        = RunUntil([&] { return !page.page->IsBatchRunning() && PageTest::ToolBarEnabled(page.toolBar); }, 600000);
    result.gapMs = gap.Stop();
    result.why = gap.Explanation();
    result.batchMs = batch.elapsed();

    const QString ok = PageTest::StatusTextOf(StatusUpgradeOk);
    for (size_t i = 0; i < fakes.size(); ++i) {
        const std::vector<fakedevice::UpgradeRecord> upgrades = fakes[i]->Upgrades();
        const bool rowOk = page.table.Status(int(i)) == ok;
        if (rowOk && devices[int(i)]->m_status == StatusUpgradeOk && upgrades.size() == upgradesBefore[i] + 1
            && upgrades.back().sha256 == hash && upgrades.back().receivedSize == uint64_t(size))
            ++result.good;
    }
    return result;
}

// Runs batch options.runs times and writes its figure; a fault when a batch
// did not end or a device did not end as it must.
QString GapFigure(const Options& options, Report& report, const QString& title, const QString& measures, int devices,
    const std::function<GapRun()>& batch)
{
    Series gaps, times;
    QString fault, worstWhy;
    qint64 worst = -1;
    for (int run = 0; run < options.runs; ++run) {
        const GapRun r = batch();
        gaps.Add(r.gapMs);
        times.Add(r.batchMs);
        if (r.gapMs > worst) {
            worst = r.gapMs;
            worstWhy = r.why;
        }
        if (!r.ended)
            fault = QStringLiteral("%1: the batch did not end").arg(title);
        else if (r.good != devices)
            fault = QStringLiteral("%1: %2 of %3 devices ended as they must").arg(title).arg(r.good).arg(devices);
        if (!fault.isEmpty())
            break;
    }
    Figure figure;
    figure.title = QStringLiteral("longest GUI timer gap: %1").arg(title);
    figure.measures = measures;
    figure.figure = QStringLiteral("%1; batch %2; worst run: %3").arg(gaps.Text("ms"), times.Text("ms"), worstWhy);
    figure.goal = QStringLiteral("under %1 ms in every run (plain build)").arg(kGoalMs);
    figure.met = fault.isEmpty() && gaps.Max() < kGoalMs;
    figure.gap = fault.isEmpty() ? QStringLiteral("%1 ms").arg(gaps.Max(), 0, 'f', 0) : fault;
    report.Add(figure);
    return fault;
}
} // namespace

Outcome GuiGapSection(const Options& options, Report& report)
{
    TestSupport::LoadNumberedTexts();
    ZVNetInit();
    ZVOnvifInit();
    const std::string nobody = fakedevice::UniqueLoopbackPrefix(3) + "254";
    const char* target = nobody.c_str();
    ZVSdkSetSearchTargets(&target, 1);
    EndCounter page;
    QString fault;
    const int silentDevices = options.quick ? 2 * PoolLoad::Bound() : 100;
    const QString silentMeasures = QStringLiteral(
        "from the first queued task until the last device has ended, %1 devices that %2; every device must end with "
        "a failure status");

    {
        // HTTP API: the login is answered, nothing after it.
        ZVAppSetting::Instance()->m_company = 43;
        std::vector<std::string> addresses;
        for (int i = 1; i <= silentDevices; ++i)
            addresses.push_back(fakedevice::UniqueLoopbackPrefix(0) + std::to_string(i));
        auto apis = fakedevice::MakeHttpDevices(addresses, 0);
        if (apis.size() != addresses.size())
            return Outcome::Failed(QStringLiteral("the fake HTTP devices did not start"));
        fakedevice::HttpFaults silent;
        silent.silentAfterLogin = true;
        std::vector<std::unique_ptr<DeviceInfo>> devices;
        for (const auto& api : apis) {
            api->SetFaults(silent);
            devices.emplace_back(TestSupport::ListedHttpDevice(*api));
            devices.back()->m_pSearchFrame = &page;
            devices.back()->m_pRebootDevice = &page;
        }
        const QString http
            = silentMeasures.arg(silentDevices).arg(QStringLiteral("take the login and then stop answering (code 43)"));
        fault = GapFigure(options, report, QStringLiteral("HTTP API network change, %1 devices").arg(silentDevices),
            http, silentDevices, [&] {
                for (const auto& device : devices)
                    device->SetNetworkParams(QString(), 0, 0, QString(), QString(), 2, QString(), QString());
                return SilentBatch(devices, &ModifyNetworkTask);
            });
        for (const auto& device : devices)
            device->m_pSearchFrame = nullptr;
        if (fault.isEmpty()) {
            fault = GapFigure(options, report, QStringLiteral("HTTP API reboot, %1 devices").arg(silentDevices), http,
                silentDevices, [&] { return SilentBatch(devices, &RebootTask); });
        }
        devices.clear();
        ZVAppSetting::Instance()->m_company = 0;
    }

    if (fault.isEmpty()) {
        // ONVIF: the connection is made, nothing after it is answered.
        std::vector<std::unique_ptr<fakedevice::FakeOnvif>> onvifs;
        std::vector<std::unique_ptr<DeviceInfo>> devices;
        fakedevice::OnvifFaults silent;
        silent.silentAfterConnect = true;
        for (int i = 1; i <= silentDevices; ++i) {
            const fakedevice::OnvifState state
                = fakedevice::OnvifStateFor(fakedevice::UniqueLoopbackPrefix(1) + std::to_string(i), i);
            onvifs.push_back(std::make_unique<fakedevice::FakeOnvif>(state));
            if (!onvifs.back()->WaitListening())
                return Outcome::Failed(QStringLiteral("the fake ONVIF devices did not start"));
            onvifs.back()->SetFaults(silent);
            devices.emplace_back(TestSupport::ListedOnvifDevice(state));
            devices.back()->m_pSearchFrame = &page;
        }
        fault = GapFigure(options, report, QStringLiteral("ONVIF network change, %1 devices").arg(silentDevices),
            silentMeasures.arg(silentDevices).arg(QStringLiteral("take the connection and answer nothing after it")),
            silentDevices, [&] {
                for (const auto& device : devices)
                    device->SetNetworkAddress(QStringLiteral("10.9.9.9"), 0, 0, QString(), QString(), 2);
                return SilentBatch(devices, &ModifyOnvifNetworkTask);
            });
    }

    if (fault.isEmpty()) {
        ZVSdkSetTimeouts(10000, 10000);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("firmware.sw"));
        const QByteArray image = TestSupport::RandomBytes(kUpgradeMiB * 1024 * 1024, 1);
        TestSupport::WriteFile(path, image);
        const std::string hash = TestSupport::Sha256Hex(image);
        std::vector<std::string> addresses;
        for (int i = 0; i < kUpgradeDevices; ++i)
            addresses.push_back(fakedevice::UniqueLoopbackPrefix(2) + std::to_string(1 + i));
        const std::vector<std::unique_ptr<fakedevice::FakeDevice>> fakes = fakedevice::MakeDevices(addresses);
        for (const auto& fake : fakes) {
            if (!fake->WaitListening())
                return Outcome::Failed(QStringLiteral("a fake device cannot listen"));
        }
        fault = GapFigure(options, report, QStringLiteral("upgrade page, 200 devices"),
            QStringLiteral("the upgrade page, every row ticked through the header and the Upgrade button clicked, "
                           "200 fake SDK devices and a %1 MiB file, from the click until the page has unlocked "
                           "itself and the tool bar; every row must show success and every device hold the file's "
                           "exact bytes")
                .arg(kUpgradeMiB),
            kUpgradeDevices, [&] { return UpgradeBatch(fakes, path, hash, image.size()); });
    }
    ZVNetRelease();
    ZVOnvifRelease();
    return fault.isEmpty() ? Outcome::Ok() : Outcome::Failed(fault);
}
} // namespace bench
