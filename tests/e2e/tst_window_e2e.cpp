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

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceWire.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"
#include "LineEdit.h"
#include "MainFrame.h"
#include "NamespaceLan.h"
#include "PageIndex.h"
#include "SearchFrame.h"
#include "Startup.h"
#include "TestSupport.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using fakedevice::FakeDevice;
using fakedevice::FakeHttpApi;
using fakedevice::FakeOnvif;

namespace
{
// A batch of a few devices ends within seconds; a loaded sanitizer build may take far longer.
constexpr int kBatchMs = 120000;
constexpr int kSkipStatus = 77;
// Addresses per device namespace: dev1 holds the SDK devices and the addresses
// they move to, dev2 the devices of the HTTP JSON API, dev3 the ONVIF devices.
constexpr int kPerNamespace = 6;
constexpr int kSdkDevices = 3;
constexpr int kHttpDevices = 2;
constexpr int kOnvifDevices = 2;
const QString kUser = QStringLiteral("admin");
const QString kPassword = QStringLiteral("admin123");

QString Address(int n)
{
    return QStringLiteral("10.213.1.%1").arg(n);
}

QString StatusTextOf(int status)
{
    DeviceInfo device;
    device.m_status = status;
    return device.StatusText();
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
            fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(Address(n).toStdString(), 100 + n);
            state.deviceName = "Camera" + std::to_string(n);
            sdk.push_back(std::make_unique<FakeDevice>(state, options));
        }
        if (!lan.Enter(QStringLiteral("dev2")))
            return Fail(why, QStringLiteral("cannot enter dev2"));
        for (int n = kPerNamespace + 1; n <= kPerNamespace + kHttpDevices; ++n) {
            fakedevice::HttpDeviceState webState;
            webState.user = kUser.toStdString();
            webState.password = kPassword.toStdString();
            FakeHttpApi::Options webOptions;
            webOptions.ip = Address(n).toStdString();
            webOptions.port = 80;
            webOptions.scheme = FakeHttpApi::Scheme::Both;
            http.push_back(std::make_unique<FakeHttpApi>(webState, webOptions));
            fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(Address(n).toStdString(), 100 + n);
            state.webPort = 80;
            state.deviceName = "Camera" + std::to_string(n);
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

    PageView Show(ToolBarFrame::PageButton button, PageIndex index);
    bool CheckRows(const PageView& page, const QStringList& ips, const char* viewName = "m_pDeviceTableView");
    void WaitStatuses(const PageView& page, const QStringList& ips, int status);
    void WaitUnlocked(const PageView& page, const char* button);
    QStringList SdkIps() const;
    QStringList ListedIps() const;
    bool RunSearch();

    MainFrame* m_window;
    Fleet* m_fleet;
    int m_code;
    QStringList m_steps;
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
    };
    const Step run = steps.value(name);
    QVERIFY2(run, qPrintable(QStringLiteral("no step %1").arg(name)));
    (this->*run)();
}

QStringList WindowRun::SdkIps() const
{
    QStringList ips;
    for (const auto& device : m_fleet->sdk)
        ips << QString::fromStdString(device->State().ip);
    return ips;
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

// Two of the SDK devices move to the last addresses of their namespace in one
// batch; the third keeps its own. The next search lists them where they went.
void WindowRun::NetworkChange()
{
    QVERIFY(RunSearch());
    PageView page { m_window->SearchPage() };
    const QStringList moving = { SdkIps().at(0), SdkIps().at(1) };
    QVERIFY(CheckRows(page, moving, "m_pNormalView"));
    page.SetText("m_pEditUserName", kUser);
    page.SetText("m_pEditPassword", kPassword);
    page.Find<QComboBox>("m_pComNetMode")->setCurrentIndex(1);
    page.SetText("m_pEditIP", Address(kPerNamespace - 1));
    QVERIFY(page.Click("m_pBtnModify"));
    WaitUnlocked(page, "m_pBtnModify");
    for (int i = 0; i < 2; ++i)
        QVERIFY(m_fleet->sdk[i]->CountReceived(fakedevice::wire::SetNetwork) > 0);
    QCOMPARE(m_fleet->sdk[2]->CountReceived(fakedevice::wire::SetNetwork), 0);
    QTRY_COMPARE_WITH_TIMEOUT(
        QString::fromStdString(m_fleet->sdk[0]->State().ip), Address(kPerNamespace - 1), kBatchMs);
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(m_fleet->sdk[1]->State().ip), Address(kPerNamespace), kBatchMs);
    for (const auto& device : m_fleet->sdk)
        QVERIFY(device->WaitListening(20000));
    QVERIFY(RunSearch());
    QCOMPARE(Ips(page.Model("m_pNormalView")), ListedIps());
    QVERIFY(Ips(page.Model("m_pNormalView")).contains(Address(kPerNamespace)));
}

// Every SDK device reboots once; each row says so.
void WindowRun::Reboot()
{
    PageView page = Show(ToolBarFrame::ButtonRebootDevice, PageRebootDevice);
    QVERIFY(page.page);
    const QStringList ips = SdkIps();
    QVERIFY(CheckRows(page, ips));
    page.SetText("m_pEditUser", kUser);
    page.SetText("m_pEditPwd", kPassword);
    QVERIFY(page.Click("m_pBtnReboot"));
    WaitStatuses(page, ips, StatusRebootOk);
    WaitUnlocked(page, "m_pBtnReboot");
    for (const auto& device : m_fleet->sdk) {
        QCOMPARE(device->State().reboots, 1);
        QVERIFY(device->WaitListening(20000));
        QTRY_COMPARE_WITH_TIMEOUT(device->LoggedInSessions(), 0, kBatchMs);
    }
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
    QTest::newRow("code 0") << 0 << QStringList { "search", "network", "reboot" };
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
    // The steps wait on their own bounds; this one only catches a run that hangs.
    QVERIFY(run.waitForFinished(15 * 60 * 1000));
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
