#pragma once

#include "OperationPage.h"
#include "ZVNet.h"

class QCheckBox;
class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QStackedWidget;
class QVBoxLayout;
class QWidget;

// The device information page (page 3, table kind 2): gives the ticked
// devices consecutive addresses, writes their factory information, restores
// their factory and PTZ defaults and enables NTP. Customer code 22 sees only
// the NTP page. Its own search buttons start a LAN search through the tool
// bar; the tool bar is never locked by its batches.
class DeviceInfoFrame : public OperationPage
{
    Q_OBJECT

public:
    explicit DeviceInfoFrame(QWidget* parent = nullptr);

    void RefreshDeviceList() override;

    void SetButtonsEnabled(bool enabled);
    // The address after text by the IPv4 rules of inet_pton; empty when text
    // is no address or the last one.
    static QString NextIpAddress(const QString& text);

public slots:
    void onClickTableView(const QModelIndex& index) override;
    void on_m_pBtnSearch_clicked();
    void on_m_pBtnModify_clicked();
    void on_m_pBtnSet_clicked();
    void on_m_pBtnDefault_clicked();
    void on_m_pBtnPTZDefault_clicked();
    void on_m_pBtnEnableNTP_clicked();
    void on_m_pBtnSearch_2_clicked();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();
    // Refuses with the text under title 110 (button mode 0, warning icon).
    void Refuse(int textId, const QString& dialogStyleSheet = QString());
    // The checks of the factory information, in their order; false after a refusal.
    bool CheckFactoryInput();
    void BuildFactoryInfo();
    // Defaults, PTZ default and NTP: the ticked devices with the login, then the task.
    void RunSimpleBatch(LineEdit* user, LineEdit* password, void (*task)(void*));

    ZVNetFactoryInfo m_factoryInfo;

    CheckBoxTableView* m_pDeviceTableView;
    QHBoxLayout* horizontalLayout_5;
    QFrame* line;
    QStackedWidget* m_pStackWidget;
    QWidget* Page1;
    QVBoxLayout* verticalLayout;
    QPushButton* m_pBtnSearch;
    QGridLayout* gridLayout_2;
    QLabel* m_pLabelUser;
    LineEdit* m_pEditUser;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    QLabel* m_pLabelStartIP;
    LineEdit* m_pEditStartIP;
    QLabel* m_pLabelMediaPort;
    LineEdit* m_pEditMediaPort;
    QLabel* m_pLabelGateway;
    LineEdit* m_pEditGateway;
    QLabel* m_pLabelNetmask;
    LineEdit* m_pEditNetmask;
    QPushButton* m_pBtnModify;
    QGridLayout* gridLayout;
    QCheckBox* m_pCheckKeyID;
    QLabel* m_pLabelKeyID;
    LineEdit* m_pEditKeyID;
    QCheckBox* m_pCheckBoardID;
    QLabel* m_pLabelBoardID;
    LineEdit* m_pEditBoardID;
    QCheckBox* m_pCheckMainBoardName;
    QLabel* m_pLabelMainBoardName;
    LineEdit* m_pEditMainBoardName;
    QCheckBox* m_pCheckProductType;
    QLabel* m_pLabelProductType;
    LineEdit* m_pEditProductType;
    QCheckBox* m_pCheckDeviceType;
    QLabel* m_pLabelDeviceType;
    LineEdit* m_pEditDeviceType;
    QCheckBox* m_pCheckDeviceName;
    QLabel* m_pLabelDeviceName;
    LineEdit* m_pEditDeviceName;
    QCheckBox* m_pCheckFunctionCode;
    QLabel* m_pLabelFunctionCode;
    LineEdit* m_pEditFunctionCode;
    QCheckBox* m_pCheckCustomType;
    QLabel* m_pLabelCustomType;
    LineEdit* m_pEditCustomType;
    QPushButton* m_pBtnSet;
    QPushButton* m_pBtnDefault;
    QPushButton* m_pBtnPTZDefault;
    QWidget* page;
    QVBoxLayout* verticalLayout_2;
    QPushButton* m_pBtnSearch_2;
    QLabel* m_pLabelUser_2;
    LineEdit* m_pEditUser_2;
    QLabel* m_pLabelPassword_2;
    LineEdit* m_pEditPassword_2;
    QPushButton* m_pBtnEnableNTP;
};
