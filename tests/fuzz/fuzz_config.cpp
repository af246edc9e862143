// The settings file (config.xml) as the program reads it at start-up, then
// the language choice made from what it declared.
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace
{
QTemporaryDir* g_folder = nullptr;
QString g_path;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    // The settings folder comes from APPDATA: one of our own, so no real settings are touched.
    g_folder = new QTemporaryDir();
    qputenv("APPDATA", g_folder->path().toUtf8());
    ZVAppSetting probe;
    g_path = probe.SettingsFilePath();
    QDir().mkpath(QFileInfo(g_path).path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    ZVAppSetting settings;
    settings.LoadConfig();
    settings.CurrentLanguageFile();
    for (int i = -1; i <= settings.m_languageIndexes.size(); ++i)
        settings.LanguageUsable(i);
    return 0;
}
