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
    if (Company() == 40)
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
    QHBoxLayout* layout = nullptr;
    m_pDeviceTableView = CreateTableAndControlFrame(&m_pFrameCtrl, &layout);
    QFrame* bar = m_pFrameCtrl;
    // A check box in the bar, sized as its labels are.
    auto checkBox = [bar, layout](const char* name) {
        auto* box = new QCheckBox(bar);
        box->setObjectName(QLatin1String(name));
        box->setMinimumSize(20, 25);
        box->setMaximumSize(120, 25);
        layout->addWidget(box);
        return box;
    };
    m_pLableUserName = AddBarLabel(bar, layout, "m_pLableUserName", 20, 120);
    m_pEditUserName = AddBarEdit(bar, layout, "m_pEditUserName", 80, false);
    m_pLablePassWord = AddBarLabel(bar, layout, "m_pLablePassWord", 20, 120);
    m_pEditPassWord = AddBarEdit(bar, layout, "m_pEditPassWord", 80, false);
    m_pCheckDeviceName = checkBox("m_pCheckDeviceName");
    m_pEditDeviceName = AddBarEdit(bar, layout, "m_pEditDeviceName", 80, false);
    m_pCheckDeviceType = checkBox("m_pCheckDeviceType");
    m_pEditDeviceType = AddBarEdit(bar, layout, "m_pEditDeviceType", 80, false);
    layout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnChange = AddBarButton(bar, layout, "m_pBtnChange", 72);
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
