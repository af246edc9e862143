#pragma once

#include <QString>
#include <QWidget>

class Default;
class QButtonGroup;
class QLabel;
class QPushButton;
class QStackedWidget;
class Reboot;
class User;
class ZVDevice;

// The configuration below the login row: reboot, user password and defaults
// by group for the login page's device, which it reaches through the
// session it is handed at each login and does not own.
class DeviceConfig : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceConfig(QWidget* parent = nullptr);
    ~DeviceConfig() override;

    void ShowConnectStatus();
    void Disable() { setEnabled(false); }
    void ClearInfo();
    void ResetInfo();

    // The login page hands over its session to the widget and its pages.
    void SetDevice(ZVDevice* device);

    QLabel* InfoLabel() const { return m_pLabInfo; }
    QPushButton* SetButton() const { return m_pBtnSet; }
    QPushButton* RebootPageButton() const { return m_pBtnReboot; }
    QPushButton* UserPageButton() const { return m_pBtnModifyUser; }
    QPushButton* DefaultPageButton() const { return m_pBtnDefault; }
    QStackedWidget* Pages() const { return m_pStackedWidget; }

    ZVDevice* m_pDevice = nullptr;
    int m_currentPage = 0;
    Default* m_pDefault;
    User* m_pUser;
    Reboot* m_pReboot;
    QString m_newPassword;

signals:
    void SendNewPwd(QString password);
    void ForceCloseDevice();

public slots:
    void OnRebootPage();

private slots:
    void OnUserPage();
    void OnDefaultPage();
    void OnSet();

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Retranslate();
    void ShowPage(int index, QWidget* page, bool setButton);

    QPushButton* m_pBtnReboot;
    QPushButton* m_pBtnModifyUser;
    QPushButton* m_pBtnDefault;
    QButtonGroup* m_pButtonGroup;
    QStackedWidget* m_pStackedWidget;
    QLabel* m_pLabInfo;
    QPushButton* m_pBtnSet;
};
