// Start-up to the window shown: this program started again in one of two
// window modes, timed from the process start until it prints that the
// window's first frame is drawn; the real start-up (RunDevscan with the
// shipped settings, which searches the LAN at once, so the section runs in a
// network namespace of its own) beside a bare Qt Widgets window (an empty
// QWidget), measured the same way, in turn.

#include "Sections.h"
#include "Startup.h"
#include "TestSupport.h"

#include <QProcess>
#include <QWidget>

#include <cstdio>

namespace bench
{
namespace
{
// Prints "window-shown" once the window has drawn its first frame (its first
// paint event and whatever was queued with it), then closes the window.
class FirstFrame : public QObject
{
public:
    explicit FirstFrame(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, m_window, [window = m_window] {
                std::printf("window-shown\n");
                std::fflush(stdout);
                window->close();
            });
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_seen = false;
};

// Runs this program in a window mode; the time until it says its window is
// shown, or -1.
qint64 TimeToShown(const QString& mode, QString* why)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--window"), mode });
    qint64 shownMs = -1;
    QByteArray out;
    while (shownMs < 0 && timer.elapsed() < 60000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(5);
        out += process.readAllStandardOutput();
        if (out.contains("window-shown"))
            shownMs = timer.elapsed();
    }
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        *why = QStringLiteral("the %1 window did not close").arg(mode);
        return -1;
    }
    out += process.readAllStandardOutput();
    if (shownMs < 0 && out.contains("window-shown"))
        shownMs = timer.elapsed();
    if (shownMs < 0)
        *why = QStringLiteral("the %1 window was never shown: %2")
                   .arg(mode, QString::fromLocal8Bit(process.readAllStandardError().right(400)));
    else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        *why = QStringLiteral("the %1 window's process ended with status %2").arg(mode).arg(process.exitCode());
    return why->isEmpty() ? shownMs : -1;
}
} // namespace

int RunWindowMode(int argc, char** argv, const QString& which)
{
    if (which == QLatin1String("bare")) {
        QApplication application(argc, argv);
        QWidget window;
        window.show();
        new FirstFrame(&window);
        return QApplication::exec();
    }
    if (which != QLatin1String("devscan"))
        return 2;
    TestSupport::TemporarySettings settings;
    settings.WriteConfig("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><Language cursel=\"0\">"
                         "<file name=\"ENU.xml\"/></Language><Company>0</Company><Version>V1.0.0</Version>"
                         "</config>\n");
    StartupHooks hooks;
    hooks.windowShown = [](QWidget* window) { new FirstFrame(window); };
    return RunDevscan(argc, argv, &hooks);
}

Outcome StartupSection(const Options& options, Report& report)
{
    // Each run takes a fraction of a second: a few more than the other steps.
    const int runs = std::max(options.runs, options.quick ? 3 : 5);
    Series devscan, bare;
    QString why;
    for (int run = 0; run < runs && why.isEmpty(); ++run) {
        const qint64 ours = TimeToShown(QStringLiteral("devscan"), &why);
        const qint64 theirs = why.isEmpty() ? TimeToShown(QStringLiteral("bare"), &why) : -1;
        if (!why.isEmpty())
            break;
        devscan.Add(ours);
        bare.Add(theirs);
    }
    if (!why.isEmpty())
        return Outcome::Failed(why);
    Figure figure;
    figure.title = QStringLiteral("start-up to the window shown");
    figure.measures = QStringLiteral(
        "from the process start until the main window's first frame is drawn (offscreen platform, code 0 settings, "
        "in a network namespace with loopback only); the same program in both modes, run in turn");
    figure.figure = QStringLiteral("devscan %1").arg(devscan.Text("ms"));
    figure.peer = QStringLiteral("a bare Qt Widgets window (empty QWidget) %1; devscan's own share %2 ms (medians)")
                      .arg(bare.Text("ms"))
                      .arg(devscan.Median() - bare.Median(), 0, 'f', 0);
    report.Add(figure);
    return Outcome::Ok();
}
} // namespace bench
