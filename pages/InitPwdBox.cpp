#include "InitPwdBox.h"

#include "LanguageTexts.h"
#include "PasswordRule.h"
#include "ZVMessageBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

InitPwdBox::InitPwdBox(QWidget* parent)
    : BaseDialogFrame(parent)
{
    setObjectName(QStringLiteral("InitPwdBox"));
    setMinimumSize(280, 180);
    auto* layout = new QVBoxLayout(this);
    layout->addSpacing(10);
    auto* fields = new QHBoxLayout;
    fields->addSpacing(20);
    auto* labels = new QVBoxLayout;
    auto* edits = new QVBoxLayout;
    for (int id : { 12, 13, 74 })
        labels->addWidget(new QLabel(LanguageText(id), this));
    m_pEdtUser = new QLineEdit(QStringLiteral("tolvi"), this);
    m_pEdtPwd = new QLineEdit(this);
    m_pEdtPwd->setEchoMode(QLineEdit::Password);
    m_pEdtConfirm = new QLineEdit(this);
    m_pEdtConfirm->setEchoMode(QLineEdit::Password);
    for (QLineEdit* e : { m_pEdtUser, m_pEdtPwd, m_pEdtConfirm })
        edits->addWidget(e);
    fields->addLayout(labels);
    fields->addSpacing(10);
    fields->addLayout(edits);
    fields->addSpacing(20);
    layout->addLayout(fields);
    layout->addSpacing(20);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_pBtnOk = new QPushButton(LanguageText(4), this);
    m_pBtnOk->setMinimumSize(80, 25);
    buttons->addWidget(m_pBtnOk);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addSpacing(10);

    connect(m_pBtnOk, &QPushButton::clicked, this, &InitPwdBox::CheckInput);
    connect(this, &InitPwdBox::InputOk, this, &InitPwdBox::OnClickOk);
}

InitPwdBox::~InitPwdBox() = default;

void InitPwdBox::OnClickOk()
{
    emit doneRequest(0, nullptr);
}

void InitPwdBox::CheckInput()
{
    using PasswordRule::Outcome;
    const QString password = m_pEdtPwd->text();
    const Outcome outcome
        = PasswordRule::Check(PasswordRule::Caller::FirstPasswordBox, password, m_pEdtConfirm->text());
    QString text;
    switch (outcome) {
    case Outcome::Accepted:
        m_password = password;
        emit InputOk();
        return;
    case Outcome::Empty: text = LanguageText(80); break;
    case Outcome::Mismatch: text = LanguageText(81); break;
    case Outcome::Length: text = LanguageText(149); break;
    case Outcome::Run:
    case Outcome::Classes:
        text = QStringLiteral("%1\n%2\n%3").arg(LanguageText(150), LanguageText(151), LanguageText(152));
        break;
    }
    ZVMessageBox::ShowMessage(this, text, LanguageText(110), 0, 2);
}

QString InitPwdBox::Ask(QWidget* parent)
{
    // The dialog takes the box in; the box goes first, as message boxes do.
    auto* box = new InitPwdBox(parent);
    BaseDialog dialog(box, LanguageText(154), parent);
    const QString password = dialog.exec() == 0 ? box->Password() : QString();
    delete box;
    return password;
}
