#include "ChangeDevice.h"

#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ZVAppSetting.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

ChangeDevice::ChangeDevice(QWidget* parent)
    : OperationPage(
        parent, PageEvents::ChangeDeviceWorkFinishedEvent, TableKindChangeDevice, &DeviceInfo::m_pChangeDevice, true)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassWord, 0);
    m_pEditUserName->setMaxLength(16);
    m_pEditPassWord->setMaxLength(16);
    SetupTable(m_pDeviceTableView);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    if (ZVAppSetting::Instance()->m_company == 40)
        m_pDeviceTableView->setColumnWidth(3, 110);
    m_pDeviceTableView->setColumnWidth(4, 130);
    m_pDeviceTableView->setColumnWidth(5, 120);
    m_pDeviceTableView->setColumnWidth(6, 120);
    connect(m_pBtnChange, &QPushButton::clicked, this, &ChangeDevice::OnClickChange);
    RetranslateTexts();
}

void ChangeDevice::BuildForm()
{
    setObjectName(QStringLiteral("ChangeDevice"));
    resize(824, 384);
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pFrameCtrl, &m_pCtrlLayout);
    m_pFrameCtrl->setObjectName(QStringLiteral("m_pFrameCtrl"));
    m_pFrameCtrl->setFrameShape(QFrame::StyledPanel);
    m_pFrameCtrl->setFrameShadow(QFrame::Raised);

    auto bounded = [this](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumSize(20, 25);
        widget->setMaximumSize(120, 25);
        m_pCtrlLayout->addWidget(widget);
    };
    auto edit = [this](const char* name) {
        auto* widget = new LineEdit(m_pFrameCtrl);
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(80, 25);
        m_pCtrlLayout->addWidget(widget);
        return widget;
    };
    m_pLableUserName = new QLabel(m_pFrameCtrl);
    bounded(m_pLableUserName, "m_pLableUserName");
    m_pEditUserName = edit("m_pEditUserName");
    m_pLablePassWord = new QLabel(m_pFrameCtrl);
    bounded(m_pLablePassWord, "m_pLablePassWord");
    m_pEditPassWord = edit("m_pEditPassWord");
    m_pCheckDeviceName = new QCheckBox(m_pFrameCtrl);
    bounded(m_pCheckDeviceName, "m_pCheckDeviceName");
    m_pEditDeviceName = edit("m_pEditDeviceName");
    m_pCheckDeviceType = new QCheckBox(m_pFrameCtrl);
    bounded(m_pCheckDeviceType, "m_pCheckDeviceType");
    m_pEditDeviceType = edit("m_pEditDeviceType");
    m_pCtrlLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnChange = new QPushButton(m_pFrameCtrl);
    m_pBtnChange->setObjectName(QStringLiteral("m_pBtnChange"));
    m_pBtnChange->setFixedSize(72, 25);
    m_pCtrlLayout->addWidget(m_pBtnChange);
}

void ChangeDevice::RetranslateTexts()
{
    m_pBtnChange->setText(LanguageText(228));
    m_pLableUserName->setText(LanguageText(12));
    m_pLablePassWord->setText(LanguageText(13));
    m_pCheckDeviceName->setText(LanguageText(60));
    m_pCheckDeviceType->setText(LanguageText(35));
    FitFixedButton(m_pBtnChange, 72);
    FitLabels({ m_pLableUserName, m_pLablePassWord }, 120);
}

void ChangeDevice::SetActionsEnabled(bool enabled)
{
    for (QWidget* widget : { static_cast<QWidget*>(m_pBtnChange), static_cast<QWidget*>(m_pEditUserName),
             static_cast<QWidget*>(m_pEditPassWord), static_cast<QWidget*>(m_pEditDeviceName),
             static_cast<QWidget*>(m_pEditDeviceType), static_cast<QWidget*>(m_pCheckDeviceName),
             static_cast<QWidget*>(m_pCheckDeviceType) })
        widget->setEnabled(enabled);
}

void ChangeDevice::OnClickChange()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true))
        return;
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPassWord->text();
    if (user.isEmpty() || password.isEmpty()) {
        ShowRefusal(222, 6);
        return;
    }
    const bool changeName = m_pCheckDeviceName->isChecked();
    const bool changeType = m_pCheckDeviceType->isChecked();
    if (!changeName && !changeType) {
        ShowRefusal(234, 6);
        return;
    }
    // Only what is ticked is written: the worker changes each attribute whose
    // text is not empty, so an unticked edit's leftover text must not reach it.
    const QString name = changeName ? m_pEditDeviceName->text() : QString();
    const QString type = changeType ? m_pEditDeviceType->text() : QString();
    RunTimerBatch(devices, &ChangeDeviceTask, user, password,
        [&](DeviceInfo* device) { device->SetDeviceNameType(user, password, name, type); });
}
