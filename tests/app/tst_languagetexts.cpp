#include "LanguageTexts.h"
#include "TestSupport.h"

#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

class TestLanguageTexts : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void outOfRangeIdsAreEmpty();
    void reloadReplacesTextsInTheSameTable();
    void missingFileKeepsPreviousTexts();
    void noTableGivesEmptyTexts();
    void shippedEnglishFileHoldsEveryText();

private:
    QString Write(const QByteArray& content);
    QTemporaryDir m_dir;
    int m_fileCount = 0;
};

QString TestLanguageTexts::Write(const QByteArray& content)
{
    const QString path = m_dir.filePath(QStringLiteral("lang%1.xml").arg(++m_fileCount));
    TestSupport::WriteFile(path, content);
    return path;
}

void TestLanguageTexts::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("second text empty") << QByteArray("<s><string>a</string><string></string><string>c</string></s>")
                                       << QStringList { "a", "", "c" };
    QTest::newRow("nested in any element, document order")
        << QByteArray("<r><string>0</string><g><h><string>1</string></h></g><string>2</string></r>")
        << QStringList { "0", "1", "2" };
    QTest::newRow("other elements and attributes ignored")
        << QByteArray("<r><other>x</other><string id=\"9\">a &amp; b</string></r>") << QStringList { "a & b" };
    QTest::newRow("texts kept as they stand")
        << QByteArray("<r><string>  two  words </string></r>") << QStringList { "  two  words " };
    QTest::newRow("truncated file keeps texts before the error")
        << QByteArray("<r><string>a</string><string>b</string><str") << QStringList { "a", "b" };
    QTest::newRow("child element in a string ends the reading")
        << QByteArray("<r><string>a</string><string>b<i>c</i></string><string>d</string></r>") << QStringList { "a" };
    QTest::newRow("not xml at all") << QByteArray("\x01\x02garbage") << QStringList {};
    QTest::newRow("empty file") << QByteArray() << QStringList {};
}

void TestLanguageTexts::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, texts);

    LanguageTexts* table = LanguageTexts::Create(Write(content));
    QCOMPARE(LanguageTexts::Global(), table);
    QCOMPARE(table->Count(), texts.size());
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(LanguageText(i), texts.at(i));
    QCOMPARE(LanguageText(texts.size()), QString());
    LanguageTexts::Release();
    QVERIFY(!LanguageTexts::Global());
}

void TestLanguageTexts::outOfRangeIdsAreEmpty()
{
    LanguageTexts::Create(Write(TestSupport::NumberedLanguageFile(10)));
    QCOMPARE(LanguageText(9), QStringLiteral("T9"));
    for (int id : { -1, 10, 237, 100000, INT_MIN, INT_MAX })
        QCOMPARE(LanguageText(id), QString());
    LanguageTexts::Release();
}

void TestLanguageTexts::reloadReplacesTextsInTheSameTable()
{
    LanguageTexts* table = LanguageTexts::Create(Write(TestSupport::NumberedLanguageFile(238)));
    LanguageTexts::Reload(Write(TestSupport::NumberedLanguageFile(3, QStringLiteral("R"))));
    QCOMPARE(LanguageTexts::Global(), table);
    QCOMPARE(table->Count(), 3);
    QCOMPARE(LanguageText(2), QStringLiteral("R2"));
    QCOMPARE(LanguageText(3), QString());
    LanguageTexts::Release();
}

void TestLanguageTexts::missingFileKeepsPreviousTexts()
{
    LanguageTexts* table = LanguageTexts::Create(m_dir.filePath(QStringLiteral("missing.xml")));
    QCOMPARE(table->Count(), 0);
    LanguageTexts::Reload(Write(TestSupport::NumberedLanguageFile(5)));
    LanguageTexts::Reload(m_dir.filePath(QStringLiteral("missing.xml")));
    QCOMPARE(table->Count(), 5);
    QCOMPARE(LanguageText(4), QStringLiteral("T4"));
    LanguageTexts::Release();
}

void TestLanguageTexts::noTableGivesEmptyTexts()
{
    LanguageTexts::Release();
    QCOMPARE(LanguageText(0), QString());
    LanguageTexts::Reload(Write(TestSupport::NumberedLanguageFile(2)));
    QVERIFY(!LanguageTexts::Global());
}

void TestLanguageTexts::shippedEnglishFileHoldsEveryText()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/Language/ENU.xml");
    const QByteArray content = TestSupport::ReadFile(path);
    QXmlStreamReader reader(content);
    while (!reader.atEnd())
        reader.readNext();
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString())); // an error would cut the table short

    LanguageTexts* table = LanguageTexts::Create(path);
    QCOMPARE(table->Count(), 241);
    QCOMPARE(LanguageText(0), QStringLiteral(DEVSCAN_PRODUCT_TITLE));
    // Ids that no screen uses stay as empty elements, so the others keep their numbers.
    const QSet<int> unused
        = { 1, 40, 41, 65, 116, 118, 128, 129, 130, 131, 132, 133, 155, 161, 162, 163, 166, 167, 178 };
    for (int id = 0; id < 241; ++id)
        QVERIFY2(LanguageText(id).isEmpty() == unused.contains(id), qPrintable(QString::number(id)));
    QCOMPARE(LanguageText(4), QStringLiteral("OK"));
    QCOMPARE(LanguageText(5), QStringLiteral("Cancel"));
    QCOMPARE(LanguageText(237), QStringLiteral("Resetting..."));
    LanguageTexts::Release();
}

QTEST_GUILESS_MAIN(TestLanguageTexts)
#include "tst_languagetexts.moc"
