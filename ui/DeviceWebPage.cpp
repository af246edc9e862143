#include "DeviceWebPage.h"

#include "WebBrowser.h"

#include <QUrl>

void OpenDeviceWebPage(const QString& ip, quint16 webPort, bool https, const QString& verb)
{
    const QString address = https ? QStringLiteral("https://%1:%2").arg(ip, QStringLiteral("443"))
                                  : QStringLiteral("http://%1:%2").arg(ip, QString::number(webPort));
    Platform::OpenWebPage(QUrl(address).toEncoded(QUrl::FullyEncoded), verb);
}
