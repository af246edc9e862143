#include "RebootDevice.h"

#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

RebootDevice::RebootDevice(QWidget* parent)
    : OperationPage(parent, PageEvents::RebootWorkFinishedEvent, TableKindReboot, &DeviceInfo::m_pRebootDevice, true)
{
    BuildForm();
    PrefillLogin(m_pEditUser, m_pEditPwd, 0);
    m_pEditUser->setMaxLength(16);
    m_pEditPwd->setMaxLength(16);
    SetupTable(m_pDeviceTableView);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    m_pDeviceTableView->setColumnWidth(4, 130);
    m_pDeviceTableView->setColumnWidth(5, 150);
    m_pDeviceTableView->setColumnWidth(6, 120);
    connect(m_pBtnReboot, &QPushButton::clicked, this, &RebootDevice::OnClickReboot);
    RetranslateTexts();
}

void RebootDevice::BuildForm()
{
    setObjectName(QStringLiteral("RebootDevice"));
    resize(824, 384);
    QHBoxLayout* layout = nullptr;
    m_pDeviceTableView = CreateTableAndControlFrame(&m_pFrameCtrl, &layout);
    QFrame* bar = m_pFrameCtrl;
    m_pLabelUser = AddBarLabel(bar, layout, "m_pLabelUser", 20, 120);
    m_pEditUser = AddBarEdit(bar, layout, "m_pEditUser", 80, false);
    m_pLablePwd = AddBarLabel(bar, layout, "m_pLablePwd", 20, 120);
    m_pEditPwd = AddBarEdit(bar, layout, "m_pEditPwd", 80, false);
    layout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnReboot = AddBarButton(bar, layout, "m_pBtnReboot", 72);
}

void RebootDevice::RetranslateTexts()
{
    m_pBtnReboot->setText(LanguageText(61));
    m_pLabelUser->setText(LanguageText(12));
    m_pLablePwd->setText(LanguageText(13));
    FitFixedButton(m_pBtnReboot, 72);
    FitLabels({ m_pLabelUser, m_pLablePwd }, 120);
}

void RebootDevice::SetActionsEnabled(bool enabled)
{
    m_pBtnReboot->setEnabled(enabled);
}

void RebootDevice::OnClickReboot()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true))
        return;
    const QString user = m_pEditUser->text();
    const QString password = m_pEditPwd->text();
    if (user.isEmpty() || password.isEmpty()) {
        ShowRefusal(222, 6);
        return;
    }
    RunTimerBatch(devices, &RebootTask, user, password);
}
