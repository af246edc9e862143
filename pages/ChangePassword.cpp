#include "ChangePassword.h"

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

namespace
{
constexpr int kTitle = 6;
constexpr int kFieldBytes = 16;
} // namespace

ChangePassword::ChangePassword(QWidget* parent)
    : OperationPage(
        parent, PageEvents::WorkFinishedEvent, TableKindChangePassword, &DeviceInfo::m_pChangePassword, true)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassword, kFieldBytes);
    m_pEditNewPWD->SetMaxByteCount(kFieldBytes);
    m_pEditConfirmPWD->SetMaxByteCount(kFieldBytes);
    SetupTable(m_pDeviceTableView);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    m_pDeviceTableView->setColumnWidth(4, Company() == 45 ? 165 : 130);
    m_pDeviceTableView->setColumnWidth(5, 150);
    connect(m_pBtnModify, &QPushButton::clicked, this, &ChangePassword::OnClickModify);
    RetranslateTexts();
}

void ChangePassword::BuildForm()
{
    setObjectName(QStringLiteral("ChangePassword"));
    resize(824, 384);
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pFrameBottom, &m_pBottomLayout);
    m_pLabelUserName = AddBarLabel(m_pFrameBottom, m_pBottomLayout, "m_pLabelUserName", 20, 120);
    m_pEditUserName = AddBarEdit(m_pFrameBottom, m_pBottomLayout, "m_pEditUserName", 80, false);
    m_pLabelPassword = AddBarLabel(m_pFrameBottom, m_pBottomLayout, "m_pLabelPassword", 20, 120);
    m_pEditPassword = AddBarEdit(m_pFrameBottom, m_pBottomLayout, "m_pEditPassword", 80, true);
    m_pLabelNewPWD = AddBarLabel(m_pFrameBottom, m_pBottomLayout, "m_pLabelNewPWD", 20, 120);
    m_pEditNewPWD = AddBarEdit(m_pFrameBottom, m_pBottomLayout, "m_pEditNewPWD", 80, true);
    m_pLabelConfirmPWD = AddBarLabel(m_pFrameBottom, m_pBottomLayout, "m_pLabelConfirmPWD", 20, 150);
    m_pEditConfirmPWD = AddBarEdit(m_pFrameBottom, m_pBottomLayout, "m_pEditConfirmPWD", 80, true);
    m_pBottomLayout->addStretch();
    m_pBtnModify = AddBarButton(m_pFrameBottom, m_pBottomLayout, "m_pBtnModify", 72);
    m_pBtnModify->setMinimumWidth(72);
    m_pBtnModify->setMaximumWidth(QWIDGETSIZE_MAX);
}

void ChangePassword::RetranslateTexts()
{
    m_pBtnModify->setText(LanguageText(59));
    m_pLabelUserName->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    m_pLabelNewPWD->setText(LanguageText(73));
    m_pLabelConfirmPWD->setText(LanguageText(74));
    FitButtons({ m_pBtnModify });
}

void ChangePassword::SetActionsEnabled(bool enabled)
{
    m_pBtnModify->setEnabled(enabled);
}

int ChangePassword::CheckPassword() const
{
    using namespace PasswordRule;
    const QString password = m_pEditNewPWD->text();
    const bool ruleApplies = Applies(Caller::ChangePasswordPage, Company(), 0);
    const int result = PageTextId(Check(Caller::ChangePasswordPage, password, m_pEditConfirmPWD->text(), ruleApplies));
    // The devices get the password's Latin-1 bytes: a character outside
    // Latin-1 would give them another password than the one typed.
    if (result == kAccepted && !FitsLatin1(password))
        return kLength;
    return result;
}

void ChangePassword::OnClickModify()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(kTitle, &devices, true))
        return;
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPassword->text();
    const QString newPassword = m_pEditNewPWD->text();
    const QString confirm = m_pEditConfirmPWD->text();
    if (newPassword != confirm) {
        ShowRefusal(227, kTitle);
        return;
    }
    const int check = CheckPassword();
    if (check != PasswordRule::kAccepted) {
        ShowRefusal(check, kTitle);
        return;
    }
    RunTimerBatch(devices, &ChangePasswordTask, user, password, [&](DeviceInfo* device) {
        device->SetParams(user, password, newPassword, confirm, QString(), QString(), QString(), 0, 0, 0, 0);
    });
}
