#pragma once

#include "BaseDialog.h"

#include <QString>

class QLineEdit;
class QPushButton;

// The first password of a device that has none: the user types it twice;
// the box keeps it once it passes the password rule and then closes.
class InitPwdBox : public BaseDialogFrame
{
    Q_OBJECT

public:
    explicit InitPwdBox(QWidget* parent = nullptr);
    ~InitPwdBox() override;

    QString Password() const { return m_password; }

    // The login page's prompt: the box, modal in a dialog titled text 154;
    // the accepted password, or empty when the user gave none.
    static QString Ask(QWidget* parent);

    QLineEdit* UserEdit() const { return m_pEdtUser; }
    QLineEdit* PasswordEdit() const { return m_pEdtPwd; }
    QLineEdit* ConfirmEdit() const { return m_pEdtConfirm; }
    QPushButton* OkButton() const { return m_pBtnOk; }

signals:
    void InputOk();

public slots:
    void OnClickOk();
    void CheckInput();

private:
    QLineEdit* m_pEdtUser;
    QLineEdit* m_pEdtPwd;
    QLineEdit* m_pEdtConfirm;
    QPushButton* m_pBtnOk;
    QString m_password;
};
