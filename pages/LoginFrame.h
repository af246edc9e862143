#pragma once

#include "PageFactory.h"

// The login page (page 2): logs in to one device and hosts its configuration
// pages. The form, the session and the first-login probe come with the
// page's own work.
class LoginFrame : public LoginPage
{
    Q_OBJECT

public:
    explicit LoginFrame(QWidget* parent = nullptr);

    void SetDeviceAddress(DeviceInfo* device) override;
    void SetUserPassword(const QString& user, const QString& password) override;

signals:
    void DisableConfigPage();
};
