#include "TitleBarFrame.h"

#include "BaseDialog.h"
#include "LanguageTexts.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>

#include <algorithm>

namespace
{
// Customers whose title bar carries text buttons for about and language and
// both restore and maximise buttons.
bool HasTextButtons(CompanyCode code)
{
    return code == 20 || code == 42;
}

bool HasSubLogo(CompanyCode code)
{
    static const QVector<int> codes = { 3, 17, 20, 27, 33, 34, 35, 37, 38, 39, 42 };
    return codes.contains(code);
}

bool IsOneOf(CompanyCode code, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}
} // namespace

TitleBarFrame::TitleBarFrame(QWidget* parent, bool isMain)
    : QFrame(parent)
    , m_bMain(isMain)
{
    setObjectName(QStringLiteral("TitleBarFrame"));
    setMouseTracking(true);
    if (m_bMain) {
        BuildMain();
    } else {
        m_pTitleLabel = new QLabel(this);
        m_pTitleLabel->setAlignment(Qt::AlignCenter);
        m_pTitleLabel->setGeometry(0, 0, 100, 30);
        QPalette palette = m_pTitleLabel->palette();
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            palette.setColor(group, QPalette::WindowText, Qt::green);
        m_pTitleLabel->setPalette(palette);
    }
    m_pBtnClose = MakeButton("closebutton");
    connect(m_pBtnClose, &QToolButton::clicked, this, &TitleBarFrame::OnBtnClose);

    BuildLayout();
    ZVAppSetting::Instance()->AddLanguageListener(this);
    RetranslateTexts();
}

TitleBarFrame::~TitleBarFrame()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

QToolButton* TitleBarFrame::MakeButton(const char* objectName, bool fixedSize)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    if (fixedSize)
        button->setFixedSize(17, 16);
    return button;
}

QLabel* TitleBarFrame::MakeLogo(const char* path)
{
    auto* label = new QLabel(this);
    const QPixmap pixmap(QString::fromLatin1(path));
    label->setPixmap(pixmap);
    label->setScaledContents(true);
    // Scaled, but never stretched out of shape by the row's height.
    label->setFixedSize(pixmap.size());
    label->setMouseTracking(true);
    return label;
}

void TitleBarFrame::BuildMain()
{
    const CompanyCode code = Company();
    const bool textButtons = HasTextButtons(code);
    if (code == 2)
        m_pTopLogo = MakeLogo(":/icons/Resource/logo_sub.png");
    m_bShowLogo = !textButtons;
    if (m_bShowLogo)
        m_pLogo = MakeLogo(":/icons/Resource/logo.png");
    if (HasSubLogo(code))
        m_pSubLogo = MakeLogo(":/icons/Resource/logo_sub.png");

    if (textButtons) {
        m_pBtnRestore = MakeButton("restorebutton");
        m_pBtnLanguage = MakeButton("languagebutton", false);
        m_pBtnMax = MakeButton("maxbutton");
        m_pBtnAbout = MakeButton("aboutbtn", false);
        m_pBtnLanguage->setPopupMode(QToolButton::DelayedPopup);
    } else {
        if (code == 34) {
            m_pBtnRestore = MakeButton("restorebutton");
            m_pBtnMax = MakeButton("maxbutton");
        }
        m_pBtnAbout = MakeButton("aboutbutton");
    }
    m_pBtnMin = MakeButton("minbutton");

    if (!textButtons) {
        m_pInfoMenu = new QMenu(this);
        m_pLanguageAction = new QAction(m_pInfoMenu);
        m_pAboutAction = new QAction(m_pInfoMenu);
    }
    m_pLanguageMenu = new QMenu(this);
    if (!textButtons)
        m_pLanguageAction->setMenu(m_pLanguageMenu);

    const ZVAppSetting* settings = ZVAppSetting::Instance();
    for (int i = 0; i < settings->m_languageIndexes.size(); ++i) {
        auto* action = new QAction(m_pLanguageMenu);
        action->setCheckable(true);
        action->setChecked(i == settings->m_currentLanguage);
        // An offered language without a declared file, or whose file is
        // missing, cannot be chosen.
        action->setEnabled(settings->LanguageUsable(i));
        m_languageActions.append(action);
        m_pLanguageMenu->addAction(action);
    }

    if (textButtons) {
        m_pBtnLanguage->setMenu(m_pLanguageMenu);
        m_pBtnLanguage->setArrowType(Qt::NoArrow);
        m_pBtnRestore->hide();
        m_bRestoreShown = false;
    } else {
        m_pInfoMenu->addAction(m_pLanguageAction);
        m_pInfoMenu->addAction(m_pAboutAction);
        m_pBtnAbout->setMenu(m_pInfoMenu);
        m_pBtnAbout->setArrowType(Qt::NoArrow);
        if (code == 34)
            m_pBtnMax->hide();
        m_bRestoreShown = true;
    }

    for (QToolButton* button : { m_pBtnRestore, m_pBtnMax }) {
        if (!button)
            continue;
        connect(button, &QToolButton::clicked, this, &TitleBarFrame::OnRestore);
        connect(button, &QToolButton::clicked, this, &TitleBarFrame::Restore);
    }
    connect(this, &TitleBarFrame::RestoreOrMax, this, &TitleBarFrame::OnRestore);
    if (textButtons) {
        connect(m_pBtnAbout, &QToolButton::clicked, this, &TitleBarFrame::ShowAboutWindow);
        connect(m_pBtnLanguage, &QToolButton::clicked, this, &TitleBarFrame::OnBtnInfo);
    } else {
        connect(m_pBtnAbout, &QToolButton::clicked, this, &TitleBarFrame::OnBtnInfo);
        connect(m_pAboutAction, &QAction::triggered, this, &TitleBarFrame::ShowAboutWindow);
    }
    connect(m_pBtnMin, &QToolButton::clicked, this, &TitleBarFrame::MinReqest);
    connect(m_pLanguageMenu, &QMenu::triggered, this, &TitleBarFrame::ChangeLanguage);
}

void TitleBarFrame::BuildLayout()
{
    const CompanyCode code = Company();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (m_pTopLogo) {
        auto* topRow = new QHBoxLayout;
        topRow->setContentsMargins(20, 20, 10, 0);
        topRow->addWidget(m_pTopLogo);
        topRow->addStretch();
        layout->addLayout(topRow);
    }
    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 0, 10, 0);
    if (m_bMain) {
        const bool threeStretches = IsOneOf(code, { 37, 38, 39 });
        if (m_pLogo)
            row->addWidget(m_pLogo);
        if (!IsOneOf(code, { 20, 35, 42 }))
            row->addStretch(1);
        if (code == 34)
            row->addStretch(50);
        if (threeStretches)
            row->addStretch(1);
        if (m_pSubLogo)
            row->addWidget(m_pSubLogo);
        if (threeStretches) {
            row->addStretch(1);
            row->addSpacing(100);
            row->setSpacing(20);
        }
        if (code != 33)
            row->addStretch(1);
        if (m_pBtnLanguage)
            row->addWidget(m_pBtnLanguage);
        row->addWidget(m_pBtnAbout);
        row->addWidget(m_pBtnMin);
        if (m_pBtnRestore) {
            row->addWidget(m_pBtnRestore);
            row->addWidget(m_pBtnMax);
        }
    } else {
        row->addStretch(1);
    }
    row->addWidget(m_pBtnClose);
    layout->addLayout(row);
}

void TitleBarFrame::RetranslateTexts()
{
    m_pBtnClose->setToolTip(LanguageText(9));
    if (!m_bMain)
        return;
    m_pBtnMin->setToolTip(LanguageText(8));
    if (HasTextButtons(Company())) {
        m_pBtnMax->setToolTip(LanguageText(164));
        m_pBtnRestore->setToolTip(LanguageText(165));
        m_pBtnAbout->setText(LanguageText(7));
        m_pBtnLanguage->setText(LanguageText(88));
    } else {
        m_pLanguageAction->setText(LanguageText(88));
        m_pAboutAction->setText(LanguageText(7));
        m_pInfoMenu->setTitle(LanguageText(88));
    }
    // An offered language without a declared file is named after the offered
    // file, never looked up outside the declared ones.
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    const QStringList offered = ZVAppSetting::OfferedLanguageFiles(Company());
    for (int i = 0; i < m_languageActions.size(); ++i) {
        const int declared = settings->m_languageIndexes.value(i, -1);
        const int textId = declared >= 0 && declared < settings->m_languageTextIds.size()
            ? settings->m_languageTextIds.at(declared)
            : ZVAppSetting::LanguageMenuTextId(offered.value(i));
        m_languageActions.at(i)->setText(LanguageText(textId));
    }
}

void TitleBarFrame::SetTitle(const QString& text)
{
    if (!m_pTitleLabel)
        return;
    m_pTitleLabel->setText(text);
    const CompanyCode code = Company();
    if (IsOneOf(code, { 0, 20, 30, 40, 42 }))
        m_pTitleLabel->setMinimumWidth(150);
    else if (code == 16)
        m_pTitleLabel->setMinimumWidth(120);
    // A title longer than the label's width is not cut off.
    if (m_pTitleLabel->sizeHint().width() > m_pTitleLabel->width())
        m_pTitleLabel->resize(m_pTitleLabel->sizeHint().width(), m_pTitleLabel->height());
}

void TitleBarFrame::OnBtnInfo()
{
    if (HasTextButtons(Company())) {
        m_pBtnLanguage->showMenu();
        m_pBtnLanguage->setText(LanguageText(88));
        m_pBtnAbout->setText(LanguageText(7));
    } else if (m_pBtnAbout) {
        m_pBtnAbout->showMenu();
    }
}

void TitleBarFrame::OnBtnClose()
{
    emit CloseRequest(-1);
}

void TitleBarFrame::OnRestore()
{
    if (!m_pBtnRestore || !m_pBtnMax) {
        m_bRestoreShown = !m_bRestoreShown;
        return;
    }
    if (m_bRestoreShown) {
        m_pBtnRestore->hide();
        m_pBtnMax->show();
    } else {
        m_pBtnMax->hide();
        m_pBtnRestore->show();
    }
    m_bRestoreShown = !m_bRestoreShown;
}

void TitleBarFrame::ChangeLanguage(QAction* action)
{
    // An action that is not one of the languages changes nothing, not even the checks.
    const int index = m_languageActions.indexOf(action);
    if (index < 0)
        return;
    for (int i = 0; i < m_languageActions.size(); ++i)
        m_languageActions.at(i)->setChecked(i == index);
    const CompanyCode code = Company();
    QFont font = QApplication::font();
    font.setFamily(HasTextButtons(code) && index == 2 ? QStringLiteral("Meiryo") : QStringLiteral("Arial"));
    QApplication::setFont(font);
    ZVAppSetting::Instance()->SetLanguage(index);
}

QString TitleBarFrame::AboutText()
{
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    const QString software = LanguageText(2);
    const QString title = LanguageText(0);
    const QString versionLabel = LanguageText(3);
    const QString version = settings->m_version;
    switch (Company()) {
    case 0: return QStringLiteral("%1%2").arg(versionLabel, version);
    case 32: return QStringLiteral("%1%2\n\n%3%4").arg(software, title, versionLabel, QStringLiteral("1.0.0.00"));
    case 43:
    case 44: return QStringLiteral("%1\n\n%2%3").arg(title, versionLabel, version);
    case 10:
        return QStringLiteral("%1\n\n%2 %3\n\n%4 %5")
            .arg(QStringLiteral("Corvenna Technology Co., Ltd."), software, title, versionLabel, version);
    case 16:
        return QStringLiteral("%1%2\n\n%3%4\n\n%5")
            .arg(software, title, versionLabel, version, QStringLiteral("2019 Haldrin Security Ltd."));
    case 27:
        return QStringLiteral("%1%2\n%3%4\n%5")
            .arg(software, title, versionLabel, version,
                QStringLiteral("Tervalo Vision Ltd.\n14 Harbour Row\n"
                               "Port Esken 4410\nsupport@tervalo.example"));
    default: return QStringLiteral("%1%2\n\n%3%4").arg(software, title, versionLabel, version);
    }
}

void TitleBarFrame::ShowAboutWindow()
{
    auto* box = new ZVMessageBox(AboutText(), this, -1, 1);
    box->setStyleSheet(QStringLiteral("border:none;"));
    BaseDialog dialog(box, LanguageText(Company() == 16 ? 126 : 7), this);
    dialog.setStyleSheet(QStringLiteral("border:1px solid rgb(134, 134, 134);"));
    dialog.exec();
    delete box;
}

void TitleBarFrame::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        RetranslateTexts();
}

void TitleBarFrame::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bDragging = true;
        m_pressPos = event->pos();
    }
    event->ignore();
}

void TitleBarFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging)
        emit TitleMoveRequest(event->globalPos() - m_pressPos);
    event->ignore();
}

void TitleBarFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bDragging = false;
    event->ignore();
}
