#include "SearchFrame.h"

#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

SearchFrame::SearchFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::SearchWorkFinishedEvent)
    , m_pHBoxLayout(new QVBoxLayout(this))
    , m_pStackedWidget(new QStackedWidget(this))
    , m_pBottom(new QFrame(this))
    , m_pGroupUserInfo(new QGroupBox(m_pBottom))
    , m_pLabelUserName(new QLabel(m_pGroupUserInfo))
    , m_pEditUserName(new LineEdit(m_pGroupUserInfo, 1000))
    , m_pLabelPassword(new QLabel(m_pGroupUserInfo))
    , m_pEditPassword(new LineEdit(m_pGroupUserInfo, 1000))
{
    setObjectName(QStringLiteral("SearchFrame"));
    m_pHBoxLayout->setContentsMargins(0, 0, 0, 0);
    m_pStackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    // One page per protocol: the SDK view and the ONVIF view.
    m_pStackedWidget->addWidget(new QWidget(m_pStackedWidget));
    m_pStackedWidget->addWidget(new QWidget(m_pStackedWidget));
    m_pHBoxLayout->addWidget(m_pStackedWidget);

    m_pBottom->setObjectName(QStringLiteral("SearchFrameBottom"));
    auto* bottomLayout = new QHBoxLayout(m_pBottom);
    bottomLayout->addWidget(m_pGroupUserInfo);
    bottomLayout->addStretch(1);
    auto* userRow = new QHBoxLayout(m_pGroupUserInfo);
    for (QWidget* widget : { static_cast<QWidget*>(m_pLabelUserName), static_cast<QWidget*>(m_pEditUserName),
             static_cast<QWidget*>(m_pLabelPassword), static_cast<QWidget*>(m_pEditPassword) })
        userRow->addWidget(widget);
    m_pEditUserName->setFixedSize(60, 25);
    m_pEditPassword->setFixedSize(60, 25);
    m_pEditPassword->setEchoMode(QLineEdit::Password);

    const ZVAppSetting* settings = ZVAppSetting::Instance();
    m_pEditUserName->setText(settings->m_defaultUser);
    m_pEditPassword->setText(settings->m_defaultPassword);
    m_pEditUserName->SetMaxByteCount(16);
    m_pEditPassword->SetMaxByteCount(16);
    m_pHBoxLayout->addWidget(m_pBottom);
    ShowBottomPanel(false);
    RetranslateTexts();
}

SearchFrame::~SearchFrame() = default;

void SearchFrame::RetranslateTexts()
{
    m_pLabelUserName->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    m_pGroupUserInfo->setTitle(LanguageText(46));
}

void SearchFrame::ShowBottomPanel(bool show)
{
    if (m_bBottomVisible == show)
        return;
    m_bBottomVisible = show;
    if (show) {
        m_pHBoxLayout->addWidget(m_pBottom);
        m_pBottom->show();
    } else {
        m_pHBoxLayout->removeWidget(m_pBottom);
        m_pBottom->hide();
    }
}

void SearchFrame::StartSearch()
{
    if (m_pToolBarFrame)
        m_pToolBarFrame->SetControlsEnabled(false);
    ShowBottomPanel(false);
    // No LAN search is wired to the SDK yet: the search ends at once, with no
    // device, the same way a finished one does.
    QCoreApplication::postEvent(this, new QEvent(PageEvents::SearchFinishedEvent));
}

void SearchFrame::SetProtocol(int index)
{
    m_protocol = index == 1 ? 1 : 0;
    m_pStackedWidget->setCurrentIndex(m_protocol);
    StartSearch();
}

void SearchFrame::SetPages(const QList<DevicePage*>& pages)
{
    m_pages = pages;
}

DeviceInfo* SearchFrame::GetCurrentDevice() const
{
    return nullptr;
}

void SearchFrame::GetLoginText(QString* user, QString* password) const
{
    if (user)
        *user = m_pEditUserName->text();
    if (password)
        *password = m_pEditPassword->text();
}

void SearchFrame::customEvent(QEvent* event)
{
    if (event->type() == PageEvents::SearchFinishedEvent) {
        if (m_pToolBarFrame)
            m_pToolBarFrame->SetControlsEnabled(true);
        for (DevicePage* page : qAsConst(m_pages)) {
            if (page)
                page->RefreshDeviceList();
        }
        return;
    }
    DevicePage::customEvent(event);
}
