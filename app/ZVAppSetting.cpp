#include "ZVAppSetting.h"

#include "LanguageTexts.h"
#include "SettingsFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <atomic>
#include <cstdlib>

namespace
{
std::atomic<ZVAppSetting*> g_instance { nullptr };
QMutex g_instanceMutex;

const QString kSettingsFileName = QStringLiteral("config.xml");

QString DefaultPasswordFor(CompanyCode code)
{
    switch (code) {
    case 4: return QStringLiteral("58203147");
    case 8: return QStringLiteral("315926");
    case 40: return QStringLiteral("6093721k");
    default: return QString();
    }
}

// The value of the first "cursel" attribute: the bytes between its quotes.
// Any other "cursel" (in a comment, a text, a longer name) is passed over,
// so that no other value of the file is ever overwritten.
bool FindCurselValue(const QByteArray& content, int* begin, int* end)
{
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    for (int at = content.indexOf("cursel"); at >= 0; at = content.indexOf("cursel", at + 1)) {
        const int comment = content.lastIndexOf("<!--", at);
        if (comment >= 0) {
            const int commentEnd = content.indexOf("-->", comment + 4);
            if (commentEnd < 0)
                return false; // the rest of the file is a comment
            if (commentEnd + 3 > at)
                continue;
        }
        if (at == 0 || !isSpace(content.at(at - 1)))
            continue;
        int i = at + 6;
        while (i < content.size() && isSpace(content.at(i)))
            ++i;
        if (i >= content.size() || content.at(i) != '=')
            continue;
        ++i;
        while (i < content.size() && isSpace(content.at(i)))
            ++i;
        if (i >= content.size() || (content.at(i) != '"' && content.at(i) != '\''))
            continue;
        const int close = content.indexOf(content.at(i), i + 1);
        if (close < 0)
            return false;
        *begin = i + 1;
        *end = close;
        return true;
    }
    return false;
}
} // namespace

ZVAppSetting* ZVAppSetting::Instance()
{
    ZVAppSetting* instance = g_instance.load(std::memory_order_acquire);
    if (!instance) {
        QMutexLocker locker(&g_instanceMutex);
        instance = g_instance.load(std::memory_order_relaxed);
        if (!instance) {
            instance = new ZVAppSetting;
            g_instance.store(instance, std::memory_order_release);
            std::atexit(&ZVAppSetting::DestroyInstance);
        }
    }
    return instance;
}

void ZVAppSetting::DestroyInstance()
{
    delete g_instance.exchange(nullptr);
}

CompanyCode Company()
{
    return ZVAppSetting::Instance()->m_company;
}

bool UsesHttpApi()
{
    return IsHttpApiCompany(Company());
}

ZVAppSetting::ZVAppSetting()
    : m_defaultUser(QStringLiteral("tolvi"))
    , m_defaultPassword(QStringLiteral("tolvi"))
{
}

ZVAppSetting::~ZVAppSetting() = default;

QStringList ZVAppSetting::OfferedLanguageFiles(CompanyCode code)
{
    const QString enu = QStringLiteral("ENU.xml");
    switch (code) {
    case 1: return { QStringLiteral("CHT.xml") };
    case 2: return { QStringLiteral("GER.xml") };
    case 4: return { QStringLiteral("RUS_CJ.xml"), enu };
    case 5: return { QStringLiteral("RUS_DW.xml"), enu };
    case 6: return { QStringLiteral("RUS_GH.xml") };
    case 7: return { QStringLiteral("ENU_WD.xml") };
    case 8: return { QStringLiteral("ENU_FY.xml") };
    case 10: return { QStringLiteral("ENU_MV.xml") };
    case 11: return { QStringLiteral("RUS_UZ.xml"), enu };
    case 12: return { QStringLiteral("ENU_JC.xml") };
    case 13:
    case 22:
    case 36: return { QStringLiteral("CHS.xml"), enu };
    case 14: return { QStringLiteral("ENU_TK.xml") };
    case 15: return { QStringLiteral("RUS_XN.xml") };
    case 16: return { QStringLiteral("ENU_QB.xml") };
    case 17: return { QStringLiteral("ENU_ORP.xml") };
    case 18: return { QStringLiteral("KOR_T_MU.xml"), enu };
    case 19: return { QStringLiteral("KR_3952.xml") };
    case 20:
    case 37:
    case 38:
    case 39:
        return { QStringLiteral("ENU_KELM.xml"), QStringLiteral("KOR_KELM.xml"), QStringLiteral("JAPAN_KELM.xml") };
    case 23: return { QStringLiteral("TUR_MOVREK.xml") };
    case 29: return { QStringLiteral("RUS_YB.xml"), enu };
    case 30: return { QStringLiteral("CHS.xml") };
    case 32: return { QStringLiteral("RUS_NF.xml") };
    case 35: return { QStringLiteral("PORT_BRINDOLAX.xml"), QStringLiteral("ENU_BRINDOLAX.xml") };
    case 42: return { QStringLiteral("KOR_KELM.xml"), QStringLiteral("ENU_KELM.xml") };
    case 45: return { QStringLiteral("PORT_GANU.xml") };
    default: return { enu };
    }
}

int ZVAppSetting::LanguageMenuTextId(const QString& fileName)
{
    static const QStringList russian
        = { "RUS_UZ.xml", "RUS_GH.xml", "RUS_XN.xml", "RUS_DW.xml", "RUS_YB.xml", "RUS_CJ.xml", "RUS_NF.xml" };
    static const QStringList korean = { "KOR_T_MU.xml", "KOR_WIGA.xml", "KR_3952.xml", "KOR_KELM.xml" };
    if (fileName == QLatin1String("CHT.xml"))
        return 92;
    if (fileName == QLatin1String("CHS.xml"))
        return 93;
    if (fileName == QLatin1String("GER.xml"))
        return 90;
    if (russian.contains(fileName))
        return 91;
    if (korean.contains(fileName))
        return 94;
    if (fileName == QLatin1String("JAPAN_KELM.xml"))
        return 157;
    if (fileName == QLatin1String("TUR_MOVREK.xml"))
        return 135;
    if (fileName == QLatin1String("PORT_BRINDOLAX.xml") || fileName == QLatin1String("PORT_GANU.xml"))
        return 170;
    return 89;
}

QString ZVAppSetting::QtTranslationFile(const QString& fileName)
{
    switch (LanguageMenuTextId(fileName)) {
    case 92: return QStringLiteral("/qt_zh_TW.qm");
    case 93: return QStringLiteral("/qt_zh_CN.qm");
    case 90: return QStringLiteral("/qt_de.qm");
    case 91: return QStringLiteral("/qt_ru.qm");
    case 94: return QStringLiteral("/qt_ko.qm");
    case 157: return QStringLiteral("/qt_ja.qm");
    default: return QStringLiteral("/qt_en.qm");
    }
}

QString ZVAppSetting::SettingsFolder() const
{
    return Platform::SettingsFolder(QStringLiteral(DEVSCAN_PRODUCT_TITLE));
}

QString ZVAppSetting::SettingsFilePath() const
{
    return QDir(SettingsFolder()).filePath(kSettingsFileName);
}

void ZVAppSetting::LoadConfig()
{
    QDir().mkpath(SettingsFolder());
    const QString path = SettingsFilePath();
    if (!QFile::exists(path)) {
        const QString shipped = QFileInfo(QCoreApplication::applicationFilePath()).dir().filePath(kSettingsFileName);
        QFile::copy(shipped, path);
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;

    int cursel = -1;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.hasAttribute(QLatin1String("cursel"))) {
            cursel = attributes.value(QLatin1String("cursel")).toInt();
        } else if (attributes.hasAttribute(QLatin1String("name"))) {
            const QString name = attributes.value(QLatin1String("name")).toString();
            m_languageFiles.append(name);
            m_languageTextIds.append(LanguageMenuTextId(name));
        }
        if (reader.name() == QLatin1String("Company"))
            m_company = reader.readElementText().toInt();
        else if (reader.name() == QLatin1String("Version"))
            m_version = reader.readElementText();
        else if (reader.name() == QLatin1String("RangeSearch"))
            ReadRangeSearch(attributes);
    }

    for (const QString& offered : OfferedLanguageFiles(m_company))
        m_languageIndexes.append(m_languageFiles.indexOf(offered));
    const QString password = DefaultPasswordFor(m_company);
    if (!password.isEmpty())
        m_defaultPassword = password;

    m_currentLanguage = 0;
    if (cursel != -1) {
        for (int i = 0; i < m_languageIndexes.size(); ++i) {
            if (m_languageIndexes.at(i) == cursel)
                m_currentLanguage = i;
        }
    }
    // An offered language whose file is not declared or not there cannot be
    // used (its texts would all be empty): start with the first one that can.
    if (!LanguageUsable(m_currentLanguage)) {
        for (int i = 0; i < m_languageIndexes.size(); ++i) {
            if (LanguageUsable(i)) {
                m_currentLanguage = i;
                break;
            }
        }
    }

    m_qmFile = QtTranslationFile(CurrentLanguageFile());
}

void ZVAppSetting::ReadRangeSearch(const QXmlStreamAttributes& attributes)
{
    // A value out of its range keeps the default.
    bool ok = false;
    const int concurrency = attributes.value(QLatin1String("concurrency")).toInt(&ok);
    if (ok && concurrency >= 1 && concurrency <= 1024)
        m_rangeSearchConcurrency = concurrency;
    const int timeout = attributes.value(QLatin1String("timeout")).toInt(&ok);
    if (ok && timeout >= 100 && timeout <= 60000)
        m_rangeSearchTimeoutMs = timeout;
}

bool ZVAppSetting::LanguageUsable(int index) const
{
    const int declared = m_languageIndexes.value(index, -1);
    return declared >= 0 && declared < m_languageFiles.size()
        && QFileInfo(LanguageFilePath(m_languageFiles.at(declared))).isFile();
}

QString ZVAppSetting::CurrentLanguageFile() const
{
    const int declared = m_languageIndexes.value(m_currentLanguage, -1);
    if (LanguageUsable(m_currentLanguage))
        return m_languageFiles.at(declared);
    for (const QString& file : m_languageFiles) {
        if (QFileInfo(LanguageFilePath(file)).isFile())
            return file;
    }
    if (declared >= 0 && declared < m_languageFiles.size())
        return m_languageFiles.at(declared);
    if (!m_languageFiles.isEmpty())
        return m_languageFiles.first();
    return QStringLiteral("ENU.xml");
}

QString ZVAppSetting::LanguageFilePath(const QString& fileName) const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Language/") + fileName;
}

void ZVAppSetting::LoadLanguageTexts()
{
    LanguageTexts::Create(LanguageFilePath(CurrentLanguageFile()));
}

void ZVAppSetting::ReleaseLanguageTexts()
{
    LanguageTexts::Release();
}

void ZVAppSetting::SetLanguage(int index)
{
    if (index >= 0 && index < m_languageIndexes.size() && index != m_currentLanguage && LanguageUsable(index)) {
        m_currentLanguage = index;
        LanguageTexts::Reload(LanguageFilePath(CurrentLanguageFile()));
        SaveCurrentLanguage();
    }
    for (QObject* listener : qAsConst(m_listeners))
        QCoreApplication::postEvent(listener, new LanguageChangedEvent);
}

void ZVAppSetting::AddLanguageListener(QObject* listener)
{
    if (!m_listeners.contains(listener))
        m_listeners.append(listener);
}

void ZVAppSetting::RemoveLanguageListener(QObject* listener)
{
    m_listeners.removeOne(listener);
}

void ZVAppSetting::SaveCurrentLanguage()
{
    const int declared = m_languageIndexes.value(m_currentLanguage, -1);
    if (declared < 0)
        return;
    QDir().mkpath(SettingsFolder());
    const QString path = SettingsFilePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return;
    const QByteArray content = file.readAll();
    file.close();

    int begin = 0;
    int end = 0;
    if (!FindCurselValue(content, &begin, &end))
        return;
    const QByteArray rewritten = content.left(begin) + QByteArray::number(declared) + content.mid(end);
    // Written to a temporary file and renamed, so a failed write never leaves half a file.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(rewritten);
    out.commit();
}
