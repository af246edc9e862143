#include "LoginFrame.h"

#include <QVBoxLayout>

LoginFrame::LoginFrame(QWidget* parent)
    : LoginPage(parent)
{
    setObjectName(QStringLiteral("LoginFrame"));
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
}

// Until the login form exists there is no address or login field to fill.
void LoginFrame::SetDeviceAddress(DeviceInfo*)
{
}

void LoginFrame::SetUserPassword(const QString&, const QString&)
{
}
