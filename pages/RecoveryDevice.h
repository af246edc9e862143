#pragma once

#include "OperationPage.h"

class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The restore-defaults page (page 10, table kind 9): restores the parameter
// groups the user picks in DefaultSelection on the ticked devices. Code 40
// restores every SDK group without asking. The page comes back when the last
// device reports, or at the first tick of the busy poll at which none of them
// is logged in any more.
class RecoveryDevice : public OperationPage
{
    Q_OBJECT

public:
    explicit RecoveryDevice(QWidget* parent = nullptr);

public slots:
    void OnClickRecovery();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();
    // Takes the devices into both lists, locks, prepares each with setGroups,
    // queues and starts the busy poll.
    template <typename SetGroups>
    void RunBatch(const QList<DeviceInfo*>& devices, const QString& user, const QString& password, SetGroups setGroups);

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* frame;
    QHBoxLayout* horizontalLayout;
    QLabel* m_pLabelUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    QComboBox* m_pComType;
    QPushButton* m_pBtnRecover;
};
