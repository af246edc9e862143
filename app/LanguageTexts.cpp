#include "LanguageTexts.h"

#include <QAtomicPointer>
#include <QDebug>
#include <QFile>
#include <QXmlStreamReader>

namespace
{
QAtomicPointer<LanguageTexts> g_languageTexts;
}

LanguageTexts* LanguageTexts::Create(const QString& path)
{
    auto* table = new LanguageTexts;
    delete g_languageTexts.fetchAndStoreOrdered(table);
    table->Load(path);
    return table;
}

void LanguageTexts::Reload(const QString& path)
{
    if (LanguageTexts* table = g_languageTexts.loadAcquire())
        table->Load(path);
}

void LanguageTexts::Release()
{
    delete g_languageTexts.fetchAndStoreOrdered(nullptr);
}

LanguageTexts* LanguageTexts::Global()
{
    return g_languageTexts.loadAcquire();
}

void LanguageTexts::Load(const QString& path)
{
    qDebug() << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;

    // A malformed file ends the reading; what was read before the error stays.
    QStringList texts;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("string"))
            continue;
        const QString text = reader.readElementText();
        if (!reader.hasError())
            texts.append(text);
    }

    QWriteLocker locker(&m_lock);
    m_texts = texts;
    m_count = texts.size();
}

QString LanguageTexts::Text(int id) const
{
    QReadLocker locker(&m_lock);
    if (id < 0 || id >= m_count)
        return QString();
    return m_texts.at(id);
}

int LanguageTexts::Count() const
{
    QReadLocker locker(&m_lock);
    return m_count;
}

QString LanguageText(int id)
{
    const LanguageTexts* table = LanguageTexts::Global();
    return table ? table->Text(id) : QString();
}
