#pragma once

#include <QReadWriteLock>
#include <QString>
#include <QStringList>

// The texts of the current language file; text n is the n-th "string" element.
class LanguageTexts
{
public:
    static LanguageTexts* Create(const QString& path);
    static void Reload(const QString& path);
    static void Release();
    static LanguageTexts* Global();

    void Load(const QString& path);
    QString Text(int id) const;
    int Count() const;

private:
    LanguageTexts() = default;

    mutable QReadWriteLock m_lock;
    int m_count = 0;
    QStringList m_texts;
};

using TextId = int;

// Empty for an id the table does not hold, or when no table exists.
QString LanguageText(int id);
