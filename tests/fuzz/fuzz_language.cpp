// A language file as the program loads it, then read text by text.
#include "LanguageTexts.h"

#include <QCoreApplication>
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
    // The loader reports each file it reads; the fuzzer's output stays readable without it.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    static QCoreApplication app(*argc, *argv);
    g_folder = new QTemporaryDir();
    g_path = g_folder->filePath(QStringLiteral("ENU.xml"));
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
    const int count = LanguageTexts::Create(g_path)->Count();
    for (int id = -1; id <= count; ++id)
        LanguageText(id);
    LanguageTexts::Release();
    return 0;
}
