// The firmware upgrade end to end: through the SDK and through the HTTP
// upload thread, checked on the fake device (bytes, hash, token, announced
// size and head) and in the statuses the upgrade page sees.

#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "HttpClient.h"
#include "OperationFixtures.h"
#include "httpRequest.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using fakedevice::Faults;
using fakedevice::HttpFaults;
using namespace TestSupport;

// Every call of the program's code to ZVNetGetDevInfo comes here (the link
// wraps it); it fails while g_devInfoFails is set.
std::atomic<bool> g_devInfoFails { false };
extern "C" int __real_ZVNetGetDevInfo(int handle, void* buffer, int size);
extern "C" int __wrap_ZVNetGetDevInfo(int handle, void* buffer, int size)
{
    return g_devInfoFails ? 0 : __real_ZVNetGetDevInfo(handle, buffer, size);
}

namespace
{
const char* const kKeyPath = "/API/Maintenance/TransKey/Get";
const char* const kTokenPath = "/API/Maintenance/SystemUpgrade/Token";
const char* const kUploadPath = "/API/Maintenance/SystemUpgrade/Upgrade";
const char* const kRedirectPath = "/API/Maintenance/SystemUpgrade/Elsewhere";

QByteArray Firmware(int size, unsigned seed)
{
    return RandomBytes(size, seed);
}
} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void sdkUpgradeSendsTheFile_data();
    void sdkUpgradeSendsTheFile();
    void sdkUpgradeFailures_data();
    void sdkUpgradeFailures();
    void httpUpgradeSendsTheFile_data();
    void httpUpgradeSendsTheFile();
    void httpUpgradeFailures_data();
    void httpUpgradeFailures();
    void stalledUploadEnds();
    void slowTokenLeavesTheGuiThreadFree();
    void deviceDeletedDuringUpload();
    void uploadThatCannotStopIsLeftToEnd();
    void batchSharesOneImage();

private:
    QString WriteFirmware(const QString& name, const QByteArray& bytes);
    // The statuses the upgrade page saw, in order.
    QVector<int> Statuses() const;

    std::unique_ptr<DevicePairBench> m_bench;
    QTemporaryDir m_dir;
};

void TestUpgrade::initTestCase()
{
    m_bench = std::make_unique<DevicePairBench>(30);
    QVERIFY(m_bench->Listening());
    QVERIFY(m_dir.isValid());
}

void TestUpgrade::init()
{
    m_bench->Reset();
    m_bench->Sdk().Update([](fakedevice::DeviceState& state) { state.extendedUpgrade = false; });
}

void TestUpgrade::cleanupTestCase()
{
    m_bench.reset();
}

QString TestUpgrade::WriteFirmware(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    if (!WriteFile(path, bytes))
        return QString();
    return path;
}

QVector<int> TestUpgrade::Statuses() const
{
    QVector<int> statuses;
    for (const TaskReport& report : m_bench->Log().Reports())
        statuses << report.status;
    return statuses;
}

void TestUpgrade::sdkUpgradeSendsTheFile_data()
{
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("devInfoFails");
    QTest::addColumn<uint>("type");
    QTest::newRow("capability bit 40 set: type 7") << true << false << 7u;
    QTest::newRow("bit clear: type 3") << false << false << 3u;
    QTest::newRow("bit set, device information unavailable: type 3") << true << true << 3u;
}

void TestUpgrade::sdkUpgradeSendsTheFile()
{
    QFETCH(bool, extended);
    QFETCH(bool, devInfoFails);
    QFETCH(uint, type);
    m_bench->Sdk().Update([&](fakedevice::DeviceState& state) { state.extendedUpgrade = extended; });
    g_devInfoFails = devInfoFails;
    auto restore = qScopeGuard([] { g_devInfoFails = false; });
    const QByteArray image = Firmware(300 * 1024, 1);
    auto device = m_bench->MakeDevice(Api::Sdk, &DeviceInfo::m_pUpgradeFrame);
    device->m_upgradeFilePath = WriteFirmware(QStringLiteral("cam_v2.sw"), image);
    const size_t before = m_bench->Sdk().Upgrades().size();

    QVERIFY(m_bench->RunToEnd(&UpgradeTask, device.get()));
    const TaskReport last = m_bench->LastReport();
    QCOMPARE(last.status, int(StatusUpgradeOk));
    QVERIFY(last.finished);
    QVERIFY(last.onGuiThread);
    // Connected and reporting progress until the final code.
    const QVector<int> statuses = Statuses();
    QVERIFY(statuses.count(StatusUpgrading) >= 2);
    for (const TaskReport& report : m_bench->Log().Reports().mid(0, m_bench->Log().Count() - 1)) {
        QVERIFY(!report.finished);
        QVERIFY(report.loggedIn);
    }
    QCOMPARE(device->m_upgradeHandle, 0);

    const std::vector<fakedevice::UpgradeRecord> upgrades = m_bench->Sdk().Upgrades();
    QCOMPARE(upgrades.size(), before + 1);
    QCOMPARE(upgrades.back().upgradeType, type);
    QCOMPARE(upgrades.back().receivedSize, uint64_t(image.size()));
    QCOMPARE(upgrades.back().sha256, Sha256Hex(image));
    QVERIFY(upgrades.back().ended);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestUpgrade::sdkUpgradeFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::newRow("device refuses a chunk") << "refuse" << int(StatusUpgradeFailed);
    QTest::newRow("link drops mid-upload") << "drop" << int(StatusUpgradeFailed);
    QTest::newRow("device answers 393") << "393" << int(StatusUpgrade393);
    QTest::newRow("device answers 396") << "396" << int(StatusUpgrade396);
    QTest::newRow("no such file") << "missing" << int(StatusUpgrade392);
}

void TestUpgrade::sdkUpgradeFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    Faults faults;
    faults.upgradeFailPercent = fault == "refuse" ? 50 : -1;
    faults.upgradeDropPercent = fault == "drop" ? 30 : -1;
    faults.upgradeFinalCode = fault == "393" ? 393 : fault == "396" ? 396 : 0;
    m_bench->Sdk().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Sdk, &DeviceInfo::m_pUpgradeFrame);
    device->m_upgradeFilePath = fault == "missing" ? m_dir.filePath(QStringLiteral("none.sw"))
                                                   : WriteFirmware(QStringLiteral("fw.sw"), Firmware(256 * 1024, 2));

    QVERIFY(m_bench->RunToEnd(&UpgradeTask, device.get()));
    QCOMPARE(m_bench->LastReport().status, status);
    QVERIFY(m_bench->LastReport().finished);
    // Logged out with the upgrade stopped, which joins its reports, and the queue drained: no other end can come.
    QVERIFY(!device->m_bLogin);
    QCOMPARE(device->m_upgradeHandle, 0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_bench->EndReports(), 1);
    if (fault == "missing")
        QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::UpgradeStart), 0);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestUpgrade::httpUpgradeSendsTheFile_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("600 bytes: head padded with zeros") << 600;
    QTest::newRow("1.5 MiB") << 1536 * 1024;
}

void TestUpgrade::httpUpgradeSendsTheFile()
{
    QFETCH(int, size);
    const QByteArray image = Firmware(size, 3);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pUpgradeFrame);
    device->m_upgradeFilePath = WriteFirmware(QStringLiteral("cam_v2.sw"), image);

    QVERIFY(m_bench->RunToEnd(&UpgradeTask, device.get()));
    const TaskReport last = m_bench->LastReport();
    QCOMPARE(last.status, int(StatusUpgradeOk));
    QVERIFY(last.finished);
    QVERIFY(!device->m_sdkDevice);
    QVERIFY(!device->m_pUpgradeThread);
    // Connected (0), token obtained (15), then the upload's percent (12), then done.
    const QVector<int> statuses = Statuses();
    QCOMPARE(statuses.first(), int(StatusConnected));
    QCOMPARE(statuses.value(1), int(StatusUpgrade764));
    QCOMPARE(statuses.value(2), int(StatusUpgrading));
    QCOMPARE(statuses.indexOf(StatusUpgrade764, 2), -1);
    QCOMPARE(statuses.count(StatusUpgradeOk), 1);
    // The upload's percent reached the page, each value once and rising to 100.
    QVector<int> percents;
    for (const TaskReport& report : m_bench->Log().Reports()) {
        if (report.status == StatusUpgrading)
            percents << report.progress;
    }
    QVERIFY(!percents.isEmpty());
    QCOMPARE(percents.last(), 100);
    for (int i = 1; i < percents.size(); ++i)
        QVERIFY2(percents[i] > percents[i - 1], qPrintable(QString::number(percents[i])));

    const fakedevice::HttpSettings settings = m_bench->Http().State().settings;
    QCOMPARE(settings.tokenRequests.size(), size_t(1));
    const fakedevice::HttpTokenRequest& token = settings.tokenRequests[0];
    QCOMPARE(token.fileName, std::string("cam_v2.sw"));
    QCOMPARE(token.fileSize, size);
    QCOMPARE(token.head.size(), size_t(1024));
    for (int i = 0; i < 1024; ++i)
        QCOMPARE(token.head[size_t(i)], i < size ? int(static_cast<unsigned char>(image[i])) : 0);
    QCOMPARE(settings.uploads.size(), size_t(1));
    QCOMPARE(settings.uploads[0].token, token.token);
    QCOMPARE(settings.uploads[0].size, uint64_t(size));
    QCOMPARE(settings.uploads[0].sha256, Sha256Hex(image));
    fakedevice::HttpExchange exchange;
    QVERIFY(m_bench->Http().LastExchange(kTokenPath, exchange));
    QVERIFY(exchange.request.body.find("\"base_secondary_authentication\"") != std::string::npos);
    QCOMPARE(m_bench->Http().Sessions(), 0);
}

void TestUpgrade::httpUpgradeFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("tokenReady"); // status 15 was shown first
    QTest::addColumn<int>("tokenRequests");

    QTest::newRow("key request refused") << "key 500" << int(StatusUpgradeFailed) << false << 0;
    QTest::newRow("authentication refused") << "password" << int(StatusUpgradeFailed) << false << 1;
    QTest::newRow("token refused") << "token 403" << int(StatusUpgradeFailed) << false << 1;
    QTest::newRow("token reply not json") << "token html" << int(StatusUpgradeFailed) << true << 1;
    QTest::newRow("token answered by a redirect") << "token 302" << int(StatusUpgradeFailed) << false << 1;
    QTest::newRow("token reply without a token") << "token missing" << int(StatusUpgradeFailed) << true << 1;
    QTest::newRow("path without a slash") << "no slash" << int(StatusUpgrade392) << false << 0;
    QTest::newRow("unreadable file") << "unreadable" << int(StatusUpgradeFailed) << true << 1;
    QTest::newRow("empty file") << "empty" << int(StatusUpgradeFailed) << true << 1;
    QTest::newRow("upload refused") << "upload 500" << int(StatusUpgradeFailed) << true << 1;
    QTest::newRow("link drops mid-upload") << "drop" << int(StatusUpgradeFailed) << true << 1;
    QTest::newRow("200 early, then the link resets") << "200 then reset" << int(StatusUpgradeFailed) << true << 1;
}

void TestUpgrade::httpUpgradeFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(bool, tokenReady);
    QFETCH(int, tokenRequests);
    HttpFaults faults;
    if (fault.startsWith("key")) {
        faults.path = kKeyPath;
        faults.status = 500;
    } else if (fault == "token 403" || fault == "token html") {
        faults.path = kTokenPath;
        faults.status = fault == "token 403" ? 403 : 0;
        faults.notJson = fault == "token html";
    } else if (fault == "token 302") {
        faults.path = kTokenPath;
        faults.status = 302;
        faults.location = m_bench->Http().Base(false) + kRedirectPath;
    } else if (fault == "token missing") {
        faults.path = kTokenPath;
        faults.editReply
            = EditReplyOf(kTokenPath, [](Json::Value& reply) { reply["data"].removeMember("upgrade_token"); });
    } else if (fault == "upload 500") {
        faults.path = kUploadPath;
        faults.status = 500;
    } else if (fault == "drop" || fault == "200 then reset") {
        faults.uploadDropAfter = 256 * 1024;
        faults.uploadAnswerBeforeDrop = fault == "200 then reset";
    }
    if (fault == "password") {
        // The device checks the answer against a salt of its own: the wrong password.
        faults.path = kKeyPath;
        faults.editReply = EditReplyOf(kKeyPath, &BreakSalt);
    }
    m_bench->Http().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pUpgradeFrame);
    QString path = WriteFirmware(QStringLiteral("fw.sw"), Firmware(1024 * 1024, 4));
    if (fault == "no slash")
        path = QStringLiteral("fw.sw");
    if (fault == "unreadable")
        path = m_dir.filePath(QStringLiteral("missing/fw.sw"));
    if (fault == "empty")
        path = WriteFirmware(QStringLiteral("empty.sw"), QByteArray());
    device->m_upgradeFilePath = path;
    QVERIFY(m_bench->RunToEnd(&UpgradeTask, device.get()));
    QCOMPARE(m_bench->LastReport().status, status);
    QVERIFY(m_bench->LastReport().finished);
    QCOMPARE(Statuses().contains(StatusUpgrade764), tokenReady);
    QVERIFY(!Statuses().contains(StatusUpgradeOk));
    // The upload thread is gone and the queue drained: no other end can come.
    QTRY_VERIFY(!device->m_pUpgradeThread);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_bench->EndReports(), 1);
    QVERIFY(!device->m_sdkDevice);
    QCOMPARE(m_bench->Http().CountRequests(kTokenPath), tokenRequests);
    QCOMPARE(m_bench->Http().CountRequests(kRedirectPath), 0);
    QVERIFY(m_bench->Http().State().settings.uploads.empty());
    if (fault == "no slash")
        QCOMPARE(m_bench->Http().CountRequests(kKeyPath), 1);
    if (fault == "unreadable" || fault == "empty") {
        // The device decides on the token; the upload thread sends nothing.
        const fakedevice::HttpTokenRequest token = m_bench->Http().State().settings.tokenRequests.at(0);
        QCOMPARE(token.fileSize, 0);
        QCOMPARE(std::count(token.head.begin(), token.head.end(), 0), 1024L);
        QCOMPARE(m_bench->Http().CountRequests(kUploadPath), 0);
    }
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestUpgrade::stalledUploadEnds()
{
    const long previous = HttpClient::SetUploadStallSeconds(2);
    HttpFaults faults;
    faults.uploadStallAfter = 64 * 1024;
    m_bench->Http().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pUpgradeFrame);
    device->m_upgradeFilePath = WriteFirmware(QStringLiteral("stall.sw"), Firmware(16 * 1024 * 1024, 5));

    QElapsedTimer timer;
    timer.start();
    const bool ended = m_bench->RunToEnd(&UpgradeTask, device.get(), 30000);
    HttpClient::SetUploadStallSeconds(previous);
    QVERIFY(ended);
    QCOMPARE(m_bench->LastReport().status, int(StatusUpgradeFailed));
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_bench->Http().State().settings.uploads.empty());
}

void TestUpgrade::slowTokenLeavesTheGuiThreadFree()
{
    HttpFaults faults;
    faults.path = kTokenPath;
    faults.delayMs = 1500;
    m_bench->Http().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pUpgradeFrame);
    const QByteArray image = Firmware(64 * 1024, 9);
    device->m_upgradeFilePath = WriteFirmware(QStringLiteral("slow.sw"), image);

    // The GUI thread's timer keeps firing while the device takes its time.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(20);
    QVERIFY(m_bench->RunToEnd(&UpgradeTask, device.get()));
    ticker.stop();
    QCOMPARE(m_bench->LastReport().status, int(StatusUpgradeOk));
    QVERIFY2(longestGap < 700, qPrintable(QString::number(longestGap)));
    QCOMPARE(m_bench->Http().State().settings.uploads.at(0).sha256, Sha256Hex(image));
}

void TestUpgrade::deviceDeletedDuringUpload()
{
    HttpFaults faults;
    faults.uploadStallAfter = 64 * 1024; // the upload would wait for minutes
    m_bench->Http().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pUpgradeFrame);
    device->m_upgradeFilePath = WriteFirmware(QStringLiteral("gone.sw"), Firmware(16 * 1024 * 1024, 6));
    DeviceInfo* raw = device.get();
    OnOtherThread([=] { UpgradeTask(raw); });
    QTRY_VERIFY_WITH_TIMEOUT(raw->m_pUpgradeThread, 10000);
    QPointer<QThread> upload(raw->m_pUpgradeThread);
    QTRY_COMPARE_WITH_TIMEOUT(int(raw->m_status), int(StatusUpgrading), 10000);
    const int reports = m_bench->Log().Count();

    QElapsedTimer timer;
    timer.start();
    device.reset();
    QVERIFY(upload.isNull());
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    // Nothing of the ended upload reaches anything, queued or not.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_bench->Log().Count(), reports);
}

// A firmware "file" that is a pipe: the upload thread blocks opening it, out
// of reach of any interruption, until the test opens the other end.
void TestUpgrade::uploadThatCannotStopIsLeftToEnd()
{
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.sw"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Succeeds once the other side has the pipe open for reading.
    auto openWriter = [&] { return ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK); };
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pUpgradeFrame);
    device->m_upgradeFilePath = fifo;
    DeviceInfo* raw = device.get();
    OnOtherThread([=] { UpgradeTask(raw); });

    // The token request reads the head: a few bytes, then the end.
    int writer = -1;
    QVERIFY(QTest::qWaitFor([&] { return (writer = openWriter()) >= 0; }, 20000));
    QCOMPARE(::write(writer, "head", 4), ssize_t(4));
    ::close(writer);
    QTRY_VERIFY_WITH_TIMEOUT(raw->m_pUpgradeThread, 20000);
    QPointer<QThread> upload(raw->m_pUpgradeThread);
    const int reports = m_bench->Log().Count();

    const int previous = httpRequest::SetStopWaitMs(200);
    device.reset(); // returns after the bound, the upload still blocked
    httpRequest::SetStopWaitMs(previous);
    QVERIFY(!upload.isNull());
    QVERIFY(upload->isRunning());

    // Unblocked, it ends by itself, deletes itself and reports to nobody.
    QVERIFY(QTest::qWaitFor([&] { return (writer = openWriter()) >= 0; }, 20000));
    ::close(writer);
    QTRY_VERIFY_WITH_TIMEOUT(upload.isNull(), 20000);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_bench->Log().Count(), reports);
    QVERIFY(m_bench->Http().State().settings.uploads.empty());
}

void TestUpgrade::batchSharesOneImage()
{
    const QByteArray first = Firmware(4096, 7);
    const QString path = WriteFirmware(QStringLiteral("batch.sw"), first);
    std::shared_ptr<const std::string> one = SharedFirmwareImage(path);
    std::shared_ptr<const std::string> two = SharedFirmwareImage(path);
    QVERIFY(one);
    QCOMPARE(one.get(), two.get());
    QCOMPARE(QByteArray::fromStdString(*one), first);

    // A file changed on disk is read anew; the running uploads keep theirs.
    const QByteArray second = Firmware(5000, 8);
    QVERIFY(WriteFile(path, second));
    std::shared_ptr<const std::string> three = SharedFirmwareImage(path);
    QVERIFY(three);
    QCOMPARE(QByteArray::fromStdString(*three), second);
    QCOMPARE(QByteArray::fromStdString(*one), first);

    QVERIFY(!SharedFirmwareImage(m_dir.filePath(QStringLiteral("none.sw"))));
    QVERIFY(!SharedFirmwareImage(WriteFirmware(QStringLiteral("zero.sw"), QByteArray())));
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
