// The small SDK operations run end to end against the fake device: factory
// information and key, PTZ defaults, NTP, the version query and match, and
// the change of a device's name and type; each checked on the device and in
// the status the list shows.

#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "OperationFixtures.h"

using fakedevice::Bytes;
using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::Faults;
using namespace TestSupport;
namespace wire = fakedevice::wire;

namespace
{
using Prepare = void (*)(DeviceInfo&);
using Check = void (*)(const FakeDevice&, const DeviceInfo&, const DeviceState& before);

struct DirectCase
{
    const char* name;
    void (*entry)(void*);
    DeviceTaskListener* DeviceInfo::*page;
    int company;
    Faults faults;
    Prepare prepare; // may be null
    int status;
    Check check; // may be null
};

Faults Reply(uint16_t type, uint32_t status)
{
    Faults faults;
    faults.faultType = type;
    faults.replyStatus = status;
    return faults;
}

Faults Truncated(uint16_t type)
{
    Faults faults;
    faults.faultType = type;
    faults.truncatedReply = true;
    return faults;
}

// A reply to requests of type that the device breaks the way fault says.
Faults Broken(uint16_t type, bool Faults::*fault)
{
    Faults faults;
    faults.faultType = type;
    faults.*fault = true;
    return faults;
}

Faults Silent()
{
    Faults faults;
    faults.noAnswer = true;
    return faults;
}

// The blocks of the SET_PARAM_EX requests the device received with this id.
std::vector<Bytes> WrittenBlocks(const FakeDevice& fake, uint32_t blockId)
{
    std::vector<Bytes> blocks;
    for (const fakedevice::Received& received : fake.ReceivedRequests()) {
        if (received.type == wire::SetParamEx && received.payload.size() >= 16
            && wire::U32(received.payload.data() + 4) == blockId)
            blocks.emplace_back(received.payload.begin() + 16, received.payload.end());
    }
    return blocks;
}

void NamedFactoryBlock(DeviceInfo& device, const QString& keyId, const QString& boardId)
{
    ZVNetFactoryInfo block;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    block.changeMask = ZVNET_FACTORY_DEVICE_NAME | ZVNET_FACTORY_DEVICE_TYPE;
    std::strcpy(block.deviceName, "Lobby");
    std::strcpy(block.deviceType, "ZV-DOME");
    device.SetFactoryInfo(&block);
    device.SetKeyIdAndBoardId(keyId, boardId);
}

void CheckKey(const FakeDevice& fake, uint32_t keyId, const QByteArray& board)
{
    const std::vector<Bytes> keys = WrittenBlocks(fake, ZVNET_BLOCK_FACTORY_KEY);
    QCOMPARE(keys.size(), size_t(1));
    const auto key = RecordFrom<ZVNetFactoryKeyParam>(keys[0]);
    QCOMPARE(key.size, uint32_t(sizeof(key)));
    QCOMPARE(key.keyId, keyId);
    QCOMPARE(QByteArray(key.boardId, sizeof(key.boardId)), board.leftJustified(16, '\0'));
    QCOMPARE(int(key.flag24), 255);
    // The device keeps it.
    QCOMPARE(fake.State().params.at(ZVNET_BLOCK_FACTORY_KEY), keys[0]);
}

void CheckFactoryBlockOnly(const FakeDevice& fake)
{
    QCOMPARE(WrittenBlocks(fake, ZVNET_BLOCK_FACTORY_INFO).size(), size_t(1));
    QCOMPARE(WrittenBlocks(fake, ZVNET_BLOCK_FACTORY_KEY).size(), size_t(0));
}

void CheckNamed(const FakeDevice& fake)
{
    QCOMPARE(fake.State().deviceName, std::string("Lobby"));
    QCOMPARE(fake.State().deviceType, std::string("ZV-DOME"));
}

uint8_t NtpByte(const FakeDevice& fake)
{
    return fake.State().params.at(ZVNET_PARAM_DATETIME)[offsetof(ZVNetDateTimeParam, ntpEnable)];
}

void CheckUnchangedName(const FakeDevice& fake, const DeviceInfo&, const DeviceState& before)
{
    QCOMPARE(fake.State().deviceName, before.deviceName);
    QCOMPARE(fake.State().deviceType, before.deviceType);
}

DeviceTaskListener* DeviceInfo::*const kInfoPage = &DeviceInfo::m_pDeviceInfoFrame;
DeviceTaskListener* DeviceInfo::*const kUpgradePage = &DeviceInfo::m_pUpgradeFrame;
DeviceTaskListener* DeviceInfo::*const kChangePage = &DeviceInfo::m_pChangeDevice;
const std::string kLongVersion(600, 'V');

const DirectCase kCases[] = {
    // Factory information and its key.
    { "factory key with blanks, no board", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QStringLiteral("  1a2b "), QString()); }, StatusOk,
        [](const FakeDevice& fake, const DeviceInfo& device, const DeviceState&) {
            CheckNamed(fake);
            CheckKey(fake, 6699, QByteArray());
            QCOMPARE(device.m_keyId, QStringLiteral("1a2b"));
        } },
    { "board without key id", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QString(), QStringLiteral("B1")); }, StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            CheckNamed(fake);
            CheckFactoryBlockOnly(fake);
        } },
    { "key id not hexadecimal", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QStringLiteral("xyz"), QStringLiteral("B2")); }, StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) { CheckKey(fake, 0, "B2"); } },
    { "board id cut to 16 bytes", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QStringLiteral("FF"), QStringLiteral("ABCDEFGHIJKLMNOPQRS")); },
        StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            CheckKey(fake, 0xff, "ABCDEFGHIJKLMNOP");
        } },
    { "board id cut between characters", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QStringLiteral("1"), QStringLiteral("ABCDEFGHIJKLMNO\u00e9")); },
        StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) { CheckKey(fake, 1, "ABCDEFGHIJKLMNO"); } },
    { "no key id and no board id", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QStringLiteral(" "), QString()); }, StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            CheckNamed(fake);
            CheckFactoryBlockOnly(fake);
        } },
    { "factory texts end inside their fields", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) {
            NamedFactoryBlock(d, QString(), QStringLiteral("B1"));
            ZVNetFactoryInfo block = d.m_paramBlock;
            std::memset(block.deviceName, 'N', sizeof(block.deviceName));
            d.SetFactoryInfo(&block);
        },
        StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(fake.State().deviceName, std::string(31, 'N'));
        } },
    { "factory block refused", &SetFactoryInfoTask, kInfoPage, 0, Reply(wire::SetParamEx, wire::Refused),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QStringLiteral("1a2b"), QStringLiteral("B1")); }, StatusFailed,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(WrittenBlocks(fake, ZVNET_BLOCK_FACTORY_KEY).size(), size_t(0));
        } },
    { "factory block reply garbled", &SetFactoryInfoTask, kInfoPage, 0, Broken(wire::SetParamEx, &Faults::badMagic),
        [](DeviceInfo& d) { NamedFactoryBlock(d, QString(), QStringLiteral("B1")); }, StatusFailed, nullptr },
    { "factory info, wrong password", &SetFactoryInfoTask, kInfoPage, 0, Faults(),
        [](DeviceInfo& d) {
            NamedFactoryBlock(d, QStringLiteral("1a2b"), QString());
            d.m_password = QStringLiteral("wrong");
        },
        StatusConnectFailed, &CheckUnchangedName },

    // PTZ defaults.
    { "ptz defaults", &PTZDefaultTask, kInfoPage, 0, Faults(), nullptr, StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) { QCOMPARE(fake.State().ptzDefaults, 1); } },
    { "ptz defaults refused", &PTZDefaultTask, kInfoPage, 0, Reply(wire::Ptz, wire::Refused), nullptr, StatusFailed,
        nullptr },
    { "ptz defaults, closed instead of a reply", &PTZDefaultTask, kInfoPage, 0,
        Broken(wire::Ptz, &Faults::dropBeforeReply), nullptr, StatusFailed, nullptr },
    { "ptz defaults, no answer", &PTZDefaultTask, kInfoPage, 0, Silent(), nullptr, StatusConnectFailed,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) { QCOMPARE(fake.State().ptzDefaults, 0); } },

    // NTP.
    { "ntp on", &EnableNTPTask, kInfoPage, 0, Faults(), nullptr, StatusOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(int(NtpByte(fake)), 1);
            // The rest of the block goes back as the device gave it.
            const auto stored = RecordFrom<ZVNetDateTimeParam>(fake.State().params.at(ZVNET_PARAM_DATETIME));
            QCOMPARE(int(stored.year), 26);
            QCOMPARE(int(stored.hour), 12);
        } },
    { "ntp query answers 2", &EnableNTPTask, kInfoPage, 0, Reply(wire::QueryBlock, wire::Result2), nullptr,
        StatusFailed,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(fake.CountReceived(wire::SetParam), 0);
            QCOMPARE(int(NtpByte(fake)), 0);
        } },
    { "ntp set answers 2", &EnableNTPTask, kInfoPage, 0, Reply(wire::SetParam, wire::Result2), nullptr, StatusFailed,
        nullptr },
    { "ntp query reply cut", &EnableNTPTask, kInfoPage, 0, Truncated(wire::QueryBlock), nullptr, StatusFailed,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(fake.CountReceived(wire::SetParam), 0);
        } },

    // Version query and match.
    { "version", &QueryVersionTask, kUpgradePage, 0, Faults(), nullptr, StatusQueryOk,
        [](const FakeDevice&, const DeviceInfo& device, const DeviceState& before) {
            QCOMPARE(device.m_deviceVersionText, QString::fromStdString(before.deviceVersion));
        } },
    { "version filling its field", &QueryVersionTask, kUpgradePage, 0, Faults(), nullptr, StatusQueryOk,
        [](const FakeDevice&, const DeviceInfo& device, const DeviceState&) {
            QCOMPARE(device.m_deviceVersionText, QString(int(sizeof(ZVNetVersionParam::version)), 'V'));
        } },
    { "version query refused", &QueryVersionTask, kUpgradePage, 0, Reply(wire::QueryBlock, wire::Refused), nullptr,
        StatusQueryFailed,
        [](const FakeDevice&, const DeviceInfo& device, const DeviceState&) {
            QVERIFY(device.m_deviceVersionText.isEmpty());
        } },
    { "version reply garbled", &QueryVersionTask, kUpgradePage, 0, Broken(wire::QueryBlock, &Faults::badMagic), nullptr,
        StatusQueryFailed, nullptr },
    { "version reply cut", &QueryVersionTask, kUpgradePage, 0, Truncated(wire::QueryBlock), nullptr, StatusQueryFailed,
        nullptr },
    { "version match", &MatchVersionTask, kUpgradePage, 0, Faults(), nullptr, StatusConnected,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(fake.CountReceived(wire::Login), 1);
            QCOMPARE(fake.CountReceived(wire::QueryBlock), 0);
        } },

    // Name and type.
    { "name and type", &ChangeDeviceTask, kChangePage, 0, Faults(),
        [](DeviceInfo& d) {
            d.SetDeviceNameType(d.m_user, d.m_password, QStringLiteral("Gate"), QStringLiteral("ZV-BOX"));
        },
        StatusChangeOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(fake.State().deviceName, std::string("Gate"));
            QCOMPARE(fake.State().deviceType, std::string("ZV-BOX"));
            const auto sent = RecordFrom<ZVNetFactoryInfo>(WrittenBlocks(fake, ZVNET_BLOCK_FACTORY_INFO).at(0));
            QCOMPARE(sent.changeMask, uint32_t(ZVNET_FACTORY_DEVICE_NAME | ZVNET_FACTORY_DEVICE_TYPE));
        } },
    { "type only, customer 40", &ChangeDeviceTask, kChangePage, 40, Faults(),
        [](DeviceInfo& d) { d.SetDeviceNameType(d.m_user, d.m_password, QString(), QStringLiteral("ZV-BOX")); },
        StatusChangeOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState& before) {
            QCOMPARE(fake.State().deviceName, before.deviceName);
            QCOMPARE(fake.State().deviceType, std::string("ZV-BOX"));
            const auto sent = RecordFrom<ZVNetFactoryInfo>(WrittenBlocks(fake, ZVNET_BLOCK_FACTORY_INFO).at(0));
            QCOMPARE(sent.changeMask, uint32_t(ZVNET_FACTORY_DEVICE_TYPE));
            QCOMPARE(sent.deviceName[0], '\0');
        } },
    { "long name cut to its field", &ChangeDeviceTask, kChangePage, 0, Faults(),
        [](DeviceInfo& d) { d.SetDeviceNameType(d.m_user, d.m_password, QString(40, 'n'), QString()); }, StatusChangeOk,
        [](const FakeDevice& fake, const DeviceInfo&, const DeviceState&) {
            QCOMPARE(fake.State().deviceName, std::string(31, 'n'));
        } },
    { "name refused", &ChangeDeviceTask, kChangePage, 0, Reply(wire::SetParamEx, wire::Refused),
        [](DeviceInfo& d) { d.SetDeviceNameType(d.m_user, d.m_password, QStringLiteral("Gate"), QString()); },
        StatusChangeFailed, nullptr },
    { "name, closed instead of a reply", &ChangeDeviceTask, kChangePage, 0,
        Broken(wire::SetParamEx, &Faults::dropBeforeReply),
        [](DeviceInfo& d) { d.SetDeviceNameType(d.m_user, d.m_password, QStringLiteral("Gate"), QString()); },
        StatusChangeFailed, nullptr },
    { "name, customer 22", &ChangeDeviceTask, kChangePage, 22, Faults(),
        [](DeviceInfo& d) { d.SetDeviceNameType(d.m_user, d.m_password, QStringLiteral("Gate"), QString()); },
        StatusChangeUnsupported,
        [](const FakeDevice& fake, const DeviceInfo& device, const DeviceState& before) {
            CheckUnchangedName(fake, device, before);
            QCOMPARE(fake.CountReceived(wire::SetParamEx), 0);
        } },
};
} // namespace

class TestDirectOperations : public OperationTestCase
{
    Q_OBJECT

private slots:
    void operations_data();
    void operations();
    void changeDeviceUnderHttpCustomer();
    void onvifNetworkQuery_data();
    void onvifNetworkQuery();
};

void TestDirectOperations::operations_data()
{
    AddCaseRows(kCases);
}

void TestDirectOperations::operations()
{
    int index = 0;
    const DirectCase& c = CaseOfRow(kCases, &index);
    DeviceState state = fakedevice::LoopbackDeviceState(OperationEnvironment::Address(10 + index), index + 1);
    if (std::strcmp(c.name, "version filling its field") == 0)
        state.deviceVersion = kLongVersion;
    FakeDevice fake(state);
    QVERIFY(fake.WaitListening());
    const DeviceState before = fake.State();
    std::unique_ptr<DeviceInfo> device(ListedDevice(before));
    device.get()->*c.page = m_bench.page.get();
    if (c.prepare)
        c.prepare(*device);
    fake.SetFaults(c.faults);

    QVERIFY(RunOperation(c.entry, device.get(), m_log));

    const QVector<TaskReport> ends = EndReports(m_log);
    QCOMPARE(ends.size(), 1);
    QCOMPARE(ends[0].status, c.status);
    QVERIFY(ends[0].onGuiThread);
    // Direct operations end with their connection result; the change-device
    // worker reports a row refresh after the page heard it was queued, and
    // logs out after that.
    const bool worker = c.entry == &ChangeDeviceTask && c.status != StatusConnectFailed;
    if (!worker)
        QCOMPARE(ends[0].handle, 0);
    QCOMPARE(device->m_handle, 0);
    QCOMPARE(ends[0].finished, !worker);
    if (worker) {
        QCOMPARE(m_log.Count(), 2);
        QCOMPARE(m_log.Reports()[0].status, int(StatusChanging));
    } else {
        QCOMPARE(m_log.Count(), 1);
    }
    QCOMPARE(int(device->m_status), c.status);
    QVERIFY(!device->m_bLogin);
    QTRY_COMPARE(fake.LoggedInSessions(), 0);
    if (c.check)
        c.check(fake, *device, before);
}

// The change is for the maker SDK's devices only: under an HTTP-API customer
// the worker refuses it without a request.
void TestDirectOperations::changeDeviceUnderHttpCustomer()
{
    ZVAppSetting::Instance()->m_company = 43;
    FakeHttpApi::Options options;
    options.ip = OperationEnvironment::Address(90);
    FakeHttpApi api(fakedevice::HttpDeviceState(), options);
    QVERIFY(api.Listening());
    std::unique_ptr<DeviceInfo> device(ListedHttpDevice(api));
    device->m_pChangeDevice = m_bench.page.get();
    device->SetDeviceNameType(device->m_user, device->m_password, QStringLiteral("Gate"), QString());

    QVERIFY(RunOperation(&ChangeDeviceTask, device.get(), m_log));
    const QVector<TaskReport> ends = EndReports(m_log);
    QCOMPARE(ends.size(), 1);
    QCOMPARE(ends[0].status, int(StatusChangeUnsupported));
    QVERIFY(!ends[0].finished);
    QCOMPARE(int(device->m_status), int(StatusChangeUnsupported));
    QCOMPARE(device->m_paramBlock.changeMask, uint32_t(0));
    QVERIFY(!device->m_sdkDevice);
    // Logged in and out again, and nothing else asked.
    QCOMPARE(api.CountRequests("/API/Web/Login"), 1);
    QTRY_VERIFY(api.CountRequests("/API/Web/Logout") >= 1);
    for (const fakedevice::HttpExchange& exchange : api.Exchanges()) {
        const std::string& path = exchange.request.path;
        QVERIFY2(path == "/API/Login/Challenge" || path == "/API/Web/Login" || path == "/API/Web/Logout", path.c_str());
    }
}

void TestDirectOperations::onvifNetworkQuery_data()
{
    QTest::addColumn<QString>("faulted"); // an operation the device answers with fault
    QTest::addColumn<int>("fault"); // 0 refusal, 1 garble, 2 too late
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    QTest::newRow("query") << QString() << 0 << "admin123" << int(StatusQueryOk);
    QTest::newRow("interfaces refused") << "GetNetworkInterfaces" << 0 << "admin123" << int(StatusQueryFailed);
    QTest::newRow("gateway refused") << "GetNetworkDefaultGateway" << 0 << "admin123" << int(StatusQueryFailed);
    QTest::newRow("interfaces reply does not parse")
        << "GetNetworkInterfaces" << 1 << "admin123" << int(StatusQueryFailed);
    QTest::newRow("gateway not answered") << "GetNetworkDefaultGateway" << 2 << "admin123" << int(StatusQueryFailed);
    QTest::newRow("wrong password") << QString() << 0 << "wrong" << int(StatusConnectFailed);
}

// The search page reads an ONVIF device's network settings into its row.
void TestDirectOperations::onvifNetworkQuery()
{
    QFETCH(QString, faulted);
    QFETCH(int, fault);
    QFETCH(QString, password);
    QFETCH(int, status);
    fakedevice::OnvifState state = fakedevice::OnvifStateFor(OperationEnvironment::Address(95), 95);
    state.webPort = 18395;
    state.prefixLength = 16;
    state.gateway = "127.0.0.9";
    fakedevice::FakeOnvif onvif(state);
    QVERIFY(onvif.WaitListening());
    if (!faulted.isEmpty()) {
        fakedevice::OnvifFaults faults;
        faults.replies[faulted.toStdString()] = fault == 0 ? OnvifRefusal()
            : fault == 1                                   ? OnvifGarble()
                                                           : OnvifTooLate();
        onvif.SetFaults(faults);
    }
    std::unique_ptr<DeviceInfo> device(ListedOnvifDevice(state));
    device->m_pSearchFrame = m_bench.page.get();
    device->m_password = password;
    // What the search listed differs from what the device will say.
    device->m_searchRsp.webPort = state.webPort;
    device->m_searchRsp.networkMode = ZVNET_NET_MODE_DHCP;
    const SearchDevRsp listed = device->m_searchRsp;

    QVERIFY(RunOperation(&QueryNetworkTask, device.get(), m_log));
    QCOMPARE(m_log.Count(), 1);
    QVERIFY(m_log.Reports()[0].finished);
    QCOMPARE(int(device->m_status), status);
    QCOMPARE(device->m_handle, 0);
    if (status != StatusQueryOk) {
        QVERIFY(std::memcmp(&device->m_searchRsp, &listed, sizeof(listed)) == 0);
        return;
    }
    QCOMPARE(device->Ip(), QString::fromStdString(state.ip));
    QCOMPARE(device->Netmask(), QStringLiteral("255.255.0.0"));
    QCOMPARE(device->Gateway(), QStringLiteral("127.0.0.9"));
    QCOMPARE(device->m_searchRsp.webPort, uint32_t(state.webPort));
    QCOMPARE(int(device->m_searchRsp.networkMode), int(ZVNET_NET_MODE_STATIC));
}

QTEST_GUILESS_MAIN(TestDirectOperations)
#include "tst_directoperations.moc"
