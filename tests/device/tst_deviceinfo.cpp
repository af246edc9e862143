#include "DeviceInfo.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "TestSupport.h"
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace
{
QString T(int id)
{
    return QStringLiteral("T%1").arg(id);
}

// Fills a text field completely, without a terminator.
template <std::size_t N> void FillField(char (&field)[N], char c)
{
    std::memset(field, c, N);
}

template <std::size_t N> void SetField(char (&field)[N], const char* text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N));
}

SearchDevRsp Record()
{
    SearchDevRsp r;
    std::memset(&r, 0, sizeof(r));
    SetField(r.ip, "192.168.1.20");
    SetField(r.netmask, "255.255.255.0");
    SetField(r.gateway, "192.168.1.1");
    SetField(r.dns1, "8.8.4.4");
    SetField(r.dns2, "1.0.0.1");
    SetField(r.deviceName, "Gate");
    r.mediaPort = 9000;
    r.webPort = 8080;
    r.networkMode = 0;
    return r;
}

class EventSink : public QObject
{
public:
    QList<int> types;
    QList<int> codes;

protected:
    void customEvent(QEvent* event) override
    {
        types << event->type();
        if (event->type() == static_cast<QEvent::Type>(ConnectEvent))
            codes << static_cast<QConnectEvent*>(event)->code;
    }
};
} // namespace

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void defaults();
    void statusText_data();
    void statusText();
    void setParamsMapsResolutionAndEncoding_data();
    void setParamsMapsResolutionAndEncoding();
    void resolutionTextsGiveTheirFirstRow_data();
    void resolutionTextsGiveTheirFirstRow();
    void setParamsKeepsTextsForHttpCustomers();
    void p2pId_data();
    void p2pId();
    void channelCount_data();
    void channelCount();
    void dateText_data();
    void dateText();
    void versionMatchText_data();
    void versionMatchText();
    void netModeText_data();
    void netModeText();
    void initFromSearchRspCopiesWholeRecord();
    void initFromOnvifSearchRspKeepsOnlyTheHead();
    void unterminatedFieldsAreReadWithinTheirWidth();
    void setNetworkParams_data();
    void setNetworkParams();
    void setNetworkAddressAlwaysSetsWebPort();
    void resetGroupsFillTheirOwnBytes();
    void setDeviceNameTypeWritesLatin1();
    void collectorsAppendOneCopyPerRecord();
    void copyLatin1CutsToTheField();
    void checkStatePerKind();
    void eventsReachTheirReceiver();

private:
    QTemporaryDir m_dir;
};

void TestDeviceInfo::initTestCase()
{
    const QString path = QDir(m_dir.path()).filePath(QStringLiteral("texts.xml"));
    QVERIFY(TestSupport::WriteFile(path, TestSupport::NumberedLanguageFile(300)));
    LanguageTexts::Create(path);
}

void TestDeviceInfo::init()
{
    ZVAppSetting::Instance()->m_company = 0;
}

void TestDeviceInfo::cleanupTestCase()
{
    LanguageTexts::Release();
}

void TestDeviceInfo::defaults()
{
    ZVAppSetting::Instance()->m_defaultUser = QStringLiteral("admin");
    ZVAppSetting::Instance()->m_defaultPassword = QStringLiteral("secret");
    DeviceInfo device;
    QCOMPARE(device.metaObject()->className(), "DeviceInfo");
    QCOMPARE(int(device.m_status), -1);
    QCOMPARE(int(device.m_upgradeProgress), -1);
    QVERIFY(!device.m_bLogin);
    QCOMPARE(device.m_handle, 0);
    QCOMPARE(device.m_upgradeHandle, 0);
    QVERIFY(!device.m_sdkDevice);
    QVERIFY(!device.m_bHttps);
    QCOMPARE(device.m_newDhcp, 2);
    QCOMPARE(device.m_resetMode, 0);
    QCOMPARE(device.m_user, QStringLiteral("admin"));
    QCOMPARE(device.m_password, QStringLiteral("secret"));
    QVERIFY(device.StatusText().isEmpty());
    QVERIFY(!device.m_pSearchFrame && !device.m_pUpgradeFrame && !device.m_pChangeDevice);
    for (int kind = 0; kind < TableKindCount; ++kind)
        QCOMPARE(device.CheckState(kind), 0);
    for (uint8_t flag : device.m_resetGroups)
        QCOMPARE(flag, uint8_t(0));
    QVERIFY(device.m_userRecords.empty() && device.m_streamRecords.empty() && device.m_osdRecords.empty());
    QVERIFY(device.Ip().isEmpty());
}

void TestDeviceInfo::statusText_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("text");

    const QList<QPair<int, int>> table = { { 0, 15 }, { 1, 16 }, { 2, 17 }, { 3, 18 }, { 4, 19 }, { 5, 20 }, { 6, 21 },
        { 7, 22 }, { 8, 23 }, { 9, 24 }, { 10, 25 }, { 11, 26 }, { 13, 28 }, { 14, 29 }, { 15, 30 }, { 16, 121 },
        { 17, 122 }, { 18, 123 }, { 19, 124 }, { 20, 140 }, { 21, 141 }, { 24, 186 }, { 25, 201 }, { 26, 202 },
        { 27, 203 }, { 28, 204 }, { 29, 205 }, { 30, 206 }, { 31, 76 }, { 32, 225 }, { 33, 75 }, { 34, 226 },
        { 35, 230 }, { 36, 231 }, { 37, 232 }, { 38, 233 }, { 39, 237 } };
    for (const auto& row : table)
        QTest::addRow("status %d", row.first) << row.first << -1 << T(row.second);
    QTest::newRow("upgrading 57%") << 12 << 57 << QStringLiteral("T2757");
    QTest::newRow("upgrading, no progress yet") << 12 << -1 << QStringLiteral("T27-1");
    QTest::newRow("none") << -1 << -1 << QString();
    QTest::newRow("reserved 22") << 22 << -1 << QString();
    QTest::newRow("reserved 23") << 23 << -1 << QString();
    QTest::newRow("beyond the table") << 40 << -1 << QString();
    QTest::newRow("below the table") << -2 << -1 << QString();
    QTest::newRow("far out") << 1000000 << -1 << QString();
}

void TestDeviceInfo::statusText()
{
    QFETCH(int, status);
    QFETCH(int, progress);
    QFETCH(QString, text);
    DeviceInfo device;
    device.m_status = status;
    device.m_upgradeProgress = progress;
    QCOMPARE(device.StatusText(), text);
}

void TestDeviceInfo::setParamsMapsResolutionAndEncoding_data()
{
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("fps");
    QTest::addColumn<int>("resolutionIndex");
    QTest::addColumn<int>("encodeIndex");
    QTest::addColumn<int>("fpsValue");

    // The device starts at resolution 7 and encoding 2.
    QTest::newRow("1920*1080 is row 21, never 22") << "1920*1080"
                                                   << "H265"
                                                   << "25" << 21 << 1 << 25;
    QTest::newRow("3000*3000 is row 64, never 65") << "3000*3000"
                                                   << "H264"
                                                   << "30" << 64 << 0 << 30;
    QTest::newRow("2048*1536 is row 15, never 25 or 30") << "2048*1536"
                                                         << "H265+"
                                                         << "15" << 15 << 4 << 15;
    QTest::newRow("first row") << "176*144"
                               << "H264+"
                               << "1" << 0 << 3 << 1;
    QTest::newRow("last row") << "4096*3072"
                              << "MJPEG"
                              << "60" << 71 << 2 << 60;
    QTest::newRow("unknown texts keep both indexes") << "1921*1080"
                                                     << "h264"
                                                     << "abc" << 7 << 2 << 0;
    QTest::newRow("empty texts keep both indexes") << ""
                                                   << ""
                                                   << "" << 7 << 2 << 0;
    QTest::newRow("match is exact") << " 1920*1080"
                                    << "H264 "
                                    << "25fps" << 7 << 2 << 0;
}

void TestDeviceInfo::setParamsMapsResolutionAndEncoding()
{
    QFETCH(QString, resolution);
    QFETCH(QString, encoding);
    QFETCH(QString, fps);
    QFETCH(int, resolutionIndex);
    QFETCH(int, encodeIndex);
    QFETCH(int, fpsValue);

    DeviceInfo device;
    device.m_resolutionIndex = 7;
    device.m_encodeTypeIndex = 2;
    device.SetParams("u", "p", "n", "c", fps, encoding, resolution, 1, 3, 2048, 1);
    QCOMPARE(device.m_resolutionIndex, resolutionIndex);
    QCOMPARE(device.m_encodeTypeIndex, encodeIndex);
    QCOMPARE(device.m_fps, fpsValue);
    QCOMPARE(device.m_resolutionName, resolution);
    QCOMPARE(device.m_user, QStringLiteral("u"));
    QCOMPARE(device.m_password, QStringLiteral("p"));
    QCOMPARE(device.m_newPassword, QStringLiteral("n"));
    QCOMPARE(device.m_confirmPassword, QStringLiteral("c"));
    QCOMPARE(device.m_streamIndex, 1);
    QCOMPARE(device.m_bitrateIndex, 3);
    QCOMPARE(device.m_customBitrate, 2048);
    QCOMPARE(device.m_bitrateMode, 1);
}

void TestDeviceInfo::resolutionTextsGiveTheirFirstRow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    // Rows 22, 25, 30 and 65 repeat earlier texts: the first match wins, so their
    // indexes are never produced, and every other row keeps its number.
    QTest::newRow("row 0") << "176*144" << 0;
    QTest::newRow("row 1") << "352*288" << 1;
    QTest::newRow("row 2") << "352*576" << 2;
    QTest::newRow("row 3") << "704*288" << 3;
    QTest::newRow("row 4") << "704*576" << 4;
    QTest::newRow("row 5") << "236*144" << 5;
    QTest::newRow("row 6") << "464*288" << 6;
    QTest::newRow("row 7") << "464*576" << 7;
    QTest::newRow("row 8") << "928*288" << 8;
    QTest::newRow("row 9") << "928*576" << 9;
    QTest::newRow("row 10") << "320*240" << 10;
    QTest::newRow("row 11") << "640*480" << 11;
    QTest::newRow("row 12") << "1024*768" << 12;
    QTest::newRow("row 13") << "1400*1050" << 13;
    QTest::newRow("row 14") << "1600*1200" << 14;
    QTest::newRow("row 15") << "2048*1536" << 15;
    QTest::newRow("row 16") << "854*480" << 16;
    QTest::newRow("row 17") << "1680*1050" << 17;
    QTest::newRow("row 18") << "1920*1200" << 18;
    QTest::newRow("row 19") << "2560*1600" << 19;
    QTest::newRow("row 20") << "1280*720" << 20;
    QTest::newRow("row 21") << "1920*1080" << 21;
    QTest::newRow("row 22 repeats row 21") << "1920*1080" << 21;
    QTest::newRow("row 23") << "720*576" << 23;
    QTest::newRow("row 24") << "1280*960" << 24;
    QTest::newRow("row 25 repeats row 15") << "2048*1536" << 15;
    QTest::newRow("row 26") << "2592*1944" << 26;
    QTest::newRow("row 27") << "2048*1520" << 27;
    QTest::newRow("row 28") << "2304*1296" << 28;
    QTest::newRow("row 29") << "3840*2160" << 29;
    QTest::newRow("row 30 repeats row 15") << "2048*1536" << 15;
    QTest::newRow("row 31") << "240*240" << 31;
    QTest::newRow("row 32") << "256*256" << 32;
    QTest::newRow("row 33") << "480*480" << 33;
    QTest::newRow("row 34") << "512*512" << 34;
    QTest::newRow("row 35") << "720*720" << 35;
    QTest::newRow("row 36") << "1024*1024" << 36;
    QTest::newRow("row 37") << "1080*1080" << 37;
    QTest::newRow("row 38") << "1280*1280" << 38;
    QTest::newRow("row 39") << "1520*1520" << 39;
    QTest::newRow("row 40") << "1536*1536" << 40;
    QTest::newRow("row 41") << "1920*1920" << 41;
    QTest::newRow("row 42") << "1944*1944" << 42;
    QTest::newRow("row 43") << "1960*1960" << 43;
    QTest::newRow("row 44") << "1984*1984" << 44;
    QTest::newRow("row 45") << "2016*2016" << 45;
    QTest::newRow("row 46") << "2048*2048" << 46;
    QTest::newRow("row 47") << "2064*2064" << 47;
    QTest::newRow("row 48") << "2080*2080" << 48;
    QTest::newRow("row 49") << "2096*2096" << 49;
    QTest::newRow("row 50") << "2128*2128" << 50;
    QTest::newRow("row 51") << "2144*2144" << 51;
    QTest::newRow("row 52") << "2160*2160" << 52;
    QTest::newRow("row 53") << "2560*2560" << 53;
    QTest::newRow("row 54") << "2832*2832" << 54;
    QTest::newRow("row 55") << "2848*2848" << 55;
    QTest::newRow("row 56") << "2864*2864" << 56;
    QTest::newRow("row 57") << "2880*2880" << 57;
    QTest::newRow("row 58") << "2896*2896" << 58;
    QTest::newRow("row 59") << "2912*2912" << 59;
    QTest::newRow("row 60") << "2928*2928" << 60;
    QTest::newRow("row 61") << "2944*2944" << 61;
    QTest::newRow("row 62") << "2960*2960" << 62;
    QTest::newRow("row 63") << "2976*2976" << 63;
    QTest::newRow("row 64") << "3000*3000" << 64;
    QTest::newRow("row 65 repeats row 64") << "3000*3000" << 64;
    QTest::newRow("row 66") << "3072*1728" << 66;
    QTest::newRow("row 67") << "2880*2160" << 67;
    QTest::newRow("row 68") << "2560*1440" << 68;
    QTest::newRow("row 69") << "2944*1656" << 69;
    QTest::newRow("row 70") << "2880*1620" << 70;
    QTest::newRow("row 71") << "4096*3072" << 71;
}

void TestDeviceInfo::resolutionTextsGiveTheirFirstRow()
{
    QFETCH(QString, text);
    QFETCH(int, index);
    QCOMPARE(DeviceInfo::ResolutionCount, 72);
    DeviceInfo device;
    device.m_resolutionIndex = -1;
    device.SetParams("", "", "", "", "", "", text, 0, 0, 0, 0);
    QCOMPARE(device.m_resolutionIndex, index);
}

void TestDeviceInfo::setParamsKeepsTextsForHttpCustomers()
{
    for (int company : { 43, 44 }) {
        ZVAppSetting::Instance()->m_company = company;
        DeviceInfo device;
        device.m_resolutionIndex = 7;
        device.m_bitrateIndex = 4;
        device.SetParams("u", "p", "n", "c", "25", "H265", "1920*1080", 1, 3, 4096, 1);
        QCOMPARE(device.m_resolutionText, QStringLiteral("1920*1080"));
        QCOMPARE(device.m_fpsText, QStringLiteral("25"));
        QCOMPARE(device.m_encodeTypeText, QStringLiteral("H265"));
        QCOMPARE(device.m_streamIndex, 1);
        QCOMPARE(device.m_customBitrate, 4096);
        QCOMPARE(device.m_bitrateMode, 1);
        QCOMPARE(device.m_bitrateIndex, 4);
        QCOMPARE(device.m_resolutionIndex, 7);
        QCOMPARE(device.m_fps, 0);
        QVERIFY(device.m_resolutionName.isEmpty());
        QCOMPARE(device.m_confirmPassword, QStringLiteral("c"));
    }
}

void TestDeviceInfo::p2pId_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("isNull");

    QTest::newRow("empty") << QByteArray() << QString() << true;
    QTest::newRow("hyphen first") << QByteArray("-ABCD") << QString() << true;
    QTest::newRow("space first") << QByteArray(" ABCD") << QString() << true;
    QTest::newRow("latin-1 letter first") << QByteArray("\xe9"
                                                        "ABC")
                                          << QString() << true;
    QTest::newRow("letter first") << QByteArray("ZV123-abc") << QStringLiteral("ZV123-abc") << false;
    QTest::newRow("digit first") << QByteArray("9xyz") << QStringLiteral("9xyz") << false;
    QTest::newRow("fills the field") << QByteArray(38, 'P') << QString(38, 'P') << false;
}

void TestDeviceInfo::p2pId()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, id);
    QFETCH(bool, isNull);
    SearchDevRsp record = Record();
    std::memcpy(record.p2pId, field.constData(), field.size());
    DeviceInfo device;
    device.InitFromSearchRsp(&record, false);
    QCOMPARE(device.P2pId(), id);
    QCOMPARE(device.P2pId().isNull(), isNull);
}

void TestDeviceInfo::channelCount_data()
{
    QTest::addColumn<int>("countByte");
    QTest::addColumn<int>("channelNumber");
    QTest::addColumn<int>("count");
    QTest::newRow("byte preferred") << 4 << 1 << 4;
    QTest::newRow("byte 0: channel number") << 0 << 16 << 16;
    QTest::newRow("negative byte: channel number") << -3 << 8 << 8;
    QTest::newRow("both 0") << 0 << 0 << 0;
}

void TestDeviceInfo::channelCount()
{
    QFETCH(int, countByte);
    QFETCH(int, channelNumber);
    QFETCH(int, count);
    DeviceInfo device;
    device.m_searchRsp.channelCount = static_cast<int8_t>(countByte);
    device.m_searchRsp.channelNumber = channelNumber;
    QCOMPARE(device.ChannelCount(), count);
}

void TestDeviceInfo::dateText_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("valid") << 2021 << 3 << 5 << QStringLiteral("2021-3-5");
    QTest::newRow("two-digit parts") << 2021 << 12 << 31 << QStringLiteral("2021-12-31");
    QTest::newRow("month 13") << 2021 << 13 << 5 << QString();
    QTest::newRow("month 0") << 2021 << 0 << 5 << QString();
    QTest::newRow("day 0") << 2021 << 3 << 0 << QString();
    QTest::newRow("day 32") << 2021 << 3 << 32 << QString();
    QTest::newRow("year 0") << 0 << 3 << 5 << QString();
    QTest::newRow("largest year") << 65535 << 1 << 1 << QStringLiteral("65535-1-1");
}

void TestDeviceInfo::dateText()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, text);
    DeviceInfo device;
    device.m_searchRsp.year = static_cast<uint16_t>(year);
    device.m_searchRsp.month = static_cast<uint8_t>(month);
    device.m_searchRsp.day = static_cast<uint8_t>(day);
    QCOMPARE(device.DateText(), text);
}

void TestDeviceInfo::versionMatchText_data()
{
    QTest::addColumn<QString>("deviceVersion");
    QTest::addColumn<QString>("matchVersion");
    QTest::addColumn<QString>("text");
    QTest::newRow("equal") << "V2.1.0"
                           << "V2.1.0" << T(146);
    QTest::newRow("case differs only") << "v2.1.0-abc"
                                       << "V2.1.0-ABC" << T(146);
    QTest::newRow("different") << "V2.1.0"
                               << "V2.1.1" << T(147);
    QTest::newRow("no device version") << ""
                                       << "V2.1.0" << QString();
    QTest::newRow("no match version") << "V2.1.0"
                                      << "" << QString();
}

void TestDeviceInfo::versionMatchText()
{
    QFETCH(QString, deviceVersion);
    QFETCH(QString, matchVersion);
    QFETCH(QString, text);
    DeviceInfo device;
    device.m_deviceVersionText = deviceVersion;
    device.m_matchVersion = matchVersion;
    QCOMPARE(device.VersionMatchText(), text);
}

void TestDeviceInfo::netModeText_data()
{
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("DHCP") << 0u << T(56);
    QTest::newRow("PPPoE") << 1u << T(57);
    QTest::newRow("static") << 2u << T(58);
    QTest::newRow("3G") << 3u << T(188);
    QTest::newRow("Wi-Fi") << 4u << T(187);
    QTest::newRow("unknown") << 5u << T(55);
    QTest::newRow("huge") << 0xffffffffu << T(55);
}

void TestDeviceInfo::netModeText()
{
    QFETCH(uint, mode);
    QFETCH(QString, text);
    DeviceInfo device;
    device.m_searchRsp.networkMode = mode;
    QCOMPARE(device.NetModeText(), text);
}

void TestDeviceInfo::initFromSearchRspCopiesWholeRecord()
{
    SearchDevRsp record = Record();
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 282; i < sizeof(record); ++i)
        bytes[i] = static_cast<unsigned char>(i);
    DeviceInfo device;
    device.InitFromSearchRsp(&record, false);
    QVERIFY(std::memcmp(&device.m_searchRsp, &record, sizeof(record)) == 0);
    QVERIFY(!device.m_bOnvif);
    QCOMPARE(device.Ip(), QStringLiteral("192.168.1.20"));
    QCOMPARE(device.NetModeText(), T(56));

    device.InitFromSearchRsp(nullptr, true);
    QVERIFY(std::memcmp(&device.m_searchRsp, &record, sizeof(record)) == 0);
}

void TestDeviceInfo::initFromOnvifSearchRspKeepsOnlyTheHead()
{
    SearchDevRsp record = Record();
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 282; i < sizeof(record); ++i)
        bytes[i] = 0x5a;
    DeviceInfo device;
    device.InitFromSearchRsp(&record, true);
    QVERIFY(device.m_bOnvif);
    const auto* copy = reinterpret_cast<const unsigned char*>(&device.m_searchRsp);
    for (std::size_t i = 282; i < sizeof(record); ++i)
        QCOMPARE(int(copy[i]), 0);
    QCOMPARE(device.m_searchRsp.mediaPort, 0u);
    QCOMPARE(device.m_searchRsp.webPort, 8080u);
    QCOMPARE(device.NetModeText(), T(58));
    QCOMPARE(device.Ip(), QStringLiteral("192.168.1.20"));
    QCOMPARE(device.DeviceName(), QStringLiteral("Gate"));
    QVERIFY(device.P2pId().isNull());
}

void TestDeviceInfo::unterminatedFieldsAreReadWithinTheirWidth()
{
    SearchDevRsp record = Record();
    FillField(record.ip, '1');
    FillField(record.deviceName, 'N');
    FillField(record.deviceType, 'T');
    FillField(record.deviceVersion, 'V');
    FillField(record.mac, 'M');
    FillField(record.manufacture, 'F');
    DeviceInfo device;
    device.InitFromSearchRsp(&record, false);
    // An address can never fill its field, so its copy is terminated.
    QCOMPARE(device.Ip(), QString(15, '1'));
    QCOMPARE(device.m_searchRsp.ip[15], '\0');
    QCOMPARE(device.DeviceName(), QString(36, 'N'));
    QCOMPARE(device.DeviceType(), QString(28, 'T'));
    QCOMPARE(device.DeviceVersion(), QString(36, 'V'));
    QCOMPARE(device.Mac(), QString(36, 'M'));
    QCOMPARE(device.Manufacture(), QString(32, 'F'));
    QCOMPARE(device.Netmask(), QStringLiteral("255.255.255.0"));
    QCOMPARE(device.Gateway(), QStringLiteral("192.168.1.1"));
}

void TestDeviceInfo::setNetworkParams_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("mediaPort");
    QTest::addColumn<int>("webPort");
    QTest::addColumn<int>("httpPort");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("dns1");
    QTest::addColumn<QString>("dns2");

    // m_newWebPort starts at 1234 to show what the HTTP customers leave alone.
    QTest::newRow("code 0, typed") << 0 << true << "10.0.0.5" << 9100 << 81 << 0 << "10.0.0.1"
                                   << "255.0.0.0"
                                   << "9.9.9.9"
                                   << "1.1.1.1";
    QTest::newRow("code 0, empty: device values") << 0 << false << "192.168.1.20" << 9000 << 8080 << 0 << "192.168.1.1"
                                                  << "255.255.255.0"
                                                  << "8.8.4.4"
                                                  << "1.0.0.1";
    QTest::newRow("code 43, typed") << 43 << true << "10.0.0.5" << 9100 << 1234 << 81 << "10.0.0.1"
                                    << "255.0.0.0"
                                    << "9.9.9.9"
                                    << "1.1.1.1";
    QTest::newRow("code 44, empty: device values")
        << 44 << false << "192.168.1.20" << 9000 << 1234 << 8080 << "192.168.1.1"
        << "255.255.255.0"
        << "8.8.4.4"
        << "1.0.0.1";
    QTest::newRow("code 45 is no HTTP customer") << 45 << true << "10.0.0.5" << 9100 << 81 << 0 << "10.0.0.1"
                                                 << "255.0.0.0"
                                                 << "9.9.9.9"
                                                 << "1.1.1.1";
}

void TestDeviceInfo::setNetworkParams()
{
    QFETCH(int, company);
    QFETCH(bool, typed);
    QFETCH(QString, ip);
    QFETCH(int, mediaPort);
    QFETCH(int, webPort);
    QFETCH(int, httpPort);
    QFETCH(QString, gateway);
    QFETCH(QString, netmask);
    QFETCH(QString, dns1);
    QFETCH(QString, dns2);

    ZVAppSetting::Instance()->m_company = company;
    SearchDevRsp record = Record();
    DeviceInfo device;
    device.InitFromSearchRsp(&record, false);
    device.m_newWebPort = 1234;
    if (typed)
        device.SetNetworkParams("10.0.0.5", 9100, 81, "10.0.0.1", "255.0.0.0", 1, "9.9.9.9", "1.1.1.1");
    else
        device.SetNetworkParams(QString(), 0, 0, QString(), QString(), 0, QString(), QString());
    QCOMPARE(device.m_newIp, ip);
    QCOMPARE(int(device.m_newMediaPort), mediaPort);
    QCOMPARE(int(device.m_newWebPort), webPort);
    QCOMPARE(device.m_newHttpPort, httpPort);
    QCOMPARE(device.m_newGateway, gateway);
    QCOMPARE(device.m_newNetmask, netmask);
    QCOMPARE(device.m_newDns1, dns1);
    QCOMPARE(device.m_newDns2, dns2);
    QCOMPARE(device.m_newDhcp, typed ? 1 : 0);
}

void TestDeviceInfo::setNetworkAddressAlwaysSetsWebPort()
{
    ZVAppSetting::Instance()->m_company = 43;
    SearchDevRsp record = Record();
    DeviceInfo device;
    device.InitFromSearchRsp(&record, false);
    device.m_newDns1 = QStringLiteral("kept");
    device.SetNetworkAddress(QString(), 0, 81, QString(), "255.255.0.0", 2);
    QCOMPARE(device.m_newIp, QStringLiteral("192.168.1.20"));
    QCOMPARE(int(device.m_newMediaPort), 9000);
    QCOMPARE(int(device.m_newWebPort), 81);
    QCOMPARE(device.m_newHttpPort, 0);
    QCOMPARE(device.m_newNetmask, QStringLiteral("255.255.0.0"));
    QCOMPARE(device.m_newDns1, QStringLiteral("kept"));
    QCOMPARE(device.m_newDhcp, 2);
}

void TestDeviceInfo::resetGroupsFillTheirOwnBytes()
{
    DeviceInfo device;
    device.SetHttpResetGroups(true, false, true, false, true, false, true, false, true);
    QCOMPARE(device.m_resetMode, 1);
    device.SetSdkResetGroups(true, true, false, false, false, false, false, false, false, false, true);
    QCOMPARE(device.m_resetMode, 0);
    const QByteArray flags(reinterpret_cast<const char*>(device.m_resetGroups), sizeof(device.m_resetGroups));
    QCOMPARE(flags,
        QByteArray::fromHex("0101000000000000000001"
                            "010001000100010001"));
}

void TestDeviceInfo::setDeviceNameTypeWritesLatin1()
{
    DeviceInfo device;
    device.SetDeviceNameType("u", "p", QStringLiteral("Cam\u00e9ra"), QStringLiteral("IPC"));
    QCOMPARE(device.m_user, QStringLiteral("u"));
    QCOMPARE(device.m_password, QStringLiteral("p"));
    QCOMPARE(device.m_newDeviceName, std::string("Cam\xe9ra"));
    QCOMPARE(device.m_newDeviceType, std::string("IPC"));
}

void TestDeviceInfo::collectorsAppendOneCopyPerRecord()
{
    DeviceInfo device;
    for (int i = 0; i < 3; ++i) {
        ZVNetUserParam user;
        std::memset(&user, 'a' + i, sizeof(user));
        DeviceInfo::OnUserRecord(&user, &device);
        ZVNetStreamParam stream;
        std::memset(&stream, i + 1, sizeof(stream));
        DeviceInfo::OnStreamRecord(&stream, &device);
    }
    ZVNetOsdParam osd;
    std::memset(&osd, 0x77, sizeof(osd));
    DeviceInfo::OnOsdRecord(&osd, &device);
    ZVNetUserHeader header;
    std::memset(&header, 0x42, sizeof(header));
    DeviceInfo::OnUserListHeader(&header, &device);

    // Calls without a record or a device are dropped.
    DeviceInfo::OnUserRecord(nullptr, &device);
    DeviceInfo::OnStreamRecord(&osd, nullptr);
    DeviceInfo::OnOsdRecord(nullptr, nullptr);
    DeviceInfo::OnUserListHeader(nullptr, &device);

    QCOMPARE(device.m_userRecords.size(), std::size_t(3));
    QCOMPARE(device.m_streamRecords.size(), std::size_t(3));
    QCOMPARE(device.m_osdRecords.size(), std::size_t(1));
    QCOMPARE(device.m_userRecords[2].longUserName[31], 'c');
    QCOMPARE(int(device.m_streamRecords[1].reserved124[7]), 2);
    QCOMPARE(int(device.m_osdRecords[0].reserved56[1639]), 0x77);
    QCOMPARE(int(device.m_userListHeader.part[2][15]), 0x42);
}

void TestDeviceInfo::copyLatin1CutsToTheField()
{
    char buffer[20];
    std::memset(buffer, '#', sizeof(buffer));
    CopyLatin1(QStringLiteral("192.168.100.200-extra"), buffer, 16);
    QCOMPARE(QByteArray(buffer), QByteArray("192.168.100.200"));
    QCOMPARE(buffer[16], '#');

    std::memset(buffer, '#', sizeof(buffer));
    CopyLatin1(QStringLiteral("Caf\u00e9 \u20ac"), buffer, 16);
    QCOMPARE(QByteArray(buffer), QByteArray("Caf\xe9 ?"));
    QCOMPARE(buffer[7], '#');

    char field[4] = { 'x', 'x', 'x', 'x' };
    CopyLatin1(QString(), field);
    QCOMPARE(field[0], '\0');
    QCOMPARE(field[1], 'x');
    std::memset(buffer, '#', sizeof(buffer));
    CopyLatin1(QStringLiteral("abc"), buffer, 0); // a zero-width field takes nothing
    QCOMPARE(buffer[0], '#');
    QVERIFY(FieldText(field, 0).isNull());
}

void TestDeviceInfo::checkStatePerKind()
{
    DeviceInfo device;
    device.SetCheckState(TableKindUpgrade, Qt::Checked);
    device.SetCheckState(-1, Qt::Checked);
    device.SetCheckState(TableKindCount, Qt::Checked);
    QCOMPARE(device.CheckState(TableKindUpgrade), int(Qt::Checked));
    QCOMPARE(device.CheckState(TableKindSearch), 0);
    QCOMPARE(device.CheckState(-1), 0);
    QCOMPARE(device.CheckState(TableKindCount), 0);
    QVERIFY(!device.LastColumnIndex(99).isValid());
}

void TestDeviceInfo::eventsReachTheirReceiver()
{
    QUpgradeEvent upgrade(394);
    QCOMPARE(int(upgrade.type()), 1001);
    QCOMPARE(upgrade.value, 0);
    QCOMPARE(upgrade.extra, -1);

    EventSink sink;
    PostDeviceEvent(&sink, new QConnectEvent(101));
    PostDeviceEvent(nullptr, new QConnectEvent(3)); // freed, never delivered
    PostDeviceEvent(&sink, new QUpgradeEvent(391));
    QCoreApplication::sendPostedEvents(&sink);
    QCOMPARE(sink.types, (QList<int> { 1000, 1001 }));
    QCOMPARE(sink.codes, QList<int> { 101 });
}

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_deviceinfo.moc"
