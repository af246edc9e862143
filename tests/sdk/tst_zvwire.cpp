#include "ZVWire.h"

#include <QtTest>

#include <cstring>

using namespace zvwire;

class TestZVWire : public QObject
{
    Q_OBJECT

private slots:
    void frameRoundTrip();
    void badHeaders_data();
    void badHeaders();
    void readerStopsAtEnd();
    void textIsCutAndPadded();
    void hmacKnownAnswer();
    void maskIsItsOwnInverse();
    void x25519AgreesOnBothSides();
    void loginProofDependsOnPassword();
};

void TestZVWire::frameRoundTrip()
{
    const uint8_t payload[] = { 1, 2, 3, 4, 5 };
    const auto frame = EncodeFrame(MSG_QUERY_PARAM, 0x11223344u, ST_RESULT_2, payload, sizeof payload);
    QCOMPARE(frame.size(), kHeaderSize + sizeof payload);
    QCOMPARE(frame[0], uint8_t(0x5A));
    QCOMPARE(frame[3], uint8_t(0x50));
    Header h;
    QCOMPARE(DecodeHeader(frame.data(), frame.size(), kMaxTcpPayload, h), Decode::Ok);
    QCOMPARE(h.type, uint16_t(MSG_QUERY_PARAM));
    QCOMPARE(h.requestId, 0x11223344u);
    QCOMPARE(h.status, uint32_t(ST_RESULT_2));
    QCOMPARE(h.length, uint32_t(sizeof payload));
    const uint8_t* p = nullptr;
    QCOMPARE(DecodeDatagram(frame.data(), frame.size(), h, p), Decode::Ok);
    QCOMPARE(std::memcmp(p, payload, sizeof payload), 0);
}

void TestZVWire::badHeaders_data()
{
    QTest::addColumn<int>("corrupt");
    QTest::addColumn<int>("datagramSizeDelta");
    QTest::addColumn<bool>("headerBad");
    QTest::newRow("magic") << 0 << 0 << true;
    QTest::newRow("version") << 4 << 0 << true;
    QTest::newRow("length above limit") << 16 << 0 << true;
    QTest::newRow("datagram truncated") << -1 << -1 << false;
    QTest::newRow("datagram with trailing bytes") << -1 << 1 << false;
}

void TestZVWire::badHeaders()
{
    QFETCH(int, corrupt);
    QFETCH(int, datagramSizeDelta);
    QFETCH(bool, headerBad);
    const uint8_t payload[8] = {};
    auto frame = EncodeFrame(MSG_SEARCH, 1, 0, payload, sizeof payload);
    if (corrupt == 16)
        PutU32(frame.data() + 16, kMaxTcpPayload + 1);
    else if (corrupt >= 0)
        frame[static_cast<size_t>(corrupt)] ^= 0xFF;
    frame.resize(static_cast<size_t>(static_cast<int>(frame.size()) + datagramSizeDelta), 0);
    Header h;
    QCOMPARE(DecodeHeader(frame.data(), frame.size(), kMaxTcpPayload, h) == Decode::Bad, headerBad);
    const uint8_t* p = nullptr;
    QCOMPARE(DecodeDatagram(frame.data(), frame.size(), h, p), Decode::Bad);
    QCOMPARE(DecodeHeader(frame.data(), kHeaderSize - 1, kMaxTcpPayload, h), Decode::NeedMore);
}

void TestZVWire::readerStopsAtEnd()
{
    const uint8_t data[6] = { 1, 0, 0, 0, 2, 0 };
    Reader r(data, sizeof data);
    QCOMPARE(r.U32(), 1u);
    QCOMPARE(r.U32(), 0u);
    QVERIFY(!r.Ok());
    QCOMPARE(r.U16(), uint16_t(0));
    QCOMPARE(r.Remaining(), size_t(0));
}

void TestZVWire::textIsCutAndPadded()
{
    Writer w;
    w.Text("abcdef", 4).Text(nullptr, 2);
    const std::vector<uint8_t> expected = { 'a', 'b', 'c', 0, 0, 0 };
    QCOMPARE(w.Data(), expected);
}

void TestZVWire::hmacKnownAnswer()
{
    const std::string data = "what do ya want for nothing?";
    uint8_t out[32];
    QVERIFY(HmacSha256("Jefe", 4, std::vector<uint8_t>(data.begin(), data.end()), out));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 32).toHex(),
        QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
    QVERIFY(HmacSha256(nullptr, 0, {}, out));
}

void TestZVWire::maskIsItsOwnInverse()
{
    uint8_t key[32] = { 7 };
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    auto masked = data;
    QVERIFY(Mask(key, 5, masked.data(), masked.size()));
    QVERIFY(masked != data);
    auto otherId = data;
    QVERIFY(Mask(key, 6, otherId.data(), otherId.size()));
    QVERIFY(otherId != masked);
    QVERIFY(Mask(key, 5, masked.data(), masked.size()));
    QCOMPARE(masked, data);
}

void TestZVWire::x25519AgreesOnBothSides()
{
    uint8_t aPriv[32], aPub[32], bPriv[32], bPub[32], s1[32], s2[32];
    QVERIFY(X25519Generate(aPriv, aPub));
    QVERIFY(X25519Generate(bPriv, bPub));
    QVERIFY(X25519Shared(aPriv, bPub, s1));
    QVERIFY(X25519Shared(bPriv, aPub, s2));
    QVERIFY(Equal32(s1, s2));
}

void TestZVWire::loginProofDependsOnPassword()
{
    uint8_t sn[32] = { 1 }, cn[32] = { 2 }, p1[32], p2[32], p3[32];
    QVERIFY(LoginProof("secret", sn, cn, "admin", p1));
    QVERIFY(LoginProof("secret", sn, cn, "admin", p2));
    QVERIFY(LoginProof("Secret", sn, cn, "admin", p3));
    QVERIFY(Equal32(p1, p2));
    QVERIFY(!Equal32(p1, p3));
}

QTEST_GUILESS_MAIN(TestZVWire)
#include "tst_zvwire.moc"
