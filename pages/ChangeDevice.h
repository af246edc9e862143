#pragma once

#include "OperationPage.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

// The change-device page (page 13, table kind 12): changes the ticked
// devices' name and/or type, each only when its box is ticked.
class ChangeDevice : public OperationPage
{
    Q_OBJECT

public:
    explicit ChangeDevice(QWidget* parent = nullptr);

public slots:
    void OnClickChange();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pFrameCtrl;
    QLabel* m_pLableUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLablePassWord;
    LineEdit* m_pEditPassWord;
    QCheckBox* m_pCheckDeviceName;
    LineEdit* m_pEditDeviceName;
    QCheckBox* m_pCheckDeviceType;
    LineEdit* m_pEditDeviceType;
    QPushButton* m_pBtnChange;
};
