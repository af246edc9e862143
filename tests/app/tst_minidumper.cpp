#include "MiniDumper.h"
#include "TaskPool.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
enum class Crash
{
    ForbiddenWrite,
    Abort,
    FloatingPoint,
    IllegalInstruction,
    BusError,
    ForbiddenWriteOnThread,
    StackOverflow,
    StackOverflowOnPoolThread,
};

int Recurse(int depth)
{
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth == INT_MAX)
        return 0;
    return Recurse(depth + 1) + frame[0];
}

void RecurseTask(void*)
{
    Recurse(0);
}

[[noreturn]] void CrashNow(Crash crash)
{
    switch (crash) {
    case Crash::ForbiddenWrite: {
        // A page the process may not touch: a real fault, not undefined behaviour.
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(page) = 1;
        break;
    }
    case Crash::Abort: std::abort();
    case Crash::FloatingPoint: raise(SIGFPE); break;
    case Crash::IllegalInstruction: raise(SIGILL); break;
    case Crash::BusError: raise(SIGBUS); break;
    case Crash::ForbiddenWriteOnThread: {
        std::thread([] { CrashNow(Crash::ForbiddenWrite); }).join();
        break;
    }
    case Crash::StackOverflow: Recurse(0); break;
    case Crash::StackOverflowOnPoolThread: {
        TaskPool pool(1);
        pool.AddTask(&RecurseTask, nullptr);
        for (;;)
            pause();
    }
    }
    _exit(99);
}

QStringList DumpFiles()
{
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QDir(QCoreApplication::applicationDirPath()).entryList({ name + QStringLiteral("_*.dmp") }, QDir::Files);
}

void RemoveDumps()
{
    for (const QString& file : DumpFiles())
        QFile::remove(QDir(QCoreApplication::applicationDirPath()).filePath(file));
}
} // namespace

Q_DECLARE_METATYPE(Crash)

class TestMiniDumper : public QObject
{
    Q_OBJECT

private slots:
    void init() { RemoveDumps(); }
    void cleanup() { RemoveDumps(); }
    void crashWritesDumpAndExitsZero_data();
    void crashWritesDumpAndExitsZero();
    void unwritableFolderIsReportedAndProcessEnds();
    void withoutDumperTheSignalKills();
    void offsetFollowsDaylightSavingChanges_data();
    void offsetFollowsDaylightSavingChanges();
};

void TestMiniDumper::crashWritesDumpAndExitsZero_data()
{
    QTest::addColumn<Crash>("crash");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("forbidden write") << Crash::ForbiddenWrite << int(SIGSEGV);
    QTest::newRow("abort") << Crash::Abort << int(SIGABRT);
    QTest::newRow("floating point") << Crash::FloatingPoint << int(SIGFPE);
    QTest::newRow("illegal instruction") << Crash::IllegalInstruction << int(SIGILL);
    QTest::newRow("bus error") << Crash::BusError << int(SIGBUS);
    QTest::newRow("forbidden write on another thread") << Crash::ForbiddenWriteOnThread << int(SIGSEGV);
    QTest::newRow("stack overflow") << Crash::StackOverflow << int(SIGSEGV);
    QTest::newRow("stack overflow on a pool thread") << Crash::StackOverflowOnPoolThread << int(SIGSEGV);
}

void TestMiniDumper::crashWritesDumpAndExitsZero()
{
    QFETCH(Crash, crash);
    QFETCH(int, signalNumber);

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        MiniDumper dumper(true);
        CrashNow(crash);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QVERIFY2(WIFEXITED(status), "the process must end by itself, not be killed by the signal");
    QCOMPARE(WEXITSTATUS(status), 0);

    const QStringList dumps = DumpFiles();
    QCOMPARE(dumps.size(), 1);
    // <program>_YYYY_MM_DD_HH_MM_SS.dmp, in local time, within the crash's second.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    bool matched = false;
    for (QDateTime t = before; t <= after; t = t.addSecs(1))
        matched = matched || dumps.first() == name + t.toString(QStringLiteral("_yyyy_MM_dd_hh_mm_ss")) + ".dmp";
    QVERIFY2(matched, qPrintable(dumps.first()));

    QFile file(QDir(QCoreApplication::applicationDirPath()).filePath(dumps.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("signal: " + QByteArray::number(signalNumber)));
    QVERIFY(content.contains("fault address: 0x"));
    QVERIFY(content.contains("\nstack:\n"));
    QVERIFY(content.contains("\nmemory map:\n"));
    QVERIFY(content.contains(QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8()));
}

void TestMiniDumper::unwritableFolderIsReportedAndProcessEnds()
{
    const QByteArray folder = QCoreApplication::applicationDirPath().toLocal8Bit();
    int output[2];
    QCOMPARE(pipe(output), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // The program's folder read-only for this process alone.
        close(output[0]);
        dup2(output[1], STDERR_FILENO);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0
            || mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            _exit(77);
        MiniDumper dumper(true);
        CrashNow(Crash::ForbiddenWrite);
    }
    close(output[1]);
    const QByteArray message = TestSupport::ReadToEnd(output[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        QSKIP("cannot mount the program folder read-only here");
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY(DumpFiles().isEmpty());

    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    const QByteArray expected = "-----------MiniDumper-----------\nFailed to create the mini-dump file '" + folder + "/"
        + name.toLocal8Bit() + "_";
    QVERIFY2(message.contains(expected), message.constData());
    QVERIFY2(message.contains(".dmp' (error " + QByteArray::number(EROFS) + ")\n"), message.constData());
}

void TestMiniDumper::withoutDumperTheSignalKills()
{
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const struct rlimit noCore = { 0, 0 };
        setrlimit(RLIMIT_CORE, &noCore);
        {
            MiniDumper dumper(true);
        } // destroyed: the handler no longer writes
        raise(SIGILL);
        _exit(99);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGILL);
    QVERIFY(DumpFiles().isEmpty());
}

void TestMiniDumper::offsetFollowsDaylightSavingChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
    QTest::newRow("New York") << QByteArray("America/New_York");
    QTest::newRow("Lord Howe: half an hour") << QByteArray("Australia/Lord_Howe");
    QTest::newRow("rule without a database") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3");
    QTest::newRow("UTC") << QByteArray("UTC");
}

// The name of a dump uses the local time of the crash: a crash after a
// daylight-saving change, months into a run, is named in the new offset.
void TestMiniDumper::offsetFollowsDaylightSavingChanges()
{
    QFETCH(QByteArray, zone);
    const QByteArray previous = qgetenv("TZ");
    const bool hadPrevious = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", zone);
    tzset();
    int checked = 0, changes = 0;
    {
        // Made and gone again: with no dumper the handler takes the default action.
        MiniDumper dumper(false);
        const time_t now = time(nullptr);
        long last = 0;
        for (time_t t = now; t < now + 3 * 366 * 86400; t += 3600) {
            struct tm local;
            QVERIFY(localtime_r(&t, &local));
            if (t != now && local.tm_gmtoff != last) {
                ++changes;
                // Either side of the change, to the second.
                for (time_t s = t - 3600; s <= t; ++s) {
                    struct tm exact;
                    localtime_r(&s, &exact);
                    QCOMPARE(dumper.UtcOffsetAt(s), exact.tm_gmtoff);
                    ++checked;
                }
            }
            QCOMPARE(dumper.UtcOffsetAt(t), local.tm_gmtoff);
            last = local.tm_gmtoff;
        }
    }
    if (hadPrevious)
        qputenv("TZ", previous);
    else
        qunsetenv("TZ");
    tzset();
    QCOMPARE(changes > 0, zone != "UTC");
    QCOMPARE(checked, changes * 3601);
}

QTEST_GUILESS_MAIN(TestMiniDumper)
#include "tst_minidumper.moc"
