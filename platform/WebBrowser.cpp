#include "WebBrowser.h"

#include <QMutex>
#include <QProcess>

namespace Platform
{
namespace
{
QMutex g_openerMutex;
WebPageOpener g_opener;

void OpenWithDesktopHandler(const QByteArray& encodedAddress)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), { QString::fromLatin1(encodedAddress) });
}
} // namespace

void OpenWebPage(const QByteArray& encodedAddress, const QString& verb)
{
    WebPageOpener opener;
    {
        QMutexLocker locker(&g_openerMutex);
        opener = g_opener;
    }
    if (opener)
        opener(encodedAddress, verb);
    else
        OpenWithDesktopHandler(encodedAddress);
}

WebPageOpener SetWebPageOpener(WebPageOpener opener)
{
    QMutexLocker locker(&g_openerMutex);
    std::swap(g_opener, opener);
    return opener;
}
} // namespace Platform
