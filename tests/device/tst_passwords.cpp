// Password change (SDK user records, HTTP JSON API) and the first password of
// a new HTTP-API device, end to end: the device ends with the password the
// user typed, decrypted on the device; refusals and broken replies end in the
// failure statuses and leave the device's password as it was.

#include "DeviceOperations.h"
#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "OperationFixtures.h"

#include <cstring>

using fakedevice::Faults;
using fakedevice::HttpFaults;
using namespace TestSupport;

namespace
{
const char* const kKeyPath = "/API/Maintenance/TransKey/Get";
const char* const kUserSetPath = "/API/SystemConfig/User/Set";
const char* const kLoginKeyPath = "/API/Login/TransKey/Get";
const char* const kFirstPasswordPath = "/API/FirstLogin/Password/Set";
const char* const kRecoveryPath = "/API/RecoverPassword/Set";

std::string Latin1(const QString& text)
{
    return text.toLatin1().toStdString();
}
} // namespace

class TestPasswords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void sdkChangeWritesTheFirstRecord_data();
    void sdkChangeWritesTheFirstRecord();
    void sdkChangeRefusesWhatTheFieldCannotHold_data();
    void sdkChangeRefusesWhatTheFieldCannotHold();
    void sdkChangeFailures_data();
    void sdkChangeFailures();
    void httpChangeSendsTheEncryptedPassword();
    void httpChangeFailures_data();
    void httpChangeFailures();
    void initialiseSetsTheFirstPassword();
    void initialiseFailures_data();
    void initialiseFailures();
    void initialiseNeedsTheHttpApi();

private:
    // Runs the password change to its end; the status it ended with.
    int Change(Api api, const QString& newPassword);

    std::unique_ptr<DevicePairBench> m_bench;
};

void TestPasswords::initTestCase()
{
    m_bench = std::make_unique<DevicePairBench>(50);
    QVERIFY(m_bench->Listening());
}

void TestPasswords::init()
{
    m_bench->Reset();
    m_bench->Sdk().Update([](fakedevice::DeviceState& state) {
        state.longUserFields = true;
        state.users.resize(1);
    });
}

void TestPasswords::cleanupTestCase()
{
    m_bench.reset();
}

int TestPasswords::Change(Api api, const QString& newPassword)
{
    auto device = m_bench->MakeDevice(api, &DeviceInfo::m_pChangePassword);
    device->m_newPassword = newPassword;
    device->m_confirmPassword = newPassword;
    if (!m_bench->RunToEnd(&ChangePasswordTask, device.get()))
        return -1;
    const TaskReport last = m_bench->LastReport();
    if (last.finished || !last.onGuiThread || last.page != "page" || device->m_bLogin || !device->m_userRecords.empty())
        return -2;
    return last.status;
}

void TestPasswords::sdkChangeWritesTheFirstRecord_data()
{
    QTest::addColumn<bool>("longFields");
    QTest::addColumn<int>("users");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("long fields") << true << 1 << "N3w-pass-w0rd"
                                 << "N3w-pass-w0rd";
    QTest::newRow("long fields, 32 bytes") << true << 1 << QString(32, 'x') << QString(32, 'x');
    QTest::newRow("short fields, 8 bytes") << false << 1 << "abcdefgh"
                                           << "abcdefgh";
    QTest::newRow("three users, only the first changes") << true << 3 << "Another1"
                                                         << "Another1";
}

void TestPasswords::sdkChangeWritesTheFirstRecord()
{
    QFETCH(bool, longFields);
    QFETCH(int, users);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    m_bench->Sdk().Update([&](fakedevice::DeviceState& state) {
        state.longUserFields = longFields;
        state.users = { { "admin", kLoginPassword }, { "op1", "first1" }, { "op2", "second2" } };
        state.users.resize(size_t(users));
    });
    const fakedevice::Bytes before = m_bench->Sdk().State().UserRecords();

    QCOMPARE(Change(Api::Sdk, typed), int(StatusOk));
    const fakedevice::DeviceState state = m_bench->Sdk().State();
    QCOMPARE(state.users.size(), size_t(users));
    QCOMPARE(state.users[0].password, Latin1(stored));
    if (users == 3) {
        QCOMPARE(state.users[1].password, std::string("first1"));
        QCOMPARE(state.users[2].password, std::string("second2"));
    }
    // All records went back; the first differs only in the fields written.
    fakedevice::Received set;
    for (const fakedevice::Received& received : m_bench->Sdk().ReceivedRequests())
        if (received.type == fakedevice::wire::SetParam)
            set = received;
    const size_t record = sizeof(ZVNetUserParam);
    QCOMPARE(set.payload.size(), 16 + record * size_t(users));
    const uint8_t* written = set.payload.data() + 16;
    QVERIFY(std::memcmp(written + record, before.data() + record, record * size_t(users - 1)) == 0);
    ZVNetUserParam first, original;
    std::memcpy(&first, written, record);
    std::memcpy(&original, before.data(), record);
    QCOMPARE(first.changeFlag, uint8_t(1));
    const QByteArray name = longFields ? QByteArray(first.longUserName, 32) : QByteArray(first.shortUserName, 8);
    QCOMPARE(name, QByteArray("admin").leftJustified(longFields ? 32 : 8, '\0'));
    original.changeFlag = 1;
    std::memcpy(longFields ? original.longPassword : original.shortPassword,
        longFields ? first.longPassword : first.shortPassword, longFields ? 32 : 8);
    QVERIFY(std::memcmp(&first, &original, record) == 0);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestPasswords::sdkChangeRefusesWhatTheFieldCannotHold_data()
{
    QTest::addColumn<bool>("longFields");
    QTest::addColumn<QString>("typed");
    QTest::newRow("long fields, 33 bytes") << true << QString(33, 'y');
    QTest::newRow("short fields, 9 bytes") << false << "abcdefghi";
    QTest::newRow("short fields, 12 bytes") << false << "Tr7#kQ9!mZ2x";
    QTest::newRow("outside Latin-1") << true << QString::fromUtf8("Pa\u00df\u20ac12345");
}

void TestPasswords::sdkChangeRefusesWhatTheFieldCannotHold()
{
    QFETCH(bool, longFields);
    QFETCH(QString, typed);
    m_bench->Sdk().Update([&](fakedevice::DeviceState& state) {
        state.longUserFields = longFields;
        state.users = { { "admin", kLoginPassword } };
    });
    QCOMPARE(Change(Api::Sdk, typed), int(StatusFailed));
    QCOMPARE(m_bench->Sdk().State().users[0].password, std::string(kLoginPassword));
    for (const fakedevice::Received& received : m_bench->Sdk().ReceivedRequests())
        QVERIFY(received.type != fakedevice::wire::SetParam);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestPasswords::sdkChangeFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("setSent");
    QTest::newRow("no user record") << "empty" << false;
    QTest::newRow("user list cut short") << "truncated" << false;
    QTest::newRow("user list too long") << "oversized" << false;
    QTest::newRow("device refuses the records") << "refuse" << true;
    QTest::newRow("device answers result 2") << "result 2" << true;
    QTest::newRow("link drops at the write") << "drop" << true;
}

void TestPasswords::sdkChangeFailures()
{
    QFETCH(QString, fault);
    QFETCH(bool, setSent);
    Faults faults;
    faults.emptyRecordLists = fault == "empty";
    faults.faultType = setSent ? fakedevice::wire::SetParam : fakedevice::wire::QueryParam;
    faults.truncatedReply = fault == "truncated";
    faults.oversizedReply = fault == "oversized";
    faults.replyStatus = fault == "refuse" ? uint32_t(fakedevice::wire::Refused)
        : fault == "result 2"              ? uint32_t(fakedevice::wire::Result2)
                                           : 0u;
    faults.dropBeforeReply = fault == "drop";
    m_bench->Sdk().SetFaults(faults);

    QCOMPARE(Change(Api::Sdk, QStringLiteral("NewPass99")), int(StatusFailed));
    QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::SetParam), int(setSent));
    if (!setSent)
        QCOMPARE(m_bench->Sdk().Password(), std::string(kLoginPassword));
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestPasswords::httpChangeSendsTheEncryptedPassword()
{
    const QString typed = QString::fromLatin1("P\xe4ssw\xf6rd-2");
    QCOMPARE(Change(Api::Http, typed), int(StatusOk));
    const fakedevice::ProtectionCheck check = m_bench->Http().LastProtection();
    QCOMPARE(check.path, std::string(kUserSetPath));
    QVERIFY(check.authenticationOk);
    QVERIFY(check.passwordDecrypted);
    QCOMPARE(check.password, Latin1(typed));
    QCOMPARE(m_bench->Http().State().password, Latin1(typed));

    fakedevice::HttpExchange exchange;
    QVERIFY(m_bench->Http().LastExchange(kUserSetPath, exchange));
    Json::Value body;
    QVERIFY(Json::Reader().parse(exchange.request.body, body));
    const Json::Value& admin = body["data"]["user_info"]["ADMIN"];
    QCOMPARE(admin["username"].asString(), std::string(kLoginUser));
    QVERIFY(admin["user_enable"].asBool());
    QVERIFY(admin["password_empty"].isBool() && !admin["password_empty"].asBool());
    QCOMPARE(admin["login_num"].asInt(), 3);
    QCOMPARE(body["data"]["type"].asString(), std::string("SavePassword"));
    QCOMPARE(body["version"].asString(), std::string("1.0"));
    // The password travels only encrypted.
    QVERIFY(exchange.request.body.find(Latin1(typed)) == std::string::npos);
    QVERIFY(exchange.request.body.find(typed.toStdString()) == std::string::npos);
    QVERIFY(exchange.request.body.find("rd-2") == std::string::npos);
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestPasswords::httpChangeFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("setSent");
    QTest::newRow("wrong old password") << "bad salt" << true;
    QTest::newRow("key request refused") << "key 500" << false;
    QTest::newRow("key reply not json") << "key html" << false;
    QTest::newRow("device key a small-order point") << "zero key" << false;
    QTest::newRow("reply not json") << "set html" << true;
    QTest::newRow("200 without result") << "no result" << true;
    QTest::newRow("200 with result failed") << "failed" << true;
}

void TestPasswords::httpChangeFailures()
{
    QFETCH(QString, fault);
    QFETCH(bool, setSent);
    HttpFaults faults;
    faults.path = fault.startsWith("key") || fault == "bad salt" ? kKeyPath : kUserSetPath;
    faults.status = fault == "key 500" ? 500 : 0;
    faults.notJson = fault.endsWith("html");
    faults.zeroDeviceKey = fault == "zero key";
    if (fault == "bad salt")
        faults.editReply = EditReplyOf(kKeyPath, &BreakSalt);
    if (fault == "no result")
        faults.editReply = EditReplyOf(kUserSetPath, [](Json::Value& reply) { reply.removeMember("result"); });
    if (fault == "failed")
        faults.editReply = EditReplyOf(kUserSetPath, [](Json::Value& reply) { reply["result"] = "failed"; });
    m_bench->Http().SetFaults(faults);

    QCOMPARE(Change(Api::Http, QStringLiteral("NewPass99")), int(StatusFailed));
    QCOMPARE(m_bench->Http().CountRequests(kUserSetPath), int(setSent));
    if (fault == "bad salt")
        QCOMPARE(m_bench->Http().State().password, std::string(kLoginPassword));
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestPasswords::initialiseSetsTheFirstPassword()
{
    m_bench->Http().Update([](fakedevice::HttpDeviceState& state) { state.initialised = false; });
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pInitialDevice);
    device->m_newPassword = QStringLiteral("First-Pass1");
    QVERIFY(m_bench->RunToEnd(&InitialTask, device.get()));
    const QVector<TaskReport> reports = m_bench->Log().Reports();
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports[0].status, int(StatusConnected)); // the worker is queued
    QCOMPARE(reports[1].status, int(StatusInitOk));
    QVERIFY(!reports[1].finished);
    QVERIFY(reports[1].onGuiThread);

    const fakedevice::HttpDeviceState state = m_bench->Http().State();
    QVERIFY(state.initialised);
    QCOMPARE(state.password, std::string("First-Pass1"));
    QCOMPARE(m_bench->Http().LastProtection().password, std::string("First-Pass1"));
    for (const char* flag : { "answer_flag", "email_flag", "certificate_flag", "super_pwd_flag" }) {
        QVERIFY(state.recoveryFlags[flag].isBool());
        QVERIFY(!state.recoveryFlags[flag].asBool());
    }
    // No session: an empty cookie and the token "Undefined".
    for (const char* path : { kLoginKeyPath, kFirstPasswordPath, kRecoveryPath }) {
        fakedevice::HttpExchange exchange;
        QVERIFY(m_bench->Http().LastExchange(path, exchange));
        QVERIFY(exchange.request.HasHeader("Cookie"));
        QCOMPARE(exchange.request.Header("Cookie"), std::string());
        QCOMPARE(exchange.request.Header("X-csrftoken"), std::string("Undefined"));
    }
}

void TestPasswords::initialiseFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("passwordSet");
    QTest::newRow("already initialised") << "initialised" << int(StatusNoFirstLogin) << false;
    QTest::newRow("key request refused") << "key 500" << int(StatusInitUnavailable) << false;
    QTest::newRow("key reply not json") << "key html" << int(StatusInitUnavailable) << false;
    QTest::newRow("device key a small-order point") << "zero key" << int(StatusInitUnavailable) << false;
    QTest::newRow("first password refused") << "password 500" << int(StatusInitFailed) << false;
    QTest::newRow("recovery refused after the password") << "recovery 500" << int(StatusInitFailed) << true;
}

void TestPasswords::initialiseFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(bool, passwordSet);
    m_bench->Http().Update([&](fakedevice::HttpDeviceState& state) { state.initialised = fault == "initialised"; });
    HttpFaults faults;
    faults.path = fault.startsWith("key") || fault == "zero key" ? kLoginKeyPath
        : fault.startsWith("password")                           ? kFirstPasswordPath
                                                                 : kRecoveryPath;
    faults.status = fault.endsWith("500") ? 500 : 0;
    faults.notJson = fault == "key html";
    faults.zeroDeviceKey = fault == "zero key";
    m_bench->Http().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pInitialDevice);
    device->m_newPassword = QStringLiteral("First-Pass1");

    QVERIFY(m_bench->RunToEnd(&InitialTask, device.get()));
    QCOMPARE(m_bench->LastReport().status, status);
    // Logged out, no work left and the queue drained: no second end can come.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_bench->EndReports(), 1);
    QCOMPARE(m_bench->Http().State().password, passwordSet ? std::string("First-Pass1") : std::string(kLoginPassword));
}

void TestPasswords::initialiseNeedsTheHttpApi()
{
    auto device = m_bench->MakeDevice(Api::Sdk, &DeviceInfo::m_pInitialDevice);
    OnOtherThread([&] { DeviceOps::InitializeDevice(device.get()); });
    QTRY_COMPARE(m_bench->Log().Count(), 1);
    QCOMPARE(m_bench->LastReport().status, int(StatusInitUnavailable));
    QCOMPARE(m_bench->Http().Exchanges().size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestPasswords)
#include "tst_passwords.moc"
