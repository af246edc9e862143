// The on-screen display page driven through its widgets: the form per
// customer code, the position edits and their sliders, the weighted channel
// name, the layout switch at 1420 px, the refusals, what each queued device
// receives, and end to end against fake devices (SDK and HTTP API, code 43):
// what the page sets is what each device stores, a query shows it back, and a
// device that fails shows its own status.

#include "OSDConfig.h"
#include "OperationFixtures.h"
#include "PageBench.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QTimer>

using namespace PageTest;

namespace
{
QList<DeviceInfo*> Devices(int count, int channels = 1)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i)
        devices << NewDevice(
            nullptr, QString::fromStdString(Loopback(200 + i)), QStringLiteral("cam%1").arg(i), channels);
    return devices;
}

// What a keyboard or an input method delivers: one key press carrying text.
void Type(QWidget* widget, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

void TypeEach(QWidget* widget, const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        const int units = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        Type(widget, text.mid(i, units));
        i += units - 1;
    }
}

void Retype(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    TypeEach(edit, text);
}

const char* const kEdits[] = { "m_pEditXvalue", "m_pEditYValue", "m_pEditDateXvalue", "m_pEditdateYValue" };
const char* const kSliders[] = { "m_SldX", "m_SldY", "m_SldDateX", "m_SldDateY" };

struct OsdPageBench : PageOf<OSDConfig>
{
    explicit OsdPageBench(int company, QSize size = QSize(1500, 600))
        : PageOf(company, size)
    {
    }
    QLineEdit* Edit(int i) const { return Find<QLineEdit>(kEdits[i]); }
    QSlider* Slider(int i) const { return Find<QSlider>(kSliders[i]); }
    QLineEdit* Name() const { return Find<QLineEdit>("m_pEditChnName"); }
    void Positions(const QVector<int>& values)
    {
        for (int i = 0; i < 4; ++i)
            Retype(Edit(i), QString::number(values[i]));
    }
    bool Unlocked() const
    {
        return Find<QPushButton>("m_pBtnSet")->isEnabled() && Find<QPushButton>("m_pBtnQuery")->isEnabled()
            && ToolBarEnabled(toolBar);
    }
    bool Locked() const
    {
        return !Find<QPushButton>("m_pBtnSet")->isEnabled() && !Find<QPushButton>("m_pBtnQuery")->isEnabled()
            && !ToolBarEnabled(toolBar);
    }
    // The panel as the user sees it: the name, then each position's edit
    // and slider.
    QStringList Panel() const
    {
        QStringList shown = { Name()->text() };
        for (int i = 0; i < 4; ++i)
            shown << QStringLiteral("%1/%2").arg(Edit(i)->text()).arg(Slider(i)->value());
        return shown;
    }
    int Column(int headerId) const
    {
        return CheckBoxTableModel::FromViewModel(table.Model())->columnOfHeader(headerId);
    }
};

// What a fake device holds of its on-screen display: the name, then the name's
// and the date's positions.
struct DeviceOsd
{
    QString name;
    QVector<int> positions;
};

DeviceOsd OsdOn(const FakeFleet& fleet, size_t i)
{
    if (fleet.http) {
        const fakedevice::HttpOsdSettings osd = fleet.web[i]->State().settings.osd;
        return { QString::fromStdString(osd.name), { osd.nameX, osd.nameY, osd.dateX, osd.dateY } };
    }
    ZVNetOsdParam record;
    std::memcpy(&record, fleet.sdk[i]->State().params.at(ZVNET_PARAM_OSD).data(), sizeof(record));
    const int length = int(qstrnlen(record.channelName, sizeof(record.channelName)));
    return { QString::fromUtf8(record.channelName, length),
        { record.nameX, record.nameY, record.dateX, record.dateY } };
}

void PlaceOsd(FakeFleet& fleet, size_t i, const QVector<int>& positions)
{
    if (fleet.http) {
        fleet.web[i]->Update([positions](fakedevice::HttpDeviceState& state) {
            fakedevice::HttpOsdSettings& osd = state.settings.osd;
            osd.nameX = positions[0];
            osd.nameY = positions[1];
            osd.dateX = positions[2];
            osd.dateY = positions[3];
        });
        return;
    }
    fleet.sdk[i]->Update([positions](fakedevice::DeviceState& state) {
        for (int k = 0; k < 4; ++k) {
            const size_t at = offsetof(ZVNetOsdParam, nameX) + 2 * size_t(k);
            fakedevice::PutU16(state.params[ZVNET_PARAM_OSD], at, uint16_t(positions[k]));
        }
    });
}

// Ends a held query as its worker would: the values, then the status.
void EndQuery(DeviceInfo* device, const QString& name, const QString& namePos, const QString& datePos, int status)
{
    OnOtherThread([=] {
        PostDeviceEvent(device, new QDeviceCallEvent([=] {
            device->m_osdChannelName = name;
            device->m_osdNamePos = namePos;
            device->m_osdDatePos = datePos;
            device->m_status = status;
            device->EndOperation(true);
        }));
    });
}

QString Cjk(int count)
{
    return QString(count, QChar(0x4e2d));
}

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
} // namespace

class TestOsdConfig : public PageTestCase
{
    Q_OBJECT

private slots:
    void form_data();
    void form();
    void editToSlider_data();
    void editToSlider();
    void sliderToEdit();
    void channelName_data();
    void channelName();
    void layoutByWidth();
    void languageChangeResetsPositions();
    void refusals_data();
    void refusals();
    void queuesEachTicked_data();
    void queuesEachTicked();
    void onDevices_data();
    void onDevices();
    void rowsShowQueriedValuesUnclicked();
    void queryFillsThePanel_data();
    void queryFillsThePanel();
    void nameOnlySetKeepsThePositions_data();
    void nameOnlySetKeepsThePositions();
};

void TestOsdConfig::form_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("column2Header");
    QTest::addColumn<int>("width4");
    QTest::addColumn<int>("width7");
    QTest::newRow("code 0") << 0 << 33 << 130 << 150;
    QTest::newRow("code 43 (HTTP API)") << 43 << 42 << 130 << 150;
    QTest::newRow("code 45") << 45 << 33 << 165 << 180;
}

void TestOsdConfig::form()
{
    QFETCH(int, company);
    QFETCH(int, column2Header);
    QFETCH(int, width4);
    QFETCH(int, width7);
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    ZVAppSetting::Instance()->m_defaultPassword = QStringLiteral("secret");
    OsdPageBench page(company);
    const QList<QPair<const char*, QString>> labels = { { "m_pLabUserName", Text(12) }, { "m_pLabPassword", Text(13) },
        { "m_pLabChnName", Text(182) }, { "m_pLabX", "ChnX:" }, { "m_pLabY", "ChnY:" }, { "m_pLabDateX", "DateX:" },
        { "m_pLabdateY", "DateY:" } };
    for (const auto& [name, text] : labels)
        QCOMPARE(page.Find<QLabel>(name)->text(), text);
    QCOMPARE(page.Find<QPushButton>("m_pBtnSet")->text(), Text(64));
    QCOMPARE(page.Find<QPushButton>("m_pBtnQuery")->text(), Text(139));
    QCOMPARE(page.Find<QGroupBox>("m_pGroupUserInfo")->title(), Text(46));
    QCOMPARE(page.Find<QGroupBox>("m_pGroupOSDInfo")->title(), Text(185));
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->text(), QStringLiteral("admin"));
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->text(), QStringLiteral("secret"));
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(page.Find<LineEdit>("m_pEditUserName")->MaxByteCount(), 16);
    QCOMPARE(page.Find<LineEdit>("m_pEditPassword")->MaxByteCount(), 16);
    const int maxima[] = { 486, 551, 486, 551 };
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(page.Edit(i)->text(), QStringLiteral("0"));
        QCOMPARE(page.Edit(i)->maxLength(), 4);
        QCOMPARE(page.Slider(i)->minimum(), 0);
        QCOMPARE(page.Slider(i)->maximum(), maxima[i]);
        QCOMPARE(page.Slider(i)->value(), 0);
    }
    QCOMPARE(page.page->GetSldX(), page.Slider(0));
    QCOMPARE(page.page->GetSldDateY(), page.Slider(3));
    QVERIFY(page.page->BusyTimer());

    QCOMPARE(page.table.view->columnWidth(0), 80);
    QCOMPARE(page.table.view->columnWidth(2), 150);
    QCOMPARE(page.table.view->columnWidth(4), width4);
    QCOMPARE(page.table.view->columnWidth(7), width7);
    QCOMPARE(page.table.view->columnWidth(8), 180);

    // Table kind 8: single-channel devices only, with the on-screen columns.
    QList<DeviceInfo*> devices = Devices(2);
    devices << Devices(1, 4);
    ListDevices(*page.page, devices);
    QCOMPARE(page.table.Rows(), 2);
    QCOMPARE(page.table.Model()->headerData(2, Qt::Horizontal).toString(), Text(column2Header));
    for (int id : { 182, 183, 184, 44 })
        QVERIFY2(page.Column(id) > 0, qPrintable(QString::number(id)));
    // The tool bar's filter on the IP column.
    page.page->SetFilterColumn(1);
    page.page->SetFilterText(QStringLiteral("\\.201$"));
    QCOMPARE(page.table.Rows(), 1);
    QCOMPARE(page.table.Cell(0, 1), devices[1]->Ip());
    page.page->SetFilterText(QString());
    QCOMPARE(page.table.Rows(), 2);
    // The widths given stay as minimums once rows widen the columns.
    QVERIFY(page.table.view->columnWidth(4) >= width4);
    QVERIFY(page.table.view->columnWidth(7) >= width7);
}

void TestOsdConfig::editToSlider_data()
{
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("slider");
    QTest::newRow("X over its maximum") << 0 << QStringLiteral("700") << QStringLiteral("486") << 486;
    QTest::newRow("Y over its maximum") << 1 << QStringLiteral("600") << QStringLiteral("551") << 551;
    QTest::newRow("date X over its maximum") << 2 << QStringLiteral("999") << QStringLiteral("486") << 486;
    QTest::newRow("date Y over its maximum") << 3 << QStringLiteral("552") << QStringLiteral("551") << 551;
    QTest::newRow("X at its maximum") << 0 << QStringLiteral("486") << QStringLiteral("486") << 486;
    QTest::newRow("a letter between digits") << 0 << QStringLiteral("1a0") << QStringLiteral("10") << 10;
    // The emptied edit moves the slider to 0, which writes its 0 back.
    QTest::newRow("letters only") << 3 << QStringLiteral("ab") << QStringLiteral("0") << 0;
    // A digit of another script is no digit 0-9: it goes like a letter.
    QTest::newRow("Arabic-Indic digit") << 1 << QString(QChar(0x0663)) + "5" << QStringLiteral("5") << 5;
}

void TestOsdConfig::editToSlider()
{
    QFETCH(int, edit);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, slider);
    OsdPageBench page(0);
    page.Slider(edit)->setValue(7);
    Retype(page.Edit(edit), typed);
    QCOMPARE(page.Edit(edit)->text(), shown);
    QCOMPARE(page.Slider(edit)->value(), slider);
    for (int other = 0; other < 4; ++other) {
        if (other != edit)
            QCOMPARE(page.Slider(other)->value(), 0);
    }
}

void TestOsdConfig::sliderToEdit()
{
    OsdPageBench page(0);
    const int values[] = { 486, 12, 300, 551 };
    for (int i = 0; i < 4; ++i) {
        page.Slider(i)->setFocus();
        page.Slider(i)->setValue(values[i] - 1);
        QTest::keyClick(page.Slider(i), Qt::Key_Right);
        QCOMPARE(page.Slider(i)->value(), values[i]);
        QCOMPARE(page.Edit(i)->text(), QString::number(values[i]));
    }
}

void TestOsdConfig::channelName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("oneByOne");
    QTest::addColumn<QString>("kept");
    QTest::newRow("eleven ideographs (weight 33)") << Cjk(11) << true << Cjk(10);
    QTest::newRow("ten ideographs and a letter (weight 31)") << Cjk(10) + "a" << true << Cjk(10) + "a";
    QTest::newRow("ten ideographs and two letters") << Cjk(10) + "ab" << true << Cjk(10) + "a";
    QTest::newRow("40 letters typed") << QString(40, 'n') << true << QString(40, 'n').left(31);
    QTest::newRow("40 letters at once") << QString(40, 'n') << false << QString(40, 'n').left(31);
    QTest::newRow("other non-Latin letters weigh 1")
        << QString(31, QChar(0x0416)) << false << QString(31, QChar(0x0416));
    // A character outside the basic plane is two units: never cut between them.
    QTest::newRow("surrogate pair over the 31 units") << QString(30, 'n') + kEmoji << false << QString(30, 'n');
    QTest::newRow("surrogate pair over the weight") << Cjk(10) + kEmoji << false << Cjk(10);
    QTest::newRow("surrogate pair that fits") << QString(29, 'n') + kEmoji << false << QString(29, 'n') + kEmoji;
}

void TestOsdConfig::channelName()
{
    QFETCH(QString, typed);
    QFETCH(bool, oneByOne);
    QFETCH(QString, kept);
    OsdPageBench page(0);
    page.Name()->setFocus();
    if (oneByOne)
        TypeEach(page.Name(), typed);
    else
        Type(page.Name(), typed);
    QCOMPARE(page.Name()->text(), kept);
    // Text set by the program is not the user's edit: it stays.
    page.Name()->setText(QString(40, 'p'));
    QCOMPARE(page.Name()->text(), QString(40, 'p'));
}

void TestOsdConfig::layoutByWidth()
{
    OsdPageBench page(0, QSize(1500, 600));
    QTRY_COMPARE(page.page->LayoutMode(), 0);
    // Both arrangements fit in windows narrower than the switch width.
    QVERIFY2(
        page.page->minimumSizeHint().width() < 1300, qPrintable(QString::number(page.page->minimumSizeHint().width())));
    QLineEdit* name = page.Name();
    QLineEdit* dateX = page.Edit(2);
    auto sameRow
        = [&] { return dateX->mapTo(page.page.get(), QPoint()).y() == name->mapTo(page.page.get(), QPoint()).y(); };
    auto below = [&] {
        return dateX->mapTo(page.page.get(), QPoint()).y()
            >= name->mapTo(page.page.get(), QPoint()).y() + name->height();
    };
    QTRY_VERIFY(sameRow());
    struct Step
    {
        int width;
        int mode;
    };
    for (const Step& step : { Step { 1419, 1 }, Step { 1420, 0 }, Step { 1300, 1 }, Step { 1920, 0 } }) {
        page.page->resize(step.width, 600);
        QTRY_COMPARE(page.page->LayoutMode(), step.mode);
        if (step.mode == 1) {
            QTRY_VERIFY(below());
            // The date controls start under the X label: columns 2 onwards.
            QTRY_COMPARE(
                dateX->mapTo(page.page.get(), QPoint()).x(), page.Edit(0)->mapTo(page.page.get(), QPoint()).x());
            QTRY_VERIFY(page.Find<LineEdit>("m_pEditPassword")->mapTo(page.page.get(), QPoint()).y()
                > page.Find<LineEdit>("m_pEditUserName")->mapTo(page.page.get(), QPoint()).y());
        } else {
            QTRY_VERIFY(sameRow());
        }
        for (QWidget* widget : { static_cast<QWidget*>(name), static_cast<QWidget*>(dateX),
                 static_cast<QWidget*>(page.Slider(3)), static_cast<QWidget*>(page.Find<QPushButton>("m_pBtnSet")) })
            QVERIFY(widget->isVisible() && widget->width() > 0);
    }
}

void TestOsdConfig::languageChangeResetsPositions()
{
    OsdPageBench page(0);
    page.Positions({ 100, 200, 300, 400 });
    Retype(page.Name(), QStringLiteral("Gate"));
    QCOMPARE(page.Slider(3)->value(), 400);
    QCoreApplication::postEvent(page.page.get(), new LanguageChangedEvent);
    QCoreApplication::sendPostedEvents(page.page.get(), LanguageChangedEvent::EventType);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(page.Edit(i)->text(), QStringLiteral("0"));
        QCOMPARE(page.Slider(i)->value(), 0);
    }
    QCOMPARE(page.Name()->text(), QStringLiteral("Gate"));
    QCOMPARE(page.Find<QPushButton>("m_pBtnSet")->text(), Text(64));
}

void TestOsdConfig::refusals_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("set") << "m_pBtnSet";
    QTest::newRow("query") << "m_pBtnQuery";
}

void TestOsdConfig::refusals()
{
    QFETCH(QString, button);
    PoolBench pool(true);
    OsdPageBench page(0);
    ListDevices(*page.page, Devices(2));
    const QStringList statuses = page.table.Statuses();
    DialogAnswerer dialogs;
    page.Click(qPrintable(button));
    QVERIFY(ShowedRefusal(dialogs, 51, 6));
    QVERIFY(NothingStarted(pool, *page.page));
    QVERIFY(page.Unlocked());
    QCOMPARE(page.table.Statuses(), statuses);
}

void TestOsdConfig::queuesEachTicked_data()
{
    QTest::addColumn<bool>("set");
    QTest::newRow("set") << true;
    QTest::newRow("query") << false;
}

void TestOsdConfig::queuesEachTicked()
{
    QFETCH(bool, set);
    PoolBench pool(true);
    OsdPageBench page(0);
    const QList<DeviceInfo*> devices = Devices(3);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(0);
    page.table.ClickCheckBox(2);
    page.Login(QStringLiteral("admin"), QStringLiteral("pw"));
    page.Positions({ 11, 22, 333, 444 });
    Retype(page.Name(), QStringLiteral("Gate"));
    const QDateTime before = QDateTime::currentDateTime();
    page.Click(set ? "m_pBtnSet" : "m_pBtnQuery");
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(pool.Recorder().Tasks().size(), 2);
    const QList<DeviceInfo*> ticked = { devices[0], devices[2] };
    for (int i = 0; i < 2; ++i) {
        DeviceInfo* device = ticked[i];
        QVERIFY(pool.Recorder().Tasks().at(i).function == (set ? &SetOsdTask : &QueryOsdTask));
        QCOMPARE(device->m_user, QStringLiteral("admin"));
        QCOMPARE(device->m_password, QStringLiteral("pw"));
        QCOMPARE(device->m_pOSDConfig, static_cast<DeviceTaskListener*>(page.page.get()));
        QCOMPARE(page.table.Status(i == 0 ? 0 : 2), StatusTextOf(StatusWaiting));
        if (set) {
            QCOMPARE(device->m_osdNameX, 11);
            QCOMPARE(device->m_osdNameY, 22);
            QCOMPARE(device->m_osdDateX, 333);
            QCOMPARE(device->m_osdDateY, 444);
            QCOMPARE(device->m_osdChannelName, QStringLiteral("Gate"));
            QVERIFY(device->m_dateTime >= before.addMSecs(-1000) && device->m_dateTime <= after);
        } else {
            QVERIFY(device->m_osdChannelName.isEmpty());
        }
    }
    QCOMPARE(ticked[0]->m_dateTime, ticked[1]->m_dateTime);
    QVERIFY(!devices[1]->m_pOSDConfig);
    QVERIFY(page.Locked());
    QVERIFY(PollRunning(*page.page));
    QVERIFY(EndHeldBatch(page, ticked, set ? StatusOk : StatusQueryOk));
}

void TestOsdConfig::onDevices_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("SDK (code 0)") << false;
    QTest::newRow("HTTP API (code 43)") << true;
}

void TestOsdConfig::onDevices()
{
    QFETCH(bool, http);
    PoolBench pool(false);
    OsdPageBench page(http ? 43 : 0);
    const std::vector<std::string> addresses = { Loopback(90), Loopback(91), Loopback(92) };
    const size_t failing = 1;
    FakeFleet fleet(http, addresses);
    QVERIFY(fleet.Listening());
    const QList<DeviceInfo*> devices = ListFleet(*page.page, fleet, failing);
    QCOMPARE(page.table.Rows(), int(addresses.size()));
    page.Login(QStringLiteral("admin"), QString::fromStdString(fleet.Password(0)));
    page.Positions({ 120, 340, 486, 551 });
    // A name of ideographs and letters: weight 9 + 5.
    const QString name = Cjk(3) + QStringLiteral(" Gate");
    page.Name()->setFocus();
    TypeEach(page.Name(), name);
    QCOMPARE(page.Name()->text(), name);
    page.table.CheckAll();
    page.Click("m_pBtnSet");
    QVERIFY(page.Locked());

    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const bool changed = i != failing;
        if (http) {
            const fakedevice::HttpOsdSettings osd = fleet.web[i]->State().settings.osd;
            const fakedevice::HttpOsdSettings factory;
            QCOMPARE(QString::fromStdString(osd.name), changed ? name : QString::fromStdString(factory.name));
            QCOMPARE(osd.nameX, changed ? 120 : factory.nameX);
            QCOMPARE(osd.nameY, changed ? 340 : factory.nameY);
            QCOMPARE(osd.dateX, changed ? 486 : factory.dateX);
            QCOMPARE(osd.dateY, changed ? 551 : factory.dateY);
        } else {
            const fakedevice::Bytes stored = fleet.sdk[i]->State().params.at(ZVNET_PARAM_OSD);
            QVERIFY(stored.size() >= sizeof(ZVNetOsdParam));
            ZVNetOsdParam record;
            std::memcpy(&record, stored.data(), sizeof(record));
            if (changed) {
                QCOMPARE(record.nameX, uint16_t(120));
                QCOMPARE(record.nameY, uint16_t(340));
                QCOMPARE(record.dateX, uint16_t(486));
                QCOMPARE(record.dateY, uint16_t(551));
                QCOMPARE(QByteArray(record.channelName, 40), name.toUtf8().leftJustified(40, '\0'));
            } else {
                QVERIFY(record.nameX != 120);
            }
        }
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }

    // A query shows back what the devices hold.
    for (DeviceInfo* device : devices) {
        device->m_osdChannelName.clear();
        device->m_osdNamePos.clear();
        device->m_osdDatePos.clear();
    }
    page.Click("m_pBtnQuery");
    QVERIFY(page.Locked());
    QVERIFY(RowsEnd(page.table, addresses.size(), failing, StatusQueryOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const int row = int(i);
        const bool shown = i != failing;
        QCOMPARE(page.table.Cell(row, page.Column(182)), shown ? name : QString());
        QCOMPARE(page.table.Cell(row, page.Column(183)), shown ? QStringLiteral("120,340") : QString());
        QCOMPARE(page.table.Cell(row, page.Column(184)), shown ? QStringLiteral("486,551") : QString());
    }
}

// Without a click on any row, each queried row is told of the device's name
// and positions and its status when its query ends, and the view paints them.
void TestOsdConfig::rowsShowQueriedValuesUnclicked()
{
    PoolBench pool(false);
    OsdPageBench page(0);
    FakeFleet fleet(false, { Loopback(80), Loopback(81) });
    QVERIFY(fleet.Listening());
    ListDevices(*page.page, fleet.Listed());
    const QVector<int> columns = { page.Column(182), page.Column(183), page.Column(184), page.Column(44) };
    ViewWatch watch(page.table.view, columns);
    QVERIFY(QueryEveryRow(page, fleet));

    // The fake devices' own on-screen display.
    const QStringList shown
        = { QStringLiteral("CH1"), QStringLiteral("10,10"), QStringLiteral("400,10"), StatusTextOf(StatusQueryOk) };
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < columns.size(); ++i)
            QVERIFY(watch.Shows(row, columns[i], shown[i]));
    }
}

void TestOsdConfig::queryFillsThePanel_data()
{
    QTest::addColumn<int>("firstStatus");
    QTest::addColumn<QString>("namePos");
    QTest::addColumn<QStringList>("panel");
    const QStringList typed = { "typed", "1/1", "2/2", "3/3", "4/4" };
    QTest::newRow("first ticked answers")
        << int(StatusQueryOk) << "120,340" << QStringList { "Gate", "120/120", "340/340", "486/486", "9/9" };
    QTest::newRow("beyond the sliders: their ends")
        << int(StatusQueryOk) << "900,1200" << QStringList { "Gate", "486/486", "551/551", "486/486", "9/9" };
    QTest::newRow("first ticked fails") << int(StatusQueryFailed) << "120,340" << typed;
    QTest::newRow("no position in the answer")
        << int(StatusQueryOk) << "" << QStringList { "Gate", "1/1", "2/2", "486/486", "9/9" };
}

// The first ticked device's query fills the panel when it ends well; what
// another device answers, or a failed query, leaves the panel as it was.
void TestOsdConfig::queryFillsThePanel()
{
    QFETCH(int, firstStatus);
    QFETCH(QString, namePos);
    QFETCH(QStringList, panel);
    PoolBench pool(true);
    OsdPageBench page(0);
    const QList<DeviceInfo*> devices = Devices(3);
    ListDevices(*page.page, devices);
    page.table.ClickCheckBox(1);
    page.table.ClickCheckBox(2);
    page.Positions({ 1, 2, 3, 4 });
    Retype(page.Name(), QStringLiteral("typed"));
    page.Click("m_pBtnQuery");
    QCOMPARE(pool.Recorder().Tasks().size(), 2);

    // The later device answers first: the panel waits for the first one.
    EndQuery(devices[2], QStringLiteral("Other"), QStringLiteral("50,60"), QStringLiteral("70,80"), StatusQueryOk);
    QTRY_COMPARE(page.table.Status(2), StatusTextOf(StatusQueryOk));
    QCOMPARE(page.Panel(), QStringList({ "typed", "1/1", "2/2", "3/3", "4/4" }));
    EndQuery(devices[1], QStringLiteral("Gate"), namePos, QStringLiteral("486,9"), firstStatus);
    QTRY_COMPARE(page.table.Status(1), StatusTextOf(firstStatus));
    QCOMPARE(page.Panel(), panel);
    QTRY_VERIFY(page.Unlocked());
}

void TestOsdConfig::nameOnlySetKeepsThePositions_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("SDK (code 0)") << false;
    QTest::newRow("HTTP API (code 43)") << true;
}

// Query, change only the channel name, Set: every device keeps the positions
// the first ticked device holds, and all take the new name.
void TestOsdConfig::nameOnlySetKeepsThePositions()
{
    QFETCH(bool, http);
    PoolBench pool(false);
    OsdPageBench page(http ? 43 : 0);
    FakeFleet fleet(http, { Loopback(70), Loopback(71) });
    QVERIFY(fleet.Listening());
    // Positions of the first device, none of them 0; the second's differ.
    const QVector<int> first = { 123, 234, 345, 456 };
    PlaceOsd(fleet, 0, first);
    PlaceOsd(fleet, 1, { 11, 22, 33, 44 });
    ListDevices(*page.page, fleet.Listed());
    QVERIFY(QueryEveryRow(page, fleet));
    QCOMPARE(page.Panel(), QStringList({ OsdOn(fleet, 0).name, "123/123", "234/234", "345/345", "456/456" }));

    Retype(page.Name(), QStringLiteral("Gate 2"));
    page.Click("m_pBtnSet");
    QVERIFY(RowsEnd(page.table, 2, 2, StatusOk));
    QTRY_VERIFY_WITH_TIMEOUT(page.Unlocked(), 30000);
    for (size_t i = 0; i < 2; ++i) {
        const DeviceOsd now = OsdOn(fleet, i);
        QCOMPARE(now.name, QStringLiteral("Gate 2"));
        QCOMPARE(now.positions, first);
        QTRY_COMPARE(fleet.Sessions(i), 0);
    }
}

QTEST_MAIN(TestOsdConfig)
#include "tst_osdconfig.moc"
