// The initialise and change-password pages driven through their widgets: the
// forms per customer code, each refusal with its text and title, what each
// ticked device receives, and end to end against fake devices. Initialise
// (HTTP API, code 43) sets the typed first password, decrypted on the
// device, on the devices that have none and sends nothing to one that has
// one; a password change (SDK and code 43) leaves each device accepting
// only the new password. In every batch one device fails on its own row.

#include "ChangePassword.h"
#include "DeviceTasks.h"
#include "InitialDevice.h"
#include "LineEdit.h"
#include "PageBench.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using namespace PageTest;

namespace
{
const char* const kFirstPasswordPath = "/API/FirstLogin/Password/Set";
const char* const kUserSetPath = "/API/SystemConfig/User/Set";
const char* const kOldPassword = "admin123";
const char* const kNewPassword = "Qz7#kp2Lw9";

// Devices listed as a search lists them; firstLogin marks them as never
// logged into (what the initialise page lists).
QList<DeviceInfo*> Devices(int count, bool firstLogin)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i) {
        DeviceInfo* device
            = NewDevice(nullptr, QString::fromStdString(Loopback(200 + i)), QStringLiteral("cam%1").arg(i));
        device->m_searchRsp.isFirstLogin = firstLogin ? 1 : 0;
        devices << device;
    }
    return devices;
}

struct InitialPage : PageOf<InitialDevice>
{
    explicit InitialPage(int company)
        : PageOf(company, QSize(1200, 600))
    {
    }
    void Fill(const QString& user, const QString& password, const QString& confirm)
    {
        SetText("m_pEditUserName", user);
        SetText("m_pEditPwd", password);
        SetText("m_pEditConfirmPwd", confirm);
    }
    bool Unlocked() const
    {
        return page->isEnabled() && Find<QPushButton>("m_pBtnInitialized")->isEnabled()
            && Find<LineEdit>("m_pEditPwd")->isEnabled() && Find<LineEdit>("m_pEditConfirmPwd")->isEnabled()
            && ToolBarEnabled(toolBar);
    }
    bool Locked() const
    {
        return !page->isEnabled() && !Find<QPushButton>("m_pBtnInitialized")->isEnabled()
            && !Find<LineEdit>("m_pEditPwd")->isEnabled() && !Find<LineEdit>("m_pEditConfirmPwd")->isEnabled()
            && !ToolBarEnabled(toolBar);
    }
};

struct PasswordPage : PageOf<ChangePassword>
{
    explicit PasswordPage(int company)
        : PageOf(company, QSize(1400, 600))
    {
    }
    void NewPassword(const QString& password, const QString& confirm)
    {
        SetText("m_pEditNewPWD", password);
        SetText("m_pEditConfirmPWD", confirm);
    }
    bool Unlocked() const { return Find<QPushButton>("m_pBtnModify")->isEnabled() && ToolBarEnabled(toolBar); }
};

// Another language, whose text n reads "L<n>", told to the page as the
// settings tell their listeners.
bool SwitchLanguage(QObject* page)
{
    static QTemporaryDir dir;
    const QString language = dir.filePath(QStringLiteral("other-language.xml"));
    if (!WriteFile(language, NumberedLanguageFile(239, QStringLiteral("L"))))
        return false;
    LanguageTexts::Create(language);
    QCoreApplication::postEvent(page, new LanguageChangedEvent);
    return true;
}

// Runs one batch of the change-password page over every listed device and
// waits for each row's status and for the page to come back.
template <typename Expected>
void RunPasswordBatch(PasswordPage& page, const QString& login, const QString& newPassword, Expected expected)
{
    page.Login(QStringLiteral("admin"), login);
    page.NewPassword(newPassword, newPassword);
    DialogAnswerer dialogs;
    page.Click("m_pBtnModify");
    QCOMPARE(dialogs.Dialogs().size(), 0);
    QVERIFY(!page.Unlocked());
    for (int row = 0; row < page.table.Rows(); ++row)
        QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(row), StatusTextOf(expected(row)), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
}
} // namespace

class TestPasswordPages : public PageTestCase
{
    Q_OBJECT

private slots:
    // A case may load other texts.
    void cleanup()
    {
        PageTestCase::cleanup();
        LoadNumberedTexts();
    }

    void initialForm_data();
    void initialForm();
    void initialListsOnlyNewDevices();
    void initialRefusals_data();
    void initialRefusals();
    void initialQueuesEachTicked();
    void initialOnDevices();

    void passwordForm_data();
    void passwordForm();
    void passwordRefusals_data();
    void passwordRefusals();
    void passwordEditsHoldSixteenBytes();
    void passwordQueuesEachTicked_data();
    void passwordQueuesEachTicked();
    void passwordOnDevices_data();
    void passwordOnDevices();
};

void TestPasswordPages::initialForm_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QVector<TextId>>("header");
    QTest::newRow("code 43") << 43 << QVector<TextId> { 31, 32, 42, 34, 60, 36, 198, 44 };
    QTest::newRow("code 44") << 44 << QVector<TextId> { 31, 32, 42, 34, 60, 36, 198, 44 };
    // Only the HTTP-API customers initialise devices: the table has no column.
    QTest::newRow("code 0") << 0 << QVector<TextId>();
    QTest::newRow("code 40") << 40 << QVector<TextId>();
}

void TestPasswordPages::initialForm()
{
    QFETCH(int, company);
    QFETCH(QVector<TextId>, header);
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    ZVAppSetting::Instance()->m_defaultPassword = QStringLiteral("secret");
    InitialPage page(company);
    QCOMPARE(page.Find<QPushButton>("m_pBtnInitialized")->text(), Text(200));
    QCOMPARE(page.Find<QLabel>("m_pLableUserName")->text(), Text(12));
    QCOMPARE(page.Find<QLabel>("m_pLabelPwd")->text(), Text(73));
    QCOMPARE(page.Find<QLabel>("m_pLabelConfirmPwd")->text(), Text(74));
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->text(), QStringLiteral("admin"));
    for (const char* name : { "m_pEditPwd", "m_pEditConfirmPwd" }) {
        QCOMPARE(page.Find<LineEdit>(name)->text(), QStringLiteral("secret"));
        QCOMPARE(page.Find<LineEdit>(name)->echoMode(), QLineEdit::Password);
    }
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->echoMode(), QLineEdit::Normal);
    QVERIFY(page.Find<QFrame>("frame"));
    QCOMPARE(page.Find<QPushButton>("m_pBtnInitialized")->size(), QSize(72, 25));
    QCOMPARE(CheckBoxTableModel::FromViewModel(page.table.Model())->headerTextIds(), header);
    if (!header.isEmpty()) {
        QCOMPARE(page.table.view->columnWidth(0), 80);
        QVERIFY(page.table.view->columnWidth(5) >= 150);
    }
    QVERIFY(page.page->BusyTimer());

    // A language change sets the texts again.
    QVERIFY(SwitchLanguage(page.page.get()));
    QTRY_COMPARE(page.Find<QPushButton>("m_pBtnInitialized")->text(), QStringLiteral("L200"));
    QCOMPARE(page.Find<QLabel>("m_pLabelConfirmPwd")->text(), QStringLiteral("L74"));
}

void TestPasswordPages::initialListsOnlyNewDevices()
{
    PoolBench pool(true);
    {
        InitialPage page(43);
        QList<DeviceInfo*> devices = Devices(4, true);
        devices[1]->m_searchRsp.isFirstLogin = 0;
        ListDevices(*page.page, devices);
        QCOMPARE(page.table.Rows(), 3);
        const int ipColumn = 1;
        QCOMPARE(page.table.Cell(0, ipColumn), devices[0]->Ip());
        QCOMPARE(page.table.Cell(1, ipColumn), devices[2]->Ip());
        QCOMPARE(page.table.Cell(2, ipColumn), devices[3]->Ip());

        // The rows tick one by one and through the header, as on any page.
        page.table.ClickCheckBox(1);
        QCOMPARE(devices[2]->CheckState(TableKindInitial), int(Qt::Checked));
        QCOMPARE(page.table.view->headCheckState(), int(Qt::PartiallyChecked));
        page.table.ClickCheckBox(1);
        QCOMPARE(devices[2]->CheckState(TableKindInitial), int(Qt::Unchecked));
        QCOMPARE(page.table.view->headCheckState(), int(Qt::Unchecked));
        page.table.CheckAll();
        QCOMPARE(page.table.view->headCheckState(), int(Qt::Checked));
        for (int i : { 0, 2, 3 })
            QCOMPARE(devices[i]->CheckState(TableKindInitial), int(Qt::Checked));
        QCOMPARE(devices[1]->CheckState(TableKindInitial), int(Qt::Unchecked));
    }

    // Under another customer code the table has no column: nothing can be
    // ticked, so nothing can be started.
    InitialPage sdkPage(0);
    ListDevices(*sdkPage.page, Devices(2, true));
    QCOMPARE(sdkPage.table.Model()->columnCount(), 0);
    sdkPage.table.CheckAll();
    QCOMPARE(sdkPage.table.view->headCheckState(), int(Qt::Unchecked));
    sdkPage.Fill(QStringLiteral("admin"), QStringLiteral("pw"), QStringLiteral("pw"));
    DialogAnswerer dialogs;
    sdkPage.Click("m_pBtnInitialized");
    QVERIFY(ShowedRefusal(dialogs, 51, 6));
    QCOMPARE(pool.Recorder().Tasks().size(), 0);
}

void TestPasswordPages::initialRefusals_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<int>("textId");
    QTest::addColumn<int>("titleId");
    QTest::newRow("nothing ticked") << false << QStringLiteral("admin") << QStringLiteral("pw") << QStringLiteral("pw")
                                    << 51 << 6;
    QTest::newRow("no user") << true << QStringLiteral("") << QStringLiteral("pw") << QStringLiteral("pw") << 222
                             << 202;
    QTest::newRow("no passwords") << true << QStringLiteral("admin") << QStringLiteral("") << QStringLiteral("") << 222
                                  << 202;
    QTest::newRow("confirmation differs")
        << true << QStringLiteral("admin") << QStringLiteral("pw1") << QStringLiteral("pw2") << 223 << 202;
    QTest::newRow("confirmation empty") << true << QStringLiteral("admin") << QStringLiteral("pw") << QStringLiteral("")
                                        << 223 << 202;
    QTest::newRow("no user, confirmation differs")
        << true << QStringLiteral("") << QStringLiteral("pw1") << QStringLiteral("pw2") << 223 << 202;
    // Not a Latin-1 text: the device would get another password.
    QTest::newRow("outside Latin-1") << true << "admin" << QString::fromUtf8("\u0416pw")
                                     << QString::fromUtf8("\u0416pw") << 149 << 202;
}

void TestPasswordPages::initialRefusals()
{
    QFETCH(bool, tick);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(int, textId);
    QFETCH(int, titleId);
    PoolBench pool(true);
    InitialPage page(43);
    const QList<DeviceInfo*> devices = Devices(2, true);
    ListDevices(*page.page, devices);
    if (tick)
        page.table.CheckAll();
    page.Fill(user, password, confirm);
    DialogAnswerer dialogs;
    page.Click("m_pBtnInitialized");
    QVERIFY(ShowedRefusal(dialogs, textId, titleId));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
    for (const DeviceInfo* device : devices) {
        QVERIFY(device->m_newPassword.isEmpty());
        QCOMPARE(device->m_pInitialDevice, nullptr);
    }
}

void TestPasswordPages::initialQueuesEachTicked()
{
    PoolBench pool(true);
    InitialPage page(43);
    const QList<DeviceInfo*> devices = Devices(3, true);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(2);
    page.Fill(QStringLiteral("admin"), QStringLiteral("First-1"), QStringLiteral("First-1"));
    page.Click("m_pBtnInitialized");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    for (int i : { 0, 2 }) {
        const DeviceInfo* device = devices[i];
        QVERIFY(pool.Recorder().Tasks().at(i / 2).function == &InitialTask);
        QCOMPARE(pool.Recorder().Tasks().at(i / 2).argument, static_cast<const void*>(device));
        QCOMPARE(device->m_user, QStringLiteral("admin"));
        // The new password stands for the login, the new password and its confirmation.
        QCOMPARE(device->m_password, QStringLiteral("First-1"));
        QCOMPARE(device->m_newPassword, QStringLiteral("First-1"));
        QCOMPARE(device->m_confirmPassword, QStringLiteral("First-1"));
        QCOMPARE(device->m_pInitialDevice, page.page.get());
        QCOMPARE(page.table.Status(i), StatusTextOf(StatusWaiting));
    }
    QCOMPARE(devices[1]->m_pInitialDevice, nullptr);
    QVERIFY(page.Locked());
    QVERIFY(PollRunning(*page.page));

    // No device of the batch logs in, yet the page stays locked while their
    // operations are under way, tick after tick.
    QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
    QVERIFY(ticks.wait(10000));
    QVERIFY(ticks.wait(10000));
    QVERIFY(page.Locked());
    EndHeld(devices[0], StatusInitOk);
    QTRY_COMPARE(page.table.Status(0), StatusTextOf(StatusInitOk));
    QVERIFY(ticks.wait(10000));
    QVERIFY(page.Locked());
    EndHeld(devices[2], StatusInitFailed);
    QTRY_VERIFY(page.Unlocked());
    QTRY_VERIFY(!page.page->BusyTimer()->isActive());
}

void TestPasswordPages::initialOnDevices()
{
    PoolBench pool(false);
    InitialPage page(43);
    // 0 and 1 have no password yet; 2 has none either but refuses the first
    // password; 3 was given one since the search listed it as new.
    const std::vector<std::string> addresses = { Loopback(90), Loopback(91), Loopback(92), Loopback(93) };
    const size_t refusing = 2;
    const size_t initialised = 3;
    auto fakes = fakedevice::MakeHttpDevices(addresses, 0,
        [&](size_t index, fakedevice::HttpDeviceState& state, auto&) { state.initialised = index == initialised; });
    QCOMPARE(fakes.size(), addresses.size());
    fakedevice::HttpFaults refuse;
    refuse.path = kFirstPasswordPath;
    refuse.status = 500;
    fakes[refusing]->SetFaults(refuse);
    QList<DeviceInfo*> devices;
    for (const auto& fake : fakes) {
        DeviceInfo* device = ListedHttpDevice(*fake);
        device->m_searchRsp.isFirstLogin = 1;
        devices << device;
    }
    ListDevices(*page.page, devices);
    QCOMPARE(page.table.Rows(), 4);
    const QString first = QStringLiteral("First#Pw7");
    page.Fill(QStringLiteral("admin"), first, first);
    page.table.CheckAll();
    page.Click("m_pBtnInitialized");
    QVERIFY(page.Locked());

    const int expected[] = { StatusInitOk, StatusInitOk, StatusInitFailed, StatusNoFirstLogin };
    for (int row = 0; row < 4; ++row)
        QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(row), StatusTextOf(expected[row]), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    QTRY_VERIFY(!page.page->BusyTimer()->isActive());

    for (size_t i = 0; i < fakes.size(); ++i) {
        const fakedevice::HttpDeviceState state = fakes[i]->State();
        if (i == refusing) {
            QVERIFY(!state.initialised);
            QCOMPARE(state.password, std::string(kOldPassword));
        } else if (i == initialised) {
            // Its probe found it initialised: nothing else was sent.
            QCOMPARE(fakes[i]->CountRequests(kFirstPasswordPath), 0);
            QCOMPARE(fakes[i]->CountRequests("/API/Login/TransKey/Get"), 0);
            QCOMPARE(state.password, std::string(kOldPassword));
        } else {
            QVERIFY(state.initialised);
            QCOMPARE(fakes[i]->LastProtection().password, first.toStdString());
            QCOMPARE(state.password, first.toStdString());
            for (const char* flag : { "answer_flag", "email_flag", "certificate_flag", "super_pwd_flag" })
                QVERIFY(state.recoveryFlags[flag].isBool() && !state.recoveryFlags[flag].asBool());
        }
        QCOMPARE(fakes[i]->Sessions(), 0);
    }
}

void TestPasswordPages::passwordForm_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("ipColumnWidth");
    QTest::addColumn<QVector<TextId>>("header");
    QTest::newRow("code 0") << 0 << 130 << QVector<TextId> { 31, 32, 33, 34, 60, 36, 44 };
    QTest::newRow("code 45") << 45 << 165 << QVector<TextId> { 31, 32, 33, 34, 60, 36, 44 };
    QTest::newRow("code 43") << 43 << 130 << QVector<TextId> { 31, 32, 42, 34, 60, 36, 44 };
}

void TestPasswordPages::passwordForm()
{
    QFETCH(int, company);
    QFETCH(int, ipColumnWidth);
    QFETCH(QVector<TextId>, header);
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    ZVAppSetting::Instance()->m_defaultPassword = QStringLiteral("secret");
    PasswordPage page(company);
    QCOMPARE(page.Find<QPushButton>("m_pBtnModify")->text(), Text(59));
    QCOMPARE(page.Find<QLabel>("m_pLabelUserName")->text(), Text(12));
    QCOMPARE(page.Find<QLabel>("m_pLabelPassword")->text(), Text(13));
    QCOMPARE(page.Find<QLabel>("m_pLabelNewPWD")->text(), Text(73));
    QCOMPARE(page.Find<QLabel>("m_pLabelConfirmPWD")->text(), Text(74));
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->text(), QStringLiteral("admin"));
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->text(), QStringLiteral("secret"));
    QVERIFY(page.Find<LineEdit>("m_pEditNewPWD")->text().isEmpty());
    QVERIFY(page.Find<LineEdit>("m_pEditConfirmPWD")->text().isEmpty());
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->echoMode(), QLineEdit::Normal);
    for (const char* name : { "m_pEditPassword", "m_pEditNewPWD", "m_pEditConfirmPWD" })
        QCOMPARE(page.Find<LineEdit>(name)->echoMode(), QLineEdit::Password);
    for (const char* name : { "m_pEditUserName", "m_pEditPassword", "m_pEditNewPWD", "m_pEditConfirmPWD" })
        QCOMPARE(page.Find<LineEdit>(name)->MaxByteCount(), 16);
    QVERIFY(page.Find<QFrame>("UpgradeFrameBottom"));
    QCOMPARE(CheckBoxTableModel::FromViewModel(page.table.Model())->headerTextIds(), header);
    QCOMPARE(page.table.view->columnWidth(0), 80);
    QVERIFY(page.table.view->columnWidth(4) >= ipColumnWidth);
    if (company != 45)
        QVERIFY(page.table.view->columnWidth(4) < 165);
    QVERIFY(page.page->BusyTimer());

    QVERIFY(SwitchLanguage(page.page.get()));
    QTRY_COMPARE(page.Find<QPushButton>("m_pBtnModify")->text(), QStringLiteral("L59"));
    QCOMPARE(page.Find<QLabel>("m_pLabelNewPWD")->text(), QStringLiteral("L73"));
    QCOMPARE(page.Find<QLabel>("m_pLabelConfirmPWD")->text(), QStringLiteral("L74"));
}

void TestPasswordPages::passwordRefusals_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<int>("textId"); // 79: accepted, queued
    QTest::newRow("nothing ticked") << 0 << false << QStringLiteral("Ab3#xy9K") << QStringLiteral("Ab3#xy9K") << 51;
    QTest::newRow("confirmation differs")
        << 0 << true << QStringLiteral("Ab3#xy9K") << QStringLiteral("Ab3#xy9k") << 227;
    QTest::newRow("confirmation differs, rule off") << 43 << true << QStringLiteral("a") << QStringLiteral("b") << 227;
    QTest::newRow("empty") << 0 << true << QStringLiteral("") << QStringLiteral("") << 80;
    QTest::newRow("empty, rule off") << 1 << true << QStringLiteral("") << QStringLiteral("") << 80;
    QTest::newRow("code 38: 7 characters")
        << 38 << true << QStringLiteral("Ab3#xy9") << QStringLiteral("Ab3#xy9") << 149;
    QTest::newRow("code 38: 16 characters")
        << 38 << true << QStringLiteral("Ab3#xy9Kq2Wz5Rm8") << QStringLiteral("Ab3#xy9Kq2Wz5Rm8") << 149;
    QTest::newRow("code 38: 15 characters")
        << 38 << true << QStringLiteral("Ab3#xy9Kq2Wz5Rm") << QStringLiteral("Ab3#xy9Kq2Wz5Rm") << 79;
    QTest::newRow("code 38: 15 characters with a run")
        << 38 << true << QStringLiteral("Ab3#xy9Kqwer5Rm") << QStringLiteral("Ab3#xy9Kqwer5Rm") << 153;
    QTest::newRow("code 0: short with a run")
        << 0 << true << QStringLiteral("qwer7#K") << QStringLiteral("qwer7#K") << 149;
    QTest::newRow("code 0: two classes in 9")
        << 0 << true << QStringLiteral("qz7kp2lwm") << QStringLiteral("qz7kp2lwm") << 153;
    QTest::newRow("code 30: keyboard run")
        << 30 << true << QStringLiteral("Zqwer7#k") << QStringLiteral("Zqwer7#k") << 153;
    QTest::newRow("code 40: identical run")
        << 40 << true << QStringLiteral("Xaaaa7#k") << QStringLiteral("Xaaaa7#k") << 153;
    QTest::newRow("code 45: rising run") << 45 << true << QStringLiteral("Xabcd7#k") << QStringLiteral("Xabcd7#k")
                                         << 153;
    QTest::newRow("code 1: anything matching") << 1 << true << QStringLiteral("a") << QStringLiteral("a") << 79;
    QTest::newRow("code 37: no rule here") << 37 << true << QStringLiteral("aaaa") << QStringLiteral("aaaa") << 79;
    QTest::newRow("code 39: no rule here") << 39 << true << QStringLiteral("qwer") << QStringLiteral("qwer") << 79;
    QTest::newRow("code 43: no rule here") << 43 << true << QStringLiteral("1") << QStringLiteral("1") << 79;
    // Not a Latin-1 text: the device would get another password.
    QTest::newRow("code 43: outside Latin-1")
        << 43 << true << QString::fromUtf8("pw\u0416") << QString::fromUtf8("pw\u0416") << 149;
    QTest::newRow("code 0: outside Latin-1")
        << 0 << true << QString::fromUtf8("Kq7z\u0416mp2") << QString::fromUtf8("Kq7z\u0416mp2") << 149;
}

void TestPasswordPages::passwordRefusals()
{
    QFETCH(int, company);
    QFETCH(bool, tick);
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(int, textId);
    PoolBench pool(true);
    PasswordPage page(company);
    const QList<DeviceInfo*> devices = Devices(2, false);
    ListDevices(*page.page, devices);
    if (tick)
        page.table.CheckAll();
    page.Login(QStringLiteral("admin"), QStringLiteral("pw"));
    page.NewPassword(password, confirm);
    if (textId != 51)
        QCOMPARE(page.page->CheckPassword(), textId == 227 ? 81 : textId);
    DialogAnswerer dialogs;
    page.Click("m_pBtnModify");
    if (textId == 79) {
        QCOMPARE(dialogs.Dialogs().size(), 0);
        QCOMPARE(pool.Recorder().Tasks().size(), 2);
        QVERIFY(!page.Unlocked());
        for (DeviceInfo* device : devices)
            EndHeld(device, StatusOk);
        QTRY_VERIFY(page.Unlocked());
        return;
    }
    QVERIFY(ShowedRefusal(dialogs, textId, 6));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
    for (const DeviceInfo* device : devices) {
        QVERIFY(device->m_newPassword.isEmpty());
        QCOMPARE(device->m_pChangePassword, nullptr);
    }
}

void TestPasswordPages::passwordEditsHoldSixteenBytes()
{
    PasswordPage page(38);
    for (const char* name : { "m_pEditUserName", "m_pEditPassword", "m_pEditNewPWD", "m_pEditConfirmPWD" }) {
        auto* edit = page.Find<LineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("Ab3#xy9Kq2Wz5Rm8X"));
        QCOMPARE(edit->text(), QStringLiteral("Ab3#xy9Kq2Wz5Rm8"));
    }
}

void TestPasswordPages::passwordQueuesEachTicked_data()
{
    QTest::addColumn<bool>("byTimer"); // the page comes back by the busy poll, else by the done event
    QTest::newRow("done event") << false;
    QTest::newRow("busy poll") << true;
}

void TestPasswordPages::passwordQueuesEachTicked()
{
    QFETCH(bool, byTimer);
    PoolBench pool(true);
    PasswordPage page(0);
    const QList<DeviceInfo*> devices = Devices(3, false);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(1);
    page.table.ClickCheckBox(2);
    page.Login(QStringLiteral("admin"), QStringLiteral("old-pw"));
    page.NewPassword(QString::fromLatin1(kNewPassword), QString::fromLatin1(kNewPassword));
    page.Click("m_pBtnModify");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    for (int i : { 1, 2 }) {
        const DeviceInfo* device = devices[i];
        QVERIFY(pool.Recorder().Tasks().at(i - 1).function == &ChangePasswordTask);
        QCOMPARE(pool.Recorder().Tasks().at(i - 1).argument, static_cast<const void*>(device));
        QCOMPARE(device->m_user, QStringLiteral("admin"));
        QCOMPARE(device->m_password, QStringLiteral("old-pw"));
        QCOMPARE(device->m_newPassword, QString::fromLatin1(kNewPassword));
        QCOMPARE(device->m_confirmPassword, QString::fromLatin1(kNewPassword));
        QCOMPARE(device->m_pChangePassword, page.page.get());
        QCOMPARE(page.table.Status(i), StatusTextOf(StatusWaiting));
    }
    QCOMPARE(devices[0]->m_pChangePassword, nullptr);
    QVERIFY(!page.Unlocked());
    QVERIFY(PollRunning(*page.page));
    if (byTimer) {
        // Logged in and working: the poll waits; logged out: it unlocks.
        devices[1]->m_bLogin = true;
        QSignalSpy ticks(page.page->BusyTimer(), &QTimer::timeout);
        QVERIFY(ticks.wait(10000));
        QVERIFY(!page.Unlocked());
        devices[1]->m_bLogin = false;
        // Logged out but the tasks still under way: locked.
        QVERIFY(ticks.wait(10000));
        QVERIFY(!page.Unlocked());
        EndHeldRunning(devices[1], StatusOk);
        EndHeldRunning(devices[2], StatusOk);
        QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 10000);
        QVERIFY(!page.page->BusyTimer()->isActive());
        QVERIFY(page.page->IsBatchRunning());
        for (DeviceInfo* device : { devices[1], devices[2] })
            EndHeld(device, StatusOk);
        QTRY_VERIFY(!page.page->IsBatchRunning());
        return;
    }
    EndHeld(devices[1], StatusOk);
    EndHeld(devices[2], StatusFailed);
    QTRY_VERIFY(page.Unlocked());
    QCOMPARE(page.table.Status(1), StatusTextOf(StatusOk));
    QCOMPARE(page.table.Status(2), StatusTextOf(StatusFailed));
}

void TestPasswordPages::passwordOnDevices_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("SDK (code 0)") << false;
    QTest::newRow("HTTP API (code 43)") << true;
}

void TestPasswordPages::passwordOnDevices()
{
    QFETCH(bool, http);
    PoolBench pool(false);
    PasswordPage page(http ? 43 : 0);
    const int refusing = 2; // fails the change in the first batch
    FakeFleet fleet(http, { Loopback(60), Loopback(61), Loopback(62), Loopback(63) });
    QCOMPARE(fleet.Size(), size_t(4));
    QVERIFY(fleet.Listening());
    auto setRefusal = [&](bool on) {
        if (http) {
            fakedevice::HttpFaults refuse;
            refuse.path = kUserSetPath;
            refuse.status = on ? 500 : 0;
            fleet.web[refusing]->SetFaults(refuse);
        } else {
            // It lists no user: there is no record to write the password into.
            fakedevice::Faults noUsers;
            noUsers.emptyRecordLists = on;
            fleet.sdk[refusing]->SetFaults(noUsers);
        }
    };
    setRefusal(true);
    const QList<DeviceInfo*> devices = fleet.Listed();
    ListDevices(*page.page, devices);
    page.table.CheckAll();
    const QString oldPassword = QString::fromLatin1(kOldPassword);
    const QString newPassword = QString::fromLatin1(kNewPassword);

    // The change: the refusing device shows its own failure.
    RunPasswordBatch(
        page, oldPassword, newPassword, [&](int row) { return row == refusing ? StatusFailed : StatusOk; });
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(fleet.Password(i), std::string(i == refusing ? kOldPassword : kNewPassword));
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
    if (http)
        QCOMPARE(fleet.web[0]->LastProtection().password, std::string(kNewPassword));

    setRefusal(false);
    // The old password is refused by the changed devices; the one that kept
    // it still takes it.
    RunPasswordBatch(
        page, oldPassword, newPassword, [&](int row) { return row == refusing ? StatusOk : StatusConnectFailed; });
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(fleet.Password(i), std::string(kNewPassword));
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
    // The new password is taken by every device.
    RunPasswordBatch(page, newPassword, newPassword, [](int) { return StatusOk; });
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(fleet.Password(i), std::string(kNewPassword));
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

QTEST_MAIN(TestPasswordPages)
#include "tst_passwordpages.moc"
