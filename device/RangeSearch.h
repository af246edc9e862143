#pragma once

#include "SearchRuns.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>

// Searches an address range block by block, gently: at most `concurrency`
// addresses are being asked at any time, and the progress is counted in
// addresses. The caller starts one SDK search per block, which the SDK bounds by
// the same per-address time-out; a block ends on the SDK's end marker and counts
// as in flight until then. Should the end marker not come within the time-out
// plus a margin, the block's SDK search is stopped; a block that does not end
// even then is given up (what it still finds is dropped).
// Lives on the GUI thread; records reach the receiver on SDK threads.
class RangeSearch : public QObject
{
    Q_OBJECT

public:
    // The widest range searched, as the SDK's own range search: a /16.
    static constexpr quint32 MaxAddresses = 65536;
    // Every address of a block is asked at once.
    static constexpr int MaxBlockSize = 64;

    struct Limits
    {
        int concurrency = 256; // addresses asked at once
        int timeoutMs = 1000; // how long an address may take to answer
        // Beyond the time-out: when the block's SDK search is stopped, and again
        // when a stopped search that has not ended is given up.
        int marginMs = 2000;
    };

    // Starts the SDK search of one block (its first and last address) with the
    // run's user value; false when it did not start.
    using BlockStarter = std::function<bool(const QString& start, const QString& stop, void* user)>;
    // Asks the SDK search of a block (by its user value) to end with its end marker.
    using BlockStopper = std::function<void(void* user)>;

    explicit RangeSearch(QObject* parent = nullptr);
    ~RangeSearch() override;

    // The range of two strict dotted quads; false when they are no range
    // (no addresses, backwards, or more than MaxAddresses).
    static bool ParseRange(const QString& start, const QString& stop, quint32* first, quint32* last);

    // Searches first..last. Each record goes to receiver (null records never);
    // Finished follows on this thread once every block has ended.
    void Start(quint32 first, quint32 last, Limits limits, BlockStarter starter, BlockStopper stopper,
        SearchRuns::Receiver receiver);
    // Gives up every block and stops their SDK searches; no Finished follows.
    void Stop();

    bool IsRunning() const { return m_running; }
    int Done() const { return m_done; }
    int Total() const { return m_total; }

signals:
    void ProgressChanged(int done, int total);
    void Finished();

protected:
    void customEvent(QEvent* event) override;

private:
    struct Block
    {
        void* run = nullptr;
        int size = 0;
    };

    void StartBlocks();
    void EndBlock(quint64 id);
    void EndBlockLater(quint64 id);
    void StopOverdueBlock(quint64 id);

    Limits m_limits;
    BlockStarter m_starter;
    BlockStopper m_stopper;
    SearchRuns::Receiver m_receiver;
    std::map<quint64, Block> m_blocks;
    quint64 m_nextBlockId = 0;
    quint64 m_next = 0; // first address not yet asked
    quint64 m_last = 0;
    int m_done = 0;
    int m_total = 0;
    bool m_running = false;
};
