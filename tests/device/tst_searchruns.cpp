// The search runs through which SDK callbacks reach a search, and the range
// search's blocks: bounded concurrency, the per-address time-out, progress,
// and nothing kept from a block or search that has ended.

#include "RangeSearch.h"
#include "SearchRuns.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace
{
SearchDevRsp Record(const char* ip)
{
    SearchDevRsp record;
    std::memset(&record, 0, sizeof(record));
    std::strncpy(record.ip, ip, sizeof(record.ip) - 1);
    return record;
}

// The state letter of one of this process's threads: 'S' while it sleeps, as in a lock's wait.
char ThreadState(pid_t thread)
{
    QFile file(QStringLiteral("/proc/self/task/%1/stat").arg(thread));
    if (!file.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray stat = file.readAll();
    const int end = stat.lastIndexOf(')'); // after the name, which may hold anything
    return end >= 0 && end + 2 < stat.size() ? stat.at(end + 2) : '?';
}

quint32 Address(const QString& text)
{
    quint32 first = 0;
    quint32 last = 0;
    return RangeSearch::ParseRange(text, text, &first, &last) ? first : 0;
}

// Stands in for the SDK: remembers each block it was asked to search and ends
// it after endAfterMs (never when negative) with one record per answering
// address, on a thread of its own. A stop ends the block at once when
// endOnStop, as the SDK does; otherwise it is only noted.
class FakeSdk
{
public:
    struct Block
    {
        quint32 first;
        quint32 last;
        void* run;
    };

    int endAfterMs = 0;
    bool endOnStop = true;
    bool refuse = false;
    QVector<void*> stops;
    QSet<quint32> answering;
    QVector<Block> blocks;
    int inFlight = 0;
    int maxInFlight = 0;

    RangeSearch::BlockStarter Starter()
    {
        return [this](const QString& start, const QString& stop, void* run) {
            if (refuse)
                return false;
            const Block block { Address(start), Address(stop), run };
            blocks.append(block);
            inFlight += int(block.last - block.first + 1);
            maxInFlight = std::max(maxInFlight, inFlight);
            if (endAfterMs >= 0) {
                QTimer::singleShot(endAfterMs, [this, block] {
                    std::thread sdk([this, block] {
                        for (quint32 a = block.first; a <= block.last; ++a) {
                            if (answering.contains(a)) {
                                const QByteArray ip = QStringLiteral("10.%1.%2.%3")
                                                          .arg((a >> 16) & 0xFF)
                                                          .arg((a >> 8) & 0xFF)
                                                          .arg(a & 0xFF)
                                                          .toLatin1();
                                const SearchDevRsp record = Record(ip.constData());
                                SearchRuns::Deliver(block.run, &record);
                            }
                        }
                        SearchRuns::Deliver(block.run, nullptr);
                    });
                    sdk.join();
                    inFlight -= int(block.last - block.first + 1);
                });
            }
            return true;
        };
    }

    RangeSearch::BlockStopper Stopper()
    {
        return [this](void* run) {
            stops.append(run);
            if (!endOnStop)
                return;
            for (const Block& block : qAsConst(blocks)) {
                if (block.run == run && SearchRuns::IsOpen(run)) {
                    std::thread sdk([run] { SearchRuns::Deliver(run, nullptr); });
                    sdk.join();
                    inFlight -= int(block.last - block.first + 1);
                }
            }
        };
    }
};

struct Found
{
    std::atomic<int> count { 0 };
    SearchRuns::Receiver Receiver()
    {
        return [this](const SearchDevRsp*) { ++count; };
    }
};
} // namespace

class TestSearchRuns : public QObject
{
    Q_OBJECT

private slots:
    void recordsReachOpenRunsOnly();
    void closeWaitsForTheReceiver();
    void parseRange_data();
    void parseRange();
    void rangeIsAskedInBoundedBlocks_data();
    void rangeIsAskedInBoundedBlocks();
    void blockEndsOnTheEndMarkerAfterItsTimeOut();
    void overdueBlocksAreStopped_data();
    void overdueBlocksAreStopped();
    void blocksThatCannotStartEndAtOnce();
    void stopDropsTheSearch();
};

void TestSearchRuns::recordsReachOpenRunsOnly()
{
    int records = 0;
    int ends = 0;
    void* run = SearchRuns::Open([&](const SearchDevRsp* record) { record ? ++records : ++ends; });
    QVERIFY(run);
    const SearchDevRsp record = Record("10.0.0.1");
    QVERIFY(SearchRuns::Deliver(run, &record));
    QVERIFY(SearchRuns::Deliver(run, &record));
    QVERIFY(SearchRuns::Deliver(run, nullptr));
    // The end closes the run: a late record or a second end is dropped.
    QVERIFY(!SearchRuns::IsOpen(run));
    QVERIFY(!SearchRuns::Deliver(run, &record));
    QVERIFY(!SearchRuns::Deliver(run, nullptr));
    QCOMPARE(records, 2);
    QCOMPARE(ends, 1);

    void* closed = SearchRuns::Open([&](const SearchDevRsp*) { ++records; });
    QVERIFY(closed != run);
    SearchRuns::Close(closed);
    SearchRuns::Close(closed);
    QVERIFY(!SearchRuns::Deliver(closed, &record));
    QVERIFY(!SearchRuns::Deliver(nullptr, &record));
    QCOMPARE(records, 2);
}

void TestSearchRuns::closeWaitsForTheReceiver()
{
    std::atomic<bool> entered { false };
    std::atomic<bool> left { false };
    std::atomic<pid_t> closer { 0 };
    std::atomic<bool> closed { false };
    // The receiver stays until Close has returned (which it must not) or the closing thread
    // sleeps in it, waiting.
    void* run = SearchRuns::Open([&](const SearchDevRsp*) {
        entered = true;
        QDeadlineTimer bound(20000);
        while (!closed && !(closer && ThreadState(closer) == 'S') && !bound.hasExpired())
            std::this_thread::yield();
        left = true;
    });
    const SearchDevRsp record = Record("10.0.0.1");
    std::thread sdk([&] { SearchRuns::Deliver(run, &record); });
    while (!entered)
        std::this_thread::yield();
    std::atomic<bool> leftBeforeClose { false };
    std::thread closing([&] {
        closer = static_cast<pid_t>(syscall(SYS_gettid));
        SearchRuns::Close(run);
        leftBeforeClose = left.load();
        closed = true;
    });
    closing.join();
    sdk.join();
    // Whatever the receiver touches is safe to free once Close has returned.
    QVERIFY(leftBeforeClose);
}

void TestSearchRuns::parseRange_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("count");

    QTest::newRow("one address") << QStringLiteral("10.0.0.7") << QStringLiteral("10.0.0.7") << true << 1;
    QTest::newRow("/24") << QStringLiteral("10.0.0.0") << QStringLiteral("10.0.0.255") << true << 256;
    QTest::newRow("/16") << QStringLiteral("10.1.0.0") << QStringLiteral("10.1.255.255") << true << 65536;
    QTest::newRow("one more than a /16") << QStringLiteral("10.1.0.0") << QStringLiteral("10.2.0.0") << false << 0;
    QTest::newRow("backwards") << QStringLiteral("10.0.0.9") << QStringLiteral("10.0.0.1") << false << 0;
    QTest::newRow("leading zero") << QStringLiteral("10.0.0.01") << QStringLiteral("10.0.0.9") << false << 0;
    QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("10.0.0.9") << false << 0;
    QTest::newRow("space") << QStringLiteral(" 10.0.0.1") << QStringLiteral("10.0.0.9") << false << 0;
    QTest::newRow("top of the space") << QStringLiteral("255.255.255.250") << QStringLiteral("255.255.255.255") << true
                                      << 6;
}

void TestSearchRuns::parseRange()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(bool, valid);
    QFETCH(int, count);
    quint32 first = 0;
    quint32 last = 0;
    QCOMPARE(RangeSearch::ParseRange(start, stop, &first, &last), valid);
    if (valid)
        QCOMPARE(qint64(last) - qint64(first) + 1, qint64(count));
}

void TestSearchRuns::rangeIsAskedInBoundedBlocks_data()
{
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("concurrency");
    QTest::addColumn<int>("blocks");

    QTest::newRow("one address") << "10.0.0.1" << 256 << 1;
    QTest::newRow("/24, 256 at once") << "10.0.1.0" << 256 << 4;
    QTest::newRow("/24, 10 at once") << "10.0.1.0" << 10 << 26;
    QTest::newRow("/24, one at a time") << "10.0.1.0" << 1 << 256;
    QTest::newRow("/16, 1024 at once") << "10.1.0.0" << 1024 << 1024;
}

void TestSearchRuns::rangeIsAskedInBoundedBlocks()
{
    QFETCH(QString, stop);
    QFETCH(int, concurrency);
    QFETCH(int, blocks);

    FakeSdk sdk;
    const quint32 first = Address(QStringLiteral("10.0.0.1"));
    const quint32 last = Address(stop);
    for (quint32 a = first; a <= last; a += 7)
        sdk.answering.insert(a);
    Found found;
    RangeSearch search;
    QVector<int> progress;
    connect(&search, &RangeSearch::ProgressChanged, this, [&](int done, int total) {
        progress.append(done);
        QCOMPARE(total, int(last - first + 1));
    });
    QSignalSpy finished(&search, &RangeSearch::Finished);
    RangeSearch::Limits limits;
    limits.concurrency = concurrency;
    limits.timeoutMs = 5000;
    search.Start(first, last, limits, sdk.Starter(), sdk.Stopper(), found.Receiver());
    QVERIFY(search.IsRunning());
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.size(), 1);
    QVERIFY(!search.IsRunning());

    QCOMPARE(sdk.blocks.size(), blocks);
    // Every address asked exactly once, in order, never more at once than allowed.
    quint32 next = first;
    for (const FakeSdk::Block& block : qAsConst(sdk.blocks)) {
        QCOMPARE(block.first, next);
        QVERIFY(block.last - block.first + 1 <= quint32(std::min(concurrency, RangeSearch::MaxBlockSize)));
        next = block.last + 1;
    }
    QCOMPARE(next, last + 1);
    QVERIFY(sdk.maxInFlight <= concurrency);
    QCOMPARE(found.count.load(), sdk.answering.size());
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(progress.first(), 0);
    QCOMPARE(progress.last(), int(last - first + 1));
    QCOMPARE(search.Done(), search.Total());
}

void TestSearchRuns::blockEndsOnTheEndMarkerAfterItsTimeOut()
{
    // The SDK's end comes after the per-address time-out but before the
    // backstop: everything it found counts, and the next block waits for it.
    FakeSdk sdk;
    sdk.endAfterMs = 300;
    const quint32 first = Address("10.0.0.1");
    const quint32 last = Address("10.0.0.200");
    for (quint32 a = first; a <= last; a += 7)
        sdk.answering.insert(a);
    Found found;
    RangeSearch search;
    QSignalSpy finished(&search, &RangeSearch::Finished);
    RangeSearch::Limits limits;
    limits.concurrency = 64;
    limits.timeoutMs = 100;
    limits.marginMs = 30000;
    QElapsedTimer timer;
    timer.start();
    search.Start(first, last, limits, sdk.Starter(), sdk.Stopper(), found.Receiver());
    QVERIFY(finished.wait(60000));
    QCOMPARE(sdk.blocks.size(), 4);
    QVERIFY(sdk.maxInFlight <= 64);
    QVERIFY(timer.elapsed() >= 4 * 300);
    QCOMPARE(found.count.load(), sdk.answering.size());
    QVERIFY(sdk.stops.isEmpty());
}

void TestSearchRuns::overdueBlocksAreStopped_data()
{
    QTest::addColumn<bool>("endOnStop");
    QTest::newRow("the SDK ends a stopped search") << true;
    QTest::newRow("the SDK never ends it") << false;
}

void TestSearchRuns::overdueBlocksAreStopped()
{
    QFETCH(bool, endOnStop);
    FakeSdk sdk;
    sdk.endAfterMs = -1; // the SDK never ends a block by itself
    sdk.endOnStop = endOnStop;
    Found found;
    RangeSearch search;
    QSignalSpy finished(&search, &RangeSearch::Finished);
    RangeSearch::Limits limits;
    limits.concurrency = 64;
    limits.timeoutMs = 100;
    limits.marginMs = 50;
    QElapsedTimer timer;
    timer.start();
    search.Start(Address("10.0.0.1"), Address("10.0.0.200"), limits, sdk.Starter(), sdk.Stopper(), found.Receiver());
    QVERIFY(finished.wait(30000));
    // Four blocks one after another, each stopped after its time-out and the
    // margin, and given up one margin later when the stop did not end it.
    QCOMPARE(sdk.blocks.size(), 4);
    QCOMPARE(sdk.stops.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(sdk.stops.at(i), sdk.blocks.at(i).run);
    QVERIFY(timer.elapsed() >= 4 * (endOnStop ? 150 : 200));
    if (endOnStop)
        QVERIFY(sdk.maxInFlight <= 64);
    QCOMPARE(search.Done(), 200);

    // What an ended block still finds is neither delivered nor kept.
    const SearchDevRsp record = Record("10.0.0.3");
    for (const FakeSdk::Block& block : qAsConst(sdk.blocks)) {
        QVERIFY(!SearchRuns::Deliver(block.run, &record));
        QVERIFY(!SearchRuns::Deliver(block.run, nullptr));
    }
    QCOMPARE(found.count.load(), 0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(finished.size(), 1);
}

void TestSearchRuns::blocksThatCannotStartEndAtOnce()
{
    FakeSdk sdk;
    sdk.refuse = true;
    Found found;
    RangeSearch search;
    QSignalSpy finished(&search, &RangeSearch::Finished);
    RangeSearch::Limits limits;
    limits.timeoutMs = 10000;
    search.Start(Address("10.0.0.1"), Address("10.0.1.0"), limits, sdk.Starter(), sdk.Stopper(), found.Receiver());
    QVERIFY(finished.wait(2000));
    QCOMPARE(search.Done(), 256);
}

void TestSearchRuns::stopDropsTheSearch()
{
    FakeSdk sdk;
    sdk.endAfterMs = -1;
    sdk.answering.insert(Address("10.0.0.2"));
    Found found;
    RangeSearch search;
    QSignalSpy finished(&search, &RangeSearch::Finished);
    RangeSearch::Limits limits;
    limits.timeoutMs = 100;
    limits.marginMs = 1;
    search.Start(Address("10.0.0.1"), Address("10.0.0.50"), limits, sdk.Starter(), sdk.Stopper(), found.Receiver());
    QCOMPARE(sdk.blocks.size(), 1);
    search.Stop();
    QVERIFY(!search.IsRunning());
    const SearchDevRsp record = Record("10.0.0.2");
    QVERIFY(!SearchRuns::Deliver(sdk.blocks.first().run, &record));
    // Timers fire in the order they are due: once this one has, the block's own
    // time-out has run too, and found nothing to end.
    bool pastTimeOut = false;
    QTimer::singleShot(2 * (limits.timeoutMs + limits.marginMs), [&] { pastTimeOut = true; });
    QTRY_VERIFY_WITH_TIMEOUT(pastTimeOut, 30000);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(finished.size(), 0);
    QCOMPARE(found.count.load(), 0);
    // The SDK search is asked to end too, once, not left running.
    QCOMPARE(sdk.stops, QVector<void*> { sdk.blocks.first().run });
}

QTEST_MAIN(TestSearchRuns)
#include "tst_searchruns.moc"
