#pragma once

#include "OperationPage.h"

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The initialise page (page 11, table kind 10): gives the listed devices that
// have never been logged into their first password. Only the HTTP-API
// customers list devices here. The page comes back when the busy poll finds
// no device of the batch still at work.
class InitialDevice : public OperationPage
{
    Q_OBJECT

public:
    explicit InitialDevice(QWidget* parent = nullptr);

public slots:
    void OnClickInitialized();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pFrame;
    QHBoxLayout* m_pFrameLayout;
    QLabel* m_pLableUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPwd;
    LineEdit* m_pEditPwd;
    QLabel* m_pLabelConfirmPwd;
    LineEdit* m_pEditConfirmPwd;
    QPushButton* m_pBtnInitialized;
};
