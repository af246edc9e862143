// Maximising on a desktop of two screens: the window fills the available area
// of the screen that holds it; its minimum size follows the primary screen.
// Qt 5's offscreen platform has one screen only: this runs on an X server of
// two screens (mainframe_screens.sh), each its own desktop.

#include "MainFrame.h"
#include "OperationPages.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"

#include <QApplication>
#include <QScreen>
#include <QtTest>

#include <memory>

class TestMainFrameScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void maximiseFillsTheHoldingScreen_data();
    void maximiseFillsTheHoldingScreen();

private:
    TestSupport::TemporarySettings m_settings;
    OperationPages m_pages;
};

void TestMainFrameScreens::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    TestSupport::LoadNumberedTexts();
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = 0;
    settings->m_languageFiles = QStringList { QStringLiteral("ENU.xml") };
    settings->m_languageIndexes = { 0 };
    settings->m_languageTextIds = { 89 };
    settings->m_currentLanguage = 0;
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() != 2)
        QSKIP("needs an X server of two screens (run through mainframe_screens.sh)");
    QCOMPARE(screens.at(0), QGuiApplication::primaryScreen());
    QCOMPARE(screens.at(0)->availableGeometry().size(), QSize(1920, 1080));
    QCOMPARE(screens.at(1)->availableGeometry().size(), QSize(1280, 1024));
}

void TestMainFrameScreens::maximiseFillsTheHoldingScreen_data()
{
    QTest::addColumn<int>("screen");
    QTest::addColumn<QSize>("minimum");
    QTest::newRow("primary: 0.6 of its area") << 0 << QSize(1152, 648);
    QTest::newRow("second: half the primary's area") << 1 << QSize(960, 540);
}

void TestMainFrameScreens::maximiseFillsTheHoldingScreen()
{
    QFETCH(int, screen);
    QFETCH(QSize, minimum);
    QScreen* holder = QGuiApplication::screens().at(screen);
    MainFrame window(m_pages);
    window.winId(); // the native window, placed on the screen under test before it is shown
    window.windowHandle()->setScreen(holder);
    // The first show maximises.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents(); // the first search ends
    QCOMPARE(window.windowHandle()->screen(), holder);
    QVERIFY(window.IsMaximized());
    QCOMPARE(window.geometry(), holder->availableGeometry());
    QCOMPARE(window.maximumSize(), holder->availableGeometry().size());
    // The size rule's minimum, widened to what the tool bar needs.
    minimum.setWidth(qMin(qMax(minimum.width(), window.NeededWidth()), holder->availableGeometry().width()));
    QCOMPARE(window.minimumSize(), minimum);

    // Restored and maximised again: the same screen, the same limits.
    window.ToggleMaximized();
    QVERIFY(!window.IsMaximized());
    window.ToggleMaximized();
    QCOMPARE(window.geometry(), holder->availableGeometry());
    QCOMPARE(window.minimumSize(), minimum);
}

QTEST_MAIN(TestMainFrameScreens)
#include "tst_mainframe_screens.moc"
