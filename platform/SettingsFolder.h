#pragma once

#include <QString>

namespace Platform
{
// Folder that holds config.xml: $APPDATA/<title> when APPDATA is set, else the
// user's configuration folder (XDG) joined with the title.
QString SettingsFolder(const QString& productTitle);
}
