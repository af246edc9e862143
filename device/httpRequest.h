#pragma once

// The thread that uploads one firmware file to one device over HTTP. It reads
// the file, sends it in one POST with the upgrade token and a speed cap, posts
// the percent sent to the device as QUpgradeEvents, and ends with
// taskFinished(ok). A device that goes away first interrupts it and waits for
// run() to return, within a bound (StopUpload).

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <memory>
#include <string>

class HttpClient;

class httpRequest : public QThread
{
    Q_OBJECT

public:
    // Images above this size are refused: the upload announces its size as an int.
    static constexpr qint64 kMaxFirmwareBytes = 256 * 1024 * 1024;

    // How long a device that goes away waits for its upload to end.
    static constexpr int kStopWaitMs = 10000;

    explicit httpRequest(QObject* receiver);
    ~httpRequest() override;

    // Interrupts the upload and waits for it up to waitMs; true when it has
    // ended (the caller then deletes it). Otherwise the upload forgets its
    // receiver, reports to nobody and deletes itself once it ends.
    bool Stop(int waitMs);
    // The bound Stop is given by a device that goes away; returns the one
    // before (tests shorten it).
    static int SetStopWaitMs(int ms);
    static int StopWaitMs();

    // filePath: the local 8-bit bytes of the path (QFile::encodeName). size is
    // what the token request announced; the upload sends the bytes it reads.
    void SetParams(const std::string& url, const std::string& upgradeToken, const std::string& filePath, int size,
        int speedFactor);
    void SetSession(const std::string& cookie, const std::string& csrfToken, const std::string& host, bool https);
    void SetResultHandled() { m_bResultHandled = true; }
    bool ResultHandled() const { return m_bResultHandled; }
    bool UploadFinished() const { return m_bFinished; }

signals:
    // Emitted on the thread the object lives on (the GUI thread), once run()
    // has ended.
    void taskFinished(bool ok);

protected:
    void run() override;
    void customEvent(QEvent* event) override;

private:
    bool Upload();

    HttpClient* m_pClient;
    QObject* m_pReceiver; // read and cleared on the object's own thread only
    bool m_bAbandoned = false;
    std::atomic<bool> m_bResultHandled { false };
    std::atomic<bool> m_bFinished { false };
    std::string m_url;
    std::string m_upgradeToken;
    std::string m_filePath;
    // Shared by every upload of the same unchanged file at the same time.
    std::shared_ptr<const std::string> m_data;
    int m_fileSize = 0;
    int m_speedFactor = 16;
};

// Shutdown: every upload is interrupted, and none starts from now on.
void InterruptAllUploads();
// Waits until no upload thread runs any more, at most until deadline; true
// when none does. Called on the thread the uploads live on.
bool WaitForUploads(QDeadlineTimer deadline);

// The contents of a firmware file, read once and shared while any upload
// holds them; a file changed since (size or time) is read anew. Null when the
// file cannot be opened or read whole, is empty, or exceeds
// httpRequest::kMaxFirmwareBytes.
std::shared_ptr<const std::string> SharedFirmwareImage(const QString& path);
