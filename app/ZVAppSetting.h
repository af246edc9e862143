#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QXmlStreamAttributes;

using CompanyCode = int;

// Customer codes 43 and 44 talk to devices through their HTTP JSON API.
inline bool IsHttpApiCompany(CompanyCode code)
{
    return code == 43 || code == 44;
}

// The customer code the settings hold, and whether it uses the HTTP JSON API.
CompanyCode Company();
bool UsesHttpApi();

// Posted to every registered listener when the language may have changed.
class LanguageChangedEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(1005);
    LanguageChangedEvent()
        : QEvent(EventType)
    {
    }
};

class ZVAppSetting : public QObject
{
    Q_OBJECT

public:
    static ZVAppSetting* Instance();
    static void DestroyInstance();

    // Public so that tests can read settings files without the singleton.
    ZVAppSetting();
    ~ZVAppSetting() override;

    void LoadConfig();
    void LoadLanguageTexts();
    void ReleaseLanguageTexts();
    void SetLanguage(int index);
    void AddLanguageListener(QObject* listener);
    void RemoveLanguageListener(QObject* listener);

    QString SettingsFilePath() const;
    // The language file in use: the current offered one when it can be used,
    // else the first declared file that exists; with none present, the
    // current offered one when declared, else the first declared, else "ENU.xml".
    QString CurrentLanguageFile() const;
    // Offered language index can be chosen: its file is declared and present.
    bool LanguageUsable(int index) const;
    QString LanguageFilePath(const QString& fileName) const;

    QString m_version;
    int m_company = 0;
    QVector<int> m_languageIndexes;
    QVector<int> m_languageTextIds;
    int m_currentLanguage = 0;
    bool m_onvifTimeoutSet = false;
    QVector<QObject*> m_listeners;
    QString m_qmFile;
    QString m_defaultUser;
    QString m_defaultPassword;
    QStringList m_languageFiles;
    // IP-range search: how many addresses are asked at once and how long each
    // may take to answer (config.xml: <RangeSearch concurrency="" timeout=""/>).
    int m_rangeSearchConcurrency = 256;
    int m_rangeSearchTimeoutMs = 1000;

    static QStringList OfferedLanguageFiles(CompanyCode code);
    static int LanguageMenuTextId(const QString& fileName);
    static QString QtTranslationFile(const QString& fileName);

private:
    void SaveCurrentLanguage();
    QString SettingsFolder() const;
    void ReadRangeSearch(const QXmlStreamAttributes& attributes);
};
