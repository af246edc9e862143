#include "DevicePage.h"
#include "LanguageTexts.h"
#include "MainFrame.h"
#include "OperationPages.h"
#include "PageEvents.h"
#include "SearchFrame.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace
{
// A page that shows what the window and the batch do to it.
class BatchPage : public DevicePage
{
public:
    explicit BatchPage(QWidget* parent)
        : DevicePage(parent, PageEvents::RebootWorkFinishedEvent)
    {
    }

    using DevicePage::BeginBatch;
    void RefreshDeviceList() override { ++m_refreshes; }
    void SetActionsEnabled(bool enabled) override { m_actionsEnabled = enabled; }
    void RefreshRow(DeviceInfo* device) override
    {
        m_refreshedRows << device;
        m_rowThreads << QThread::currentThread();
    }

    int m_refreshes = 0;
    bool m_actionsEnabled = true;
    QList<DeviceInfo*> m_refreshedRows;
    QList<QThread*> m_rowThreads;
};

// The program's pages, with a BatchPage in place of the reboot page.
class TestPages : public OperationPages
{
public:
    DevicePage* CreatePage(PageIndex index, QWidget* parent) const override
    {
        if (index == PageRebootDevice)
            return new BatchPage(parent);
        return OperationPages::CreatePage(index, parent);
    }
};

DeviceInfo* FakeDevice(quintptr n)
{
    // Never dereferenced: pages keep devices by pointer only.
    return reinterpret_cast<DeviceInfo*>(n * 16);
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Visible widgets of the window that show one of the given texts.
QStringList WidgetsShowing(const QWidget* window, const QSet<QString>& texts)
{
    QStringList found;
    auto check = [&](const QObject* object, const QString& text) {
        if (texts.contains(text))
            found << QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(object->metaObject()->className()), text);
    };
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible())
            continue;
        check(widget, widget->toolTip());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            check(label, label->text());
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            check(button, button->text());
        else if (const auto* box = qobject_cast<const QGroupBox*>(widget))
            check(box, box->title());
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            check(edit, edit->placeholderText());
        if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i)
                check(combo, combo->itemText(i));
        }
        if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
            for (int section = 0; header->model() && section < header->count(); ++section) {
                if (!header->isSectionHidden(section))
                    check(header, header->model()->headerData(section, header->orientation()).toString());
            }
        }
    }
    return found;
}

QStringList ShownButtons(const ToolBarFrame* bar)
{
    QStringList shown;
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
        if (bar->Button(ToolBarFrame::PageButton(b))->isVisibleTo(bar))
            shown << bar->Button(ToolBarFrame::PageButton(b))->text();
    }
    return shown;
}
} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pagesInTheirPlaces();
    void openingGeometry_data();
    void openingGeometry();
    void pageRequestsPushTheFilter_data();
    void pageRequestsPushTheFilter();
    void configPageGetsNoFilter();
    void searchRequestShowsProtocolAndSearches();
    void onvifHidesAllButTheSearches_data();
    void onvifHidesAllButTheSearches();
    void languageChangeRereadsEveryText();
    void shippedLanguageReachesEveryVisibleText_data();
    void shippedLanguageReachesEveryVisibleText();
    void toolBarLockedDuringBatch();
    void osdSliderJumpsToClick();
    void titleBarDoubleClick_data();
    void titleBarDoubleClick();
    void borderDragStopsAtMinimum();
    void minimumWidthKeepsTheToolBarWhole_data();
    void minimumWidthKeepsTheToolBarWhole();
    void pressBelowTitleBarNeitherMovesNorResizes();
    void searchDoubleClickWithoutDevice();
    void closeButtonClosesWindow();

private:
    std::unique_ptr<MainFrame> MakeWindow(int code, bool show = true);

    TestSupport::TemporarySettings m_settings;
    TestPages m_pages;
};

void TestMainFrame::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    TestSupport::LoadNumberedTexts();
}

void TestMainFrame::init()
{
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = 0;
    settings->m_languageFiles = QStringList { QStringLiteral("ENU.xml") };
    settings->m_languageIndexes = { 0 };
    settings->m_languageTextIds = { 89 };
    settings->m_currentLanguage = 0;
}

std::unique_ptr<MainFrame> TestMainFrame::MakeWindow(int code, bool show)
{
    ZVAppSetting::Instance()->m_company = code;
    auto window = std::make_unique<MainFrame>(m_pages);
    if (show) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
    }
    QCoreApplication::processEvents(); // the first search ends
    return window;
}

void TestMainFrame::pagesInTheirPlaces()
{
    ZVAppSetting::Instance()->m_company = 0;
    const OperationPages programPages;
    MainFrame window(programPages);
    const QStringList classes = { "SearchFrame", "UpgradeFrame", "LoginFrame", "DeviceInfoFrame", "ImportExportFrame",
        "ExportExcel", "ExtranetsearchFrame", "ChangePassword", "StreamConfigFrame", "OSDConfig", "RecoveryDevice",
        "InitialDevice", "RebootDevice", "ChangeDevice" };
    QCOMPARE(window.StackedWidget()->count(), int(PageCount));
    for (int i = 0; i < PageCount; ++i) {
        QCOMPARE(QString::fromLatin1(window.StackedWidget()->widget(i)->metaObject()->className()), classes.at(i));
        DevicePage* page = window.Page(PageIndex(i));
        QCOMPARE(page == nullptr, i == PageConfig);
        if (page)
            QCOMPARE(page->m_pToolBarFrame, window.ToolBar());
    }
    QCOMPARE(window.StackedWidget()->currentIndex(), int(PageSearch));
    QCOMPARE(window.SearchPage()->Pages(),
        (QList<DevicePage*> { window.Page(PageUpgrade), window.Page(PageDeviceInfo), window.Page(PageImportExport),
            window.Page(PageChangePassword), window.Page(PageExportExcel), window.Page(PageStreamConfig),
            window.Page(PageOSDConfig), window.Page(PageRecoveryDevice), window.Page(PageInitialDevice),
            window.Page(PageRebootDevice), window.Page(PageChangeDevice) }));
    QCOMPARE(window.SearchPage()->FilterColumn(), 1);
    QCOMPARE(window.OsdSliders().size(), 4);
    QCOMPARE(window.TitleBar()->height(), 50);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
}

void TestMainFrame::openingGeometry_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("maximised");

    QTest::newRow("0") << 0 << true;
    QTest::newRow("20 opens restored") << 20 << false;
    QTest::newRow("40 opens restored") << 40 << false;
    QTest::newRow("43") << 43 << true;
    QTest::newRow("2 has a tall title bar") << 2 << true;
}

void TestMainFrame::openingGeometry()
{
    QFETCH(int, code);
    QFETCH(bool, maximised);

    auto window = MakeWindow(code);
    QVERIFY(window);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    QCOMPARE(window->IsMaximized(), maximised);
    QCOMPARE(window->TitleBar()->height(), code == 2 ? 150 : 50);
    // Either way the window was maximised once, which set its limits; it is
    // never narrower than its tool bar needs.
    QCOMPARE(window->minimumHeight(), int(area.height() * 0.6));
    const int toolBar = window->ToolBar()->sizeHint().width() + 20;
    QCOMPARE(window->minimumWidth(), qMin(area.width(), qMax(int(area.width() * 0.6), toolBar)));
    QCOMPARE(window->maximumSize(), area.size());
    if (maximised) {
        QCOMPARE(window->geometry(), area);
    } else {
        const QRect desktop = screen->virtualGeometry();
        QCOMPARE(
            window->pos(), QPoint((desktop.width() - window->width()) / 2, (desktop.height() - window->height()) / 2));
        window->ToggleMaximized();
        QCOMPARE(window->geometry(), area);
    }
}

void TestMainFrame::pageRequestsPushTheFilter_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("filterItems");

    QTest::newRow("43 initialise page") << 43 << int(ToolBarFrame::ButtonInitialDevice) << int(PageInitialDevice) << 2;
    QTest::newRow("43 range search") << 43 << int(ToolBarFrame::ButtonExtranetSearch) << int(PageExtranetSearch) << 2;
    QTest::newRow("0 stream page") << 0 << int(ToolBarFrame::ButtonStreamConfig) << int(PageStreamConfig) << 2;
    QTest::newRow("0 restore defaults") << 0 << int(ToolBarFrame::ButtonRecoveryDevice) << int(PageRecoveryDevice) << 3;
    QTest::newRow("20 upgrade") << 20 << int(ToolBarFrame::ButtonUpgrade) << int(PageUpgrade) << 3;
    QTest::newRow("13 device information") << 13 << int(ToolBarFrame::ButtonDeviceInfo) << int(PageDeviceInfo) << 3;
    QTest::newRow("40 change device") << 40 << int(ToolBarFrame::ButtonChangeDevice) << int(PageChangeDevice) << 2;
    QTest::newRow("37 Excel") << 37 << int(ToolBarFrame::ButtonExportExcel) << int(PageExportExcel) << 3;
    QTest::newRow("34 change password") << 34 << int(ToolBarFrame::ButtonChangePassword) << int(PageChangePassword)
                                        << 3;
    QTest::newRow("5 import/export") << 5 << int(ToolBarFrame::ButtonImportExport) << int(PageImportExport) << 3;
    QTest::newRow("38 on-screen display") << 38 << int(ToolBarFrame::ButtonOSDConfig) << int(PageOSDConfig) << 3;
    QTest::newRow("0 reboot") << 0 << int(ToolBarFrame::ButtonRebootDevice) << int(PageRebootDevice) << 3;
}

void TestMainFrame::pageRequestsPushTheFilter()
{
    QFETCH(int, code);
    QFETCH(int, button);
    QFETCH(int, index);
    QFETCH(int, filterItems);

    auto window = MakeWindow(code);
    QVERIFY(window);
    ToolBarFrame* bar = window->ToolBar();
    bar->FilterEdit()->setText(QStringLiteral("10.0"));
    QCOMPARE(window->SearchPage()->FilterText(), QStringLiteral("10.0"));

    QTest::mouseClick(bar->Button(ToolBarFrame::PageButton(button)), Qt::LeftButton);
    QCOMPARE(window->StackedWidget()->currentIndex(), index);
    QVERIFY(!bar->ProtocolLabel()->isVisible());
    QVERIFY(!bar->ProtocolCombo()->isVisible());
    QCOMPARE(bar->FilterCombo()->count(), filterItems);
    DevicePage* page = window->Page(PageIndex(index));
    QCOMPARE(page->FilterText(), QStringLiteral("10.0"));
    QCOMPARE(page->FilterColumn(), 1);

    // Filtering while the page is shown reaches that page only.
    bar->FilterEdit()->setText(QStringLiteral("192"));
    bar->FilterCombo()->setCurrentIndex(bar->FilterCombo()->count() - 1);
    QCOMPARE(page->FilterText(), QStringLiteral("192"));
    QCOMPARE(page->FilterColumn(), bar->GetFilterColumn());
    QCOMPARE(window->SearchPage()->FilterText(), QStringLiteral("10.0"));
}

void TestMainFrame::configPageGetsNoFilter()
{
    auto window = MakeWindow(20);
    QVERIFY(window);
    QSignalSpy shown(window->LoginFramePage(), &LoginPage::IsLoginFrame);
    QTest::mouseClick(window->ToolBar()->Button(ToolBarFrame::ButtonConfig), Qt::LeftButton);
    QCOMPARE(window->StackedWidget()->currentIndex(), int(PageConfig));
    QCOMPARE(shown.count(), 1);
    QVERIFY(!window->ToolBar()->ProtocolCombo()->isVisible());
    const QString before = window->SearchPage()->FilterText();
    window->ToolBar()->FilterEdit()->setText(QStringLiteral("x"));
    QCOMPARE(window->SearchPage()->FilterText(), before);
}

void TestMainFrame::searchRequestShowsProtocolAndSearches()
{
    auto window = MakeWindow(20);
    QVERIFY(window);
    ToolBarFrame* bar = window->ToolBar();
    QTest::mouseClick(bar->Button(ToolBarFrame::ButtonUpgrade), Qt::LeftButton);
    QVERIFY(!bar->ProtocolCombo()->isVisible());
    QTest::mouseClick(bar->Button(ToolBarFrame::ButtonSearch), Qt::LeftButton);
    QCOMPARE(window->StackedWidget()->currentIndex(), int(PageSearch));
    QVERIFY(bar->ProtocolLabel()->isVisible());
    QVERIFY(bar->ProtocolCombo()->isVisible());
    // A new search locks the bar until it ends.
    QVERIFY(!bar->Button(ToolBarFrame::ButtonUpgrade)->isEnabled());
    QCoreApplication::processEvents();
    QVERIFY(bar->Button(ToolBarFrame::ButtonUpgrade)->isEnabled());

    // A search request from elsewhere searches without switching the page.
    QTest::mouseClick(bar->Button(ToolBarFrame::ButtonUpgrade), Qt::LeftButton);
    emit bar->SearchRequest();
    QCOMPARE(window->StackedWidget()->currentIndex(), int(PageUpgrade));
    QVERIFY(!bar->Button(ToolBarFrame::ButtonUpgrade)->isEnabled());
    QCoreApplication::processEvents();
    QVERIFY(bar->Button(ToolBarFrame::ButtonUpgrade)->isEnabled());
}

void TestMainFrame::onvifHidesAllButTheSearches_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("onvif");

    QTest::newRow("20") << 20 << QStringList { "T10", "T159" };
    QTest::newRow("38") << 38 << QStringList { "T10" };
    QTest::newRow("13") << 13 << QStringList { "T10" };
}

void TestMainFrame::onvifHidesAllButTheSearches()
{
    QFETCH(int, code);
    QFETCH(QStringList, onvif);

    auto window = MakeWindow(code);
    QVERIFY(window);
    ToolBarFrame* bar = window->ToolBar();
    const QStringList all = ShownButtons(bar);
    bar->ProtocolCombo()->setCurrentIndex(1);
    QCOMPARE(ShownButtons(bar), onvif);
    QCOMPARE(window->SearchPage()->Protocol(), 1);
    QCOMPARE(bar->FilterCombo()->count(), 1);
    QCOMPARE(window->SearchPage()->FilterColumn(), 1);
    QCoreApplication::processEvents();
    bar->ProtocolCombo()->setCurrentIndex(0);
    QCOMPARE(ShownButtons(bar), all);
    QCOMPARE(window->SearchPage()->Protocol(), 0);
}

void TestMainFrame::languageChangeRereadsEveryText()
{
    TestSupport::TemporaryLanguageFile first(
        QStringLiteral("tst_mainframe_A.xml"), TestSupport::NumberedLanguageFile(239, QStringLiteral("A")));
    TestSupport::TemporaryLanguageFile second(
        QStringLiteral("tst_mainframe_T.xml"), TestSupport::NumberedLanguageFile(239));
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_languageFiles
        = QStringList { QStringLiteral("tst_mainframe_A.xml"), QStringLiteral("tst_mainframe_T.xml") };
    settings->m_languageIndexes = { 0, 1 };
    settings->m_languageTextIds = { 89, 94 };
    LanguageTexts::Reload(first.Path());

    auto window = MakeWindow(20);
    QVERIFY(window);
    ToolBarFrame* bar = window->ToolBar();
    QCOMPARE(bar->Button(ToolBarFrame::ButtonSearch)->text(), QStringLiteral("A10"));
    QTest::mouseClick(bar->Button(ToolBarFrame::ButtonExtranetSearch), Qt::LeftButton);
    bar->FilterCombo()->setCurrentIndex(2);
    bar->FilterEdit()->setText(QStringLiteral("kept"));

    window->TitleBar()->LanguageActions().at(1)->trigger();
    QCoreApplication::processEvents();

    QStringList buttons;
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b)
        buttons << bar->Button(ToolBarFrame::PageButton(b))->text();
    QCOMPARE(buttons,
        (QStringList { "T10", "T11", "T83", "T95", "T112", "T169", "T168", "T159", "T171", "T180", "T196", "T199",
            "T224", "T229" }));
    QCOMPARE(bar->Button(ToolBarFrame::ButtonChangeDevice)->toolTip(), QStringLiteral("T229"));
    QCOMPARE(bar->FilterLabel()->text(), QStringLiteral("T14"));
    QCOMPARE(bar->FilterCombo()->itemText(2), QStringLiteral("T34"));
    QCOMPARE(bar->ProtocolLabel()->text(), QStringLiteral("T136"));
    QCOMPARE(bar->ProtocolCombo()->itemText(1), QStringLiteral("T138"));
    TitleBarFrame* title = window->TitleBar();
    QCOMPARE(title->AboutButton()->text(), QStringLiteral("T7"));
    QCOMPARE(title->LanguageButton()->text(), QStringLiteral("T88"));
    QCOMPARE(title->MinButton()->toolTip(), QStringLiteral("T8"));
    QCOMPARE(title->CloseButton()->toolTip(), QStringLiteral("T9"));
    QCOMPARE(title->MaxButton()->toolTip(), QStringLiteral("T164"));
    QCOMPARE(title->LanguageActions().at(1)->text(), QStringLiteral("T94"));
    QCOMPARE(window->SearchPage()->findChild<QGroupBox*>()->title(), QStringLiteral("T46"));

    // The user's choices survive the change.
    QCOMPARE(window->StackedWidget()->currentIndex(), int(PageExtranetSearch));
    QVERIFY(bar->Button(ToolBarFrame::ButtonExtranetSearch)->isChecked());
    QCOMPARE(bar->FilterCombo()->currentIndex(), 2);
    QCOMPARE(bar->FilterEdit()->text(), QStringLiteral("kept"));
    QCOMPARE(window->Page(PageExtranetSearch)->FilterColumn(), 3);
    TestSupport::LoadNumberedTexts();
}

void TestMainFrame::shippedLanguageReachesEveryVisibleText_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("font");
    QTest::newRow("Korean") << 1 << "Arial";
    QTest::newRow("Japanese") << 2 << "Meiryo";
}

void TestMainFrame::shippedLanguageReachesEveryVisibleText()
{
    QFETCH(int, language);
    QFETCH(QString, font);
    // Customer code 20 with its shipped files, as its settings declare them.
    const QStringList files = { "ENU_KELM.xml", "KOR_KELM.xml", "JAPAN_KELM.xml" };
    QCOMPARE(ZVAppSetting::OfferedLanguageFiles(20), files);
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_languageFiles = files;
    settings->m_languageIndexes = { 0, 1, 2 };
    settings->m_languageTextIds = { 89, 94, 157 };
    settings->m_qmFile = QStringLiteral("/qt_en.qm");
    LanguageTexts::Reload(QCoreApplication::applicationDirPath() + QStringLiteral("/Language/ENU_KELM.xml"));
    const QStringList english = TestSupport::ShippedTexts(files.at(0));
    const QStringList chosen = TestSupport::ShippedTexts(files.at(language));
    QCOMPARE(english.size(), 241);
    QCOMPARE(chosen.size(), 241);
    // Texts that belong to one of the two languages only.
    QSet<QString> englishOnly, chosenOnly;
    for (int id = 0; id < 241; ++id) {
        if (english.at(id) != chosen.at(id) && !chosen.contains(english.at(id)))
            englishOnly << english.at(id);
        if (english.at(id) != chosen.at(id) && !english.contains(chosen.at(id)))
            chosenOnly << chosen.at(id);
    }
    const QString qtCancel = QCoreApplication::translate("QPlatformTheme", "Cancel");

    const OperationPages programPages;
    settings->m_company = 20;
    MainFrame window(programPages);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    QVERIFY(WidgetsShowing(&window, chosenOnly).isEmpty());
    QVERIFY(WidgetsShowing(&window, englishOnly).size() > 10); // the look sees the page's texts

    QAction* action = window.TitleBar()->LanguageActions().at(language);
    QVERIFY(action->isEnabled());
    action->trigger();
    QCOMPARE(settings->m_currentLanguage, language);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(QApplication::font().family(), font);
    QCOMPARE(window.TitleBar()->LanguageButton()->text(), chosen.at(88));
    QCOMPARE(action->text(), chosen.at(settings->m_languageTextIds.at(language)));
    for (int page = 0; page < PageCount; ++page) {
        window.StackedWidget()->setCurrentIndex(page);
        const QStringList stale = WidgetsShowing(&window, englishOnly);
        QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("page %1: %2").arg(page).arg(stale.join(", "))));
    }
    // Qt's own translation stays the one chosen at start-up.
    QCOMPARE(settings->m_qmFile, QStringLiteral("/qt_en.qm"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), qtCancel);

    window.TitleBar()->LanguageActions().at(0)->trigger();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(QApplication::font().family(), QStringLiteral("Arial"));
    for (int page = 0; page < PageCount; ++page) {
        window.StackedWidget()->setCurrentIndex(page);
        const QStringList stale = WidgetsShowing(&window, chosenOnly);
        QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("page %1: %2").arg(page).arg(stale.join(", "))));
    }
    settings->m_qmFile.clear();
    TestSupport::LoadNumberedTexts();
}

void TestMainFrame::toolBarLockedDuringBatch()
{
    auto window = MakeWindow(0, false);
    ToolBarFrame* bar = window->ToolBar();
    auto* page = static_cast<BatchPage*>(window->Page(PageRebootDevice));
    // The first search has ended: the bar is free and the pages listed its
    // devices (once emptied at its start, once filled at its end).
    QVERIFY(bar->Button(ToolBarFrame::ButtonRebootDevice)->isEnabled());
    QCOMPARE(page->m_refreshes, 2);

    page->BeginBatch({ FakeDevice(1), FakeDevice(2) }, true);
    QVERIFY(page->IsBatchRunning());
    QVERIFY(!page->m_actionsEnabled);
    QVERIFY(!bar->Button(ToolBarFrame::ButtonSearch)->isEnabled());
    QVERIFY(!bar->FilterEdit()->isEnabled());
    QVERIFY(!bar->FilterCombo()->isEnabled());

    page->OnDeviceTaskFinished(FakeDevice(1), false); // progress only
    page->OnDeviceTaskFinished(FakeDevice(1), true);
    page->OnDeviceTaskFinished(FakeDevice(1), true); // a second report of the same device
    page->OnDeviceTaskFinished(FakeDevice(7), true); // not in the batch
    QCoreApplication::processEvents();
    QVERIFY(!bar->Button(ToolBarFrame::ButtonSearch)->isEnabled());
    QVERIFY(!page->m_actionsEnabled);
    QCOMPARE(page->m_refreshedRows.size(), 4);

    page->OnDeviceTaskFinished(FakeDevice(2), true);
    QVERIFY(!page->IsBatchRunning());
    // The unlock is a posted event, never immediate.
    QVERIFY(!bar->Button(ToolBarFrame::ButtonSearch)->isEnabled());
    QCoreApplication::processEvents();
    QVERIFY(bar->Button(ToolBarFrame::ButtonSearch)->isEnabled());
    QVERIFY(bar->FilterCombo()->isEnabled());
    QVERIFY(page->m_actionsEnabled);

    // A report from a pool thread takes effect on the GUI thread.
    page->BeginBatch({ FakeDevice(4) }, true);
    std::unique_ptr<QThread> worker(QThread::create([page] { page->OnDeviceTaskFinished(FakeDevice(4), true); }));
    worker->start();
    QVERIFY(worker->wait(5000));
    QVERIFY(page->IsBatchRunning());
    QTRY_VERIFY(bar->Button(ToolBarFrame::ButtonSearch)->isEnabled());
    QCOMPARE(page->m_refreshedRows.last(), FakeDevice(4));
    QCOMPARE(page->m_rowThreads.last(), QThread::currentThread());

    // A batch that leaves the bar alone does not unlock it either.
    bar->SetControlsEnabled(false);
    page->BeginBatch({ FakeDevice(3) }, false);
    page->OnDeviceTaskFinished(FakeDevice(3), true);
    QCoreApplication::processEvents();
    QVERIFY(page->m_actionsEnabled);
    QVERIFY(!bar->Button(ToolBarFrame::ButtonSearch)->isEnabled());
}

void TestMainFrame::osdSliderJumpsToClick()
{
    auto window = MakeWindow(0);
    QVERIFY(window);
    QTest::mouseClick(window->ToolBar()->Button(ToolBarFrame::ButtonOSDConfig), Qt::LeftButton);
    for (QSlider* slider : window->OsdSliders()) {
        slider->setRange(0, 486);
        slider->setValue(0);
        slider->setFixedWidth(400);
    }
    QCoreApplication::processEvents();
    QSlider* slider = window->OsdSliders().at(2);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(200, slider->height() / 2));
    QCOMPARE(slider->value(), 243);
    QTest::mouseClick(slider, Qt::RightButton, {}, QPoint(100, slider->height() / 2));
    QCOMPARE(slider->value(), 243);
    QCOMPARE(window->OsdSliders().at(0)->value(), 0);
}

void TestMainFrame::titleBarDoubleClick_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("swapsButtons");

    QTest::newRow("0") << 0 << false;
    QTest::newRow("34") << 34 << true;
    QTest::newRow("20") << 20 << true;
}

void TestMainFrame::titleBarDoubleClick()
{
    QFETCH(int, code);
    QFETCH(bool, swapsButtons);

    auto window = MakeWindow(code);
    QVERIFY(window);
    const bool maximised = window->IsMaximized();
    const bool restoreShown = window->TitleBar()->IsRestoreShown();
    const QPoint inTitle(300, 20);
    SendMouse(window->TitleBar(), QEvent::MouseButtonDblClick, inTitle, Qt::RightButton, Qt::RightButton);
    QCOMPARE(window->IsMaximized(), maximised);

    SendMouse(window->TitleBar(), QEvent::MouseButtonDblClick, inTitle, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window->TitleBar(), QEvent::MouseButtonRelease, inTitle, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(window->IsMaximized(), !maximised);
    QCOMPARE(window->TitleBar()->IsRestoreShown(), swapsButtons ? !restoreShown : restoreShown);

    // Below the title bar a double-click changes nothing.
    SendMouse(window.get(), QEvent::MouseButtonDblClick, QPoint(300, 200), Qt::LeftButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, QPoint(300, 200), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(window->IsMaximized(), !maximised);
}

void TestMainFrame::borderDragStopsAtMinimum()
{
    auto window = MakeWindow(20);
    QVERIFY(window);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // The next layout pass sets the minimum the wider limit allows.
    QCoreApplication::postEvent(window.get(), new QEvent(QEvent::LayoutRequest));
    QTRY_COMPARE(window->minimumWidth(), window->NeededWidth());
    window->setGeometry(100, 100, window->minimumWidth() + 200, 400);
    QCoreApplication::processEvents();
    const QRect start = window->geometry();

    // Hover on the left border, press and drag to the right.
    const QPoint edge(2, 200);
    SendMouse(window.get(), QEvent::MouseMove, edge, Qt::NoButton, Qt::NoButton);
    QCOMPARE(window->cursor().shape(), Qt::SizeHorCursor);
    SendMouse(window.get(), QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    const QPoint pressGlobal = window->mapToGlobal(edge);
    auto dragTo = [&](int dx) {
        QMouseEvent move(QEvent::MouseMove, edge + QPoint(dx, 0), pressGlobal + QPoint(dx, 0), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &move);
    };
    dragTo(1); // starts the resize
    dragTo(50);
    QCOMPARE(window->width(), start.width() - 50);
    QCOMPARE(window->x(), pressGlobal.x() + 50);
    dragTo(200); // exactly the minimum: the edge stops
    QCOMPARE(window->width(), start.width() - 50);
    dragTo(199);
    QCOMPARE(window->width(), start.width() - 199);
    QVERIFY(window->width() > window->minimumWidth());
    SendMouse(window.get(), QEvent::MouseButtonRelease, edge, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);

    // The right edge follows the pointer without a test.
    const QPoint right(window->width() - 2, 200);
    SendMouse(window.get(), QEvent::MouseMove, right, Qt::NoButton, Qt::NoButton);
    SendMouse(window.get(), QEvent::MouseButtonPress, right, Qt::LeftButton, Qt::LeftButton);
    const int before = window->width();
    const QPoint rightGlobal = window->mapToGlobal(right);
    for (int dx : { 1, 30 }) {
        QMouseEvent move(QEvent::MouseMove, right + QPoint(dx, 0), rightGlobal + QPoint(dx, 0), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &move);
    }
    QCOMPARE(window->width(), before + 30);
    SendMouse(window.get(), QEvent::MouseButtonRelease, right, Qt::LeftButton, Qt::NoButton);
}

// What the tool bar cuts or covers: each shown page button whose text is wider
// than its contents, and the filter edit under its combo.
static QStringList CutToolBarParts(const ToolBarFrame* bar)
{
    QStringList cut;
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
        const QPushButton* button = bar->Button(ToolBarFrame::PageButton(b));
        if (!button->isVisible())
            continue;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        if (button->fontMetrics().horizontalAdvance(button->text()) > contents.width())
            cut << button->text();
    }
    if (bar->FilterEdit()->geometry().intersects(bar->FilterCombo()->geometry()))
        cut << QStringLiteral("filter edit under the combo");
    return cut;
}

void TestMainFrame::minimumWidthKeepsTheToolBarWhole_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("0") << 0;
    QTest::newRow("20") << 20;
    QTest::newRow("43") << 43;
    QTest::newRow("45") << 45;
}

void TestMainFrame::minimumWidthKeepsTheToolBarWhole()
{
    QFETCH(int, code);
    // Button texts a good deal longer than the buttons' widths, after a
    // language change.
    TestSupport::TemporaryLanguageFile shortTexts(
        QStringLiteral("tst_mainframe_short.xml"), TestSupport::NumberedLanguageFile(239, QStringLiteral("S")));
    TestSupport::TemporaryLanguageFile longTexts(QStringLiteral("tst_mainframe_long.xml"),
        TestSupport::NumberedLanguageFile(239, QStringLiteral("Page and setting number ")));
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_languageFiles
        = QStringList { QStringLiteral("tst_mainframe_short.xml"), QStringLiteral("tst_mainframe_long.xml") };
    settings->m_languageIndexes = { 0, 1 };
    settings->m_languageTextIds = { 89, 94 };
    LanguageTexts::Reload(shortTexts.Path());

    auto window = MakeWindow(code);
    QVERIFY(window);
    if (window->IsMaximized())
        window->ToggleMaximized();
    // A screen wide enough for the tool bar: the test's own is not.
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->TitleBar()->LanguageActions().at(0)->trigger();
    QTRY_COMPARE(window->minimumWidth(), window->NeededWidth());
    const int shortMinimum = window->minimumWidth();
    window->TitleBar()->LanguageActions().at(1)->trigger();
    QTRY_VERIFY(window->minimumWidth() > shortMinimum);
    QCOMPARE(
        window->ToolBar()->Button(ToolBarFrame::ButtonSearch)->text(), QStringLiteral("Page and setting number 10"));

    // The narrowest window the user can make.
    window->resize(1, window->height());
    QTRY_COMPARE(window->width(), window->minimumWidth());
    QTRY_COMPARE(window->ToolBar()->width(), window->width() - 20);
    QCOMPARE(CutToolBarParts(window->ToolBar()), QStringList());
    // Each button still keeps at least its own minimum width.
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
        const QPushButton* button = window->ToolBar()->Button(ToolBarFrame::PageButton(b));
        if (button->isVisible())
            QVERIFY(button->width() >= button->minimumWidth());
    }
    TestSupport::LoadNumberedTexts();
}

void TestMainFrame::pressBelowTitleBarNeitherMovesNorResizes()
{
    auto window = MakeWindow(20);
    QVERIFY(window);
    const QRect start = window->geometry();
    const QPoint inside(300, 300);
    SendMouse(window.get(), QEvent::MouseMove, inside, Qt::NoButton, Qt::NoButton);
    SendMouse(window.get(), QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    for (int d : { 5, 40 }) {
        SendMouse(window.get(), QEvent::MouseMove, inside + QPoint(d, d), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(window->geometry(), start);
    }
    SendMouse(window.get(), QEvent::MouseButtonRelease, inside, Qt::LeftButton, Qt::NoButton);

    // Pressed on the title bar, the window follows the pointer.
    const QPoint title(300, 20);
    SendMouse(window->TitleBar(), QEvent::MouseButtonPress, title, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window->TitleBar(), QEvent::MouseMove, title + QPoint(1, 0), Qt::NoButton, Qt::LeftButton);
    SendMouse(window->TitleBar(), QEvent::MouseMove, title + QPoint(30, 10), Qt::NoButton, Qt::LeftButton);
    SendMouse(window->TitleBar(), QEvent::MouseButtonRelease, title, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(window->size(), start.size());
    QCOMPARE(window->pos(), start.topLeft() + QPoint(30, 10));
}

void TestMainFrame::searchDoubleClickWithoutDevice()
{
    auto window = MakeWindow(0);
    QVERIFY(window);
    QSignalSpy config(window->ToolBar(), &ToolBarFrame::ConfigRequest);
    emit window->SearchPage()->SearchFrameDoubleClick();
    QCOMPARE(config.count(), 0);
    QCOMPARE(window->StackedWidget()->currentIndex(), int(PageSearch));
    QVERIFY(!window->ToolBar()->Button(ToolBarFrame::ButtonConfig)->isChecked());
}

void TestMainFrame::closeButtonClosesWindow()
{
    auto window = MakeWindow(0);
    QVERIFY(window);
    QTest::mouseClick(window->TitleBar()->CloseButton(), Qt::LeftButton);
    QVERIFY(!window->isVisible());
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
