#include "TaskPool.h"

#include <QAtomicInt>
#include <QDir>
#include <QThread>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace
{
// Standard primitives rather than Qt's, so that ThreadSanitizer sees the ordering.
class Semaphore
{
public:
    void release(int count = 1)
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_count += count;
        m_condition.notify_all();
    }
    void acquire() { tryAcquire(1, -1); }
    bool tryAcquire(int count, int timeoutMs)
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        auto ready = [&] { return m_count >= count; };
        if (timeoutMs < 0)
            m_condition.wait(locker, ready);
        else if (!m_condition.wait_for(locker, std::chrono::milliseconds(timeoutMs), ready))
            return false;
        m_count -= count;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    int m_count = 0;
};

// Tasks record their start; blocking ones wait at the gate until released.
struct Recorder
{
    std::mutex mutex;
    // Not a QStringList: handing out shared copies lets the reader's release of
    // the list race with the worker's in-place append, which TSan rightly flags.
    std::vector<QString> started;
    Semaphore gate;

    QStringList Started()
    {
        std::lock_guard<std::mutex> locker(mutex);
        QStringList copy;
        for (const QString& name : started)
            copy << QString(name.constData(), name.size());
        return copy;
    }
};

struct Job
{
    Recorder* recorder;
    QString name;
    bool blocks;
};

void RunJob(void* argument)
{
    auto* job = static_cast<Job*>(argument);
    {
        std::lock_guard<std::mutex> locker(job->recorder->mutex);
        job->recorder->started.push_back(QString(job->name.constData(), job->name.size()));
    }
    if (job->blocks)
        job->recorder->gate.acquire();
}

// The threads this process has now.
int ProcessThreads()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

void Signal(void* argument)
{
    static_cast<Semaphore*>(argument)->release();
}

void Count(void* argument)
{
    static_cast<QAtomicInt*>(argument)->fetchAndAddRelaxed(1);
}
} // namespace

class TestTaskPool : public QObject
{
    Q_OBJECT

private slots:
    void extraTasksWaitAndStartInOrder();
    void urgentTasksOvertakeQueuedOnes();
    void stopDropsQueuedAndLaterTasks();
    void waitForStoppedIsBounded();
    void taskAddedAsThreadFinishesIsRun_data();
    void taskAddedAsThreadFinishesIsRun();
    void concurrentProducersLoseNoTask();
    void defaultThreadCount();
};

void TestTaskPool::extraTasksWaitAndStartInOrder()
{
    const int threads = 4;
    Recorder recorder;
    std::vector<Job> jobs;
    for (int i = 0; i < threads + 5; ++i)
        jobs.push_back(Job{&recorder, QStringLiteral("n%1").arg(i), true});
    const int before = ProcessThreads();
    {
        TaskPool pool(threads);
        for (Job& job : jobs)
            QVERIFY(pool.AddTask(&RunJob, &job));
        QTRY_COMPARE(recorder.Started().size(), threads);
        // Every thread the pool has waits at the gate: no other can start the rest.
        QCOMPARE(ProcessThreads(), before + threads);
        QCOMPARE(recorder.Started().size(), threads);

        for (int i = 0; i < 5; ++i) {
            recorder.gate.release();
            QTRY_COMPARE(recorder.Started().size(), threads + i + 1);
            QCOMPARE(recorder.Started().last(), QStringLiteral("n%1").arg(threads + i));
        }
        recorder.gate.release(threads);
    }
}

void TestTaskPool::urgentTasksOvertakeQueuedOnes()
{
    Recorder recorder;
    Job blocker{&recorder, "blocker", true};
    std::vector<Job> jobs = {{&recorder, "a", false}, {&recorder, "b", false}, {&recorder, "u1", false},
                             {&recorder, "c", false}, {&recorder, "u2", false}};
    TaskPool pool(1);
    pool.AddTask(&RunJob, &blocker);
    QTRY_COMPARE(recorder.Started().size(), 1);
    for (Job& job : jobs)
        pool.AddTask(&RunJob, &job, job.name.startsWith('u'));
    recorder.gate.release();
    QTRY_COMPARE(recorder.Started().size(), 6);
    QCOMPARE(recorder.Started(), (QStringList{"blocker", "u1", "u2", "a", "b", "c"}));
}

void TestTaskPool::stopDropsQueuedAndLaterTasks()
{
    Recorder recorder;
    Job blocker{&recorder, "blocker", true};
    Job queued{&recorder, "queued", false};
    Job late{&recorder, "late", false};
    TaskPool pool(1);
    pool.AddTask(&RunJob, &blocker);
    QTRY_COMPARE(recorder.Started().size(), 1);
    pool.AddTask(&RunJob, &queued, false);
    pool.AddTask(&RunJob, &queued, true);
    pool.StopAll();
    QVERIFY(pool.AddTask(&RunJob, &late));
    QVERIFY(pool.AddTask(&RunJob, &late, true));
    recorder.gate.release();
    QVERIFY(pool.WaitForStopped(5000));
    QCOMPARE(recorder.Started(), QStringList{"blocker"});

    TaskPool idle(3);
    idle.StopAll();
    QVERIFY(idle.WaitForStopped(5000));
}

void TestTaskPool::waitForStoppedIsBounded()
{
    Recorder recorder;
    Job blocker{&recorder, "blocker", true};
    TaskPool pool(2);
    pool.AddTask(&RunJob, &blocker);
    QTRY_COMPARE(recorder.Started().size(), 1);
    pool.StopAll();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!pool.WaitForStopped(200));
    QVERIFY(timer.elapsed() < 2000);
    recorder.gate.release();
    QVERIFY(pool.WaitForStopped(5000));
}

void TestTaskPool::taskAddedAsThreadFinishesIsRun_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one thread") << 1;
    QTest::newRow("three threads") << 3;
}

void TestTaskPool::taskAddedAsThreadFinishesIsRun()
{
    // Each task is added the moment the previous one signals, while its thread
    // is between finishing and going idle: a lost hand-over would hang here.
    QFETCH(int, threads);
    Semaphore done;
    TaskPool pool(threads);
    for (int i = 0; i < 5000; ++i) {
        pool.AddTask(&Signal, &done, i % 3 == 0);
        QVERIFY2(done.tryAcquire(1, 5000), qPrintable(QStringLiteral("task %1 never ran").arg(i)));
    }
}

void TestTaskPool::concurrentProducersLoseNoTask()
{
    const int producers = 4;
    const int perProducer = 5000;
    QAtomicInt counter;
    TaskPool pool(3);
    std::vector<QThread*> threads;
    for (int p = 0; p < producers; ++p) {
        threads.push_back(QThread::create([&pool, &counter, p] {
            for (int i = 0; i < perProducer; ++i) {
                pool.AddTask(&Count, &counter, (i + p) % 4 == 0);
                if (i % 64 == 0)
                    QThread::yieldCurrentThread();
            }
        }));
    }
    for (QThread* thread : threads)
        thread->start();
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    QTRY_COMPARE_WITH_TIMEOUT(counter.loadAcquire(), producers * perProducer, 20000);
}

void TestTaskPool::defaultThreadCount()
{
    TaskPool pool(0);
    QCOMPARE(pool.ThreadCount(), QThread::idealThreadCount() * 2 + 2);
    QCOMPARE(TaskPool::Instance(), TaskPool::Instance());
    QCOMPARE(TaskPool::Instance()->ThreadCount(), QThread::idealThreadCount() * 2 + 2);
}

QTEST_GUILESS_MAIN(TestTaskPool)
#include "tst_taskpool.moc"
