#include "RangeSearch.h"

#include "DeviceEvents.h"
#include "DottedQuad.h"

#include <QTimer>

#include <algorithm>

namespace
{
QString AddressText(quint64 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((address >> 24) & 0xFF)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}
} // namespace

RangeSearch::RangeSearch(QObject* parent)
    : QObject(parent)
{
}

RangeSearch::~RangeSearch()
{
    Stop();
}

bool RangeSearch::ParseRange(const QString& start, const QString& stop, quint32* first, quint32* last)
{
    quint32 a = 0;
    quint32 b = 0;
    if (!ParseDottedQuad(start, &a) || !ParseDottedQuad(stop, &b) || a > b || b - a >= MaxAddresses)
        return false;
    *first = a;
    *last = b;
    return true;
}

void RangeSearch::Start(quint32 first, quint32 last, Limits limits, BlockStarter starter, BlockStopper stopper,
    SearchRuns::Receiver receiver)
{
    Stop();
    m_limits.concurrency = std::max(1, limits.concurrency);
    m_limits.timeoutMs = std::max(1, limits.timeoutMs);
    m_limits.marginMs = std::max(1, limits.marginMs);
    m_starter = std::move(starter);
    m_stopper = std::move(stopper);
    m_receiver = std::move(receiver);
    m_next = first;
    m_last = last;
    m_done = 0;
    m_total = static_cast<int>(std::min<quint64>(quint64(last) - first + 1, MaxAddresses));
    m_last = quint64(first) + m_total - 1;
    m_running = true;
    emit ProgressChanged(m_done, m_total);
    StartBlocks();
}

void RangeSearch::Stop()
{
    for (const auto& entry : m_blocks) {
        SearchRuns::Close(entry.second.run);
        if (m_stopper)
            m_stopper(entry.second.run);
    }
    m_blocks.clear();
    m_running = false;
}

void RangeSearch::StartBlocks()
{
    const int blockSize = std::min(MaxBlockSize, m_limits.concurrency);
    const size_t maxBlocks = static_cast<size_t>(std::max(1, m_limits.concurrency / blockSize));
    while (m_running && m_blocks.size() < maxBlocks && m_next <= m_last) {
        const quint64 id = ++m_nextBlockId;
        Block block;
        block.size = static_cast<int>(std::min<quint64>(blockSize, m_last - m_next + 1));
        const QString start = AddressText(m_next);
        const QString stop = AddressText(m_next + block.size - 1);
        m_next += block.size;
        // Each run has its own copy of the receiver: a later Start never
        // changes what an earlier block's SDK thread calls.
        const SearchRuns::Receiver receiver = m_receiver;
        block.run = SearchRuns::Open([this, id, receiver](const SearchDevRsp* record) {
            if (record)
                receiver(record);
            else
                EndBlockLater(id);
        });
        m_blocks.emplace(id, block);
        QTimer::singleShot(m_limits.timeoutMs + m_limits.marginMs, this, [this, id] { StopOverdueBlock(id); });
        if (!m_starter(start, stop, block.run)) {
            SearchRuns::Close(block.run);
            EndBlockLater(id);
        }
    }
}

void RangeSearch::EndBlockLater(quint64 id)
{
    // Posted to this object, so dropped when the search has gone; posted as a
    // device event, so that the thread checker sees the hand-over too.
    PostDeviceEvent(this, new QDeviceCallEvent([this, id] { EndBlock(id); }));
}

void RangeSearch::customEvent(QEvent* event)
{
    if (event->type() != static_cast<QEvent::Type>(CallEvent))
        return;
    TakePostedEvent(this);
    static_cast<QDeviceCallEvent*>(event)->call();
}

void RangeSearch::StopOverdueBlock(quint64 id)
{
    const auto found = m_blocks.find(id);
    if (found == m_blocks.end())
        return;
    // The search ends with its end marker; one that does not is given up.
    if (m_stopper)
        m_stopper(found->second.run);
    QTimer::singleShot(m_limits.marginMs, this, [this, id] { EndBlock(id); });
}

void RangeSearch::EndBlock(quint64 id)
{
    const auto found = m_blocks.find(id);
    if (found == m_blocks.end())
        return;
    SearchRuns::Close(found->second.run);
    m_done += found->second.size;
    m_blocks.erase(found);
    emit ProgressChanged(m_done, m_total);
    StartBlocks();
    if (m_running && m_blocks.empty() && m_next > m_last) {
        m_running = false;
        emit Finished();
    }
}
