#include "BatchAddresses.h"
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
    void nextAddress_data();
    void nextAddress();
    void batchAddresses_data();
    void batchAddresses();
    void networkInput_data();
    void networkInput();
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

void TestDottedQuad::nextAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("next");
    QTest::newRow("last part") << "10.0.0.1"
                               << "10.0.0.2";
    QTest::newRow("carry") << "192.168.1.255"
                           << "192.168.2.0";
    QTest::newRow("carry over three parts") << "9.255.255.255"
                                            << "10.0.0.0";
    QTest::newRow("end of the address space") << "255.255.255.255" << QString();
    QTest::newRow("leading zero") << "10.0.00.1" << QString();
    QTest::newRow("three parts") << "10.0.1" << QString();
    QTest::newRow("space") << "10.0.0.1 " << QString();
    QTest::newRow("not Latin-1") << QString::fromUtf8("10.0.0.\xe4\xb8\x80") << QString();
    QTest::newRow("empty") << "" << QString();
    // Only the first 259 bytes are ever read: a longer text is no address.
    QTest::newRow("over 259 bytes") << QStringLiteral("10.0.0.1") + QString(300, QLatin1Char(' ')) << QString();
}

void TestDottedQuad::nextAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, next);
    QCOMPARE(NextIpAddress(text), next);
}

void TestDottedQuad::batchAddresses_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("masks");
    // Per device: its address, empty for its own, "refused" for nothing sent.
    QTest::addColumn<QStringList>("plan");

    const QStringList wide = { "255.255.0.0", "255.255.0.0", "255.255.0.0" };
    const QStringList narrow = { "255.255.255.0", "255.255.255.0", "255.255.255.0" };
    QTest::newRow("/16: across the third part")
        << "192.168.1.254" << wide << QStringList { "192.168.1.254", "192.168.1.255", "192.168.2.0" };
    QTest::newRow("/24: broadcast, then the next network")
        << "192.168.1.254" << narrow << QStringList { "192.168.1.254", "refused", "refused" };
    QTest::newRow("/24: network address after the start's broadcast")
        << "192.168.1.255" << narrow << QStringList { "192.168.1.255", "refused", "refused" };
    QTest::newRow("/24: inside") << "10.0.0.1" << narrow << QStringList { "10.0.0.1", "10.0.0.2", "10.0.0.3" };
    QTest::newRow("/30: two hosts") << "10.0.0.1"
                                    << QStringList { "255.255.255.252", "255.255.255.252", "255.255.255.252" }
                                    << QStringList { "10.0.0.1", "10.0.0.2", "refused" };
    // Each device's own mask counts; once refused, every later device is.
    QTest::newRow("masks per device") << "10.0.0.254" << QStringList { "255.255.255.0", "255.255.0.0", "255.255.255.0" }
                                      << QStringList { "10.0.0.254", "10.0.0.255", "refused" };
    QTest::newRow("end of the address space") << "255.255.255.255" << wide << QStringList { "255.255.255.255", "", "" };
    QTest::newRow("start that is no address") << "10.0.00.1" << narrow << QStringList { "10.0.00.1", "", "" };
    QTest::newRow("mask that is no address") << "192.168.1.254" << QStringList { "", "", "" }
                                             << QStringList { "192.168.1.254", "192.168.1.255", "192.168.2.0" };
}

void TestDottedQuad::batchAddresses()
{
    QFETCH(QString, start);
    QFETCH(QStringList, masks);
    QFETCH(QStringList, plan);
    const QVector<BatchAddress> addresses = PlanBatchAddresses(start, masks);
    QCOMPARE(addresses.size(), plan.size());
    for (int i = 0; i < plan.size(); ++i) {
        const bool refused = plan.at(i) == QStringLiteral("refused");
        QCOMPARE(addresses.at(i).refused, refused);
        QCOMPARE(addresses.at(i).ip, refused ? QString() : plan.at(i));
    }
}

void TestDottedQuad::networkInput_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    // The field at fault and why: "", or "address", "netmask", "gateway" with
    // ": address" (no dotted quad), ": mask" or ": network".
    QTest::addColumn<QString>("fault");

    // The device's own: 10.1.2.3/16.
    QTest::newRow("all typed, /24") << "192.168.1.10"
                                    << "255.255.255.0"
                                    << "192.168.1.1"
                                    << "";
    QTest::newRow("all kept") << ""
                              << ""
                              << ""
                              << "";
    QTest::newRow("no gateway (0.0.0.0)") << "192.168.1.10"
                                          << "255.255.255.0"
                                          << "0.0.0.0"
                                          << "";
    QTest::newRow("/31 without network or broadcast address") << "10.0.0.0"
                                                              << "255.255.255.254"
                                                              << "10.0.0.1"
                                                              << "";
    QTest::newRow("/32: only itself") << "10.0.0.7"
                                      << "255.255.255.255"
                                      << "10.0.0.7"
                                      << "";
    QTest::newRow("address past 255") << "10.213.1.999"
                                      << ""
                                      << ""
                                      << "address: address";
    QTest::newRow("address with a leading zero") << "10.0.00.1"
                                                 << "255.255.0.0"
                                                 << ""
                                                 << "address: address";
    QTest::newRow("address with a space") << " 10.0.0.1"
                                          << ""
                                          << ""
                                          << "address: address";
    QTest::newRow("three parts") << "10.0.1"
                                 << ""
                                 << ""
                                 << "address: address";
    QTest::newRow("mask with a gap") << "10.1.2.3"
                                     << "255.0.255.0"
                                     << ""
                                     << "netmask: mask";
    QTest::newRow("mask of letters") << ""
                                     << "abc"
                                     << ""
                                     << "netmask: mask";
    QTest::newRow("mask 0.0.0.0") << ""
                                  << "0.0.0.0"
                                  << ""
                                  << "netmask: mask";
    QTest::newRow("mask ones after zeros") << ""
                                           << "0.255.255.255"
                                           << ""
                                           << "netmask: mask";
    QTest::newRow("gateway of letters") << "10.1.2.3"
                                        << "255.0.255.0"
                                        << "abc"
                                        << "netmask: mask";
    QTest::newRow("gateway abc") << ""
                                 << ""
                                 << "abc"
                                 << "gateway: address";
    QTest::newRow("gateway in another /24") << "192.168.1.10"
                                            << "255.255.255.0"
                                            << "192.168.2.1"
                                            << "gateway: network";
    QTest::newRow("gateway the broadcast address") << "192.168.1.10"
                                                   << "255.255.255.0"
                                                   << "192.168.1.255"
                                                   << "gateway: network";
    QTest::newRow("gateway the network address") << "192.168.1.10"
                                                 << "255.255.255.0"
                                                 << "192.168.1.0"
                                                 << "gateway: network";
    // Kept address and mask: the device's own network counts.
    QTest::newRow("gateway in the own /16") << ""
                                            << ""
                                            << "10.1.200.1"
                                            << "";
    QTest::newRow("gateway outside the own /16") << ""
                                                 << ""
                                                 << "10.2.0.1"
                                                 << "gateway: network";
    QTest::newRow("own mask, new address") << "10.9.0.5"
                                           << ""
                                           << "10.1.0.1"
                                           << "gateway: network";
    QTest::newRow("new mask, own address") << ""
                                           << "255.255.255.0"
                                           << "10.1.2.1"
                                           << "";
    QTest::newRow("new mask, own address, outside") << ""
                                                    << "255.255.255.0"
                                                    << "10.1.3.1"
                                                    << "gateway: network";
}

void TestDottedQuad::networkInput()
{
    QFETCH(QString, address);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QString, fault);
    const NetworkInputFault found = CheckNetworkInput(address, netmask, gateway, "10.1.2.3", "255.255.0.0");
    QString text;
    if (found) {
        const char* const fields[] = { "", "address", "netmask", "gateway" };
        const char* const reasons[] = { "address", "mask", "network" };
        text = QStringLiteral("%1: %2").arg(fields[found.field], reasons[found.reason]);
    }
    QCOMPARE(text, fault);
    // Where the device's own settings are no address, a typed gateway is
    // checked only against what is typed.
    if (address.isEmpty() || netmask.isEmpty()) {
        const NetworkInputFault unknown = CheckNetworkInput(address, netmask, gateway, "none", "none");
        QCOMPARE(bool(unknown), found && found.reason != NetworkInputFault::OutsideNetwork);
    }
}

QTEST_GUILESS_MAIN(TestDottedQuad)
#include "tst_dottedquad.moc"
