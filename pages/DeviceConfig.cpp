#include "DeviceConfig.h"

#include "Default.h"
#include "LanguageTexts.h"
#include "Reboot.h"
#include "User.h"
#include "ZVAppSetting.h"
#include "ZVDevice.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace
{
QFrame* Line(QWidget* parent, const char* name, QFrame::Shape shape)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

DeviceConfig::DeviceConfig(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DeviceConfig"));
    resize(570, 370);
    setMinimumSize(570, 370);
    auto* outer = new QHBoxLayout(this);
    outer->setObjectName(QStringLiteral("horizontalLayout_3"));
    outer->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QVBoxLayout;
    buttons->setObjectName(QStringLiteral("verticalLayout_2"));
    m_pButtonGroup = new QButtonGroup(this);
    m_pButtonGroup->setObjectName(QStringLiteral("buttonGroup"));
    m_pButtonGroup->setExclusive(true);
    auto pageButton = [&](QPushButton*& button) {
        button = new QPushButton(this);
        // The style sheet styles the page buttons by this name.
        button->setObjectName(QStringLiteral("ConfigButton"));
        button->setCheckable(true);
        button->setMinimumSize(100, 25);
        m_pButtonGroup->addButton(button);
        buttons->addWidget(button);
    };
    pageButton(m_pBtnReboot);
    pageButton(m_pBtnModifyUser);
    pageButton(m_pBtnDefault);
    buttons->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    outer->addLayout(buttons);
    outer->addWidget(Line(this, "line", QFrame::VLine));
    auto* right = new QVBoxLayout;
    right->setObjectName(QStringLiteral("verticalLayout"));
    m_pStackedWidget = new QStackedWidget(this);
    m_pStackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    for (const char* name : { "page", "page_2" }) {
        auto* page = new QWidget(m_pStackedWidget);
        page->setObjectName(QString::fromLatin1(name));
        m_pStackedWidget->addWidget(page);
    }
    right->addWidget(m_pStackedWidget);
    right->addWidget(Line(this, "line_2", QFrame::HLine));
    auto* bottom = new QHBoxLayout;
    bottom->setObjectName(QStringLiteral("horizontalLayout"));
    m_pLabInfo = new QLabel(this);
    m_pLabInfo->setObjectName(QStringLiteral("m_pLabInfo"));
    m_pLabInfo->setMinimumHeight(25);
    bottom->addWidget(m_pLabInfo);
    bottom->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnSet = new QPushButton(this);
    m_pBtnSet->setObjectName(QStringLiteral("m_pBtnSet"));
    m_pBtnSet->setMinimumSize(80, 25);
    bottom->addWidget(m_pBtnSet);
    right->addLayout(bottom);
    outer->addLayout(right);

    m_pDefault = new Default(this);
    m_pReboot = new Reboot(this);
    m_pUser = new User(this);
    m_pStackedWidget->addWidget(m_pReboot);
    m_pStackedWidget->addWidget(m_pUser);
    m_pStackedWidget->addWidget(m_pDefault);
    m_pBtnReboot->setChecked(true);
    m_pBtnSet->hide();
    m_pStackedWidget->setCurrentWidget(m_pReboot);
    m_currentPage = 0;

    connect(m_pBtnReboot, &QPushButton::clicked, this, &DeviceConfig::OnRebootPage);
    connect(m_pBtnModifyUser, &QPushButton::clicked, this, &DeviceConfig::OnUserPage);
    connect(m_pBtnDefault, &QPushButton::clicked, this, &DeviceConfig::OnDefaultPage);
    connect(m_pBtnSet, &QPushButton::clicked, this, &DeviceConfig::OnSet);
    connect(m_pReboot, &Reboot::onReboot, this, &DeviceConfig::OnSet);
    Retranslate();
    ZVAppSetting::Instance()->AddLanguageListener(this);
}

DeviceConfig::~DeviceConfig()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

void DeviceConfig::Retranslate()
{
    m_pLabInfo->setText(QString());
    m_pBtnDefault->setText(LanguageText(63));
    m_pBtnModifyUser->setText(LanguageText(62));
    m_pBtnReboot->setText(LanguageText(61));
    m_pBtnSet->setText(LanguageText(64));
}

void DeviceConfig::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        Retranslate();
}

void DeviceConfig::SetDevice(ZVDevice* device)
{
    m_pDevice = device;
    m_pReboot->m_pDevice = device;
    m_pUser->m_pDevice = device;
    m_pDefault->m_pDevice = device;
}

void DeviceConfig::ShowPage(int index, QWidget* page, bool setButton)
{
    m_pBtnSet->setVisible(setButton);
    m_pStackedWidget->setCurrentWidget(page);
    m_currentPage = index;
}

void DeviceConfig::OnRebootPage()
{
    ShowPage(0, m_pReboot, false);
}

void DeviceConfig::OnUserPage()
{
    ShowPage(1, m_pUser, true);
}

void DeviceConfig::OnDefaultPage()
{
    ShowPage(2, m_pDefault, true);
}

void DeviceConfig::OnSet()
{
    int check = 79;
    switch (m_currentPage) {
    case 0: check = m_pReboot->CheckInput(); break;
    case 1: check = m_pUser->CheckPassword(); break;
    case 2: check = m_pDefault->CheckInput(); break;
    default: break;
    }
    if (check != 79) {
        m_pLabInfo->setText(LanguageText(check));
        return;
    }
    m_pLabInfo->setText(LanguageText(19));
    if (!m_pDevice)
        return;
    bool ok = false;
    switch (m_currentPage) {
    case 0: ok = m_pReboot->ApplyReboot(); break;
    case 1:
        ok = m_pUser->ApplyPassword();
        if (ok) {
            m_newPassword = m_pUser->NewPassword();
            emit SendNewPwd(m_newPassword);
        }
        break;
    case 2: ok = m_pDefault->ApplyDefault(); break;
    default: break;
    }
    if (m_currentPage == 0)
        m_pLabInfo->setText(LanguageText(ok ? 75 : 76));
    else
        m_pLabInfo->setText(LanguageText(ok ? 77 : 78));
}

void DeviceConfig::ShowConnectStatus()
{
    m_pLabInfo->setEnabled(true);
    if (!m_pDevice) {
        m_pLabInfo->setText(LanguageText(16));
        return;
    }
    switch (m_pDevice->m_state) {
    case ZVDevice::StateLoggedIn:
        if (UsesHttpApi())
            m_pDefault->QueryResetRange();
        setEnabled(true);
        m_pDefault->UpdateGroupBoxes();
        m_pLabInfo->setText(LanguageText(15));
        break;
    case 104:
        setEnabled(false);
        m_pLabInfo->setText(LanguageText(18));
        break;
    case ZVDevice::StatePasswordSaved:
        setEnabled(false);
        m_pLabInfo->setText(LanguageText(156));
        break;
    case ZVDevice::StateLocked:
        setEnabled(false);
        emit ForceCloseDevice();
        m_pLabInfo->setText(LanguageText(189));
        break;
    default:
        setEnabled(false);
        m_pLabInfo->setText(LanguageText(16));
        break;
    }
}

void DeviceConfig::ClearInfo()
{
    m_pLabInfo->clear();
}

void DeviceConfig::ResetInfo()
{
    m_pLabInfo->setText(QString());
}

void DeviceConfig::showEvent(QShowEvent* event)
{
    if (m_pDevice && m_pDevice->m_state == ZVDevice::StateLoggedIn) {
        setEnabled(true);
    } else {
        setEnabled(false);
        m_pBtnReboot->setChecked(true);
        OnRebootPage();
    }
    QWidget::showEvent(event);
}
