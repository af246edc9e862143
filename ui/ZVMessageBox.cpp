#include "ZVMessageBox.h"

#include "LanguageTexts.h"
#include "ZVAppSetting.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
const char* IconPath(int iconMode)
{
    switch (iconMode) {
    case 0: return ":/icons/Resource/information.png";
    case 1: return ":/icons/Resource/about-logo.png";
    case 2: return ":/icons/Resource/warning.png";
    default: return nullptr;
    }
}
} // namespace

ZVMessageBox::ZVMessageBox(const QString& text, QWidget* parent, int buttonMode, int iconMode)
    : BaseDialogFrame(parent)
    , m_text(text)
    , m_buttonMode(buttonMode)
    , m_iconMode(iconMode)
{
    const bool leftAligned = Company() == 27;
    m_pLabelText = new QLabel(this);
    m_pLabelText->setAlignment(leftAligned ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    m_pLabelText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // The dialog's border rule reaches every child; the message itself is not framed.
    m_pLabelText->setStyleSheet(QStringLiteral("border:none;"));

    if (const char* path = IconPath(iconMode)) {
        m_pLabelIcon = new QLabel(this);
        m_pLabelIcon->setPixmap(QPixmap(QString::fromLatin1(path)));
        m_pLabelIcon->setStyleSheet(QStringLiteral("border:none;"));
    }

    if (buttonMode == 0 || buttonMode == 1) {
        m_pButtonBar = new QWidget(this);
        m_pBtnOk = new QPushButton(m_pButtonBar);
        m_pBtnOk->setMinimumSize(80, 25);
        if (buttonMode == 1) {
            m_pBtnCancel = new QPushButton(m_pButtonBar);
            m_pBtnCancel->setMinimumSize(80, 25);
            m_pButtonBar->setStyleSheet(
                QStringLiteral(".QWidget{background-color: #dfe4ea;border-bottom-left-radius:5px;"
                               "border-bottom-right-radius:5px;}"));
        }
    }
    setMinimumSize(250, 120);

    auto* messageRow = new QHBoxLayout;
    messageRow->setSpacing(leftAligned ? 40 : 0);
    if (m_pLabelIcon)
        messageRow->addWidget(m_pLabelIcon);
    messageRow->addWidget(m_pLabelText);

    if (m_pButtonBar) {
        auto* barLayout = new QHBoxLayout(m_pButtonBar);
        barLayout->setSpacing(10);
        barLayout->addStretch();
        barLayout->addWidget(m_pBtnOk);
        if (m_pBtnCancel)
            barLayout->addWidget(m_pBtnCancel);
        auto* boxLayout = new QVBoxLayout(this);
        boxLayout->setContentsMargins(1, 0, 1, 1);
        boxLayout->setSpacing(0);
        boxLayout->addLayout(messageRow);
        boxLayout->addWidget(m_pButtonBar);
    } else {
        setLayout(messageRow);
    }

    if (m_pBtnOk)
        connect(m_pBtnOk, &QPushButton::clicked, this, &ZVMessageBox::OnClickOk);
    if (m_pBtnCancel)
        connect(m_pBtnCancel, &QPushButton::clicked, this, &ZVMessageBox::OnClickCancel);
    RetranslateTexts();
}

int ZVMessageBox::ShowMessage(QWidget* parent, const QString& text, const QString& title, int buttonMode, int iconMode,
    const QString& dialogStyleSheet)
{
    auto* box = new ZVMessageBox(text, parent, buttonMode, iconMode);
    BaseDialog dialog(box, title, parent);
    if (!dialogStyleSheet.isEmpty())
        dialog.setStyleSheet(dialogStyleSheet);
    const int result = dialog.exec();
    delete box;
    return result;
}

void ZVMessageBox::OnClickOk()
{
    emit doneRequest(0, nullptr);
}

void ZVMessageBox::OnClickCancel()
{
    emit doneRequest(-1, nullptr);
}

void ZVMessageBox::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        RetranslateTexts();
}

void ZVMessageBox::RetranslateTexts()
{
    if (m_pBtnOk)
        m_pBtnOk->setText(LanguageText(4));
    if (m_pBtnCancel)
        m_pBtnCancel->setText(LanguageText(5));
    m_pLabelText->setText(m_text);
}
