#include "InitialDevice.h"

#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "PasswordRule.h"
#include "ZVAppSetting.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

namespace
{
constexpr int kTitle = 202;
} // namespace

InitialDevice::InitialDevice(QWidget* parent)
    : OperationPage(parent, PageEvents::InitialWorkFinishedEvent, TableKindInitial, &DeviceInfo::m_pInitialDevice, true)
{
    BuildForm();
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    m_pEditUserName->setText(settings->m_defaultUser);
    m_pEditPwd->setText(settings->m_defaultPassword);
    m_pEditConfirmPwd->setText(settings->m_defaultPassword);
    SetupTable(m_pDeviceTableView);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    m_pDeviceTableView->setColumnWidth(4, 130);
    m_pDeviceTableView->setColumnWidth(5, 150);
    connect(m_pBtnInitialized, &QPushButton::clicked, this, &InitialDevice::OnClickInitialized);
    RetranslateTexts();
}

void InitialDevice::BuildForm()
{
    setObjectName(QStringLiteral("InitialDevice"));
    resize(824, 384);
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pFrame, &m_pFrameLayout);
    m_pFrame->setObjectName(QStringLiteral("frame"));
    m_pLableUserName = AddBarLabel(m_pFrame, m_pFrameLayout, "m_pLableUserName", 60, 120);
    m_pEditUserName = AddBarEdit(m_pFrame, m_pFrameLayout, "m_pEditUserName", 80, false);
    m_pLabelPwd = AddBarLabel(m_pFrame, m_pFrameLayout, "m_pLabelPwd", 60, 120);
    m_pEditPwd = AddBarEdit(m_pFrame, m_pFrameLayout, "m_pEditPwd", 80, true);
    m_pLabelConfirmPwd = AddBarLabel(m_pFrame, m_pFrameLayout, "m_pLabelConfirmPwd", 100, 150);
    m_pEditConfirmPwd = AddBarEdit(m_pFrame, m_pFrameLayout, "m_pEditConfirmPwd", 80, true);
    m_pFrameLayout->addItem(new QSpacerItem(100, 25, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnInitialized = AddBarButton(m_pFrame, m_pFrameLayout, "m_pBtnInitialized", 72);
}

void InitialDevice::RetranslateTexts()
{
    m_pBtnInitialized->setText(LanguageText(200));
    m_pLableUserName->setText(LanguageText(12));
    m_pLabelPwd->setText(LanguageText(73));
    m_pLabelConfirmPwd->setText(LanguageText(74));
    FitFixedButton(m_pBtnInitialized, 72);
}

void InitialDevice::SetActionsEnabled(bool enabled)
{
    m_pBtnInitialized->setEnabled(enabled);
    m_pEditPwd->setEnabled(enabled);
    m_pEditConfirmPwd->setEnabled(enabled);
    setEnabled(enabled);
}

void InitialDevice::OnClickInitialized()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true))
        return;
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPwd->text();
    const QString confirm = m_pEditConfirmPwd->text();
    if (user.isEmpty() || password.isEmpty() || confirm != password) {
        ShowRefusal(confirm != password ? 223 : 222, kTitle);
        return;
    }
    // The device gets the password's Latin-1 bytes: a character outside
    // Latin-1 would give it another password than the one typed.
    if (!FitsLatin1(password)) {
        ShowRefusal(PasswordRule::kLength, kTitle);
        return;
    }
    RunTimerBatch(devices, &InitialTask, user, password, [&](DeviceInfo* device) {
        device->SetParams(user, password, password, password, QString(), QString(), QString(), 0, 0, 0, 0);
    });
}
