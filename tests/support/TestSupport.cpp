#include "TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cerrno>
#include <random>
#include <unistd.h>

namespace TestSupport
{
bool WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray RandomBytes(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::string Sha256Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray ReadToEnd(int fd)
{
    QByteArray content;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            content.append(buffer, static_cast<int>(got));
    }
    close(fd);
    return content;
}

QByteArray NumberedLanguageFile(int count, const QString& prefix)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<strings>\n";
    for (int i = 0; i < count; ++i)
        xml += "  <string>" + prefix.toUtf8() + QByteArray::number(i) + "</string>\n";
    return xml + "</strings>\n";
}

// The program's folder, also before the application object exists.
static QString ProgramDir()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

QByteArray ShippedConfig(int company, int cursel)
{
    QString xml = QString::fromUtf8(ReadFile(ProgramDir() + QStringLiteral("/config.xml")));
    xml.replace(QRegularExpression(QStringLiteral("<Company>[^<]*</Company>")),
        QStringLiteral("<Company>%1</Company>").arg(company));
    xml.replace(QRegularExpression(QStringLiteral("cursel=\"[^\"]*\"")), QStringLiteral("cursel=\"%1\"").arg(cursel));
    return xml.toUtf8();
}

int ShippedLanguageIndex(const QString& fileName)
{
    QXmlStreamReader reader(ReadFile(ProgramDir() + QStringLiteral("/config.xml")));
    int index = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.hasAttribute(QLatin1String("cursel")) || !attributes.hasAttribute(QLatin1String("name")))
            continue;
        if (attributes.value(QLatin1String("name")) == fileName)
            return index;
        ++index;
    }
    return -1;
}

QStringList ShippedTexts(const QString& fileName)
{
    QFile file(ProgramDir() + QStringLiteral("/Language/") + fileName);
    QStringList texts;
    if (!file.open(QIODevice::ReadOnly))
        return texts;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("string"))
            texts << reader.readElementText();
    }
    return texts;
}

TemporaryLanguageFile::TemporaryLanguageFile(const QString& name, const QByteArray& content)
    : m_path(QCoreApplication::applicationDirPath() + QStringLiteral("/Language/") + name)
{
    WriteFile(m_path, content);
}

TemporaryLanguageFile::~TemporaryLanguageFile()
{
    QFile::remove(m_path);
}

TemporarySettings::TemporarySettings()
    : m_previous(qgetenv("APPDATA"))
    , m_hadPrevious(qEnvironmentVariableIsSet("APPDATA"))
{
    qputenv("APPDATA", m_dir.path().toUtf8());
}

TemporarySettings::~TemporarySettings()
{
    if (m_hadPrevious)
        qputenv("APPDATA", m_previous);
    else
        qunsetenv("APPDATA");
}

QString TemporarySettings::SettingsFolder() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral(DEVSCAN_PRODUCT_TITLE));
}

QString TemporarySettings::ConfigPath() const
{
    return QDir(SettingsFolder()).filePath(QStringLiteral("config.xml"));
}

bool TemporarySettings::WriteConfig(const QByteArray& content) const
{
    return WriteFile(ConfigPath(), content);
}

QJsonObject ReadWorkbook(const QString& path)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), { QStringLiteral(DEVSCAN_READ_XLSX), path });
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return QJsonObject();
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}
} // namespace TestSupport
