#include "Bench.h"

#include "DeviceTasks.h"
#include "TaskPool.h"

#include <QEventLoop>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace bench
{
void Report::Add(const Figure& figure)
{
    Append(Block(figure));
}

void Report::Note(const QString& line)
{
    Append(QStringLiteral("  note:     %1\n").arg(line));
}

QString Report::Block(const Figure& figure)
{
    QString text = QStringLiteral("\n## %1\n").arg(figure.title);
    text += QStringLiteral("  measures: %1\n").arg(figure.measures);
    text += QStringLiteral("  figure:   %1\n").arg(figure.figure);
    text += QStringLiteral("  peer:     %1\n").arg(figure.peer.isEmpty() ? QStringLiteral("none") : figure.peer);
    if (figure.goal.isEmpty()) {
        text += QStringLiteral("  goal:     none set; the figure is reported\n");
    } else {
        text += QStringLiteral("  goal:     %1\n").arg(figure.goal);
        text += QStringLiteral("  result:   %1\n").arg(GoalText(figure.met, figure.gap));
    }
    return text;
}

void Report::Append(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(text.toUtf8());
}

QString GoalText(bool met, const QString& gap)
{
    return met ? QStringLiteral("met") : QStringLiteral("GAP: %1").arg(gap);
}

double Series::Min() const
{
    return m_values.isEmpty() ? 0 : *std::min_element(m_values.begin(), m_values.end());
}

double Series::Max() const
{
    return m_values.isEmpty() ? 0 : *std::max_element(m_values.begin(), m_values.end());
}

double Series::Median() const
{
    if (m_values.isEmpty())
        return 0;
    QVector<double> sorted = m_values;
    std::sort(sorted.begin(), sorted.end());
    return sorted.at(sorted.size() / 2);
}

QString Series::Text(const char* unit, int decimals) const
{
    if (m_values.size() == 1)
        return QStringLiteral("%1 %2 (1 run)").arg(m_values.first(), 0, 'f', decimals).arg(QLatin1String(unit));
    return QStringLiteral("median %1 %4 (min %2, max %3, %5 runs)")
        .arg(Median(), 0, 'f', decimals)
        .arg(Min(), 0, 'f', decimals)
        .arg(Max(), 0, 'f', decimals)
        .arg(QLatin1String(unit))
        .arg(m_values.size());
}

bool BenchApplication::notify(QObject* receiver, QEvent* event)
{
    if (m_depth++ > 0) {
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        return handled;
    }
    ++m_events;
    QElapsedTimer timer;
    timer.start();
    const bool handled = QApplication::notify(receiver, event);
    m_longestNs = qMax(m_longestNs, timer.nsecsElapsed());
    --m_depth;
    return handled;
}

int BenchApplication::TakeEvents()
{
    const int events = m_events;
    m_events = 0;
    return events;
}

qint64 BenchApplication::TakeLongestNs()
{
    const qint64 longest = m_longestNs;
    m_longestNs = 0;
    return longest;
}

namespace
{
BenchApplication* Application()
{
    return dynamic_cast<BenchApplication*>(QCoreApplication::instance());
}
} // namespace

GuiGapMeter::GuiGapMeter()
{
    const std::string path = "/proc/self/task/" + std::to_string(static_cast<long>(syscall(SYS_gettid))) + "/schedstat";
    m_schedFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(5);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
        const qint64 gap = m_sinceTick.restart();
        const Sched now = ReadSched();
        BenchApplication* app = Application();
        const int events = app ? app->TakeEvents() : 0;
        if (gap > m_longestMs) {
            m_longestMs = gap;
            m_longestAtMs = m_since.elapsed();
            m_gapRunUs = (now.runNs - m_lastTick.runNs) / 1000;
            m_gapWaitUs = (now.waitNs - m_lastTick.waitNs) / 1000;
            m_gapEvents = events;
        }
        m_lastTick = now;
    });
}

GuiGapMeter::~GuiGapMeter()
{
    if (m_schedFd >= 0)
        ::close(m_schedFd);
}

GuiGapMeter::Sched GuiGapMeter::ReadSched() const
{
    Sched figures;
    char text[128] = {};
    if (m_schedFd >= 0 && ::pread(m_schedFd, text, sizeof(text) - 1, 0) > 0) {
        long long run = 0, wait = 0;
        if (std::sscanf(text, "%lld %lld", &run, &wait) == 2) {
            figures.runNs = run;
            figures.waitNs = wait;
        }
    }
    return figures;
}

void GuiGapMeter::Start()
{
    m_longestMs = 0;
    m_longestAtMs = 0;
    m_gapRunUs = m_gapWaitUs = 0;
    m_gapEvents = 0;
    m_lastTick = ReadSched();
    if (BenchApplication* app = Application()) {
        app->TakeEvents();
        app->TakeLongestNs();
    }
    m_since.start();
    m_sinceTick.start();
    m_ticker.start();
}

qint64 GuiGapMeter::Stop()
{
    m_ticker.stop();
    // The time since the last tick counts too.
    if (m_sinceTick.elapsed() > m_longestMs) {
        m_longestMs = m_sinceTick.elapsed();
        m_longestAtMs = m_since.elapsed();
    }
    BenchApplication* app = Application();
    m_longestEventUs = app ? app->TakeLongestNs() / 1000 : 0;
    return m_longestMs;
}

QString GuiGapMeter::Explanation() const
{
    return QStringLiteral("longest gap ended %1 s in; in it the GUI thread ran %2 ms and waited for a processor %3 ms, "
                          "%4 events; longest single event %5 ms")
        .arg(m_longestAtMs / 1000.0, 0, 'f', 2)
        .arg(m_gapRunUs / 1000.0, 0, 'f', 1)
        .arg(m_gapWaitUs / 1000.0, 0, 'f', 1)
        .arg(m_gapEvents)
        .arg(m_longestEventUs / 1000.0, 0, 'f', 2);
}

namespace
{
std::atomic<int> g_running { 0 };
std::atomic<int> g_peak { 0 };

struct CountedTask
{
    void (*function)(void*);
    void* argument;
};

void RunCounted(void* argument)
{
    const CountedTask task = *static_cast<CountedTask*>(argument);
    delete static_cast<CountedTask*>(argument);
    const int now = ++g_running;
    int peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) { }
    task.function(task.argument);
    --g_running;
}

bool QueueCounted(void (*function)(void*), void* argument, bool urgent)
{
    auto* task = new CountedTask { function, argument };
    if (TaskPool::Instance()->AddTask(&RunCounted, task, urgent))
        return true;
    delete task;
    return false;
}
} // namespace

PoolLoad::PoolLoad()
{
    SetQueueTaskFunction(&QueueCounted);
}

PoolLoad::~PoolLoad()
{
    SetQueueTaskFunction(nullptr);
}

void PoolLoad::ResetPeak()
{
    g_peak = g_running.load();
}

int PoolLoad::Peak() const
{
    return g_peak.load();
}

int PoolLoad::Running() const
{
    return g_running.load();
}

int PoolLoad::Bound()
{
    return TaskPool::Instance()->ThreadCount();
}

Outcome LanNotMade(const QString& why)
{
    const bool canMake
        = QProcess::execute(QStringLiteral("unshare"), { QStringLiteral("-n"), QStringLiteral("true") }) == 0;
    return canMake ? Outcome::Failed(QStringLiteral("cannot make the namespace LAN: %1").arg(why))
                   : Outcome::Skip(QStringLiteral("cannot make network namespaces here: %1").arg(why));
}

bool RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(1);
    loop.exec();
    return done();
}
} // namespace bench
