#include "LanguageTexts.h"
#include "TestSupport.h"
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

namespace
{
// Every customer code the settings know, and one outside them.
QList<int> CustomerCodes()
{
    QList<int> codes;
    for (int code = 0; code <= 46; ++code)
        codes << code;
    return codes;
}

QStringList EveryOfferedFile()
{
    QStringList files;
    for (int code : CustomerCodes()) {
        for (const QString& file : ZVAppSetting::OfferedLanguageFiles(code)) {
            if (!files.contains(file))
                files << file;
        }
    }
    return files;
}

QString LanguageFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Language/");
}

QSet<QString> Placeholders(const QString& text)
{
    QSet<QString> found;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("%\\d+")).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    return found;
}

// The ids the file's own comments give each text ("<!-- n -->" after it), in
// file order; they show a text that was dropped or doubled while translating.
QList<int> CommentedIds(const QByteArray& content)
{
    QList<int> ids;
    QXmlStreamReader reader(content);
    bool afterString = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::EndElement: afterString = reader.name() == QLatin1String("string"); break;
        case QXmlStreamReader::Comment:
            if (afterString)
                ids << reader.text().trimmed().toInt();
            afterString = false;
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace())
                afterString = false;
            break;
        default: afterString = false; break;
        }
    }
    return ids;
}
} // namespace

class TestCustomerLanguages : public QObject
{
    Q_OBJECT

private slots:
    void offeredFileHoldsEveryText_data();
    void offeredFileHoldsEveryText();
    void variantsCarryTheirBaseTexts();
    void customerStartsInFirstOfferedLanguage_data();
    void customerStartsInFirstOfferedLanguage();
};

void TestCustomerLanguages::offeredFileHoldsEveryText_data()
{
    QTest::addColumn<QString>("file");
    for (const QString& file : EveryOfferedFile())
        QTest::newRow(qPrintable(file)) << file;
}

void TestCustomerLanguages::offeredFileHoldsEveryText()
{
    QFETCH(QString, file);
    const QString path = LanguageFolder() + file;
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QByteArray content = TestSupport::ReadFile(path);
    QXmlStreamReader reader(content);
    while (!reader.atEnd())
        reader.readNext();
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString())); // an error would cut the table short

    QList<int> everyId;
    for (int id = 0; id < 241; ++id)
        everyId << id;
    QCOMPARE(CommentedIds(content), everyId);

    const QStringList english = TestSupport::ShippedTexts(QStringLiteral("ENU.xml"));
    QCOMPARE(english.size(), 241);
    LanguageTexts* table = LanguageTexts::Create(path);
    QCOMPARE(table->Count(), 241);
    QCOMPARE(LanguageText(0), QStringLiteral(DEVSCAN_PRODUCT_TITLE));
    for (int id = 0; id < 241; ++id) {
        const QString text = LanguageText(id);
        const QString where = QStringLiteral("%1 text %2: \"%3\"").arg(file).arg(id).arg(text);
        QVERIFY2(Placeholders(text) == Placeholders(english.at(id)), qPrintable(where));
        QVERIFY2(text.count(QLatin1Char('\n')) == english.at(id).count(QLatin1Char('\n')), qPrintable(where));
        // A text no screen uses stays empty; every other one is translated, not left out.
        QVERIFY2(text.isEmpty() == english.at(id).isEmpty(), qPrintable(where));
        QVERIFY2(text == text.trimmed() || english.at(id).endsWith(QLatin1Char(' ')), qPrintable(where));
    }
    // The file's own language is named in its own words (English names English).
    const int ownName = ZVAppSetting::LanguageMenuTextId(file);
    QVERIFY2((LanguageText(ownName) == english.at(ownName)) == (ownName == 89), qPrintable(LanguageText(ownName)));
    LanguageTexts::Release();
}

void TestCustomerLanguages::variantsCarryTheirBaseTexts()
{
    // Files of one language are the same file under the customers' names.
    const QMap<QString, QString> bases = { { "ENU", "ENU.xml" }, { "RUS", "RUS_CJ.xml" }, { "KOR", "KOR_KELM.xml" },
        { "KR", "KOR_KELM.xml" }, { "PORT", "PORT_GANU.xml" } };
    int variants = 0;
    for (const QString& file : EveryOfferedFile()) {
        const QString base = bases.value(file.section(QLatin1Char('_'), 0, 0).section(QLatin1Char('.'), 0, 0));
        if (base.isEmpty() || base == file)
            continue;
        ++variants;
        QVERIFY2(TestSupport::ShippedTexts(file) == TestSupport::ShippedTexts(base), qPrintable(file));
    }
    QCOMPARE(variants, 18);
    QVERIFY(TestSupport::ShippedTexts(QStringLiteral("KOR_KELM.xml")) != TestSupport::ShippedTexts("ENU.xml"));
}

void TestCustomerLanguages::customerStartsInFirstOfferedLanguage_data()
{
    QTest::addColumn<int>("code");
    for (int code : CustomerCodes())
        QTest::newRow(qPrintable(QString::number(code))) << code;
}

void TestCustomerLanguages::customerStartsInFirstOfferedLanguage()
{
    QFETCH(int, code);
    TestSupport::TemporarySettings temporary;
    QVERIFY(temporary.WriteConfig(TestSupport::ShippedConfig(code)));

    ZVAppSetting settings;
    settings.LoadConfig();
    const QStringList offered = ZVAppSetting::OfferedLanguageFiles(code);
    QCOMPARE(settings.m_languageIndexes.size(), offered.size());
    for (int i = 0; i < offered.size(); ++i) {
        // Declared, so the menu entry has a file and a name.
        const int declared = settings.m_languageIndexes.at(i);
        QVERIFY2(declared >= 0, qPrintable(offered.at(i)));
        QCOMPARE(settings.m_languageFiles.at(declared), offered.at(i));
        QCOMPARE(settings.m_languageTextIds.at(declared), ZVAppSetting::LanguageMenuTextId(offered.at(i)));
    }
    QCOMPARE(settings.m_currentLanguage, 0);
    QCOMPARE(settings.CurrentLanguageFile(), offered.first());

    // Qt's own translation for the customer is where the program loads it from.
    const QString qm = QCoreApplication::applicationDirPath() + QStringLiteral("/translations") + settings.m_qmFile;
    QVERIFY2(QFile::exists(qm), qPrintable(qm));

    settings.LoadLanguageTexts();
    QCOMPARE(LanguageText(88), TestSupport::ShippedTexts(offered.first()).value(88));
    QVERIFY(!LanguageText(88).isEmpty());
    settings.ReleaseLanguageTexts();
}

QTEST_GUILESS_MAIN(TestCustomerLanguages)
#include "tst_customerlanguages.moc"
