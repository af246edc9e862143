#include "DottedQuad.h"

#include <QtTest>

class TestDottedQuad : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
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

QTEST_GUILESS_MAIN(TestDottedQuad)
#include "tst_dottedquad.moc"
