// ONVIF connections and parameter 511 against the fake device's SOAP endpoint
// on loopback: status codes, the password digest and clock offset, the reply
// forms different cameras send, hostile replies, and network changes that
// move the device.
#include "OnvifTestSupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <thread>

using namespace sdktest;
using fakedevice::FakeOnvif;
using fakedevice::OnvifFaults;
using fakedevice::OnvifReply;
using fakedevice::OnvifState;

namespace
{
std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A SOAP 1.2 reply with tds and tt as most devices declare them.
std::string Reply(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope "
           "xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><env:Body>"
        + body + "</env:Body></env:Envelope>";
}

std::string Interfaces(const std::string& inner)
{
    return Reply("<tds:GetNetworkInterfacesResponse>" + inner + "</tds:GetNetworkInterfacesResponse>");
}

const std::string kEth0 = "<tds:NetworkInterfaces token=\"eth0\"><tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>"
                          "true</tt:Enabled><tt:Config><tt:Manual><tt:Address>{ip}</tt:Address><tt:PrefixLength>24"
                          "</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP></tt:Config></tt:IPv4>"
                          "</tds:NetworkInterfaces>";

struct RawReply
{
    long status = 0;
    std::string headers;
    std::string body;
};

size_t Append(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One SOAP 1.2 request with no security header at all, as a client that has not logged in sends it.
RawReply PostWithoutToken(const std::string& url, const std::string& operation)
{
    const std::string body = "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                             "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"><s:Body><tds:"
        + operation + "/></s:Body></s:Envelope>";
    RawReply reply;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/soap+xml; charset=utf-8");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}

struct Connected
{
    std::unique_ptr<FakeOnvif> device;
    int handle = 0;
};

QString Dotted(const ZVOnvifNetworkParam& b, const uint8_t* field)
{
    (void)b;
    return QString::fromStdString(sdktest::Dotted(field));
}
} // namespace

class TestOnvifDevice : public QObject
{
    Q_OBJECT

private slots:
    void connectionStatus_data();
    void connectionStatus();
    void answersWithoutAToken_data();
    void answersWithoutAToken();
    void httpDigest_data();
    void httpDigest();
    void refusesBadParameters_data();
    void refusesBadParameters();
    void queryReplyForms_data();
    void queryReplyForms();
    void setMovesTheDevice();
    void setWaitsForTheRebootItNeeds();
    void setFields_data();
    void setFields();
    void stopEndsCallsUnderWay();
    void unknownHandlesAndRequests();
    void manyConnectionsAtOnce();

private:
    Connected ConnectTo(int n, const std::function<void(OnvifState&)>& tweak = {});
};

Connected TestOnvifDevice::ConnectTo(int n, const std::function<void(OnvifState&)>& tweak)
{
    Connected c;
    c.device = StartOnvifDevice(n, tweak);
    StatusCollector status;
    const OnvifState s = c.device->State();
    c.handle = OnvifConnect(s.ip, s.webPort, "admin", "admin123", status);
    if (c.handle && status.Codes() != std::vector<int> { ZVNET_STATUS_LOGIN_OK })
        ZVOnvifConnectionStop(&c.handle);
    return c;
}

void TestOnvifDevice::connectionStatus_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("clockOffset");
    QTest::addColumn<bool>("timeNeedsAuth");
    QTest::addColumn<QString>("cannedOperation");
    QTest::addColumn<int>("cannedStatus");
    QTest::addColumn<QString>("cannedBody");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<int>("expected");

    const QString none;
    QTest::newRow("right password") << "admin123" << 0 << false << none << 0 << none << true << 101;
    QTest::newRow("wrong password") << "wrong" << 0 << false << none << 0 << none << true << 105;
    QTest::newRow("device clock two hours ahead") << "admin123" << 7200 << false << none << 0 << none << true << 101;
    QTest::newRow("device clock a day behind") << "admin123" << -86400 << false << none << 0 << none << true << 101;
    QTest::newRow("clock only with a token") << "admin123" << 0 << true << none << 0 << none << true << 101;
    QTest::newRow("HTTP 401 without a body")
        << "admin123" << 0 << false << "GetDeviceInformation" << 401 << QString() << true << 105;
    QTest::newRow("SOAP 1.1 authentication fault")
        << "admin123" << 0 << false << "GetDeviceInformation" << 500
        << "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
           "<faultcode xmlns:w=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\">"
           "w:FailedAuthentication</faultcode><faultstring>no</faultstring></s:Fault></s:Body></s:Envelope>"
        << true << 105;
    QTest::newRow("another fault")
        << "admin123" << 0 << false << "GetDeviceInformation" << 500
        << QString::fromStdString(
               Reply("<env:Fault><env:Code><env:Value>env:Receiver</env:Value></env:Code></env:Fault>"))
        << true << 2;
    QTest::newRow("malformed reply") << "admin123" << 0 << false << "GetDeviceInformation" << 200
                                     << "<env:Envelope><broken" << true << 2;
    QTest::newRow("clock reply hostile")
        << "admin123" << 0 << false << "GetSystemDateAndTime" << 200
        << "<!DOCTYPE a [<!ENTITY x \"xxxxxxxxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]><a>&y;</a>" << true
        << 2;
    QTest::newRow("nothing listens") << "admin123" << 0 << false << none << 0 << none << false << 2;
}

void TestOnvifDevice::connectionStatus()
{
    QFETCH(QString, password);
    QFETCH(int, clockOffset);
    QFETCH(bool, timeNeedsAuth);
    QFETCH(QString, cannedOperation);
    QFETCH(int, cannedStatus);
    QFETCH(QString, cannedBody);
    QFETCH(bool, listening);
    QFETCH(int, expected);

    OnvifScope onvif({});
    auto device = StartOnvifDevice(1, [&](OnvifState& s) {
        s.clockOffsetSeconds = clockOffset;
        s.createdWindowSeconds = 60;
    });
    OnvifFaults faults;
    faults.timeNeedsAuth = timeNeedsAuth;
    if (!cannedOperation.isEmpty())
        faults.replies[cannedOperation.toStdString()] = OnvifReply { cannedStatus, cannedBody.toStdString(), 0, 0 };
    device->SetFaults(faults);
    const uint16_t port = listening ? device->State().webPort : 17999;

    StatusCollector status;
    int handle = OnvifConnect(Loopback(1), port, "admin", password.toStdString(), status);
    QVERIFY(handle != 0);
    // The stop joins the connection's work: every report it made is in.
    QCOMPARE(ZVOnvifConnectionStop(&handle), 1);
    QCOMPARE(handle, 0);
    QCOMPARE(status.Codes(), std::vector<int> { expected });
    QVERIFY(status.AllAfterStart());
    QVERIFY(!status.OnCallerThread());
    if (expected == ZVNET_STATUS_LOGIN_OK) {
        // The password travelled only as a digest made for the device's clock.
        const auto requests = device->Requests();
        QVERIFY(!requests.empty());
        const auto& last = requests.back();
        QCOMPARE(QString::fromStdString(last.operation), QStringLiteral("GetDeviceInformation"));
        QVERIFY(last.authenticated);
        QVERIFY(last.body.find("admin123") == std::string::npos);
    }
    if (expected == ZVNET_STATUS_LOGIN_FAILED && cannedOperation.isEmpty())
        QCOMPARE(QString::fromStdString(device->Requests().back().authError), QStringLiteral("digest"));
}

void TestOnvifDevice::answersWithoutAToken_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("digest"); // the device asks for HTTP Digest
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expect"); // in the reply's body, or its headers for 401

    // The pre-authentication operations, with and without HTTP Digest.
    for (bool digest : { false, true }) {
        const char* how = digest ? ", digest device" : "";
        QTest::addRow("GetSystemDateAndTime%s", how)
            << "GetSystemDateAndTime" << digest << 200 << "GetSystemDateAndTimeResponse";
        QTest::addRow("GetCapabilities%s", how) << "GetCapabilities" << digest << 200 << "GetCapabilitiesResponse";
        QTest::addRow("GetServices%s", how) << "GetServices" << digest << 200 << "ver10/media/wsdl</tds:Namespace>";
        QTest::addRow("GetHostname%s", how) << "GetHostname" << digest << 200 << "GetHostnameResponse";
    }
    // Everything else: refused as the sender's fault (400), or challenged.
    QTest::newRow("GetDeviceInformation") << "GetDeviceInformation" << false << 400 << "ter:NotAuthorized";
    QTest::newRow("GetNetworkInterfaces") << "GetNetworkInterfaces" << false << 400 << "SOAP-ENV:Sender";
    QTest::newRow("GetDeviceInformation, digest device")
        << "GetDeviceInformation" << true << 401 << "WWW-Authenticate: Digest realm=";
    // An operation the device lacks is the receiver's fault (500).
    QTest::newRow("unknown operation") << "GetSomethingElse" << false << 500 << "ter:ActionNotSupported";
}

void TestOnvifDevice::answersWithoutAToken()
{
    QFETCH(QString, operation);
    QFETCH(bool, digest);
    QFETCH(int, status);
    QFETCH(QString, expect);

    auto device = StartOnvifDevice(8, [&](OnvifState& s) { s.httpDigest = digest; });
    const OnvifState s = device->State();
    const RawReply reply = PostWithoutToken(
        "http://" + s.ip + ":" + std::to_string(s.webPort) + "/onvif/device_service", operation.toStdString());
    QCOMPARE(int(reply.status), status);
    const std::string& where = status == 401 ? reply.headers : reply.body;
    QVERIFY2(where.find(expect.toStdString()) != std::string::npos, where.c_str());
    if (status == 401) {
        // One challenge per algorithm, the stronger first.
        QVERIFY(reply.headers.find("algorithm=SHA-256") < reply.headers.find("algorithm=MD5"));
        QVERIFY(reply.headers.find("qop=\"auth\"") != std::string::npos);
    }
    if (operation == "GetServices") {
        QVERIFY(reply.body.find(
                    "<tds:XAddr>http://" + s.ip + ":" + std::to_string(s.webPort) + "/onvif/device_service</tds:XAddr>")
            != std::string::npos);
    }
    QCOMPARE(device->Requests().size(), size_t(1));
    QVERIFY(!device->Requests().front().tokenSent);
}

void TestOnvifDevice::httpDigest_data()
{
    QTest::addColumn<QStringList>("algorithms"); // offered, in this order
    QTest::addColumn<bool>("tokenRequired");
    QTest::addColumn<int>("nonceUses"); // 0: a nonce never goes stale
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("used"); // the algorithm the answers took

    const QStringList both { "SHA-256", "MD5" };
    QTest::newRow("digest only, SHA-256") << QStringList { "SHA-256" } << false << 0 << "admin123" << 101 << "SHA-256";
    QTest::newRow("digest only, MD5") << QStringList { "MD5" } << false << 0 << "admin123" << 101 << "MD5";
    QTest::newRow("digest only, both offered") << both << false << 0 << "admin123" << 101 << "SHA-256";
    QTest::newRow("digest and token") << both << true << 0 << "admin123" << 101 << "SHA-256";
    QTest::newRow("digest and token, MD5") << QStringList { "MD5" } << true << 0 << "admin123" << 101 << "MD5";
    QTest::newRow("stale after each request") << both << true << 1 << "admin123" << 101 << "SHA-256";
    QTest::newRow("stale after two requests") << QStringList { "MD5" } << false << 2 << "admin123" << 101 << "MD5";
    QTest::newRow("digest only, wrong password") << both << false << 0 << "wrong" << 105 << "";
    QTest::newRow("digest and token, wrong password") << both << true << 0 << "wrong" << 105 << "";
}

void TestOnvifDevice::httpDigest()
{
    QFETCH(QStringList, algorithms);
    QFETCH(bool, tokenRequired);
    QFETCH(int, nonceUses);
    QFETCH(QString, password);
    QFETCH(int, expected);
    QFETCH(QString, used);

    OnvifScope onvif({});
    auto device = StartOnvifDevice(7, [&](OnvifState& s) {
        s.httpDigest = true;
        s.digestAlgorithms.clear();
        for (const QString& a : algorithms)
            s.digestAlgorithms.push_back(a.toStdString());
        s.tokenRequired = tokenRequired;
        s.digestNonceUses = nonceUses;
    });
    StatusCollector status;
    int handle = OnvifConnect(Loopback(7), device->State().webPort, "admin", password.toStdString(), status);
    QVERIFY(handle != 0);
    QCOMPARE(status.Codes(), std::vector<int> { expected });
    const auto answered = [&device]() {
        std::vector<fakedevice::OnvifRequest> list;
        for (const auto& r : device->Requests()) {
            if (r.status == 200 && r.operation != "GetSystemDateAndTime")
                list.push_back(r);
        }
        return list;
    };
    if (expected != ZVNET_STATUS_LOGIN_OK) {
        // The device challenged, the answer came, and it did not check out.
        const auto requests = device->Requests();
        QVERIFY(answered().empty());
        QVERIFY(std::any_of(requests.begin(), requests.end(),
            [](const fakedevice::OnvifRequest& r) { return r.digestSent && r.digestError == "response"; }));
        ZVOnvifConnectionStop(&handle);
        return;
    }
    ZVOnvifNetworkParam block;
    QCOMPARE(QueryNetwork(handle, block), 1);
    QCOMPARE(QString::fromStdString(Dotted(block.ip)), QString::fromStdString(Loopback(7)));
    ZVOnvifConnectionStop(&handle);

    // Every operation past the pre-authentication ones went with a digest the device
    // took, and with the token where it asked for one; the password itself never.
    const auto requests = answered();
    QVERIFY(requests.size() >= 4);
    std::map<std::string, uint32_t> lastCount;
    for (const auto& r : requests) {
        QVERIFY2(r.digestOk, r.operation.c_str());
        QCOMPARE(QString::fromStdString(r.digestAlgorithm), used);
        QCOMPARE(r.authenticated, true);
        QVERIFY(r.body.find("admin123") == std::string::npos);
        // The nonce count rises on each nonce.
        QVERIFY(r.digestNc > lastCount[r.digestNonce]);
        lastCount[r.digestNonce] = r.digestNc;
    }
    for (const auto& r : device->Requests()) {
        if (r.operation == "GetSystemDateAndTime")
            QVERIFY(!r.digestSent || r.digestOk);
    }
    const auto all = device->Requests();
    const int stale = static_cast<int>(std::count_if(
        all.begin(), all.end(), [](const fakedevice::OnvifRequest& r) { return r.digestError == "nonce stale"; }));
    if (nonceUses == 0) {
        QCOMPARE(stale, 0);
        // One nonce serves the whole session.
        QCOMPARE(int(lastCount.size()), 1);
    } else {
        QVERIFY(stale > 0);
        QVERIFY(int(lastCount.size()) > 1);
    }
    qInfo("%d answered requests on %d nonces, %d stale", int(requests.size()), int(lastCount.size()), stale);
}

void TestOnvifDevice::refusesBadParameters_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<uint>("port");
    QTest::newRow("empty address") << "" << 80u;
    QTest::newRow("three parts") << "1.2.3" << 80u;
    QTest::newRow("port 0") << "127.0.0.1" << 0u;
    QTest::newRow("port 70000") << "127.0.0.1" << 70000u;
}

void TestOnvifDevice::refusesBadParameters()
{
    QFETCH(QString, ip);
    QFETCH(uint, port);
    OnvifScope onvif({});
    StatusCollector status;
    const std::string text = ip.toStdString();
    ZVOnvifConnParam param {};
    param.ip = text.c_str();
    param.port = port;
    param.userName = "admin";
    param.password = "admin123";
    param.user = &status;
    param.statusCallback = &StatusCollector::Callback;
    QCOMPARE(ZVOnvifConnectionStart(&param), 0);
    status.StartReturned();
    QVERIFY(status.WaitCount(1, 2000));
    ZVNetRelease(); // joins every report
    QCOMPARE(status.Codes(), std::vector<int> { ZVNET_STATUS_PARAM_ERROR });
    QVERIFY(status.AllAfterStart());
}

void TestOnvifDevice::queryReplyForms_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("filler");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("ip"); // {ip}: the device's address
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<uint>("port"); // 0: the device's web port
    QTest::addColumn<int>("mode");

    const QString none;
    QTest::newRow("the device's own") << none << 0 << none << 0 << 1 << "{ip}"
                                      << "255.255.0.0"
                                      << "127.0.0.1" << 0u << 2;
    QTest::newRow("default namespace, other prefixes")
        << "GetNetworkInterfaces" << 200
        << "<a:Envelope xmlns:a=\"http://www.w3.org/2003/05/soap-envelope\"><a:Body>"
           "<GetNetworkInterfacesResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\" "
           "xmlns:sch=\"http://www.onvif.org/ver10/schema\"><NetworkInterfaces token=\"if1\"><sch:IPv4><sch:Config>"
           "<sch:Manual><sch:Address>{ip}</sch:Address><sch:PrefixLength>20</sch:PrefixLength></sch:Manual>"
           "</sch:Config></sch:IPv4></NetworkInterfaces></GetNetworkInterfacesResponse></a:Body></a:Envelope>"
        << 0 << 1 << "{ip}"
        << "255.255.240.0"
        << "127.0.0.1" << 0u << 2;
    QTest::newRow("element order shuffled, optional parts missing")
        << "GetNetworkInterfaces" << 200
        << QString::fromStdString(Interfaces(
               "<tds:NetworkInterfaces token=\"eth0\"><tt:IPv4><tt:Config><tt:DHCP>false</tt:DHCP><tt:Manual>"
               "<tt:PrefixLength>8</tt:PrefixLength><tt:Address>{ip}</tt:Address></tt:Manual></tt:Config>"
               "<tt:Enabled>true</tt:Enabled></tt:IPv4><tt:Info><tt:MTU>1500</tt:MTU></tt:Info>"
               "</tds:NetworkInterfaces>"))
        << 0 << 1 << "{ip}"
        << "255.0.0.0"
        << "127.0.0.1" << 0u << 2;
    QTest::newRow("the interface that carries the address")
        << "GetNetworkInterfaces" << 200
        << QString::fromStdString(Interfaces(
               "<tds:NetworkInterfaces token=\"wlan0\"><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config><tt:Manual>"
               "<tt:Address>192.168.5.5</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual></tt:Config>"
               "</tt:IPv4></tds:NetworkInterfaces><tds:NetworkInterfaces token=\"eth1\"><tt:Enabled>false"
               "</tt:Enabled></tds:NetworkInterfaces>"
               + kEth0))
        << 0 << 1 << "{ip}"
        << "255.255.255.0"
        << "127.0.0.1" << 0u << 2;
    QTest::newRow("the matching one of several addresses")
        << "GetNetworkInterfaces" << 200
        << QString::fromStdString(Interfaces(
               "<tds:NetworkInterfaces token=\"eth0\"><tt:IPv4><tt:Config><tt:Manual><tt:Address>10.9.9.9"
               "</tt:Address><tt:PrefixLength>8</tt:PrefixLength></tt:Manual><tt:Manual><tt:Address>{ip}</tt:Address>"
               "<tt:PrefixLength>28</tt:PrefixLength></tt:Manual></tt:Config></tt:IPv4></tds:NetworkInterfaces>"))
        << 0 << 1 << "{ip}"
        << "255.255.255.240"
        << "127.0.0.1" << 0u << 2;
    QTest::newRow("DHCP: the address it was given")
        << "GetNetworkInterfaces" << 200
        << QString::fromStdString(Interfaces(
               "<tds:NetworkInterfaces token=\"eth0\"><tt:IPv4><tt:Config><tt:Manual><tt:Address>0.0.0.0</tt:Address>"
               "<tt:PrefixLength>0</tt:PrefixLength></tt:Manual><tt:FromDHCP><tt:Address>{ip}</tt:Address>"
               "<tt:PrefixLength>24</tt:PrefixLength></tt:FromDHCP><tt:DHCP>true</tt:DHCP></tt:Config></tt:IPv4>"
               "</tds:NetworkInterfaces>"))
        << 0 << 1 << "{ip}"
        << "255.255.255.0"
        << "127.0.0.1" << 0u << 0;
    QTest::newRow("no gateway set") << "GetNetworkDefaultGateway" << 200
                                    << QString::fromStdString(Reply("<tds:GetNetworkDefaultGatewayResponse>"
                                                                    "<tds:NetworkGateway><tt:IPv4Address/>"
                                                                    "</tds:NetworkGateway>"
                                                                    "</tds:GetNetworkDefaultGatewayResponse>"))
                                    << 0 << 1 << "{ip}"
                                    << "255.255.0.0"
                                    << "0.0.0.0" << 0u << 2;
    QTest::newRow("no protocol operation, as a Receiver fault with HTTP 500")
        << "GetNetworkProtocols" << 500
        << QString::fromStdString(Reply("<env:Fault><env:Code><env:Value>env:Receiver</env:Value><env:Subcode>"
                                        "<env:Value xmlns:ter=\"http://www.onvif.org/ver10/error\">"
                                        "ter:ActionNotSupported</env:Value></env:Subcode></env:Code></env:Fault>"))
        << 0 << 1 << "{ip}"
        << "255.255.0.0"
        << "127.0.0.1" << 0u << 2;
    QTest::newRow("no gateway operation")
        << "GetNetworkDefaultGateway" << 400
        << QString::fromStdString(Reply("<env:Fault><env:Code><env:Value>env:Receiver</env:Value><env:Subcode>"
                                        "<env:Value xmlns:ter=\"http://www.onvif.org/ver10/error\">"
                                        "ter:ActionNotSupported</env:Value></env:Subcode></env:Code></env:Fault>"))
        << 0 << 1 << "{ip}"
        << "255.255.0.0"
        << "0.0.0.0" << 0u << 2;
    QTest::newRow("gateway in the schema namespace, several")
        << "GetNetworkDefaultGateway" << 200
        << QString::fromStdString(Reply("<tds:GetNetworkDefaultGatewayResponse><tt:NetworkGateway><tt:IPv6Address>"
                                        "fe80::1</tt:IPv6Address><tt:IPv4Address>bad</tt:IPv4Address><tt:IPv4Address>"
                                        "10.1.1.254</tt:IPv4Address></tt:NetworkGateway>"
                                        "</tds:GetNetworkDefaultGatewayResponse>"))
        << 0 << 1 << "{ip}"
        << "255.255.0.0"
        << "10.1.1.254" << 0u << 2;
    QTest::newRow("HTTP on two ports")
        << "GetNetworkProtocols" << 200
        << QString::fromStdString(Reply("<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>HTTPS"
                                        "</tt:Name><tt:Port>443</tt:Port></tds:NetworkProtocols><tds:NetworkProtocols>"
                                        "<tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>80</tt:Port>"
                                        "<tt:Port>{port}</tt:Port></tds:NetworkProtocols>"
                                        "</tds:GetNetworkProtocolsResponse>"))
        << 0 << 1 << "{ip}"
        << "255.255.0.0"
        << "127.0.0.1" << 0u << 2;
    QTest::newRow("another HTTP port")
        << "GetNetworkProtocols" << 200
        << QString::fromStdString(Reply("<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>HTTP</tt:Name>"
                                        "<tt:Port>8000</tt:Port></tds:NetworkProtocols>"
                                        "</tds:GetNetworkProtocolsResponse>"))
        << 0 << 1 << "{ip}"
        << "255.255.0.0"
        << "127.0.0.1" << 8000u << 2;

    // Values the device does not give are not made up: the query fails.
    QTest::newRow("prefix out of range") << "GetNetworkInterfaces" << 200
                                         << QString::fromStdString(Interfaces(
                                                Replace(kEth0, "<tt:PrefixLength>24", "<tt:PrefixLength>99")))
                                         << 0 << 0 << ""
                                         << ""
                                         << "" << 0u << 0;
    QTest::newRow("no PrefixLength") << "GetNetworkInterfaces" << 200
                                     << QString::fromStdString(
                                            Interfaces(Replace(kEth0, "<tt:PrefixLength>24</tt:PrefixLength>", "")))
                                     << 0 << 0 << ""
                                     << ""
                                     << "" << 0u << 0;
    QTest::newRow("gateway not an address")
        << "GetNetworkDefaultGateway" << 200
        << QString::fromStdString(Reply("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway><tt:IPv4Address>"
                                        "gateway.local</tt:IPv4Address></tds:NetworkGateway>"
                                        "</tds:GetNetworkDefaultGatewayResponse>"))
        << 0 << 0 << ""
        << ""
        << "" << 0u << 0;

    // Hostile or broken: the query fails, nothing is written.
    QTest::newRow("entity expansion")
        << "GetNetworkInterfaces" << 200
        << "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaa\"><!ENTITY b "
           "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
           "<e>&c;&c;&c;&c;</e>"
        << 0 << 0 << ""
        << ""
        << "" << 0u << 0;
    QTest::newRow("truncated") << "GetNetworkInterfaces" << 200
                               << QString::fromStdString(Interfaces(kEth0).substr(0, 200)) << 0 << 0 << ""
                               << ""
                               << "" << 0u << 0;
    QTest::newRow("huge document") << "GetNetworkInterfaces" << 200
                                   << QString::fromStdString(Interfaces(kEth0).substr(0, 150)) << 4 * 1024 * 1024 << 0
                                   << ""
                                   << ""
                                   << "" << 0u << 0;
    QTest::newRow("no address") << "GetNetworkInterfaces" << 200
                                << QString::fromStdString(Interfaces(
                                       "<tds:NetworkInterfaces token=\"eth0\"><tt:IPv4><tt:Config><tt:DHCP>false"
                                       "</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces>"))
                                << 0 << 0 << ""
                                << ""
                                << "" << 0u << 0;
    QTest::newRow("no interface") << "GetNetworkInterfaces" << 200 << QString::fromStdString(Interfaces("")) << 0 << 0
                                  << ""
                                  << ""
                                  << "" << 0u << 0;
    QTest::newRow("an HTML page") << "GetNetworkInterfaces" << 200 << "<html><body>Login</body></html>" << 0 << 0 << ""
                                  << ""
                                  << "" << 0u << 0;
    QTest::newRow("HTTP 500 without a body") << "GetNetworkInterfaces" << 500 << QString() << 0 << 0 << ""
                                             << ""
                                             << "" << 0u << 0;
    QTest::newRow("another operation's response")
        << "GetNetworkInterfaces" << 200 << QString::fromStdString(Reply("<tds:GetDNSResponse/>")) << 0 << 0 << ""
        << ""
        << "" << 0u << 0;
    QTest::newRow("gateway reply broken") << "GetNetworkDefaultGateway" << 200 << "<env:Envelope" << 0 << 0 << ""
                                          << ""
                                          << "" << 0u << 0;
}

void TestOnvifDevice::queryReplyForms()
{
    QFETCH(QString, operation);
    QFETCH(int, status);
    QFETCH(QString, body);
    QFETCH(int, filler);
    QFETCH(int, result);
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(uint, port);
    QFETCH(int, mode);

    OnvifScope onvif({});
    Connected c = ConnectTo(2, [](OnvifState& s) {
        s.prefixLength = 16;
        s.gateway = "127.0.0.1";
    });
    QVERIFY(c.handle != 0);
    const OnvifState s = c.device->State();
    if (!operation.isEmpty()) {
        OnvifFaults faults;
        std::string text = Replace(body.toStdString(), "{ip}", s.ip);
        text = Replace(text, "{port}", std::to_string(s.webPort));
        faults.replies[operation.toStdString()] = OnvifReply { status, text, size_t(filler), 0 };
        c.device->SetFaults(faults);
    }
    ZVOnvifNetworkParam block;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(QueryNetwork(c.handle, block), result);
    QVERIFY(timer.elapsed() < 5000);
    if (result == 1) {
        QCOMPARE(Dotted(block, block.ip), QString(ip).replace(QStringLiteral("{ip}"), QString::fromStdString(s.ip)));
        QCOMPARE(Dotted(block, block.netmask), mask);
        QCOMPARE(Dotted(block, block.gateway), gateway);
        QCOMPARE(block.webPort, port ? uint32_t(port) : uint32_t(s.webPort));
        QCOMPARE(int(block.networkMode), mode);
    }
    QCOMPARE(block.size, uint32_t(sizeof block));
    ZVOnvifConnectionStop(&c.handle);
}

void TestOnvifDevice::setMovesTheDevice()
{
    OnvifScope onvif({});
    Connected c = ConnectTo(3);
    QVERIFY(c.handle != 0);
    const std::string newIp = Loopback(103);
    const ZVOnvifNetworkParam block
        = NetworkBlock(newIp.c_str(), "255.255.0.0", "127.0.0.254", 19003, ZVNET_NET_MODE_STATIC);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(SetNetwork(c.handle, block), 1);
    QVERIFY(timer.elapsed() < 6000);
    QVERIFY(c.device->WaitListening());
    const OnvifState s = c.device->State();
    QCOMPARE(QString::fromStdString(s.ip), QString::fromStdString(newIp));
    QCOMPARE(s.prefixLength, 16);
    QCOMPARE(QString::fromStdString(s.gateway), QStringLiteral("127.0.0.254"));
    QCOMPARE(int(s.webPort), 19003);
    QCOMPARE(s.dhcp, false);
    QCOMPARE(c.device->CountRequests("SystemReboot"), 0);
    ZVOnvifConnectionStop(&c.handle);

    // At its new address it takes a connection and reads back what was set.
    StatusCollector status;
    int handle = OnvifConnect(newIp, 19003, "admin", "admin123", status);
    QCOMPARE(status.Codes(), std::vector<int> { ZVNET_STATUS_LOGIN_OK });
    ZVOnvifNetworkParam read;
    QCOMPARE(QueryNetwork(handle, read), 1);
    QCOMPARE(QString::fromStdString(Dotted(read.ip)), QString::fromStdString(newIp));
    QCOMPARE(QString::fromStdString(Dotted(read.netmask)), QStringLiteral("255.255.0.0"));
    QCOMPARE(QString::fromStdString(Dotted(read.gateway)), QStringLiteral("127.0.0.254"));
    QCOMPARE(read.webPort, 19003u);
    QCOMPARE(int(read.networkMode), int(ZVNET_NET_MODE_STATIC));
    ZVOnvifConnectionStop(&handle);
}

void TestOnvifDevice::setWaitsForTheRebootItNeeds()
{
    OnvifScope onvif({});
    Connected c = ConnectTo(4, [](OnvifState& s) { s.rebootNeeded = true; });
    QVERIFY(c.handle != 0);
    const std::string newIp = Loopback(104);
    QCOMPARE(SetNetwork(c.handle, NetworkBlock(newIp.c_str(), nullptr, nullptr, 19004, ZVNET_NET_MODE_STATIC)), 1);
    QCOMPARE(c.device->CountRequests("SystemReboot"), 1);
    QVERIFY(c.device->WaitListening());
    const OnvifState s = c.device->State();
    QCOMPARE(s.reboots, 1);
    QCOMPARE(QString::fromStdString(s.ip), QString::fromStdString(newIp));
    QCOMPARE(int(s.webPort), 19004);
    ZVOnvifConnectionStop(&c.handle);
}

void TestOnvifDevice::setFields_data()
{
    QTest::addColumn<QString>("ip"); // "": zero
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<uint>("port");
    QTest::addColumn<int>("mode");
    QTest::addColumn<uint>("sizeWord");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("sent"); // the set operations the device received
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<int>("prefix");

    QTest::newRow("only the mask") << ""
                                   << "255.255.0.0"
                                   << "" << 0u << 2 << 460u << 1 << QStringList { "SetNetworkInterfaces" } << false
                                   << 16;
    QTest::newRow("only the gateway") << ""
                                      << ""
                                      << "127.0.0.9" << 0u << 2 << 460u << 1
                                      << QStringList { "SetNetworkDefaultGateway" } << false << 24;
    QTest::newRow("the same port") << ""
                                   << ""
                                   << "" << 18005u << 2 << 460u << 1 << QStringList {} << false << 24;
    QTest::newRow("DHCP") << ""
                          << ""
                          << "127.0.0.9" << 0u << 0 << 460u << 1 << QStringList { "SetNetworkInterfaces" } << true
                          << 24;
    QTest::newRow("PPPoE is no ONVIF setting") << ""
                                               << ""
                                               << "" << 0u << 1 << 460u << 0 << QStringList {} << false << 24;
    QTest::newRow("mask with a gap") << ""
                                     << "255.0.255.0"
                                     << "" << 0u << 2 << 460u << 0 << QStringList {} << false << 24;
    QTest::newRow("size word too small") << ""
                                         << "255.255.0.0"
                                         << "" << 0u << 2 << 24u << 0 << QStringList {} << false << 24;
}

void TestOnvifDevice::setFields()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(uint, port);
    QFETCH(int, mode);
    QFETCH(uint, sizeWord);
    QFETCH(int, result);
    QFETCH(QStringList, sent);
    QFETCH(bool, dhcp);
    QFETCH(int, prefix);

    OnvifScope onvif({});
    Connected c = ConnectTo(5);
    QVERIFY(c.handle != 0);
    c.device->ClearRequests();
    const auto text = [](const QString& t) { return t.isEmpty() ? std::string() : t.toStdString(); };
    const std::string ipText = text(ip), maskText = text(mask), gatewayText = text(gateway);
    ZVOnvifNetworkParam block
        = NetworkBlock(ipText.empty() ? nullptr : ipText.c_str(), maskText.empty() ? nullptr : maskText.c_str(),
            gatewayText.empty() ? nullptr : gatewayText.c_str(), port, static_cast<uint8_t>(mode));
    block.size = sizeWord;
    QCOMPARE(SetNetwork(c.handle, block), result);
    QStringList received;
    for (const auto& r : c.device->Requests()) {
        if (r.operation.rfind("Set", 0) == 0)
            received << QString::fromStdString(r.operation);
    }
    QCOMPARE(received, sent);
    QVERIFY(c.device->WaitListening());
    const OnvifState s = c.device->State();
    QCOMPARE(s.dhcp, dhcp);
    QCOMPARE(s.prefixLength, prefix);
    QCOMPARE(QString::fromStdString(s.ip), QString::fromStdString(Loopback(5)));
    ZVOnvifConnectionStop(&c.handle);
}

void TestOnvifDevice::stopEndsCallsUnderWay()
{
    OnvifScope onvif({}, 1, 5, 5);
    Connected c = ConnectTo(6);
    QVERIFY(c.handle != 0);
    OnvifFaults faults;
    faults.replies["GetNetworkInterfaces"] = OnvifReply { 200, Interfaces(kEth0), 0, 4000 };
    faults.replies["GetDeviceInformation"] = OnvifReply { 200, Reply("<tds:GetDeviceInformationResponse/>"), 0, 4000 };
    c.device->SetFaults(faults);

    // A query under way on another thread ends when the connection is stopped.
    std::atomic<int> queried { -1 };
    std::thread query([&]() {
        ZVOnvifNetworkParam block;
        queried = QueryNetwork(c.handle, block);
    });
    // The query is under way once the device has it; its answer is still delayed.
    QTRY_VERIFY_WITH_TIMEOUT(c.device->CountRequests("GetNetworkInterfaces") >= 1, 30000);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ZVOnvifConnectionStop(&c.handle), 1);
    query.join();
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(queried.load(), 0);

    // A login under way: stopped at once, and its status never comes.
    StatusCollector status;
    const std::string ip = Loopback(6);
    ZVOnvifConnParam param {};
    param.ip = ip.c_str();
    param.port = c.device->State().webPort;
    param.userName = "admin";
    param.password = "admin123";
    param.user = &status;
    param.statusCallback = &StatusCollector::Callback;
    const int logins = c.device->CountRequests("GetDeviceInformation");
    int handle = ZVOnvifConnectionStart(&param);
    QVERIFY(handle != 0);
    QTRY_VERIFY_WITH_TIMEOUT(c.device->CountRequests("GetDeviceInformation") > logins, 30000);
    timer.restart();
    QCOMPARE(ZVOnvifConnectionStop(&handle), 1);
    QVERIFY(timer.elapsed() < 1000);
    ZVNetRelease(); // joins whatever work is left
    QVERIFY(status.Codes().empty());
}

void TestOnvifDevice::unknownHandlesAndRequests()
{
    OnvifScope onvif({});
    Connected c = ConnectTo(7);
    QVERIFY(c.handle != 0);
    ZVOnvifNetworkParam block;
    QCOMPARE(QueryNetwork(0, block), 0);
    QCOMPARE(QueryNetwork(c.handle + 1000, block), 0);
    ZVNetQueryParamExReq small { ZVONVIF_PARAM_NETWORK, 0, &block, 100, {} };
    QCOMPARE(ZVOnvifQueryParamEx(c.handle, &small), 0);
    ZVNetQueryParamExReq other { 524, 0, &block, sizeof block, {} };
    QCOMPARE(ZVOnvifQueryParamEx(c.handle, &other), 0);
    ZVNetQueryParamExReq noBuffer { ZVONVIF_PARAM_NETWORK, 0, nullptr, sizeof block, {} };
    QCOMPARE(ZVOnvifQueryParamEx(c.handle, &noBuffer), 0);
    QCOMPARE(ZVOnvifQueryParamEx(c.handle, nullptr), 0);
    QCOMPARE(ZVOnvifSetParam(c.handle, nullptr), 0);
    ZVNetSetParamReq noBlock { ZVONVIF_PARAM_NETWORK, nullptr, nullptr, 0, 0 };
    QCOMPARE(ZVOnvifSetParam(c.handle, &noBlock), 0);
    QCOMPARE(QueryNetwork(c.handle, block), 1);
    int handle = c.handle;
    QCOMPARE(ZVOnvifConnectionStop(&handle), 1);
    QCOMPARE(QueryNetwork(c.handle, block), 0);
    QCOMPARE(SetNetwork(c.handle, NetworkBlock(nullptr, nullptr, nullptr, 0, 2)), 0);
    QCOMPARE(ZVOnvifConnectionStop(&c.handle), 0);
    QCOMPARE(ZVOnvifConnectionStop(nullptr), 0);
}

void TestOnvifDevice::manyConnectionsAtOnce()
{
    OnvifScope onvif({});
    std::vector<std::unique_ptr<FakeOnvif>> devices;
    for (int n = 10; n < 14; ++n)
        devices.push_back(StartOnvifDevice(n));
    std::vector<std::thread> threads;
    std::atomic<int> ok { 0 };
    for (int i = 0; i < 16; ++i) {
        threads.emplace_back([&, i]() {
            const OnvifState s = devices[i % devices.size()]->State();
            StatusCollector status;
            int handle = OnvifConnect(s.ip, s.webPort, "admin", "admin123", status);
            ZVOnvifNetworkParam block;
            if (handle && status.Codes() == std::vector<int> { ZVNET_STATUS_LOGIN_OK }
                && QueryNetwork(handle, block) == 1 && Dotted(block.ip) == s.ip)
                ++ok;
            ZVOnvifConnectionStop(&handle);
        });
    }
    for (auto& t : threads)
        t.join();
    QCOMPARE(ok.load(), 16);
}

QTEST_GUILESS_MAIN(TestOnvifDevice)
#include "tst_onvifdevice.moc"
