#include "FixedText.h"

#include <QTextCodec>
#include <QtTest>

#include <cstring>

// Texts cut to a field's bytes: every cut ends on a character boundary.
class TestFixedText : public QObject
{
    Q_OBJECT

private slots:
    void utf8PrefixAtEveryWidth_data();
    void utf8PrefixAtEveryWidth();
    void putKeepsEachFieldEnd_data();
    void putKeepsEachFieldEnd();
    void fitsLatin1_data();
    void fitsLatin1();
};

void TestFixedText::utf8PrefixAtEveryWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QStringLiteral("abcdef");
    QTest::newRow("two-byte letters") << QStringLiteral("a\u00e9\u00e9b\u00e9");
    QTest::newRow("three-byte letters") << QStringLiteral("\u20ac1\u20ac\u4e2d");
    QTest::newRow("four-byte letters") << QString::fromUtf8("x\xf0\x9f\x98\x80\xf0\x9f\x8e\xa5y");
    QTest::newRow("all widths mixed") << QString::fromUtf8("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
}

// At every width: the longest start of whole characters that fits.
void TestFixedText::utf8PrefixAtEveryWidth()
{
    QFETCH(QString, text);
    const QByteArray bytes = text.toUtf8();
    const std::size_t size = static_cast<std::size_t>(bytes.size());
    for (std::size_t width = 0; width <= size + 2; ++width) {
        // Written out from the characters, not from the bytes.
        QByteArray expected;
        for (int i = 0; i < text.size();) {
            const int length = text.at(i).isHighSurrogate() ? 2 : 1;
            const QByteArray character = text.mid(i, length).toUtf8();
            if (static_cast<std::size_t>(expected.size() + character.size()) > width)
                break;
            expected += character;
            i += length;
        }
        const std::size_t length = Utf8PrefixLength(bytes.constData(), size, width);
        QCOMPARE(bytes.left(static_cast<int>(length)), expected);
        QCOMPARE(CutText(text, TextCode::Utf8, width), expected);
        if (QTextCodec::codecForLocale()->mibEnum() == 106) // UTF-8
            QCOMPARE(CutText(text, TextCode::Local8Bit, width), expected);
        QVERIFY(QString::fromUtf8(expected).toUtf8() == expected);
    }
    QCOMPARE(Utf8PrefixLength(nullptr, 4, 2), std::size_t(0));
}

void TestFixedText::putKeepsEachFieldEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("end");
    QTest::addColumn<QByteArray>("field"); // eight bytes, the field was 'z' before

    const int utf8 = int(TextCode::Utf8), latin1 = int(TextCode::Latin1);
    const int nul = int(FieldEnd::Terminated), padded = int(FieldEnd::Padded);
    QTest::newRow("terminated: short text, rest as it was") << "ab" << utf8 << nul << QByteArray("ab\0zzzzz", 8);
    QTest::newRow("terminated: full text keeps its NUL") << "abcdefgh" << utf8 << nul << QByteArray("abcdefg\0", 8);
    QTest::newRow("terminated: cut before a split letter")
        << QString::fromUtf8("abcdef\xc3\xa9") << utf8 << nul << QByteArray("abcdef\0z", 8);
    QTest::newRow("terminated: four-byte letter does not fit after four")
        << QString::fromUtf8("abcd\xf0\x9f\x98\x80") << utf8 << nul << QByteArray("abcd\0zzz", 8);
    QTest::newRow("padded: short text, rest zero") << "ab" << utf8 << padded << QByteArray("ab\0\0\0\0\0\0", 8);
    QTest::newRow("padded: full field, no NUL") << "abcdefghij" << utf8 << padded << QByteArray("abcdefgh");
    QTest::newRow("padded: three-byte letter cut whole")
        << QString::fromUtf8("abcdef\xe2\x82\xac") << utf8 << padded << QByteArray("abcdef\0\0", 8);
    QTest::newRow("Latin-1: one byte a letter, cut at the width")
        << QString(9, QChar(0xe9)) << latin1 << padded << QByteArray(8, '\xe9');
    QTest::newRow("Latin-1 terminated") << QString(9, QChar(0xe9)) << latin1 << nul
                                        << QByteArray(7, '\xe9').append('\0');
}

void TestFixedText::putKeepsEachFieldEnd()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    QFETCH(int, end);
    QFETCH(QByteArray, field);
    char written[8];
    std::memset(written, 'z', sizeof(written));
    PutText(text, TextCode(code), written, FieldEnd(end));
    QCOMPARE(QByteArray(written, 8), field);

    // Bytes already in the field's code take the same cut.
    const QByteArray bytes = TextCode(code) == TextCode::Utf8 ? text.toUtf8() : text.toLatin1();
    std::memset(written, 'z', sizeof(written));
    PutBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()), TextCode(code), written, FieldEnd(end));
    QCOMPARE(QByteArray(written, 8), field);
}

void TestFixedText::fitsLatin1_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width"); // -1: no width
    QTest::addColumn<bool>("fits");
    QTest::newRow("empty") << QString() << 0 << true;
    QTest::newRow("ASCII, exactly the width") << QStringLiteral("Tr7#kQ9!") << 8 << true;
    QTest::newRow("ASCII, one byte more") << QStringLiteral("Tr7#kQ9!m") << 8 << false;
    QTest::newRow("Latin-1 letters, one byte each") << QStringLiteral("\u00e9\u00e9\u00ff") << 3 << true;
    QTest::newRow("outside Latin-1") << QStringLiteral("Tr7#\u20ac") << -1 << false;
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"a\U0001F600") << -1 << false;
    QTest::newRow("long, no width") << QString(300, QLatin1Char('x')) << -1 << true;
}

void TestFixedText::fitsLatin1()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, fits);
    QCOMPARE(width < 0 ? FitsLatin1(text) : FitsLatin1(text, size_t(width)), fits);
    // As the pages checked it before: the Latin-1 bytes read back as the text, within the width.
    const QByteArray bytes = text.toLatin1();
    QCOMPARE(QString::fromLatin1(bytes) == text && (width < 0 || bytes.size() <= width), fits);
}

QTEST_APPLESS_MAIN(TestFixedText)
#include "tst_fixedtext.moc"
