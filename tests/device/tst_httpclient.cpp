#include "DeviceEvents.h"
#include "FakeHttpApi.h"
#include "HttpClient.h"

#include <QtTest>

#include <openssl/evp.h>

#include <atomic>
#include <chrono>
#include <thread>

using fakedevice::FakeHttpApi;
using fakedevice::HttpExchange;
using fakedevice::HttpFaults;
using Clock = std::chrono::steady_clock;

namespace
{
const char* const kEchoPath = "/API/Test/Echo";
const char* const kUploadPath = "/API/Maintenance/SystemUpgrade/Upgrade";

// A device on its own loopback address with an endpoint that answers success.
std::unique_ptr<FakeHttpApi> MakeDevice(const char* ip, FakeHttpApi::Scheme scheme = FakeHttpApi::Scheme::Http)
{
    FakeHttpApi::Options options;
    options.ip = ip;
    options.scheme = scheme;
    auto device = std::make_unique<FakeHttpApi>(fakedevice::HttpDeviceState(), options);
    device->SetHandler(kEchoPath, false, [](const FakeHttpApi::Call&, Json::Value& reply) {
        reply["result"] = "success";
        return 200;
    });
    return device;
}

// The header lines of names, in the order the device received them. libcurl
// always writes the Host line first; the others keep the client's order.
QStringList Lines(const fakedevice::HttpRequest& request, QStringList expected)
{
    QStringList names;
    for (const QString& line : expected)
        names << line.section(':', 0, 0);
    QStringList lines;
    for (const auto& [name, value] : request.headers) {
        if (names.contains(QString::fromStdString(name)))
            lines << QString::fromStdString(name + ": " + value);
    }
    return lines;
}

QStringList HostFirst(QStringList lines)
{
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith("Host: "))
            lines.move(i, 0);
    }
    return lines;
}

std::string Sha256Hex(const std::string& data)
{
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), hash, &size, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<char*>(hash), static_cast<int>(size)).toHex().toStdString();
}

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class ProgressRecorder : public QObject
{
public:
    struct Report
    {
        int code, value, extra;
    };
    QVector<Report> reports;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == static_cast<QEvent::Type>(UpgradeEvent)) {
            const auto* upgrade = static_cast<QUpgradeEvent*>(event);
            reports.append({ upgrade->code, upgrade->value, upgrade->extra });
        }
    }
};
} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void parseUrl_data();
    void parseUrl();
    void jsonRequestAsSent_data();
    void jsonRequestAsSent();
    void httpsFlagWins_data();
    void httpsFlagWins();
    void secondRequestKeepsConnection();
    void statusDecides_data();
    void statusDecides();
    void redirectsAreNotFollowed_data();
    void redirectsAreNotFollowed();
    void timeOuts_data();
    void timeOuts();
    void hostileReplies();
    void parseJsonText_data();
    void parseJsonText();
    void callbacks();
    void uploadAsSent();
    void uploadSpeedLimit();
    void uploadRefusesShortData();
    void clientsOnManyThreads();
};

void TestHttpClient::parseUrl_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("https");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("body");
    QTest::newRow("body and line feed") << "http://10.0.0.5:8080/API/Login/Range{\"version\":\"1.0\"}\n"
                                        << false << true << "10.0.0.5"
                                        << "8080"
                                        << "/API/Login/Range"
                                        << "{\"version\":\"1.0\"}";
    QTest::newRow("nested body") << "http://h:1/p{\"data\":{\"type\":[\"base_salt\"]}}" << false << true << "h"
                                 << "1"
                                 << "/p"
                                 << "{\"data\":{\"type\":[\"base_salt\"]}}";
    QTest::newRow("no body") << "http://10.0.0.5:8080/API/Web/Logout" << false << true << "10.0.0.5"
                             << "8080"
                             << "/API/Web/Logout"
                             << "";
    QTest::newRow("no port") << "http://10.0.0.5/API/Web/Logout" << false << true << "10.0.0.5"
                             << "80"
                             << "/API/Web/Logout"
                             << "";
    QTest::newRow("no port, https") << "http://10.0.0.5/API/Web/Logout" << true << true << "10.0.0.5"
                                    << "443"
                                    << "/API/Web/Logout"
                                    << "";
    QTest::newRow("no path") << "https://10.0.0.5:444" << false << true << "10.0.0.5"
                             << "444"
                             << "/"
                             << "";
    QTest::newRow("no scheme") << "10.0.0.5:80/API/Web/Logout{}" << false << false << ""
                               << ""
                               << ""
                               << "{}";
    QTest::newRow("brace never closed") << "http://h:1/p{\"a\":1" << false << true << "h"
                                        << "1"
                                        << "/p"
                                        << "";
}

void TestHttpClient::parseUrl()
{
    QFETCH(QString, request);
    QFETCH(bool, https);
    QFETCH(bool, ok);
    HttpClient client;
    client.SetHttps(https);
    std::string host, port, path, body;
    QCOMPARE(client.ParseUrl(request.toStdString(), host, port, path, body), ok);
    QTEST(QString::fromStdString(host), "host");
    QTEST(QString::fromStdString(port), "port");
    QTEST(QString::fromStdString(path), "path");
    QTEST(QString::fromStdString(body), "body");
}

void TestHttpClient::jsonRequestAsSent_data()
{
    QTest::addColumn<QString>("cookie");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("body");
    QTest::newRow("session") << "ZVSESSION=0123abcd"
                             << "cafe42"
                             << "{\"data\":{\"type\":[\"base_salt\"]}}";
    QTest::newRow("no session, no body") << ""
                                         << ""
                                         << "";
    QTest::newRow("line breaks in the session") << "a=b\r\nX-Evil: 1"
                                                << "t\n"
                                                << "{}";
}

void TestHttpClient::jsonRequestAsSent()
{
    QFETCH(QString, cookie);
    QFETCH(QString, token);
    QFETCH(QString, body);
    auto device = MakeDevice("127.0.0.31");
    HttpClient client;
    client.SetCookie(cookie.toStdString());
    client.SetCsrfToken(token.toStdString());
    client.SetHost(device->Ip());
    // A built body ends in a line feed, which is not sent.
    QVERIFY(client.PostJson(device->Base(false) + kEchoPath + body.toStdString() + (body.isEmpty() ? "" : "\n")));
    QCOMPARE(client.GetResponseCode(), 200L);

    HttpExchange exchange;
    QVERIFY(device->LastExchange(kEchoPath, exchange));
    const fakedevice::HttpRequest& request = exchange.request;
    QCOMPARE(request.method, std::string("POST"));
    QCOMPARE(QString::fromStdString(request.body), body);
    const QString cleanCookie = QString(cookie).remove('\r').remove('\n');
    const QString cleanToken = QString(token).remove('\r').remove('\n');
    const QStringList expected { "Accept: */*",
        "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; Trident/7.0; rv:11.0) like Gecko", "Host: 127.0.0.31",
        "Content-Length: " + QString::number(body.size()), "Connection: Keep-Alive", "Cache-Control: no-cache",
        "Content-Type: application/json", "X-Requested-With: XMLHttpRequest", "Accept-Encoding: gzip,deflate",
        "X-csrftoken: " + cleanToken, "Cookie: " + cleanCookie };
    QCOMPARE(Lines(request, expected), HostFirst(expected));
    QVERIFY(!request.HasHeader("X-Evil"));
    QVERIFY(!request.HasHeader("Expect"));
    QCOMPARE(client.GetResponse(), exchange.reply);
}

void TestHttpClient::httpsFlagWins_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("scheme"); // written in the request string
    QTest::newRow("https flag, http written") << true << "http://";
    QTest::newRow("no flag, https written") << false << "https://";
}

void TestHttpClient::httpsFlagWins()
{
    QFETCH(bool, https);
    QFETCH(QString, scheme);
    // Self-signed certificate made at start; plain and TLS on one port.
    auto device = MakeDevice("127.0.0.32", FakeHttpApi::Scheme::Both);
    HttpClient client;
    client.SetHttps(https);
    const std::string request
        = scheme.toStdString() + device->Ip() + ":" + std::to_string(device->Port()) + kEchoPath + "{}";
    QVERIFY(client.PostJson(request));
    HttpExchange exchange;
    QVERIFY(device->LastExchange(kEchoPath, exchange));
    QCOMPARE(exchange.request.tls, https);
}

void TestHttpClient::secondRequestKeepsConnection()
{
    for (const auto scheme : { FakeHttpApi::Scheme::Http, FakeHttpApi::Scheme::Https }) {
        const bool https = scheme == FakeHttpApi::Scheme::Https;
        auto device = MakeDevice("127.0.0.33", scheme);
        HttpClient client;
        client.SetHttps(https);
        QVERIFY(client.PostJson(device->Base(https) + kEchoPath + "{\"n\":1}"));
        QVERIFY(client.PostJson(device->Base(https) + kEchoPath + "{\"n\":2}"));
        const auto exchanges = device->Exchanges();
        QCOMPARE(exchanges.size(), size_t(2));
        QCOMPARE(exchanges[1].request.body, std::string("{\"n\":2}"));
        QCOMPARE(exchanges[0].request.connection, exchanges[1].request.connection);
        QCOMPARE(exchanges[1].request.tls, https);
    }
}

void TestHttpClient::statusDecides_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("faultStatus");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<long>("status");
    QTest::newRow("200") << kEchoPath << 0 << true << 200L;
    QTest::newRow("500") << kEchoPath << 500 << false << 500L;
    QTest::newRow("503") << kEchoPath << 503 << false << 503L;
    QTest::newRow("unknown path") << "/API/None" << 0 << false << 404L;
}

void TestHttpClient::statusDecides()
{
    QFETCH(QString, path);
    QFETCH(int, faultStatus);
    auto device = MakeDevice("127.0.0.34");
    HttpFaults faults;
    faults.status = faultStatus;
    device->SetFaults(faults);
    HttpClient client;
    QTEST(client.PostJson(device->Base(false) + path.toStdString() + "{}"), "ok");
    QTEST(client.GetResponseCode(), "status");
    // The body of a refusal is still there; its result is not success.
    Json::CharReaderBuilder builder;
    Json::Value reply;
    std::string errors;
    QVERIFY(ParseJsonText(builder, client.GetResponse(), reply, errors));
    QCOMPARE(reply["result"].asString() == "success", client.GetResponseCode() == 200);
}

void TestHttpClient::redirectsAreNotFollowed_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("301") << 301;
    QTest::newRow("302") << 302;
    QTest::newRow("307") << 307;
    QTest::newRow("308") << 308;
}

void TestHttpClient::redirectsAreNotFollowed()
{
    QFETCH(int, status);
    auto device = MakeDevice("127.0.0.42");
    auto target = MakeDevice("127.0.0.43");
    HttpFaults faults;
    faults.status = status;
    faults.location = target->Base(false) + kEchoPath;
    device->SetFaults(faults);

    HttpClient client;
    client.SetCookie("session=secret");
    client.SetCsrfToken("token");
    QVERIFY(!client.PostJson(device->Base(false) + kEchoPath + "{\"a\":1}"));
    // The redirect itself is the answer: no second request, no wait for a
    // body that a GET would never send.
    QCOMPARE(client.GetCurlResult(), CURLE_OK);
    QCOMPARE(client.GetResponseCode(), long(status));
    QCOMPARE(device->CountRequests(kEchoPath), 1);
    QCOMPARE(target->CountRequests(kEchoPath), 0);
}

void TestHttpClient::timeOuts_data()
{
    QTest::addColumn<bool>("connects");
    QTest::newRow("connection never accepted") << false;
    QTest::newRow("request never answered") << true;
}

void TestHttpClient::timeOuts()
{
    QFETCH(bool, connects);
    fakedevice::BlackHoleListener blackHole("127.0.0.35");
    auto device = MakeDevice("127.0.0.36");
    HttpFaults faults;
    faults.neverAnswer = true;
    device->SetFaults(faults);
    QVERIFY(blackHole.Listening());
    const std::string base = connects ? device->Base(false) : "http://127.0.0.35:" + std::to_string(blackHole.Port());

    HttpClient client;
    const auto start = Clock::now();
    QVERIFY(!client.PostJson(base + kEchoPath + "{}"));
    const double elapsed = Seconds(start);
    QVERIFY2(elapsed > 4.5 && elapsed < 8, qPrintable(QString::number(elapsed)));
    QCOMPARE(client.GetCurlResult(), CURLE_OPERATION_TIMEDOUT);
    QCOMPARE(client.GetResponse(), std::string("Connection timed out"));
    QCOMPARE(client.GetResponseCode(), 0L);
    if (connects)
        QCOMPARE(device->CountRequests(kEchoPath), 1);
}

void TestHttpClient::hostileReplies()
{
    auto device = MakeDevice("127.0.0.37");
    HttpClient client;
    Json::CharReaderBuilder builder;
    Json::Value reply;
    std::string errors;

    // Not JSON: the request succeeds, the reply does not parse.
    HttpFaults faults;
    faults.notJson = true;
    device->SetFaults(faults);
    QVERIFY(client.PostJson(device->Base(false) + kEchoPath + "{}"));
    QVERIFY(!ParseJsonText(builder, client.GetResponse(), reply, errors));

    // Over the size limit: the transfer is cut off and fails, whatever its status said.
    faults = HttpFaults();
    faults.oversizedBytes = HttpClient::kMaxResponseBytes + 1024 * 1024;
    device->SetFaults(faults);
    QVERIFY(!client.PostJson(device->Base(false) + kEchoPath + "{}"));
    QCOMPARE(client.GetCurlResult(), CURLE_WRITE_ERROR);
    QVERIFY(client.GetResponse().size() <= HttpClient::kMaxResponseBytes);

    // A reply just under the limit still arrives whole.
    faults.oversizedBytes = HttpClient::kMaxResponseBytes;
    device->SetFaults(faults);
    QVERIFY(client.PostJson(device->Base(false) + kEchoPath + "{}"));
    QCOMPARE(client.GetResponse().size(), HttpClient::kMaxResponseBytes);
}

void TestHttpClient::parseJsonText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("object") << QByteArray("{\"result\":\"success\"}") << true;
    QTest::newRow("text after the root") << QByteArray("{\"a\":1}\n<html>") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("truncated") << QByteArray("{\"result\":\"succ") << false;
    QTest::newRow("nested too deep") << QByteArray(100000, '[') << false;
    QTest::newRow("zero bytes") << QByteArray("\0\0\0", 3) << false;
}

void TestHttpClient::parseJsonText()
{
    QFETCH(QByteArray, text);
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    QTEST(ParseJsonText(builder, text.toStdString(), root, errors), "ok");
}

void TestHttpClient::callbacks()
{
    // Pieces, zero bytes included, are joined byte for byte.
    std::string buffer;
    char piece1[] = { '{', '\0', 'a' };
    char piece2[] = { '\0', '}' };
    QCOMPARE(HttpClient::OnBodyData(piece1, 1, 3, &buffer), size_t(3));
    QCOMPARE(HttpClient::OnBodyData(piece2, 2, 1, &buffer), size_t(2));
    QCOMPARE(buffer, std::string("{\0a\0}", 5));
    QCOMPARE(HttpClient::OnBodyData(piece1, 1, 3, nullptr), size_t(0));
    QCOMPARE(HttpClient::OnHeaderData(piece1, 1, 3, nullptr), size_t(0));

    // Progress before libcurl knows the total posts 0; no receiver posts nothing.
    ProgressRecorder recorder;
    HttpClient client;
    QCOMPARE(HttpClient::OnUploadProgress(&client, 0, 0, 0, 0), 0);
    client.SetProgressReceiver(&recorder);
    QCOMPARE(HttpClient::OnUploadProgress(&client, 0, 0, 0, 0), 0);
    QCOMPARE(HttpClient::OnUploadProgress(&client, 0, 0, 3000, 1000), 0);
    QCOMPARE(HttpClient::OnUploadProgress(nullptr, 0, 0, 3000, 1000), 0);
    QCoreApplication::sendPostedEvents(&recorder);
    QCOMPARE(recorder.reports.size(), 2);
    QCOMPARE(recorder.reports[0].code, 394);
    QCOMPARE(recorder.reports[0].value, 0);
    QCOMPARE(recorder.reports[0].extra, -1);
    QCOMPARE(recorder.reports[1].value, 33);
}

void TestHttpClient::uploadAsSent()
{
    auto device = MakeDevice("127.0.0.38");
    device->Update([](fakedevice::HttpDeviceState& state) { state.upgradeToken = "tok-1"; });
    const fakedevice::HttpSession session = device->OpenSession();
    std::string data(300 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 31 + 7);

    ProgressRecorder recorder;
    HttpClient client;
    client.SetCookie(session.cookie);
    client.SetCsrfToken(session.token);
    client.SetProgressReceiver(&recorder);
    QVERIFY(client.PostJson(device->Base(false) + kEchoPath + "{}")); // a kept handle gives way to the upload's own
    QVERIFY(client.PostUpload(
        device->Base(false) + kUploadPath, "tok-1", "/tmp/fw.sw", data, static_cast<int>(data.size()), 16));

    HttpExchange exchange;
    QVERIFY(device->LastExchange(kUploadPath, exchange));
    const fakedevice::HttpRequest& request = exchange.request;
    QCOMPARE(request.bodySize, uint64_t(data.size()));
    QCOMPARE(request.bodySha256, Sha256Hex(data));
    const QStringList expected { "Accept: application/json,text/plain,*/*",
        "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; Trident/7.0; rv:11.0) like Gecko", "Host: 127.0.0.38",
        "Content-Length: " + QString::number(data.size()), "Referer: http://127.0.0.38/", "Connection: Keep-Alive",
        "Cache-Control: no-cache", "Content-Type: application/x-www-form-urlencoded", "Accept-Encoding: gzip,deflate",
        "X-csrftoken: " + QString::fromStdString(session.token), "Cookie: " + QString::fromStdString(session.cookie),
        "X-Upgrade-Token: tok-1" };
    QCOMPARE(Lines(request, expected), HostFirst(expected));

    // A wrong upgrade token is refused by the device.
    QVERIFY(!client.PostUpload(device->Base(false) + kUploadPath, "tok-2", "", data, 1024, 16));
    QCOMPARE(client.GetResponseCode(), 403L);
}

void TestHttpClient::uploadSpeedLimit()
{
    auto device = MakeDevice("127.0.0.39", FakeHttpApi::Scheme::Https);
    const fakedevice::HttpSession session = device->OpenSession();
    const std::string data(1536 * 1024, 'f'); // three seconds at 512 KiB/s

    ProgressRecorder recorder;
    HttpClient client;
    client.SetHttps(true);
    client.SetCookie(session.cookie);
    client.SetCsrfToken(session.token);
    client.SetProgressReceiver(&recorder);
    const auto start = Clock::now();
    QVERIFY(client.PostUpload(device->Base(true) + kUploadPath, "t", "", data, static_cast<int>(data.size()), 1));
    const double elapsed = Seconds(start);

    HttpExchange exchange;
    QVERIFY(device->LastExchange(kUploadPath, exchange));
    QVERIFY(exchange.request.tls);
    QCOMPARE(exchange.request.bodySize, uint64_t(data.size()));
    // The device saw the bytes arrive over about three seconds, never much faster than the cap.
    QVERIFY2(exchange.request.bodySeconds > 2.0, qPrintable(QString::number(exchange.request.bodySeconds)));
    QVERIFY2(elapsed < 10, qPrintable(QString::number(elapsed)));

    QCoreApplication::sendPostedEvents(&recorder);
    QVERIFY(recorder.reports.size() >= 3);
    int last = 0;
    bool between = false;
    for (const auto& report : recorder.reports) {
        QCOMPARE(report.code, 394);
        QCOMPARE(report.extra, -1);
        QVERIFY(report.value >= last);
        between = between || (report.value > 0 && report.value < 100);
        last = report.value;
    }
    QVERIFY(between);
    QCOMPARE(last, 100);
}

void TestHttpClient::uploadRefusesShortData()
{
    auto device = MakeDevice("127.0.0.40");
    HttpClient client;
    const std::string data(100, 'x');
    QVERIFY(!client.PostUpload(device->Base(false) + kUploadPath, "t", "", data, 101, 16));
    QVERIFY(!client.PostUpload(device->Base(false) + kUploadPath, "t", "", data, -1, 16));
    QCOMPARE(device->CountRequests(kUploadPath), 0);
}

void TestHttpClient::clientsOnManyThreads()
{
    // Clients made, used and deleted on many threads at once, as the task pool does.
    auto device = MakeDevice("127.0.0.41", FakeHttpApi::Scheme::Both);
    std::atomic<int> succeeded { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&device, &succeeded, t] {
            for (int i = 0; i < 5; ++i) {
                HttpClient client;
                client.SetHttps(t % 2 == 1);
                if (client.PostJson(device->Base(false) + kEchoPath + "{}"))
                    ++succeeded;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(succeeded.load(), 40);
    QCOMPARE(device->CountRequests(kEchoPath), 40);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
