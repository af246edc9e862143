// The benchmark program: runs every section (or those named) and writes the
// figures file, one block per figure: what it measures, the figure, its peer
// in the same run, the goal and whether it was met or the gap. Figures are
// reported, not asserted; the exit status is 1 only when a section found a
// fault (a crash, a wrong device count, a batch that did not end).
//
//   devscan_bench [--out FILE] [--quick] [--runs N] [--idle-runs N] [--idle-seconds S]
//                 [--node-modules DIR] [--section NAME]... [--list]
//
// --quick: one run of each timed step and no idle ONVIF runs (what CI uses);
// --runs N sets the count (3 by default). --idle-runs N (2 by default) adds
// ONVIF searches that each follow --idle-seconds S (60) of idle: the first
// search after idle has been seen to find fewer. Each section runs in a process of its own: the loopback ones in a
// network namespace of their own (unshare -n, loopback only), the others in
// the namespace LAN they make. Where namespaces cannot be made (not root)
// sections are skipped, with the reason.

#include "Sections.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <sys/utsname.h>

using namespace bench;

namespace
{
const QVector<Section> kSections = {
    { "lan-search", "LAN search of 250 devices", &LanSearchSection, Network::Lan },
    { "onvif-search", "ONVIF search of 250 devices", &OnvifSearchSection, Network::Lan },
    { "range-search", "/24 range search", &RangeSearchSection, Network::Lan },
    { "network-batch", "batch network change of 200 devices", &NetworkBatchSection, Network::Loopback },
    { "reboot-batch", "batch reboot of 200 devices", &RebootBatchSection, Network::Loopback },
    { "upload", "32 MiB firmware upload", &UploadSection, Network::Loopback },
    { "device-table", "10,000-row device table", &DeviceTableSection, Network::Loopback },
    { "startup", "start-up to the window shown", &StartupSection, Network::Loopback },
    { "gui-gap", "longest GUI timer gap during each batch", &GuiGapSection, Network::Loopback },
    { "fault-gaps", "GUI timer gap of each fault case", &FaultGapSection, Network::Loopback },
};

bool Number(const char* text, int low, int high, int& out)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!end || *end || value < low || value > high)
        return false;
    out = int(value);
    return true;
}

int Usage()
{
    std::fprintf(stderr,
        "usage: devscan_bench [--out FILE] [--quick] [--runs N] [--idle-runs N] [--idle-seconds S]\n"
        "                     [--node-modules DIR] [--section NAME]... [--list]\n");
    return 2;
}

const Section* FindSection(const QString& name)
{
    for (const Section& section : kSections) {
        if (name == QLatin1String(section.name))
            return &section;
    }
    return nullptr;
}

bool CanIsolate()
{
    return QProcess::execute(QStringLiteral("unshare"), { QStringLiteral("-n"), QStringLiteral("true") }) == 0;
}

QString Machine()
{
    utsname name {};
    uname(&name);
    QString load;
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        load = QString::fromLatin1(loadavg.readAll()).section(QLatin1Char(' '), 0, 2);
    return QStringLiteral("%1 %2, %3 processors, load average %4")
        .arg(QLatin1String(name.sysname), QLatin1String(name.release))
        .arg(QThread::idealThreadCount())
        .arg(load);
}

constexpr int kSectionBoundMs = 40 * 60 * 1000;

// Runs one section in a process of its own; its blocks go to blockFile.
// Returns the section's exit status, -1 when it crashed, -2 when it did not
// end within the bound.
int RunChild(const Section& section, const QStringList& forwarded, const QString& blockFile, bool isolate)
{
    QStringList arguments = forwarded;
    arguments << QStringLiteral("--child") << QLatin1String(section.name) << QStringLiteral("--blocks") << blockFile;
    QString program = QCoreApplication::applicationFilePath();
    if (isolate) {
        arguments.prepend(program);
        arguments = QStringList { QStringLiteral("-n"), QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("ip link set lo up && exec \"$@\""), QStringLiteral("bench") }
            + arguments;
        program = QStringLiteral("unshare");
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(program, arguments);
    if (!child.waitForStarted(30000))
        return -1;
    // Each section bounds its own waits; this catches one that hangs anyway.
    if (!child.waitForFinished(kSectionBoundMs)) {
        child.kill();
        child.waitForFinished(10000);
        return -2;
    }
    return child.exitStatus() == QProcess::CrashExit ? -1 : child.exitCode();
}

int RunDriver(const QString& out, const QStringList& names, const QStringList& forwarded, const Options& options)
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const bool isolate = CanIsolate();
    QString text = QStringLiteral("# devscan benchmarks\n");
    text += QStringLiteral("date:     %1\n").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    text += QStringLiteral("machine:  %1\n").arg(Machine());
    text += QStringLiteral("build:    %1\n").arg(QLatin1String(DEVSCAN_BUILD_TYPE));
    text += QStringLiteral("runs:     %1 of each timed step%2\n")
                .arg(options.runs)
                .arg(options.quick ? QStringLiteral(" (--quick)") : QString());
    std::fputs(text.toUtf8().constData(), stdout);
    int faults = 0;
    for (const Section& section : kSections) {
        if (!names.isEmpty() && !names.contains(QLatin1String(section.name)))
            continue;
        const QString blockFile = work.filePath(QLatin1String(section.name));
        QString head = QStringLiteral("\n# %1 (%2)\n").arg(QLatin1String(section.title), QLatin1String(section.name));
        std::fputs(head.toUtf8().constData(), stdout);
        std::fflush(stdout);
        QElapsedTimer clock;
        clock.start();
        QString tail;
        int status = 0;
        if (section.network == Network::Loopback && !isolate) {
            status = 77;
            tail = QStringLiteral("skipped: cannot make a network namespace here\n");
        } else {
            status = RunChild(section, forwarded, blockFile, section.network == Network::Loopback);
        }
        QFile blocks(blockFile);
        if (blocks.open(QIODevice::ReadOnly))
            head += QString::fromUtf8(blocks.readAll());
        if (status == -1)
            tail = QStringLiteral("FAULT: the section's process crashed\n");
        else if (status == -2)
            tail = QStringLiteral("FAULT: the section did not end within %1 min\n").arg(kSectionBoundMs / 60000);
        else if (status != 0 && status != 1 && status != 77)
            tail = QStringLiteral("FAULT: the section's process ended with status %1\n").arg(status);
        if (status != 0 && status != 77)
            ++faults;
        tail += QStringLiteral("section time: %1 s\n").arg(clock.elapsed() / 1000.0, 0, 'f', 1);
        std::fputs(tail.toUtf8().constData(), stdout);
        text += head + QLatin1Char('\n') + tail;
    }
    text += faults ? QStringLiteral("\n%1 section(s) found a fault\n").arg(faults)
                   : QStringLiteral("\nno section found a fault\n");
    if (!out.isEmpty()) {
        QFile file(out);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0) {
            std::fprintf(stderr, "devscan_bench: cannot write %s\n", qPrintable(out));
            return 1;
        }
        std::printf("\nfigures written to %s\n", qPrintable(out));
    }
    return faults ? 1 : 0;
}

int RunSection(int argc, char** argv, const Section& section, const QString& blockFile, const Options& options)
{
    Report report(blockFile);
    // Widget sections need a QApplication; one for every section keeps them alike.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication application(argc, argv);
    // The program's debug lines (one per connection and logout) are dropped.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg)
            previous(type, context, text);
    });
    const Outcome outcome = section.run(options, report);
    switch (outcome.kind) {
    case Outcome::Done: return 0;
    case Outcome::Skipped: report.Note(QStringLiteral("skipped: %1").arg(outcome.why)); return 77;
    case Outcome::Fault: report.Note(QStringLiteral("FAULT: %1").arg(outcome.why)); return 1;
    }
    return 1;
}
} // namespace

namespace bench
{
const QVector<Section>& SectionList()
{
    return kSections;
}
} // namespace bench

int main(int argc, char** argv)
{
    Options options;
    QString out, child, blocks, window;
    QStringList names, forwarded;
    bool list = false;
    bool runsGiven = false;
    bool idleGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&] { return QString::fromLocal8Bit(argv[++i]); };
        if (!std::strcmp(arg, "--out") && hasValue) {
            out = value();
        } else if (!std::strcmp(arg, "--quick")) {
            options.quick = true;
            forwarded << QLatin1String(arg);
        } else if (!std::strcmp(arg, "--runs") && hasValue && Number(argv[i + 1], 1, 100, options.runs)) {
            runsGiven = true;
            forwarded << QLatin1String(arg) << value();
        } else if (!std::strcmp(arg, "--idle-runs") && hasValue && Number(argv[i + 1], 0, 100, options.idleRuns)) {
            idleGiven = true;
            forwarded << QLatin1String(arg) << value();
        } else if (!std::strcmp(arg, "--idle-seconds") && hasValue
            && Number(argv[i + 1], 0, 3600, options.idleSeconds)) {
            forwarded << QLatin1String(arg) << value();
        } else if (!std::strcmp(arg, "--node-modules") && hasValue) {
            options.nodeModules = value();
            forwarded << QLatin1String(arg) << options.nodeModules;
        } else if (!std::strcmp(arg, "--section") && hasValue) {
            names << value();
            if (!FindSection(names.last())) {
                std::fprintf(stderr, "devscan_bench: no section %s\n", qPrintable(names.last()));
                return 2;
            }
        } else if (!std::strcmp(arg, "--list")) {
            list = true;
        } else if (!std::strcmp(arg, "--child") && hasValue) {
            child = value();
        } else if (!std::strcmp(arg, "--blocks") && hasValue) {
            blocks = value();
        } else if (!std::strcmp(arg, "--window") && hasValue) {
            window = value();
        } else {
            return Usage();
        }
    }
    if (options.quick && !runsGiven)
        options.runs = 1;
    if (options.quick && !idleGiven)
        options.idleRuns = 0;
    if (!window.isEmpty())
        return RunWindowMode(argc, argv, window);
    if (list) {
        for (const Section& section : kSections)
            std::printf("%-14s %s\n", section.name, section.title);
        return 0;
    }
    if (!child.isEmpty()) {
        const Section* section = FindSection(child);
        return section ? RunSection(argc, argv, *section, blocks, options) : 2;
    }
    QCoreApplication application(argc, argv);
    return RunDriver(out, names, forwarded, options);
}
