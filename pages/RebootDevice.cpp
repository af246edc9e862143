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
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pFrameCtrl, &m_pCtrlLayout);
    m_pFrameCtrl->setObjectName(QStringLiteral("m_pFrameCtrl"));
    m_pFrameCtrl->setFrameShape(QFrame::StyledPanel);
    m_pFrameCtrl->setFrameShadow(QFrame::Raised);

    auto label = [this](const char* name) {
        auto* widget = new QLabel(m_pFrameCtrl);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumSize(20, 25);
        widget->setMaximumSize(120, 25);
        m_pCtrlLayout->addWidget(widget);
        return widget;
    };
    auto edit = [this](const char* name) {
        auto* widget = new LineEdit(m_pFrameCtrl);
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(80, 25);
        m_pCtrlLayout->addWidget(widget);
        return widget;
    };
    m_pLabelUser = label("m_pLabelUser");
    m_pEditUser = edit("m_pEditUser");
    m_pLablePwd = label("m_pLablePwd");
    m_pEditPwd = edit("m_pEditPwd");
    m_pCtrlLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnReboot = new QPushButton(m_pFrameCtrl);
    m_pBtnReboot->setObjectName(QStringLiteral("m_pBtnReboot"));
    m_pBtnReboot->setFixedSize(72, 25);
    m_pCtrlLayout->addWidget(m_pBtnReboot);
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
