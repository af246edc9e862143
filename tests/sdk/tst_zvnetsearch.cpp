// Device search against fake devices on loopback: what the callback receives,
// how a search ends, and what bad answers do.
#include "DeviceWire.h"
#include "SdkTestSupport.h"
#include "ZVSDKWrapper.h"
#include "ZVSdkConfig.h"

#include <QElapsedTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

using namespace sdktest;
using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::Faults;

namespace
{
std::vector<std::string> Addresses(std::initializer_list<int> numbers)
{
    std::vector<std::string> out;
    for (int n : numbers)
        out.push_back(Loopback(n));
    return out;
}

int StartLanSearch(SearchCollector& collector, uint8_t family = 0)
{
    ZVNetSearchParam param {};
    param.callback = &SearchCollector::Callback;
    param.user = &collector;
    param.deviceFamily = family;
    return ZVNetSearchDev(&param);
}

int StartRangeSearch(SearchCollector& collector, const std::string& start, const std::string& stop, uint8_t mode = 7)
{
    ZVNetP2PSearchParam param {};
    param.callback = &SearchCollector::Callback;
    param.user = &collector;
    param.mode = mode;
    std::strncpy(param.startIp, start.c_str(), sizeof param.startIp - 1);
    std::strncpy(param.stopIp, stop.c_str(), sizeof param.stopIp - 1);
    return ZVNetSearchDevPoint2Point(&param);
}

QString Text(const char* field)
{
    return QString::fromLatin1(field);
}

// A UDP socket at ip:9610 that answers every datagram with the given bytes:
// something on the network that is not a device.
class Impostor
{
public:
    Impostor(const std::string& ip, std::vector<uint8_t> answer)
        : m_answer(std::move(answer))
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(fakedevice::kDefaultUdpPort);
        inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
        timeval t { 0, 50000 };
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        m_thread = std::thread([this]() {
            uint8_t buffer[2048];
            while (!m_stop) {
                sockaddr_in from {};
                socklen_t size = sizeof from;
                if (::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size) > 0)
                    ::sendto(m_fd, m_answer.data(), m_answer.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
            }
        });
    }
    ~Impostor()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    bool Bound() const { return m_bound; }

private:
    std::vector<uint8_t> m_answer;
    int m_fd = -1;
    bool m_bound = false;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

std::vector<uint8_t> SearchReplyFrame(size_t payloadSize, uint16_t type = 0x8101, uint32_t magic = 0x504E565Au)
{
    fakedevice::wire::Frame f;
    f.type = type;
    f.requestId = 1;
    f.payload.assign(payloadSize, 'A');
    auto bytes = fakedevice::wire::Encode(f);
    std::memcpy(bytes.data(), &magic, 4);
    return bytes;
}
} // namespace

class TestZVNetSearch : public QObject
{
    Q_OBJECT

private slots:
    void searchFindsEveryDeviceOnce_data();
    void searchFindsEveryDeviceOnce();
    void recordHoldsWhatTheDeviceSays();
    void rangeSearchFindsExactlyLiveAddresses();
    void rangeAddressTimeOut_data();
    void rangeAddressTimeOut();
    void rangeAsksBoundedAddressesAtOnce();
    void stoppedRangeEndsWithItsNullRecord();
    void badRangeEndsWithNullRecord_data();
    void badRangeEndsWithNullRecord();
    void badAnswersAreDropped_data();
    void badAnswersAreDropped();
    void slowDevices_data();
    void slowDevices();
    void searchesRunSideBySide();
    void callbackMayStartAnotherSearch();
    void releaseEndsSearchesWithoutCallbacks();
    void otherFamiliesEndTheirSearches();
};

void TestZVNetSearch::searchFindsEveryDeviceOnce_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("deadTargets");
    QTest::newRow("one device") << 1 << 0;
    QTest::newRow("none, only silence") << 0 << 3;
    QTest::newRow("thirty among dead addresses") << 30 << 20;
}

void TestZVNetSearch::searchFindsEveryDeviceOnce()
{
    QFETCH(int, devices);
    QFETCH(int, deadTargets);
    std::vector<std::unique_ptr<FakeDevice>> live;
    std::vector<std::string> targets;
    QStringList expected;
    for (int i = 0; i < devices; ++i) {
        live.push_back(StartDevice(1 + i));
        targets.push_back(Loopback(1 + i));
        expected << QString::fromStdString(Loopback(1 + i));
    }
    for (int i = 0; i < deadTargets; ++i)
        targets.push_back(Loopback(100 + i));
    std::sort(expected.begin(), expected.end());
    SdkScope sdk(targets);

    SearchCollector collector;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(StartLanSearch(collector), 1);
    QVERIFY(collector.WaitEnd(20000));
    // With every target answered nothing is left to wait for: the search ends
    // before its window.
    if (deadTargets == 0)
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    ZVNetRelease(); // joins the search's work
    QCOMPARE(collector.Ips(), expected);
    QCOMPARE(collector.Ends(), 1);
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    QVERIFY(!collector.OnCallerThread());
    for (const auto& device : live)
        QVERIFY(device->CountReceived(fakedevice::wire::Search) >= 1);
}

void TestZVNetSearch::recordHoldsWhatTheDeviceSays()
{
    auto device = StartDevice(7, [](DeviceState& s) {
        s.hostName = std::string(60, 'h'); // wider than its field: cut, terminated
        s.deviceType = "ZV-NVR-3208";
        s.deviceVersion = "V5.0.3";
        s.deviceName = "Gate \xE9st"; // Latin-1 byte kept as it is
        s.mac = "02:5A:56:00:00:07";
        s.mediaPort = 9611;
        s.webPort = 8081;
        s.rtspPort = 5544;
        s.networkMode = 0;
        s.channels = 8;
        s.deviceTypeCode = 0x1122334455667788ull;
        s.firstLogin = true;
        s.p2pId = "P2P-7";
        s.year = 2025;
        s.month = 12;
        s.day = 24;
    });
    SdkScope sdk({ Loopback(7) });
    SearchCollector collector;
    QCOMPARE(StartLanSearch(collector), 1);
    QVERIFY(collector.WaitEnd(5000));
    QCOMPARE(collector.Records().size(), size_t(1));
    const SearchDevRsp r = collector.Records().front();
    QCOMPARE(Text(r.ip), QString::fromStdString(Loopback(7)));
    QCOMPARE(Text(r.hostName), QString(35, QLatin1Char('h')));
    QCOMPARE(Text(r.netmask), QStringLiteral("255.0.0.0"));
    QCOMPARE(Text(r.deviceType), QStringLiteral("ZV-NVR-3208"));
    QCOMPARE(Text(r.deviceVersion), QStringLiteral("V5.0.3"));
    QCOMPARE(QByteArray(r.deviceName), QByteArray("Gate \xE9st"));
    QCOMPARE(Text(r.mac), QStringLiteral("02:5A:56:00:00:07"));
    QCOMPARE(r.mediaPort, 9611u);
    QCOMPARE(r.webPort, 8081u);
    QCOMPARE(r.rtspPort, uint16_t(5544));
    QCOMPARE(r.networkMode, 0u);
    QCOMPARE(int(r.channelCount), 8);
    QCOMPARE(r.channelNumber, 8);
    const uint64_t typeCode = r.deviceTypeCode; // 4-aligned in the packed record: no reference to it
    QCOMPARE(typeCode, 0x1122334455667788ull);
    QCOMPARE(r.deviceId, 7u);
    QCOMPARE(int(r.isFirstLogin), 1);
    QCOMPARE(Text(r.p2pId), QStringLiteral("P2P-7"));
    QCOMPARE(int(r.year), 2025);
    QCOMPARE(int(r.month), 12);
    QCOMPARE(int(r.day), 24);
}

void TestZVNetSearch::rangeSearchFindsExactlyLiveAddresses()
{
    std::vector<std::unique_ptr<FakeDevice>> devices;
    for (int n : { 10, 12, 15, 20, 40 })
        devices.push_back(StartDevice(n));
    SdkScope sdk;
    SearchCollector collector;
    QCOMPARE(StartRangeSearch(collector, Loopback(8), Loopback(20)), 1);
    QVERIFY(collector.WaitEnd(20000));
    ZVNetRelease(); // joins the search's work
    QCOMPARE(collector.Ips(),
        (QStringList { QString::fromStdString(Loopback(10)), QString::fromStdString(Loopback(12)),
            QString::fromStdString(Loopback(15)), QString::fromStdString(Loopback(20)) }));
    QCOMPARE(collector.Ends(), 1);
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    // Asked one by one: the device outside the range heard nothing.
    QCOMPARE(devices.back()->CountReceived(fakedevice::wire::Search), 0);
    QCOMPARE(devices.front()->CountReceived(fakedevice::wire::Search), 1);
}

void TestZVNetSearch::rangeAddressTimeOut_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("found");
    // An answer that must be listed comes well inside the time-out, so a
    // loaded machine cannot push it past.
    QTest::newRow("0.5 x 1000 ms") << 1000 << 0.5 << true;
    QTest::newRow("2 x 1000 ms") << 1000 << 2.0 << false;
    QTest::newRow("0.5 x 3000 ms") << 3000 << 0.5 << true;
}

void TestZVNetSearch::rangeAddressTimeOut()
{
    QFETCH(int, timeoutMs);
    QFETCH(double, factor);
    QFETCH(bool, found);
    auto slow = StartDevice(30);
    auto quick = StartDevice(31);
    Faults f;
    f.replyDelayMs = int(factor * timeoutMs);
    slow->SetFaults(f);
    SdkScope sdk;
    QCOMPARE(ZVSdkSetRangeLimits(256, timeoutMs), 1);
    SearchCollector collector;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(StartRangeSearch(collector, Loopback(29), Loopback(31)), 1);
    QVERIFY(collector.WaitEnd(30000));
    const qint64 elapsed = timer.elapsed();
    ZVSdkSetRangeLimits(0, 0);
    QStringList expected { QString::fromStdString(Loopback(31)) };
    if (found)
        expected.prepend(QString::fromStdString(Loopback(30)));
    QCOMPARE(collector.Ips(), expected);
    // The silent address runs its whole time-out; nothing waits a second one.
    QVERIFY2(elapsed >= timeoutMs, qPrintable(QString::number(elapsed)));
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    QVERIFY2(elapsed < timeoutMs + timeoutMs / 2, qPrintable(QString::number(elapsed)));
#endif
    if (!found)
        QVERIFY(slow->WaitDatagramsSent(1, 30000));
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    QCOMPARE(collector.Ends(), 1);
}

void TestZVNetSearch::rangeAsksBoundedAddressesAtOnce()
{
    SdkScope sdk;
    QCOMPARE(ZVSdkSetRangeLimits(8, 200), 1);
    ZVSdkGetRangeLoad(nullptr, nullptr, 1);
    SearchCollector collector;
    QCOMPARE(StartRangeSearch(collector, Loopback(100), Loopback(163)), 1);
    QVERIFY(collector.WaitEnd(30000));
    ZVSdkSetRangeLimits(0, 0);
    int inFlight = -1;
    int peak = -1;
    ZVSdkGetRangeLoad(&inFlight, &peak, 0);
    QCOMPARE(peak, 8);
    QCOMPARE(inFlight, 0);
    QCOMPARE(collector.Ends(), 1);
}

void TestZVNetSearch::stoppedRangeEndsWithItsNullRecord()
{
    auto device = StartDevice(40);
    Faults f;
    f.replyDelayMs = 1500;
    device->SetFaults(f);
    SdkScope sdk;
    QCOMPARE(ZVSdkSetRangeLimits(64, 10000), 1);
    SearchCollector collector;
    QCOMPARE(StartRangeSearch(collector, Loopback(40), Loopback(60)), 1);
    QVERIFY(device->WaitReceived(fakedevice::wire::Search, 1, 10000));
    QCOMPARE(ZVSdkStopSearch(&collector), 1);
    QVERIFY(collector.WaitEnd(5000));
    ZVSdkSetRangeLimits(0, 0);
    // The device's late answer finds nobody listening.
    QVERIFY(device->WaitDatagramsSent(1, 10000));
    QCOMPARE(collector.Ends(), 1);
    QVERIFY(collector.Records().empty());
    QCOMPARE(ZVSdkStopSearch(&collector), 0);
    int inFlight = -1;
    ZVSdkGetRangeLoad(&inFlight, nullptr, 0);
    QCOMPARE(inFlight, 0);
}

void TestZVNetSearch::badRangeEndsWithNullRecord_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("mode");
    const QString a = QString::fromStdString(Loopback(10));
    const QString b = QString::fromStdString(Loopback(20));
    QTest::newRow("backwards") << b << a << 7;
    QTest::newRow("not an address") << QStringLiteral("10.0.0.x") << b << 7;
    QTest::newRow("empty") << QString() << QString() << 7;
    QTest::newRow("more than 65536 addresses") << QStringLiteral("10.0.0.0") << QStringLiteral("10.1.0.0") << 7;
    QTest::newRow("other mode") << a << b << 3;
}

void TestZVNetSearch::badRangeEndsWithNullRecord()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, mode);
    auto device = StartDevice(10);
    SdkScope sdk;
    SearchCollector collector;
    QCOMPARE(StartRangeSearch(collector, start.toStdString(), stop.toStdString(), uint8_t(mode)), 0);
    // The caller still learns that the search is over.
    QVERIFY(collector.WaitEnd(2000));
    ZVNetRelease(); // joins the search's work
    QCOMPARE(collector.Ends(), 1);
    QVERIFY(collector.Records().empty());
    QVERIFY(!collector.OnCallerThread());
    QCOMPARE(device->CountReceived(fakedevice::wire::Search), 0);
}

void TestZVNetSearch::badAnswersAreDropped_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("answer");
    auto bytes = [](const std::vector<uint8_t>& v) {
        return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
    };
    // kind 0: an impostor socket sends the answer; kind 1..: a device with that fault.
    QTest::newRow("random bytes") << 0 << QByteArray("hello, I am a printer");
    QTest::newRow("record too short") << 0 << bytes(SearchReplyFrame(451));
    QTest::newRow("record too long") << 0 << bytes(SearchReplyFrame(453));
    QTest::newRow("wrong type") << 0 << bytes(SearchReplyFrame(452, 0x8102));
    QTest::newRow("wrong magic") << 0 << bytes(SearchReplyFrame(452, 0x8101, 0x12345678));
    QTest::newRow("larger than any frame") << 0 << bytes(SearchReplyFrame(1900));
    QTest::newRow("device: truncated") << 1 << QByteArray();
    QTest::newRow("device: oversized") << 2 << QByteArray();
    QTest::newRow("device: length above limit") << 3 << QByteArray();
    QTest::newRow("device: error status") << 4 << QByteArray();
}

void TestZVNetSearch::badAnswersAreDropped()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, answer);
    auto good = StartDevice(1);
    std::unique_ptr<Impostor> impostor;
    std::unique_ptr<FakeDevice> bad;
    if (kind == 0) {
        impostor = std::make_unique<Impostor>(Loopback(2), std::vector<uint8_t>(answer.begin(), answer.end()));
        QVERIFY(impostor->Bound());
    } else {
        bad = StartDevice(2);
        Faults f;
        f.faultType = fakedevice::wire::Search;
        f.truncatedReply = kind == 1;
        f.oversizedReply = kind == 2;
        f.hugeLength = kind == 3;
        f.replyStatus = kind == 4 ? uint32_t(fakedevice::wire::Refused) : 0u;
        bad->SetFaults(f);
    }
    SdkScope sdk({ Loopback(1), Loopback(2) });
    SearchCollector collector;
    QCOMPARE(StartLanSearch(collector), 1);
    QVERIFY(collector.WaitEnd(5000));
    QCOMPARE(collector.Ips(), QStringList { QString::fromStdString(Loopback(1)) });
    QCOMPARE(collector.Ends(), 1);
}

void TestZVNetSearch::slowDevices_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("found");
    // The default window: 2000 ms after the second round, which follows 500 ms after the first.
    QTest::newRow("answers inside the window") << 300 << true;
    QTest::newRow("answers after the window") << 4000 << false;
}

void TestZVNetSearch::slowDevices()
{
    QFETCH(int, delayMs);
    QFETCH(bool, found);
    auto device = StartDevice(3);
    Faults f;
    f.replyDelayMs = delayMs;
    device->SetFaults(f);
    SdkScope sdk({ Loopback(3) });
    SearchCollector collector;
    QCOMPARE(StartLanSearch(collector), 1);
    QVERIFY(collector.WaitEnd(20000));
    // The late answer has been sent by now.
    QVERIFY(device->WaitDatagramsSent(1, 20000));
    QCOMPARE(collector.Records().size(), size_t(found ? 1 : 0));
    // A late answer after the end marker is never reported.
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    QCOMPARE(collector.Ends(), 1);
}

void TestZVNetSearch::searchesRunSideBySide()
{
    std::vector<std::unique_ptr<FakeDevice>> devices;
    for (int n = 1; n <= 5; ++n)
        devices.push_back(StartDevice(n));
    SdkScope sdk(Addresses({ 1, 2, 3, 4, 5 }));
    SearchCollector lan, range;
    QCOMPARE(StartLanSearch(lan), 1);
    QCOMPARE(StartRangeSearch(range, Loopback(1), Loopback(3)), 1);
    QVERIFY(lan.WaitEnd(5000));
    QVERIFY(range.WaitEnd(5000));
    QCOMPARE(lan.Ips().size(), 5);
    QCOMPARE(range.Ips().size(), 3);
    QCOMPARE(lan.Ends(), 1);
    QCOMPARE(range.Ends(), 1);
}

void TestZVNetSearch::callbackMayStartAnotherSearch()
{
    auto device = StartDevice(1);
    SdkScope sdk({ Loopback(1) });
    SearchCollector first, second;
    std::atomic<int> started { -1 };
    // Starting a search from inside a callback must not wait on the library.
    first.onCallback = [&](const SearchDevRsp* record) {
        if (!record)
            started = StartLanSearch(second);
    };
    QCOMPARE(StartLanSearch(first), 1);
    QVERIFY(first.WaitEnd(5000));
    QVERIFY(second.WaitEnd(5000));
    QCOMPARE(started.load(), 1);
    QCOMPARE(second.Records().size(), size_t(1));
}

void TestZVNetSearch::releaseEndsSearchesWithoutCallbacks()
{
    auto device = StartDevice(1);
    Faults f;
    f.replyDelayMs = 300;
    device->SetFaults(f);
    SearchCollector collector;
    {
        SdkScope sdk({ Loopback(1) }, 2000);
        QCOMPARE(StartLanSearch(collector), 1);
        // The search is under way: the device has the request, its answer is late.
        QTRY_VERIFY(device->CountReceived(fakedevice::wire::Search) > 0);
        QElapsedTimer timer;
        timer.start();
        ZVNetRelease();
        QVERIFY(timer.elapsed() < 1000);
    }
    // The release joined the search's work: nothing more can come.
    QCOMPARE(collector.Ends(), 0);
    QVERIFY(collector.Records().empty());
    // Released: nothing starts until the next ZVNetInit.
    SearchCollector late;
    QCOMPARE(StartLanSearch(late), 0);
}

void TestZVNetSearch::otherFamiliesEndTheirSearches()
{
    SdkScope sdk;
    struct Json
    {
        std::mutex mutex;
        int ends = 0;
        int texts = 0;
        static void Callback(const char* text, void* user)
        {
            auto* self = static_cast<Json*>(user);
            std::lock_guard<std::mutex> lock(self->mutex);
            ++(text ? self->texts : self->ends);
        }
    } json;
    const std::string range
        = "{\"oem type\":\"K38\",\"start ip\":\"" + Loopback(240) + "\",\"stop ip\":\"" + Loopback(249) + "\"}";
    zv_search_device(range.c_str(), &Json::Callback, &json);
    QTRY_COMPARE_WITH_TIMEOUT(([&json]() {
        std::lock_guard<std::mutex> lock(json.mutex);
        return json.ends;
    }()),
        1, 2000);
    ZVNetRelease(); // joins the search's work
    std::lock_guard<std::mutex> lock(json.mutex);
    QCOMPARE(json.texts, 0);
    QCOMPARE(json.ends, 1);
}

QTEST_GUILESS_MAIN(TestZVNetSearch)
#include "tst_zvnetsearch.moc"
