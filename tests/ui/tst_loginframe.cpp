// The login page and its configuration pages, driven through their widgets
// against fake devices of both kinds: the SDK protocol (customer code 0) and
// the HTTP JSON API (code 43). Each case checks what the page shows and what
// the device received or ended up with.

#include "Default.h"
#include "DeviceConfig.h"
#include "DeviceWire.h"
#include "HttpClient.h"
#include "InitPwdBox.h"
#include "LoginFrame.h"
#include "OperationFixtures.h"
#include "OperationPages.h"
#include "Reboot.h"
#include "UiTestSupport.h"
#include "User.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

#include <set>

using namespace TestSupport;
namespace wire = fakedevice::wire;

namespace
{
constexpr int kWaitMs = 20000;
const char* const kNewPassword = "Qz7#kp2Lw";

// Sends the page's probe to the fake device's web port instead of port 80,
// and remembers the addresses the page asked for.
class RedirectingAccess : public QNetworkAccessManager
{
public:
    explicit RedirectingAccess(int port)
        : m_port(port)
    {
        setProxy(QNetworkProxy::NoProxy);
    }

    QList<QUrl> asked;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* data) override
    {
        asked.append(request.url());
        QUrl url = request.url();
        url.setPort(m_port);
        QNetworkRequest redirected(request);
        redirected.setUrl(url);
        return QNetworkAccessManager::createRequest(op, redirected, data);
    }

private:
    int m_port;
};

// Counts the connection reports that reach the page.
class ConnectEventCounter : public QObject
{
public:
    explicit ConnectEventCounter(QObject* page)
        : m_page(page)
    {
        page->installEventFilter(this);
    }
    ~ConnectEventCounter() override { m_page->removeEventFilter(this); }

    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == static_cast<QEvent::Type>(ConnectEvent))
            ++count;
        return false;
    }

private:
    QObject* m_page;
};

QString Text(int id)
{
    return QStringLiteral("T%1").arg(id);
}
} // namespace

class TestLoginFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void firstLoginFlag_data();
    void firstLoginFlag();
    void firstPasswordThroughProbe();
    void firstPasswordThroughTheProgramsBox();
    void firstPasswordCutOnACharacterBoundary();
    void probeFailureClearsFlag();
    void probeAnswerForAnotherAddressIsDropped();
    void firstPasswordGoesWhereTheProbeAsked();
    void silentProbeEndsAtItsTimeout();
    void httpCodeNeverProbes();

    void stateLabels_data();
    void stateLabels();
    void lockedLoginLocksButton();
    void labelsByCustomerCode_data();
    void labelsByCustomerCode();

    void userPasswordCheck_data();
    void userPasswordCheck();
    void sdkSession();
    void sdkUserRecordsByteByByte_data();
    void sdkUserRecordsByteByByte();
    void sdkDefaultsByGroup();
    void sdkDefaultBlockByCode_data();
    void sdkDefaultBlockByCode();
    void httpSession();
    void httpDefaultsBodyInKeyOrder();
    void httpDefaultsOfOfferedGroupsOnly_data();
    void httpDefaultsOfOfferedGroupsOnly();
    void httpUserNameAsJsonText_data();
    void httpUserNameAsJsonText();
    void httpUserRefusedLogsOut();
    void droppedSessionKeepsPageUsable_data();
    void droppedSessionKeepsPageUsable();
    void doubleClickOtherDeviceLogsOut();
    void emptyInputForJsonLogin_data();
    void emptyInputForJsonLogin();

private:
    // The page with its session logged in to the device at ip and port.
    void LogIn(const std::string& ip, int port, const QString& user, const QString& password);
    // A rebooting device may refuse a login or two until it is back.
    bool LogInAfterReboot(const std::string& ip, int port)
    {
        ConnectEventCounter counter(m_page.get());
        for (int attempt = 0; attempt < 10; ++attempt) {
            const int before = counter.count;
            LogIn(ip, port, QStringLiteral("admin"), QStringLiteral("admin123"));
            if (!QTest::qWaitFor([&] { return counter.count > before; }, kWaitMs))
                return false;
            if (m_page->Session().m_state == 101)
                return QTest::qWaitFor([this] { return m_page->Config()->isEnabled(); }, kWaitMs);
        }
        return false;
    }
    void Click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
    }
    void SetCompany(int company);

    std::unique_ptr<OperationEnvironment> m_environment;
    std::unique_ptr<LoginFrame> m_page;
};

void TestLoginFrame::initTestCase()
{
    m_environment = std::make_unique<OperationEnvironment>();
}

void TestLoginFrame::cleanupTestCase()
{
    m_environment.reset();
}

void TestLoginFrame::init()
{
    SetCompany(0);
    LoginFrame::SetFirstLoginPending(false);
}

void TestLoginFrame::cleanup()
{
    m_page.reset();
    LoginFrame::SetFirstPasswordPrompt({});
    ZVAppSetting::Instance()->m_company = 0;
}

void TestLoginFrame::SetCompany(int company)
{
    m_page.reset();
    ZVAppSetting::Instance()->m_company = company;
    m_page = std::make_unique<LoginFrame>();
    m_page->resize(1000, 600);
    m_page->show();
}

void TestLoginFrame::LogIn(const std::string& ip, int port, const QString& user, const QString& password)
{
    m_page->IpEdit()->setText(QString::fromStdString(ip));
    m_page->PortEdit()->setText(QString::number(port));
    m_page->UserEdit()->setText(user);
    m_page->PasswordEdit()->setText(password);
    Click(m_page->LoginButton());
}

// ---- first-login probe ---------------------------------------------------------------------------

void TestLoginFrame::firstLoginFlag_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("flag");
    QTest::newRow("one separator, 1") << QByteArray("MediaPort=9611\r\nFirstLoginFlag=1\r\n") << 1;
    QTest::newRow("one separator, 0") << QByteArray("FirstLoginFlag=0") << 0;
    QTest::newRow("12 reads one digit") << QByteArray("FirstLoginFlag:12") << 1;
    QTest::newRow("two separators") << QByteArray("FirstLoginFlag: 1") << 0;
    QTest::newRow("key ends the body") << QByteArray("xFirstLoginFlag") << 0;
    QTest::newRow("separator ends the body") << QByteArray("FirstLoginFlag=") << 0;
    // Without the key nothing is read, whatever stands at position 14.
    QTest::newRow("no key, digit at 14") << QByteArray("MediaPort=9611;1;") << 0;
    QTest::newRow("empty body") << QByteArray() << 0;
    QTest::newRow("key in other case") << QByteArray("firstloginflag=1") << 0;
}

void TestLoginFrame::firstLoginFlag()
{
    QFETCH(QByteArray, body);
    QFETCH(int, flag);
    QCOMPARE(LoginFrame::FirstLoginFlag(body), flag);
}

void TestLoginFrame::firstPasswordThroughProbe()
{
    auto sdk = SdkDevice(1, [](DeviceState& s) { s.firstLogin = true; });
    auto web = HttpDevice(1, [](HttpDeviceState& s) { s.initialised = false; });
    QVERIFY(sdk && web);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    int prompts = 0;
    LoginFrame::SetFirstPasswordPrompt([&prompts](QWidget*) {
        ++prompts;
        return QString::fromLatin1(kNewPassword);
    });
    const std::string ip = OperationEnvironment::Address(1);
    m_page->IpEdit()->setText(QString::fromStdString(ip));
    m_page->PortEdit()->setText(QString::number(sdk->State().mediaPort));
    m_page->UserEdit()->setText(QStringLiteral("admin"));

    // Shown, the page probes; the probe finds the device without a password.
    emit m_page->IsLoginFrame();
    QTRY_VERIFY_WITH_TIMEOUT(!sdk->State().firstLogin, kWaitMs);
    QCOMPARE(sdk->CountReceived(wire::Login), 0);
    QCOMPARE(prompts, 1);
    QCOMPARE(sdk->Password(), std::string(kNewPassword));
    QCOMPARE(access.asked.size(), 1);
    // Without a session handed over the save's report shows "no session".
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(16), kWaitMs);
    QCOMPARE(access.asked[0].toString(), QString::fromStdString("http://" + ip + "/new-cgi-bin/mediaport.cgi"));
    QCOMPARE(web->CountRequests("/new-cgi-bin/mediaport.cgi"), 1);
    QCOMPARE(m_page->PasswordEdit()->text(), QString::fromLatin1(kNewPassword));
    QVERIFY(!LoginFrame::FirstLoginPending());
    QCOMPARE(m_page->Session().m_state, 125);

    // Again without a password; a click while the first password is pending only hands
    // the session to the configuration and probes, and the save's report shows the state
    // the page set.
    sdk->Update([](DeviceState& s) { s.firstLogin = true; });
    LoginFrame::SetFirstLoginPending(true);
    Click(m_page->LoginButton());
    QTRY_VERIFY_WITH_TIMEOUT(!sdk->State().firstLogin, kWaitMs);
    QCOMPARE(sdk->CountReceived(wire::Login), 0);
    QCOMPARE(prompts, 2);
    QCOMPARE(m_page->Session().m_state, 125);
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(156), kWaitMs);
    QVERIFY(!m_page->Config()->isEnabled());

    // The device has its password now: the next click logs in with it.
    web->Update([](HttpDeviceState& s) { s.initialised = true; });
    Click(m_page->LoginButton());
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    QCOMPARE(m_page->Session().m_password, QString::fromLatin1(kNewPassword));
    QVERIFY(m_page->Config()->isEnabled());
    QCOMPARE(access.asked.size(), 3);
}

// The field holds 255 bytes and a NUL: a longer password loses whole letters only.
void TestLoginFrame::firstPasswordCutOnACharacterBoundary()
{
    auto sdk = SdkDevice(16, [](DeviceState& s) { s.firstLogin = true; });
    auto web = HttpDevice(16, [](HttpDeviceState& s) { s.initialised = false; });
    QVERIFY(sdk && web);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    LoginFrame::SetFirstPasswordPrompt([](QWidget*) { return QString(130, QChar(0xe9)); }); // 260 bytes
    m_page->IpEdit()->setText(QString::fromStdString(OperationEnvironment::Address(16)));
    m_page->PortEdit()->setText(QString::number(sdk->State().mediaPort));
    m_page->UserEdit()->setText(QStringLiteral("admin"));

    emit m_page->IsLoginFrame();
    QTRY_VERIFY_WITH_TIMEOUT(!sdk->State().firstLogin, kWaitMs);
    QCOMPARE(QByteArray::fromStdString(sdk->Password()), QString(127, QChar(0xe9)).toUtf8());
    // The save's report has come: nothing of it is left running.
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(16), kWaitMs);
    QVERIFY(!LoginFrame::FirstLoginPending());
}

void TestLoginFrame::firstPasswordThroughTheProgramsBox()
{
    // The page as the program makes it asks in the first-password box.
    m_page.reset(static_cast<LoginFrame*>(OperationPages().CreateLoginPage(nullptr)));
    m_page->resize(1000, 600);
    m_page->show();
    auto sdk = SdkDevice(4, [](DeviceState& s) { s.firstLogin = true; });
    auto web = HttpDevice(4, [](HttpDeviceState& s) { s.initialised = false; });
    QVERIFY(sdk && web);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    DialogAnswerer answerer(DialogAnswerer::ClickOk);
    // A weak password first (refused by a message), then one the rule accepts.
    answerer.SetNextAction([](BaseDialog* dialog) {
        auto* box = qobject_cast<InitPwdBox*>(dialog->Content());
        QVERIFY(box);
        QTest::keyClicks(box->PasswordEdit(), QStringLiteral("Zqwert7#"));
        QTest::keyClicks(box->ConfirmEdit(), QStringLiteral("Zqwert7#"));
        QTest::mouseClick(box->OkButton(), Qt::LeftButton);
        box->PasswordEdit()->clear();
        box->ConfirmEdit()->clear();
        QTest::keyClicks(box->PasswordEdit(), QString::fromLatin1(kNewPassword));
        QTest::keyClicks(box->ConfirmEdit(), QString::fromLatin1(kNewPassword));
        QTest::mouseClick(box->OkButton(), Qt::LeftButton);
    });
    const std::string ip = OperationEnvironment::Address(4);
    m_page->IpEdit()->setText(QString::fromStdString(ip));
    m_page->PortEdit()->setText(QString::number(sdk->State().mediaPort));
    m_page->UserEdit()->setText(QStringLiteral("admin"));
    m_page->PasswordEdit()->setText(QStringLiteral("admin123"));

    emit m_page->IsLoginFrame();
    QTRY_VERIFY_WITH_TIMEOUT(!sdk->State().firstLogin, kWaitMs);
    QCOMPARE(sdk->Password(), std::string(kNewPassword));
    QCOMPARE(sdk->CountReceived(wire::Login), 0);
    QCOMPARE(answerer.Dialogs().size(), 2);
    QCOMPARE(answerer.Dialogs()[0].title, Text(154));
    QCOMPARE(answerer.Dialogs()[1].text, Text(150) + QLatin1Char('\n') + Text(151) + QLatin1Char('\n') + Text(152));
    QCOMPARE(m_page->PasswordEdit()->text(), QString::fromLatin1(kNewPassword));
    QVERIFY(!LoginFrame::FirstLoginPending());

    // The device has its password: the login uses it.
    web->Update([](HttpDeviceState& s) { s.initialised = true; });
    Click(m_page->LoginButton());
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 101, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    QCOMPARE(m_page->Session().m_password, QString::fromLatin1(kNewPassword));
    QCOMPARE(sdk->CountReceived(wire::Login), 1);
    QCOMPARE(answerer.Dialogs().size(), 2);
}

void TestLoginFrame::probeFailureClearsFlag()
{
    // A pending first password blocks the login of the probing codes; a probe
    // that reaches nobody clears it, and the login goes ahead.
    auto sdk = SdkDevice(2);
    QVERIFY(sdk);
    RedirectingAccess access(1); // nothing listens there
    m_page->SetNetworkAccess(&access);
    LoginFrame::SetFirstLoginPending(true);
    LogIn(
        OperationEnvironment::Address(2), sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_VERIFY_WITH_TIMEOUT(!LoginFrame::FirstLoginPending(), kWaitMs);
    QCOMPARE(sdk->CountReceived(wire::Login), 0);
    Click(m_page->LoginButton());
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 101, kWaitMs);
    QCOMPARE(m_page->Config()->InfoLabel()->text(), Text(15));
}

void TestLoginFrame::probeAnswerForAnotherAddressIsDropped()
{
    // The probe asks the device at .19, which has no password; its answer,
    // slowed down, comes once the edit holds another device.
    auto asked = SdkDevice(19, [](DeviceState& s) { s.firstLogin = true; });
    auto other = SdkDevice(20, [](DeviceState& s) { s.firstLogin = true; });
    auto web = HttpDevice(19, [](HttpDeviceState& s) { s.initialised = false; });
    QVERIFY(asked && other && web);
    HttpFaults slow;
    slow.path = "/new-cgi-bin/mediaport.cgi";
    slow.delayMs = 300;
    web->SetFaults(slow);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    QSignalSpy answers(&access, &QNetworkAccessManager::finished);
    int prompts = 0;
    LoginFrame::SetFirstPasswordPrompt([&prompts](QWidget*) {
        ++prompts;
        return QString::fromLatin1(kNewPassword);
    });
    m_page->IpEdit()->setText(QString::fromStdString(OperationEnvironment::Address(19)));
    m_page->PortEdit()->setText(QString::number(asked->State().mediaPort));
    emit m_page->IsLoginFrame();
    m_page->IpEdit()->setText(QString::fromStdString(OperationEnvironment::Address(20)));
    m_page->PortEdit()->setText(QString::number(other->State().mediaPort));

    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 1, kWaitMs);
    QCOMPARE(web->CountRequests("/new-cgi-bin/mediaport.cgi"), 1);
    QCoreApplication::sendPostedEvents();
    // Dropped: no question, no first password sent anywhere, no flag set.
    QCOMPARE(prompts, 0);
    QVERIFY(!LoginFrame::FirstLoginPending());
    for (FakeDevice* device : { asked.get(), other.get() }) {
        QCOMPARE(device->CountReceived(wire::SavePassword), 0);
        QVERIFY(device->State().firstLogin);
    }
}

void TestLoginFrame::firstPasswordGoesWhereTheProbeAsked()
{
    // While the first-password box is open the edits come to hold another
    // device; the password goes to the device the probe asked.
    auto asked = SdkDevice(21, [](DeviceState& s) { s.firstLogin = true; });
    auto other = SdkDevice(22, [](DeviceState& s) { s.firstLogin = true; });
    auto web = HttpDevice(21, [](HttpDeviceState& s) { s.initialised = false; });
    QVERIFY(asked && other && web);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    const QString otherIp = QString::fromStdString(OperationEnvironment::Address(22));
    const QString otherPort = QString::number(other->State().mediaPort + 1);
    LoginFrame::SetFirstPasswordPrompt([this, otherIp, otherPort](QWidget*) {
        m_page->IpEdit()->setText(otherIp);
        m_page->PortEdit()->setText(otherPort);
        return QString::fromLatin1(kNewPassword);
    });
    m_page->IpEdit()->setText(QString::fromStdString(OperationEnvironment::Address(21)));
    m_page->PortEdit()->setText(QString::number(asked->State().mediaPort));
    emit m_page->IsLoginFrame();

    QTRY_VERIFY_WITH_TIMEOUT(!asked->State().firstLogin, kWaitMs);
    QCOMPARE(asked->Password(), std::string(kNewPassword));
    QCOMPARE(asked->CountReceived(wire::SavePassword), 1);
    QCOMPARE(other->CountReceived(wire::SavePassword), 0);
    QVERIFY(other->State().firstLogin);
    QVERIFY(!LoginFrame::FirstLoginPending());
}

void TestLoginFrame::silentProbeEndsAtItsTimeout()
{
    // A device that reads the probe and never answers: the probe ends failed
    // within its bound, which clears the pending first password.
    auto sdk = SdkDevice(23);
    auto web = HttpDevice(23);
    QVERIFY(sdk && web);
    HttpFaults silent;
    silent.path = "/new-cgi-bin/mediaport.cgi";
    silent.neverAnswer = true;
    web->SetFaults(silent);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    QSignalSpy answers(&access, &QNetworkAccessManager::finished);
    LoginFrame::SetFirstLoginPending(true);
    m_page->IpEdit()->setText(QString::fromStdString(OperationEnvironment::Address(23)));
    m_page->PortEdit()->setText(QString::number(sdk->State().mediaPort));
    emit m_page->IsLoginFrame();
    QVERIFY(web->WaitRequests("/new-cgi-bin/mediaport.cgi", 1, kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 1, LoginFrame::kProbeTimeoutMs + kWaitMs);
    QVERIFY(!LoginFrame::FirstLoginPending());
    QCOMPARE(sdk->CountReceived(wire::SavePassword), 0);
}

void TestLoginFrame::httpCodeNeverProbes()
{
    SetCompany(43);
    auto web = HttpDevice(3);
    QVERIFY(web);
    RedirectingAccess access(web->Port());
    m_page->SetNetworkAccess(&access);
    LoginFrame::SetFirstLoginPending(true);
    emit m_page->IsLoginFrame();
    LogIn(OperationEnvironment::Address(3), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    QCOMPARE(m_page->Session().m_state, 101);
    QVERIFY(access.asked.isEmpty());
    QCOMPARE(web->CountRequests("/new-cgi-bin/mediaport.cgi"), 0);
}

// ---- states and labels ---------------------------------------------------------------------------

void TestLoginFrame::stateLabels_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("label");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("locked");
    QTest::newRow("no session") << false << 3 << 16 << false << false;
    QTest::newRow("closed") << true << 3 << 16 << false << false;
    QTest::newRow("login sent") << true << 100 << 16 << false << false;
    QTest::newRow("logged in") << true << 101 << 15 << true << false;
    QTest::newRow("failed") << true << 2 << 16 << false << false;
    QTest::newRow("parameter error") << true << 103 << 16 << false << false;
    QTest::newRow("refused") << true << 104 << 18 << false << false;
    QTest::newRow("wrong password") << true << 105 << 16 << false << false;
    QTest::newRow("locked") << true << 112 << 189 << false << true;
    QTest::newRow("first password saved") << true << 125 << 156 << false << false;
    QTest::newRow("status 156") << true << 156 << 16 << false << false;
}

void TestLoginFrame::stateLabels()
{
    QFETCH(bool, session);
    QFETCH(int, state);
    QFETCH(int, label);
    QFETCH(bool, enabled);
    QFETCH(bool, locked);
    DeviceConfig* config = m_page->Config();
    if (session)
        config->SetDevice(&m_page->Session());
    m_page->Session().m_state = state;
    // The label shows the session's state when the event is handled, not the event's code.
    QCoreApplication::postEvent(m_page.get(), new QConnectEvent(state == 101 ? 2 : 101));
    QTRY_COMPARE_WITH_TIMEOUT(config->InfoLabel()->text(), Text(label), kWaitMs);
    QCOMPARE(config->isEnabled(), enabled);
    QCOMPARE(m_page->LoginButton()->isEnabled(), !locked);
    QCOMPARE(m_page->LockTimer()->isActive(), locked);
    if (locked) {
        QCOMPARE(m_page->LockTimer()->interval(), 30000);
        // The lock's end frees the button and clears the label.
        m_page->StopTimer();
        QVERIFY(m_page->LoginButton()->isEnabled());
        QVERIFY(config->InfoLabel()->text().isEmpty());
    }
    m_page->Session().m_state = 3;
}

void TestLoginFrame::lockedLoginLocksButton()
{
    auto sdk = SdkDevice(4);
    QVERIFY(sdk);
    fakedevice::Faults faults;
    faults.loginCode = 112;
    sdk->SetFaults(faults);
    LogIn(
        OperationEnvironment::Address(4), sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(189), kWaitMs);
    QVERIFY(!m_page->LoginButton()->isEnabled());
    QVERIFY(m_page->LockTimer()->isActive());
    QVERIFY(!m_page->Config()->isEnabled());
}

void TestLoginFrame::labelsByCustomerCode_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("portShown");
    QTest::addColumn<QString>("style");
    QTest::newRow("0") << 0 << Text(33) << Text(12) << true << QString();
    QTest::newRow("31") << 31 << Text(33) << Text(12) << false << QString();
    QTest::newRow("40") << 40 << Text(33) << QStringLiteral("User Name") << true
                        << QStringLiteral("QLabel{ font: bold;}");
    QTest::newRow("43") << 43 << Text(42) << Text(12) << true << QString();
}

void TestLoginFrame::labelsByCustomerCode()
{
    QFETCH(int, company);
    QFETCH(QString, port);
    QFETCH(QString, user);
    QFETCH(bool, portShown);
    QFETCH(QString, style);
    SetCompany(company);
    QCOMPARE(m_page->PortLabel()->text(), port);
    QCOMPARE(m_page->UserLabel()->text(), user);
    QCOMPARE(m_page->PortLabel()->isVisible(), portShown);
    QCOMPARE(m_page->PortEdit()->isVisible(), portShown);
    QCOMPARE(m_page->UserLabel()->styleSheet(), style);
    QCOMPARE(m_page->LoginButton()->styleSheet(), style);
    QCOMPARE(m_page->LoginButton()->text(), Text(84));
}

void TestLoginFrame::userPasswordCheck_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<int>("text");
    QTest::newRow("empty") << 30 << QString() << QString() << 80;
    QTest::newRow("mismatch") << 30 << QStringLiteral("Kq7#mZ2p") << QStringLiteral("Kq7#mZ2q") << 81;
    QTest::newRow("7 characters") << 30 << QStringLiteral("Kq7#mZ2") << QStringLiteral("Kq7#mZ2") << 149;
    QTest::newRow("16 characters") << 30 << QStringLiteral("Kq7#mZ2pKq7#mZ2p") << QStringLiteral("Kq7#mZ2pKq7#mZ2p")
                                   << 149;
    QTest::newRow("four identical") << 30 << QStringLiteral("Kq7aaaa#") << QStringLiteral("Kq7aaaa#") << 153;
    QTest::newRow("three identical") << 30 << QStringLiteral("Kq7aaa#Z") << QStringLiteral("Kq7aaa#Z") << 79;
    QTest::newRow("four rising") << 30 << QStringLiteral("Kq#6789Z") << QStringLiteral("Kq#6789Z") << 153;
    QTest::newRow("other then three rising") << 30 << QStringLiteral("Kq/012Zm") << QStringLiteral("Kq/012Zm") << 79;
    QTest::newRow("four keys forward") << 30 << QStringLiteral("K7#qwer!") << QStringLiteral("K7#qwer!") << 153;
    QTest::newRow("four keys backward") << 30 << QStringLiteral("K7#rewq!") << QStringLiteral("K7#rewq!") << 153;
    QTest::newRow("direction change") << 30 << QStringLiteral("K7#qwewq") << QStringLiteral("K7#qwewq") << 79;
    QTest::newRow("mixed case breaks keys") << 30 << QStringLiteral("K7#qwEr!") << QStringLiteral("K7#qwEr!") << 79;
    QTest::newRow("9 characters, two classes")
        << 30 << QStringLiteral("kqzmxpwnt") << QStringLiteral("kqzmxpwnt") << 153;
    QTest::newRow("10 characters, two classes")
        << 30 << QStringLiteral("kqzmxpwnt7") << QStringLiteral("kqzmxpwnt7") << 79;
    // Outside the rule's codes any matching password will do, as far as the field takes it.
    QTest::newRow("code 43, weak") << 43 << QStringLiteral("aaaa") << QStringLiteral("aaaa") << 79;
    QTest::newRow("code 0 without the capability") << 0 << QStringLiteral("aaaa") << QStringLiteral("aaaa") << 79;
}

void TestLoginFrame::userPasswordCheck()
{
    QFETCH(int, company);
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(int, text);
    SetCompany(company);
    User* user = m_page->Config()->m_pUser;
    ZVDevice& session = m_page->Session();
    std::memset(session.m_devInfo, 0, sizeof(session.m_devInfo));
    session.m_devInfo[offsetof(ZVNetDevInfo, userFieldFlags)] = ZVNET_DEVINFO_LONG_USER_FIELDS;
    user->m_pDevice = &session;
    user->NewPasswordEdit()->setText(password);
    user->ConfirmPasswordEdit()->setText(confirm);
    QCOMPARE(user->CheckPassword(), text);
}

// ---- SDK protocol ---------------------------------------------------------------------------------

void TestLoginFrame::sdkSession()
{
    auto sdk = SdkDevice(5);
    QVERIFY(sdk);
    const std::string ip = OperationEnvironment::Address(5);
    const int port = sdk->State().mediaPort;

    // A wrong password shows the failure and keeps the configuration off.
    LogIn(ip, port, QStringLiteral("admin"), QStringLiteral("wrong"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 105, kWaitMs);
    QCOMPARE(m_page->Config()->InfoLabel()->text(), Text(16));
    QVERIFY(!m_page->Config()->isEnabled());

    LogIn(ip, port, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    QVERIFY(m_page->Config()->isEnabled());
    QVERIFY(m_page->Session().m_handle != 0);
    // The login delivered the device information block.
    QCOMPARE(m_page->Session().m_devInfo[offsetof(ZVNetDevInfo, deviceKind)], uint8_t('1'));

    // Reboot through the page's own button, while Set stays hidden.
    DeviceConfig* config = m_page->Config();
    QVERIFY(config->SetButton()->isHidden());
    Click(config->m_pReboot->RebootButton());
    QCOMPARE(config->InfoLabel()->text(), Text(75));
    QCOMPARE(sdk->State().reboots, 1);
    QCOMPARE(m_page->Session().m_state, 101);

    // The user password: checked first, then set; the device then takes only the new one.
    QVERIFY(LogInAfterReboot(ip, port));
    Click(config->UserPageButton());
    QVERIFY(config->SetButton()->isVisible());
    QCOMPARE(config->InfoLabel()->text(), Text(15)); // switching pages keeps the label
    User* user = config->m_pUser;
    user->NewPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    user->ConfirmPasswordEdit()->setText(QStringLiteral("other"));
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(81));
    QCOMPARE(sdk->CountReceived(wire::SetParam), 0);
    user->ConfirmPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    QCOMPARE(sdk->Password(), std::string(kNewPassword));
    // The page logged in again with the new password.
    QCOMPARE(m_page->PasswordEdit()->text(), QString::fromLatin1(kNewPassword));
    QTRY_COMPARE_WITH_TIMEOUT(config->InfoLabel()->text(), Text(15), kWaitMs);
    QCOMPARE(m_page->Session().m_password, QString::fromLatin1(kNewPassword));
    QTRY_COMPARE_WITH_TIMEOUT(sdk->LoggedInSessions(), 1, kWaitMs);
    // A login click clears the user page's edits.
    LogIn(ip, port, QStringLiteral("admin"), QStringLiteral("admin123"));
    QVERIFY(user->NewPasswordEdit()->text().isEmpty());
    QVERIFY(user->ConfirmPasswordEdit()->text().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 105, kWaitMs);

    // Logging out ends the device's session.
    m_page->Session().Logout();
    QTRY_COMPARE_WITH_TIMEOUT(sdk->LoggedInSessions(), 0, kWaitMs);
    QCOMPARE(m_page->Session().m_state, 3);
}

void TestLoginFrame::sdkUserRecordsByteByByte_data()
{
    QTest::addColumn<bool>("longFields");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("long fields") << true << QStringLiteral("Lw2#kq9Pz7") << true;
    QTest::newRow("short fields, 8 bytes") << false << QStringLiteral("Lw2#kq9P") << true;
    // Cut to 8 bytes, the device would take another password than the one
    // reported as set: refused with the length text.
    QTest::newRow("short fields, 12 characters") << false << QStringLiteral("Lw2#kq9Pz7Xy") << false;
    QTest::newRow("not Latin-1") << true << QStringLiteral("Lw2#kq9P\u20ac") << false;
}

void TestLoginFrame::sdkUserRecordsByteByByte()
{
    QFETCH(bool, longFields);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    auto sdk = SdkDevice(6, [&](DeviceState& s) {
        s.longUserFields = longFields;
        s.users.push_back({ "guest", "guest1" });
    });
    QVERIFY(sdk);
    LogIn(
        OperationEnvironment::Address(6), sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 101, kWaitMs);
    const fakedevice::Bytes before = sdk->State().UserRecords();
    DeviceConfig* config = m_page->Config();
    Click(config->UserPageButton());
    config->m_pUser->NewPasswordEdit()->setText(password);
    config->m_pUser->ConfirmPasswordEdit()->setText(password);
    sdk->ClearReceived();
    Click(config->SetButton());
    if (!accepted) {
        QCOMPARE(config->InfoLabel()->text(), Text(149));
        QCOMPARE(sdk->CountReceived(wire::SetParam), 0);
        QCOMPARE(sdk->Password(), std::string("admin123"));
        return;
    }
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    fakedevice::Received set;
    for (const fakedevice::Received& received : sdk->ReceivedRequests())
        if (received.type == wire::SetParam)
            set = received;
    const size_t record = sizeof(ZVNetUserParam);
    QCOMPARE(set.payload.size(), 16 + 2 * record);
    QCOMPARE(wire::U32(set.payload.data()), uint32_t(ZVNET_PARAM_USERS));
    // Every byte as read except the first record's name, password and change flag.
    fakedevice::Bytes expected(before.begin(), before.end());
    const QByteArray bytes = password.toLatin1();
    const size_t passwordAt = longFields ? 80 : 8;
    const size_t nameAt = longFields ? 112 : 16;
    const size_t width = longFields ? 32 : 8;
    std::fill(expected.begin() + passwordAt, expected.begin() + passwordAt + width, 0);
    std::fill(expected.begin() + nameAt, expected.begin() + nameAt + width, 0);
    std::copy(bytes.begin(), bytes.end(), expected.begin() + passwordAt);
    const std::string name = "admin";
    std::copy(name.begin(), name.end(), expected.begin() + nameAt);
    expected[34] = 1;
    const fakedevice::Bytes written(set.payload.begin() + 16, set.payload.end());
    QCOMPARE(written, expected);
    QCOMPARE(sdk->Password(), bytes.toStdString());
    QCOMPARE(sdk->State().users.at(1).password, std::string("guest1"));
}

void TestLoginFrame::sdkDefaultsByGroup()
{
    auto sdk = SdkDevice(7, [](DeviceState& s) {
        s.deviceKind = '2';
        s.networkChoice = 4;
    });
    QVERIFY(sdk);
    sdk->Update([](DeviceState& s) {
        for (auto& setting : s.groupSettings)
            setting.second = "changed";
    });
    LogIn(
        OperationEnvironment::Address(7), sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 101, kWaitMs);
    DeviceConfig* config = m_page->Config();
    Default* page = config->m_pDefault;
    Click(config->DefaultPageButton());
    // Device kind "2": its own texts, no intelligent box, no alarm box.
    QCOMPARE(page->m_pChkDisplay->text(), Text(34));
    QVERIFY(page->m_pChkAdvanced->isHidden());
    QVERIFY(page->m_pChkIntel->isHidden());
    QVERIFY(page->m_pChkAlarm->isHidden());

    // Nothing chosen: refused before anything is sent.
    sdk->ClearReceived();
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(82));
    QCOMPARE(sdk->CountReceived(wire::SetParam), 0);

    page->m_pChkRecord->setChecked(true);
    Click(page->m_pChkNetWork);
    QVERIFY(!page->m_pChkNetWork_2->isHidden()); // the device offers the choice
    Click(page->m_pChkNetWork_3);
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    fakedevice::Received set;
    for (const fakedevice::Received& received : sdk->ReceivedRequests())
        if (received.type == wire::SetParam)
            set = received;
    QCOMPARE(set.payload.size(), 16 + sizeof(ZVNetDefaultParam));
    QCOMPARE(wire::U32(set.payload.data()), uint32_t(ZVNET_PARAM_DEFAULT));
    const fakedevice::Bytes block(set.payload.begin() + 16, set.payload.end());
    fakedevice::Bytes expected(sizeof(ZVNetDefaultParam), 0);
    expected[0] = sizeof(ZVNetDefaultParam);
    expected[offsetof(ZVNetDefaultParam, record)] = 1;
    expected[offsetof(ZVNetDefaultParam, network)] = ZVNET_DEFAULT_NETWORK_ALL;
    QCOMPARE(block, expected);
    const DeviceState now = sdk->State();
    QCOMPARE(now.groupSettings.at("record"), std::string("factory"));
    QCOMPARE(now.groupSettings.at("alarm"), std::string("changed"));
    QCOMPARE(now.groupSettings.at("advanced"), std::string("changed"));
}

void TestLoginFrame::sdkDefaultBlockByCode_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<char>("kind");
    QTest::addColumn<QByteArray>("block"); // bytes 4..12 of ZVNetDefaultParam
    // Code 12 shows the advanced box for device kind "2", and with it goes the alarm byte.
    QTest::newRow("code 12, kind 2, advanced") << 12 << '2' << QByteArray("\0\0\0\1\0\0\1\0\0", 9);
    // Code 34: "all" unticked leaves the shown radios, and the network byte follows the checked one.
    QTest::newRow("code 34, all then none, record") << 34 << '1' << QByteArray("\0\1\1\0\0\0\0\0\0", 9);
}

void TestLoginFrame::sdkDefaultBlockByCode()
{
    QFETCH(int, company);
    QFETCH(char, kind);
    QFETCH(QByteArray, block);
    SetCompany(company);
    auto sdk = SdkDevice(14, [kind](DeviceState& s) {
        s.deviceKind = kind;
        s.networkChoice = 4;
    });
    QVERIFY(sdk);
    LogIn(
        OperationEnvironment::Address(14), sdk->State().mediaPort, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 101, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_page->Config()->isEnabled(), kWaitMs);
    DeviceConfig* config = m_page->Config();
    Default* page = config->m_pDefault;
    Click(config->DefaultPageButton());
    if (company == 12) {
        QVERIFY(!page->m_pChkAdvanced->isHidden());
        Click(page->m_pChkAdvanced);
    } else {
        QVERIFY(!page->m_pChkAll->isHidden());
        Click(page->m_pChkNetWork);
        Click(page->m_pChkNetWork_3);
        Click(page->m_pChkAll);
        QVERIFY(page->m_pChkDevice->isChecked());
        Click(page->m_pChkAll);
        QVERIFY(!page->m_pChkNetWork->isChecked());
        QVERIFY(!page->m_pChkNetWork_3->isHidden());
        QVERIFY(page->m_pChkNetWork_3->isChecked());
        Click(page->m_pChkRecord);
    }
    sdk->ClearReceived();
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    fakedevice::Received set;
    for (const fakedevice::Received& received : sdk->ReceivedRequests())
        if (received.type == wire::SetParam)
            set = received;
    QCOMPARE(set.payload.size(), 16 + sizeof(ZVNetDefaultParam));
    const QByteArray sent(reinterpret_cast<const char*>(set.payload.data()) + 16 + 4, 9);
    QCOMPARE(sent.toHex(), block.toHex());
}

// ---- HTTP JSON API ---------------------------------------------------------------------------------

void TestLoginFrame::httpSession()
{
    SetCompany(43);
    auto web = HttpDevice(8);
    QVERIFY(web);
    const std::string ip = OperationEnvironment::Address(8);
    LogIn(ip, web->Port(), QStringLiteral("admin"), QStringLiteral("wrong"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 105, kWaitMs);
    QCOMPARE(m_page->Config()->InfoLabel()->text(), Text(16));

    LogIn(ip, web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    QVERIFY(!m_page->Session().m_cookie.empty());
    QCOMPARE(web->Sessions(), 1);
    // The reset range was asked at the login.
    QCOMPARE(web->CountRequests("/API/Maintenance/Reset/Range"), 1);

    DeviceConfig* config = m_page->Config();
    Click(config->m_pReboot->RebootButton());
    QCOMPARE(config->InfoLabel()->text(), Text(75));
    QTRY_COMPARE_WITH_TIMEOUT(web->State().reboots, 1, kWaitMs);
    fakedevice::HttpExchange reboot;
    QVERIFY(web->LastExchange("/API/Maintenance/DeviceReboot/Set", reboot));
    QVERIFY(web->LastProtection().authenticationOk);

    QVERIFY(LogInAfterReboot(ip, web->Port()));
    Click(config->UserPageButton());
    config->m_pUser->NewPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    config->m_pUser->ConfirmPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    const fakedevice::ProtectionCheck check = web->LastProtection();
    QCOMPARE(check.path, std::string("/API/SystemConfig/User/Set"));
    QVERIFY(check.authenticationOk);
    QCOMPARE(check.password, std::string(kNewPassword));
    QCOMPARE(web->State().password, std::string(kNewPassword));
    fakedevice::HttpExchange set;
    QVERIFY(web->LastExchange("/API/SystemConfig/User/Set", set));
    Json::Value body;
    Json::CharReaderBuilder builder;
    std::string errors;
    QVERIFY(ParseJsonText(builder, set.request.body, body, errors));
    const Json::Value& admin = body["data"]["user_info"]["ADMIN"];
    QCOMPARE(admin["username"].asString(), std::string("admin"));
    QCOMPARE(admin["login_num"].asInt(), 3);
    QCOMPARE(admin["password_empty"].asBool(), false);
    QCOMPARE(body["data"]["type"].asString(), std::string("SavePassword"));
    QCOMPARE(body["version"].asString(), std::string("1.0"));
    // The old session was ended and the page logged in again with the new password.
    QTRY_COMPARE_WITH_TIMEOUT(config->InfoLabel()->text(), Text(15), kWaitMs);
    QCOMPARE(m_page->Session().m_password, QString::fromLatin1(kNewPassword));
    QTRY_COMPARE_WITH_TIMEOUT(web->Sessions(), 1, kWaitMs);
    QVERIFY(web->CountRequests("/API/Web/Logout") >= 1);

    // Logout: the wrapper session ends and the device gets the logout request.
    const int logouts = web->CountRequests("/API/Web/Logout");
    m_page->Session().Logout();
    QCOMPARE(m_page->Session().m_state, 3);
    QVERIFY(web->WaitRequests("/API/Web/Logout", logouts + 1, kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(web->Sessions(), 0, kWaitMs);
}

void TestLoginFrame::httpDefaultsBodyInKeyOrder()
{
    SetCompany(43);
    auto web = HttpDevice(9, [](HttpDeviceState& s) {
        s.resetRange = { "network", "except_network_param", "system" };
    });
    QVERIFY(web);
    web->Update([](HttpDeviceState& s) {
        for (auto& setting : s.groupSettings)
            setting.second = "changed";
    });
    LogIn(OperationEnvironment::Address(9), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    DeviceConfig* config = m_page->Config();
    Default* page = config->m_pDefault;
    Click(config->DefaultPageButton());
    // Only the offered groups remain, and the network box.
    for (QAbstractButton* box : std::initializer_list<QAbstractButton*> { page->m_pChkDisplay, page->m_pChkRecord,
             page->m_pChkAdvanced, page->m_pChkIntel, page->m_pChkAlarm, page->m_pChkDevice })
        QVERIFY2(box->isHidden(), qPrintable(box->objectName()));
    QVERIFY(!page->m_pChkNetWork->isHidden());
    QVERIFY(!page->m_pChkSystem->isHidden());

    page->m_pChkSystem->setChecked(true);
    Click(page->m_pChkNetWork);
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    fakedevice::HttpExchange set;
    QVERIFY(web->LastExchange("/API/Maintenance/Reset/Set", set));
    const std::string& text = set.request.body;
    const size_t seqEnd = text.find("},");
    QVERIFY(text.rfind("{\"version\":\"1.0\",\"data\":{\"base_secondary_authentication\":{\"cipher\":\"", 0) == 0);
    QVERIFY(seqEnd != std::string::npos);
    QCOMPARE(text.substr(seqEnd), std::string("},\"network\":true,\"except_network_param\":true,\"system\":true}}"));
    QVERIFY(text.find(",\"seq\":") < seqEnd);
    QVERIFY(web->LastProtection().authenticationOk);
    const HttpDeviceState now = web->State();
    QCOMPARE(now.groupSettings.at("system"), std::string("factory"));
    QCOMPARE(now.groupSettings.at("record"), std::string("changed"));
    QCOMPARE(now.groupSettings.at("channel"), std::string("changed"));
    QCOMPARE(now.resets, 1);
}

void TestLoginFrame::httpDefaultsOfOfferedGroupsOnly_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QStringList>("ticked"); // "network", "system"
    // The Set body after its authentication, every offered group in it; empty:
    // refused with text 82, nothing sent.
    QTest::addColumn<QString>("groups");

    QTest::newRow("only network, not offered") << QStringList { "system" } << QStringList { "network" } << QString();
    QTest::newRow("only network, nothing offered") << QStringList() << QStringList { "network" } << QString();
    QTest::newRow("only network, offered")
        << QStringList { "network", "system" } << QStringList { "network" } << "},\"network\":true,\"system\":false}}";
    // The address-keeping choice is a group of its own.
    QTest::newRow("only network, its address-keeping part offered") << QStringList { "except_network_param",
        "system" } << QStringList { "network" } << "},\"except_network_param\":true,\"system\":false}}";
    QTest::newRow("system with network not offered")
        << QStringList { "system" } << QStringList { "network", "system" } << "},\"system\":true}}";
}

void TestLoginFrame::httpDefaultsOfOfferedGroupsOnly()
{
    QFETCH(QStringList, offered);
    QFETCH(QStringList, ticked);
    QFETCH(QString, groups);
    SetCompany(43);
    auto web = HttpDevice(17, [&offered](HttpDeviceState& s) {
        s.resetRange.clear();
        for (const QString& group : offered)
            s.resetRange.push_back(group.toStdString());
    });
    QVERIFY(web);
    web->Update([](HttpDeviceState& s) {
        for (auto& setting : s.groupSettings)
            setting.second = "changed";
    });
    LogIn(OperationEnvironment::Address(17), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    DeviceConfig* config = m_page->Config();
    Default* page = config->m_pDefault;
    Click(config->DefaultPageButton());
    if (ticked.contains(QStringLiteral("system")))
        page->m_pChkSystem->setChecked(true);
    if (ticked.contains(QStringLiteral("network")))
        Click(page->m_pChkNetWork);
    const int keyRequests = web->CountRequests("/API/Maintenance/TransKey/Get");
    Click(config->SetButton());

    const HttpDeviceState now = web->State();
    if (groups.isEmpty()) {
        // Not shown as done: nothing was sent, nothing restored.
        QCOMPARE(config->InfoLabel()->text(), Text(82));
        QCOMPARE(web->CountRequests("/API/Maintenance/TransKey/Get"), keyRequests);
        QCOMPARE(web->CountRequests("/API/Maintenance/Reset/Set"), 0);
        QCOMPARE(now.resets, 0);
        for (const auto& setting : now.groupSettings)
            QCOMPARE(setting.second, std::string("changed"));
        return;
    }
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    fakedevice::HttpExchange set;
    QVERIFY(web->LastExchange("/API/Maintenance/Reset/Set", set));
    const std::string& text = set.request.body;
    const size_t seqEnd = text.find("},");
    QVERIFY(seqEnd != std::string::npos);
    QCOMPARE(QString::fromStdString(text.substr(seqEnd)), groups);
    QCOMPARE(now.resets, 1);
    QCOMPARE(now.groupSettings.at("system"), std::string(ticked.contains("system") ? "factory" : "changed"));
}

void TestLoginFrame::httpUserNameAsJsonText_data()
{
    QTest::addColumn<QString>("user");
    QTest::newRow("ASCII") << QStringLiteral("admin");
    QTest::newRow("Latin-1") << QStringLiteral("Jos\u00e9");
    QTest::newRow("outside Latin-1") << QStringLiteral("\u7ba1\u7406\u5458");
    QTest::newRow("quote and backslash") << QStringLiteral("a\"d\\min");
}

void TestLoginFrame::httpUserNameAsJsonText()
{
    QFETCH(QString, user);
    SetCompany(43);
    auto web = HttpDevice(18, [&user](HttpDeviceState& s) { s.user = user.toStdString(); });
    QVERIFY(web);
    LogIn(OperationEnvironment::Address(18), web->Port(), user, QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    DeviceConfig* config = m_page->Config();
    Click(config->UserPageButton());
    config->m_pUser->NewPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    config->m_pUser->ConfirmPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(77));
    QCOMPARE(web->State().password, std::string(kNewPassword));

    // The body is JSON text, UTF-8 throughout; the name reads back as typed.
    fakedevice::HttpExchange set;
    QVERIFY(web->LastExchange("/API/SystemConfig/User/Set", set));
    const QByteArray body = QByteArray::fromStdString(set.request.body);
    QCOMPARE(QString::fromUtf8(body).toUtf8(), body);
    Json::Value parsed;
    Json::CharReaderBuilder builder;
    std::string errors;
    QVERIFY(ParseJsonText(builder, set.request.body, parsed, errors));
    QCOMPARE(QString::fromStdString(parsed["data"]["user_info"]["ADMIN"]["username"].asString()), user);
}

void TestLoginFrame::httpUserRefusedLogsOut()
{
    SetCompany(43);
    auto web = HttpDevice(15);
    QVERIFY(web);
    LogIn(OperationEnvironment::Address(15), web->Port(), QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    HttpFaults faults;
    faults.path = "/API/SystemConfig/User/Set";
    faults.rawBody = "{\"result\":\"failed\"}";
    web->SetFaults(faults);
    DeviceConfig* config = m_page->Config();
    Click(config->UserPageButton());
    config->m_pUser->NewPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    config->m_pUser->ConfirmPasswordEdit()->setText(QString::fromLatin1(kNewPassword));
    Click(config->SetButton());
    QCOMPARE(config->InfoLabel()->text(), Text(78));
    QCOMPARE(m_page->Session().m_state, 3);
    QVERIFY(web->WaitRequests("/API/Web/Logout", 1, kWaitMs));
    QCOMPARE(web->State().password, std::string("admin123"));
    QVERIFY(config->m_pUser->NewPassword().isEmpty());
}

// ---- failures and hand-over ------------------------------------------------------------------------

void TestLoginFrame::droppedSessionKeepsPageUsable_data()
{
    QTest::addColumn<int>("company");
    QTest::newRow("sdk") << 0;
    QTest::newRow("http") << 43;
}

void TestLoginFrame::droppedSessionKeepsPageUsable()
{
    QFETCH(int, company);
    SetCompany(company);
    std::unique_ptr<FakeDevice> sdk;
    std::unique_ptr<FakeHttpApi> web;
    int port = 0;
    if (company == 0) {
        sdk = SdkDevice(10);
        QVERIFY(sdk);
        port = sdk->State().mediaPort;
    } else {
        web = HttpDevice(10);
        QVERIFY(web);
        port = web->Port();
    }
    const std::string ip = OperationEnvironment::Address(10);
    LogIn(ip, port, QStringLiteral("admin"), QStringLiteral("admin123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    // The device forgets the session.
    if (sdk) {
        sdk->DropSessions();
        QTRY_COMPARE_WITH_TIMEOUT(sdk->LoggedInSessions(), 0, kWaitMs);
    } else {
        // Every request is refused as without a session.
        fakedevice::HttpFaults faults;
        faults.status = 401;
        web->SetFaults(faults);
    }
    DeviceConfig* config = m_page->Config();
    Click(config->m_pReboot->RebootButton());
    QCOMPARE(config->InfoLabel()->text(), Text(76));
    // Nothing reported a closed session: the state stays where the session left it.
    QCOMPARE(m_page->Session().m_state, 101);
    if (web)
        web->SetFaults(fakedevice::HttpFaults());
    // A new login works and so does the reboot.
    Click(m_page->LoginButton());
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Session().m_state, 101, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(config->InfoLabel()->text(), Text(15), kWaitMs);
    Click(config->m_pReboot->RebootButton());
    QCOMPARE(config->InfoLabel()->text(), Text(75));
}

void TestLoginFrame::doubleClickOtherDeviceLogsOut()
{
    auto first = SdkDevice(11);
    auto second = SdkDevice(12);
    QVERIFY(first && second);
    std::unique_ptr<DeviceInfo> one(ListedDevice(first->State()));
    std::unique_ptr<DeviceInfo> two(ListedDevice(second->State()));
    m_page->SetDeviceAddress(one.get());
    m_page->SetUserPassword(QStringLiteral("admin"), QStringLiteral("admin123"));
    QCOMPARE(m_page->IpEdit()->text(), one->Ip());
    QCOMPARE(m_page->PortEdit()->text(), QString::number(first->State().mediaPort));
    QCOMPARE(m_page->PasswordEdit()->text(), QStringLiteral("admin123"));
    Click(m_page->LoginButton());
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(first->LoggedInSessions(), 1, kWaitMs);

    // The same row again keeps the session.
    m_page->SetDeviceAddress(one.get());
    QCOMPARE(m_page->Session().m_state, 101);
    QVERIFY(m_page->Config()->isEnabled());

    m_page->SetDeviceAddress(two.get());
    QCOMPARE(m_page->IpEdit()->text(), two->Ip());
    QCOMPARE(m_page->Session().m_state, 3);
    QVERIFY(!m_page->Config()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(first->LoggedInSessions(), 0, kWaitMs);
    // Shown again with other edits than the session's, the label is cleared.
    m_page->hide();
    m_page->show();
    QVERIFY(m_page->Config()->InfoLabel()->text().isEmpty());
    Click(m_page->LoginButton());
    QTRY_COMPARE_WITH_TIMEOUT(second->LoggedInSessions(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_page->Config()->InfoLabel()->text(), Text(15), kWaitMs);
}

void TestLoginFrame::emptyInputForJsonLogin_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("password");
    QTest::newRow("port 0") << QStringLiteral("0") << QStringLiteral("admin123");
    QTest::newRow("port 65536") << QStringLiteral("65536") << QStringLiteral("admin123");
    QTest::newRow("not a number") << QStringLiteral("web") << QStringLiteral("admin123");
    QTest::newRow("no password") << QStringLiteral("80") << QString();
}

void TestLoginFrame::emptyInputForJsonLogin()
{
    QFETCH(QString, port);
    QFETCH(QString, password);
    SetCompany(43);
    auto web = HttpDevice(13);
    QVERIFY(web);
    DialogAnswerer answerer;
    m_page->IpEdit()->setText(QString::fromStdString(OperationEnvironment::Address(13)));
    m_page->PortEdit()->setText(port);
    m_page->UserEdit()->setText(QStringLiteral("admin"));
    m_page->PasswordEdit()->setText(password);
    Click(m_page->LoginButton());
    QCOMPARE(answerer.Dialogs().size(), 1);
    QCOMPARE(answerer.Dialogs()[0].text, QStringLiteral("Empty input"));
    QCOMPARE(answerer.Dialogs()[0].title, Text(110));
    QCOMPARE(answerer.Dialogs()[0].iconMode, 2);
    QCOMPARE(m_page->Session().m_state, 3);
    m_page->Session().WaitIdle();
    QCOMPARE(web->Exchanges().size(), size_t(0));
}

QTEST_MAIN(TestLoginFrame)
#include "tst_loginframe.moc"
