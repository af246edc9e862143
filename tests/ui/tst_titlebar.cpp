#include "BaseDialog.h"
#include "LanguageTexts.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QtTest>

using TestSupport::DialogAnswerer;

class TestTitleBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void mainMode_data();
    void mainMode();
    void restoreAndMaximiseSwap_data();
    void restoreAndMaximiseSwap();
    void aboutText_data();
    void aboutText();
    void aboutBox_data();
    void aboutBox();
    void languageMenu_data();
    void languageMenu();
    void languageWithoutItsFileIsDisabled();
    void dialogMode_data();
    void dialogMode();

private:
    TestSupport::TemporarySettings m_settings;
};

void TestTitleBar::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    TestSupport::LoadNumberedTexts();
}

void TestTitleBar::init()
{
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = 0;
    settings->m_version = QStringLiteral("V9");
    settings->m_languageFiles = QStringList { QStringLiteral("ENU.xml") };
    settings->m_languageIndexes = { 0 };
    settings->m_languageTextIds = { 89 };
    settings->m_currentLanguage = 0;
}

void TestTitleBar::mainMode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("logos"); // top, main, sub
    QTest::addColumn<QString>("buttons"); // shown, left to right
    QTest::addColumn<bool>("restoreShown");

    QTest::newRow("0") << 0 << "-L-"
                       << "aboutbutton minbutton closebutton" << true;
    QTest::newRow("2") << 2 << "TL-"
                       << "aboutbutton minbutton closebutton" << true;
    QTest::newRow("3") << 3 << "-LS"
                       << "aboutbutton minbutton closebutton" << true;
    QTest::newRow("20") << 20 << "--S"
                        << "languagebutton aboutbtn minbutton maxbutton closebutton" << false;
    QTest::newRow("42") << 42 << "--S"
                        << "languagebutton aboutbtn minbutton maxbutton closebutton" << false;
    QTest::newRow("34") << 34 << "-LS"
                        << "aboutbutton minbutton restorebutton closebutton" << true;
    QTest::newRow("38") << 38 << "-LS"
                        << "aboutbutton minbutton closebutton" << true;
}

void TestTitleBar::mainMode()
{
    QFETCH(int, code);
    QFETCH(QString, logos);
    QFETCH(QString, buttons);
    QFETCH(bool, restoreShown);

    ZVAppSetting::Instance()->m_company = code;
    TitleBarFrame bar(nullptr, true);
    bar.resize(1200, 50);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QCOMPARE(bar.objectName(), QStringLiteral("TitleBarFrame"));
    QString shownLogos;
    shownLogos += bar.TopLogo() ? 'T' : '-';
    shownLogos += bar.Logo() ? 'L' : '-';
    shownLogos += bar.SubLogo() ? 'S' : '-';
    QCOMPARE(shownLogos, logos);
    for (QLabel* logo : { bar.TopLogo(), bar.Logo(), bar.SubLogo() }) {
        if (logo)
            QVERIFY(!logo->pixmap(Qt::ReturnByValue).isNull());
    }
    QVERIFY(!bar.TitleLabel());

    QList<QToolButton*> shown;
    for (QToolButton* button : bar.findChildren<QToolButton*>()) {
        if (button->isVisible())
            shown << button;
    }
    std::sort(shown.begin(), shown.end(), [](QToolButton* a, QToolButton* b) { return a->x() < b->x(); });
    QStringList names;
    for (QToolButton* button : shown)
        names << button->objectName();
    QCOMPARE(names.join(QLatin1Char(' ')), buttons);
    QCOMPARE(bar.IsRestoreShown(), restoreShown);
    QCOMPARE(bar.MinButton()->size(), QSize(17, 16));
    QCOMPARE(bar.CloseButton()->size(), QSize(17, 16));
    QCOMPARE(bar.MinButton()->toolTip(), QStringLiteral("T8"));
    QCOMPARE(bar.CloseButton()->toolTip(), QStringLiteral("T9"));

    if (code == 20 || code == 42) {
        QCOMPARE(bar.AboutButton()->text(), QStringLiteral("T7"));
        QCOMPARE(bar.LanguageButton()->text(), QStringLiteral("T88"));
        QCOMPARE(bar.LanguageButton()->menu(), bar.LanguageMenu());
        QCOMPARE(bar.MaxButton()->toolTip(), QStringLiteral("T164"));
        QCOMPARE(bar.RestoreButton()->toolTip(), QStringLiteral("T165"));
        QVERIFY(!bar.InfoMenu());
    } else {
        QCOMPARE(bar.AboutButton()->size(), QSize(17, 16));
        QCOMPARE(bar.AboutButton()->menu(), bar.InfoMenu());
        QCOMPARE(bar.InfoMenu()->actions(), (QList<QAction*> { bar.LanguageAction(), bar.AboutAction() }));
        QCOMPARE(bar.LanguageAction()->text(), QStringLiteral("T88"));
        QCOMPARE(bar.AboutAction()->text(), QStringLiteral("T7"));
        QCOMPARE(bar.LanguageAction()->menu(), bar.LanguageMenu());
    }
}

void TestTitleBar::restoreAndMaximiseSwap_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("34 starts maximised") << 34;
    QTest::newRow("20 starts restored") << 20;
}

void TestTitleBar::restoreAndMaximiseSwap()
{
    QFETCH(int, code);
    ZVAppSetting::Instance()->m_company = code;
    TitleBarFrame bar(nullptr, true);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy restore(&bar, &TitleBarFrame::Restore);

    const bool startsRestoreShown = code == 34;
    QCOMPARE(bar.RestoreButton()->isVisible(), startsRestoreShown);
    QCOMPARE(bar.MaxButton()->isVisible(), !startsRestoreShown);
    QToolButton* first = startsRestoreShown ? bar.RestoreButton() : bar.MaxButton();
    QTest::mouseClick(first, Qt::LeftButton);
    QCOMPARE(restore.count(), 1);
    QCOMPARE(bar.RestoreButton()->isVisible(), !startsRestoreShown);
    QCOMPARE(bar.MaxButton()->isVisible(), startsRestoreShown);
    // A double-click on the main window's title bar swaps them without Restore().
    emit bar.RestoreOrMax();
    QCOMPARE(restore.count(), 1);
    QCOMPARE(bar.RestoreButton()->isVisible(), startsRestoreShown);
    QCOMPARE(bar.IsRestoreShown(), startsRestoreShown);
}

void TestTitleBar::aboutText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0 << "T3V9";
    QTest::newRow("32 fixed version") << 32 << "T2T0\n\nT31.0.0.00";
    QTest::newRow("43") << 43 << "T0\n\nT3V9";
    QTest::newRow("44") << 44 << "T0\n\nT3V9";
    QTest::newRow("other") << 5 << "T2T0\n\nT3V9";
    QTest::newRow("10") << 10 << "Corvenna Technology Co., Ltd.\n\nT2 T0\n\nT3 V9";
    QTest::newRow("16") << 16 << "T2T0\n\nT3V9\n\n2019 Haldrin Security Ltd.";
    QTest::newRow("27") << 27
                        << "T2T0\nT3V9\nTervalo Vision Ltd.\n14 Harbour Row\nPort Esken 4410\nsupport@tervalo.example";
}

void TestTitleBar::aboutText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    ZVAppSetting::Instance()->m_company = code;
    QCOMPARE(TitleBarFrame::AboutText(), text);
}

void TestTitleBar::aboutBox_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");

    QTest::newRow("20 opens it from the about button") << 20 << "T7";
    QTest::newRow("0 opens it from the menu") << 0 << "T7";
    QTest::newRow("16 has its own title") << 16 << "T126";
}

void TestTitleBar::aboutBox()
{
    QFETCH(int, code);
    QFETCH(QString, title);

    ZVAppSetting::Instance()->m_company = code;
    TitleBarFrame bar(nullptr, true);
    DialogAnswerer answerer(DialogAnswerer::ClickOk); // no OK button: closed by the title bar
    if (code == 20)
        QTest::mouseClick(bar.AboutButton(), Qt::LeftButton);
    else
        bar.AboutAction()->trigger();
    QCOMPARE(answerer.Dialogs().size(), 1);
    const DialogAnswerer::Shown shown = answerer.Dialogs().first();
    QCOMPARE(shown.title, title);
    QCOMPARE(shown.text, TitleBarFrame::AboutText());
    QCOMPARE(shown.buttonMode, -1);
    QCOMPARE(shown.iconMode, 1);
}

void TestTitleBar::languageMenu_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("font");

    QTest::newRow("20 uses Meiryo for its third language") << 20 << "Meiryo";
    QTest::newRow("42 as well") << 42 << "Meiryo";
    QTest::newRow("38 stays with Arial") << 38 << "Arial";
}

void TestTitleBar::languageMenu()
{
    QFETCH(int, code);
    QFETCH(QString, font);

    TestSupport::TemporaryLanguageFile first(
        QStringLiteral("tst_titlebar_1.xml"), TestSupport::NumberedLanguageFile(239));
    TestSupport::TemporaryLanguageFile third(
        QStringLiteral("tst_titlebar_3.xml"), TestSupport::NumberedLanguageFile(239, QStringLiteral("J")));
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = code;
    // The second offered language has no declared file.
    settings->m_languageFiles
        = QStringList { QStringLiteral("tst_titlebar_1.xml"), QStringLiteral("tst_titlebar_3.xml") };
    settings->m_languageTextIds = { 89, 157 };
    settings->m_languageIndexes = { 0, -1, 1 };
    settings->m_currentLanguage = 0;

    TitleBarFrame bar(nullptr, true);
    const QList<QAction*> actions = bar.LanguageActions();
    QCOMPARE(actions.size(), 3);
    QCOMPARE(bar.LanguageMenu()->actions(), actions);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("T89"));
    const int second = ZVAppSetting::LanguageMenuTextId(ZVAppSetting::OfferedLanguageFiles(code).value(1));
    QCOMPARE(actions.at(1)->text(), QStringLiteral("T%1").arg(second));
    QCOMPARE(actions.at(2)->text(), QStringLiteral("T157"));
    QVERIFY(actions.at(0)->isChecked());
    QVERIFY(!actions.at(1)->isEnabled());

    // An action from elsewhere changes nothing.
    QAction stranger;
    bar.ChangeLanguage(&stranger);
    QVERIFY(actions.at(0)->isChecked());
    QCOMPARE(settings->m_currentLanguage, 0);

    actions.at(2)->trigger();
    QVERIFY(!actions.at(0)->isChecked());
    QVERIFY(actions.at(2)->isChecked());
    QCOMPARE(settings->m_currentLanguage, 2);
    QCOMPARE(QApplication::font().family(), font);
    QCoreApplication::processEvents();
    QCOMPARE(bar.CloseButton()->toolTip(), QStringLiteral("J9"));

    actions.at(0)->trigger();
    QCOMPARE(QApplication::font().family(), QStringLiteral("Arial"));
    QCoreApplication::processEvents();
    QCOMPARE(bar.CloseButton()->toolTip(), QStringLiteral("T9"));
    TestSupport::LoadNumberedTexts();
}

void TestTitleBar::languageWithoutItsFileIsDisabled()
{
    TestSupport::TemporaryLanguageFile present(
        QStringLiteral("tst_titlebar_present.xml"), TestSupport::NumberedLanguageFile(239));
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_company = 4; // two offered languages
    // Both declared; the second one's file is not there.
    settings->m_languageFiles
        = QStringList { QStringLiteral("tst_titlebar_present.xml"), QStringLiteral("tst_titlebar_gone.xml") };
    settings->m_languageTextIds = { 89, 91 };
    settings->m_languageIndexes = { 0, 1 };
    settings->m_currentLanguage = 0;

    TitleBarFrame bar(nullptr, true);
    const QList<QAction*> actions = bar.LanguageActions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(1)->text(), QStringLiteral("T91"));
    QVERIFY(actions.at(0)->isEnabled());
    QVERIFY(!actions.at(1)->isEnabled());
    QVERIFY(actions.at(0)->isChecked());
    // Asked for all the same, the settings keep the language and its texts.
    settings->SetLanguage(1);
    QCOMPARE(settings->m_currentLanguage, 0);
    QCOMPARE(LanguageText(9), QStringLiteral("T9"));
}

void TestTitleBar::dialogMode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("minimumWidth");

    QTest::newRow("0") << 0 << "Warning" << 150;
    QTest::newRow("16") << 16 << "Warning" << 120;
    QTest::newRow("other") << 5 << "Warning" << 0;
}

void TestTitleBar::dialogMode()
{
    QFETCH(int, code);
    QFETCH(QString, title);
    QFETCH(int, minimumWidth);

    ZVAppSetting::Instance()->m_company = code;
    TitleBarFrame bar(nullptr, false);
    QVERIFY(!bar.Logo() && !bar.AboutButton() && !bar.MinButton());
    QCOMPARE(bar.TitleLabel()->geometry(), QRect(0, 0, 100, 30));
    QCOMPARE(bar.TitleLabel()->palette().color(QPalette::Inactive, QPalette::WindowText), QColor(Qt::green));
    bar.SetTitle(title);
    QCOMPARE(bar.TitleLabel()->text(), title);
    QCOMPARE(bar.TitleLabel()->minimumWidth(), minimumWidth);
    QCOMPARE(bar.TitleLabel()->width(), qMax(100, minimumWidth));

    // A title too long for the label widens it instead of being cut.
    const QString longTitle = QStringLiteral("A title far longer than one hundred pixels");
    bar.SetTitle(longTitle);
    QVERIFY(bar.TitleLabel()->width() >= bar.TitleLabel()->fontMetrics().horizontalAdvance(longTitle));

    QSignalSpy close(&bar, &TitleBarFrame::CloseRequest);
    bar.CloseButton()->click();
    QCOMPARE(close.count(), 1);
    QCOMPARE(close.first().first().toInt(), -1);
}

QTEST_MAIN(TestTitleBar)
#include "tst_titlebar.moc"
