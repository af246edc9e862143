#include "LanguageTexts.h"
#include "Startup.h"
#include "TaskPool.h"
#include "TestSupport.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSemaphore>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

// Runs the program's whole life once per process (the settings singleton and
// the pool live until exit), so each configuration is its own test program:
//   default              the shipped config.xml, English
//   STARTUP_GERMAN       the shipped settings of a German customer; the ONVIF
//                        time-out call fails
//   STARTUP_NO_SETTINGS  a settings file that cannot be read
#if !defined(STARTUP_GERMAN) && !defined(STARTUP_NO_SETTINGS)
#define STARTUP_DEFAULT
#endif

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
#ifdef STARTUP_DEFAULT
    void taskThatNeverEndsLeavesEverythingStanding();
#endif
    void runsAndShutsDownInOrder();
};

namespace
{
// Steps from the GUI thread and from a pool thread, in the order they happened.
class StepLog
{
public:
    void Add(const QString& step)
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_steps << step;
    }
    QStringList Steps()
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        QStringList copy;
        for (const QString& step : m_steps)
            copy << QString(step.constData(), step.size());
        return copy;
    }

private:
    std::mutex m_mutex;
    QStringList m_steps;
};

StepLog g_log;
std::atomic<bool> g_windowAlive { false };
std::atomic<bool> g_windowAliveAtTaskEnd { false };

// Released once the window's close has begun.
QSemaphore g_closeBegun;

// Lets the slow task go on when the window receives its close.
class CloseWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            g_closeBegun.release();
        return false;
    }
};

// A device operation still running when the window closes.
void SlowDeviceTask(void*)
{
    g_closeBegun.acquire();
    g_windowAliveAtTaskEnd = g_windowAlive.load();
    g_log.Add(QStringLiteral("task-ended"));
}

#ifdef STARTUP_DEFAULT
void NeverEndingTask(void*)
{
    for (;;)
        pause();
}
#endif

int Run(const StartupHooks& hooks)
{
    char name[] = "devscan";
    char* argv[] = { name, nullptr };
    return RunDevscan(1, argv, &hooks);
}
} // namespace

#ifdef STARTUP_DEFAULT
void TestStartup::taskThatNeverEndsLeavesEverythingStanding()
{
#if defined(__SANITIZE_THREAD__)
    // The thread checker's own thread is there from the start, and it lets no
    // forked child start a thread.
    QSKIP("a child forked under the thread checker cannot start the pool");
#endif
    // In a child process, before this process has any thread of its own.
    TestSupport::TemporarySettings temporary;
    int fds[2];
    QCOMPARE(pipe(fds), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        close(fds[0]);
        auto report = [fd = fds[1]](const QByteArray& step) {
            const QByteArray line = step + '\n';
            (void)!write(fd, line.constData(), static_cast<size_t>(line.size()));
        };
        StartupHooks hooks;
        hooks.shutdownWaitMs = 300;
        hooks.trace = [&](const char* step) { report(step); };
        hooks.windowShown = [&](QWidget* window) {
            QObject::connect(window, &QObject::destroyed, [&] { report("window-destroyed"); });
            TaskPool::Instance()->AddTask(&NeverEndingTask, nullptr);
            QTimer::singleShot(50, window, &QWidget::close);
        };
        Run(hooks);
        _exit(99);
    }
    close(fds[1]);
    const QByteArray output = TestSupport::ReadToEnd(fds[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);

    QVERIFY2(WIFEXITED(status), "the program must end by itself");
    QCOMPARE(WEXITSTATUS(status), 0);
    const QStringList steps = QString::fromLatin1(output).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(steps.contains(QStringLiteral("pool-stopped")), qPrintable(steps.join(' ')));
    // Neither the window nor the SDK nor the texts were taken from the operation.
    for (const char* step : { "window-destroyed", "ZVNetRelease", "ZVOnvifRelease", "texts-released" })
        QVERIFY2(!steps.contains(QLatin1String(step)), step);
}
#endif

void TestStartup::runsAndShutsDownInOrder()
{
    TestSupport::TemporarySettings temporary;
#ifdef STARTUP_GERMAN
    // The shipped settings and German texts of customer code 2.
    QVERIFY(temporary.WriteConfig(TestSupport::ShippedConfig(2)));
#endif
#ifdef STARTUP_NO_SETTINGS
    QVERIFY(QDir().mkpath(temporary.ConfigPath())); // a folder where the file should be
#endif
    QString title, shownTitle, cancelText, cancelTextId5;
    bool visible = false;
    int netReleaseResult = -1;

    StartupHooks hooks;
    hooks.trace = [](const char* step) { g_log.Add(QString::fromLatin1(step)); };
    hooks.sdkResult = [&](const char* call, int result) {
        if (qstrcmp(call, "ZVNetRelease") == 0)
            netReleaseResult = result;
#ifdef STARTUP_GERMAN
        if (qstrcmp(call, "ZVOnvifSetSeachTimeout") == 0)
            return 0;
#endif
        return result;
    };
    hooks.windowShown = [&](QWidget* window) {
        g_log.Add(QStringLiteral("window-shown"));
        g_windowAlive = true;
        QObject::connect(window, &QObject::destroyed, [] {
            g_windowAlive = false;
            g_log.Add(QStringLiteral("window-destroyed"));
        });
        title = window->windowTitle();
        visible = window->isVisible();
        shownTitle = LanguageText(0);
        cancelTextId5 = LanguageText(5);
        cancelText = QCoreApplication::translate("QPlatformTheme", "Cancel");
        window->installEventFilter(new CloseWatcher(window));
        TaskPool::Instance()->AddTask(&SlowDeviceTask, nullptr);
        QTimer::singleShot(50, window, &QWidget::close);
    };

    const int result = Run(hooks);

    QCOMPARE(result, 0);
    QVERIFY(visible);
    QCOMPARE(title, shownTitle);
    QVERIFY(!LanguageTexts::Global());

    QStringList expected = { "settings-loaded", "translator-installed", "ZVNetInit", "ZVNetSetEncription",
        "ZVOnvifInit", "ZVOnvifSetSeachTimeout", "pool-started", "window-shown", "task-ended", "pool-stopped",
        "window-destroyed", "ZVNetRelease", "ZVOnvifRelease", "texts-released" };
#ifdef STARTUP_NO_SETTINGS
    expected.removeOne(QStringLiteral("translator-installed")); // nothing read, no Qt translation
#endif
    QCOMPARE(g_log.Steps(), expected);
    // The running operation outlived neither the window nor the SDK.
    QVERIFY(g_windowAliveAtTaskEnd);
    QCOMPARE(netReleaseResult, 1);
    QCOMPARE(ZVNetRelease(), 0);
    QCOMPARE(ZVOnvifRelease(), 0);

    ZVAppSetting* settings = ZVAppSetting::Instance();
#ifdef STARTUP_GERMAN
    QCOMPARE(settings->m_qmFile, QStringLiteral("/qt_de.qm"));
    QCOMPARE(cancelText, QStringLiteral("Abbrechen"));
    QCOMPARE(cancelTextId5, QStringLiteral("Abbrechen"));
    QCOMPARE(title, QStringLiteral(DEVSCAN_PRODUCT_TITLE));
    QVERIFY(!settings->m_onvifTimeoutSet);
#else
    QCOMPARE(title, QStringLiteral(DEVSCAN_PRODUCT_TITLE));
    QCOMPARE(cancelText, QStringLiteral("Cancel"));
    QCOMPARE(cancelTextId5, QStringLiteral("Cancel"));
    QVERIFY(settings->m_onvifTimeoutSet);
#endif
#ifdef STARTUP_NO_SETTINGS
    QVERIFY(settings->m_qmFile.isEmpty());
    QVERIFY(QFileInfo(temporary.ConfigPath()).isDir());
#endif
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
