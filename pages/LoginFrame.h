#pragma once

#include "PageFactory.h"
#include "ZVDevice.h"

#include <QByteArray>
#include <QHash>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>

#include <functional>

class DeviceConfig;
class QLabel;
class QLineEdit;
class QNetworkReply;
class QPushButton;
class QTimer;
class User;

// The login page (page 2): logs in to one device through its own session
// and hosts the device's configuration below the login row. For the
// customer codes that offer it, it first asks the device over plain HTTP
// whether it still needs its first password.
class LoginFrame : public LoginPage
{
    Q_OBJECT

public:
    explicit LoginFrame(QWidget* parent = nullptr);
    ~LoginFrame() override;

    void SetDeviceAddress(DeviceInfo* device) override;
    void SetUserPassword(const QString& user, const QString& password) override;

    static void OnSavePasswordStatus(int status, void* user);
    // The flag of the probe's reply body: the digit that follows
    // "FirstLoginFlag" and one separator; 0 for anything else.
    static int FirstLoginFlag(const QByteArray& body);
    static bool FirstLoginPending();
    static void SetFirstLoginPending(bool pending);

    // Asks for the first password of a device that has none; empty when the
    // user gave none. Replaceable, for tests and the first-password box.
    using FirstPasswordPrompt = std::function<QString(QWidget* parent)>;
    static FirstPasswordPrompt SetFirstPasswordPrompt(FirstPasswordPrompt prompt);
    // The probe's network access; not owned; null: the page's own.
    void SetNetworkAccess(QNetworkAccessManager* access);
    // A probe that has had no byte for this long ends as failed.
    static constexpr int kProbeTimeoutMs = 5000;

    ZVDevice& Session() { return m_device; }
    DeviceConfig* Config() const { return m_pConfig; }
    QLineEdit* IpEdit() const { return m_pEdtIP; }
    QLineEdit* PortEdit() const { return m_pEdtPort; }
    QLineEdit* UserEdit() const { return m_pEdtUsr; }
    QLineEdit* PasswordEdit() const { return m_pEdtPwd; }
    QPushButton* LoginButton() const { return m_pBtnLogin; }
    QLabel* PortLabel() const { return m_pLabPort; }
    QLabel* UserLabel() const { return m_pLabUser; }
    QTimer* LockTimer() const { return m_pLockTimer; }

signals:
    void DisableConfigPage();

public slots:
    void on_m_pBtnLogin_clicked();
    void ReceiveNewPwd(QString password);
    void FirstLoginDevice();
    void reply_cgi(QNetworkReply* reply);
    void ClearUserPassword();
    void StartTimer();
    void StopTimer();

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Where a probe went: the first password goes there, not to what the
    // edits hold by the time the answer comes.
    struct Probe
    {
        QString ip;
        QString port;
    };

    void Retranslate();
    void SaveFirstPassword(const QString& password, const Probe& probe);

    User* m_pUserPage = nullptr;
    ZVDevice m_device;
    int m_savePasswordHandle = 0;
    QString m_lastIp;
    QTimer* m_pLockTimer;
    QNetworkAccessManager* m_pNetwork = nullptr; // the page's own, made at the first probe
    QPointer<QNetworkAccessManager> m_pNetworkAccess; // the probe's: m_pNetwork or an injected one
    uintptr_t m_saveId = 0; // this page in the first-password saves' registry
    QHash<QNetworkReply*, Probe> m_probes; // the probes not yet answered

    QLabel* m_pLabIP;
    QLineEdit* m_pEdtIP;
    QLabel* m_pLabPort;
    QLineEdit* m_pEdtPort;
    QLabel* m_pLabUser;
    QLineEdit* m_pEdtUsr;
    QLabel* m_pLabPwd;
    QLineEdit* m_pEdtPwd;
    QPushButton* m_pBtnLogin;
    DeviceConfig* m_pConfig;
};
