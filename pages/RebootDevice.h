#pragma once

#include "OperationPage.h"

class QFrame;
class QLabel;
class QPushButton;

// The reboot page (page 12, table kind 11): reboots the ticked devices. The
// page comes back when the last device reports, or at the first tick of the
// busy poll at which none of them is logged in any more.
class RebootDevice : public OperationPage
{
    Q_OBJECT

public:
    explicit RebootDevice(QWidget* parent = nullptr);

public slots:
    void OnClickReboot();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pFrameCtrl;
    QLabel* m_pLabelUser;
    LineEdit* m_pEditUser;
    QLabel* m_pLablePwd;
    LineEdit* m_pEditPwd;
    QPushButton* m_pBtnReboot;
};
