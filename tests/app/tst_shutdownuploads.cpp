// Closing the window while firmware uploads run: the program interrupts them
// and waits for them within its shutdown bound, nothing of theirs reaches the
// pages after the window is gone, and every device sees its upload end.

#include "DeviceFixtures.h"
#include "DeviceTaskListener.h"
#include "DeviceTasks.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "Startup.h"
#include "TestSupport.h"
#include "ZVAppSetting.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kUploads = 16;
constexpr int kReportFd = 3;
const char* const kChildVariable = "DEVSCAN_SHUTDOWN_CHILD";

std::atomic<bool> g_windowAlive { false };
std::atomic<int> g_reportsAfterClose { 0 };

// The upgrade page's stand-in: it goes with the window.
class PageListener : public QObject, public DeviceTaskListener
{
public:
    explicit PageListener(QObject* parent)
        : QObject(parent)
    {
    }
    void OnDeviceTaskFinished(DeviceInfo*, bool) override
    {
        if (!g_windowAlive)
            ++g_reportsAfterClose;
    }
};

int Run(const StartupHooks& hooks)
{
    char name[] = "devscan";
    char* argv[] = { name, nullptr };
    return RunDevscan(1, argv, &hooks);
}

// The program's life in the child process; reports go to kReportFd.
int RunChild()
{
    auto report = [](const QByteArray& line) {
        const QByteArray text = line + '\n';
        (void)!write(kReportFd, text.constData(), static_cast<size_t>(text.size()));
    };
    QTemporaryDir dir;
    const QString firmware = dir.filePath(QStringLiteral("fw.sw"));
    // Big enough that no upload ends by itself: each device reads 1 MiB/s.
    TestSupport::WriteFile(firmware, QByteArray(96 * 1024 * 1024, 'f'));
    const std::string prefix = fakedevice::UniqueLoopbackPrefix();
    std::vector<std::unique_ptr<fakedevice::FakeHttpApi>> cameras;
    std::vector<std::unique_ptr<DeviceInfo>> devices;
    QElapsedTimer sinceClose;

    StartupHooks hooks;
    hooks.trace = [&](const char* step) { report(step); };
    hooks.windowShown = [&](QWidget* window) {
        g_windowAlive = true;
        QObject::connect(window, &QObject::destroyed, [] { g_windowAlive = false; });
        ZVAppSetting::Instance()->m_company = 44;
        auto* page = new PageListener(window);
        fakedevice::HttpFaults faults;
        faults.uploadReadBytesPerSecond = 1024 * 1024;
        for (int i = 0; i < kUploads; ++i) {
            fakedevice::FakeHttpApi::Options options;
            options.ip = prefix + std::to_string(10 + i);
            cameras.push_back(std::make_unique<fakedevice::FakeHttpApi>(fakedevice::HttpDeviceState(), options));
            cameras.back()->SetFaults(faults);
            devices.emplace_back(TestSupport::NewDevice(nullptr, QString::fromStdString(options.ip),
                QStringLiteral("Camera"), 1, fakedevice::kDefaultTcpPort, cameras.back()->Port()));
            DeviceInfo* device = devices.back().get();
            device->m_user = QStringLiteral("admin");
            device->m_password = QStringLiteral("admin123");
            device->m_upgradeFilePath = firmware;
            device->m_pUpgradeFrame = page;
            QueueDeviceTask(&UpgradeTask, device);
        }
        // The window closes once every upload is under way.
        auto* poll = new QTimer(window);
        QObject::connect(poll, &QTimer::timeout, [&, window] {
            int uploading = 0;
            for (const auto& device : devices)
                uploading += device->m_pUpgradeThread && device->m_status == StatusUpgrading ? 1 : 0;
            if (uploading < kUploads)
                return;
            report("uploading " + QByteArray::number(uploading));
            sinceClose.start();
            window->close();
        });
        poll->start(20);
        QTimer::singleShot(120000, window, [&, window] {
            report("uploads never started");
            window->close();
        });
    };
    Run(hooks);
    report("shutdown-ms " + QByteArray::number(sinceClose.isValid() ? sinceClose.elapsed() : -1));
    report("reports-after-close " + QByteArray::number(g_reportsAfterClose.load()));

    // Each device's upload connection ends: the program closed it, and the
    // device reads what was still on its way before it sees the end. The
    // count goes to the parent either way.
    int open = 0;
    (void)QTest::qWaitFor(
        [&] {
            open = 0;
            for (const auto& camera : cameras)
                open += camera->OpenConnections();
            return open == 0;
        },
        60000);
    report("connections-open " + QByteArray::number(open));
    int completed = 0;
    for (const auto& camera : cameras)
        completed += static_cast<int>(camera->State().settings.uploads.size());
    report("uploads-completed " + QByteArray::number(completed));
    devices.clear();
    cameras.clear();
    return 0;
}
} // namespace

class TestShutdownUploads : public QObject
{
    Q_OBJECT

private slots:
    void closingTheWindowEndsEveryUpload();
};

void TestShutdownUploads::closingTheWindowEndsEveryUpload()
{
    // In a child process: a shutdown that gave up would end the process
    // without a word.
    TestSupport::TemporarySettings temporary;
    int fds[2];
    QCOMPARE(pipe(fds), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // A fresh process image: thread checkers refuse threads after a fork.
        close(fds[0]);
        dup2(fds[1], kReportFd);
        setenv(kChildVariable, "1", 1);
        execl("/proc/self/exe", "tst_shutdownuploads", static_cast<char*>(nullptr));
        _exit(98);
    }
    close(fds[1]);
    const QByteArray output = TestSupport::ReadToEnd(fds[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);

    QVERIFY2(WIFEXITED(status), "the program must end by itself");
    QCOMPARE(WEXITSTATUS(status), 0);
    const QStringList lines = QString::fromLatin1(output).split('\n', Qt::SkipEmptyParts);
    const QString all = lines.join(QStringLiteral(" | "));
    auto value = [&](const QString& key) {
        for (const QString& line : lines) {
            if (line.startsWith(key + ' '))
                return line.section(' ', 1).toLongLong();
        }
        return -1LL;
    };
    QVERIFY2(lines.contains(QStringLiteral("uploading %1").arg(kUploads)), qPrintable(all));
    // The shutdown completed (it would end the process unfinished once its bound passed).
    QVERIFY2(lines.contains(QStringLiteral("texts-released")), qPrintable(all));
    QVERIFY2(value(QStringLiteral("shutdown-ms")) >= 0, qPrintable(all));
    QCOMPARE(value(QStringLiteral("reports-after-close")), 0LL);
    QCOMPARE(value(QStringLiteral("connections-open")), 0LL);
    QCOMPARE(value(QStringLiteral("uploads-completed")), 0LL);
    qInfo("shutdown took %lld ms with %d uploads running", value(QStringLiteral("shutdown-ms")), kUploads);
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet(kChildVariable))
        return RunChild();
    TestShutdownUploads test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_shutdownuploads.moc"
