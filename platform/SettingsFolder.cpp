#include "SettingsFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace Platform
{
QString SettingsFolder(const QString& productTitle)
{
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir(base).filePath(productTitle);
}
}
