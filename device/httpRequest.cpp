#include "httpRequest.h"

#include "DeviceEvents.h"
#include "Guarded.h"
#include "HttpClient.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace
{
struct CachedImage
{
    qint64 size = -1;
    QDateTime modified;
    std::weak_ptr<const std::string> data;
};

// A batch uploads one file to many devices at once: it is held once, not
// once per device. Entries whose data nobody holds any more are dropped.
struct ImageCache
{
    std::mutex mutex;
    std::map<QString, CachedImage> images;
};

ImageCache& Cache()
{
    static ImageCache cache;
    return cache;
}

// Every upload object that exists, so that shutdown can stop them all.
struct UploadRegistry
{
    std::mutex mutex;
    std::vector<httpRequest*> uploads;
};

UploadRegistry& Registry()
{
    static UploadRegistry registry;
    return registry;
}

std::atomic<bool> g_uploadsClosed { false };
std::atomic<int> g_stopWaitMs { httpRequest::kStopWaitMs };

// The end of run(), handed to the object's own thread.
class UploadEndEvent : public QEvent
{
public:
    explicit UploadEndEvent(bool ok)
        : QEvent(Type())
        , ok(ok)
    {
    }
    static QEvent::Type Type()
    {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    const bool ok;
};

std::shared_ptr<const std::string> ReadWhole(const QString& path, qint64& size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    size = file.size();
    if (size <= 0 || size > httpRequest::kMaxFirmwareBytes)
        return nullptr;
    auto data = std::make_shared<std::string>(static_cast<size_t>(size), '\0');
    qint64 got = 0;
    while (got < size) {
        const qint64 read = file.read(&(*data)[static_cast<size_t>(got)], size - got);
        if (read <= 0)
            return nullptr; // shorter than it said, or a read error
        got += read;
    }
    return data;
}
} // namespace

std::shared_ptr<const std::string> SharedFirmwareImage(const QString& path)
{
    ImageCache& cache = Cache();
    // Held while reading, so that the uploads of one batch that start together
    // wait for one read instead of each reading the file.
    std::lock_guard<std::mutex> lock(cache.mutex);
    for (auto it = cache.images.begin(); it != cache.images.end();)
        it = it->second.data.expired() ? cache.images.erase(it) : std::next(it);

    const QFileInfo info(path);
    const QDateTime modified = info.lastModified();
    auto found = cache.images.find(path);
    if (found != cache.images.end() && found->second.size == info.size() && found->second.modified == modified) {
        if (auto data = found->second.data.lock())
            return data;
    }
    qint64 size = 0;
    std::shared_ptr<const std::string> data = ReadWhole(path, size);
    if (!data)
        return nullptr;
    cache.images[path] = CachedImage { size, modified, data };
    return data;
}

httpRequest::httpRequest(QObject* receiver)
    : m_pClient(new HttpClient)
    , m_pReceiver(receiver)
{
    // Progress comes here first and goes on to the receiver from this
    // object's thread, where the receiver can be cut off safely.
    m_pClient->SetProgressReceiver(this);
    m_pClient->SetCancelCheck([this] { return isInterruptionRequested() || g_uploadsClosed.load(); });
    UploadRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.uploads.push_back(this);
}

httpRequest::~httpRequest()
{
    {
        UploadRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.uploads.erase(
            std::remove(registry.uploads.begin(), registry.uploads.end(), this), registry.uploads.end());
    }
    // Deleting a running thread would end the process: the owner waits first.
    if (isRunning()) {
        requestInterruption();
        wait();
    }
    // run() has returned. Its end stored m_bFinished; this acquire shows the
    // order QThread::wait gives in a form thread checkers follow.
    m_bFinished.load(std::memory_order_acquire);
    delete m_pClient;
}

bool httpRequest::Stop(int waitMs)
{
    requestInterruption();
    if (wait(QDeadlineTimer(qMax(0, waitMs))))
        return true;
    // Still running: it must not report to a receiver that may go away, and
    // it is deleted when its end arrives here (customEvent).
    m_pReceiver = nullptr;
    m_bAbandoned = true;
    disconnect(this, &httpRequest::taskFinished, nullptr, nullptr);
    qDebug() << "upload=== still running after" << waitMs << "ms; left to end by itself";
    return false;
}

int httpRequest::SetStopWaitMs(int ms)
{
    return g_stopWaitMs.exchange(qMax(0, ms));
}

int httpRequest::StopWaitMs()
{
    return g_stopWaitMs.load();
}

void InterruptAllUploads()
{
    g_uploadsClosed.store(true);
    UploadRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (httpRequest* upload : registry.uploads)
        upload->requestInterruption();
}

bool WaitForUploads(QDeadlineTimer deadline)
{
    std::vector<httpRequest*> uploads;
    {
        UploadRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        uploads = registry.uploads;
    }
    // The objects are deleted on this thread only, so none goes away meanwhile.
    bool allEnded = true;
    for (httpRequest* upload : uploads)
        if (upload->wait(deadline))
            upload->UploadFinished(); // the order wait gives, in a form thread checkers follow
        else
            allEnded = false;
    return allEnded;
}

void httpRequest::SetParams(
    const std::string& url, const std::string& upgradeToken, const std::string& filePath, int size, int speedFactor)
{
    m_url = url;
    m_upgradeToken = upgradeToken;
    m_filePath = filePath;
    m_fileSize = size;
    m_speedFactor = speedFactor;
}

void httpRequest::SetSession(
    const std::string& cookie, const std::string& csrfToken, const std::string& host, bool https)
{
    m_pClient->SetCookie(cookie);
    m_pClient->SetCsrfToken(csrfToken);
    m_pClient->SetHost(host);
    m_pClient->SetHttps(https);
}

void httpRequest::run()
{
    bool ok = false;
    if (!g_uploadsClosed.load())
        RunGuarded("upload", [this, &ok] { ok = Upload(); });
    m_data.reset();
    // The signal leaves from the object's thread: its receivers see the result
    // through a hand-off that thread checkers follow (DeviceEvents.h).
    PostDeviceEvent(this, new UploadEndEvent(ok));
    // Last: whoever waited for the thread may then also delete the event
    // unhandled (at shutdown). The object outlives this store: it is deleted
    // only after a wait for the thread.
    m_bFinished.store(true, std::memory_order_release);
}

void httpRequest::customEvent(QEvent* event)
{
    TakePostedEvent(this); // posted by run() on the upload thread
    if (event->type() == static_cast<QEvent::Type>(UpgradeEvent)) {
        const auto* progress = static_cast<const QUpgradeEvent*>(event);
        if (m_pReceiver) {
            auto* copy = new QUpgradeEvent(progress->code);
            copy->value = progress->value;
            copy->extra = progress->extra;
            PostDeviceEvent(m_pReceiver, copy);
        }
        return;
    }
    if (event->type() != UploadEndEvent::Type()) {
        QThread::customEvent(event);
        return;
    }
    if (m_bAbandoned) {
        deleteLater();
        return;
    }
    emit taskFinished(static_cast<UploadEndEvent*>(event)->ok);
}

bool httpRequest::Upload()
{
    // An unreadable, empty or oversized file fails here, before anything is
    // sent: a device must never be told that an empty image arrived.
    m_data = SharedFirmwareImage(QFile::decodeName(QByteArray::fromStdString(m_filePath)));
    if (!m_data || isInterruptionRequested())
        return false;
    if (static_cast<qint64>(m_data->size()) != m_fileSize)
        qDebug() << "upload=== file size changed since the token request" << m_fileSize << m_data->size();
    // The size sent is that of the bytes read, whatever was measured before.
    return m_pClient->PostUpload(
        m_url, m_upgradeToken, m_filePath, *m_data, static_cast<int>(m_data->size()), m_speedFactor);
}
