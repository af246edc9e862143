#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace Platform
{
// Opens a web address with the system's default handler, without waiting and
// without reporting the outcome. verb is the launch verb of the Windows build
// ("runas" asks for elevation, empty is the default); the desktop handler here
// has no such notion, so it only reaches a replaced opener.
void OpenWebPage(const QByteArray& encodedAddress, const QString& verb);

using WebPageOpener = std::function<void(const QByteArray& encodedAddress, const QString& verb)>;

// Replaces how web pages are opened (tests record them instead); an empty
// opener restores the system handler. Returns the opener it replaced.
WebPageOpener SetWebPageOpener(WebPageOpener opener);
} // namespace Platform
