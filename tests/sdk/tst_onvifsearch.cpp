// ONVIF discovery on loopback: probes go unicast to fake devices at this
// process's loopback addresses, which answer as WS-Discovery target services.
#include "OnvifTestSupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>

using namespace sdktest;
using fakedevice::FakeOnvif;
using fakedevice::OnvifFaults;
using fakedevice::OnvifState;

namespace
{
const char* const kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
const char* const kWsd = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char* const kWsa = "http://schemas.xmlsoap.org/ws/2004/08/addressing";

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A ProbeMatches message in the usual form; {match} is the ProbeMatch's content.
std::string Usual(const std::string& match)
{
    return Replace(std::string("<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"") + kSoap12 + "\" xmlns:a=\"" + kWsa
            + "\" xmlns:d=\"" + kWsd + "\" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header><a:Action>"
            + kWsd
            + "/ProbeMatches</a:Action></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch>{match}</d:ProbeMatch>"
              "</d:ProbeMatches></s:Body></s:Envelope>",
        "{match}", match);
}

const std::string kEpr = "<a:EndpointReference><a:Address>urn:uuid:variant</a:Address></a:EndpointReference>";
const std::string kTypes = "<d:Types>dn:NetworkVideoTransmitter</d:Types>";
const std::string kScopes = "<d:Scopes>onvif://www.onvif.org/name/Gate onvif://www.onvif.org/hardware/M1</d:Scopes>";
const std::string kXAddrs = "<d:XAddrs>http://{ip}:8899/onvif/device_service</d:XAddrs>";
} // namespace

class TestOnvifSearch : public QObject
{
    Q_OBJECT

private slots:
    void listsEachDeviceOnceWithItsRecord();
    void replyForms_data();
    void replyForms();
    void keepsTheMatchesBeforeTheElementLimit();
    void connectsByTheAnnouncedSchemeAndPath_data();
    void connectsByTheAnnouncedSchemeAndPath();
    void stopEndsAtOnce();
    void stopFromTheCallback();
    void releaseEndsTheSearch();
    void refusesWithoutInitialisation();
};

void TestOnvifSearch::listsEachDeviceOnceWithItsRecord()
{
    // Each device answers both probes twice (a repeat is a copy); device 13 has
    // device 12's endpoint reference, as cloned firmware does: two hosts, two records.
    std::vector<std::unique_ptr<FakeOnvif>> devices;
    std::vector<std::string> targets;
    for (int n = 1; n <= 13; ++n) {
        devices.push_back(StartOnvifDevice(n, [n](OnvifState& s) {
            if (n == 13)
                s.endpoint = fakedevice::OnvifStateFor("", 12).endpoint;
        }));
        OnvifFaults faults;
        faults.probeCopies = 2;
        devices.back()->SetFaults(faults);
        QVERIFY(devices.back()->WaitListening());
        targets.push_back(Loopback(n));
    }
    targets.push_back(Loopback(200)); // nobody there
    // The shipped search time-out of 2 s.
    OnvifScope onvif(targets, 2);
    SearchCollector collector;
    QElapsedTimer timer;
    timer.start();
    int handle = StartOnvifSearch(collector);
    QVERIFY(handle != 0);
    QVERIFY(collector.WaitEnd(20000));
    const qint64 endMs = timer.elapsed();
    // It ends at its time-out, which is no shorter than asked.
    QVERIFY2(endMs >= 1900, qPrintable(QString::number(endMs)));
    // The stop joins the search: every report it made is in.
    QCOMPARE(ZVOnvifSearchDevStop(&handle), 1);
    QCOMPARE(handle, 0);
    QCOMPARE(collector.Ends(), 1);
    QCOMPARE(collector.RecordsAfterEnd(), 0);
    QVERIFY(!collector.OnCallerThread());

    const QStringList ips = collector.Ips();
    QCOMPARE(ips.size(), 13);
    for (int n = 1; n <= 13; ++n)
        QVERIFY(ips.contains(QString::fromStdString(Loopback(n))));
    for (const SearchDevRsp& r : collector.Records()) {
        if (QString::fromLatin1(r.ip) != QString::fromStdString(Loopback(3)))
            continue;
        QCOMPARE(r.webPort, 18003u);
        QCOMPARE(QByteArray(r.deviceName), QByteArray("Camera 3"));
        QCOMPARE(QByteArray(r.deviceType), QByteArray("ZV-IPC-2000"));
        QCOMPARE(QByteArray(r.mac), QByteArray(fakedevice::OnvifStateFor("", 3).mac.c_str()).toUpper());
        QCOMPARE(r.networkMode, uint32_t(ZVNET_NET_MODE_STATIC));
        QCOMPARE(r.mediaPort, 0u);
    }
    // Two probes (video transmitter, device service), each sent twice; the device counts each once.
    QCOMPARE(devices.front()->Probes(), 2);
    QCOMPARE(ZVOnvifSearchDevStop(&handle), 0);
}

void TestOnvifSearch::replyForms_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("ip"); // "{ip}": the device's own address
    QTest::addColumn<uint>("port");
    QTest::addColumn<QString>("name");

    // Forms different cameras send.
    QTest::newRow("usual") << QString::fromStdString(Usual(kEpr + kTypes + kScopes + kXAddrs)) << true << "{ip}"
                           << 8899u << "Gate";
    QTest::newRow("other prefixes, default namespace") << QString::fromStdString(
        std::string("<env:Envelope xmlns:env=\"") + kSoap12 + "\" xmlns:wsadis=\"" + kWsa
        + "\"><env:Body><ProbeMatches xmlns=\"" + kWsd
        + "\"><ProbeMatch><wsadis:EndpointReference><wsadis:Address>urn:uuid:v</wsadis:Address>"
          "</wsadis:EndpointReference><Types xmlns:tdn=\"http://www.onvif.org/ver10/network/wsdl\">"
          "tdn:NetworkVideoTransmitter</Types><Scopes>onvif://www.onvif.org/name/Other</Scopes>"
          "<XAddrs>http://{ip}:81/onvif/device_service</XAddrs></ProbeMatch></ProbeMatches></env:Body>"
          "</env:Envelope>") << true << "{ip}" << 81u << "Other";
    QTest::newRow("SOAP 1.1, discovery 1.1, addressing 1.0") << QString::fromStdString(
        "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:W=\"http://www.w3.org/2005/08/addressing\" "
        "xmlns:D=\"http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01\"><S:Body><D:ProbeMatches>"
        "<D:ProbeMatch><W:EndpointReference><W:Address>urn:uuid:w</W:Address></W:EndpointReference>"
        "<D:Types xmlns:x=\"http://www.onvif.org/ver10/device/wsdl\">x:Device</D:Types>"
        "<D:XAddrs>http://{ip}/onvif/device_service</D:XAddrs></D:ProbeMatch></D:ProbeMatches></S:Body>"
        "</S:Envelope>") << true << "{ip}" << 80u << "";
    QTest::newRow("element order reversed")
        << QString::fromStdString(Usual("<d:MetadataVersion>3</d:MetadataVersion>" + kXAddrs + kScopes + kTypes + kEpr))
        << true << "{ip}" << 8899u << "Gate";
    QTest::newRow("no types, no scopes") << QString::fromStdString(Usual(kEpr + kXAddrs)) << true << "{ip}" << 8899u
                                         << "";
    QTest::newRow("no XAddrs: the sender on port 80")
        << QString::fromStdString(Usual(kEpr + kTypes + kScopes)) << true << "{ip}" << 80u << "Gate";
    QTest::newRow("host name first, then https at the sender") << QString::fromStdString(Usual(kEpr + kTypes
        + "<d:XAddrs>http://camera.local/onvif/device_service https://{ip}/onvif/device_service "
          "http://[fe80::1]/onvif</d:XAddrs>")) << true << "{ip}"
                                                               << 443u << "";
    QTest::newRow("host name only: the sender, on its port") << QString::fromStdString(
        Usual(kEpr + kTypes + "<d:XAddrs>http://camera.local:8081/onvif/device_service</d:XAddrs>"))
                                                             << true << "{ip}" << 8081u << "";
    QTest::newRow("IPv6 literal only: the sender, on its port") << QString::fromStdString(
        Usual(kEpr + kTypes + "<d:XAddrs>http://[fe80::1%25eth0]:8082/onvif/device_service</d:XAddrs>"))
                                                                << true << "{ip}" << 8082u << "";
    QTest::newRow("IPv6 literal, https, default port") << QString::fromStdString(
        Usual(kEpr + kTypes + "<d:XAddrs>https://[2001:db8::7]/onvif/device_service</d:XAddrs>"))
                                                       << true << "{ip}" << 443u << "";
    QTest::newRow("answer to our probe") << QString::fromStdString(Replace(
        Usual(kEpr + kTypes + kScopes + kXAddrs), "</a:Action>", "</a:Action><a:RelatesTo>{relatesTo}</a:RelatesTo>"))
                                         << true << "{ip}" << 8899u << "Gate";
    QTest::newRow("control characters left out of the name") << QString::fromStdString(Usual(
        kEpr + kTypes + "<d:Scopes>onvif://www.onvif.org/name/Gate%0D%0ANorth%09%7F%C2%85%00X</d:Scopes>" + kXAddrs))
                                                             << true << "{ip}" << 8899u << "GateNorthX";
    QTest::newRow("the sender's address preferred") << QString::fromStdString(Usual(kEpr + kTypes
        + "<d:XAddrs>http://169.254.3.4/onvif/device_service http://{ip}:8000/onvif/device_service</d:XAddrs>"))
                                                    << true << "{ip}" << 8000u << "";
    QTest::newRow("type prefix not declared") << QString::fromStdString(
        Replace(Usual(kEpr + "<d:Types>tt:NetworkVideoTransmitter</d:Types>" + kXAddrs), "xmlns:dn", "xmlns:unused"))
                                              << true << "{ip}" << 8899u << "";
    QTest::newRow("percent-encoded name, cut to its field") << QString::fromStdString(Usual(kEpr + kTypes
        + "<d:Scopes>onvif://www.onvif.org/name/Caf%C3%A9%20Entrance%20North%20Gate%20Long%20Name%20Here</d:Scopes>"
        + kXAddrs)) << true << "{ip}" << 8899u << QString::fromLatin1("Caf\xe9 Entrance North Gate Long Name ");

    // Not a camera, not an answer to our probe, or not a message: never listed, and the search goes on.
    QTest::newRow("answer to another message") << QString::fromStdString(Replace(Usual(kEpr + kTypes + kXAddrs),
        "</a:Action>", "</a:Action><a:RelatesTo>urn:uuid:00000000-0000-4000-8000-000000000000</a:RelatesTo>"))
                                               << false << "" << 0u << "";
    QTest::newRow("not a ProbeMatches action") << QString::fromStdString(
        Replace(Usual(kEpr + kTypes + kXAddrs), "/ProbeMatches</a:Action>", "/Hello</a:Action>"))
                                               << false << "" << 0u << "";
    QTest::newRow("a printer") << QString::fromStdString(
        Replace(Usual(kEpr + kTypes + kXAddrs), "dn:NetworkVideoTransmitter", "p:PrintDeviceType"))
                               << false << "" << 0u << "";
    QTest::newRow("types in another namespace") << QString::fromStdString(
        Replace(Usual(kEpr + kTypes + kXAddrs), "http://www.onvif.org/ver10/network/wsdl", "urn:other"))
                                                << false << "" << 0u << "";
    QTest::newRow("entity expansion") << QString::fromStdString(
        "<?xml version=\"1.0\"?><!DOCTYPE s:Envelope [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
        "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
        "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
        + Replace(Usual(kEpr + kTypes + "<d:Scopes>onvif://www.onvif.org/name/&g;</d:Scopes>" + kXAddrs),
            "<?xml version=\"1.0\"?>", ""))
                                      << false << "" << 0u << "";
    QTest::newRow("external entity") << QString::fromStdString(
        "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
        + Replace(Usual(kEpr + kTypes + "<d:Scopes>onvif://www.onvif.org/name/&e;</d:Scopes>" + kXAddrs),
            "<?xml version=\"1.0\"?>", ""))
                                     << false << "" << 0u << "";
    QTest::newRow("truncated") << QString::fromStdString(Usual(kEpr + kTypes + kXAddrs).substr(0, 300)) << false << ""
                               << 0u << "";
    QTest::newRow("not XML") << QStringLiteral("HTTP/1.1 200 OK\r\n\r\n\x01\x02") << false << "" << 0u << "";
    std::string nested;
    for (int i = 0; i < 100; ++i)
        nested = "<x>" + nested + "</x>";
    QTest::newRow("nested too deeply") << QString::fromStdString(Usual(kEpr + kTypes + kXAddrs + nested)) << false << ""
                                       << 0u << "";
    QTest::newRow("no ProbeMatches") << QString::fromStdString(
        std::string("<s:Envelope xmlns:s=\"") + kSoap12 + "\"><s:Body/></s:Envelope>")
                                     << false << "" << 0u << "";
    QTest::newRow("no address at all") << QString::fromStdString(
        Usual(kEpr + kTypes + "<d:XAddrs>http://0.0.0.0/onvif</d:XAddrs>"))
                                       << true << "{ip}" << 80u << "";
}

void TestOnvifSearch::replyForms()
{
    QFETCH(QString, reply);
    QFETCH(bool, listed);
    QFETCH(QString, ip);
    QFETCH(uint, port);
    QFETCH(QString, name);

    auto odd = StartOnvifDevice(20);
    auto usual = StartOnvifDevice(21);
    OnvifFaults faults;
    faults.probeReply = Replace(reply.toStdString(), "{ip}", Loopback(20));
    odd->SetFaults(faults);
    OnvifScope onvif({ Loopback(20), Loopback(21) }, 2);
    SearchCollector collector;
    int handle = StartOnvifSearch(collector);
    QVERIFY(collector.WaitEnd(20000));
    ZVOnvifSearchDevStop(&handle);

    QStringList expected { QString::fromStdString(Loopback(21)) };
    if (listed)
        expected << QString(ip).replace(QStringLiteral("{ip}"), QString::fromStdString(Loopback(20)));
    std::sort(expected.begin(), expected.end());
    QCOMPARE(collector.Ips(), expected);
    for (const SearchDevRsp& r : collector.Records()) {
        if (QString::fromLatin1(r.ip) == QString::fromStdString(Loopback(21)))
            continue;
        QCOMPARE(r.webPort, uint32_t(port));
        QCOMPARE(QString::fromLatin1(r.deviceName), name);
        QCOMPARE(r.deviceName[sizeof r.deviceName - 1], '\0');
    }
}

void TestOnvifSearch::keepsTheMatchesBeforeTheElementLimit()
{
    // Three matches, then more elements than a datagram may hold, then a fourth.
    auto match = [](int n) {
        return "<d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:limit-" + std::to_string(n)
            + "</a:Address></a:EndpointReference>" + kTypes + "<d:XAddrs>http://10.77.0." + std::to_string(n)
            + "/onvif/device_service</d:XAddrs></d:ProbeMatch>";
    };
    std::string filler;
    for (int i = 0; i < 2500; ++i)
        filler += "<x/>";
    const std::string matches = match(1) + match(2) + match(3) + "<d:Pad>" + filler + "</d:Pad>" + match(4);
    const std::string reply = Replace(Usual("{cut}"), "<d:ProbeMatch>{cut}</d:ProbeMatch>", matches);

    auto device = StartOnvifDevice(22);
    OnvifFaults faults;
    faults.probeDelayMaxMs = 0;
    faults.probeReply = reply;
    device->SetFaults(faults);
    OnvifScope onvif({ Loopback(22) }, 1);
    SearchCollector collector;
    int handle = StartOnvifSearch(collector);
    QVERIFY(collector.WaitEnd(5000));
    ZVOnvifSearchDevStop(&handle);
    QCOMPARE(collector.Ips(), QStringList({ "10.77.0.1", "10.77.0.2", "10.77.0.3" }));
}

void TestOnvifSearch::connectsByTheAnnouncedSchemeAndPath_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("hostName"); // the XAddr names a host, not an address

    QTest::newRow("https on 8443") << true << "/onvif/device_service" << false;
    QTest::newRow("https on 8443, named host") << true << "/onvif/device_service" << true;
    QTest::newRow("http on 8443, another path") << false << "/cgi/onvif/device" << false;
}

void TestOnvifSearch::connectsByTheAnnouncedSchemeAndPath()
{
    QFETCH(bool, https);
    QFETCH(QString, path);
    QFETCH(bool, hostName);

    auto device = StartOnvifDevice(23, [&](OnvifState& s) {
        s.webPort = 8443;
        s.https = https;
        s.servicePath = path.toStdString();
    });
    QVERIFY(device->WaitListening());
    if (hostName) {
        OnvifFaults faults;
        faults.xaddrs = std::string(https ? "https" : "http") + "://camera-23.local:8443" + path.toStdString();
        device->SetFaults(faults);
    }
    OnvifScope onvif({ Loopback(23) }, 1);
    SearchCollector collector;
    int handle = StartOnvifSearch(collector);
    QVERIFY(collector.WaitEnd(5000));
    ZVOnvifSearchDevStop(&handle);
    QCOMPARE(collector.Ips(), QStringList { QString::fromStdString(Loopback(23)) });
    const SearchDevRsp record = collector.Records().front();
    QCOMPARE(record.webPort, 8443u);

    // Only the record's address and web port go to the connection, as a caller passes them.
    StatusCollector status;
    int connection = OnvifConnect(record.ip, static_cast<uint16_t>(record.webPort), "admin", "admin123", status);
    QVERIFY(connection != 0);
    QCOMPARE(status.Codes(), std::vector<int> { ZVNET_STATUS_LOGIN_OK });
    ZVOnvifNetworkParam block;
    QCOMPARE(QueryNetwork(connection, block), 1);
    QCOMPARE(block.webPort, 8443u);
    QCOMPARE(QString::fromStdString(Dotted(block.ip)), QString::fromStdString(Loopback(23)));
    // The prefix and gateway a device reports follow its own address.
    QCOMPARE(QString::fromStdString(Dotted(block.netmask)), QStringLiteral("255.255.255.0"));
    QCOMPARE(QString::fromStdString(Dotted(block.gateway)), QString::fromStdString(Loopback(1)));
    ZVOnvifConnectionStop(&connection);

    // The device heard every request over the scheme it serves, at its path.
    const auto requests = device->Requests();
    QVERIFY(requests.size() >= 4);
    for (const auto& r : requests) {
        QCOMPARE(r.tls, https);
        QCOMPARE(r.status, 200);
    }
}

void TestOnvifSearch::stopEndsAtOnce()
{
    auto device = StartOnvifDevice(30);
    OnvifFaults faults;
    faults.probeDelayMaxMs = 900;
    device->SetFaults(faults);
    SearchCollector collector;
    size_t seen = 0;
    {
        OnvifScope onvif({ Loopback(30) }, 2);
        int handle = StartOnvifSearch(collector);
        QVERIFY(handle != 0);
        // The search is under way once the device has its probe; its answer is still delayed.
        QTRY_VERIFY_WITH_TIMEOUT(device->Probes() >= 1, 30000);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZVOnvifSearchDevStop(&handle), 1);
        QVERIFY(timer.elapsed() < 500);
        seen = collector.Records().size();
    }
    // Between the stop and the release, which joins every search thread,
    // nothing was reported.
    QCOMPARE(collector.Records().size(), seen);
    QCOMPARE(collector.Ends(), 0);
}

void TestOnvifSearch::stopFromTheCallback()
{
    std::vector<std::unique_ptr<FakeOnvif>> devices;
    std::vector<std::string> targets;
    for (int n = 40; n < 46; ++n) {
        devices.push_back(StartOnvifDevice(n));
        OnvifFaults faults;
        faults.probeDelayMaxMs = 300;
        devices.back()->SetFaults(faults);
        targets.push_back(Loopback(n));
    }
    SearchCollector collector;
    {
        OnvifScope onvif(targets, 2);
        std::atomic<int> handle { 0 };
        std::atomic<int> stopped { -1 };
        collector.onCallback = [&](const SearchDevRsp* record) {
            int h = handle.load();
            if (record && stopped.load() < 0 && h != 0)
                stopped = ZVOnvifSearchDevStop(&h);
        };
        handle = StartOnvifSearch(collector);
        QVERIFY(handle.load() != 0);
        QTRY_COMPARE(stopped.load(), 1);
    }
    // Released: every search thread has been joined, nothing more comes.
    QCOMPARE(collector.Records().size(), size_t(1));
    QCOMPARE(collector.Ends(), 0);
}

void TestOnvifSearch::releaseEndsTheSearch()
{
    auto device = StartOnvifDevice(50);
    OnvifFaults faults;
    faults.probeDelayMaxMs = 1500;
    device->SetFaults(faults);
    SearchCollector collector;
    {
        OnvifScope onvif({ Loopback(50) }, 3);
        QVERIFY(StartOnvifSearch(collector) != 0);
        // Under way once the device has the probe; its answer may still be delayed.
        QTRY_VERIFY_WITH_TIMEOUT(device->Probes() >= 1, 30000);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZVOnvifRelease(), 1);
        QVERIFY(timer.elapsed() < 500);
        // Released: nothing starts until the next ZVOnvifInit.
        SearchCollector late;
        QCOMPARE(StartOnvifSearch(late), 0);
    }
    // The release joined the search: nothing is reported after it.
    QCOMPARE(collector.Ends(), 0);
}

void TestOnvifSearch::refusesWithoutInitialisation()
{
    SearchCollector collector;
    QCOMPARE(StartOnvifSearch(collector), 0);
    ZVOnvifConnParam param {};
    QCOMPARE(ZVOnvifConnectionStart(&param), 0);
    QCOMPARE(ZVOnvifSearchDevStart(nullptr), 0);
    int handle = 12345;
    QCOMPARE(ZVOnvifSearchDevStop(&handle), 0);
    QCOMPARE(ZVOnvifSearchDevStop(nullptr), 0);
    QCOMPARE(handle, 12345);
}

QTEST_GUILESS_MAIN(TestOnvifSearch)
#include "tst_onvifsearch.moc"
