#include "DottedQuad.h"

#include <QtTest>

#include <cstring>

class TestDottedQuad : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void format_data();
    void format();
};

void TestDottedQuad::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("address");

    QTest::newRow("plain") << QByteArray("192.168.1.10") << true << 0xc0a8010au;
    QTest::newRow("zeros") << QByteArray("0.0.0.0") << true << 0u;
    QTest::newRow("largest") << QByteArray("255.255.255.255") << true << 0xffffffffu;
    QTest::newRow("lone zero parts") << QByteArray("10.0.0.1") << true << 0x0a000001u;
    QTest::newRow("empty") << QByteArray("") << false << 0u;
    QTest::newRow("leading zero") << QByteArray("01.2.3.4") << false << 0u;
    QTest::newRow("double zero") << QByteArray("1.00.3.4") << false << 0u;
    QTest::newRow("three parts") << QByteArray("1.2.3") << false << 0u;
    QTest::newRow("trailing point") << QByteArray("1.2.3.4.") << false << 0u;
    QTest::newRow("part over 255") << QByteArray("1.2.3.256") << false << 0u;
    QTest::newRow("empty part") << QByteArray("1..2.3") << false << 0u;
    QTest::newRow("leading space") << QByteArray(" 1.2.3.4") << false << 0u;
    QTest::newRow("trailing space") << QByteArray("1.2.3.4 ") << false << 0u;
    QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << false << 0u;
    QTest::newRow("sign") << QByteArray("+1.2.3.4") << false << 0u;
    QTest::newRow("huge part") << QByteArray("1.2.3.99999999999") << false << 0u;
    QTest::newRow("leading point") << QByteArray(".1.2.3") << false << 0u;
    QTest::newRow("letters") << QByteArray("camera") << false << 0u;
    QTest::newRow("long text") << QByteArray(300, '1') << false << 0u;
}

void TestDottedQuad::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(quint32, address);

    unsigned char bytes[4] = { 0xee, 0xee, 0xee, 0xee };
    QCOMPARE(ParseDottedQuadBytes(text.constData(), bytes), ok ? 1 : 0);
    const quint32 fromBytes
        = (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | bytes[3];
    QCOMPARE(fromBytes, ok ? address : 0xeeeeeeeeu); // untouched on failure

    std::uint32_t parsed = 0x12345678;
    QCOMPARE(ParseDottedQuad(QString::fromLatin1(text), &parsed), ok);
    QCOMPARE(parsed, ok ? address : 0x12345678u);
}

void TestDottedQuad::format_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("text"); // null: nothing written

    QTest::newRow("plain") << QByteArray("\xc0\xa8\x01\x0a", 4) << 16 << QByteArray("192.168.1.10");
    QTest::newRow("zeros") << QByteArray(4, '\0') << 16 << QByteArray("0.0.0.0");
    QTest::newRow("widest fits 16") << QByteArray(4, '\xff') << 16 << QByteArray("255.255.255.255");
    QTest::newRow("widest, 15 too small") << QByteArray(4, '\xff') << 15 << QByteArray();
    QTest::newRow("exact fit") << QByteArray("\x01\x02\x03\x04", 4) << 8 << QByteArray("1.2.3.4");
    QTest::newRow("one short") << QByteArray("\x01\x02\x03\x04", 4) << 7 << QByteArray();
    QTest::newRow("no room") << QByteArray("\x01\x02\x03\x04", 4) << 0 << QByteArray();
}

void TestDottedQuad::format()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, size);
    QFETCH(QByteArray, text);

    char buffer[32];
    std::memset(buffer, '#', sizeof(buffer));
    const unsigned char* address = reinterpret_cast<const unsigned char*>(bytes.constData());
    char* result = FormatDottedQuad(address, buffer, static_cast<std::size_t>(size));
    if (text.isNull()) {
        QVERIFY(!result);
        QCOMPARE(QByteArray(buffer, sizeof(buffer)), QByteArray(sizeof(buffer), '#'));
        return;
    }
    QCOMPARE(result, buffer);
    QCOMPARE(QByteArray(buffer), text);
    // Nothing past the text and its terminator.
    QCOMPARE(buffer[text.size() + 1], '#');

    // The text parses back to the same bytes.
    unsigned char parsed[4];
    QCOMPARE(ParseDottedQuadBytes(buffer, parsed), 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(parsed), 4), bytes);
}

QTEST_GUILESS_MAIN(TestDottedQuad)
#include "tst_dottedquad.moc"
