// The whole program as a technician meets it, once per customer profile: the
// window built by start-up (every page, a settings folder of its own, the
// language file) in a LAN of network namespaces with fake devices of the
// three kinds, driven through its widgets step by step. Each step is checked
// on what the rows show and on what the fake devices received and the state
// they end in.
//
// The settings and the pool live for the program's whole life, so each
// profile runs in a process of its own: this test program starts itself as
//   tst_window_e2e --run CODE STEP,STEP,...
// which makes the LAN, starts the devices in-process on threads inside the
// device namespaces, enters the host namespace and runs the program with
// a second test object, one data row per step, driving its window.

#include "BaseDialog.h"
#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "Default.h"
#include "DefaultSelection.h"
#include "DeviceConfig.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceWire.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "FileDialogs.h"
#include "InitPwdBox.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "LoginFrame.h"
#include "MainFrame.h"
#include "NamespaceLan.h"
#include "PageIndex.h"
#include "SearchFrame.h"
#include "Startup.h"
#include "TestSupport.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "User.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::FakeOnvif;

namespace
{
// A batch of a few devices ends within seconds; a loaded sanitizer build may take far longer.
// A wait that fails goes on for twice as long to say when it would have passed: three
// times this stays within the time each step is given (kStepMs).
constexpr int kBatchMs = 60000;
constexpr int kStepMs = 10 * 60000;
constexpr int kSkipStatus = 77;
// Addresses per device namespace: dev1 holds the SDK devices and the addresses
// they move to, dev2 the devices of the HTTP JSON API, dev3 the ONVIF devices.
constexpr int kPerNamespace = 9;
// Where the search page moves two SDK devices (.5, .6), and the device
// information page all three (.7 to .9): addresses no device holds then.
constexpr int kMovedTo = 5;
constexpr int kInfoMovedTo = 7;
constexpr int kSdkDevices = 3;
// The last has no password yet.
constexpr int kHttpDevices = 3;
constexpr int kOnvifDevices = 2;
const QString kUser = QStringLiteral("admin");
const QString kPassword = QStringLiteral("admin123");

QString Address(int n)
{
    return QStringLiteral("10.213.1.%1").arg(n);
}

// A password the password rules of every profile take.
const QString kNewPassword = QStringLiteral("Qz7#kp2Lw9");
const QString kConfigPassword = QStringLiteral("Rv4#mt8Hx2");
const QString kFirstPassword = QStringLiteral("Fw3#nd6Kq8");

QString StatusTextOf(int status)
{
    DeviceInfo device;
    device.m_status = status;
    return device.StatusText();
}

// Settings a factory reset restores, changed since the device started: a
// reset must bring them back.
template <typename State> void ChangeGroups(State& state)
{
    for (auto& group : state.groupSettings)
        group.second = "changed";
}

// The fake devices of one run, each started on a thread of its namespace.
struct Fleet
{
    std::vector<std::unique_ptr<FakeDevice>> sdk;
    // The SDK search side of the HTTP JSON API devices, and their web side.
    std::vector<std::unique_ptr<FakeDevice>> httpSearch;
    std::vector<std::unique_ptr<FakeHttpApi>> http;
    std::vector<std::unique_ptr<FakeOnvif>> onvif;

    bool Start(NamespaceLan& lan, QString* why)
    {
        FakeDevice::Options options;
        options.broadcast = true;
        if (!lan.Enter(QStringLiteral("dev1")))
            return Fail(why, QStringLiteral("cannot enter dev1"));
        for (int n = 1; n <= kSdkDevices; ++n) {
            // One model of camera under one name: a parameter file fits each of them.
            fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(Address(n).toStdString(), 100 + n);
            state.deviceName = "Camera";
            sdk.push_back(std::make_unique<FakeDevice>(state, options));
            sdk.back()->Update(ChangeGroups<fakedevice::DeviceState>);
        }
        if (!lan.Enter(QStringLiteral("dev2")))
            return Fail(why, QStringLiteral("cannot enter dev2"));
        for (int n = kPerNamespace + 1; n <= kPerNamespace + kHttpDevices; ++n) {
            const bool first = n == kPerNamespace + kHttpDevices;
            fakedevice::HttpDeviceState webState;
            webState.user = kUser.toStdString();
            webState.password = first ? std::string() : kPassword.toStdString();
            webState.initialised = !first;
            FakeHttpApi::Options webOptions;
            webOptions.ip = Address(n).toStdString();
            webOptions.port = 80;
            webOptions.scheme = FakeHttpApi::Scheme::Both;
            http.push_back(std::make_unique<FakeHttpApi>(webState, webOptions));
            http.back()->Update(ChangeGroups<fakedevice::HttpDeviceState>);
            fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(Address(n).toStdString(), 100 + n);
            state.webPort = 80;
            state.deviceName = "Camera" + std::to_string(n);
            state.users = { { kUser.toStdString(), first ? std::string() : kPassword.toStdString() } };
            state.firstLogin = first;
            httpSearch.push_back(std::make_unique<FakeDevice>(state, options));
        }
        if (!lan.Enter(QStringLiteral("dev3")))
            return Fail(why, QStringLiteral("cannot enter dev3"));
        for (int n = 2 * kPerNamespace + 1; n <= 2 * kPerNamespace + kOnvifDevices; ++n) {
            fakedevice::OnvifState state = fakedevice::OnvifStateFor(Address(n).toStdString(), 100 + n, 16);
            state.user = kUser.toStdString();
            state.password = kPassword.toStdString();
            FakeOnvif::Options onvifOptions;
            onvifOptions.multicast = true;
            onvif.push_back(std::make_unique<FakeOnvif>(state, onvifOptions));
        }
        for (const auto& device : sdk) {
            if (!device->WaitListening(5000))
                return Fail(why, QStringLiteral("an SDK device does not listen"));
        }
        for (const auto& device : httpSearch) {
            if (!device->WaitListening(5000))
                return Fail(why, QStringLiteral("an HTTP device does not answer searches"));
        }
        for (const auto& device : http) {
            if (!device->Listening())
                return Fail(why, QStringLiteral("an HTTP device does not listen"));
        }
        for (const auto& device : onvif) {
            if (!device->WaitListening(5000))
                return Fail(why, QStringLiteral("an ONVIF device does not listen"));
        }
        return true;
    }

    static bool Fail(QString* why, const QString& text)
    {
        *why = text;
        return false;
    }
};

// The page a tool-bar button shows, with its table, edits and buttons.
struct PageView
{
    QWidget* page = nullptr;

    template <typename T> T* Find(const char* name) const
    {
        return page ? page->findChild<T*>(QLatin1String(name)) : nullptr;
    }
    CheckBoxTableView* View(const char* name = "m_pDeviceTableView") const { return Find<CheckBoxTableView>(name); }
    QAbstractItemModel* Model(const char* name = "m_pDeviceTableView") const
    {
        CheckBoxTableView* view = View(name);
        return view ? view->model() : nullptr;
    }
    void SetText(const char* name, const QString& text) const
    {
        if (auto* edit = Find<LineEdit>(name))
            edit->setText(text);
    }
    bool Click(const char* name) const
    {
        auto* button = Find<QPushButton>(name);
        if (!button || !button->isEnabled())
            return false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }
};

int RowOf(const QAbstractItemModel* model, const QString& ip)
{
    for (int row = 0; model && row < model->rowCount(); ++row) {
        if (model->index(row, 1).data().toString() == ip)
            return row;
    }
    return -1;
}

QStringList Ips(const QAbstractItemModel* model)
{
    QStringList ips;
    for (int row = 0; model && row < model->rowCount(); ++row)
        ips << model->index(row, 1).data().toString();
    ips.sort();
    return ips;
}

// The text of the row's status column, found by its header.
QString StatusOf(const QAbstractItemModel* model, const QString& ip)
{
    const int row = RowOf(model, ip);
    if (row < 0)
        return QStringLiteral("<no row for %1>").arg(ip);
    const int column = CheckBoxTableModel::FromViewModel(model)->columnOfHeader(44);
    return model->index(row, column).data().toString();
}
} // namespace

// Drives one customer's window; each data row is one step of the profile.
class WindowRun : public QObject
{
    Q_OBJECT

public:
    WindowRun(MainFrame* window, Fleet* fleet, int code, const QStringList& steps)
        : m_window(window)
        , m_fleet(fleet)
        , m_code(code)
        , m_steps(steps)
    {
    }

private slots:
    void step_data();
    void step();

private:
    void Search();
    void NetworkChange();
    void Reboot();
    void Upgrade();
    void Stream();
    void HttpStream();
    void Clock();
    void Osd();
    void Restore();
    void ExportImport();
    void HttpExportImport();
    void Password();
    void Config();
    void OnvifSearch();
    void RangeSearch();
    void DeviceInfoPage();
    void ChangeOnDevices();
    void FirstPassword();
    void Initialise();
    void ExcelExport();
    bool Http() const { return IsHttpApiCompany(m_code); }

    PageView Show(ToolBarFrame::PageButton button, PageIndex index);
    PageView Open(ToolBarFrame::PageButton button, PageIndex index, const char* userEdit, const char* passwordEdit);
    bool RunBatch(
        const PageView& page, const QStringList& ips, const char* action, int status, const char* unlocked = nullptr);
    bool CheckRows(const PageView& page, const QStringList& ips, const char* viewName = "m_pDeviceTableView");
    void WaitStatuses(const PageView& page, const QStringList& ips, int status);
    void WaitUnlocked(const PageView& page, const char* button);
    QStringList SdkIps() const;
    FakeDevice* SdkAt(const QString& ip) const;
    // The devices the operation steps act on: the SDK devices, or under the
    // HTTP JSON API those that have a password (the range search lists them).
    QStringList Targets() const;
    std::vector<FakeHttpApi*> HttpTargets() const;
    QStringList ListedIps() const;
    bool RunSearch();

    MainFrame* m_window;
    Fleet* m_fleet;
    int m_code;
    QStringList m_steps;
    // The devices' password: the password steps change it.
    QString m_password = kPassword;
    QTemporaryDir m_files;
    // Every message box is answered (OK); a step says which it expects.
    TestSupport::DialogAnswerer m_dialogs;
    // Those a step expected and checked.
    int m_dialogsSeen = 0;
};

void WindowRun::step_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& step : qAsConst(m_steps))
        QTest::newRow(qPrintable(step)) << step;
}

void WindowRun::step()
{
    QFETCH(QString, name);
    using Step = void (WindowRun::*)();
    static const QHash<QString, Step> steps = {
        { QStringLiteral("search"), &WindowRun::Search },
        { QStringLiteral("network"), &WindowRun::NetworkChange },
        { QStringLiteral("reboot"), &WindowRun::Reboot },
        { QStringLiteral("upgrade"), &WindowRun::Upgrade },
        { QStringLiteral("stream"), &WindowRun::Stream },
        { QStringLiteral("clock"), &WindowRun::Clock },
        { QStringLiteral("osd"), &WindowRun::Osd },
        { QStringLiteral("restore"), &WindowRun::Restore },
        { QStringLiteral("exportimport"), &WindowRun::ExportImport },
        { QStringLiteral("password"), &WindowRun::Password },
        { QStringLiteral("config"), &WindowRun::Config },
        { QStringLiteral("onvif"), &WindowRun::OnvifSearch },
        { QStringLiteral("range"), &WindowRun::RangeSearch },
        { QStringLiteral("deviceinfo"), &WindowRun::DeviceInfoPage },
        { QStringLiteral("change"), &WindowRun::ChangeOnDevices },
        { QStringLiteral("first"), &WindowRun::FirstPassword },
        { QStringLiteral("initialise"), &WindowRun::Initialise },
        { QStringLiteral("xlsx"), &WindowRun::ExcelExport },
    };
    const Step run = steps.value(name);
    QVERIFY2(run, qPrintable(QStringLiteral("no step %1").arg(name)));
    m_dialogsSeen = m_dialogs.Dialogs().size();
    (this->*run)();
    // A refusal or question no step expects would have ended the batch before it began.
    QStringList unexpected;
    for (int i = m_dialogsSeen; i < m_dialogs.Dialogs().size(); ++i)
        unexpected << m_dialogs.Dialogs().at(i).title + QStringLiteral(": ") + m_dialogs.Dialogs().at(i).text;
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
}

FakeDevice* WindowRun::SdkAt(const QString& ip) const
{
    for (const auto& device : m_fleet->sdk) {
        if (QString::fromStdString(device->State().ip) == ip)
            return device.get();
    }
    return nullptr;
}

// By address, as the rows list them.
QStringList WindowRun::SdkIps() const
{
    QStringList ips;
    for (const auto& device : m_fleet->sdk)
        ips << QString::fromStdString(device->State().ip);
    ips.sort();
    return ips;
}

QStringList WindowRun::Targets() const
{
    if (!Http())
        return SdkIps();
    QStringList ips;
    for (FakeHttpApi* device : HttpTargets())
        ips << QString::fromStdString(device->Ip());
    ips.sort();
    return ips;
}

// In address order, as the fleet made them (they never move); none outside the HTTP JSON API.
std::vector<FakeHttpApi*> WindowRun::HttpTargets() const
{
    std::vector<FakeHttpApi*> devices;
    for (const auto& device : m_fleet->http) {
        if (Http() && device->State().initialised)
            devices.push_back(device.get());
    }
    return devices;
}

// What a LAN search lists: the SDK devices and the HTTP ones, which answer it too.
QStringList WindowRun::ListedIps() const
{
    QStringList ips = SdkIps();
    for (const auto& device : m_fleet->httpSearch)
        ips << QString::fromStdString(device->State().ip);
    ips.sort();
    return ips;
}

PageView WindowRun::Show(ToolBarFrame::PageButton button, PageIndex index)
{
    QPushButton* pageButton = m_window->ToolBar()->Button(button);
    PageView view;
    if (!pageButton->isVisible() || !pageButton->isEnabled())
        return view;
    QTest::mouseClick(pageButton, Qt::LeftButton);
    if (m_window->StackedWidget()->currentIndex() == index)
        view.page = m_window->StackedWidget()->currentWidget();
    return view;
}

// Shows the page of a tool-bar button with the login typed in.
PageView WindowRun::Open(
    ToolBarFrame::PageButton button, PageIndex index, const char* userEdit, const char* passwordEdit)
{
    PageView view = Show(button, index);
    view.SetText(userEdit, kUser);
    view.SetText(passwordEdit, m_password);
    return view;
}

// Ticks the rows of these devices, clicks the action and waits for each row's
// status and for the page and the tool bar to come back.
bool WindowRun::RunBatch(
    const PageView& page, const QStringList& ips, const char* action, int status, const char* unlocked)
{
    if (!CheckRows(page, ips) || !page.Click(action))
        return false;
    WaitStatuses(page, ips, status);
    WaitUnlocked(page, unlocked ? unlocked : action);
    return !QTest::currentTestFailed();
}

// Ticks the rows of these devices (and only those) in the page's check-box column.
bool WindowRun::CheckRows(const PageView& page, const QStringList& ips, const char* viewName)
{
    CheckBoxTableView* view = page.View(viewName);
    if (!view)
        return false;
    QAbstractItemModel* model = view->model();
    const CheckBoxTableModel* table = CheckBoxTableModel::FromViewModel(model);
    auto checked = [&](int row) { return table->checkState(model->index(row, 0)) == Qt::Checked; };
    for (int row = 0; row < model->rowCount(); ++row) {
        if (ips.contains(model->index(row, 1).data().toString()) != checked(row))
            TestSupport::ClickCheckBox(view, row);
    }
    int ticked = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const bool wanted = ips.contains(model->index(row, 1).data().toString());
        if (wanted != checked(row))
            return false;
        ticked += wanted ? 1 : 0;
    }
    return ticked == ips.size();
}

void WindowRun::WaitStatuses(const PageView& page, const QStringList& ips, int status)
{
    const QString expected = StatusTextOf(status);
    for (const QString& ip : ips)
        QTRY_COMPARE_WITH_TIMEOUT(StatusOf(page.Model(), ip), expected, kBatchMs);
}

void WindowRun::WaitUnlocked(const PageView& page, const char* button)
{
    QTRY_VERIFY_WITH_TIMEOUT(page.Find<QPushButton>(button)->isEnabled(), kBatchMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_window->ToolBar()->Button(ToolBarFrame::ButtonUpgrade)->isEnabled(), kBatchMs);
}

bool WindowRun::RunSearch()
{
    SearchFrame* search = m_window->SearchPage();
    QTest::mouseClick(m_window->ToolBar()->Button(ToolBarFrame::ButtonSearch), Qt::LeftButton);
    return QTest::qWaitFor([&] { return !search->IsSearching(); }, kBatchMs);
}

// The window searches as it opens; the search button searches again. Both list
// every device of the SDK search once, by address.
void WindowRun::Search()
{
    SearchFrame* search = m_window->SearchPage();
    QTRY_VERIFY_WITH_TIMEOUT(!search->IsSearching(), kBatchMs);
    PageView page { search };
    if (Http()) {
        // No LAN search under the HTTP JSON API: the search ends at once, nothing asked, nothing listed.
        QVERIFY(RunSearch());
        QCOMPARE(page.Model("m_pNormalView")->rowCount(), 0);
        for (const auto& device : m_fleet->httpSearch)
            QCOMPARE(device->CountReceived(fakedevice::wire::Search), 0);
        return;
    }
    QCOMPARE(Ips(page.Model("m_pNormalView")), ListedIps());
    for (const auto& device : m_fleet->sdk)
        QVERIFY(device->CountReceived(fakedevice::wire::Search) > 0);
    for (auto& device : m_fleet->sdk)
        device->ClearReceived();
    QVERIFY(RunSearch());
    QCOMPARE(Ips(page.Model("m_pNormalView")), ListedIps());
    for (const auto& device : m_fleet->sdk)
        QVERIFY(device->CountReceived(fakedevice::wire::Search) > 0);
}

// Two of the SDK devices move to free addresses of their namespace in one
// batch; the third keeps its own. The next search lists them where they went.
void WindowRun::NetworkChange()
{
    QVERIFY(RunSearch());
    PageView page { m_window->SearchPage() };
    const QStringList moving = { SdkIps().at(0), SdkIps().at(1) };
    QVERIFY(CheckRows(page, moving, "m_pNormalView"));
    page.SetText("m_pEditUserName", kUser);
    page.SetText("m_pEditPassword", m_password);
    page.Find<QComboBox>("m_pComNetMode")->setCurrentIndex(1);
    page.SetText("m_pEditIP", Address(kMovedTo));
    QVERIFY(page.Click("m_pBtnModify"));
    WaitUnlocked(page, "m_pBtnModify");
    // The rows show the devices at their new addresses, and say so; the third row says nothing.
    for (const QString& ip : { Address(kMovedTo), Address(kMovedTo + 1) })
        QCOMPARE(StatusOf(page.Model("m_pNormalView"), ip), StatusTextOf(StatusOk));
    QCOMPARE(StatusOf(page.Model("m_pNormalView"), Address(kSdkDevices)), QString());
    for (int i = 0; i < 2; ++i)
        QVERIFY(m_fleet->sdk[i]->CountReceived(fakedevice::wire::SetNetwork) > 0);
    QCOMPARE(m_fleet->sdk[2]->CountReceived(fakedevice::wire::SetNetwork), 0);
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(m_fleet->sdk[0]->State().ip), Address(kMovedTo), kBatchMs);
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(m_fleet->sdk[1]->State().ip), Address(kMovedTo + 1), kBatchMs);
    for (const auto& device : m_fleet->sdk)
        QVERIFY(device->WaitListening(20000));
    QVERIFY(RunSearch());
    QCOMPARE(Ips(page.Model("m_pNormalView")), ListedIps());
    QVERIFY(Ips(page.Model("m_pNormalView")).contains(Address(kMovedTo + 1)));
}

// Every device reboots once; each row says so.
void WindowRun::Reboot()
{
    const PageView page = Open(ToolBarFrame::ButtonRebootDevice, PageRebootDevice, "m_pEditUser", "m_pEditPwd");
    QVERIFY(page.page);
    QVERIFY(RunBatch(page, Targets(), "m_pBtnReboot", StatusRebootOk));
    for (FakeHttpApi* device : HttpTargets()) {
        QCOMPARE(device->State().reboots, 1);
        QTRY_VERIFY_WITH_TIMEOUT(device->Listening(), kBatchMs);
        QTRY_COMPARE_WITH_TIMEOUT(device->Sessions(), 0, kBatchMs);
    }
    if (Http())
        return;
    for (const auto& device : m_fleet->sdk) {
        QCOMPARE(device->State().reboots, 1);
        QVERIFY(device->WaitListening(20000));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

namespace
{
// Clicks a check box or radio button on its box, as a user does.
void ClickBox(QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool radio = qobject_cast<QRadioButton*>(button);
    const QRect box = button->style()->subElementRect(
        radio ? QStyle::SE_RadioButtonClickRect : QStyle::SE_CheckBoxClickRect, &option, button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, box.center());
}

void Retype(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// Answers the page's file questions in order; an empty answer cancels.
struct FileAnswers
{
    FileAnswers()
    {
        previous = FileDialogs::SetAnswer([this](const FileDialogs::Question& question) {
            asked << question.directory;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~FileAnswers() { FileDialogs::SetAnswer(previous); }
    QStringList answers;
    QStringList asked;
    FileDialogs::Answer previous;
};

// The SDK device's record of a parameter, cut to the size of T.
template <typename T> bool Record(const FakeDevice& device, uint32_t id, T* record)
{
    const fakedevice::DeviceState state = device.State();
    const auto found = state.params.find(id);
    if (found == state.params.end() || found->second.size() < sizeof(T))
        return false;
    std::memcpy(record, found->second.data(), sizeof(T));
    return true;
}

// The SDK device's wall clock, read in the computer's zone, against the
// computer's clock when the set arrived.
qint64 ClockError(const FakeDevice& device)
{
    ZVNetDateTimeParam record;
    if (!Record(device, ZVNET_PARAM_DATETIME, &record))
        return std::numeric_limits<qint64>::max();
    const QDateTime wall(
        QDate(2000 + record.year, record.month, record.day), QTime(record.hour, record.minute, record.second));
    const qint64 arrivedMs = device.LastParamSetMs(ZVNET_PARAM_DATETIME);
    if (arrivedMs == 0 || !wall.isValid())
        return std::numeric_limits<qint64>::max();
    return wall.toMSecsSinceEpoch() - arrivedMs;
}

} // namespace

// The first SDK device's firmware lands whole at every checked device.
void WindowRun::Upgrade()
{
    const PageView page = Open(ToolBarFrame::ButtonUpgrade, PageUpgrade, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    const QByteArray image = TestSupport::RandomBytes(192 * 1024, 23);
    const QString path = m_files.filePath(QStringLiteral("firmware.sw"));
    QVERIFY(TestSupport::WriteFile(path, image));
    page.SetText("m_pEditFilePath", path);
    QVERIFY(RunBatch(page, Targets(), "m_pBtnUpgrade", StatusUpgradeOk));
    const std::string hash = TestSupport::Sha256Hex(image);
    for (FakeHttpApi* device : HttpTargets()) {
        const std::vector<fakedevice::HttpUpload> uploads = device->State().settings.uploads;
        QCOMPARE(int(uploads.size()), 1);
        QCOMPARE(uploads[0].size, uint64_t(image.size()));
        QCOMPARE(uploads[0].sha256, hash);
        QTRY_COMPARE_WITH_TIMEOUT(device->Sessions(), 0, kBatchMs);
    }
    if (Http())
        return;
    for (const auto& device : m_fleet->sdk) {
        const std::vector<fakedevice::UpgradeRecord> upgrades = device->Upgrades();
        QCOMPARE(int(upgrades.size()), 1);
        QCOMPARE(upgrades[0].receivedSize, uint64_t(image.size()));
        QCOMPARE(upgrades[0].sha256, hash);
        QVERIFY(upgrades[0].ended);
        QVERIFY(device->WaitListening(20000));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

// The main stream of the first device, read on the page, is set on all of them.
void WindowRun::Stream()
{
    if (Http()) {
        HttpStream();
        return;
    }
    // The page takes the values of the first ticked row: the device listed first.
    FakeDevice* source = m_fleet->sdk[0].get();
    for (const auto& device : m_fleet->sdk) {
        if (device->State().ip < source->State().ip)
            source = device.get();
    }
    const QString sourceIp = QString::fromStdString(source->State().ip);
    source->Update([](fakedevice::DeviceState& state) {
        uint8_t* record = state.params[ZVNET_PARAM_MAIN_STREAM].data();
        record[offsetof(ZVNetStreamParam, bitrateMode)] = 1;
        fakedevice::PutU16(state.params[ZVNET_PARAM_MAIN_STREAM], offsetof(ZVNetStreamParam, customBitrate), 3000);
        record[offsetof(ZVNetStreamParam, frameRate)] = 12;
    });
    const PageView page
        = Open(ToolBarFrame::ButtonStreamConfig, PageStreamConfig, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    page.Find<QComboBox>("m_pStreamComBox")->setCurrentIndex(0);
    const QStringList ips = SdkIps();
    QVERIFY(RunBatch(page, { sourceIp }, "m_pBtnQuery", StatusQueryOk, "m_pBtnSet"));
    QVERIFY(RunBatch(page, ips, "m_pBtnSet", StatusOk));
    for (const auto& device : m_fleet->sdk) {
        ZVNetStreamParam record;
        QVERIFY(Record(*device, ZVNET_PARAM_MAIN_STREAM, &record));
        QCOMPARE(int(record.bitrateMode), 1);
        QCOMPARE(int(record.customBitrate), 3000);
        QCOMPARE(int(record.frameRate), 12);
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

void WindowRun::HttpStream()
{
    const std::vector<FakeHttpApi*> devices = HttpTargets();
    const fakedevice::HttpStreamSettings chosen { "1280*720", 12, "H264", "UserDefined", 3000, 3000 };
    devices.front()->Update([&](fakedevice::HttpDeviceState& state) { state.settings.streams["MainStream"] = chosen; });
    const PageView page
        = Open(ToolBarFrame::ButtonStreamConfig, PageStreamConfig, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    page.Find<QComboBox>("m_pStreamComBox")->setCurrentIndex(0);
    QVERIFY(RunBatch(page, { Targets().front() }, "m_pBtnQuery", StatusQueryOk, "m_pBtnSet"));
    QVERIFY(RunBatch(page, Targets(), "m_pBtnSet", StatusOk));
    for (FakeHttpApi* device : devices) {
        const fakedevice::HttpStreamSettings now = device->State().settings.streams["MainStream"];
        QCOMPARE(now.resolution, chosen.resolution);
        QCOMPARE(now.fps, chosen.fps);
        QCOMPARE(now.encodeType, chosen.encodeType);
        QCOMPARE(now.bitrateMode, chosen.bitrateMode);
        QCOMPARE(now.customBitrate, chosen.customBitrate);
        QTRY_COMPARE_WITH_TIMEOUT(device->Sessions(), 0, kBatchMs);
    }
}

// The devices take the computer's date and time.
void WindowRun::Clock()
{
    const PageView page
        = Open(ToolBarFrame::ButtonStreamConfig, PageStreamConfig, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    const QStringList ips = SdkIps();
    QVERIFY(RunBatch(page, ips, "m_pBtnSetTime", StatusOk));
    for (const auto& device : m_fleet->sdk) {
        // Seconds are cut: the device may be up to a second behind, plus the way there.
        const qint64 error = ClockError(*device);
        QVERIFY2(error <= 0 && error > -3000, qPrintable(QStringLiteral("%1 ms").arg(error)));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

// A channel name and both positions, typed in, reach every device.
void WindowRun::Osd()
{
    const PageView page = Open(ToolBarFrame::ButtonOSDConfig, PageOSDConfig, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    const char* const edits[] = { "m_pEditXvalue", "m_pEditYValue", "m_pEditDateXvalue", "m_pEditdateYValue" };
    const int positions[] = { 120, 340, 486, 551 };
    for (int i = 0; i < 4; ++i)
        Retype(page.Find<QLineEdit>(edits[i]), QString::number(positions[i]));
    Retype(page.Find<QLineEdit>("m_pEditChnName"), QStringLiteral("Gate 7"));
    QVERIFY(RunBatch(page, Targets(), "m_pBtnSet", StatusOk));
    for (FakeHttpApi* device : HttpTargets()) {
        const fakedevice::HttpOsdSettings osd = device->State().settings.osd;
        QCOMPARE(osd.name, std::string("Gate 7"));
        QCOMPARE(osd.nameX, 120);
        QCOMPARE(osd.nameY, 340);
        QCOMPARE(osd.dateX, 486);
        QCOMPARE(osd.dateY, 551);
        QTRY_COMPARE_WITH_TIMEOUT(device->Sessions(), 0, kBatchMs);
    }
    if (Http())
        return;
    for (const auto& device : m_fleet->sdk) {
        ZVNetOsdParam record;
        QVERIFY(Record(*device, ZVNET_PARAM_OSD, &record));
        QCOMPARE(record.nameX, uint16_t(120));
        QCOMPARE(record.nameY, uint16_t(340));
        QCOMPARE(record.dateX, uint16_t(486));
        QCOMPARE(record.dateY, uint16_t(551));
        QCOMPARE(QByteArray(record.channelName), QByteArray("Gate 7"));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

// Defaults restored by the groups chosen in the page's dialog; the groups
// left out keep what they hold.
void WindowRun::Restore()
{
    // Code 40 restores every group without asking; code 0 asks which.
    const QStringList clicks = m_code == 40
        ? QStringList()
        : QStringList { "m_cHttpChannel", "m_cHttpAI", "m_cHttpNetwork", "m_rExceptNetwork" };
    const QStringList restored = m_code == 40 ? QStringList { "advanced", "alarm", "intelligent", "pairing", "record" }
                                              : QStringList { "intelligent", "pairing" };
    int asked = 0;
    // Answers the group dialog while this step runs.
    struct Answer
    {
        DefaultSelection::ShownHook previous;
        ~Answer() { DefaultSelection::SetShownHook(previous); }
    } answer { DefaultSelection::SetShownHook([&](DefaultSelection* dialog) {
        ++asked;
        for (const QString& name : clicks) {
            auto* button = dialog->findChild<QAbstractButton*>(name);
            if (button && button->isVisible() && button->isEnabled())
                ClickBox(button);
        }
        QTest::mouseClick(dialog->findChild<QAbstractButton*>(QStringLiteral("m_bConfirm")), Qt::LeftButton);
        if (dialog->isVisible())
            dialog->reject();
    }) };
    const PageView page
        = Open(ToolBarFrame::ButtonRecoveryDevice, PageRecoveryDevice, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    QVERIFY(RunBatch(page, SdkIps(), "m_pBtnRecover", StatusOk));
    QCOMPARE(asked, clicks.isEmpty() ? 0 : 1);
    for (const auto& device : m_fleet->sdk) {
        const fakedevice::DeviceState state = device->State();
        QCOMPARE(state.defaultResets, 1);
        QStringList factory;
        for (const auto& group : state.groupSettings) {
            if (group.second == "factory")
                factory << QString::fromStdString(group.first);
        }
        QCOMPARE(factory, restored);
        QVERIFY(device->WaitListening(20000));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
    // Every group includes the address: those devices are back where they
    // started, and the next search lists them there.
    if (m_code == 40) {
        QStringList factory;
        for (int n = 1; n <= kSdkDevices; ++n)
            factory << Address(n);
        QCOMPARE(SdkIps(), factory);
    }
    QVERIFY(RunSearch());
    QCOMPARE(Ips(PageView { m_window->SearchPage() }.Model("m_pNormalView")), ListedIps());
}

// The first device's parameters, saved to a file, go into the others.
void WindowRun::ExportImport()
{
    if (Http()) {
        HttpExportImport();
        return;
    }
    const PageView page
        = Open(ToolBarFrame::ButtonImportExport, PageImportExport, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    const QStringList ips = SdkIps();
    // The file is named after the device, or the page warns.
    const QString file = m_files.filePath(QString::fromStdString(SdkAt(ips.at(0))->State().deviceName) + ".txt");
    FakeDevice* source = SdkAt(ips.at(0));
    source->Update([](fakedevice::DeviceState& state) { state.params[ZVNET_PARAM_OSD][20] ^= 0x55; });
    FileAnswers files;
    files.answers << file << file;
    QVERIFY(RunBatch(page, { ips.at(0) }, "m_pBtnExport", StatusExportOk));
    QCOMPARE(files.asked.size(), 1);
    QVERIFY(QFileInfo(file).size() > 0);
    QVERIFY(source->CountReceived(fakedevice::wire::Export) > 0);

    const QStringList targets = { ips.at(1), ips.at(2) };
    QVERIFY(RunBatch(page, targets, "m_pBtnImport", StatusImportOk));
    QCOMPARE(files.asked.size(), 2);
    const fakedevice::DeviceState exported = source->State();
    for (const QString& ip : targets) {
        const FakeDevice* target = SdkAt(ip);
        QVERIFY(target->State().params.at(ZVNET_PARAM_OSD) == exported.params.at(ZVNET_PARAM_OSD));
        QVERIFY(target->State().params.at(ZVNET_PARAM_MAIN_STREAM) == exported.params.at(ZVNET_PARAM_MAIN_STREAM));
        QVERIFY(target->CountReceived(fakedevice::wire::Import) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(target->LoggedInSessions(), 0, kBatchMs);
    }
}

void WindowRun::HttpExportImport()
{
    const PageView page
        = Open(ToolBarFrame::ButtonImportExport, PageImportExport, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    const std::vector<FakeHttpApi*> devices = HttpTargets();
    const QStringList ips = Targets();
    FakeHttpApi* source = devices.front();
    source->Update([](fakedevice::HttpDeviceState& state) {
        state.settings.osd.name = "Exported";
        state.settings.streams["SubStream"].fps = 7;
    });
    // The file is named after the device as the range search listed it.
    QString name;
    for (const DeviceInfo* device : qAsConst(DeviceInfoMng::Instance()->m_extranetDevices)) {
        if (device->Ip() == ips.at(0))
            name = QString::fromLatin1(device->m_searchRsp.deviceName);
    }
    QCOMPARE(name, QStringLiteral("Camera"));
    const QString file = m_files.filePath(name + ".txt");
    FileAnswers files;
    files.answers << file << file;
    QVERIFY(RunBatch(page, { ips.at(0) }, "m_pBtnExport", StatusExportOk));
    QCOMPARE(files.asked.size(), 1);
    QVERIFY(QFileInfo(file).size() > 0);

    QVERIFY(RunBatch(page, ips.mid(1), "m_pBtnImport", StatusImportOk));
    QCOMPARE(files.asked.size(), 2);
    const fakedevice::HttpSettings exported = source->State().settings;
    QCOMPARE(exported.paramImports, 0);
    for (size_t i = 1; i < devices.size(); ++i) {
        const fakedevice::HttpSettings target = devices[i]->State().settings;
        QCOMPARE(target.paramImports, 1);
        QCOMPARE(target.osd.name, std::string("Exported"));
        QCOMPARE(target.streams.at("SubStream").fps, 7);
        QCOMPARE(target.deviceParams, exported.deviceParams);
        QTRY_COMPARE_WITH_TIMEOUT(devices[i]->Sessions(), 0, kBatchMs);
    }
}

// Every device takes the new password; the old one no longer logs in.
void WindowRun::Password()
{
    const PageView page
        = Open(ToolBarFrame::ButtonChangePassword, PageChangePassword, "m_pEditUserName", "m_pEditPassword");
    QVERIFY(page.page);
    page.SetText("m_pEditNewPWD", kNewPassword);
    page.SetText("m_pEditConfirmPWD", kNewPassword);
    QVERIFY(RunBatch(page, Targets(), "m_pBtnModify", StatusOk));
    m_password = kNewPassword;
    for (FakeHttpApi* device : HttpTargets()) {
        QCOMPARE(QString::fromStdString(device->State().password), kNewPassword);
        QTRY_COMPARE_WITH_TIMEOUT(device->Sessions(), 0, kBatchMs);
    }
    if (Http()) {
        // The device with no password yet heard nothing of it.
        QVERIFY(m_fleet->http.back()->State().password.empty());
        return;
    }
    for (const auto& device : m_fleet->sdk) {
        QCOMPARE(QString::fromStdString(device->Password()), kNewPassword);
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

// One device on the configuration tab: log in, set its user password there;
// under the HTTP JSON API also restore the defaults of one group there, in the
// session the page opened with the new password.
void WindowRun::Config()
{
    QTest::mouseClick(m_window->ToolBar()->Button(ToolBarFrame::ButtonConfig), Qt::LeftButton);
    QCOMPARE(m_window->StackedWidget()->currentIndex(), int(PageConfig));
    auto* login = dynamic_cast<LoginFrame*>(m_window->LoginFramePage());
    QVERIFY(login);
    FakeDevice* sdk = Http() ? nullptr : m_fleet->sdk.back().get();
    FakeHttpApi* web = Http() ? m_fleet->http.front().get() : nullptr;
    auto sessions = [&] { return sdk ? sdk->LoggedInSessions() : web->Sessions(); };
    auto logins
        = [&] { return sdk ? sdk->CountReceived(fakedevice::wire::Login) : web->CountRequests("/API/Web/Login"); };
    auto password = [&] { return QString::fromStdString(sdk ? sdk->Password() : web->State().password); };
    login->IpEdit()->setText(QString::fromStdString(sdk ? sdk->State().ip : web->Ip()));
    login->PortEdit()->setText(QString::number(sdk ? sdk->State().mediaPort : web->Port()));
    login->UserEdit()->setText(kUser);
    login->PasswordEdit()->setText(m_password);
    QTest::mouseClick(login->LoginButton(), Qt::LeftButton);
    DeviceConfig* config = login->Config();
    QTRY_VERIFY_WITH_TIMEOUT(config->isEnabled(), kBatchMs);
    QTRY_COMPARE_WITH_TIMEOUT(sessions(), 1, kBatchMs);

    if (web) {
        Default* defaults = config->m_pDefault;
        QTest::mouseClick(config->DefaultPageButton(), Qt::LeftButton);
        QVERIFY(defaults->m_pChkSystem->isVisible());
        ClickBox(defaults->m_pChkSystem);
        QVERIFY(defaults->m_pChkSystem->isChecked());
        QTest::mouseClick(config->SetButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(web->State().resets, 1, kBatchMs);
        const fakedevice::HttpDeviceState state = web->State();
        QCOMPARE(state.groupSettings.at("system"), std::string("factory"));
        QCOMPARE(state.groupSettings.at("record"), std::string("changed"));
        QVERIFY(web->LastProtection().authenticationOk);
    }
    const int loginsBefore = logins();
    QTest::mouseClick(config->UserPageButton(), Qt::LeftButton);
    QVERIFY(config->SetButton()->isVisible());
    config->m_pUser->NewPasswordEdit()->setText(kConfigPassword);
    config->m_pUser->ConfirmPasswordEdit()->setText(kConfigPassword);
    QTest::mouseClick(config->SetButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(password(), kConfigPassword, kBatchMs);
    // The page logs in again with the new password: the device sees one more login.
    QTRY_COMPARE_WITH_TIMEOUT(logins(), loginsBefore + 1, kBatchMs);
    QTRY_COMPARE_WITH_TIMEOUT(login->Session().m_state, 101, kBatchMs);
    QCOMPARE(login->Session().m_password, kConfigPassword);
    QVERIFY(config->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(sessions(), 1, kBatchMs);
    login->Session().Logout();
    QTRY_COMPARE_WITH_TIMEOUT(sessions(), 0, kBatchMs);
}

// The protocol box switches the search page to ONVIF: it lists the ONVIF
// devices that answered the probe; switched back, the SDK's devices again.
void WindowRun::OnvifSearch()
{
    QComboBox* protocol = m_window->ToolBar()->ProtocolCombo();
    QVERIFY(protocol->isVisible());
    SearchFrame* search = m_window->SearchPage();
    QTRY_VERIFY_WITH_TIMEOUT(!search->IsSearching(), kBatchMs);
    protocol->setCurrentIndex(1);
    QCOMPARE(search->Protocol(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!search->IsSearching(), kBatchMs);
    PageView page { search };
    QStringList onvifIps;
    for (const auto& device : m_fleet->onvif) {
        onvifIps << QString::fromStdString(device->State().ip);
        QVERIFY(device->Probes() > 0);
    }
    onvifIps.sort();
    QCOMPARE(Ips(page.Model("m_pOnvifView")), onvifIps);
    for (DeviceInfo* device : DeviceInfoMng::Instance()->m_lanDevices)
        QVERIFY(device->m_bOnvif);
    protocol->setCurrentIndex(0);
    QCOMPARE(search->Protocol(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!search->IsSearching(), kBatchMs);
    QCOMPARE(Ips(page.Model("m_pNormalView")), ListedIps());
}

// The range page asks each address of the devices' part of the LAN and lists
// those that answer.
void WindowRun::RangeSearch()
{
    PageView page = Show(ToolBarFrame::ButtonExtranetSearch, PageExtranetSearch);
    QVERIFY(page.page);
    for (auto& device : m_fleet->sdk)
        device->ClearReceived();
    page.Find<QLineEdit>("m_pEditStaIP")->setText(Address(1));
    page.Find<QLineEdit>("m_pEditEndIP")->setText(Address(2 * kPerNamespace));
    auto* query = page.Find<QPushButton>("m_pBtnQuery");
    QVERIFY(page.Click("m_pBtnQuery"));
    QVERIFY(!query->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(query->isEnabled(), kBatchMs);
    if (Http()) {
        // The JSON search of the HTTP JSON API at every address.
        QStringList ips;
        for (const auto& device : m_fleet->http) {
            ips << QString::fromStdString(device->Ip());
            QVERIFY(device->CountRequests("/API/Login/Range") > 0);
        }
        QCOMPARE(Ips(page.Model()), ips);
        return;
    }
    QCOMPARE(Ips(page.Model()), ListedIps());
    for (const auto& device : m_fleet->sdk)
        QVERIFY(device->CountReceived(fakedevice::wire::Search) > 0);
}

// The device information page returns the PTZ of every ticked device to its
// defaults, then moves them all to new addresses.
void WindowRun::DeviceInfoPage()
{
    const PageView page = Open(ToolBarFrame::ButtonDeviceInfo, PageDeviceInfo, "m_pEditUser", "m_pEditPassword");
    QVERIFY(page.page);
    const QStringList ips = SdkIps();
    QVERIFY(RunBatch(page, ips, "m_pBtnPTZDefault", StatusOk));
    for (const auto& device : m_fleet->sdk) {
        QCOMPARE(device->State().ptzDefaults, 1);
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }

    // Then a network batch: consecutive addresses from the one typed, in row order.
    const QStringList before = SdkIps();
    std::vector<FakeDevice*> inRowOrder;
    std::vector<int> changes;
    for (const QString& ip : before) {
        inRowOrder.push_back(SdkAt(ip));
        changes.push_back(inRowOrder.back()->CountReceived(fakedevice::wire::SetNetwork));
    }
    QVERIFY(CheckRows(page, before));
    page.SetText("m_pEditStartIP", Address(kInfoMovedTo));
    page.SetText("m_pEditMediaPort", QString::number(inRowOrder.front()->State().mediaPort));
    page.SetText("m_pEditGateway", QStringLiteral("10.213.0.1"));
    page.SetText("m_pEditNetmask", QStringLiteral("255.255.0.0"));
    QVERIFY(page.Click("m_pBtnModify"));
    QStringList moved;
    for (int i = 0; i < kSdkDevices; ++i)
        moved << Address(kInfoMovedTo + i);
    WaitStatuses(page, moved, StatusOk);
    WaitUnlocked(page, "m_pBtnModify");
    for (int i = 0; i < kSdkDevices; ++i) {
        const fakedevice::DeviceState state = inRowOrder[size_t(i)]->State();
        QCOMPARE(QString::fromStdString(state.ip), moved.at(i));
        QCOMPARE(state.netmask, std::string("255.255.0.0"));
        QCOMPARE(state.gateway, std::string("10.213.0.1"));
        QCOMPARE(inRowOrder[size_t(i)]->CountReceived(fakedevice::wire::SetNetwork), changes[size_t(i)] + 1);
        QVERIFY(inRowOrder[size_t(i)]->WaitListening(20000));
    }
    QVERIFY(RunSearch());
    QCOMPARE(Ips(PageView { m_window->SearchPage() }.Model("m_pNormalView")), ListedIps());
}

// A new name and model for every ticked device.
void WindowRun::ChangeOnDevices()
{
    const PageView page
        = Open(ToolBarFrame::ButtonChangeDevice, PageChangeDevice, "m_pEditUserName", "m_pEditPassWord");
    QVERIFY(page.page);
    page.Find<QCheckBox>("m_pCheckDeviceName")->setChecked(true);
    page.SetText("m_pEditDeviceName", QStringLiteral("Lobby"));
    page.Find<QCheckBox>("m_pCheckDeviceType")->setChecked(true);
    page.SetText("m_pEditDeviceType", QStringLiteral("ZV-T9"));
    const QStringList ips = SdkIps();
    QVERIFY(RunBatch(page, ips, "m_pBtnChange", StatusChangeOk));
    for (const auto& device : m_fleet->sdk) {
        QCOMPARE(device->State().deviceName, std::string("Lobby"));
        QCOMPARE(device->State().deviceType, std::string("ZV-T9"));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
}

// The initialise page lists the one device that has no password yet (from
// the range search) and gives it the password typed twice.
void WindowRun::Initialise()
{
    FakeHttpApi& device = *m_fleet->http.back();
    QVERIFY(!device.State().initialised);
    const QString ip = QString::fromStdString(device.Ip());
    PageView page = Show(ToolBarFrame::ButtonInitialDevice, PageInitialDevice);
    QVERIFY(page.page);
    QCOMPARE(Ips(page.Model()), QStringList { ip });
    page.SetText("m_pEditUserName", kUser);
    page.SetText("m_pEditPwd", kFirstPassword);
    page.SetText("m_pEditConfirmPwd", kFirstPassword);
    QVERIFY(RunBatch(page, { ip }, "m_pBtnInitialized", StatusInitOk));
    const fakedevice::HttpDeviceState state = device.State();
    QVERIFY(state.initialised);
    QCOMPARE(QString::fromStdString(state.password), kFirstPassword);
    QCOMPARE(QString::fromStdString(device.LastProtection().password), kFirstPassword);
    // The others had theirs: the page sent them nothing.
    for (FakeHttpApi* other : HttpTargets()) {
        if (other != &device)
            QCOMPARE(other->CountRequests("/API/Login/TransKey/Get"), 0);
    }
}

// Every listed device goes to the .xlsx file: the header, then one row per
// device in the list's order.
void WindowRun::ExcelExport()
{
    PageView page = Show(ToolBarFrame::ButtonExportExcel, PageExportExcel);
    QVERIFY(page.page);
    QStringList ips;
    for (const auto& device : m_fleet->http)
        ips << QString::fromStdString(device->Ip());
    QCOMPARE(Ips(page.Model()), ips);
    const QString path = m_files.filePath(QStringLiteral("devices.xlsx"));
    FileAnswers files;
    files.answers << path;
    QVERIFY(RunBatch(page, ips, "m_pBtnExcel", StatusExportOk));
    QCOMPARE(files.asked.size(), 1);

    const QJsonObject book = TestSupport::ReadWorkbook(path);
    QVERIFY(!book.isEmpty());
    const QJsonArray rows = book.value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows.size(), 1 + ips.size());
    auto cell = [&rows](int row, int column) {
        return rows.at(row).toArray().at(column).toObject().value(QStringLiteral("value"));
    };
    // Without the media port under the HTTP JSON API.
    QStringList header;
    for (int column = 0; column < rows.at(0).toArray().size(); ++column)
        header << cell(0, column).toString();
    QStringList expected;
    for (int id : { 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127 })
        expected << LanguageText(id);
    QCOMPARE(header, expected);
    for (int row = 1; row <= ips.size(); ++row) {
        QCOMPARE(cell(row, 0).toString(), ips.at(row - 1));
        QCOMPARE(cell(row, 1).toInt(), m_fleet->http[size_t(row - 1)]->Port());
        QCOMPARE(cell(row, 3).toString(), QStringLiteral("Camera"));
    }
}

// A device that has no password yet, double-clicked in the search list: the
// configuration tab opens at its address, asks the device's web side whether
// it is new, and the first-password box gives it the password the user types.
void WindowRun::FirstPassword()
{
    FakeDevice& device = *m_fleet->httpSearch.back();
    FakeHttpApi& web = *m_fleet->http.back();
    QVERIFY(device.State().firstLogin);
    const QString ip = QString::fromStdString(device.State().ip);
    QVERIFY(RunSearch());
    PageView page { m_window->SearchPage() };
    CheckBoxTableView* view = page.View("m_pNormalView");
    const int row = RowOf(view->model(), ip);
    QVERIFY(row >= 0);
    bool boxShown = false;
    m_dialogs.SetNextAction([&](BaseDialog* dialog) {
        auto* box = qobject_cast<InitPwdBox*>(dialog->Content());
        if (!box)
            return;
        boxShown = true;
        QTest::keyClicks(box->PasswordEdit(), kFirstPassword);
        QTest::keyClicks(box->ConfirmEdit(), kFirstPassword);
        QTest::mouseClick(box->OkButton(), Qt::LeftButton);
    });
    // On the status column: a click on the address opens the device's web page.
    const QModelIndex cell = view->model()->index(row, view->model()->columnCount() - 1);
    view->scrollTo(cell);
    const QPoint at = view->visualRect(cell).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(m_window->StackedWidget()->currentIndex(), int(PageConfig));
    auto* login = dynamic_cast<LoginFrame*>(m_window->LoginFramePage());
    QVERIFY(login);
    QCOMPARE(login->IpEdit()->text(), ip);

    QTRY_VERIFY_WITH_TIMEOUT(!device.State().firstLogin, kBatchMs);
    QVERIFY(boxShown);
    QCOMPARE(QString::fromStdString(device.Password()), kFirstPassword);
    QCOMPARE(device.CountReceived(fakedevice::wire::SavePassword), 1);
    QVERIFY(web.CountRequests("/new-cgi-bin/mediaport.cgi") > 0);
    // The box was the one dialog.
    QCOMPARE(m_dialogs.Dialogs().size(), m_dialogsSeen + 1);
    QCOMPARE(m_dialogs.Dialogs().constLast().title, LanguageText(154));
    m_dialogsSeen = m_dialogs.Dialogs().size();
    QCOMPARE(login->PasswordEdit()->text(), kFirstPassword);
    // The two fakes stand for one device: its web side has the password now too.
    web.Update([](fakedevice::HttpDeviceState& state) {
        state.initialised = true;
        state.password = kFirstPassword.toStdString();
    });
}

namespace
{
// One profile in a process of its own (see the top of the file).
int RunProfile(int code, const QStringList& steps)
{
    NamespaceLan lan;
    QString reason;
    if (!lan.Up(3, kPerNamespace, &reason)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return kSkipStatus;
    }
    Fleet fleet;
    if (!fleet.Start(lan, &reason)) {
        std::fprintf(stderr, "fake devices: %s\n", qPrintable(reason));
        return 1;
    }
    // Broadcast goes to every interface the program sees: only ever from inside the LAN.
    if (!lan.Enter(QStringLiteral("host")) || !NamespaceLan::SeesOnlyLan()) {
        std::fprintf(stderr, "cannot enter the LAN's host namespace\n");
        return 1;
    }
    TestSupport::TemporarySettings settings;
    settings.WriteConfig("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><Language cursel=\"0\">"
                         "<file name=\"ENU.xml\"/></Language><Company>"
        + QByteArray::number(code) + "</Company><Version>V1.0.0</Version></config>\n");

    qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(kStepMs));
    int failed = -1;
    std::unique_ptr<WindowRun> run;
    StartupHooks hooks;
    hooks.windowShown = [&](QWidget* window) {
        QTimer::singleShot(0, window, [&, window] {
            run = std::make_unique<WindowRun>(static_cast<MainFrame*>(window), &fleet, code, steps);
            failed = QTest::qExec(run.get(), QStringList { QStringLiteral("tst_window_e2e") });
            window->close();
        });
    };
    char name[] = "tst_window_e2e";
    char* argv[] = { name, nullptr };
    const int result = RunDevscan(1, argv, &hooks);
    run.reset();
    lan.Leave();
    return result == 0 && failed == 0 ? 0 : 1;
}
} // namespace

// One run per customer profile, each taking the steps its tool bar offers.
class TestWindowE2e : public QObject
{
    Q_OBJECT

private slots:
    void profile_data();
    void profile();
};

void TestWindowE2e::profile_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("steps");
    // Each profile's steps follow its tool bar left to right, after the search
    // page's own (the search, the network change), with the configuration tab
    // last: it gives its device a password of its own. Codes 20 and 36 also
    // search by ONVIF (their protocol box).
    QTest::newRow("code 0") << 0
                            << QStringList { "search", "network", "upgrade", "stream", "clock", "osd", "restore",
                                   "exportimport", "reboot", "password", "first", "config" };
    QTest::newRow("code 20") << 20 << QStringList { "search", "onvif", "network", "upgrade", "range", "config" };
    QTest::newRow("code 36") << 36 << QStringList { "search", "onvif", "network", "upgrade", "deviceinfo", "config" };
    QTest::newRow("code 40") << 40 << QStringList { "search", "network", "upgrade", "restore", "change", "config" };
    // Code 43 never searches the LAN: its operation pages list what the range
    // page found, among them the device with no password yet for the
    // initialise page. Their groups' defaults are restored on the
    // configuration tab (the restore-defaults page is not offered).
    QTest::newRow("code 43") << 43
                             << QStringList { "search", "range", "reboot", "password", "stream", "osd", "exportimport",
                                    "upgrade", "initialise", "xlsx", "config" };
}

void TestWindowE2e::profile()
{
    QFETCH(int, code);
    QFETCH(QStringList, steps);
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--run"), QString::number(code), steps.join(QLatin1Char(',')) });
    QVERIFY(run.waitForStarted());
    // Each step has its bound (kStepMs); ctest bounds the whole.
    QVERIFY(run.waitForFinished(-1));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    if (run.exitCode() == kSkipStatus)
        QSKIP("network namespaces are not available here");
    QCOMPARE(run.exitCode(), 0);
}

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--run") == 0)
        return RunProfile(std::atoi(argv[2]), QString::fromLatin1(argv[3]).split(QLatin1Char(','), Qt::SkipEmptyParts));
    QCoreApplication application(argc, argv);
    TestWindowE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_e2e.moc"
