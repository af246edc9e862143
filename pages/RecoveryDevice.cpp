#include "RecoveryDevice.h"

#include "CheckBoxTableView.h"
#include "DefaultSelection.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ZVAppSetting.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>

#include <algorithm>

namespace
{
enum ResetMode
{
    SdkGroupsPreset,
    SdkGroupsDialog,
    HttpGroupsDialog
};

ResetMode ModeOf(int company, int comTypeIndex)
{
    if (company == 40)
        return SdkGroupsPreset;
    if (company == 0 || company == 43 || company == 44 || company == 45)
        return HttpGroupsDialog;
    return comTypeIndex == 1 ? HttpGroupsDialog : SdkGroupsDialog;
}

// Runs the dialog modally; false when it was not confirmed (or went with its page).
bool RunSelection(QWidget* page, int mode, DefaultSelection::SdkFlags* sdk, DefaultSelection::HttpFlags* http)
{
    QPointer<DefaultSelection> dialog = new DefaultSelection(page, mode);
    dialog->exec();
    if (!dialog)
        return false;
    const bool accepted = dialog->IsAccepted();
    *sdk = dialog->SdkResult();
    *http = dialog->HttpResult();
    delete dialog;
    return accepted;
}
} // namespace

RecoveryDevice::RecoveryDevice(QWidget* parent)
    : OperationPage(
        parent, PageEvents::RecoveryWorkFinishedEvent, TableKindRecovery, &DeviceInfo::m_pRecoveryDevice, true)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassword, 16);
    SetupTable(m_pDeviceTableView);
    const int company = Company();
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    if (company == 40)
        m_pDeviceTableView->setColumnWidth(3, 110);
    m_pDeviceTableView->setColumnWidth(4, company == 45 ? 165 : 130);
    m_pDeviceTableView->setColumnWidth(5, 150);
    connect(m_pBtnRecover, &QPushButton::clicked, this, &RecoveryDevice::OnClickRecovery);
    RetranslateTexts();
}

void RecoveryDevice::BuildForm()
{
    setObjectName(QStringLiteral("RecoveryDevice"));
    resize(824, 384);
    m_pDeviceTableView = CreateTableAndBottomBar(&frame, &horizontalLayout);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setFrameShadow(QFrame::Plain);
    horizontalLayout->setContentsMargins(9, 9, 9, 9);

    auto label = [this](const char* name) {
        auto* widget = new QLabel(frame);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumSize(20, 25);
        widget->setMaximumSize(120, 25);
        horizontalLayout->addWidget(widget);
        return widget;
    };
    auto edit = [this](const char* name) {
        auto* widget = new LineEdit(frame);
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(80, 25);
        horizontalLayout->addWidget(widget);
        return widget;
    };
    m_pLabelUserName = label("m_pLabelUserName");
    m_pEditUserName = edit("m_pEditUserName");
    m_pLabelPassword = label("m_pLabelPassword");
    m_pEditPassword = edit("m_pEditPassword");
    horizontalLayout->addItem(new QSpacerItem(100, 25, QSizePolicy::Expanding, QSizePolicy::Minimum));

    // The protocol choice is fixed by the customer code; the box stays hidden.
    m_pComType = new QComboBox(frame);
    m_pComType->setObjectName(QStringLiteral("m_pComType"));
    m_pComType->setFixedSize(82, 25);
    m_pComType->addItems({ QStringLiteral("Media"), QStringLiteral("Http") });
    m_pComType->setCurrentIndex(0);
    m_pComType->setEditable(false);
    m_pComType->setEnabled(false);
    m_pComType->hide();
    horizontalLayout->addWidget(m_pComType);

    m_pBtnRecover = new QPushButton(frame);
    m_pBtnRecover->setObjectName(QStringLiteral("m_pBtnRecover"));
    m_pBtnRecover->setFixedSize(72, 25);
    horizontalLayout->addWidget(m_pBtnRecover);
}

void RecoveryDevice::RetranslateTexts()
{
    m_pBtnRecover->setText(LanguageText(197));
    m_pLabelUserName->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    FitFixedButton(m_pBtnRecover, 72);
}

void RecoveryDevice::SetActionsEnabled(bool enabled)
{
    m_pBtnRecover->setEnabled(enabled);
}

template <typename SetGroups>
void RecoveryDevice::RunBatch(
    const QList<DeviceInfo*>& devices, const QString& user, const QString& password, SetGroups setGroups)
{
    SetBusyDevices(devices);
    BeginBatch(devices, true);
    PrepareDevices(devices, user, password, setGroups);
    QueueDevices(&RecoveryTask, devices);
    StartBusyTimer();
}

void RecoveryDevice::OnClickRecovery()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true))
        return;
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPassword->text();
    const int company = Company();
    const ResetMode mode = ModeOf(company, m_pComType->currentIndex());
    if (user.isEmpty() || password.isEmpty()) {
        ShowRefusal(222, 222);
        return;
    }

    using Sdk = DefaultSelection;
    DefaultSelection::SdkFlags sdk {};
    DefaultSelection::HttpFlags http {};
    if (mode == SdkGroupsPreset) {
        sdk.fill(true);
        sdk[Sdk::SdkExceptNetwork] = false;
    } else if (!RunSelection(this, mode == HttpGroupsDialog ? 1 : 0, &sdk, &http)) {
        return;
    }

    if (mode != HttpGroupsDialog) {
        if (std::none_of(sdk.cbegin(), sdk.cend(), [](bool flag) { return flag; }))
            return;
        RunBatch(devices, user, password, [&sdk](DeviceInfo* device) {
            device->SetSdkResetGroups(sdk[Sdk::SdkDisplay], sdk[Sdk::SdkRecord], sdk[Sdk::SdkAdvanced],
                sdk[Sdk::SdkIntelligent], sdk[Sdk::SdkNetwork], sdk[Sdk::SdkDevice], sdk[Sdk::SdkSystem],
                sdk[Sdk::SdkExceptNetwork], sdk[Sdk::SdkPairing], sdk[Sdk::SdkAlarm], sdk[Sdk::SdkAll]);
        });
        return;
    }

    // Keeping the address is no group of its own: it only qualifies the network.
    bool any = false;
    for (int flag = 0; flag < Sdk::HttpFlagCount; ++flag)
        any = any || (flag != Sdk::HttpExceptNetwork && http[flag]);
    if (!any)
        return;
    if (company == 0 || company == 45) {
        // These devices are reset through the SDK: the HTTP column's groups
        // name the SDK's, and pairing always goes with them.
        RunBatch(devices, user, password, [&http](DeviceInfo* device) {
            device->SetSdkResetGroups(http[Sdk::HttpChannel], http[Sdk::HttpRecord], http[Sdk::HttpEvent],
                http[Sdk::HttpAi], http[Sdk::HttpNetwork], http[Sdk::HttpDevice], http[Sdk::HttpSystem],
                http[Sdk::HttpExceptNetwork], true, http[Sdk::HttpAlarm], http[Sdk::HttpAll]);
        });
        return;
    }
    RunBatch(devices, user, password, [&http](DeviceInfo* device) {
        device->SetHttpResetGroups(http[Sdk::HttpAi], http[Sdk::HttpAlarm], http[Sdk::HttpChannel],
            http[Sdk::HttpDevice], http[Sdk::HttpNetwork], http[Sdk::HttpRecord], http[Sdk::HttpSystem],
            http[Sdk::HttpEvent], http[Sdk::HttpExceptNetwork]);
    });
}
