#pragma once

#include <QString>

// Opens a device's web page in the browser: over https on port 443 when https
// is set, else over http on its web port. verb is the launch verb ("runas" or
// empty) the calling page chooses.
void OpenDeviceWebPage(const QString& ip, quint16 webPort, bool https, const QString& verb = QString());
