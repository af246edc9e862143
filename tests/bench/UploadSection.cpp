// Firmware uploads: one 32 MiB image to one fake HTTP-API device on loopback,
// then to 16 at once, through the whole upgrade (login, token, upload
// thread). Each device's throughput as the device measured it (first to last
// byte) against the 8 MiB/s cap, and the process's peak memory during each
// batch.

#include "DeviceInfo.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FixedText.h"
#include "Sections.h"
#include "TaskPool.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace bench
{
namespace
{
constexpr double kCapBytesPerSecond = 16 * 524288.0;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kSizeMiB = 32;
constexpr int kParallel = 16;

class FinishCounter : public DeviceTaskListener
{
public:
    void OnDeviceTaskFinished(DeviceInfo*, bool finished) override { m_finished += finished ? 1 : 0; }
    int Finished() const { return m_finished; }

private:
    int m_finished = 0;
};

// Kernel figures of this process, in KiB: "VmRSS", "VmHWM".
long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

// Starts a new peak: VmHWM falls back to the current size.
bool ResetPeak()
{
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    return static_cast<bool>(refs);
}

bool WriteImage(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(42);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += chunk.size()) {
        for (char& byte : chunk)
            byte = static_cast<char>(random());
        if (file.write(chunk.constData(), std::min<qint64>(chunk.size(), size - written)) < 0)
            return false;
    }
    return true;
}

struct Batch
{
    bool ended = false;
    double seconds = 0;
    double minRate = 0;
    double meanRate = 0;
    int succeeded = 0;
    long baseKiB = 0;
    long peakKiB = 0;
};

Batch Run(std::vector<std::unique_ptr<fakedevice::FakeHttpApi>>& apis, int count, const QString& image, qint64 size,
    TaskPool& pool)
{
    Batch batch;
    FinishCounter counter;
    std::vector<std::unique_ptr<DeviceInfo>> devices;
    for (int i = 0; i < count; ++i) {
        apis[size_t(i)]->Update([](fakedevice::HttpDeviceState& state) { state.settings.uploads.clear(); });
        SearchDevRsp record;
        std::memset(&record, 0, sizeof(record));
        CopyLatin1(QString::fromStdString(apis[size_t(i)]->Ip()), record.ip);
        record.webPort = apis[size_t(i)]->Port();
        auto device = std::make_unique<DeviceInfo>();
        device->InitFromSearchRsp(&record, false);
        device->m_user = QStringLiteral("admin");
        device->m_password = QStringLiteral("admin123");
        device->m_upgradeFilePath = image;
        device->m_pUpgradeFrame = &counter;
        devices.push_back(std::move(device));
    }
    ResetPeak();
    batch.baseKiB = StatusKiB("VmRSS");
    QElapsedTimer timer;
    timer.start();
    for (auto& device : devices)
        pool.AddTask(&UpgradeTask, device.get());
    batch.ended = RunUntil([&] { return counter.Finished() >= count; }, 120000);
    batch.seconds = timer.elapsed() / 1000.0;
    batch.peakKiB = StatusKiB("VmHWM");

    std::vector<double> rates;
    for (int i = 0; i < count; ++i) {
        const fakedevice::HttpSettings settings = apis[size_t(i)]->State().settings;
        if (devices[size_t(i)]->m_status == StatusUpgradeOk && settings.uploads.size() == 1
            && settings.uploads[0].size == uint64_t(size) && settings.uploads[0].seconds > 0) {
            ++batch.succeeded;
            rates.push_back(double(size) / settings.uploads[0].seconds);
        }
    }
    if (!rates.empty()) {
        batch.minRate = *std::min_element(rates.begin(), rates.end());
        double sum = 0;
        for (double rate : rates)
            sum += rate;
        batch.meanRate = sum / double(rates.size());
    }
    // Every device ends its upload before the next batch starts.
    RunUntil(
        [&] { return std::none_of(devices.begin(), devices.end(), [](const auto& d) { return d->IsBusy(); }); }, 30000);
    return batch;
}
} // namespace

Outcome UploadSection(const Options& options, Report& report)
{
    const qint64 size = qint64(kSizeMiB) * 1024 * 1024;
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("firmware.sw"));
    if (!dir.isValid() || !WriteImage(image, size))
        return Outcome::Failed(QStringLiteral("cannot write the image"));
    ZVNetInit();
    ZVAppSetting::Instance()->m_company = 44;
    std::vector<std::string> addresses;
    for (int i = 0; i < kParallel; ++i)
        addresses.push_back(fakedevice::UniqueLoopbackPrefix() + std::to_string(100 + i));
    auto apis = fakedevice::MakeHttpDevices(addresses, 0);
    if (int(apis.size()) != kParallel)
        return Outcome::Failed(QStringLiteral("cannot start %1 fake devices").arg(kParallel));
    const bool peakReset = ResetPeak();
    QString fault;
    {
        TaskPool pool(kParallel + 2);
        for (int devices : { 1, kParallel }) {
            Series slowest, mean, seconds;
            long extraKiB = 0;
            for (int run = 0; run < options.runs && fault.isEmpty(); ++run) {
                const Batch batch = Run(apis, devices, image, size, pool);
                if (!batch.ended || batch.succeeded != devices) {
                    fault = QStringLiteral("%1 of %2 uploads succeeded").arg(batch.succeeded).arg(devices);
                    break;
                }
                slowest.Add(batch.minRate / kMiB);
                mean.Add(batch.meanRate / kMiB);
                seconds.Add(batch.seconds);
                extraKiB = std::max(extraKiB, batch.peakKiB - batch.baseKiB);
            }
            if (slowest.IsEmpty())
                break;
            Figure figure;
            figure.title = devices == 1 ? QStringLiteral("32 MiB upload, one device")
                                        : QStringLiteral("32 MiB upload, 16 devices in parallel");
            figure.measures = QStringLiteral("UpgradeTask with a %1 MiB image to %2 fake HTTP-API device(s) on "
                                             "loopback (login, token, upload); throughput as each device measured it, "
                                             "first to last byte; peak memory of the batch over the memory before it")
                                  .arg(kSizeMiB)
                                  .arg(devices);
            figure.figure = QStringLiteral("slowest device %1; mean %2; batch %3; peak memory +%4 MiB (peak reset %5)")
                                .arg(slowest.Text("MiB/s", 2), mean.Text("MiB/s", 2), seconds.Text("s", 2))
                                .arg(extraKiB / 1024.0, 0, 'f', 1)
                                .arg(peakReset ? QStringLiteral("available") : QStringLiteral("NOT available"));
            figure.peer = QStringLiteral("the 8 MiB/s cap per device; the image held once per device would take %1 MiB")
                              .arg(devices * kSizeMiB);
            figure.goal = QStringLiteral("every device at 90% of the cap or more (7.20 MiB/s), in every run");
            figure.met = slowest.Min() * kMiB >= 0.9 * kCapBytesPerSecond;
            figure.gap = QStringLiteral("slowest device at %1% of the cap")
                             .arg(100.0 * slowest.Min() * kMiB / kCapBytesPerSecond, 0, 'f', 1);
            report.Add(figure);
        }
    }
    apis.clear();
    ZVNetRelease();
    return fault.isEmpty() ? Outcome::Ok() : Outcome::Failed(fault);
}
} // namespace bench
