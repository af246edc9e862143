// Changing a device's network settings end to end against the fake device:
// through the SDK by the device's current address, through the HTTP API after
// the JSON login, and a batch of many devices at once on the task pool.

#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "DottedQuad.h"
#include "HttpClient.h"
#include "OperationFixtures.h"

#include <QElapsedTimer>
#include <QTimer>

#include <thread>

using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::Faults;
using fakedevice::HttpFaults;
using namespace TestSupport;
namespace wire = fakedevice::wire;

namespace
{
const char* const kNetBasePath = "/API/NetworkConfig/NetBase/Set";

struct SdkCase
{
    const char* name;
    bool newAddress; // else the address stays
    const char* netmask;
    const char* gateway;
    const char* dns1;
    const char* dns2;
    quint16 mediaPort; // 0: keep
    quint16 webPort; // 0: keep
    int dhcp;
    const char* user; // null: the device's
    const char* password; // null: the device's
    const char* newIpText; // overrides newAddress
    Faults faults;
    int status;
};

Faults OnSetNetwork(uint32_t replyStatus, bool oversized = false)
{
    Faults faults;
    faults.faultType = wire::SetNetwork;
    faults.replyStatus = replyStatus;
    faults.oversizedReply = oversized;
    return faults;
}

Faults GarbledSetNetworkReply()
{
    Faults faults;
    faults.faultType = wire::SetNetwork;
    faults.badMagic = true;
    return faults;
}

Faults NoAnswer()
{
    Faults faults;
    faults.noAnswer = true;
    return faults;
}

const std::string kLongUser(70, 'u');

const SdkCase kSdkCases[] = {
    { "static address", true, "255.255.0.0", "127.0.0.1", "127.0.0.53", "127.0.0.54", 0, 8181, 2, nullptr, nullptr,
        nullptr, Faults(), StatusOk },
    { "dhcp and media port", false, "", "", "", "", 9701, 0, 0, nullptr, nullptr, nullptr, Faults(), StatusOk },
    { "wrong password", true, "", "", "", "", 0, 0, 2, nullptr, "wrong", nullptr, Faults(), StatusFailed },
    { "user name cut to its field", true, "", "", "", "", 0, 0, 2, kLongUser.c_str(), nullptr, nullptr, Faults(),
        StatusFailed },
    { "address that does not parse", false, "", "", "", "", 0, 0, 2, nullptr, nullptr, "127.0.0.300", Faults(),
        StatusFailed },
    { "no answer", true, "", "", "", "", 0, 0, 2, nullptr, nullptr, nullptr, NoAnswer(), StatusFailed },
    { "refused", true, "", "", "", "", 0, 0, 2, nullptr, nullptr, nullptr, OnSetNetwork(wire::Refused), StatusFailed },
    { "reply garbled", true, "", "", "", "", 0, 0, 2, nullptr, nullptr, nullptr, GarbledSetNetworkReply(),
        StatusFailed },
    { "reply with a payload", true, "", "", "", "", 0, 0, 2, nullptr, nullptr, nullptr, OnSetNetwork(wire::Ok, true),
        StatusFailed },
};

struct HttpCase
{
    const char* name;
    bool newAddress;
    bool newPort;
    int dhcp;
    HttpFaults faults;
    const char* password; // null: the device's
    int status;
};

HttpFaults OnNetBase(int status, bool notJson = false, bool neverAnswer = false)
{
    HttpFaults faults;
    faults.path = kNetBasePath;
    faults.status = status;
    faults.notJson = notJson;
    faults.neverAnswer = neverAnswer;
    return faults;
}

const HttpCase kHttpCases[] = {
    { "static address and port", true, true, 2, HttpFaults(), nullptr, StatusOk },
    { "dhcp", true, false, 0, HttpFaults(), nullptr, StatusOk },
    { "refused", true, true, 2, OnNetBase(500), nullptr, StatusFailed },
    { "reply not json", true, false, 2, OnNetBase(0, true), nullptr, StatusFailed },
    { "no answer", true, false, 2, OnNetBase(0, false, true), nullptr, StatusFailed },
    { "wrong password", true, false, 2, HttpFaults(), "wrong", StatusConnectFailed },
};

struct OnvifCase
{
    const char* name;
    bool queryFirst; // the settings' ONVIF time-out flag
    bool newGateway; // else the gateway text is empty
    int dhcp;
    const char* faulted; // an operation the device answers with fault, or null
    fakedevice::OnvifReply (*fault)();
    const char* password; // null: the device's
    int status;
};

const char* const kReadGateway = "GetNetworkDefaultGateway";
const char* const kSetInterfaces = "SetNetworkInterfaces";

const OnvifCase kOnvifCases[] = {
    { "address, mask, gateway and port", true, true, 2, nullptr, nullptr, nullptr, StatusOk },
    { "without reading first, no gateway", false, false, 2, nullptr, nullptr, nullptr, StatusOk },
    { "dhcp", true, true, 0, nullptr, nullptr, nullptr, StatusOk },
    { "read refused", true, true, 2, kReadGateway, &OnvifRefusal, nullptr, StatusFailed },
    { "read reply does not parse", true, true, 2, kReadGateway, &OnvifGarble, nullptr, StatusFailed },
    { "change refused", true, true, 2, kSetInterfaces, &OnvifRefusal, nullptr, StatusFailed },
    { "change reply does not parse", true, true, 2, kSetInterfaces, &OnvifGarble, nullptr, StatusFailed },
    { "change not answered", false, true, 2, kSetInterfaces, &OnvifTooLate, nullptr, StatusFailed },
    { "wrong password", true, true, 2, nullptr, nullptr, "wrong", StatusConnectFailed },
};

// A blocked GUI thread waits out a network time-out (3 s and more). Under the
// sanitizers the 200 devices' threads crowd it out for a few hundred ms.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr qint64 kLongestGuiGapMs = 2500;
#else
constexpr qint64 kLongestGuiGapMs = 1000;
#endif

bool SameRecord(const SearchDevRsp& a, const SearchDevRsp& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

// Both pages hear, on the GUI thread, that the device is done. The change
// itself tells the search page its success flag (whole row or status cell);
// after a JSON login the dispatch then logs out and tells both pages again.
void CheckBothPagesDone(const ReportLog& log, int status, bool changeRan, bool thenDispatch)
{
    QStringList pages;
    if (changeRan)
        pages << "search"
              << "device info";
    if (thenDispatch)
        pages << "search"
              << "device info";
    QCOMPARE(log.Pages(), pages);
    const QVector<TaskReport> reports = log.Reports();
    for (int i = 0; i < reports.size(); ++i) {
        const TaskReport& report = reports[i];
        QVERIFY(report.finished);
        QVERIFY(report.onGuiThread);
        QCOMPARE(report.status, status);
        const bool fromChange = changeRan && i < 2;
        if (report.page == "search")
            QCOMPARE(report.wholeRow, fromChange ? int(status == StatusOk) : -1);
        if (!fromChange)
            QVERIFY(!report.loggedIn);
    }
}

fakedevice::Bytes LastSetNetworkRecord(const FakeDevice& device)
{
    fakedevice::Bytes record;
    for (const fakedevice::Received& received : device.ReceivedRequests()) {
        if (received.type == wire::SetNetwork && received.payload.size() == 840)
            record.assign(received.payload.begin() + 96, received.payload.end());
    }
    return record;
}
} // namespace

class TestNetworkChange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void bySdk_data();
    void bySdk();
    void byHttp_data();
    void byHttp();
    void byOnvif_data();
    void byOnvif();
    void manyDevicesAtOnce();

private:
    std::unique_ptr<OperationEnvironment> m_environment;
    ReportLog m_log;
    std::unique_ptr<RecordingSearchListener> m_search;
    std::unique_ptr<RecordingListener> m_deviceInfo;
};

void TestNetworkChange::initTestCase()
{
    m_environment = std::make_unique<OperationEnvironment>();
    m_search = std::make_unique<RecordingSearchListener>(m_log, QStringLiteral("search"));
    m_deviceInfo = std::make_unique<RecordingListener>(m_log, QStringLiteral("device info"));
}

void TestNetworkChange::init()
{
    ZVAppSetting::Instance()->m_company = 0;
    m_log.Clear();
}

void TestNetworkChange::cleanupTestCase()
{
    m_environment.reset();
}

void TestNetworkChange::bySdk_data()
{
    AddCaseRows(kSdkCases);
}

void TestNetworkChange::bySdk()
{
    QFETCH(int, index);
    const SdkCase& c = kSdkCases[index];
    const std::string address = OperationEnvironment::Address(10 + index);
    const std::string newAddress = OperationEnvironment::Address(100 + index);
    FakeDevice fake(fakedevice::LoopbackDeviceState(address, index + 1));
    QVERIFY(fake.WaitListening());
    fake.SetFaults(c.faults);
    const DeviceState before = fake.State();
    std::unique_ptr<DeviceInfo> device(ListedDevice(before));
    device->m_pSearchFrame = m_search.get();
    device->m_pDeviceInfoFrame = m_deviceInfo.get();
    if (c.user)
        device->m_user = QString::fromLatin1(c.user);
    if (c.password)
        device->m_password = QString::fromLatin1(c.password);
    const QString newIp = c.newIpText ? QString::fromLatin1(c.newIpText)
        : c.newAddress                ? QString::fromStdString(newAddress)
                                      : QString();
    device->SetNetworkParams(newIp, c.mediaPort, c.webPort, QString::fromLatin1(c.gateway),
        QString::fromLatin1(c.netmask), c.dhcp, QString::fromLatin1(c.dns1), QString::fromLatin1(c.dns2));
    const SearchDevRsp listed = device->m_searchRsp;

    QVERIFY(RunOperation(&ModifyNetworkTask, device.get(), m_log));

    CheckBothPagesDone(m_log, c.status, true, false);
    QCOMPARE(int(device->m_status), c.status);
    QCOMPARE(fake.CountReceived(wire::Login), 0); // no connection
    QCOMPARE(fake.CountReceived(wire::SetNetwork), c.faults.noAnswer ? 0 : 1);

    if (c.faults.noAnswer)
        QCOMPARE(fake.State().ip, before.ip);
    if (!c.faults.noAnswer) {
        // What the device was asked, field by field.
        const auto sent = RecordFrom<ZVNetNewDevInfo>(LastSetNetworkRecord(fake));
        QCOMPARE(QByteArray(sent.version), QByteArray("12"));
        QCOMPARE(QByteArray(sent.userName), device->m_user.toLatin1().left(63));
        QCOMPARE(int(sent.userName[63]), 0);
        QCOMPARE(QByteArray(sent.mac), QByteArray::fromStdString(before.mac));
        QCOMPARE(sent.deviceTypeCode, before.deviceTypeCode);
        QCOMPARE(int(sent.flag225), 1);
        QCOMPARE(int(sent.networkMode), c.dhcp);
        QCOMPARE(sent.mediaPort, uint32_t(device->m_newMediaPort));
        QCOMPARE(sent.webPort, uint32_t(device->m_newWebPort));
        unsigned char current[4];
        QVERIFY(ParseDottedQuadBytes(before.ip.c_str(), current));
        QVERIFY(std::memcmp(sent.currentIp, current, 4) == 0);
        if (c.newIpText)
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(sent.newIp), 4), QByteArray(4, '\0'));
    }

    if (c.status != StatusOk) {
        QVERIFY(SameRecord(device->m_searchRsp, listed));
        return;
    }
    // The device applied it, and the list shows it.
    const DeviceState after = fake.State();
    const QString ip = newIp.isEmpty() ? QString::fromStdString(before.ip) : newIp;
    QCOMPARE(QString::fromStdString(after.ip), ip);
    QCOMPARE(device->Ip(), ip);
    QCOMPARE(QString::fromStdString(after.netmask), device->m_newNetmask);
    QCOMPARE(device->Netmask(), device->m_newNetmask);
    QCOMPARE(QString::fromStdString(after.gateway), device->m_newGateway);
    QCOMPARE(device->Gateway(), device->m_newGateway);
    QCOMPARE(QString::fromStdString(after.dns1), device->m_newDns1.isEmpty() ? "0.0.0.0" : device->m_newDns1);
    QCOMPARE(FieldText(device->m_searchRsp.dns1), device->m_newDns1);
    QCOMPARE(FieldText(device->m_searchRsp.dns2), device->m_newDns2);
    QCOMPARE(after.mediaPort, device->m_newMediaPort);
    QCOMPARE(device->m_searchRsp.mediaPort, uint32_t(device->m_newMediaPort));
    QCOMPARE(after.webPort, device->m_newWebPort);
    QCOMPARE(device->m_searchRsp.webPort, uint32_t(device->m_newWebPort));
    QCOMPARE(int(after.networkMode), c.dhcp);
    QCOMPARE(int(device->m_searchRsp.networkMode), c.dhcp);

    // It answers at its new address and port, which the list now names.
    QVERIFY(fake.WaitListening());
    m_log.Clear();
    device->m_pSearchFrame = nullptr;
    QVERIFY(RunOperation(&QueryVersionTask, device.get(), m_log));
    QCOMPARE(int(device->m_status), int(StatusQueryOk));
    QCOMPARE(device->m_deviceVersionText, QString::fromStdString(before.deviceVersion));
}

void TestNetworkChange::byHttp_data()
{
    AddCaseRows(kHttpCases);
}

void TestNetworkChange::byHttp()
{
    QFETCH(int, index);
    const HttpCase& c = kHttpCases[index];
    ZVAppSetting::Instance()->m_company = 44;
    FakeHttpApi::Options options;
    options.ip = OperationEnvironment::Address(60 + index);
    FakeHttpApi api(fakedevice::HttpDeviceState(), options);
    QVERIFY(api.Listening());
    const uint16_t port = api.Port();
    api.SetFaults(c.faults);
    std::unique_ptr<DeviceInfo> device(ListedHttpDevice(api));
    device->m_pSearchFrame = m_search.get();
    device->m_pDeviceInfoFrame = m_deviceInfo.get();
    if (c.password)
        device->m_password = QString::fromLatin1(c.password);
    const QString newIp = QString::fromStdString(OperationEnvironment::Address(120 + index));
    const quint16 newPort = c.newPort ? static_cast<quint16>(port == 65535 ? 1025 : port + 1) : 0;
    device->SetNetworkParams(newIp, 0, newPort, QStringLiteral("127.0.0.1"), QStringLiteral("255.255.0.0"), c.dhcp,
        QStringLiteral("127.0.0.53"), QString());
    QCOMPARE(device->m_newHttpPort, int(c.newPort ? newPort : port));
    const SearchDevRsp listed = device->m_searchRsp;

    QVERIFY(RunOperation(&ModifyNetworkTask, device.get(), m_log, 30000));

    const bool connected = c.status != StatusConnectFailed;
    QTRY_COMPARE(m_log.Count(), connected ? 4 : 2);
    CheckBothPagesDone(m_log, c.status, connected, true);
    QCOMPARE(int(device->m_status), c.status);
    QVERIFY(!device->m_sdkDevice);
    if (c.status == StatusConnectFailed) {
        QCOMPARE(api.CountRequests(kNetBasePath), 0);
        return;
    }

    // The request as the device received it.
    fakedevice::HttpExchange exchange;
    QVERIFY(api.LastExchange(kNetBasePath, exchange));
    Json::Value body;
    Json::CharReaderBuilder builder;
    std::string errors;
    QVERIFY(ParseJsonText(builder, exchange.request.body, body, errors));
    QCOMPARE(body["version"].asString(), std::string("1.0"));
    const Json::Value& wan = body["data"]["wan"];
    QCOMPARE(wan["ip_address"].asString(), newIp.toStdString());
    QVERIFY(wan["dhcp"].isBool());
    QCOMPARE(wan["dhcp"].asBool(), c.dhcp == 0);
    QCOMPARE(wan["subnet_mask"].asString(), std::string("255.255.0.0"));
    QCOMPARE(wan["gateway"].asString(), std::string("127.0.0.1"));
    QCOMPARE(wan["dns1"].asString(), std::string("127.0.0.53"));
    QCOMPARE(wan["dns2"].asString(), std::string());
    const Json::Value& ports = body["data"]["port"];
    QCOMPARE(ports.size(), Json::ArrayIndex(1));
    QCOMPARE(ports[0]["service"].asString(), std::string("Web"));
    QCOMPARE(ports[0]["protocol"].asString(), std::string("TCP"));
    QCOMPARE(ports[0]["internal_port"].asInt(), device->m_newHttpPort);
    QCOMPARE(ports[0]["external_port"].asInt(), 80);

    if (c.status != StatusOk) {
        QVERIFY(SameRecord(device->m_searchRsp, listed));
        QCOMPARE(api.Ip(), options.ip);
        QCOMPARE(api.State().netmask, fakedevice::HttpDeviceState().netmask);
        return;
    }
    // The list keeps the address it found the device at, and takes the rest.
    QCOMPARE(device->Ip(), QString::fromStdString(options.ip));
    QCOMPARE(device->m_searchRsp.webPort, uint32_t(port)); // the port the login reported
    QCOMPARE(device->Netmask(), QStringLiteral("255.255.0.0"));
    QCOMPARE(device->Gateway(), QStringLiteral("127.0.0.1"));
    QCOMPARE(FieldText(device->m_searchRsp.dns1), QStringLiteral("127.0.0.53"));
    QCOMPARE(int(device->m_searchRsp.networkMode), c.dhcp == 0 ? 0 : 2);

    // The device serves where it was told: under DHCP it keeps its address.
    const fakedevice::HttpDeviceState state = api.State();
    QCOMPARE(state.dhcp, c.dhcp == 0);
    QCOMPARE(state.netmask, std::string("255.255.0.0"));
    QCOMPARE(state.dns1, std::string("127.0.0.53"));
    const std::string servedAt = c.dhcp == 0 ? options.ip : newIp.toStdString();
    QTRY_COMPARE(api.Ip(), servedAt);
    QTRY_VERIFY(api.Listening());
    QCOMPARE(api.Port(), c.newPort ? newPort : port);
    HttpClient probe;
    QVERIFY(probe.PostJson(api.Base(false) + "/API/Login/Range{\"version\":\"1.0\"}"));
}

void TestNetworkChange::byOnvif_data()
{
    AddCaseRows(kOnvifCases);
}

void TestNetworkChange::byOnvif()
{
    QFETCH(int, index);
    const OnvifCase& c = kOnvifCases[index];
    ZVAppSetting::Instance()->m_onvifTimeoutSet = c.queryFirst;
    fakedevice::OnvifState state = fakedevice::OnvifStateFor(OperationEnvironment::Address(30 + index), index + 1);
    state.webPort = static_cast<uint16_t>(18300 + index);
    state.gateway = "127.0.0.9";
    fakedevice::FakeOnvif onvif(state);
    QVERIFY(onvif.WaitListening());
    if (c.faulted) {
        fakedevice::OnvifFaults faults;
        faults.replies[c.faulted] = c.fault();
        onvif.SetFaults(faults);
    }
    std::unique_ptr<DeviceInfo> device(ListedOnvifDevice(state));
    device->m_pSearchFrame = m_search.get();
    if (c.password)
        device->m_password = QString::fromLatin1(c.password);
    const QString newIp = QString::fromStdString(OperationEnvironment::Address(150 + index));
    const quint16 newPort = static_cast<quint16>(18400 + index);
    device->SetNetworkAddress(newIp, 0, newPort, QStringLiteral("127.0.0.1"), QStringLiteral("255.255.0.0"), c.dhcp);
    if (!c.newGateway)
        device->m_newGateway.clear();
    const SearchDevRsp listed = device->m_searchRsp;

    QVERIFY(RunOperation(&ModifyOnvifNetworkTask, device.get(), m_log));
    ZVAppSetting::Instance()->m_onvifTimeoutSet = false;

    QCOMPARE(m_log.Pages(), QStringList({ "search" }));
    QVERIFY(m_log.Reports()[0].finished);
    QCOMPARE(m_log.Reports()[0].status, c.status);
    QCOMPARE(int(device->m_status), c.status);
    QCOMPARE(device->m_handle, 0);
    // The settings are read first only when the flag asks for it (the
    // gateway is read by nothing else).
    const bool read = c.status != StatusConnectFailed && c.queryFirst;
    QCOMPARE(onvif.CountRequests("GetNetworkDefaultGateway") > 0, read);
    if (c.status != StatusOk) {
        QVERIFY(SameRecord(device->m_searchRsp, listed));
        QCOMPARE(onvif.State().ip, state.ip);
        if (c.status == StatusConnectFailed || c.faulted == kReadGateway)
            QCOMPARE(onvif.CountRequests(kSetInterfaces), 0);
        if (c.faulted == kSetInterfaces)
            QVERIFY(onvif.CountRequests(kSetInterfaces) > 0);
        return;
    }

    // The list shows what was sent.
    QCOMPARE(device->Ip(), newIp);
    QCOMPARE(device->Netmask(), QStringLiteral("255.255.0.0"));
    QCOMPARE(device->Gateway(), c.newGateway ? QStringLiteral("127.0.0.1") : FieldText(listed.gateway));
    QCOMPARE(device->m_searchRsp.webPort, uint32_t(newPort));
    QCOMPARE(int(device->m_searchRsp.networkMode), c.dhcp);
    // DNS and the media port are not the ONVIF change's.
    QCOMPARE(FieldText(device->m_searchRsp.dns1), FieldText(listed.dns1));
    QCOMPARE(device->m_searchRsp.mediaPort, listed.mediaPort);

    // The device took its port; under DHCP its address and gateway are its
    // server's business.
    QTRY_COMPARE(onvif.State().webPort, newPort);
    QCOMPARE(onvif.State().dhcp, c.dhcp == 0);
    if (c.dhcp == 0) {
        QCOMPARE(onvif.State().ip, state.ip);
        return;
    }
    QTRY_COMPARE(onvif.State().ip, newIp.toStdString());
    QCOMPARE(onvif.State().prefixLength, 16);
    QCOMPARE(onvif.State().gateway, std::string(c.newGateway ? "127.0.0.1" : "127.0.0.9"));

    // It answers at its new address and port.
    QVERIFY(onvif.WaitListening());
    m_log.Clear();
    QVERIFY(RunOperation(&QueryNetworkTask, device.get(), m_log));
    QCOMPARE(int(device->m_status), int(StatusQueryOk));
    QCOMPARE(device->Ip(), newIp);
}

// A batch as the search page queues it: every device's task at once on the
// program's pool. Each device ends at its new address with its status set,
// and the GUI thread keeps turning all along.
void TestNetworkChange::manyDevicesAtOnce()
{
    constexpr int kCount = 200;
    std::vector<std::string> addresses, newAddresses;
    for (int i = 1; i <= kCount; ++i) {
        addresses.push_back(fakedevice::UniqueLoopbackPrefix(0) + std::to_string(i));
        newAddresses.push_back(fakedevice::UniqueLoopbackPrefix(1) + std::to_string(i));
    }
    auto fakes = fakedevice::MakeDevices(addresses);
    for (const auto& fake : fakes)
        QVERIFY(fake->WaitListening());
    std::vector<std::unique_ptr<DeviceInfo>> devices;
    for (int i = 0; i < kCount; ++i) {
        devices.emplace_back(ListedDevice(fakes[i]->State()));
        devices.back()->m_pSearchFrame = m_search.get();
        devices.back()->SetNetworkParams(
            QString::fromStdString(newAddresses[i]), 0, 0, QString(), QString(), 2, QString(), QString());
    }

    // The longest time the GUI thread went without running its timer.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
    TaskPool pool(0);
    QElapsedTimer batch;
    batch.start();
    sinceTick.start();
    ticker.start();
    for (const auto& device : devices)
        QVERIFY(pool.AddTask(&ModifyNetworkTask, device.get(), false));
    QTRY_COMPARE_WITH_TIMEOUT(m_log.Count(), kCount, 45000);
    ticker.stop();
    qDebug() << "network change of" << kCount << "devices:" << batch.elapsed() << "ms; longest GUI gap" << longestGap
             << "ms";

    QSet<DeviceInfo*> reported;
    for (const TaskReport& report : m_log.Reports()) {
        QVERIFY(report.finished);
        QVERIFY(report.onGuiThread);
        QCOMPARE(report.status, int(StatusOk));
        reported.insert(report.device);
    }
    QCOMPARE(reported.size(), kCount);
    for (int i = 0; i < kCount; ++i) {
        QCOMPARE(int(devices[i]->m_status), int(StatusOk));
        QCOMPARE(devices[i]->Ip(), QString::fromStdString(newAddresses[i]));
        QCOMPARE(fakes[i]->State().ip, newAddresses[i]);
        QVERIFY(fakes[i]->WaitListening());
    }
    QVERIFY2(longestGap < kLongestGuiGapMs, qPrintable(QStringLiteral("GUI thread blocked for %1 ms").arg(longestGap)));

    // Devices stop in parallel: each waits for its own I/O thread.
    std::vector<std::thread> stoppers;
    for (int part = 0; part < 8; ++part) {
        stoppers.emplace_back([&fakes, part] {
            for (size_t i = part; i < fakes.size(); i += 8)
                fakes[i].reset();
        });
    }
    for (std::thread& stopper : stoppers)
        stopper.join();
}

QTEST_GUILESS_MAIN(TestNetworkChange)
#include "tst_networkchange.moc"
