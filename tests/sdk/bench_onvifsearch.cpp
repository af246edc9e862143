// Benchmark (a program, not a test): the ONVIF search of 250 fake devices in a
// namespace LAN (5 namespaces of 50; each answer waits a random 0 to 500 ms, as
// target services spread them), beside two public clients on the same LAN in
// the same run: onvif-util -a and node-onvif's probe. Each run prints, per
// client, the devices found and the time from its start to the last answer.
// The first runs follow one another; the later ones each follow an idle time.
//
//   bench_onvifsearch [--runs N] [--idle-runs N] [--idle-seconds S] [--node-modules DIR]
//
// DIR holds the npm clients (tools/interop.sh installs them in BUILD/interop/node_modules);
// without it node-onvif is left out.
#include "NamespaceLan.h"
#include "OnvifTestSupport.h"
#include "ZVSdkConfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace sdktest;

namespace
{
constexpr int kNamespaces = 5;
constexpr int kPerNamespace = 50;
constexpr int kDevices = kNamespaces * kPerNamespace;

struct Result
{
    int found = 0;
    qint64 lastMs = 0;
    qint64 endMs = 0;
    bool crashed = false;
};

QString Address(int n) // 0-based, as lan.sh counts
{
    return QStringLiteral("10.213.%1.%2").arg(1 + n / 250).arg(1 + n % 250);
}

Result OurSearch()
{
    Result r;
    SearchCollector collector;
    QElapsedTimer timer;
    std::atomic<qint64> last { 0 };
    collector.onCallback = [&](const SearchDevRsp* record) {
        if (record)
            last = timer.elapsed();
    };
    timer.start();
    ZVNetSearchParam param {};
    param.callback = &SearchCollector::Callback;
    param.user = &collector;
    int handle = ZVOnvifSearchDevStart(&param);
    if (handle == 0 || !collector.WaitEnd(30000))
        return r;
    r.endMs = timer.elapsed();
    ZVOnvifSearchDevStop(&handle);
    QSet<QString> ips;
    for (const QString& ip : collector.Ips())
        ips.insert(ip);
    r.found = ips.size();
    r.lastMs = last;
    return r;
}

// Runs a client to its end, timing each line that names a device address.
Result External(const NamespaceLan& lan, const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment, bool reportsItself)
{
    Result r;
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("ip"), lan.ExecArguments(QStringLiteral("host"), program, arguments));
    if (!process.waitForStarted(10000))
        return r;
    static const QRegularExpression address(QStringLiteral("10\\.213\\.\\d+\\.\\d+"));
    static const QRegularExpression summary(QStringLiteral("found (\\d+) last (\\d+)"));
    // onvif-util announces its count before it lists the devices.
    static const QRegularExpression count(QStringLiteral("Found (\\d+) cameras"));
    int announced = 0;
    qint64 announcedMs = 0;
    QSet<QString> seen;
    QByteArray pending;
    auto consume = [&]() {
        pending += process.readAllStandardOutput();
        int newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(pending.left(newline));
            pending.remove(0, newline + 1);
            if (reportsItself) {
                const auto m = summary.match(line);
                if (m.hasMatch()) {
                    r.found = m.captured(1).toInt();
                    r.lastMs = m.captured(2).toLongLong();
                }
                continue;
            }
            if (const auto m = count.match(line); m.hasMatch()) {
                announced = m.captured(1).toInt();
                announcedMs = timer.elapsed();
            }
            auto it = address.globalMatch(line);
            while (it.hasNext()) {
                const QString ip = it.next().captured();
                if (!seen.contains(ip)) {
                    seen.insert(ip);
                    r.lastMs = timer.elapsed();
                }
            }
        }
    };
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 60000) {
        process.waitForReadyRead(50);
        consume();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    consume();
    r.endMs = timer.elapsed();
    r.crashed = process.exitStatus() == QProcess::CrashExit;
    if (!reportsItself) {
        r.found = seen.size();
        // A client that fails before its list still said how many it had heard.
        if (announced > r.found) {
            r.found = announced;
            r.lastMs = announcedMs;
        }
    }
    return r;
}

bool Number(const QString& text, int low, int high, int& out)
{
    bool ok = false;
    out = text.toInt(&ok);
    return ok && out >= low && out <= high;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 5, idleRuns = 5, idleSeconds = 60;
    QString nodeModules;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--runs") && hasValue && Number(args[i + 1], 0, 100, runs))
            ++i;
        else if (args[i] == QLatin1String("--idle-runs") && hasValue && Number(args[i + 1], 0, 100, idleRuns))
            ++i;
        else if (args[i] == QLatin1String("--idle-seconds") && hasValue && Number(args[i + 1], 0, 3600, idleSeconds))
            ++i;
        else if (args[i] == QLatin1String("--node-modules") && hasValue)
            nodeModules = args[++i];
        else {
            std::fprintf(stderr,
                "usage: bench_onvifsearch [--runs N] [--idle-runs N] [--idle-seconds S] [--node-modules DIR]\n");
            return 2;
        }
    }

    NamespaceLan lan;
    QString reason;
    if (!lan.Up(kNamespaces, kPerNamespace, &reason)) {
        std::fprintf(stderr, "bench_onvifsearch: %s\n", qPrintable(reason));
        return 77;
    }
    std::vector<std::unique_ptr<QProcess>> programs;
    for (int i = 0; i < kNamespaces; ++i) {
        auto program = std::make_unique<QProcess>();
        program->start(QStringLiteral("ip"),
            lan.ExecArguments(QStringLiteral("dev%1").arg(i + 1), QStringLiteral(DEVSCAN_FAKEONVIF),
                { QStringLiteral("--first"), Address(i * kPerNamespace), QStringLiteral("--count"),
                    QString::number(kPerNamespace), QStringLiteral("--prefix"), QStringLiteral("16"),
                    QStringLiteral("--multicast"), QStringLiteral("--delay-ms"), QStringLiteral("500") }));
        programs.push_back(std::move(program));
    }
    for (auto& program : programs) {
        QByteArray out;
        QElapsedTimer wait;
        wait.start();
        while (!out.contains("ready") && wait.elapsed() < 60000 && program->state() != QProcess::NotRunning) {
            program->waitForReadyRead(200);
            out += program->readAllStandardOutput();
        }
        if (!out.contains("ready")) {
            std::fprintf(stderr, "bench_onvifsearch: a fake program did not start: %s\n",
                program->readAllStandardError().constData());
            return 1;
        }
    }
    if (!lan.Enter(QStringLiteral("host")) || !NamespaceLan::SeesOnlyLan()) {
        std::fprintf(stderr, "bench_onvifsearch: cannot enter the LAN's host namespace\n");
        return 1;
    }
    // As the program sets the library up at start.
    ZVNetInit();
    ZVOnvifInit();
    ZVOnvifSetSeachTimeout(2, 2, 2);
    ZVSdkSetOnvifSearchTargets(nullptr, 0);

    const QString onvifUtil = QStandardPaths::findExecutable(QStringLiteral("onvif-util"));
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString clients = QStringLiteral(DEVSCAN_SOURCE_DIR "/tools/interop/onvif-clients.js");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!nodeModules.isEmpty())
        environment.insert(QStringLiteral("NODE_PATH"), nodeModules);

    std::printf("%d fake devices, answers spread over 0-500 ms; search window 2 s\n", kDevices);
    std::printf("%-12s %-26s %-26s %-26s\n", "run", "devscan (found, last)", "onvif-util -a", "node-onvif probe");
    auto cell = [](const Result& r) {
        return QStringLiteral("%1/%2 %3 ms%4")
            .arg(r.found)
            .arg(kDevices)
            .arg(r.lastMs)
            .arg(r.crashed ? QStringLiteral(" (crashed)") : QString())
            .toStdString();
    };
    for (int run = 0; run < runs + idleRuns; ++run) {
        const bool idle = run >= runs;
        if (idle)
            QThread::sleep(static_cast<unsigned long>(idleSeconds));
        const Result ours = OurSearch();
        Result util, probe;
        if (!onvifUtil.isEmpty())
            util = External(lan, onvifUtil, { QStringLiteral("-a") }, environment, false);
        if (!nodeModules.isEmpty() && !node.isEmpty())
            probe = External(lan, node, { clients, QStringLiteral("discover") }, environment, true);
        const QString name
            = idle ? QStringLiteral("%1 (idle %2 s)").arg(run + 1).arg(idleSeconds) : QString::number(run + 1);
        std::printf("%-12s %-26s %-26s %-26s\n", qPrintable(name), cell(ours).c_str(),
            onvifUtil.isEmpty() ? "-" : cell(util).c_str(), nodeModules.isEmpty() ? "-" : cell(probe).c_str());
        std::fflush(stdout);
    }
    ZVOnvifRelease();
    ZVNetRelease();
    lan.Leave();
    for (auto& program : programs) {
        program->terminate();
        program->waitForFinished(10000);
    }
    return 0;
}
