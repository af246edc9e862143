// Firmware upload benchmark: one 32 MiB image to one fake HTTP-API device,
// then to 16 at once, through the whole upgrade (login, token, upload
// thread). Prints each device's throughput as the device measured it (first
// to last byte) against the 8 MiB/s cap, and the process's peak memory
// during each batch. Not a test: run it by hand.
//
//   bench_upload [--size-mib N] [--devices N]

#include "DeviceInfo.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FixedText.h"
#include "TaskPool.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr double kCapBytesPerSecond = 16 * 524288.0;
constexpr double kMiB = 1024.0 * 1024.0;

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
    int devices = 0;
    double seconds = 0;
    double minRate = 0;
    double meanRate = 0;
    double maxRate = 0;
    int succeeded = 0;
    long baseKiB = 0;
    long peakKiB = 0;
};

Batch Run(std::vector<std::unique_ptr<fakedevice::FakeHttpApi>>& apis, int count, const QString& image, qint64 size,
    TaskPool& pool)
{
    Batch batch;
    batch.devices = count;
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
    while (counter.Finished() < count && timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
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
        batch.maxRate = *std::max_element(rates.begin(), rates.end());
        double sum = 0;
        for (double rate : rates)
            sum += rate;
        batch.meanRate = sum / double(rates.size());
    }
    return batch;
}

void Print(const Batch& batch, qint64 size)
{
    std::printf(
        "%2d device(s): %d/%d upgraded in %.2f s\n", batch.devices, batch.succeeded, batch.devices, batch.seconds);
    std::printf("    throughput per device (device side, first to last byte): min %.2f, mean %.2f, max %.2f MiB/s\n",
        batch.minRate / kMiB, batch.meanRate / kMiB, batch.maxRate / kMiB);
    std::printf("    slowest device at %.1f%% of the 8 MiB/s cap (needed: 90%%): %s\n",
        100.0 * batch.minRate / kCapBytesPerSecond,
        batch.succeeded == batch.devices && batch.minRate >= 0.9 * kCapBytesPerSecond ? "ok" : "BELOW");
    std::printf("    memory: %.1f MiB before, peak %.1f MiB (+%.1f MiB); the image is %.1f MiB, %.1f MiB if each "
                "device held its own\n",
        batch.baseKiB / 1024.0, batch.peakKiB / 1024.0, (batch.peakKiB - batch.baseKiB) / 1024.0, size / kMiB,
        batch.devices * size / kMiB);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int sizeMiB = 32;
    int count = 16;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size-mib") == 0)
            sizeMiB = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--devices") == 0)
            count = std::clamp(std::atoi(argv[i + 1]), 1, 64);
    }
    const qint64 size = qint64(sizeMiB) * 1024 * 1024;

    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("firmware.sw"));
    if (!dir.isValid() || !WriteImage(image, size)) {
        std::fprintf(stderr, "cannot write the image\n");
        return 1;
    }
    ZVNetInit();
    ZVAppSetting::Instance()->m_company = 44;
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i)
        addresses.push_back(fakedevice::UniqueLoopbackPrefix() + std::to_string(100 + i));
    auto apis = fakedevice::MakeHttpDevices(addresses, 0);
    if (int(apis.size()) != count) {
        std::fprintf(stderr, "cannot start %d fake devices\n", count);
        return 1;
    }
    std::printf(
        "image %d MiB, cap 8 MiB/s per device, peak reset %s\n", sizeMiB, ResetPeak() ? "available" : "NOT available");
    int result = 0;
    {
        TaskPool pool(count + 2);
        for (int devices : { 1, count }) {
            const Batch batch = Run(apis, devices, image, size, pool);
            Print(batch, size);
            if (batch.succeeded != devices)
                result = 1;
        }
    }
    apis.clear();
    ZVNetRelease();
    return result;
}
