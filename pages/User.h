#pragma once

#include "ZVNet.h"

#include <QString>
#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class ZVDevice;

// Configuration page that sets a new password for the main user account of
// the login page's device.
class User : public QWidget
{
    Q_OBJECT

public:
    explicit User(QWidget* parent = nullptr);
    ~User() override;

    int CheckPassword() const;
    bool ApplyPassword();
    QString NewPassword() const { return m_newPassword; }
    void ClearPasswords();

    static void OnUserHeader(const void* record, void* user);
    static void OnUserRecord(const void* record, void* user);

    QLineEdit* NewPasswordEdit() const { return m_pEdtNewPwd; }
    QLineEdit* ConfirmPasswordEdit() const { return m_pEdtConfirmPwd; }

    ZVDevice* m_pDevice = nullptr;
    QString m_newPassword;
    std::vector<ZVNetUserParam> m_userRecords;
    ZVNetUserHeader m_userHeader {};

protected:
    void customEvent(QEvent* event) override;

private:
    void Retranslate();
    bool ApplyThroughSdk(ZVDevice& session, const QString& password);
    bool ApplyThroughHttp(ZVDevice& session, const QString& password);

    QLabel* m_pLabNewPwd;
    QLineEdit* m_pEdtNewPwd;
    QLabel* m_pLabConfirmPwd;
    QLineEdit* m_pEdtConfirmPwd;
};
