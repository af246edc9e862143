#pragma once

// The benchmark program's frame: its options, the figure blocks each section
// writes, and the meters the sections share (series of timings, the GUI
// thread's longest timer gap, the peak of device tasks running on the pool).

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <functional>

namespace bench
{
struct Options
{
    // Repetitions of each timed step; --quick (CI) uses fewer.
    int runs = 3;
    // ONVIF search runs that each follow --idle-seconds of idle.
    int idleRuns = 2;
    int idleSeconds = 60;
    bool quick = false;
    // The npm clients of tools/interop.sh (BUILD/interop/node_modules).
    QString nodeModules;
};

// One figure: what it measures, the figure, its peer in the same run, the goal
// and whether the goal was met (or the gap).
struct Figure
{
    QString title;
    QString measures;
    QString figure;
    QString peer; // empty: no peer
    QString goal; // empty: no goal set
    bool met = true;
    QString gap; // why the goal was not met
};

// What a section ended with. A fault (a device count that is wrong, a batch
// that did not end, a program that crashed) fails the benchmark run; a slow
// figure does not, it is reported as a gap.
struct Outcome
{
    enum Kind
    {
        Done,
        Skipped,
        Fault
    };
    Kind kind = Done;
    QString why;

    static Outcome Ok() { return {}; }
    static Outcome Skip(const QString& why) { return { Skipped, why }; }
    static Outcome Failed(const QString& why) { return { Fault, why }; }
};

// The figure blocks of one section, written to the section's block file.
class Report
{
public:
    explicit Report(QString path)
        : m_path(std::move(path))
    {
    }
    void Add(const Figure& figure);
    void Note(const QString& line);
    static QString Block(const Figure& figure);

private:
    void Append(const QString& text);
    QString m_path;
};

// Timings of repeated runs.
class Series
{
public:
    void Add(double value) { m_values.append(value); }
    bool IsEmpty() const { return m_values.isEmpty(); }
    int Count() const { return m_values.size(); }
    double Min() const;
    double Median() const;
    double Max() const;
    // "median M unit (min A, max B, N runs)", or the one value.
    QString Text(const char* unit, int decimals = 0) const;

private:
    QVector<double> m_values;
};

// Times every event the GUI thread delivers: the longest one is what the
// program itself kept the thread busy with; the rest of a timer gap is the
// thread waiting for a processor.
class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    // Events delivered and the longest delivery since the last call.
    int TakeEvents();
    qint64 TakeLongestNs();

private:
    int m_depth = 0;
    int m_events = 0;
    qint64 m_longestNs = 0;
};

// The longest time the GUI thread went without running a 5 ms timer, from
// Start() to Stop(), and what explains it: the longest single event the
// thread delivered, and within the longest gap how long the thread ran and
// how long it was runnable but waited for a processor (Linux schedstat).
class GuiGapMeter
{
public:
    GuiGapMeter();
    ~GuiGapMeter();
    void Start();
    qint64 Stop();
    qint64 LongestMs() const { return m_longestMs; }
    qint64 LongestAtMs() const { return m_longestAtMs; }
    // "longest at 1.2 s; in it on a processor 3.1 ms, waiting for one 20.4 ms,
    // 12 events; longest event 2.3 ms"
    QString Explanation() const;

private:
    struct Sched
    {
        qint64 runNs = 0;
        qint64 waitNs = 0;
    };
    Sched ReadSched() const;

    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_since;
    int m_schedFd = -1;
    Sched m_lastTick;
    qint64 m_longestMs = 0;
    qint64 m_longestAtMs = 0;
    qint64 m_gapRunUs = 0;
    qint64 m_gapWaitUs = 0;
    int m_gapEvents = 0;
    qint64 m_longestEventUs = 0;
};

// Device tasks running at once on the task pool: every task the pages and the
// dispatch queue (QueueDeviceTask, QueuePoolTask) is counted while it runs.
class PoolLoad
{
public:
    PoolLoad();
    ~PoolLoad();
    PoolLoad(const PoolLoad&) = delete;
    PoolLoad& operator=(const PoolLoad&) = delete;

    void ResetPeak();
    int Peak() const;
    int Running() const;
    static int Bound();
};

// Runs the event loop until done() holds, looking every millisecond; false when
// timeoutMs passed first.
bool RunUntil(const std::function<bool()>& done, int timeoutMs);

QString GoalText(bool met, const QString& gap);

// A namespace LAN that could not be made: a skip where this machine cannot
// make network namespaces at all (not root), else a fault.
Outcome LanNotMade(const QString& why);
} // namespace bench
