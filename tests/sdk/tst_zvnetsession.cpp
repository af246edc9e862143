// ZVNet sessions against fake devices on loopback: connection outcomes, the
// calls on a connection checked on the device side, and what faults do.
#include "DeviceWire.h"
#include "SdkTestSupport.h"
#include "ZVSDKWrapper.h"
#include "ZVSdkConfig.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

using namespace sdktest;
using fakedevice::Bytes;
using fakedevice::DeviceState;
using fakedevice::FakeDevice;
using fakedevice::Faults;
namespace wire = fakedevice::wire;

namespace
{
const std::string kUser = "admin";
const std::string kPassword = "admin123";

struct Connection
{
    StatusCollector status;
    int handle = 0;
    ZVNetConnParam param {};

    Connection(const std::string& ip, const std::string& user, const std::string& password,
        uint16_t port = fakedevice::kDefaultTcpPort)
        : m_ip(ip)
        , m_user(user)
        , m_password(password)
    {
        param.ip = m_ip.c_str();
        param.port = port;
        param.userName = m_user.c_str();
        param.password = m_password.c_str();
        param.user = &status;
        param.statusCallback = &StatusCollector::Callback;
    }
    int Start()
    {
        handle = ZVNetConnectionStartEx(&param);
        status.StartReturned();
        return handle;
    }
    ~Connection()
    {
        if (handle)
            ZVNetConnectionStop(&handle);
    }

private:
    std::string m_ip, m_user, m_password;
};

// A connection that has logged in; the test fails to start when it cannot.
struct Session
{
    int handle = 0;
    explicit Session(const std::string& ip, const std::string& password = kPassword)
        : handle(Connect(ip, kUser, password))
    {
    }
    ~Session()
    {
        if (handle)
            ZVNetConnectionStop(&handle);
    }
};

// A device at Loopback(1), the SDK, and a connection logged in to the device.
struct Fixture
{
    std::unique_ptr<FakeDevice> device;
    SdkScope sdk;
    Session session;
    explicit Fixture(const std::function<void(DeviceState&)>& tweak = {}, int requestTimeoutMs = 2000)
        : device(StartDevice(1, tweak))
        , sdk({}, 400, 2000, requestTimeoutMs)
        , session(Loopback(1))
    {
    }
};

template <typename T> T Record(const Bytes& bytes, size_t index = 0)
{
    T r;
    std::memcpy(&r, bytes.data() + index * sizeof(T), sizeof(T));
    return r;
}

struct Collected
{
    std::mutex mutex;
    std::vector<Bytes> headers;
    std::vector<Bytes> items;
    std::thread::id thread;
    bool returned = false; // set by the test after the query returned
    bool lateCallback = false;

    template <size_t N> static void Header(const void* record, void* user)
    {
        static_cast<Collected*>(user)->Add(record, N, true);
    }
    template <size_t N> static void Item(const void* record, void* user)
    {
        static_cast<Collected*>(user)->Add(record, N, false);
    }
    void Add(const void* record, size_t size, bool header)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lateCallback = lateCallback || returned;
        thread = std::this_thread::get_id();
        const auto* p = static_cast<const uint8_t*>(record);
        (header ? headers : items).emplace_back(p, p + size);
    }
};

struct Upgrade
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<int, intptr_t>> reports;

    static void Callback(int code, const void* info, void* user)
    {
        auto* self = static_cast<Upgrade*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->reports.emplace_back(code, reinterpret_cast<intptr_t>(info));
        self->changed.notify_all();
    }
    bool WaitFinal(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
            [this]() { return !reports.empty() && reports.back().first != ZVNET_UPGRADE_PROGRESS; });
    }
    std::vector<std::pair<int, intptr_t>> Reports()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return reports;
    }
};

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

QByteArray Firmware(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131 + 7) & 0xFF);
    return data;
}

void SetIp(uint8_t* out, const std::string& text)
{
    inet_pton(AF_INET, text.c_str(), out);
}

ZVNetNewDevInfo NewDevInfo(const FakeDevice& device, const std::string& newIp, const std::string& password)
{
    const DeviceState s = device.State();
    ZVNetNewDevInfo info {};
    std::strcpy(info.version, "12");
    std::strncpy(info.userName, kUser.c_str(), sizeof info.userName - 1);
    std::strncpy(info.password, password.c_str(), sizeof info.password - 1);
    SetIp(info.currentIp, s.ip);
    SetIp(info.newIp, newIp);
    SetIp(info.netmask, "255.0.0.0");
    SetIp(info.gateway, "127.0.0.1");
    SetIp(info.dns1, "127.0.0.53");
    SetIp(info.dns2, "127.0.0.54");
    std::strncpy(info.mac, s.mac.c_str(), sizeof info.mac - 1);
    info.deviceTypeCode = s.deviceTypeCode;
    info.mediaPort = 9711;
    info.webPort = 8088;
    info.networkMode = ZVNET_NET_MODE_STATIC;
    info.flag225 = 1;
    return info;
}
} // namespace

class TestZVNetSession : public QObject
{
    Q_OBJECT

private slots:
    void connectionDeliversOneOutcome_data();
    void connectionDeliversOneOutcome();
    void failedStartIsReported_data();
    void failedStartIsReported();
    void noCallbackAfterStop();
    void callbacksMayCallTheLibrary();
    void zeroAndUnknownHandlesFail();
    void manyConnectionsAndCallsAtOnce();
    void devInfoIsTheDevicesOwn();
    void userQueryCallsBackDuringTheCall();
    void passwordChangeThroughUserRecords();
    void streamAndOsdRecordsRoundTrip();
    void blocksRoundTrip();
    void factoryBlocksChangeTheDevice();
    void deviceResultCodesPassThrough_data();
    void deviceResultCodesPassThrough();
    void ptzAndReboot();
    void exportImportRoundTrip();
    void upgradeReportsProgressAndOneFinalCode_data();
    void upgradeReportsProgressAndOneFinalCode();
    void stoppedUpgradeFallsSilent();
    void badRepliesFailCleanly_data();
    void badRepliesFailCleanly();
    void droppedLinkFailsLaterCalls();
    void alarmsUntilStop();
    void firstPassword_data();
    void firstPassword();
    void networkChangeMovesTheDevice();
    void networkChangeRefused_data();
    void networkChangeRefused();
    void otherFamiliesFailCleanly();
};

void TestZVNetSession::connectionDeliversOneOutcome_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("expected");
    QTest::newRow("logged in") << "ok" << int(ZVNET_STATUS_LOGIN_OK);
    QTest::newRow("wrong password") << "password" << int(ZVNET_STATUS_LOGIN_FAILED);
    QTest::newRow("unknown user") << "user" << int(ZVNET_STATUS_LOGIN_FAILED);
    QTest::newRow("no device") << "nodevice" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("device silent") << "silent" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("refused at once") << "refuse104" << int(ZVNET_STATUS_REFUSED);
    QTest::newRow("locked") << "login112" << int(ZVNET_STATUS_LOCKED);
    QTest::newRow("other device code") << "login106" << int(ZVNET_STATUS_ERROR_106);
    QTest::newRow("unknown device code") << "login999" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("success without proof") << "refuse101" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("challenge truncated") << "challengeShort" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("dropped before the challenge") << "challengeDrop" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("login result cut mid-frame") << "resultHalf" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("login result length above limit") << "resultHuge" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("device information truncated") << "devinfoShort" << int(ZVNET_STATUS_FAILED);
    QTest::newRow("device information never comes") << "devinfoSilent" << int(ZVNET_STATUS_FAILED);
}

void TestZVNetSession::connectionDeliversOneOutcome()
{
    QFETCH(QString, setup);
    QFETCH(int, expected);
    auto device = StartDevice(1);
    Faults f;
    if (setup == "silent") {
        f.noAnswer = true;
    } else if (setup.startsWith("refuse")) {
        f.refuseCode = setup.mid(6).toUInt();
    } else if (setup.startsWith("login")) {
        f.loginCode = setup.mid(5).toUInt();
    } else if (setup.startsWith("challenge")) {
        f.faultType = wire::Challenge;
        f.truncatedReply = setup.endsWith("Short");
        f.dropBeforeReply = setup.endsWith("Drop");
    } else if (setup.startsWith("result")) {
        f.faultType = wire::Login;
        f.dropMidReply = setup.endsWith("Half");
        f.hugeLength = setup.endsWith("Huge");
    } else if (setup.startsWith("devinfo")) {
        f.faultType = wire::GetDevInfo;
        f.truncatedReply = setup.endsWith("Short");
        f.replyDelayMs = setup.endsWith("Silent") ? 5000 : 0;
    }
    device->SetFaults(f);
    if (setup == "nodevice")
        device.reset();
    SdkScope sdk({}, 400, 1000, 1000);
    Connection c(Loopback(1), setup == "user" ? "guest" : kUser, setup == "password" ? "wrong" : kPassword);
    QVERIFY(c.Start() != 0);
    QVERIFY(c.status.WaitCount(1, 5000));
    if (device)
        QTRY_COMPARE(device->LoggedInSessions(), expected == ZVNET_STATUS_LOGIN_OK ? 1 : 0);
    // The stop joins the connection's work: every report it made is in.
    QCOMPARE(ZVNetConnectionStop(&c.handle), 1);
    QCOMPARE(c.status.Codes(), std::vector<int> { expected });
    QVERIFY(c.status.AllAfterStart());
    QVERIFY(!c.status.OnCallerThread());
    // The password never travels in clear.
    if (device)
        for (const auto& r : device->ReceivedRequests())
            QVERIFY(!QByteArray(reinterpret_cast<const char*>(r.payload.data()), int(r.payload.size()))
                         .contains(QByteArray::fromStdString(kPassword)));
}

void TestZVNetSession::failedStartIsReported_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::newRow("no address") << QString() << 9611 << "admin";
    QTest::newRow("not an address") << "camera.local" << 9611 << "admin";
    QTest::newRow("port 0") << QString::fromStdString(Loopback(1)) << 0 << "admin";
    QTest::newRow("port 70000") << QString::fromStdString(Loopback(1)) << 70000 << "admin";
    QTest::newRow("no user") << QString::fromStdString(Loopback(1)) << 9611 << QString();
    QTest::newRow("user too long") << QString::fromStdString(Loopback(1)) << 9611 << QString(64, QLatin1Char('u'));
}

void TestZVNetSession::failedStartIsReported()
{
    QFETCH(QString, ip);
    QFETCH(int, port);
    QFETCH(QString, user);
    SdkScope sdk;
    const QByteArray ipText = ip.toLatin1();
    Connection c(ipText.toStdString(), user.toStdString(), kPassword, 0);
    c.param.ip = ip.isNull() ? nullptr : c.param.ip;
    c.param.port = uint32_t(port);
    // The page that called posts nothing for a zero handle: the callback must tell it.
    QCOMPARE(c.Start(), 0);
    QVERIFY(c.status.WaitCount(1, 2000));
    ZVNetRelease(); // joins every report
    QCOMPARE(c.status.Codes(), std::vector<int> { ZVNET_STATUS_PARAM_ERROR });
    QVERIFY(c.status.AllAfterStart());
}

void TestZVNetSession::noCallbackAfterStop()
{
    auto device = StartDevice(1);
    Faults f;
    f.faultType = wire::Login;
    f.replyDelayMs = 600;
    device->SetFaults(f);
    SdkScope sdk;
    Connection c(Loopback(1), kUser, kPassword);
    QVERIFY(c.Start() != 0);
    QVERIFY(device->WaitReceived(wire::Login, 1, 2000));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ZVNetConnectionStop(&c.handle), 1);
    QCOMPARE(c.handle, 0);
    QVERIFY(timer.elapsed() < 500);
    // A second stop of the same handle is refused.
    int stale = 1;
    QCOMPARE(ZVNetConnectionStop(&stale), 0);
    ZVNetRelease(); // joins whatever work is left
    QVERIFY(c.status.Codes().empty());
}

void TestZVNetSession::callbacksMayCallTheLibrary()
{
    auto device = StartDevice(1, [](DeviceState& s) { s.deviceVersion = "V9.9"; });
    SdkScope sdk;
    Connection c(Loopback(1), kUser, kPassword);
    std::atomic<int> handle { 0 }, handleSeen { 0 }, devInfo { 0 }, query { 0 }, stop { 0 };
    ZVNetVersionParam version {};
    // From inside the status callback: read, query the device, and stop the very
    // connection; a lock held around the callback would hang here.
    c.status.onCallback = [&](int code) {
        if (code != ZVNET_STATUS_LOGIN_OK)
            return;
        while (handle.load() == 0)
            std::this_thread::yield();
        int h = handle.load();
        handleSeen = h;
        ZVNetDevInfo info {};
        devInfo = ZVNetGetDevInfo(h, &info, sizeof info);
        version.size = sizeof version;
        ZVNetQueryParamExReq req {};
        req.paramId = ZVNET_PARAM_VERSION;
        req.buffer = &version;
        req.bufferSize = sizeof version;
        query = ZVNetQueryParamEx(h, &req);
        stop = ZVNetConnectionStop(&h);
    };
    handle = c.Start();
    QVERIFY(handle != 0);
    QVERIFY(c.status.WaitCount(1, 5000));
    QCOMPARE(handleSeen.load(), c.handle);
    QCOMPARE(devInfo.load(), 1);
    QCOMPARE(query.load(), 1);
    QCOMPARE(QByteArray(version.version), QByteArray("V9.9"));
    QCOMPARE(stop.load(), 1);
    c.handle = 0;
    QTRY_COMPARE(device->LoggedInSessions(), 0);
}

void TestZVNetSession::zeroAndUnknownHandlesFail()
{
    auto device = StartDevice(1);
    SdkScope sdk;
    Session live(Loopback(1));
    QVERIFY(live.handle != 0);
    for (int handle : { 0, live.handle + 1000, -1 }) {
        ZVNetDevInfo info {};
        QCOMPARE(ZVNetGetDevInfo(handle, &info, sizeof info), 0);
        ZVNetQueryParamReq q {};
        q.paramId = ZVNET_PARAM_USERS;
        q.headerSize = sizeof(ZVNetUserHeader);
        q.itemSize = sizeof(ZVNetUserParam);
        QCOMPARE(ZVNetQueryParam(handle, &q), 0);
        ZVNetDateTimeParam dt {};
        dt.size = sizeof dt;
        ZVNetQueryParamExReq qx { ZVNET_PARAM_DATETIME, 0, &dt, sizeof dt, {} };
        QCOMPARE(ZVNetQueryParamEx(handle, &qx), 0);
        ZVNetSetParamReq s { ZVNET_PARAM_DATETIME, &dt, nullptr, 0, 0 };
        QCOMPARE(ZVNetSetParam(handle, &s), 0);
        ZVNetFactoryKeyParam key {};
        key.size = sizeof key;
        ZVNetSetParamExReq sx { ZVNET_SETPARAMEX_TYPE, ZVNET_BLOCK_FACTORY_KEY, &key, sizeof key, 0, 0, 1 };
        QCOMPARE(ZVNetSetParamEx(handle, &sx), 0);
        ZVNetPTZParam ptz {};
        QCOMPARE(ZVNetPTZControl(handle, ZVNET_PTZ_DEFAULT, &ptz), 0);
        ZVNetRemoteTestParam test {};
        test.command = ZVNET_REMOTE_TEST_REBOOT;
        QCOMPARE(ZVNetRemoteTest(handle, &test), 0);
        ZVNetExportParam ex { nullptr, [](const char*, int, void*) {} };
        QCOMPARE(ZVNetExportBackupNew(handle, &ex), 0);
        auto import = std::make_unique<ZVNetImportParam>();
        import->size = sizeof(ZVNetImportParam);
        QCOMPARE(ZVNetRemoteParamImportNew(handle, import.get()), 0);
        int copy = handle;
        QCOMPARE(ZVNetConnectionStop(&copy), 0);
        QCOMPARE(ZVNetStopRemoteUpgrade(&copy), 0);
    }
    // Null requests on a live handle fail the same way.
    QCOMPARE(ZVNetGetDevInfo(live.handle, nullptr, 1232), 0);
    QCOMPARE(ZVNetQueryParam(live.handle, nullptr), 0);
    QCOMPARE(ZVNetQueryParamEx(live.handle, nullptr), 0);
    QCOMPARE(ZVNetSetParam(live.handle, nullptr), 0);
    QCOMPARE(ZVNetSetParamEx(live.handle, nullptr), 0);
    QCOMPARE(ZVNetRemoteTest(live.handle, nullptr), 0);
    QCOMPARE(ZVNetExportBackupNew(live.handle, nullptr), 0);
    QCOMPARE(ZVNetRemoteParamImportNew(live.handle, nullptr), 0);
    QCOMPARE(ZVNetConnectionStop(nullptr), 0);
    QCOMPARE(ZVNetStopRemoteUpgrade(nullptr), 0);
    QCOMPARE(ZVNetConnectionStartEx(nullptr), 0);
    QCOMPARE(ZVNetSearchDev(nullptr), 0);
    QCOMPARE(ZVNetSetNewDevInfoEx(nullptr), 0);
    QCOMPARE(ZVNetStartSavePasword(nullptr), 0);
    // The upgrade of a zero handle fails too, and says so through its callback.
    Upgrade u;
    ZVNetUpgradeParam up { "/nonexistent", &Upgrade::Callback, &u, ZVNET_UPGRADE_TYPE_BASIC, 0 };
    QCOMPARE(ZVNetStartRemoteUpgrade(0, &up), 0);
    QVERIFY(u.WaitFinal(2000));
    QCOMPARE(u.Reports().size(), size_t(1));
    QCOMPARE(u.Reports().front().first, int(ZVNET_UPGRADE_FAILED));
    // The session itself still works.
    ZVNetDevInfo info {};
    QCOMPARE(ZVNetGetDevInfo(live.handle, &info, sizeof info), 1);
}

void TestZVNetSession::manyConnectionsAndCallsAtOnce()
{
    constexpr int kDevices = 16;
    std::vector<std::unique_ptr<FakeDevice>> devices;
    for (int n = 1; n <= kDevices; ++n)
        devices.push_back(StartDevice(n, [n](DeviceState& s) { s.deviceVersion = "V" + std::to_string(n); }));
    SdkScope sdk;
    auto version = [](int handle) {
        ZVNetVersionParam v {};
        v.size = sizeof v;
        ZVNetQueryParamExReq q { ZVNET_PARAM_VERSION, 0, &v, sizeof v, {} };
        return ZVNetQueryParamEx(handle, &q) == 1 ? std::string(v.version) : std::string();
    };
    // One connection per device, each from its own thread, as the task pool does.
    std::atomic<int> good { 0 };
    std::vector<std::thread> threads;
    for (int n = 1; n <= kDevices; ++n)
        threads.emplace_back([n, &good, &version]() {
            int handle = Connect(Loopback(n), kUser, kPassword);
            bool ok = handle != 0;
            for (int i = 0; i < 5 && ok; ++i)
                ok = version(handle) == "V" + std::to_string(n);
            good += ok ? 1 : 0;
            if (handle)
                ZVNetConnectionStop(&handle);
        });
    for (auto& t : threads)
        t.join();
    QCOMPARE(good.load(), kDevices);

    // Several threads on one connection: each reply reaches its own caller.
    Session shared(Loopback(3));
    QVERIFY(shared.handle != 0);
    std::atomic<int> answers { 0 };
    threads.clear();
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&]() {
            for (int i = 0; i < 20; ++i)
                answers += version(shared.handle) == "V3" ? 1 : 0;
        });
    for (auto& t : threads)
        t.join();
    QCOMPARE(answers.load(), 80);
}

void TestZVNetSession::devInfoIsTheDevicesOwn()
{
    Fixture f([](DeviceState& s) {
        s.longUserFields = false;
        s.extendedUpgrade = true;
        s.intelligent = true;
        s.deviceKind = '2';
    });
    QVERIFY(f.session.handle != 0);
    ZVNetDevInfo info {};
    QCOMPARE(ZVNetGetDevInfo(f.session.handle, &info, sizeof info), 1);
    QCOMPARE(int(info.userFieldFlags & ZVNET_DEVINFO_LONG_USER_FIELDS), 0);
    QCOMPARE(info.deviceKind, '2');
    QVERIFY(info.capabilityWord & ZVNET_DEVINFO_INTELLIGENT);
    QVERIFY(info.abilitySet[ZVNET_ABILITY_UPGRADE_EXTENDED / 32] & (1u << (ZVNET_ABILITY_UPGRADE_EXTENDED % 32)));
    // A shorter buffer gets the start of the record.
    uint8_t head[8] = {};
    QCOMPARE(ZVNetGetDevInfo(f.session.handle, head, sizeof head), 1);
}

void TestZVNetSession::userQueryCallsBackDuringTheCall()
{
    Fixture f([](DeviceState& s) { s.users = { { "admin", "admin123" }, { "operator", "op" }, { "viewer", "v" } }; });
    QVERIFY(f.session.handle != 0);
    Collected c;
    ZVNetQueryParamReq req {};
    req.paramId = ZVNET_PARAM_USERS;
    req.headerSize = sizeof(ZVNetUserHeader);
    req.headerCallback = &Collected::Header<sizeof(ZVNetUserHeader)>;
    req.itemSize = sizeof(ZVNetUserParam);
    req.itemCallback = &Collected::Item<sizeof(ZVNetUserParam)>;
    req.user = &c;
    QCOMPARE(ZVNetQueryParam(f.session.handle, &req), 1);
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.returned = true;
        // Every record arrived before the call returned, on the calling thread.
        QCOMPARE(c.thread, std::this_thread::get_id());
        QCOMPARE(c.headers.size(), size_t(1));
        QCOMPARE(c.items.size(), size_t(3));
        QCOMPARE(QByteArray(Record<ZVNetUserParam>(c.items[1]).longUserName), QByteArray("operator"));
        QCOMPARE(QByteArray(Record<ZVNetUserParam>(c.items[0]).longPassword), QByteArray("admin123"));
    }
    ZVNetRelease(); // joins the session's work
    QVERIFY(!c.lateCallback);
    // The user list never crosses the wire readable.
    for (const auto& r : f.device->ReceivedRequests())
        QVERIFY(r.type != wire::QueryParam || r.payload.size() == 36);

    // Sizes that do not match the parameter are refused before anything is sent.
    const int before = f.device->CountReceived(wire::QueryParam);
    req.itemSize = 132;
    QCOMPARE(ZVNetQueryParam(f.session.handle, &req), 0);
    req.itemSize = sizeof(ZVNetUserParam);
    req.paramId = 999;
    QCOMPARE(ZVNetQueryParam(f.session.handle, &req), 0);
    QCOMPARE(f.device->CountReceived(wire::QueryParam), before);
}

void TestZVNetSession::passwordChangeThroughUserRecords()
{
    Fixture f([](DeviceState& s) {
        s.users = { { "admin", "admin123" }, { "operator", "op" } };
        s.longUserFields = false;
    });
    QVERIFY(f.session.handle != 0);
    Collected c;
    ZVNetQueryParamReq req { ZVNET_PARAM_USERS, nullptr, sizeof(ZVNetUserHeader),
        &Collected::Header<sizeof(ZVNetUserHeader)>, sizeof(ZVNetUserParam), &Collected::Item<sizeof(ZVNetUserParam)>,
        &c, 0 };
    QCOMPARE(ZVNetQueryParam(f.session.handle, &req), 1);
    std::vector<ZVNetUserParam> records;
    for (const Bytes& b : c.items)
        records.push_back(Record<ZVNetUserParam>(b));
    QCOMPARE(records.size(), size_t(2));
    // As the change-password worker does: short fields, first record only.
    std::memset(records[0].shortPassword, 0, 16);
    std::memcpy(records[0].shortPassword, "NewPass1", 8);
    std::memcpy(records[0].shortUserName, "admin", 5);
    records[0].changeFlag = 1;
    ZVNetSetParamReq set { ZVNET_PARAM_USERS, nullptr, records.data(), uint32_t(records.size()), 0 };
    QCOMPARE(ZVNetSetParam(f.session.handle, &set), 1);
    const DeviceState s = f.device->State();
    QCOMPARE(QString::fromStdString(s.users[0].password), QStringLiteral("NewPass1"));
    QCOMPARE(QString::fromStdString(s.users[1].password), QStringLiteral("op"));
    QVERIFY(Connect(Loopback(1), kUser, "NewPass1") != 0);
}

void TestZVNetSession::streamAndOsdRecordsRoundTrip()
{
    Fixture f([](DeviceState& s) { s.channels = 4; });
    QVERIFY(f.session.handle != 0);

    // Channels 2 and 4 only.
    ZVNetChannelMask mask { sizeof(ZVNetChannelMask), { 0x0A } };
    Collected streams;
    ZVNetQueryParamReq req { ZVNET_PARAM_MAIN_STREAM, &mask, 0, nullptr, sizeof(ZVNetStreamParam),
        &Collected::Item<sizeof(ZVNetStreamParam)>, &streams, 0 };
    QCOMPARE(ZVNetQueryParam(f.session.handle, &req), 1);
    QCOMPARE(streams.items.size(), size_t(2));
    auto first = Record<ZVNetStreamParam>(streams.items[0]);
    QCOMPARE(int(first.resolutions[0].width), 1920);
    first.frameRate = 12;
    first.bitrateMode = 1;
    first.customBitrate = 3000;
    first.encodeType = 4;
    std::vector<ZVNetStreamParam> back { first, Record<ZVNetStreamParam>(streams.items[1]) };
    ZVNetSetParamReq set { ZVNET_PARAM_MAIN_STREAM, nullptr, back.data(), uint32_t(back.size()), 0 };
    QCOMPARE(ZVNetSetParam(f.session.handle, &set), 1);
    // The device applied record 0 to channel 2 and left channel 1 alone.
    const Bytes all = f.device->State().params.at(ZVNET_PARAM_MAIN_STREAM);
    QCOMPARE(int(Record<ZVNetStreamParam>(all, 1).frameRate), 12);
    QCOMPARE(int(Record<ZVNetStreamParam>(all, 1).customBitrate), 3000);
    QCOMPARE(int(Record<ZVNetStreamParam>(all, 1).encodeType), 4);
    QCOMPARE(int(Record<ZVNetStreamParam>(all, 0).frameRate), 25);

    Collected osd;
    ZVNetQueryParamReq osdReq { ZVNET_PARAM_OSD, nullptr, 0, nullptr, sizeof(ZVNetOsdParam),
        &Collected::Item<sizeof(ZVNetOsdParam)>, &osd, 0 };
    QCOMPARE(ZVNetQueryParam(f.session.handle, &osdReq), 1);
    QCOMPARE(osd.items.size(), size_t(4));
    auto o = Record<ZVNetOsdParam>(osd.items[0]);
    QCOMPARE(QByteArray(o.channelName), QByteArray("CH1"));
    o.nameX = 120;
    o.dateY = 560;
    std::memset(o.channelName, 0, sizeof o.channelName);
    std::memcpy(o.channelName, "Front door", 10);
    std::vector<ZVNetOsdParam> osdBack { o };
    ZVNetSetParamReq osdSet { ZVNET_PARAM_OSD, nullptr, osdBack.data(), 1, 0 };
    QCOMPARE(ZVNetSetParam(f.session.handle, &osdSet), 1);
    const auto stored = Record<ZVNetOsdParam>(f.device->State().params.at(ZVNET_PARAM_OSD), 0);
    QCOMPARE(QByteArray(stored.channelName), QByteArray("Front door"));
    QCOMPARE(int(stored.nameX), 120);
    QCOMPARE(int(stored.dateY), 560);
}

void TestZVNetSession::blocksRoundTrip()
{
    Fixture f([](DeviceState& s) { s.deviceVersion = "V4.2.1 build 20260101"; });
    QVERIFY(f.session.handle != 0);

    ZVNetVersionParam version {};
    version.size = sizeof version;
    ZVNetQueryParamExReq vq { ZVNET_PARAM_VERSION, 0, &version, sizeof version, {} };
    QCOMPARE(ZVNetQueryParamEx(f.session.handle, &vq), 1);
    QCOMPARE(QByteArray(version.version), QByteArray("V4.2.1 build 20260101"));

    // NTP on, as the device information page does it: query, change a byte, set.
    ZVNetDateTimeParam dt {};
    dt.size = sizeof dt;
    ZVNetQueryParamExReq dq { ZVNET_PARAM_DATETIME, 0, &dt, sizeof dt, {} };
    QCOMPARE(ZVNetQueryParamEx(f.session.handle, &dq), 1);
    QCOMPARE(int(dt.year), 26);
    dt.ntpEnable = 1;
    dt.hour = 7;
    ZVNetSetParamReq ds { ZVNET_PARAM_DATETIME, &dt, nullptr, 0, 0 };
    QCOMPARE(ZVNetSetParam(f.session.handle, &ds), 1);
    const auto stored = Record<ZVNetDateTimeParam>(f.device->State().params.at(ZVNET_PARAM_DATETIME));
    QCOMPARE(int(stored.ntpEnable), 1);
    QCOMPARE(int(stored.hour), 7);

    ZVNetDefaultParam def {};
    def.size = sizeof def;
    def.display = def.record = def.network = 1;
    ZVNetSetParamReq defSet { ZVNET_PARAM_DEFAULT, &def, nullptr, 0, 0 };
    QCOMPARE(ZVNetSetParam(f.session.handle, &defSet), 1);
    QCOMPARE(int(Record<ZVNetDefaultParam>(f.device->State().params.at(ZVNET_PARAM_DEFAULT)).network), 1);

    // A block whose size word is wrong never leaves.
    const int sets = f.device->CountReceived(wire::SetParam);
    def.size = 23;
    QCOMPARE(ZVNetSetParam(f.session.handle, &defSet), 0);
    dt.size = 292;
    ZVNetSetParamReq both { ZVNET_PARAM_DATETIME, &dt, &dt, 1, 0 };
    QCOMPARE(ZVNetSetParam(f.session.handle, &both), 0);
    QCOMPARE(f.device->CountReceived(wire::SetParam), sets);
}

void TestZVNetSession::factoryBlocksChangeTheDevice()
{
    Fixture f;
    QVERIFY(f.session.handle != 0);
    ZVNetFactoryInfo info {};
    info.size = sizeof info;
    info.changeMask = ZVNET_FACTORY_DEVICE_NAME | ZVNET_FACTORY_DEVICE_TYPE;
    std::strcpy(info.deviceName, "Lobby");
    std::strcpy(info.deviceType, "ZV-IPC-9");
    std::strcpy(info.mainBoardName, "ignored: not in the mask");
    ZVNetSetParamExReq req { ZVNET_SETPARAMEX_TYPE, ZVNET_BLOCK_FACTORY_INFO, &info, sizeof info, 0, 0, 1 };
    QCOMPARE(ZVNetSetParamEx(f.session.handle, &req), 1);
    DeviceState s = f.device->State();
    QCOMPARE(QString::fromStdString(s.deviceName), QStringLiteral("Lobby"));
    QCOMPARE(QString::fromStdString(s.deviceType), QStringLiteral("ZV-IPC-9"));
    const auto stored = Record<ZVNetFactoryInfo>(s.params.at(ZVNET_BLOCK_FACTORY_INFO));
    QCOMPARE(QByteArray(stored.mainBoardName), QByteArray("MB-100"));

    ZVNetFactoryKeyParam key {};
    key.size = sizeof key;
    key.keyId = 0x1a2b;
    std::memcpy(key.boardId, "B1", 2);
    key.flag24 = 255;
    ZVNetSetParamExReq keyReq { ZVNET_SETPARAMEX_TYPE, ZVNET_BLOCK_FACTORY_KEY, &key, sizeof key, 0, 0, 1 };
    QCOMPARE(ZVNetSetParamEx(f.session.handle, &keyReq), 1);
    QCOMPARE(Record<ZVNetFactoryKeyParam>(f.device->State().params.at(ZVNET_BLOCK_FACTORY_KEY)).keyId, 0x1a2bu);
    // Size field and block size must agree.
    keyReq.blockSize = 31;
    QCOMPARE(ZVNetSetParamEx(f.session.handle, &keyReq), 0);
}

void TestZVNetSession::deviceResultCodesPassThrough_data()
{
    QTest::addColumn<uint>("status");
    QTest::addColumn<int>("result");
    QTest::newRow("ok") << uint(wire::Ok) << 1;
    QTest::newRow("two") << uint(wire::Result2) << 2;
    QTest::newRow("three") << uint(wire::Result3) << 3;
    QTest::newRow("refused") << uint(wire::Refused) << 0;
    QTest::newRow("unknown status") << 77u << 0;
}

void TestZVNetSession::deviceResultCodesPassThrough()
{
    QFETCH(uint, status);
    QFETCH(int, result);
    Fixture fx;
    QVERIFY(fx.session.handle != 0);
    Faults f;
    f.faultType = wire::QueryBlock;
    f.replyStatus = status;
    fx.device->SetFaults(f);
    ZVNetDateTimeParam dt {};
    dt.size = sizeof dt;
    ZVNetQueryParamExReq q { ZVNET_PARAM_DATETIME, 0, &dt, sizeof dt, {} };
    QCOMPARE(ZVNetQueryParamEx(fx.session.handle, &q), result);
    f.faultType = wire::SetParam;
    fx.device->SetFaults(f);
    dt.size = sizeof dt;
    ZVNetSetParamReq s { ZVNET_PARAM_DATETIME, &dt, nullptr, 0, 0 };
    QCOMPARE(ZVNetSetParam(fx.session.handle, &s), result);
}

void TestZVNetSession::ptzAndReboot()
{
    Fixture f;
    QVERIFY(f.session.handle != 0);
    ZVNetPTZParam ptz {};
    QCOMPARE(ZVNetPTZControl(f.session.handle, ZVNET_PTZ_DEFAULT, &ptz), 1);
    QCOMPARE(f.device->State().ptzDefaults, 1);
    QCOMPARE(ZVNetPTZControl(f.session.handle, 55, &ptz), 0);

    struct Test
    {
        std::thread::id thread;
        int command = 0;
        int result = -1;
        static void Callback(int command, int result, const void*, void* user)
        {
            auto* self = static_cast<Test*>(user);
            self->thread = std::this_thread::get_id();
            self->command = command;
            self->result = result;
        }
    } test;
    ZVNetRemoteTestParam reboot { ZVNET_REMOTE_TEST_REBOOT, 0, 0, &test, &Test::Callback, 0 };
    QCOMPARE(ZVNetRemoteTest(f.session.handle, &reboot), 1);
    QCOMPARE(test.command, 303);
    QCOMPARE(test.result, 1);
    QCOMPARE(test.thread, std::this_thread::get_id());
    QCOMPARE(f.device->State().reboots, 1);
    // The device went down: the link is gone and later calls fail quickly.
    QTRY_COMPARE(f.device->LoggedInSessions(), 0);
    QElapsedTimer timer;
    timer.start();
    QTRY_COMPARE(ZVNetPTZControl(f.session.handle, ZVNET_PTZ_DEFAULT, &ptz), 0);
    QVERIFY(timer.elapsed() < 1500);
}

void TestZVNetSession::exportImportRoundTrip()
{
    Fixture f;
    QVERIFY(f.session.handle != 0);
    struct Export
    {
        QByteArray whole;
        int size = -1;
        std::thread::id thread;
        static void Callback(const char* data, int size, void* user)
        {
            auto* self = static_cast<Export*>(user);
            self->whole = QByteArray(data, 40 + size);
            self->size = size;
            self->thread = std::this_thread::get_id();
        }
    } ex;
    ZVNetExportParam param { &ex, &Export::Callback };
    QCOMPARE(ZVNetExportBackupNew(f.session.handle, &param), 1);
    QVERIFY(ex.size > 0);
    QCOMPARE(ex.thread, std::this_thread::get_id());
    QVERIFY(ex.whole.startsWith("ZVNP-EXPORT"));
    const QByteArray data = ex.whole.mid(40);

    // The device's parameters change, then the export goes back.
    f.device->Update([](DeviceState& s) { s.params[ZVNET_PARAM_DATETIME][56] = 1; });
    auto import = std::make_unique<ZVNetImportParam>();
    import->size = sizeof(ZVNetImportParam);
    std::memcpy(import->name, "Cam 1", 5);
    import->dataSize = uint32_t(data.size());
    std::memcpy(import->data, data.constData(), size_t(data.size()));
    QCOMPARE(ZVNetRemoteParamImportNew(f.session.handle, import.get()), 1);
    QCOMPARE(int(f.device->State().params.at(ZVNET_PARAM_DATETIME)[56]), 0);
    const auto requests = f.device->ReceivedRequests();
    const auto last = std::find_if(
        requests.rbegin(), requests.rend(), [](const fakedevice::Received& r) { return r.type == wire::Import; });
    QVERIFY(last != requests.rend());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(last->payload.data()), 5), QByteArray("Cam 1"));

    // A file that is not the device's own is refused; one too large never leaves.
    import->data[5] ^= 0xFF;
    QCOMPARE(ZVNetRemoteParamImportNew(f.session.handle, import.get()), 0);
    const int imports = f.device->CountReceived(wire::Import);
    import->dataSize = ZVNET_IMPORT_MAX_DATA + 1;
    QCOMPARE(ZVNetRemoteParamImportNew(f.session.handle, import.get()), 0);
    import->dataSize = 10;
    import->size = 40;
    QCOMPARE(ZVNetRemoteParamImportNew(f.session.handle, import.get()), 0);
    QCOMPARE(f.device->CountReceived(wire::Import), imports);
}

void TestZVNetSession::upgradeReportsProgressAndOneFinalCode_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("finalCode");
    QTest::addColumn<bool>("progress");
    QTest::newRow("accepted") << 300000 << 3 << QString() << 391 << true;
    QTest::newRow("one byte") << 1 << 3 << QString() << 391 << true;
    QTest::newRow("device reports 395") << 70000 << 3 << "final395" << 395 << true;
    QTest::newRow("extended type refused") << 70000 << 7 << QString() << 390 << false;
    QTest::newRow("chunk refused at half") << 300000 << 3 << "fail50" << 390 << true;
    QTest::newRow("link dropped at half") << 300000 << 3 << "drop50" << 390 << true;
    QTest::newRow("end answer garbled") << 70000 << 3 << "endShort" << 390 << true;
    QTest::newRow("no such file") << -1 << 3 << QString() << 392 << false;
    QTest::newRow("empty file") << 0 << 3 << QString() << 392 << false;
}

void TestZVNetSession::upgradeReportsProgressAndOneFinalCode()
{
    QFETCH(int, fileSize);
    QFETCH(int, type);
    QFETCH(QString, fault);
    QFETCH(int, finalCode);
    QFETCH(bool, progress);
    QTemporaryDir dir;
    const QByteArray firmware = Firmware(std::max(fileSize, 0));
    const QString path = fileSize < 0 ? dir.filePath("missing.sw") : WriteFile(dir, "cam_v2.sw", firmware);
    Fixture f;
    QVERIFY(f.session.handle != 0);
    Faults faults;
    faults.upgradeFinalCode = fault.startsWith("final") ? fault.mid(5).toUInt() : 0;
    faults.upgradeFailPercent = fault == "fail50" ? 50 : -1;
    faults.upgradeDropPercent = fault == "drop50" ? 50 : -1;
    if (fault == "endShort") {
        faults.faultType = wire::UpgradeEnd;
        faults.truncatedReply = true;
    }
    f.device->SetFaults(faults);

    Upgrade u;
    const QByteArray pathBytes = path.toUtf8();
    ZVNetUpgradeParam param { pathBytes.constData(), &Upgrade::Callback, &u, uint32_t(type), 0 };
    int upgrade = ZVNetStartRemoteUpgrade(f.session.handle, &param);
    QVERIFY(upgrade != 0);
    QVERIFY(u.WaitFinal(20000));
    // The stop joins the upgrade's work: every report it made is in.
    QCOMPARE(ZVNetStopRemoteUpgrade(&upgrade), 1);
    QCOMPARE(upgrade, 0);
    const auto reports = u.Reports();
    QCOMPARE(reports.back().first, finalCode);
    int last = -1;
    for (size_t i = 0; i + 1 < reports.size(); ++i) {
        QCOMPARE(reports[i].first, int(ZVNET_UPGRADE_PROGRESS));
        QVERIFY(reports[i].second > last && reports[i].second <= 100);
        last = int(reports[i].second);
    }
    QCOMPARE(reports.size() > 1, progress);
    if (progress)
        QCOMPARE(int(reports.front().second), 0);
    if (finalCode == 391) {
        QCOMPARE(last, 100);
        const auto records = f.device->Upgrades();
        QCOMPARE(records.size(), size_t(1));
        QCOMPARE(records[0].receivedSize, uint64_t(fileSize));
        QCOMPARE(QByteArray::fromStdString(records[0].sha256),
            QCryptographicHash::hash(firmware, QCryptographicHash::Sha256).toHex());
    }
}

void TestZVNetSession::stoppedUpgradeFallsSilent()
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.sw", Firmware(65536 * 20));
    Fixture f;
    QVERIFY(f.session.handle != 0);
    Faults faults;
    faults.faultType = wire::UpgradeData;
    faults.replyDelayMs = 150;
    f.device->SetFaults(faults);
    Upgrade u;
    const QByteArray pathBytes = path.toUtf8();
    ZVNetUpgradeParam param { pathBytes.constData(), &Upgrade::Callback, &u, ZVNET_UPGRADE_TYPE_BASIC, 0 };
    int upgrade = ZVNetStartRemoteUpgrade(f.session.handle, &param);
    QVERIFY(upgrade != 0);
    QTRY_VERIFY(u.Reports().size() >= 2);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ZVNetStopRemoteUpgrade(&upgrade), 1);
    QVERIFY(timer.elapsed() < 500);
    const size_t seen = u.Reports().size();
    ZVNetRelease(); // joins whatever work is left
    QCOMPARE(u.Reports().size(), seen);
    QCOMPARE(u.Reports().back().first, int(ZVNET_UPGRADE_PROGRESS));
}

void TestZVNetSession::badRepliesFailCleanly_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QString>("fault");
    const QList<QPair<int, QString>> requests = { { wire::QueryParam, "users" }, { wire::QueryBlock, "version" },
        { wire::Export, "export" }, { wire::SetParam, "set" } };
    for (const auto& r : requests)
        for (const QString fault :
            { "truncated", "oversized", "random", "hugeLength", "badMagic", "dropMid", "dropBefore", "late" })
            // An empty reply stays whole when cut, and may stay empty when scrambled.
            if (r.first != wire::SetParam || (fault != "truncated" && fault != "random"))
                QTest::newRow(qPrintable(r.second + ": " + fault)) << r.first << fault;
}

void TestZVNetSession::badRepliesFailCleanly()
{
    QFETCH(int, request);
    QFETCH(QString, fault);
    Fixture fx({}, 500);
    QVERIFY(fx.session.handle != 0);
    Faults f;
    f.faultType = uint16_t(request);
    f.truncatedReply = fault == "truncated";
    f.oversizedReply = fault == "oversized";
    f.randomPayload = fault == "random";
    f.hugeLength = fault == "hugeLength";
    f.badMagic = fault == "badMagic";
    f.dropMidReply = fault == "dropMid";
    f.dropBeforeReply = fault == "dropBefore";
    f.replyDelayMs = fault == "late" ? 900 : 0;
    fx.device->SetFaults(f);

    const auto call = [&](Collected& into, ZVNetVersionParam& v) {
        if (request == wire::QueryParam) {
            ZVNetQueryParamReq q { ZVNET_PARAM_USERS, nullptr, sizeof(ZVNetUserHeader),
                &Collected::Header<sizeof(ZVNetUserHeader)>, sizeof(ZVNetUserParam),
                &Collected::Item<sizeof(ZVNetUserParam)>, &into, 0 };
            return ZVNetQueryParam(fx.session.handle, &q);
        }
        if (request == wire::QueryBlock) {
            v.size = sizeof v;
            ZVNetQueryParamExReq q { ZVNET_PARAM_VERSION, 0, &v, sizeof v, {} };
            return ZVNetQueryParamEx(fx.session.handle, &q);
        }
        if (request == wire::Export) {
            ZVNetExportParam e { &into,
                [](const char*, int, void* user) { static_cast<Collected*>(user)->Add("", 0, false); } };
            return ZVNetExportBackupNew(fx.session.handle, &e);
        }
        ZVNetDefaultParam d {};
        d.size = sizeof d;
        ZVNetSetParamReq s { ZVNET_PARAM_DEFAULT, &d, nullptr, 0, 0 };
        return ZVNetSetParam(fx.session.handle, &s);
    };
    Collected c;
    ZVNetVersionParam version {};
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(call(c, version), 0);
    QCOMPARE(version.version[0], '\0'); // the caller's buffer is untouched
    QVERIFY(c.items.empty() && c.headers.empty());
    QVERIFY(timer.elapsed() < 1500);
    if (fault == "late") {
        // The device answers in order: once the next call has its own answer, the late one
        // was read before it, and went to nobody.
        fx.device->SetFaults(Faults {});
        QVERIFY(ZVSdkSetTimeouts(2000, 20000));
        Collected next;
        ZVNetVersionParam nextVersion {};
        QCOMPARE(call(next, nextVersion), 1);
        QVERIFY(c.items.empty() && c.headers.empty());
        if (request == wire::QueryParam)
            QVERIFY(!next.items.empty());
        if (request == wire::QueryBlock)
            QVERIFY(nextVersion.version[0] != '\0');
    }
    // Stopping after any of these is clean.
    QCOMPARE(ZVNetConnectionStop(&fx.session.handle), 1);
}

void TestZVNetSession::droppedLinkFailsLaterCalls()
{
    Fixture f;
    QVERIFY(f.session.handle != 0);
    f.device->DropSessions();
    ZVNetDateTimeParam dt {};
    dt.size = sizeof dt;
    ZVNetQueryParamExReq q { ZVNET_PARAM_DATETIME, 0, &dt, sizeof dt, {} };
    QTRY_COMPARE(ZVNetQueryParamEx(f.session.handle, &q), 0);
    // The outcome was reported once, at login; a lost link adds no status.
    ZVNetDevInfo info {};
    QCOMPARE(ZVNetGetDevInfo(f.session.handle, &info, sizeof info), 1);
    QCOMPARE(ZVNetConnectionStop(&f.session.handle), 1);
}

void TestZVNetSession::alarmsUntilStop()
{
    auto device = StartDevice(1);
    SdkScope sdk;
    struct Alarms
    {
        std::mutex mutex;
        std::vector<std::pair<int, QByteArray>> seen;
        std::atomic<int> status { 0 };
        static void Callback(int code, const void* data, int size, void* user)
        {
            auto* self = static_cast<Alarms*>(user);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->seen.emplace_back(code, QByteArray(static_cast<const char*>(data), size));
        }
        size_t Count()
        {
            std::lock_guard<std::mutex> lock(mutex);
            return seen.size();
        }
    } alarms;
    const std::string ip = Loopback(1);
    ZVNetConnParam param {};
    param.ip = ip.c_str();
    param.port = fakedevice::kDefaultTcpPort;
    param.userName = kUser.c_str();
    param.password = kPassword.c_str();
    param.user = &alarms;
    param.alarmCallback = &Alarms::Callback;
    param.statusCallback = [](int code, void* user) { static_cast<Alarms*>(user)->status = code; };
    int handle = ZVNetConnectionStartEx(&param);
    QVERIFY(handle != 0);
    // Alarms count from the reported login on; any sent before it are the login's to drop.
    QTRY_COMPARE(alarms.status.load(), int(ZVNET_STATUS_LOGIN_OK));
    QCOMPARE(device->LoggedInSessions(), 1);
    QCOMPARE(device->SendAlarm(0x10071, Bytes { 1, 2, 3 }), 1);
    QTRY_COMPARE(alarms.Count(), size_t(1));
    {
        std::lock_guard<std::mutex> lock(alarms.mutex);
        QCOMPARE(alarms.seen[0].first, 0x10071);
        QCOMPARE(alarms.seen[0].second, QByteArray("\x01\x02\x03"));
    }
    // A malformed alarm is dropped; the link stays usable.
    device->SendAlarm(113, Bytes(5000, 0));
    // The next alarm on the same link comes after it, and alone.
    QCOMPARE(device->SendAlarm(0x10071, Bytes { 1, 2, 3 }), 1);
    QTRY_COMPARE(alarms.Count(), size_t(2));
    {
        std::lock_guard<std::mutex> lock(alarms.mutex);
        QCOMPARE(alarms.seen[1].first, 0x10071);
        QCOMPARE(alarms.seen[1].second, QByteArray("\x01\x02\x03"));
    }
    ZVNetDevInfo info {};
    QCOMPARE(ZVNetGetDevInfo(handle, &info, sizeof info), 1);
    QCOMPARE(ZVNetConnectionStop(&handle), 1);
    device->SendAlarm(113, Bytes {});
    ZVNetRelease(); // joins whatever work is left
    QCOMPARE(alarms.Count(), size_t(2));
}

void TestZVNetSession::firstPassword_data()
{
    QTest::addColumn<bool>("firstLogin");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<int>("expected");
    QTest::newRow("new device") << true << true << int(ZVNET_STATUS_PASSWORD_SAVED);
    QTest::newRow("device has a password") << false << true << int(ZVNET_STATUS_FAILED);
    QTest::newRow("no device") << true << false << int(ZVNET_STATUS_FAILED);
}

void TestZVNetSession::firstPassword()
{
    QFETCH(bool, firstLogin);
    QFETCH(bool, reachable);
    QFETCH(int, expected);
    auto device = StartDevice(1, [firstLogin](DeviceState& s) {
        s.firstLogin = firstLogin;
        if (firstLogin)
            s.users[0].password.clear();
    });
    if (!reachable)
        device.reset();
    SdkScope sdk;
    StatusCollector status;
    ZVNetSavePasswordExtra extra {};
    extra.size = sizeof extra;
    std::strcpy(extra.password, "First#Pass9");
    const std::string ip = Loopback(1);
    ZVNetSavePasswordParam param { ip.c_str(), fakedevice::kDefaultTcpPort, 0, 0, &status, &StatusCollector::Callback,
        &extra, sizeof extra, 0 };
    QCOMPARE(ZVNetStartSavePasword(&param), 1);
    status.StartReturned();
    QVERIFY(status.WaitCount(1, 5000));
    ZVNetRelease(); // joins every report
    QCOMPARE(status.Codes(), std::vector<int> { expected });
    QVERIFY(status.AllAfterStart());
    ZVNetInit();
    if (!device)
        return;
    if (firstLogin) {
        QCOMPARE(QString::fromStdString(device->Password()), QStringLiteral("First#Pass9"));
        QVERIFY(!device->State().firstLogin);
        QVERIFY(Connect(ip, kUser, "First#Pass9") != 0);
    } else {
        QCOMPARE(QString::fromStdString(device->Password()), QString::fromStdString(kPassword));
    }
    // Never in clear on the wire.
    for (const auto& r : device->ReceivedRequests())
        QVERIFY(r.type != wire::SavePassword || r.payload.size() == 288);

    StatusCollector bad;
    param.user = &bad;
    param.extraSize = 500;
    QCOMPARE(ZVNetStartSavePasword(&param), 0);
    QVERIFY(bad.WaitCount(1, 2000));
    QCOMPARE(bad.Codes(), std::vector<int> { ZVNET_STATUS_PARAM_ERROR });
}

void TestZVNetSession::networkChangeMovesTheDevice()
{
    auto device = StartDevice(1);
    auto neighbour = StartDevice(2); // answers nothing: the change names the other MAC
    SdkScope sdk({ Loopback(1), Loopback(2), Loopback(3) });
    const ZVNetNewDevInfo info = NewDevInfo(*device, Loopback(3), kPassword);
    QCOMPARE(ZVNetSetNewDevInfoEx(&info), 1);
    // The device moves once its answer has left.
    QTRY_COMPARE(QString::fromStdString(device->State().ip), QString::fromStdString(Loopback(3)));
    QVERIFY(device->WaitListening(2000));
    const DeviceState s = device->State();
    QCOMPARE(int(s.mediaPort), 9711);
    QCOMPARE(int(s.webPort), 8088);
    QCOMPARE(QString::fromStdString(s.dns1), QStringLiteral("127.0.0.53"));
    QCOMPARE(QString::fromStdString(neighbour->State().ip), QString::fromStdString(Loopback(2)));

    // A new search finds it at its new address with its new ports.
    SearchCollector search;
    ZVNetSearchParam sp { &SearchCollector::Callback, &search, 0, {} };
    QCOMPARE(ZVNetSearchDev(&sp), 1);
    QVERIFY(search.WaitEnd(5000));
    QCOMPARE(search.Ips(), (QStringList { QString::fromStdString(Loopback(2)), QString::fromStdString(Loopback(3)) }));
    for (const SearchDevRsp& r : search.Records())
        if (QByteArray(r.ip) == QByteArray::fromStdString(Loopback(3)))
            QCOMPARE(r.mediaPort, 9711u);
    QVERIFY(Connect(Loopback(3), kUser, kPassword, nullptr, 9711) != 0);
    // The request carried no password.
    for (const auto& r : device->ReceivedRequests())
        if (r.type == wire::SetNetwork)
            QVERIFY(!QByteArray(reinterpret_cast<const char*>(r.payload.data()), int(r.payload.size()))
                         .contains(QByteArray::fromStdString(kPassword)));
}

void TestZVNetSession::networkChangeRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("wrong password") << "password";
    QTest::newRow("other MAC") << "mac";
    QTest::newRow("device silent") << "silent";
    QTest::newRow("address that is none") << "address";
}

void TestZVNetSession::networkChangeRefused()
{
    QFETCH(QString, change);
    auto device = StartDevice(1);
    if (change == "silent") {
        Faults f;
        f.noAnswer = true;
        device->SetFaults(f);
    }
    SdkScope sdk({ Loopback(1) });
    ZVNetNewDevInfo info = NewDevInfo(*device, Loopback(3), change == "password" ? "guess" : kPassword);
    if (change == "mac")
        std::strcpy(info.mac, "02:00:00:00:00:99");
    if (change == "address")
        SetIp(info.newIp, "0.0.0.0");
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ZVNetSetNewDevInfoEx(&info), 0);
    QVERIFY(timer.elapsed() < 8000);
    QCOMPARE(QString::fromStdString(device->State().ip), QString::fromStdString(Loopback(1)));
    QCOMPARE(int(device->State().mediaPort), int(fakedevice::kDefaultTcpPort));
}

void TestZVNetSession::otherFamiliesFailCleanly()
{
    SdkScope sdk;
    // The JSON login answers "close", so a waiting page ends; never after destroy.
    struct Login
    {
        std::mutex mutex;
        QStringList texts;
        static void Callback(const char* json, void* user)
        {
            auto* self = static_cast<Login*>(user);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->texts << QString::fromUtf8(json);
        }
        int Count()
        {
            std::lock_guard<std::mutex> lock(mutex);
            return texts.size();
        }
    } login, late;
    zv_device_handle device = zv_create_device();
    QVERIFY(device != nullptr);
    const char* json = "{\"ip or id\":\"127.0.0.1\"}";
    zv_device_login_param lp {};
    lp.device = device;
    lp.json = json;
    lp.result_callback = &Login::Callback;
    lp.user = &login;
    zv_device_login_ex(&lp);
    QTRY_COMPARE(login.Count(), 1);
    QCOMPARE(login.texts.front(), QStringLiteral("{\"status\":\"close\"}"));
    QCOMPARE(zv_get_device_type(device), 0);
    QCOMPARE(zv_device_logout(device), 0);
    lp.user = &late;
    zv_device_login_ex(&lp);
    QCOMPARE(zv_destroy_device(device), 1);
    QCOMPARE(zv_destroy_device(device), 0);
    ZVNetRelease(); // joins the wrapper's work
    QCOMPARE(late.Count(), 0);
}

QTEST_GUILESS_MAIN(TestZVNetSession)
#include "tst_zvnetsession.moc"
