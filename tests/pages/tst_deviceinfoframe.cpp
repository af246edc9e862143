// The device information page driven through its widgets: its form per
// customer code, each refusal with its message and where the focus goes, what
// each queued device receives from the network change, the factory
// information and the default, PTZ and NTP actions, its search buttons; and
// end to end against fake devices (SDK and HTTP API, code 43): a batch of
// consecutive addresses under a /16 moves every device there, under a /24
// the devices whose address would pass .254 keep theirs, and a device that
// fails shows its own status.

#include "DeviceInfoFrame.h"
#include "DeviceWire.h"
#include "FakeHttpApi.h"
#include "HttpClient.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "PageBench.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStackedWidget>

#include <cstring>

using namespace PageTest;

namespace
{
const char* const kFactoryBoxes[] = { "m_pCheckKeyID", "m_pCheckBoardID", "m_pCheckMainBoardName",
    "m_pCheckProductType", "m_pCheckDeviceType", "m_pCheckDeviceName", "m_pCheckFunctionCode", "m_pCheckCustomType" };
const char* const kFactoryEdits[] = { "m_pEditKeyID", "m_pEditBoardID", "m_pEditMainBoardName", "m_pEditProductType",
    "m_pEditDeviceType", "m_pEditDeviceName", "m_pEditFunctionCode", "m_pEditCustomType" };

void (*const kSimpleTasks[])(void*) = { &DefaultTask, &PTZDefaultTask, &EnableNTPTask };

QList<DeviceInfo*> Devices(int count)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i) {
        DeviceInfo* device
            = NewDevice(nullptr, QStringLiteral("10.0.0.%1").arg(i + 1), QStringLiteral("cam%1").arg(i), 1, 9000 + i);
        CopyLatin1(QStringLiteral("10.0.0.254"), device->m_searchRsp.gateway);
        CopyLatin1(QStringLiteral("10.0.0.53"), device->m_searchRsp.dns1);
        devices << device;
    }
    return devices;
}

quint32 AddressOf(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    return (parts.at(0).toUInt() << 24) | (parts.at(1).toUInt() << 16) | (parts.at(2).toUInt() << 8)
        | parts.at(3).toUInt();
}

QString TextOf(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

struct InfoPage : PageOf<DeviceInfoFrame>
{
    explicit InfoPage(int company)
        : PageOf(company, QSize(1400, 700))
    {
    }
    void LoginAs(const QString& user, const QString& password)
    {
        SetText("m_pEditUser", user);
        SetText("m_pEditPassword", password);
    }
    // count devices listed, every row ticked and the login filled in.
    QList<DeviceInfo*> ListTicked(int count)
    {
        const QList<DeviceInfo*> devices = Devices(count);
        ListDevices(*page, devices);
        table.CheckAll();
        LoginAs(QStringLiteral("admin"), QStringLiteral("pw"));
        return devices;
    }
    void Network(const QString& start, const QString& port, const QString& gateway, const QString& netmask)
    {
        SetText("m_pEditStartIP", start);
        SetText("m_pEditMediaPort", port);
        SetText("m_pEditGateway", gateway);
        SetText("m_pEditNetmask", netmask);
    }
    // Every field filled so that it passes, every box ticked.
    void ValidFactory()
    {
        const QStringList texts = { "0X1f", "B1", "ZV-DM-12A", "P-100", "DT", "DN", "42", "CT" };
        for (int i = 0; i < 8; ++i) {
            Find<QCheckBox>(kFactoryBoxes[i])->setChecked(true);
            SetText(kFactoryEdits[i], texts.at(i));
        }
    }
    // The buttons and edits the actions lock, all in the one state.
    bool ButtonsEnabled(bool enabled) const
    {
        for (const char* name : { "m_pBtnSearch", "m_pBtnModify", "m_pBtnSet", "m_pBtnDefault", "m_pBtnPTZDefault",
                 "m_pBtnSearch_2", "m_pBtnEnableNTP" })
            if (Find<QPushButton>(name)->isEnabled() != enabled)
                return false;
        for (const char* name : { "m_pEditUser", "m_pEditPassword", "m_pEditStartIP", "m_pEditMediaPort",
                 "m_pEditGateway", "m_pEditNetmask" })
            if (Find<LineEdit>(name)->isEnabled() != enabled)
                return false;
        for (int i = 0; i < 8; ++i)
            if (Find<LineEdit>(kFactoryEdits[i])->isEnabled() != enabled
                || Find<QCheckBox>(kFactoryBoxes[i])->isEnabled() != enabled)
                return false;
        // The NTP page's login is never locked.
        return Find<LineEdit>("m_pEditUser_2")->isEnabled() && Find<LineEdit>("m_pEditPassword_2")->isEnabled();
    }
};

QString LoopbackNet()
{
    const QStringList parts = QString::fromStdString(fakedevice::UniqueLoopbackPrefix()).split(QLatin1Char('.'));
    return parts.at(0) + QLatin1Char('.') + parts.at(1) + QLatin1Char('.');
}

// Ends every held task's operation as its worker would.
void EndAll(const TaskRecorder& recorder, int status)
{
    for (const QueuedTask& task : recorder.Tasks())
        EndHeld(static_cast<DeviceInfo*>(task.argument), status);
}
} // namespace

class TestDeviceInfoFrame : public PageTestCase
{
    Q_OBJECT

private slots:
    void forms_data();
    void forms();
    void ntpPageOfCode22();
    void rowClickFillsTheEdits();
    void searchButtons_data();
    void searchButtons();
    void modifyRefusals_data();
    void modifyRefusals();
    void modifyArguments_data();
    void modifyArguments();
    void setRefusals_data();
    void setRefusals();
    void setBuildsTheBlock_data();
    void setBuildsTheBlock();
    void simpleActions_data();
    void simpleActions();
    void networkBatchOnDevices_data();
    void networkBatchOnDevices();

private:
    QString m_net = LoopbackNet(); // "127.a.": this test's own part of loopback
};

void TestDeviceInfoFrame::forms_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("portLabel");
    QTest::newRow("code 0") << 0 << 33;
    QTest::newRow("code 8") << 8 << 33;
    QTest::newRow("code 43") << 43 << 42;
    QTest::newRow("code 44") << 44 << 42;
}

void TestDeviceInfoFrame::forms()
{
    QFETCH(int, company);
    QFETCH(int, portLabel);
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    ZVAppSetting::Instance()->m_defaultPassword = QStringLiteral("secret");
    InfoPage page(company);
    const QList<QPair<const char*, int>> labels
        = { { "m_pBtnSearch", 10 }, { "m_pBtnSearch_2", 10 }, { "m_pBtnModify", 59 }, { "m_pBtnSet", 64 },
              { "m_pBtnDefault", 63 }, { "m_pBtnPTZDefault", 111 }, { "m_pBtnEnableNTP", 134 } };
    for (const auto& label : labels)
        QCOMPARE(page.Find<QPushButton>(label.first)->text(), Text(label.second));
    const QList<QPair<const char*, int>> texts
        = { { "m_pLabelUser", 12 }, { "m_pLabelUser_2", 12 }, { "m_pLabelPassword", 13 }, { "m_pLabelPassword_2", 13 },
              { "m_pLabelStartIP", 45 }, { "m_pLabelMediaPort", portLabel }, { "m_pLabelGateway", 38 },
              { "m_pLabelNetmask", 37 }, { "m_pLabelKeyID", 96 }, { "m_pLabelBoardID", 97 },
              { "m_pLabelMainBoardName", 98 }, { "m_pLabelProductType", 99 }, { "m_pLabelDeviceType", 100 },
              { "m_pLabelDeviceName", 101 }, { "m_pLabelFunctionCode", 102 }, { "m_pLabelCustomType", 103 } };
    for (const auto& text : texts)
        QCOMPARE(page.Find<QLabel>(text.first)->text(), Text(text.second));
    for (const char* name : { "m_pEditUser", "m_pEditUser_2" })
        QCOMPARE(page.Find<LineEdit>(name)->text(), QStringLiteral("admin"));
    for (const char* name : { "m_pEditPassword", "m_pEditPassword_2" }) {
        QCOMPARE(page.Find<LineEdit>(name)->text(), QStringLiteral("secret"));
        QCOMPARE(page.Find<LineEdit>(name)->echoMode(), QLineEdit::Password);
    }
    for (const char* name : kFactoryBoxes)
        QVERIFY(page.Find<QCheckBox>(name)->isChecked());
    QCOMPARE(page.table.view->columnWidth(0), 80);
    QCOMPARE(page.table.view->columnWidth(2), 135);
    QCOMPARE(page.table.view->columnWidth(4), 120);
    QCOMPARE(page.Find<QStackedWidget>("m_pStackWidget")->currentWidget(), page.Find<QWidget>("Page1"));
    QVERIFY(page.Find<QPushButton>("m_pBtnModify")->isVisible());
    QVERIFY(!page.page->BusyTimer());
    QVERIFY(page.ButtonsEnabled(true));
}

void TestDeviceInfoFrame::ntpPageOfCode22()
{
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    PoolBench pool(true);
    InfoPage page(22);
    QCOMPARE(page.Find<QStackedWidget>("m_pStackWidget")->currentWidget(), page.Find<QWidget>("page"));
    for (const char* name : { "m_pBtnSearch_2", "m_pEditUser_2", "m_pEditPassword_2", "m_pBtnEnableNTP" })
        QVERIFY2(page.Find<QWidget>(name)->isVisible(), name);
    for (const char* name : { "m_pBtnSearch", "m_pBtnModify", "m_pBtnSet", "m_pBtnDefault", "m_pBtnPTZDefault" })
        QVERIFY2(!page.Find<QWidget>(name)->isVisible(), name);
    QCOMPARE(page.Find<LineEdit>("m_pEditUser_2")->text(), QStringLiteral("admin"));

    // The NTP page's own login goes to the devices.
    const QList<DeviceInfo*> devices = Devices(2);
    ListDevices(*page.page, devices);
    page.table.CheckAll();
    page.LoginAs(QStringLiteral("first"), QStringLiteral("page"));
    page.SetText("m_pEditUser_2", QStringLiteral("ntp"));
    page.SetText("m_pEditPassword_2", QStringLiteral("pw2"));
    page.Click("m_pBtnEnableNTP");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    for (int row = 0; row < 2; ++row) {
        QVERIFY(pool.Recorder().Tasks().at(row).function == &EnableNTPTask);
        QCOMPARE(devices[row]->m_user, QStringLiteral("ntp"));
        QCOMPARE(devices[row]->m_password, QStringLiteral("pw2"));
    }
    QVERIFY(!page.Find<QPushButton>("m_pBtnEnableNTP")->isEnabled());
    EndAll(pool.Recorder(), StatusOk);
    QTRY_VERIFY(page.ButtonsEnabled(true));
}

void TestDeviceInfoFrame::rowClickFillsTheEdits()
{
    for (int company : { 0, 43 }) {
        InfoPage page(company);
        const QList<DeviceInfo*> devices = Devices(2);
        devices[1]->m_searchRsp.webPort = 8081;
        CopyLatin1(QStringLiteral("255.255.0.0"), devices[1]->m_searchRsp.netmask);
        ListDevices(*page.page, devices);
        WebPageRecorder pages;
        page.table.ClickCell(1, 2);
        // Under the HTTP API the port edit is the web port's, as its label says.
        QCOMPARE(page.Find<LineEdit>("m_pEditMediaPort")->text(), company == 43 ? "8081" : "9001");
        QCOMPARE(page.Find<LineEdit>("m_pEditGateway")->text(), QStringLiteral("10.0.0.254"));
        QCOMPARE(page.Find<LineEdit>("m_pEditNetmask")->text(), QStringLiteral("255.255.0.0"));
        QVERIFY(pages.Pages().isEmpty());
        page.table.ClickCell(0, 1);
        QCOMPARE(pages.Pages().size(), 1);
        QCOMPARE(pages.Pages().at(0).address, QByteArray("http://10.0.0.1:80"));
        QVERIFY(pages.Pages().at(0).verb.isEmpty());
        QCOMPARE(page.Find<LineEdit>("m_pEditMediaPort")->text(), company == 43 ? "80" : "9000");
    }
}

void TestDeviceInfoFrame::searchButtons_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("button");
    QTest::newRow("network page") << 0 << "m_pBtnSearch";
    QTest::newRow("NTP page (code 22)") << 22 << "m_pBtnSearch_2";
}

void TestDeviceInfoFrame::searchButtons()
{
    QFETCH(int, company);
    QFETCH(QString, button);
    InfoPage page(company);
    QList<QPointer<DeviceInfo>> listed;
    for (DeviceInfo* device : Devices(3))
        listed << device;
    ListDevices(*page.page, { listed[0], listed[1], listed[2] });
    QSignalSpy searches(&page.toolBar, &ToolBarFrame::SearchRequest);
    page.Click(button.toLatin1().constData());
    // Every listed device is gone, the list is empty and the search is asked for.
    QCOMPARE(searches.count(), 1);
    QCOMPARE(page.table.Rows(), 0);
    QVERIFY(DeviceInfoMng::Instance()->m_lanDevices.isEmpty());
    QTRY_VERIFY(std::all_of(listed.cbegin(), listed.cend(), [](const QPointer<DeviceInfo>& d) { return d.isNull(); }));
    QVERIFY(page.ButtonsEnabled(false));
    // The search's end lists its devices and gives the buttons back.
    ListDevices(*page.page, Devices(2));
    QCOMPARE(page.table.Rows(), 2);
    QVERIFY(page.ButtonsEnabled(true));
}

void TestDeviceInfoFrame::modifyRefusals_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("no start address") << true << QStringLiteral("") << QStringLiteral("x") << QStringLiteral("")
                                      << QStringLiteral("") << "T104" << QStringLiteral("m_pEditStartIP");
    QTest::newRow("port not a number") << true << QStringLiteral("10.0.0.9") << QStringLiteral("80a")
                                       << QStringLiteral("") << QStringLiteral("255.255.255.0") << "T104"
                                       << QStringLiteral("m_pEditMediaPort");
    QTest::newRow("port 0") << true << QStringLiteral("10.0.0.9") << QStringLiteral("0") << QStringLiteral("10.0.0.1")
                            << QStringLiteral("255.255.255.0") << "T104" << QStringLiteral("m_pEditMediaPort");
    QTest::newRow("port past 16 bits") << true << QStringLiteral("10.0.0.9") << QStringLiteral("65536")
                                       << QStringLiteral("10.0.0.1") << QStringLiteral("255.255.255.0") << "T104"
                                       << QStringLiteral("m_pEditMediaPort");
    QTest::newRow("no gateway") << true << QStringLiteral("10.0.0.9") << QStringLiteral("9000") << QStringLiteral("")
                                << QStringLiteral("") << "T104" << QStringLiteral("m_pEditGateway");
    QTest::newRow("no mask") << true << QStringLiteral("10.0.0.9") << QStringLiteral("9000")
                             << QStringLiteral("10.0.0.1") << QStringLiteral("") << "T104"
                             << QStringLiteral("m_pEditNetmask");
    // Each typed address must be one, named by its label: start IP (45),
    // gateway (38), mask (37).
    QTest::newRow("start address past 255")
        << true << QStringLiteral("10.213.1.999") << QStringLiteral("9000") << QStringLiteral("10.213.0.1")
        << QStringLiteral("255.255.0.0") << "T45: T238" << QStringLiteral("m_pEditStartIP");
    QTest::newRow("start address with a leading zero")
        << true << QStringLiteral("10.0.00.1") << QStringLiteral("9000") << QStringLiteral("10.0.0.254")
        << QStringLiteral("255.255.255.0") << "T45: T238" << QStringLiteral("m_pEditStartIP");
    QTest::newRow("mask with a gap") << true << QStringLiteral("10.0.0.9") << QStringLiteral("9000")
                                     << QStringLiteral("abc") << QStringLiteral("255.0.255.0") << "T37: T239"
                                     << QStringLiteral("m_pEditNetmask");
    QTest::newRow("gateway abc") << true << QStringLiteral("10.0.0.9") << QStringLiteral("9000")
                                 << QStringLiteral("abc") << QStringLiteral("255.255.255.0") << "T38: T238"
                                 << QStringLiteral("m_pEditGateway");
    QTest::newRow("gateway outside the /24")
        << true << QStringLiteral("10.0.0.9") << QStringLiteral("9000") << QStringLiteral("10.0.1.1")
        << QStringLiteral("255.255.255.0") << "T38: T240" << QStringLiteral("m_pEditGateway");
    // The input comes first: with nothing ticked it is still checked.
    QTest::newRow("nothing ticked, input at fault")
        << false << QStringLiteral("10.0.0.9") << QStringLiteral("") << QStringLiteral("10.0.0.1")
        << QStringLiteral("255.255.255.0") << "T104" << QStringLiteral("m_pEditMediaPort");
    QTest::newRow("nothing ticked, address at fault")
        << false << QStringLiteral("10.0.0.9") << QStringLiteral("9000") << QStringLiteral("10.0.0.1")
        << QStringLiteral("255.255.0.255") << "T37: T239" << QStringLiteral("m_pEditNetmask");
    QTest::newRow("nothing ticked") << false << QStringLiteral("10.0.0.9") << QStringLiteral("9000")
                                    << QStringLiteral("10.0.0.1") << QStringLiteral("255.255.255.0") << "T51"
                                    << QStringLiteral("");
}

void TestDeviceInfoFrame::modifyRefusals()
{
    QFETCH(bool, tick);
    QFETCH(QString, start);
    QFETCH(QString, port);
    QFETCH(QString, gateway);
    QFETCH(QString, netmask);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    PoolBench pool(true);
    InfoPage page(0);
    const QList<DeviceInfo*> devices = Devices(2);
    ListDevices(*page.page, devices);
    if (tick)
        page.table.CheckAll();
    page.Network(start, port, gateway, netmask);
    page.Find<QPushButton>("m_pBtnModify")->setFocus();
    const QStringList statuses = page.table.Statuses();
    DialogAnswerer dialogs;
    QString styleSheet;
    dialogs.SetNextAction([&styleSheet](BaseDialog* dialog) {
        styleSheet = dialog->styleSheet();
        QTest::mouseClick(qobject_cast<ZVMessageBox*>(dialog->Content())->OkButton(), Qt::LeftButton);
    });
    page.Click("m_pBtnModify");
    QCOMPARE(dialogs.Dialogs().size(), 1);
    const DialogAnswerer::Shown& shown = dialogs.Dialogs().constFirst();
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.title, Text(110));
    QCOMPARE(shown.buttonMode, 0);
    QCOMPARE(shown.iconMode, 2);
    QCOMPARE(styleSheet, QStringLiteral("border:1px solid rgb(134, 134, 134);"));
    if (!focus.isEmpty())
        QCOMPARE(page.page->focusWidget(), page.Find<QWidget>(focus.toLatin1().constData()));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.ButtonsEnabled(true));
    QCOMPARE(page.table.Statuses(), statuses);
    for (const DeviceInfo* device : devices)
        QVERIFY(device->m_newIp.isEmpty() && !device->m_pDeviceInfoFrame);
}

void TestDeviceInfoFrame::modifyArguments_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    // Per ticked device: its new address, empty for its own, "refused" when
    // nothing may be sent to it.
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("/16: carry into the third part")
        << 0 << QStringLiteral("192.168.1.254") << QStringLiteral("255.255.0.0") << QStringLiteral("192.168.1.1")
        << QStringList { "192.168.1.254", "192.168.1.255", "192.168.2.0" };
    QTest::newRow("/24: the broadcast address and past it")
        << 0 << QStringLiteral("192.168.1.254") << QStringLiteral("255.255.255.0") << QStringLiteral("192.168.1.1")
        << QStringList { "192.168.1.254", "refused", "refused" };
    QTest::newRow("/24: up to .254") << 0 << QStringLiteral("192.168.1.253") << QStringLiteral("255.255.255.0")
                                     << QStringLiteral("192.168.1.1")
                                     << QStringList { "192.168.1.253", "192.168.1.254", "refused" };
    QTest::newRow("end of the address space")
        << 0 << QStringLiteral("255.255.255.255") << QStringLiteral("255.255.0.0") << QStringLiteral("255.255.0.1")
        << QStringList { "255.255.255.255", "", "" };
    QTest::newRow("in order") << 0 << QStringLiteral("10.0.0.1") << QStringLiteral("255.255.255.0")
                              << QStringLiteral("10.0.0.254") << QStringList { "10.0.0.1", "10.0.0.2", "10.0.0.3" };
    QTest::newRow("no gateway (0.0.0.0)")
        << 0 << QStringLiteral("10.0.0.1") << QStringLiteral("255.255.255.0") << QStringLiteral("0.0.0.0")
        << QStringList { "10.0.0.1", "10.0.0.2", "10.0.0.3" };
    QTest::newRow("code 43: /16") << 43 << QStringLiteral("172.16.0.255") << QStringLiteral("255.255.0.0")
                                  << QStringLiteral("172.16.0.1")
                                  << QStringList { "172.16.0.255", "172.16.1.0", "172.16.1.1" };
    QTest::newRow("code 43: /24") << 43 << QStringLiteral("172.16.0.254") << QStringLiteral("255.255.255.0")
                                  << QStringLiteral("172.16.0.1")
                                  << QStringList { "172.16.0.254", "refused", "refused" };
}

void TestDeviceInfoFrame::modifyArguments()
{
    QFETCH(int, company);
    QFETCH(QString, start);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QStringList, addresses);
    PoolBench pool(true);
    InfoPage page(company);
    const QList<DeviceInfo*> devices = page.ListTicked(3);
    page.Network(start, QStringLiteral("8000"), gateway, netmask);
    page.Click("m_pBtnModify");

    const QVector<QueuedTask> tasks = pool.Recorder().Tasks();
    QCOMPARE(tasks.size(), int(addresses.size() - addresses.count(QStringLiteral("refused"))));
    for (int i = 0; i < addresses.size(); ++i) {
        DeviceInfo* device = devices[i];
        QCOMPARE(device->m_pDeviceInfoFrame, page.page.get());
        if (addresses.at(i) == QStringLiteral("refused")) {
            QCOMPARE(page.table.Status(i), StatusTextOf(StatusFailed));
            QVERIFY(!device->IsBusy());
            QVERIFY(device->m_newIp.isEmpty());
            QVERIFY(device->m_user.isEmpty());
            continue;
        }
        QVERIFY(tasks.at(i).function == &ModifyNetworkTask);
        QCOMPARE(static_cast<DeviceInfo*>(tasks.at(i).argument), device);
        QVERIFY(!tasks.at(i).urgent);
        QCOMPARE(device->m_user, QStringLiteral("admin"));
        QCOMPARE(device->m_password, QStringLiteral("pw"));
        QCOMPARE(device->m_newIp, addresses.at(i).isEmpty() ? device->Ip() : addresses.at(i));
        QCOMPARE(int(device->m_newMediaPort), 8000);
        QCOMPARE(int(device->m_newWebPort), 80);
        QCOMPARE(device->m_newGateway, gateway);
        QCOMPARE(device->m_newNetmask, netmask);
        QCOMPARE(device->m_newDhcp, 1);
        // No DNS edit: each device keeps its servers.
        QCOMPARE(device->m_newDns1, QStringLiteral("10.0.0.53"));
        QCOMPARE(device->m_newDns2, QString());
        // The HTTP API's web port is the typed one (its label says so).
        if (company == 43)
            QCOMPARE(device->m_newHttpPort, 8000);
        // The worker reports; the row is not set to waiting here.
        QCOMPARE(page.table.Status(i), StatusTextOf(StatusNone));
        QVERIFY(device->IsBusy());
    }
    QVERIFY(page.ButtonsEnabled(false));
    QVERIFY(ToolBarEnabled(page.toolBar));
    EndAll(pool.Recorder(), StatusOk);
    QTRY_VERIFY(page.ButtonsEnabled(true));
    QVERIFY(!page.page->IsBatchRunning());
}

void TestDeviceInfoFrame::setRefusals_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("tick");
    // Boxes left unticked and edits changed from a set that passes.
    QTest::addColumn<QStringList>("unticked");
    QTest::addColumn<QStringList>("edits"); // name=text
    QTest::addColumn<int>("textId");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("cleared");

    const QStringList all(std::begin(kFactoryBoxes), std::end(kFactoryBoxes));
    QTest::newRow("no box ticked") << 0 << true << all << QStringList() << 104 << QStringLiteral("")
                                   << QStringLiteral("");
    QTest::newRow("ticked field empty") << 0 << true << QStringList() << QStringList { "m_pEditCustomType=" } << 104
                                        << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("empty before a bad key ID")
        << 0 << true << QStringList() << QStringList { "m_pEditKeyID=1f", "m_pEditDeviceName=" } << 104
        << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("lower-case last letter")
        << 0 << true << QStringList() << QStringList { "m_pEditMainBoardName=ZV-DM-12a" } << 105
        << QStringLiteral("m_pEditMainBoardName") << QStringLiteral("");
    QTest::newRow("wrong prefix") << 0 << true << QStringList() << QStringList { "m_pEditMainBoardName=ZV-XM-12A" }
                                  << 105 << QStringLiteral("m_pEditMainBoardName") << QStringLiteral("");
    QTest::newRow("code 8: general prefix")
        << 8 << true << QStringList() << QStringList { "m_pEditMainBoardName=ZV-DM-12A" } << 106
        << QStringLiteral("m_pEditMainBoardName") << QStringLiteral("");
    QTest::newRow("code 8: last letter") << 8 << true << QStringList()
                                         << QStringList { "m_pEditMainBoardName=QOR-CM-1" } << 106
                                         << QStringLiteral("m_pEditMainBoardName") << QStringLiteral("");
    QTest::newRow("main board before function code")
        << 0 << true << QStringList() << QStringList { "m_pEditMainBoardName=ZV-DM-1", "m_pEditFunctionCode=12x" }
        << 105 << QStringLiteral("m_pEditMainBoardName") << QStringLiteral("");
    QTest::newRow("function code 12x, only box")
        << 0 << true << QStringList(all.mid(0, 6) + all.mid(7)) << QStringList { "m_pEditFunctionCode=12x" } << 107
        << QStringLiteral("") << QStringLiteral("m_pEditFunctionCode");
    QTest::newRow("function code before board ID")
        << 0 << true << QStringList() << QStringList { "m_pEditFunctionCode=1.5", "m_pEditBoardID=ABCDEFGHIJKLMNOPQ" }
        << 107 << QStringLiteral("") << QStringLiteral("m_pEditFunctionCode");
    QTest::newRow("board ID of 17") << 0 << true << QStringList() << QStringList { "m_pEditBoardID=ABCDEFGHIJKLMNOPQ" }
                                    << 108 << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("board ID before key ID")
        << 0 << true << QStringList() << QStringList { "m_pEditBoardID=ABCDEFGHIJKLMNOPQ", "m_pEditKeyID=1f" } << 108
        << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("key ID without prefix") << 0 << true << QStringList() << QStringList { "m_pEditKeyID=1f" } << 109
                                           << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("key ID not hexadecimal") << 0 << true << QStringList() << QStringList { "m_pEditKeyID=0xZ1" } << 109
                                            << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("nothing ticked") << 0 << false << QStringList() << QStringList() << 51 << QStringLiteral("")
                                    << QStringLiteral("");
}

void TestDeviceInfoFrame::setRefusals()
{
    QFETCH(int, company);
    QFETCH(bool, tick);
    QFETCH(QStringList, unticked);
    QFETCH(QStringList, edits);
    QFETCH(int, textId);
    QFETCH(QString, focus);
    QFETCH(QString, cleared);
    PoolBench pool(true);
    InfoPage page(company);
    const QList<DeviceInfo*> devices = Devices(2);
    ListDevices(*page.page, devices);
    if (tick)
        page.table.CheckAll();
    page.ValidFactory();
    for (const QString& box : unticked)
        page.Find<QCheckBox>(box.toLatin1().constData())->setChecked(false);
    for (const QString& edit : edits) {
        const int at = edit.indexOf(QLatin1Char('='));
        page.SetText(edit.left(at).toLatin1().constData(), edit.mid(at + 1));
    }
    page.Find<QPushButton>("m_pBtnSet")->setFocus();
    DialogAnswerer dialogs;
    page.Click("m_pBtnSet");
    QVERIFY(ShowedRefusal(dialogs, textId, 110));
    if (!focus.isEmpty())
        QCOMPARE(page.page->focusWidget(), page.Find<QWidget>(focus.toLatin1().constData()));
    else
        QCOMPARE(page.page->focusWidget(), page.Find<QWidget>("m_pBtnSet"));
    if (!cleared.isEmpty())
        QVERIFY(page.Find<LineEdit>(cleared.toLatin1().constData())->text().isEmpty());
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.ButtonsEnabled(true));
    for (const DeviceInfo* device : devices)
        QVERIFY(!device->m_pDeviceInfoFrame);
}

void TestDeviceInfoFrame::setBuildsTheBlock_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<QStringList>("unticked");
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<QString>("keyId");
    QTest::addColumn<QString>("boardId");

    QTest::newRow("every field") << 0 << QStringList() << QStringList() << 0xF9u << QStringLiteral("0X1f")
                                 << QStringLiteral("B1");
    QTest::newRow("code 8 prefix") << 8 << QStringList() << QStringList { "m_pEditMainBoardName=QOR-CM-X" } << 0xF9u
                                   << QStringLiteral("0X1f") << QStringLiteral("B1");
    // Unticked fields stay out, whatever their edits hold.
    QTest::newRow("function code only") << 0
                                        << QStringList { "m_pCheckKeyID", "m_pCheckBoardID", "m_pCheckMainBoardName",
                                               "m_pCheckProductType", "m_pCheckDeviceType", "m_pCheckDeviceName",
                                               "m_pCheckCustomType" }
                                        << QStringList { "m_pEditFunctionCode=-9223372036854775808" } << 0x80u
                                        << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("key ID prefix alone") << 0 << QStringList { "m_pCheckBoardID" } << QStringList { "m_pEditKeyID=0x" }
                                         << 0xF9u << QStringLiteral("0x") << QStringLiteral("");
    // Cut to the field less one byte, never inside a character.
    QTest::newRow("names cut on a character boundary")
        << 0 << QStringList()
        << QStringList { QStringLiteral("m_pEditDeviceName=") + QString(16, QChar(0x00e9)),
               QStringLiteral("m_pEditCustomType=a") + QString(16, QChar(0x00e9)) }
        << 0xF9u << QStringLiteral("0X1f") << QStringLiteral("B1");
}

void TestDeviceInfoFrame::setBuildsTheBlock()
{
    QFETCH(int, company);
    QFETCH(QStringList, unticked);
    QFETCH(QStringList, edits);
    QFETCH(uint, mask);
    QFETCH(QString, keyId);
    QFETCH(QString, boardId);
    PoolBench pool(true);
    InfoPage page(company);
    const QList<DeviceInfo*> devices = page.ListTicked(3);
    page.ValidFactory();
    if (company == 8)
        page.SetText("m_pEditMainBoardName", QStringLiteral("QOR-DM-12A"));
    for (const QString& box : unticked)
        page.Find<QCheckBox>(box.toLatin1().constData())->setChecked(false);
    for (const QString& edit : edits) {
        const int at = edit.indexOf(QLatin1Char('='));
        page.SetText(edit.left(at).toLatin1().constData(), edit.mid(at + 1));
    }
    page.Click("m_pBtnSet");

    // What every device is to write, byte by byte.
    ZVNetFactoryInfo expected;
    std::memset(&expected, 0, sizeof(expected));
    expected.size = 1032;
    expected.changeMask = mask;
    auto put = [&page, &unticked](const char* box, const char* edit, char* field, int width) {
        if (unticked.contains(QLatin1String(box)))
            return;
        QByteArray bytes = page.Find<LineEdit>(edit)->text().toUtf8();
        int length = qMin(bytes.size(), width - 1);
        while (length < bytes.size() && length > 0 && (uchar(bytes[length]) & 0xC0) == 0x80)
            --length;
        std::memcpy(field, bytes.constData(), size_t(length));
    };
    put("m_pCheckMainBoardName", "m_pEditMainBoardName", expected.mainBoardName, 56);
    put("m_pCheckProductType", "m_pEditProductType", expected.productType, 64);
    put("m_pCheckDeviceType", "m_pEditDeviceType", expected.deviceType, 32);
    put("m_pCheckDeviceName", "m_pEditDeviceName", expected.deviceName, 32);
    put("m_pCheckCustomType", "m_pEditCustomType", expected.customType, 32);
    if (!unticked.contains(QLatin1String("m_pCheckFunctionCode")))
        expected.functionCode = page.Find<LineEdit>("m_pEditFunctionCode")->text().toLongLong();

    QCOMPARE(pool.Recorder().Tasks().size(), 3);
    for (int row = 0; row < 3; ++row) {
        const DeviceInfo* device = devices[row];
        QVERIFY(pool.Recorder().Tasks().at(row).function == &SetFactoryInfoTask);
        QCOMPARE(device->m_pDeviceInfoFrame, page.page.get());
        QCOMPARE(device->m_user, QStringLiteral("admin"));
        QCOMPARE(device->m_password, QStringLiteral("pw"));
        QCOMPARE(device->m_keyId, keyId);
        QCOMPARE(device->m_boardId, boardId);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&device->m_paramBlock), 1032),
            QByteArray(reinterpret_cast<const char*>(&expected), 1032));
        QCOMPARE(page.table.Status(row), StatusTextOf(StatusWaiting));
    }
    if (QTest::currentDataTag() == QByteArray("names cut on a character boundary")) {
        // 15 two-byte characters fit 31 bytes; the 16th does not start.
        QCOMPARE(QString::fromUtf8(devices[0]->m_paramBlock.deviceName), QString(15, QChar(0x00e9)));
        QCOMPARE(
            QString::fromUtf8(devices[0]->m_paramBlock.customType), QStringLiteral("a") + QString(15, QChar(0x00e9)));
    }
    QVERIFY(page.ButtonsEnabled(false));
    QVERIFY(ToolBarEnabled(page.toolBar));
    EndAll(pool.Recorder(), StatusOk);
    QTRY_VERIFY(page.ButtonsEnabled(true));
}

void TestDeviceInfoFrame::simpleActions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("ntpLogin");
    QTest::addColumn<int>("task"); // index into kSimpleTasks
    QTest::newRow("defaults") << "m_pBtnDefault" << false << 0;
    QTest::newRow("PTZ default") << "m_pBtnPTZDefault" << false << 1;
    QTest::newRow("NTP") << "m_pBtnEnableNTP" << true << 2;
}

void TestDeviceInfoFrame::simpleActions()
{
    QFETCH(QString, button);
    QFETCH(bool, ntpLogin);
    QFETCH(int, task);
    PoolBench pool(true);
    // The NTP button is reached on code 22's page.
    InfoPage page(ntpLogin ? 22 : 0);
    const QList<DeviceInfo*> devices = Devices(3);
    ListDevices(*page.page, devices);
    page.LoginAs(QStringLiteral("admin"), QStringLiteral("pw"));
    page.SetText("m_pEditUser_2", QStringLiteral("ntp"));
    page.SetText("m_pEditPassword_2", QStringLiteral("pw2"));
    {
        DialogAnswerer dialogs;
        page.Click(button.toLatin1().constData());
        QVERIFY(ShowedRefusal(dialogs, 51, 110));
        QCOMPARE(pool.Recorder().Tasks().size(), 0);
        QVERIFY(page.ButtonsEnabled(true));
    }
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(2);
    page.Click(button.toLatin1().constData());
    const QVector<QueuedTask> tasks = pool.Recorder().Tasks();
    QCOMPARE(tasks.size(), 2);
    for (int i = 0; i < 2; ++i) {
        DeviceInfo* device = devices[i * 2];
        QVERIFY(tasks.at(i).function == kSimpleTasks[task]);
        QCOMPARE(static_cast<DeviceInfo*>(tasks.at(i).argument), device);
        QCOMPARE(device->m_user, ntpLogin ? QStringLiteral("ntp") : QStringLiteral("admin"));
        QCOMPARE(device->m_password, ntpLogin ? QStringLiteral("pw2") : QStringLiteral("pw"));
        QCOMPARE(device->m_pDeviceInfoFrame, page.page.get());
        QCOMPARE(page.table.Status(i * 2), StatusTextOf(StatusWaiting));
    }
    QVERIFY(!devices[1]->m_pDeviceInfoFrame);
    QVERIFY(page.ButtonsEnabled(false));
    QVERIFY(ToolBarEnabled(page.toolBar)); // never locked by this page
    EndHeld(devices[0], StatusOk);
    QCoreApplication::sendPostedEvents();
    QVERIFY(page.ButtonsEnabled(false));
    EndHeld(devices[2], StatusFailed);
    QTRY_VERIFY(page.ButtonsEnabled(true));
    QCOMPARE(page.table.Status(0), StatusTextOf(StatusOk));
    QCOMPARE(page.table.Status(2), StatusTextOf(StatusFailed));
}

void TestDeviceInfoFrame::networkBatchOnDevices_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("start"); // after this test's "127.a."
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<int>("moved"); // devices that get an address
    QTest::addColumn<int>("failing"); // a device with another password

    // From .230 the batch runs past .255 into the next /24, inside the /16.
    QTest::newRow("SDK: 50 under a /16") << false << 50 << QStringLiteral("20.230") << QStringLiteral("255.255.0.0")
                                         << 50 << 7;
    QTest::newRow("SDK: past .254 under a /24")
        << false << 10 << QStringLiteral("30.250") << QStringLiteral("255.255.255.0") << 5 << 1;
    QTest::newRow("HTTP API: 50 under a /16")
        << true << 50 << QStringLiteral("20.230") << QStringLiteral("255.255.0.0") << 50 << 7;
    QTest::newRow("HTTP API: past .254 under a /24")
        << true << 10 << QStringLiteral("30.250") << QStringLiteral("255.255.255.0") << 5 << 1;
}

void TestDeviceInfoFrame::networkBatchOnDevices()
{
    QFETCH(bool, http);
    QFETCH(int, count);
    QFETCH(QString, start);
    QFETCH(QString, netmask);
    QFETCH(int, moved);
    QFETCH(int, failing);
    PoolBench pool(false, 8);
    InfoPage page(http ? 43 : 0);
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i)
        addresses.push_back((m_net + QStringLiteral("10.%1").arg(i + 1)).toStdString());
    const QString dns = m_net + QStringLiteral("0.53");
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    for (const auto& fake : fleet.sdk)
        fake->Update([&dns](fakedevice::DeviceState& state) { state.dns1 = dns.toStdString(); });
    const quint16 port = http ? fleet.web[0]->Port() : fleet.sdk[0]->State().mediaPort;
    const QList<DeviceInfo*> devices = fleet.Listed();
    // The HTTP devices' DNS comes from their search record.
    if (http) {
        for (DeviceInfo* device : devices)
            CopyLatin1(dns, device->m_searchRsp.dns1);
    }
    fleet.Refuse(size_t(failing));
    ListDevices(*page.page, devices);
    page.LoginAs(QStringLiteral("admin"), QStringLiteral("admin123"));
    const QString first = m_net + start;
    // A gateway of the start's /24, inside either mask.
    page.Network(
        first, QString::number(port), m_net + start.section(QLatin1Char('.'), 0, 0) + QStringLiteral(".1"), netmask);
    page.table.CheckAll();
    page.Click("m_pBtnModify");

    // Each device its own row: moved, failed on its own, or refused.
    for (int i = 0; i < count; ++i) {
        const int expected = i >= moved ? StatusFailed
            : i == failing              ? (http ? StatusConnectFailed : StatusFailed)
                                        : StatusOk;
        QTRY_COMPARE_WITH_TIMEOUT(page.table.Status(i), StatusTextOf(expected), 30000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(page.ButtonsEnabled(true), 30000);

    // On the device side: the next address in order, or the old one.
    const quint32 base = AddressOf(first);
    for (int i = 0; i < count; ++i) {
        const bool movedHere = i < moved && i != failing;
        const std::string now = movedHere ? TextOf(base + quint32(i)).toStdString() : addresses[i];
        if (http) {
            QTRY_COMPARE(fleet.web[i]->Ip(), now);
            QTRY_VERIFY(fleet.web[i]->Listening());
            QCOMPARE(fleet.web[i]->Port(), port);
            QCOMPARE(fleet.web[i]->CountRequests("/API/NetworkConfig/NetBase/Set"), movedHere ? 1 : 0);
            if (movedHere) {
                const fakedevice::HttpDeviceState state = fleet.web[i]->State();
                QCOMPARE(QString::fromStdString(state.netmask), netmask);
                QCOMPARE(QString::fromStdString(state.dns1), dns);
                // It answers there.
                HttpClient probe;
                QVERIFY(probe.PostJson(fleet.web[i]->Base(false) + "/API/Login/Range{\"version\":\"1.0\"}"));
            }
            // A moved device keeps the session its logout, sent to the
            // listed (old) address, could not reach.
            if (!movedHere)
                QTRY_COMPARE(fleet.web[i]->Sessions(), 0);
        } else {
            const fakedevice::DeviceState state = fleet.sdk[i]->State();
            QCOMPARE(state.ip, now);
            QCOMPARE(fleet.sdk[i]->CountReceived(fakedevice::wire::SetNetwork), i < moved ? 1 : 0);
            QVERIFY(fleet.sdk[i]->WaitListening(10000));
            if (movedHere) {
                QCOMPARE(QString::fromStdString(state.netmask), netmask);
                QCOMPARE(QString::fromStdString(state.dns1), dns);
                QCOMPARE(devices[i]->Ip(), QString::fromStdString(now));
            }
        }
    }
    // Under the HTTP API the change reports before its logout; each device
    // ends its operation after that.
    for (const DeviceInfo* device : devices)
        QTRY_VERIFY_WITH_TIMEOUT(!device->IsBusy(), 30000);
    if (http)
        return;
    // Every device answers where the list now has it: a PTZ default through
    // the page reaches each of them there.
    page.Click("m_pBtnPTZDefault");
    QVERIFY(RowsEnd(page.table, size_t(count), size_t(failing), StatusOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.ButtonsEnabled(true), 30000);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(fleet.sdk[i]->State().ptzDefaults, i == failing ? 0 : 1);
        QTRY_COMPARE(fleet.sdk[i]->LoggedInSessions(), 0);
    }
}

QTEST_MAIN(TestDeviceInfoFrame)
#include "tst_deviceinfoframe.moc"
