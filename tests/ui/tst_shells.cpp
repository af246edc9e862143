#include "BaseDialog.h"
#include "DeviceWebPage.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using TestSupport::DialogAnswerer;

namespace
{
// Types each character as a key press carrying it, as an input method would
// for letters that have no key of their own.
void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &release);
    }
}
} // namespace

// Dialog shells, the message box, the byte-limited edit and the web-page opener.
class TestShells : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void messageBoxAnswers_data();
    void messageBoxAnswers();
    void messageBoxContent_data();
    void messageBoxContent();
    void messageBoxRereadsButtonTexts();
    void leftAlignedMessageForCustomer27();
    void dialogKeepsResultObjectOnlyForOne();
    void fileDialogShell();
    void titleBarDragMovesDialog();

    void lineEditByteLimit_data();
    void lineEditByteLimit();

    void deviceWebPage_data();
    void deviceWebPage();
};

void TestShells::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    TestSupport::LoadNumberedTexts();
}

void TestShells::init()
{
    ZVAppSetting::Instance()->m_company = 0;
}

void TestShells::messageBoxAnswers_data()
{
    QTest::addColumn<int>("buttonMode");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");

    QTest::newRow("ok box, OK") << 0 << int(DialogAnswerer::ClickOk) << 0;
    QTest::newRow("ok box, close") << 0 << int(DialogAnswerer::ClickClose) << -1;
    QTest::newRow("query box, OK") << 1 << int(DialogAnswerer::ClickOk) << 0;
    QTest::newRow("query box, Cancel") << 1 << int(DialogAnswerer::ClickCancel) << -1;
    QTest::newRow("query box, close") << 1 << int(DialogAnswerer::ClickClose) << -1;
    QTest::newRow("no buttons, close") << -1 << int(DialogAnswerer::ClickClose) << -1;
}

void TestShells::messageBoxAnswers()
{
    QFETCH(int, buttonMode);
    QFETCH(int, answer);
    QFETCH(int, result);

    QWidget parent;
    DialogAnswerer answerer(static_cast<DialogAnswerer::Answer>(answer));
    QCOMPARE(ZVMessageBox::ShowMessage(&parent, LanguageText(51), LanguageText(6), buttonMode, 2), result);
    QCOMPARE(answerer.Dialogs().size(), 1);
    QCOMPARE(answerer.Dialogs().first().title, QStringLiteral("T6"));
    QCOMPARE(answerer.Dialogs().first().text, QStringLiteral("T51"));
    QCOMPARE(answerer.Dialogs().first().buttonMode, buttonMode);
}

void TestShells::messageBoxContent_data()
{
    QTest::addColumn<int>("buttonMode");
    QTest::addColumn<int>("iconMode");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QStringList>("buttons");

    const QString info = QStringLiteral(":/icons/Resource/information.png");
    const QString logo = QStringLiteral(":/icons/Resource/about-logo.png");
    const QString warning = QStringLiteral(":/icons/Resource/warning.png");
    QTest::newRow("ok, information") << 0 << 0 << info << QStringList { "T4" };
    QTest::newRow("ok and cancel, warning") << 1 << 2 << warning << QStringList { "T4", "T5" };
    QTest::newRow("no buttons, about logo") << -1 << 1 << logo << QStringList {};
    QTest::newRow("ok, no icon") << 0 << 7 << QString() << QStringList { "T4" };
    QTest::newRow("unknown mode, no icon") << 5 << -1 << QString() << QStringList {};
}

void TestShells::messageBoxContent()
{
    QFETCH(int, buttonMode);
    QFETCH(int, iconMode);
    QFETCH(QString, icon);
    QFETCH(QStringList, buttons);

    ZVMessageBox box(QStringLiteral("message"), nullptr, buttonMode, iconMode);
    QCOMPARE(box.TextLabel()->text(), QStringLiteral("message"));
    QCOMPARE(box.TextLabel()->alignment(), Qt::Alignment(Qt::AlignCenter));
    QVERIFY(box.minimumWidth() >= 250 && box.minimumHeight() >= 120);
    if (icon.isEmpty()) {
        QVERIFY(!box.IconLabel());
    } else {
        QVERIFY(box.IconLabel());
        QCOMPARE(box.IconLabel()->pixmap(Qt::ReturnByValue).toImage(), QPixmap(icon).toImage());
    }
    QStringList shown;
    for (QPushButton* button : box.findChildren<QPushButton*>())
        shown << button->text();
    QCOMPARE(shown, buttons);
}

void TestShells::messageBoxRereadsButtonTexts()
{
    ZVMessageBox box(QStringLiteral("kept"), nullptr, 1, 0);
    TestSupport::TemporaryLanguageFile other(
        QStringLiteral("tst_shells_B.xml"), TestSupport::NumberedLanguageFile(239, QStringLiteral("B")));
    LanguageTexts::Reload(other.Path());
    LanguageChangedEvent changed;
    QApplication::sendEvent(&box, &changed);
    QCOMPARE(box.OkButton()->text(), QStringLiteral("B4"));
    QCOMPARE(box.CancelButton()->text(), QStringLiteral("B5"));
    QCOMPARE(box.TextLabel()->text(), QStringLiteral("kept"));
    TestSupport::LoadNumberedTexts();
}

void TestShells::leftAlignedMessageForCustomer27()
{
    ZVAppSetting::Instance()->m_company = 27;
    ZVMessageBox box(QStringLiteral("message"), nullptr, 0, 0);
    QCOMPARE(box.TextLabel()->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    auto* row = qobject_cast<QHBoxLayout*>(box.layout()->itemAt(0)->layout());
    QVERIFY(row);
    QCOMPARE(row->spacing(), 40);
}

void TestShells::dialogKeepsResultObjectOnlyForOne()
{
    QObject payload;
    for (int result : { 0, 1, -1 }) {
        auto* frame = new BaseDialogFrame;
        BaseDialog dialog(frame, QStringLiteral("title"));
        DialogAnswerer answerer;
        answerer.SetNextAction([&](BaseDialog*) { emit frame->doneRequest(result, &payload); });
        QCOMPARE(dialog.exec(), result);
        QCOMPARE(dialog.ResultObject(), result == 1 ? &payload : nullptr);
    }
}

void TestShells::fileDialogShell()
{
    for (int code : { QDialog::Accepted, QDialog::Rejected }) {
        auto* fileDialog = new QFileDialog;
        BaseDialog dialog(fileDialog, QStringLiteral("open"));
        DialogAnswerer answerer;
        answerer.SetNextAction([&](BaseDialog*) { static_cast<QDialog*>(fileDialog)->done(code); });
        QCOMPARE(dialog.exec(), code);
        QCOMPARE(fileDialog->minimumSize(), QSize(620, 420));
        dialog.resize(100, 100);
        QVERIFY(dialog.width() >= 620 && dialog.height() >= 420);
        QVERIFY(!fileDialog->isWindow());
    }
}

void TestShells::titleBarDragMovesDialog()
{
    auto* box = new ZVMessageBox(QStringLiteral("drag"), nullptr, 0, 0);
    BaseDialog dialog(box, QStringLiteral("title"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    TitleBarFrame* bar = dialog.TitleBar();
    QCOMPARE(bar->height(), 25);
    QCOMPARE(bar->TitleLabel()->text(), QStringLiteral("title"));
    const QPoint start = dialog.pos();
    const QPoint grab(40, 10);
    QMouseEvent press(
        QEvent::MouseButtonPress, grab, bar->mapToGlobal(grab), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    const QPoint to = bar->mapToGlobal(grab) + QPoint(30, 20);
    QMouseEvent move(QEvent::MouseMove, grab + QPoint(30, 20), to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, grab, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &release);
    QCOMPARE(dialog.pos(), to - grab);
    QVERIFY(dialog.pos() != start);
}

void TestShells::lineEditByteLimit_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("after");

    const QString e = QStringLiteral("\u00e9"); // Latin-1, one byte
    const QString kanji = QStringLiteral("\u65e5\u672c");
    QTest::newRow("typing within the limit") << 4 << ""
                                             << "abcd" << false << "abcd";
    QTest::newRow("typing past the limit") << 4 << ""
                                           << "abcdef" << false << "abcd";
    QTest::newRow("Latin-1 letters count one byte") << 4 << "" << e + e + e + e + e << false << e + e + e + e;
    QTest::newRow("non-Latin-1 letters count one byte") << 3 << "" << kanji + kanji << false << kanji + "\u65e5";
    QTest::newRow("typing in the middle drops that letter") << 3 << "ac"
                                                            << "bX" << false << "abc";
    QTest::newRow("paste within the limit") << 8 << "ab"
                                            << "cdef" << true << "abcdef";
    QTest::newRow("paste one past the limit loses its last letter") << 5 << "ab"
                                                                    << "cdef" << true << "abcde";
    QTest::newRow("paste several past the limit loses one letter") << 5 << "ab"
                                                                   << "cdefgh" << true << "abcdefg";
    QTest::newRow("paste in the middle loses the letter before the cursor") << 3 << "ac"
                                                                            << "XY" << true << "aXc";
    QTest::newRow("paste of non-Latin-1 past the limit") << 3 << "a" << kanji + kanji << true << "a" + kanji + "\u65e5";
    QTest::newRow("paste of Latin-1 past the limit") << 2 << "" << e + "x" + e << true << e + "x";
}

void TestShells::lineEditByteLimit()
{
    QFETCH(int, limit);
    QFETCH(QString, before);
    QFETCH(QString, input);
    QFETCH(bool, paste);
    QFETCH(QString, after);

    LineEdit edit(nullptr, 1000);
    QCOMPARE(edit.MaxByteCount(), 1000);
    edit.SetMaxByteCount(limit);
    edit.setText(before);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setCursorPosition(before == QLatin1String("ac") ? 1 : before.size());
    if (paste) {
        QApplication::clipboard()->setText(input);
        edit.paste();
    } else {
        TypeText(&edit, input);
    }
    QCOMPARE(edit.text(), after);
    if (!paste)
        QVERIFY(edit.text().toLatin1().size() <= limit);
}

void TestShells::deviceWebPage_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QByteArray>("address");

    QTest::newRow("http on the web port") << false << QString() << QByteArray("http://127.0.0.7:8080");
    QTest::newRow("https always on 443") << true << QString() << QByteArray("https://127.0.0.7:443");
    QTest::newRow("elevated verb passed on") << false << QStringLiteral("runas") << QByteArray("http://127.0.0.7:8080");
}

void TestShells::deviceWebPage()
{
    QFETCH(bool, https);
    QFETCH(QString, verb);
    QFETCH(QByteArray, address);

    TestSupport::WebPageRecorder recorder;
    OpenDeviceWebPage(QStringLiteral("127.0.0.7"), 8080, https, verb);
    QCOMPARE(recorder.Pages().size(), 1);
    QCOMPARE(recorder.Pages().first().address, address);
    QCOMPARE(recorder.Pages().first().verb, verb);
}

QTEST_MAIN(TestShells)
#include "tst_shells.moc"
