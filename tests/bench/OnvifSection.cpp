// The ONVIF search of 250 fake ONVIF devices in a namespace LAN (5 namespaces
// of 50; each answer waits a random 0 to 500 ms, as target services spread
// them), beside two public clients on the same LAN in the same run:
// `onvif-util -a` and node-onvif's probe. Per client: the devices found and
// the time from its start to the last answer. The first runs follow one
// another; the --idle-runs each follow --idle-seconds of idle.

#include "NamespaceLan.h"
#include "OnvifTestSupport.h"
#include "Sections.h"
#include "ZVSdkConfig.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <memory>
#include <vector>

using namespace sdktest;

namespace bench
{
namespace
{
constexpr int kNamespaces = 5;
constexpr int kPerNamespace = 50;
constexpr int kDevices = kNamespaces * kPerNamespace;

struct Result
{
    int found = 0;
    qint64 lastMs = 0;
    bool crashed = false; // ended by a signal of its own
    bool stopped = false; // still running at its time limit, so killed
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
        r.stopped = true;
        process.kill();
        process.waitForFinished(5000);
    }
    consume();
    r.crashed = !r.stopped && process.exitStatus() == QProcess::CrashExit;
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

// "250/250 found in every run; last answer after median ..."
struct ClientRuns
{
    Series lastMs;
    int fewest = kDevices;
    int crashes = 0;
    int stops = 0;
    void Add(const Result& r)
    {
        lastMs.Add(r.lastMs);
        fewest = std::min(fewest, r.found);
        crashes += r.crashed ? 1 : 0;
        stops += r.stopped ? 1 : 0;
    }
    QString Text() const
    {
        return QStringLiteral("fewest found %1/%2; last answer after %3%4%5")
            .arg(fewest)
            .arg(kDevices)
            .arg(lastMs.Text("ms"))
            .arg(stops ? QStringLiteral("; stopped at its time limit in %1 runs").arg(stops) : QString())
            .arg(crashes ? QStringLiteral("; crashed in %1 runs").arg(crashes) : QString());
    }
};
} // namespace

Outcome OnvifSearchSection(const Options& options, Report& report)
{
    NamespaceLan lan;
    QString reason;
    if (!lan.Up(kNamespaces, kPerNamespace, &reason))
        return LanNotMade(reason);
    struct Down
    {
        NamespaceLan& lan;
        ~Down() { lan.Down(); }
    } down { lan };
    LanPrograms programs(lan, kNamespaces, QStringLiteral(DEVSCAN_FAKEONVIF), [](int i) {
        return QStringList { QStringLiteral("--first"), Address(i * kPerNamespace), QStringLiteral("--count"),
            QString::number(kPerNamespace), QStringLiteral("--prefix"), QStringLiteral("16"),
            QStringLiteral("--multicast"), QStringLiteral("--delay-ms"), QStringLiteral("500") };
    });
    if (!programs.WaitReady(kPerNamespace, &reason))
        return Outcome::Failed(QStringLiteral("the fake ONVIF devices did not start: %1").arg(reason));
    if (!lan.Enter(QStringLiteral("host")) || !NamespaceLan::SeesOnlyLan())
        return Outcome::Failed(QStringLiteral("cannot enter the LAN's host namespace"));
    // As the program sets the library up at start.
    ZVNetInit();
    ZVOnvifInit();
    ZVOnvifSetSeachTimeout(2, 2, 2);
    ZVSdkSetOnvifSearchTargets(nullptr, 0);

    const QString onvifUtil = QStandardPaths::findExecutable(QStringLiteral("onvif-util"));
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString clients = QStringLiteral(DEVSCAN_SOURCE_DIR "/tools/interop/onvif-clients.js");
    QString nodeMissing;
    if (options.nodeModules.isEmpty())
        nodeMissing = QStringLiteral("left out: no --node-modules given");
    else if (!QDir(options.nodeModules + QStringLiteral("/node-onvif")).exists())
        nodeMissing = QStringLiteral("left out: node-onvif not installed in %1 (tools/interop.sh installs it)")
                          .arg(options.nodeModules);
    else if (node.isEmpty())
        nodeMissing = QStringLiteral("left out: node not installed");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!options.nodeModules.isEmpty())
        environment.insert(QStringLiteral("NODE_PATH"), options.nodeModules);

    ClientRuns ours, util, probe;
    QString fault;
    for (int run = 0; run < options.runs + options.idleRuns; ++run) {
        if (run >= options.runs)
            QThread::sleep(static_cast<unsigned long>(options.idleSeconds));
        const Result mine = OurSearch();
        ours.Add(mine);
        if (mine.found != kDevices && fault.isEmpty())
            fault = QStringLiteral("our ONVIF search found %1 of %2 devices in run %3")
                        .arg(mine.found)
                        .arg(kDevices)
                        .arg(run + 1);
        if (!onvifUtil.isEmpty())
            util.Add(External(lan, onvifUtil, { QStringLiteral("-a") }, environment, false));
        if (nodeMissing.isEmpty())
            probe.Add(External(lan, node, { clients, QStringLiteral("discover") }, environment, true));
    }
    ZVOnvifRelease();
    ZVNetRelease();
    lan.Leave();
    programs.Terminate();

    Figure figure;
    figure.title = QStringLiteral("ONVIF search of 250 devices");
    figure.measures = QStringLiteral(
        "ZVOnvifSearchDevStart with the program's 2 s window over 250 fake ONVIF devices "
        "(5 namespaces of 50, answers spread over 0-500 ms): devices found and the time "
        "from the start to the last answer; runs: %1 back to back, then %2 that each follow %3 s of idle")
                          .arg(options.runs)
                          .arg(options.idleRuns)
                          .arg(options.idleSeconds);
    figure.figure = ours.Text();
    figure.peer = QStringLiteral("onvif-util -a: %1 | node-onvif probe: %2")
                      .arg(onvifUtil.isEmpty() ? QStringLiteral("left out: onvif-util not installed") : util.Text(),
                          nodeMissing.isEmpty() ? probe.Text() : nodeMissing);
    figure.goal = QStringLiteral("250 of 250 found in every run");
    figure.met = fault.isEmpty();
    figure.gap = fault;
    report.Add(figure);
    return fault.isEmpty() ? Outcome::Ok() : Outcome::Failed(fault);
}
} // namespace bench
