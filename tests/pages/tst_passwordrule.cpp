// The password rule of its three callers as one table, and the first-password
// box: which message it shows for which input, and what it keeps.

#include "BaseDialog.h"
#include "InitPwdBox.h"
#include "PasswordRule.h"
#include "UiTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using PasswordRule::Caller;
using PasswordRule::Outcome;
using namespace TestSupport;

Q_DECLARE_METATYPE(Caller)
Q_DECLARE_METATYPE(Outcome)

namespace
{
QString Text(int id)
{
    return QStringLiteral("T%1").arg(id);
}

QString WeakText()
{
    return Text(150) + QLatin1Char('\n') + Text(151) + QLatin1Char('\n') + Text(152);
}
} // namespace

class TestPasswordRule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void rule_data();
    void rule();
    void applies_data();
    void applies();

    void boxMessages_data();
    void boxMessages();
    void boxAskKeepsOnlyAnAcceptedPassword();
};

void TestPasswordRule::initTestCase()
{
    LoadNumberedTexts();
}

void TestPasswordRule::rule_data()
{
    QTest::addColumn<Caller>("caller");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("ruleApplies");
    QTest::addColumn<Outcome>("outcome");

    const Caller U = Caller::UserPage;
    const Caller C = Caller::ChangePasswordPage;
    const Caller B = Caller::FirstPasswordBox;
    struct Row
    {
        const char* name;
        Caller caller;
        QString password;
        QString confirm; // null: the password again
        bool applies;
        Outcome outcome;
    };
    const QString cyrillic = QString::fromUtf8("\u0416\u0417\u0418\u041a");
    const QString three = QString::fromUtf8("\u0416\u0417\u0418");
    const Row rows[] = {
        // The front: empty, then mismatch, then the gate.
        { "empty/user", U, "", {}, true, Outcome::Empty },
        { "empty/gate off", U, "", {}, false, Outcome::Empty },
        { "empty/box", B, "", "x", true, Outcome::Empty },
        { "mismatch/change", C, "Ab3#xy9K", "Ab3#xy9k", true, Outcome::Mismatch },
        { "mismatch/box", B, "Ab3#xy9K", "", true, Outcome::Mismatch },
        { "gate off/user", U, "a", {}, false, Outcome::Accepted },
        { "gate off/change", C, "aaaa", {}, false, Outcome::Accepted },

        // Lengths at and around 8 and 15.
        { "7/user", U, "Ab3#xy9", {}, true, Outcome::Length },
        { "7/box", B, "Ab3#xy9", {}, true, Outcome::Length },
        { "8/user", U, "Ab3#xy9K", {}, true, Outcome::Accepted },
        { "8/box", B, "Ab3#xy9K", {}, true, Outcome::Accepted },
        { "15/change", C, "Ab3#xy9Kq2Wz5Rm", {}, true, Outcome::Accepted },
        { "15/box", B, "Ab3#xy9Kq2Wz5Rm", {}, true, Outcome::Accepted },
        { "16/change", C, "Ab3#xy9Kq2Wz5Rm8", {}, true, Outcome::Length },
        { "16/box", B, "Ab3#xy9Kq2Wz5Rm8", {}, true, Outcome::Length },

        // Classes: 9 characters need three, 10 need two.
        { "9 two classes/user", U, "qz7kp2lwm", {}, true, Outcome::Classes },
        { "9 two classes/box", B, "qz7kp2lwm", {}, true, Outcome::Classes },
        { "10 two classes/user", U, "qz7kp2lwmx", {}, true, Outcome::Accepted },
        { "10 two classes/box", B, "qz7kp2lwmx", {}, true, Outcome::Accepted },
        { "10 one class/change", C, "qzakpxlwmv", {}, true, Outcome::Classes },
        { "10 one class/box", B, "qzakpxlwmv", {}, true, Outcome::Classes },
        // Upper- and lower-case letters are two classes on the pages, one in the box.
        { "9 both cases and digit/user", U, "qz7kp2lwM", {}, true, Outcome::Accepted },
        { "9 both cases and digit/box", B, "qz7kp2lwM", {}, true, Outcome::Classes },
        { "9 letter digit other/box", B, "qz7kp2lw#", {}, true, Outcome::Accepted },
        // Each class missing, with 8 characters.
        { "no digit/user", U, "qzAkp#lW", {}, true, Outcome::Accepted },
        { "no upper/user", U, "qz7kp#lw", {}, true, Outcome::Accepted },
        { "no lower/user", U, "QZ7KP#LW", {}, true, Outcome::Accepted },
        { "no other/user", U, "qz7kpAlW", {}, true, Outcome::Accepted },
        { "no digit no other/user", U, "qzAkpXlW", {}, true, Outcome::Classes },
        { "no digit/box", B, "qzAkp#lW", {}, true, Outcome::Classes },
        { "no letter/box", B, "1#5%9(3)", {}, true, Outcome::Classes },
        { "no other/box", B, "qzAkp7lW", {}, true, Outcome::Classes },

        // Identical and rising runs.
        { "3 same/user", U, "Xaaa7#kq", {}, true, Outcome::Accepted },
        { "4 same/user", U, "Xaaaa7#k", {}, true, Outcome::Run },
        { "4 same/box", B, "Xaaaa7#k", {}, true, Outcome::Run },
        { "3 rising/user", U, "Xabc7#kq", {}, true, Outcome::Accepted },
        { "4 rising/user", U, "Xabcd7#k", {}, true, Outcome::Run },
        { "4 rising/box", B, "Xabcd7#k", {}, true, Outcome::Run },
        { "other then 3 rising/user", U, "Kq/012Xz", {}, true, Outcome::Accepted },
        { "other then 4 rising/box", B, "Kq/0123z", {}, true, Outcome::Run },
        { "rising others/user", U, "Kq!\"#$7z", {}, true, Outcome::Accepted },

        // Keyboard runs: 4 keys on the pages, 5 in the box.
        { "4 keys/user", U, "Zqwer7#k", {}, true, Outcome::Run },
        { "4 keys/change", C, "Zqwer7#k", {}, true, Outcome::Run },
        { "4 keys/box", B, "Zqwer7#k", {}, true, Outcome::Accepted },
        { "5 keys/box", B, "Zqwert7#", {}, true, Outcome::Run },
        { "4 keys back/user", U, "Zrewq7#k", {}, true, Outcome::Run },
        { "4 keys back/box", B, "Zrewq7#k", {}, true, Outcome::Accepted },
        { "5 keys back/box", B, "Ztrewq7#", {}, true, Outcome::Run },
        { "turn restarts/user", U, "Zqwewq7#", {}, true, Outcome::Accepted },
        { "case breaks/user", U, "qwERty7#", {}, true, Outcome::Accepted },
        { "first key at row start/user", U, "asdf7#Kz", {}, true, Outcome::Run },
        { "first key mid-row/user", U, "sdfg7#Kz", {}, true, Outcome::Run },
        { "3 keys/user", U, "Zsdf7#Kq", {}, true, Outcome::Accepted },
        // Only the box's run goes on past the end of its row, into the next or previous one.
        { "past row end/user", U, "K7#p[]as", {}, true, Outcome::Accepted },
        { "past row end/box", B, "K7#p[]as", {}, true, Outcome::Run },
        { "row end then other key/box", B, "K7#op[]s", {}, true, Outcome::Accepted },
        { "past row start/user", U, "K7#ewq=-", {}, true, Outcome::Accepted },
        { "past row start/box", B, "K7#ewq=-", {}, true, Outcome::Run },

        // Which failure wins: the pages test the length first, the box the run.
        { "7 with run/user", U, "qwer7#K", {}, true, Outcome::Length },
        { "7 with run/box", B, "qwert7#", {}, true, Outcome::Run },
        { "16 with run/change", C, "Aqwert7#kz2Lw9p5", {}, true, Outcome::Length },
        { "16 with run/box", B, "Aqwert7#kz2Lw9p5", {}, true, Outcome::Run },

        // Outside Latin-1 a character is code 0: other, on no key.
        { "non-Latin-1 as other/user", U, QStringLiteral("Kq7z") + cyrillic.left(1) + QStringLiteral("mp2"), {}, true,
            Outcome::Accepted },
        { "non-Latin-1 as other/box", B, QStringLiteral("q7z") + cyrillic.left(1) + QStringLiteral("mp2x"), {}, true,
            Outcome::Accepted },
        { "3 non-Latin-1/user", U, QStringLiteral("Kq7z") + three + QStringLiteral("m"), {}, true, Outcome::Accepted },
        { "4 non-Latin-1 are the same code/user", U, QStringLiteral("Kq7z") + cyrillic, {}, true, Outcome::Run },
        { "4 non-Latin-1 are the same code/box", B, QStringLiteral("Kq7z") + cyrillic, {}, true, Outcome::Run },
        { "Latin-1 accent as other/box", B, QString::fromUtf8("qz7kp2l\u00e9"), {}, true, Outcome::Accepted },
        { "digits and non-Latin-1/box", B, QString::fromUtf8("\u04161\u04162\u04163\u04164\u0416"), {}, true,
            Outcome::Classes },
    };
    for (const Row& row : rows)
        QTest::newRow(row.name) << row.caller << row.password << (row.confirm.isNull() ? row.password : row.confirm)
                                << row.applies << row.outcome;
}

void TestPasswordRule::rule()
{
    QFETCH(Caller, caller);
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(bool, ruleApplies);
    QFETCH(Outcome, outcome);
    QCOMPARE(PasswordRule::Check(caller, password, confirm, ruleApplies), outcome);
    if (caller == Caller::UserPage)
        QCOMPARE(PasswordRule::CheckPagePassword(password, confirm, ruleApplies), PasswordRule::PageTextId(outcome));
}

void TestPasswordRule::applies_data()
{
    QTest::addColumn<Caller>("caller");
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("nibble");
    QTest::addColumn<bool>("applies");
    const Caller U = Caller::UserPage;
    const Caller C = Caller::ChangePasswordPage;
    const Caller B = Caller::FirstPasswordBox;
    QTest::newRow("user 30") << U << 30 << 0 << true;
    QTest::newRow("user 37") << U << 37 << 0 << true;
    QTest::newRow("user 38") << U << 38 << 0 << true;
    QTest::newRow("user 39") << U << 39 << 0 << true;
    QTest::newRow("user 40") << U << 40 << 0 << true;
    QTest::newRow("user 0 nibble 4") << U << 0 << 4 << true;
    QTest::newRow("user 0 nibble 3") << U << 0 << 3 << false;
    QTest::newRow("user 45 nibble 4") << U << 45 << 4 << true;
    QTest::newRow("user 45 nibble 5") << U << 45 << 5 << false;
    QTest::newRow("user 43") << U << 43 << 4 << false;
    QTest::newRow("change 0") << C << 0 << 0 << true;
    QTest::newRow("change 30") << C << 30 << 0 << true;
    QTest::newRow("change 38") << C << 38 << 0 << true;
    QTest::newRow("change 40") << C << 40 << 0 << true;
    QTest::newRow("change 45") << C << 45 << 0 << true;
    QTest::newRow("change 37") << C << 37 << 0 << false;
    QTest::newRow("change 39") << C << 39 << 0 << false;
    QTest::newRow("change 43") << C << 43 << 0 << false;
    QTest::newRow("box 43") << B << 43 << 0 << true;
    QTest::newRow("box 31") << B << 31 << 0 << true;
}

void TestPasswordRule::applies()
{
    QFETCH(Caller, caller);
    QFETCH(int, company);
    QFETCH(int, nibble);
    QFETCH(bool, applies);
    QCOMPARE(PasswordRule::Applies(caller, company, nibble), applies);
}

void TestPasswordRule::boxMessages_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("message"); // empty: accepted, no message
    QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("") << Text(80);
    QTest::newRow("empty before mismatch") << QStringLiteral("") << QStringLiteral("Ab3#xy9K") << Text(80);
    QTest::newRow("mismatch") << QStringLiteral("Ab3#xy9K") << QStringLiteral("Ab3#xy9") << Text(81);
    QTest::newRow("run before length") << QStringLiteral("aaaa") << QStringLiteral("aaaa") << WeakText();
    QTest::newRow("length") << QStringLiteral("Ab3#xy9") << QStringLiteral("Ab3#xy9") << Text(149);
    QTest::newRow("classes") << QStringLiteral("qz7kp2lwm") << QStringLiteral("qz7kp2lwm") << WeakText();
    // Each test ends the check: the earlier one wins over what follows.
    QTest::newRow("mismatch before run") << QStringLiteral("aaaa") << QStringLiteral("aaab") << Text(81);
    QTest::newRow("five keys before length") << QStringLiteral("qwert") << QStringLiteral("qwert") << WeakText();
    QTest::newRow("four keys pass on to length") << QStringLiteral("qwer") << QStringLiteral("qwer") << Text(149);
    QTest::newRow("length before classes") << QStringLiteral("qzkplwm") << QStringLiteral("qzkplwm") << Text(149);
    QTest::newRow("too long before classes")
        << QStringLiteral("qzkplwmxqzkplwmx") << QStringLiteral("qzkplwmxqzkplwmx") << Text(149);
    QTest::newRow("accepted") << QStringLiteral("Ab3#xy9K") << QStringLiteral("Ab3#xy9K") << QString();
}

void TestPasswordRule::boxMessages()
{
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(QString, message);
    DialogAnswerer answerer(DialogAnswerer::ClickOk);
    InitPwdBox box;
    box.show();
    QCOMPARE(box.UserEdit()->text(), QStringLiteral("tolvi"));
    QStringList labels;
    for (const QLabel* label : box.findChildren<QLabel*>())
        labels << label->text();
    QCOMPARE(labels, QStringList({ Text(12), Text(13), Text(74) }));
    QCOMPARE(box.OkButton()->text(), Text(4));
    QCOMPARE(box.minimumSize(), QSize(280, 180));
    QCOMPARE(box.PasswordEdit()->echoMode(), QLineEdit::Password);
    QCOMPARE(box.ConfirmEdit()->echoMode(), QLineEdit::Password);
    QSignalSpy accepted(&box, &InitPwdBox::InputOk);
    QSignalSpy done(&box, &BaseDialogFrame::doneRequest);
    QTest::keyClicks(box.PasswordEdit(), password);
    QTest::keyClicks(box.ConfirmEdit(), confirm);
    QTest::mouseClick(box.OkButton(), Qt::LeftButton);
    if (message.isEmpty()) {
        QCOMPARE(answerer.Dialogs().size(), 0);
        QCOMPARE(accepted.size(), 1);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done[0][0].toInt(), 0);
        QCOMPARE(box.Password(), password);
        return;
    }
    QCOMPARE(answerer.Dialogs().size(), 1);
    const DialogAnswerer::Shown& shown = answerer.Dialogs()[0];
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.title, Text(110));
    QCOMPARE(shown.buttonMode, 0);
    QCOMPARE(shown.iconMode, 2);
    // Refused: the box stays, keeps nothing and does not end.
    QCOMPARE(accepted.size(), 0);
    QCOMPARE(done.size(), 0);
    QVERIFY(box.Password().isEmpty());
    QVERIFY(box.isVisible());
}

void TestPasswordRule::boxAskKeepsOnlyAnAcceptedPassword()
{
    DialogAnswerer answerer(DialogAnswerer::ClickOk);
    // A refused try, then an accepted one, in the dialog the login page shows.
    answerer.SetNextAction([](BaseDialog* dialog) {
        auto* box = qobject_cast<InitPwdBox*>(dialog->Content());
        QVERIFY(box);
        QTest::keyClicks(box->PasswordEdit(), QStringLiteral("qwer"));
        QTest::keyClicks(box->ConfirmEdit(), QStringLiteral("qwer"));
        QTest::mouseClick(box->OkButton(), Qt::LeftButton);
        box->PasswordEdit()->setText(QStringLiteral("Qz7#kp2Lw"));
        box->ConfirmEdit()->setText(QStringLiteral("Qz7#kp2Lw"));
        QTest::mouseClick(box->OkButton(), Qt::LeftButton);
    });
    QCOMPARE(InitPwdBox::Ask(nullptr), QStringLiteral("Qz7#kp2Lw"));
    QCOMPARE(answerer.Dialogs().size(), 2);
    QCOMPARE(answerer.Dialogs()[0].title, Text(154));
    QCOMPARE(answerer.Dialogs()[1].text, Text(149));

    // Closed by the title bar: no password.
    DialogAnswerer closer(DialogAnswerer::ClickClose);
    QVERIFY(InitPwdBox::Ask(nullptr).isEmpty());
    QCOMPARE(closer.Dialogs().size(), 1);
    QCOMPARE(closer.Dialogs()[0].title, Text(154));
}

QTEST_MAIN(TestPasswordRule)
#include "tst_passwordrule.moc"
