#pragma once

#include "OperationPage.h"

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The change-password page (page 7, table kind 4): replaces the login
// password of the ticked devices, once the new password has passed the
// program's password rule. The page comes back when the last device reports,
// or at the first tick of the busy poll at which none of them is logged in.
class ChangePassword : public OperationPage
{
    Q_OBJECT

public:
    explicit ChangePassword(QWidget* parent = nullptr);

    // The new password's check: 79 when it is acceptable, else the text id
    // of the refusal (80, 81, 149, 153).
    int CheckPassword() const;

public slots:
    void OnClickModify();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pFrameBottom;
    QHBoxLayout* m_pBottomLayout;
    QLabel* m_pLabelUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    QLabel* m_pLabelNewPWD;
    LineEdit* m_pEditNewPWD;
    QLabel* m_pLabelConfirmPWD;
    LineEdit* m_pEditConfirmPWD;
    QPushButton* m_pBtnModify;
};
