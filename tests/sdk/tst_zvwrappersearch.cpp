// The SDK wrapper's range search against fake devices' HTTP JSON API on
// loopback: what the callback receives, how the search ends, its bounds, and
// what hostile replies do.
#include "WrapperTestSupport.h"
#include "ZVSdkConfig.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

using namespace sdktest;
using namespace wrappertest;

class TestZVWrapperSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rangeSearchFindsFiftyDevices();
    void emptyRangeEnds();
    void rangeConcurrencyIsBounded();
    void silentAddressesTimeOut();
    void rangeAddressTimeOut_data();
    void rangeAddressTimeOut();
    void stoppedSearchEndsWithTheNullText();
    void unusableRangeRequests_data();
    void unusableRangeRequests();
    void hostileRangeReplies();
    void releaseEndsSearchAndLogin();
};

void TestZVWrapperSearch::initTestCase()
{
    QCOMPARE(ZVSdkSetRangeSearch(-1, 0, 0), 0);
    QCOMPARE(ZVSdkSetRangeSearch(0, 1025, 0), 0);
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 600001), 0);
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::rangeSearchFindsFiftyDevices()
{
    SdkScope sdk;
    // Fifty devices spread over the /24, every fifth one over TLS only.
    std::vector<std::string> addresses;
    for (int i = 0; i < 50; ++i)
        addresses.push_back(Loopback(1 + 5 * i));
    auto devices = MakeHttpDevices(addresses, 0, [](size_t i, HttpDeviceState& state, FakeHttpApi::Options& o) {
        o.scheme = i % 5 == 4 ? Scheme::Https : Scheme::Http;
        state.initialised = i != 7;
        state.rangeInfo["device name"] = "Camera " + std::to_string(i);
        state.rangeInfo["device id"] = Json::UInt(i);
        state.rangeInfo["device type ull"] = Json::UInt64((uint64_t(1) << 40) + i);
        state.rangeInfo["mac addr"] = "02:5A:56:00:00:" + std::to_string(10 + i);
        state.rangeInfo["network mode"] = i % 2 ? "dhcp" : "static";
        state.rangeInfo["media port"] = 9611;
    });
    QCOMPARE(devices.size(), size_t(50));
    QCOMPARE(ZVSdkSetRangeSearch(devices.front()->Port(), 64, 2000), 1);

    TextCollector result;
    const std::string request = RangeRequest(Loopback(0), Loopback(255));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    result.StartReturned();
    QVERIFY(result.WaitEnd(20000));
    const qint64 elapsed = timer.elapsed();
    qInfo("range search of 256 addresses, 50 devices: %lld ms", elapsed);
    ZVNetRelease(); // joins the search's work
    QCOMPARE(result.Ends(), 1);
    QCOMPARE(result.AfterEnd(), 0);
    QVERIFY(result.AllAfterStart());
    QVERIFY(!result.OnCallerThread());

    std::map<std::string, Json::Value> found;
    for (const std::string& text : result.Texts()) {
        const Json::Value record = Parse(text);
        QCOMPARE(record.size(), Json::ArrayIndex(25));
        QVERIFY2(found.emplace(record["ip"].asString(), record).second, text.c_str());
    }
    QCOMPARE(found.size(), size_t(50));
    for (size_t i = 0; i < 50; ++i) {
        const auto it = found.find(addresses[i]);
        QVERIFY2(it != found.end(), addresses[i].c_str());
        const Json::Value& r = it->second;
        QCOMPARE(r["device name"].asString(), "Camera " + std::to_string(i));
        QCOMPARE(r["device id"].asUInt(), Json::UInt(i));
        QCOMPARE(r["device type ull"].asUInt64(), Json::UInt64((uint64_t(1) << 40) + i));
        QCOMPARE(r["network mode"].asString(), std::string(i % 2 ? "dhcp" : "static"));
        QCOMPARE(r["web port"].asUInt(), Json::UInt(devices[i]->Port()));
        QCOMPARE(r["media port"].asUInt(), 9611u);
        QCOMPARE(r["is first login"].asUInt(), i == 7 ? 1u : 0u);
        QCOMPARE(devices[i]->CountRequests(kRange), 1);
    }
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::emptyRangeEnds()
{
    SdkScope sdk;
    QCOMPARE(ZVSdkSetRangeSearch(40000 + getpid() % 20000, 0, 1000), 1);
    TextCollector result;
    const std::string request = RangeRequest(EmptyPrefix() + "0", EmptyPrefix() + "255");
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    result.StartReturned();
    QVERIFY(result.WaitEnd(5000));
    qInfo("range search of 256 empty addresses: %lld ms", timer.elapsed());
    ZVNetRelease(); // joins the search's work
    QCOMPARE(result.Count(), size_t(1));
    QCOMPARE(result.Ends(), 1);
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::rangeConcurrencyIsBounded()
{
    SdkScope sdk;
    std::vector<std::string> addresses;
    for (int n = 100; n < 112; ++n)
        addresses.push_back(Loopback(n));
    // Each answer waits until two more requests have come (or all have): a search that keeps
    // three under way reaches three at once, whatever the machine's speed.
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    int started = 0, inFlight = 0, most = 0;
    const int total = static_cast<int>(addresses.size());
    auto devices = MakeHttpDevices(addresses, 0);
    QCOMPARE(devices.size(), addresses.size());
    for (const auto& device : devices) {
        device->SetHandler(kRange, false, [&](const FakeHttpApi::Call&, Json::Value& reply) {
            std::unique_lock<std::mutex> lock(gateMutex);
            const int mine = ++started;
            most = std::max(most, ++inFlight);
            gateChanged.notify_all();
            gateChanged.wait_for(lock, std::chrono::seconds(10), [&] { return started >= std::min(mine + 2, total); });
            --inFlight;
            reply["result"] = "success";
            reply["data"]["first_login_flag"] = true;
            return 200;
        });
    }
    QCOMPARE(ZVSdkSetRangeSearch(devices.front()->Port(), 3, 3000), 1);
    TextCollector result;
    const std::string request = RangeRequest(addresses.front(), addresses.back());
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    ZVSdkGetRangeLoad(nullptr, nullptr, 1);
    QVERIFY(result.WaitEnd(10000));
    QCOMPARE(result.Texts().size(), addresses.size());
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        QCOMPARE(most, 3);
    }
    int peak = -1;
    ZVSdkGetRangeLoad(nullptr, &peak, 0);
    QVERIFY2(peak <= 3, QByteArray::number(peak));
    // A device that only answers the first-login flag is listed with it.
    const Json::Value record = Parse(result.Texts().front());
    QCOMPARE(record["is first login"].asInt(), 1);
    QCOMPARE(record["device name"].asString(), std::string());
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::silentAddressesTimeOut()
{
    SdkScope sdk;
    // 120: connections never accepted; 121: the device; 122: nothing;
    // 123: requests read and never answered.
    BlackHoleListener blackHole(Loopback(120));
    QVERIFY(blackHole.Listening());
    FakeHttpApi device(HttpDeviceState(), At(Loopback(121), Scheme::Http, blackHole.Port()));
    FakeHttpApi silent(HttpDeviceState(), At(Loopback(123), Scheme::Http, blackHole.Port()));
    QVERIFY(device.Listening() && silent.Listening());
    HttpFaults faults;
    faults.neverAnswer = true;
    silent.SetFaults(faults);
    QCOMPARE(ZVSdkSetRangeSearch(blackHole.Port(), 0, 500), 1);
    TextCollector result;
    const std::string request = RangeRequest(Loopback(120), Loopback(123));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    QVERIFY(result.WaitEnd(5000));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 450 && elapsed < 2000, QByteArray::number(elapsed));
    QCOMPARE(result.Texts().size(), size_t(1));
    QCOMPARE(Parse(result.Texts().front())["ip"].asString(), Loopback(121));
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::rangeAddressTimeOut_data()
{
    QTest::addColumn<int>("scheme");
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("found");
    // Plain HTTP: the TLS attempt is refused at once, the plain one has the rest of the time.
    QTest::newRow("http, half the time-out") << int(Scheme::Http) << 0.5 << true;
    QTest::newRow("http, 2 x the time-out") << int(Scheme::Http) << 2.0 << false;
    QTest::newRow("https, half the time-out") << int(Scheme::Https) << 0.5 << true;
    QTest::newRow("https, 2 x the time-out") << int(Scheme::Https) << 2.0 << false;
}

void TestZVWrapperSearch::rangeAddressTimeOut()
{
    QFETCH(int, scheme);
    QFETCH(double, factor);
    QFETCH(bool, found);
    constexpr int kTimeoutMs = 1000; // the range page's default
    SdkScope sdk;
    auto devices = MakeHttpDevices({ Loopback(130), Loopback(131) }, 0,
        [scheme](size_t, HttpDeviceState&, FakeHttpApi::Options& o) { o.scheme = Scheme(scheme); });
    QCOMPARE(devices.size(), size_t(2));
    HttpFaults slow;
    slow.path = kRange;
    slow.delayMs = int(factor * kTimeoutMs);
    devices.front()->SetFaults(slow);
    QCOMPARE(ZVSdkSetRangeSearch(devices.front()->Port(), 256, kTimeoutMs), 1);
    TextCollector result;
    const std::string request = RangeRequest(Loopback(129), Loopback(131));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    QVERIFY(result.WaitEnd(30000));
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
    std::set<std::string> ips;
    for (const std::string& text : result.Texts())
        ips.insert(Parse(text)["ip"].asString());
    QCOMPARE(ips.count(Loopback(130)), size_t(found ? 1 : 0));
    QCOMPARE(ips.count(Loopback(131)), size_t(1));
    QVERIFY2(elapsed >= qint64(std::min(factor, 1.0) * kTimeoutMs) - 50, QByteArray::number(elapsed));
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // The slow address ends with its time-out, not with a second one for plain HTTP.
    QVERIFY2(elapsed < kTimeoutMs + 250, QByteArray::number(elapsed));
#endif
    QCOMPARE(result.Ends(), 1);
    int inFlight = -1;
    ZVSdkGetRangeLoad(&inFlight, nullptr, 0);
    QCOMPARE(inFlight, 0);
}

void TestZVWrapperSearch::stoppedSearchEndsWithTheNullText()
{
    SdkScope sdk;
    FakeHttpApi silent(HttpDeviceState(), At(Loopback(140), Scheme::Http, 0));
    QVERIFY(silent.Listening());
    HttpFaults faults;
    faults.neverAnswer = true;
    silent.SetFaults(faults);
    QCOMPARE(ZVSdkSetRangeSearch(silent.Port(), 0, 20000), 1);
    TextCollector result;
    const std::string request = RangeRequest(Loopback(140), Loopback(140));
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    result.StartReturned();
    QTRY_COMPARE_WITH_TIMEOUT(silent.CountRequests(kRange), 1, 10000);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ZVSdkStopSearch(&result), 1);
    QVERIFY(result.WaitEnd(5000));
    QVERIFY2(timer.elapsed() < 5000, QByteArray::number(timer.elapsed()));
    QCOMPARE(result.Count(), size_t(1));
    QCOMPARE(result.Ends(), 1);
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::unusableRangeRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("nullText");
    const auto ip = [](int n) { return QByteArray::fromStdString(Loopback(n)); };
    QTest::newRow("null text") << QByteArray() << true;
    QTest::newRow("not JSON") << QByteArray("start=1") << false;
    QTest::newRow("no stop address") << QByteArray("{\"oem type\":\"K38\",\"start ip\":\"" + ip(1) + "\"}") << false;
    QTest::newRow("addresses as numbers") << QByteArray("{\"start ip\":1,\"stop ip\":2}") << false;
    QTest::newRow("host name") << QByteArray::fromStdString(RangeRequest("localhost", Loopback(2))) << false;
    QTest::newRow("backwards") << QByteArray::fromStdString(RangeRequest(Loopback(9), Loopback(2))) << false;
    QTest::newRow("65537 addresses") << QByteArray::fromStdString(RangeRequest("127.0.0.0", "127.1.0.0")) << false;
    QTest::newRow("whole IPv4 space") << QByteArray::fromStdString(RangeRequest("0.0.0.0", "255.255.255.255")) << false;
}

void TestZVWrapperSearch::unusableRangeRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, nullText);
    SdkScope sdk;
    TextCollector result;
    QCOMPARE(zv_search_device(nullText ? nullptr : request.constData(), &TextCollector::Callback, &result), 0);
    result.StartReturned();
    QVERIFY(result.WaitEnd(2000));
    ZVNetRelease(); // joins the search's work
    QCOMPARE(result.Count(), size_t(1));
    QVERIFY(result.AllAfterStart());
    QCOMPARE(zv_search_device("{}", nullptr, nullptr), 0);
}

void TestZVWrapperSearch::hostileRangeReplies()
{
    SdkScope sdk;
    struct Case
    {
        HttpFaults faults;
        bool listed;
    };
    std::vector<Case> cases;
    HttpFaults f;
    f.notJson = true;
    cases.push_back({ f, false });
    cases.push_back({ Raw(kRange, "{\"result\":\"success\",\"data\":{\"device_info\":{\"ip\""), false });
    cases.push_back({ Raw(kRange, Nested(30000)), false });
    cases.push_back({ Raw(kRange, "{\"result\":\"success\",\"data\":[]}"), false });
    cases.push_back({ Raw(kRange, "{\"result\":\"failed\",\"data\":{}}"), false });
    cases.push_back({ Raw(kRange, "[{\"result\":\"success\",\"data\":{}}]"), false });
    f = HttpFaults();
    f.oversizedBytes = 1024 * 1024;
    cases.push_back({ f, false });
    f = HttpFaults();
    f.cutBody = true;
    cases.push_back({ f, false });
    f = HttpFaults();
    f.status = 404;
    cases.push_back({ f, false });
    // Wrong types and ranges in the record: listed, those members empty or 0.
    cases.push_back({ Raw(kRange,
                          "{\"result\":\"success\",\"data\":{\"device_info\":{\"device name\":5,\"device id\":-1,"
                          "\"version\":300,\"rtsp port\":70000,\"channel number\":\"2\",\"mac addr\":[1],"
                          "\"device type ull\":18446744073709551615,\"ip\":\"10.0.0.1\",\"web port\":1,"
                          "\"is first login\":true,\"host name\":\""
                              + std::string(10000, 'h') + "\"}}}"),
        true });
    // No record at all: listed with the first-login flag alone.
    cases.push_back({ Raw(kRange, "{\"result\":\"success\",\"data\":{\"first_login_flag\":false}}"), true });

    std::vector<std::string> addresses;
    for (size_t i = 0; i < cases.size(); ++i)
        addresses.push_back(Loopback(130 + int(i)));
    auto devices = MakeHttpDevices(addresses, 0);
    QCOMPARE(devices.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        devices[i]->SetFaults(cases[i].faults);
    QCOMPARE(ZVSdkSetRangeSearch(devices.front()->Port(), 0, 2000), 1);
    TextCollector result;
    const std::string request = RangeRequest(addresses.front(), addresses.back());
    QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &result), 1);
    QVERIFY(result.WaitEnd(10000));
    std::map<std::string, Json::Value> found;
    for (const std::string& text : result.Texts()) {
        const Json::Value record = Parse(text);
        QCOMPARE(record.size(), Json::ArrayIndex(25));
        found[record["ip"].asString()] = record;
    }
    for (size_t i = 0; i < cases.size(); ++i)
        QVERIFY2(found.count(addresses[i]) == (cases[i].listed ? 1u : 0u), addresses[i].c_str());
    const Json::Value& typed = found[addresses[9]];
    QCOMPARE(typed["device name"].asString(), std::string());
    QCOMPARE(typed["device id"].asUInt(), 0u);
    QCOMPARE(typed["version"].asUInt(), 0u);
    QCOMPARE(typed["rtsp port"].asUInt(), 0u);
    QCOMPARE(typed["channel number"].asInt(), 0);
    QCOMPARE(typed["mac addr"].asString(), std::string());
    QCOMPARE(typed["device type ull"].asUInt64(), Json::UInt64(UINT64_MAX));
    QCOMPARE(typed["web port"].asUInt(), Json::UInt(devices[9]->Port()));
    QCOMPARE(typed["is first login"].asUInt(), 1u);
    QCOMPARE(typed["host name"].asString().size(), size_t(255));
    QCOMPARE(found[addresses[10]]["is first login"].asUInt(), 0u);
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

void TestZVWrapperSearch::releaseEndsSearchAndLogin()
{
    std::vector<std::string> addresses;
    for (int n = 160; n < 170; ++n)
        addresses.push_back(Loopback(n));
    auto devices = MakeHttpDevices(addresses, 0);
    QCOMPARE(devices.size(), addresses.size());
    HttpFaults faults;
    faults.neverAnswer = true;
    for (const auto& device : devices)
        device->SetFaults(faults);
    TextCollector search, login;
    {
        SdkScope sdk({}, 400, 10000, 10000);
        QCOMPARE(ZVSdkSetRangeSearch(devices.front()->Port(), 0, 10000), 1);
        const std::string request = RangeRequest(addresses.front(), addresses.back());
        QCOMPARE(zv_search_device(request.c_str(), &TextCollector::Callback, &search), 1);
        zv_device_handle handle = zv_create_device();
        const std::string json = LoginJson(devices.front()->Ip(), devices.front()->Port(), "admin123");
        QCOMPARE(StartLogin(handle, json.c_str(), login), 1);
        QVERIFY(devices.back()->WaitRequests(kRange, 1, 3000));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZVNetRelease(), 1);
        QVERIFY2(timer.elapsed() < 1000, QByteArray::number(timer.elapsed()));
        QCOMPARE(zv_destroy_device(handle), 1);
    }
    // The release joined the library's work: nothing more can come.
    QCOMPARE(search.Count(), size_t(0));
    QCOMPARE(login.Count(), size_t(0));
    QCOMPARE(ZVSdkSetRangeSearch(0, 0, 0), 1);
}

QTEST_GUILESS_MAIN(TestZVWrapperSearch)
#include "tst_zvwrappersearch.moc"
