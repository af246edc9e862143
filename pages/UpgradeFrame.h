#pragma once

#include "OperationPage.h"

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The firmware upgrade page (page 1, table kind 1): upgrades the ticked
// devices with a firmware file. Customer code 13 also queries the devices'
// versions and matches them against a typed one; code 36 also restores
// factory defaults.
class UpgradeFrame : public OperationPage
{
    Q_OBJECT

public:
    explicit UpgradeFrame(QWidget* parent = nullptr);

    void SetFilterColumn(int column) override;

public slots:
    void onClickTableView(const QModelIndex& index) override;
    void OnClickOpenFile();
    void OnClickUpgrade();
    void OnClickDefault();
    void on_m_pBtnQuery_clicked();
    void on_m_pBtnMatch_clicked();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();
    void ApplyCustomerLayout();
    // Takes the devices into both lists, locks, prepares, queues and starts
    // the busy poll.
    void RunTimedBatch(const QList<DeviceInfo*>& devices, void (*task)(void*), const QString& firmwarePath);

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pBottom;
    QHBoxLayout* m_pBottomLayout;
    QLabel* m_pLabelFile;
    LineEdit* m_pEditFilePath;
    QPushButton* m_pBtnOpenFile;
    QLabel* m_pLabelUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    QLabel* m_pLabelVersion;
    LineEdit* m_pEditVersion;
    QPushButton* m_pBtnDefault;
    QPushButton* m_pBtnMatch;
    QPushButton* m_pBtnUpgrade;
    QPushButton* m_pBtnQuery;
};
