// Stream, on-screen display and clock workers end to end, through the SDK's
// records and the HTTP JSON API: values round-trip through the fake device,
// records the device sends are read within their size, and every failure
// ends in the query or set failure status.

#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "OperationFixtures.h"

#include <QTimeZone>

#include <cstring>
#include <functional>

using fakedevice::Bytes;
using fakedevice::Faults;
using fakedevice::HttpFaults;
using namespace TestSupport;

namespace
{
const char* const kOsdGetPath = "/API/ChannelConfig/OSD/Get";
const char* const kOsdSetPath = "/API/ChannelConfig/OSD/Set";
const char* const kClockGetPath = "/API/SystemConfig/DateTime/Get";
const char* const kClockSetPath = "/API/SystemConfig/DateTime/Set";
const int kAnyStatus = -100;

struct StreamValues
{
    uint8_t mode = 0;
    uint8_t index = 0;
    uint16_t custom = 0;
    uint8_t fps = 25;
    uint8_t resolution = 0;
    uint8_t encode = 0;
};

// A stream record with entry i sized (1000 + i) x (500 + i).
ZVNetStreamParam StreamRecord(const StreamValues& values)
{
    ZVNetStreamParam record;
    std::memset(&record, 0, sizeof(record));
    record.bitrateMode = values.mode;
    record.bitrateIndex = values.index;
    record.customBitrate = values.custom;
    record.frameRate = values.fps;
    record.resolutionIndex = values.resolution;
    record.encodeType = values.encode;
    auto* bytes = reinterpret_cast<uint8_t*>(&record);
    for (uint16_t i = 0; i < ZVNET_STREAM_RESOLUTION_COUNT; ++i) {
        const uint16_t size[2] = { uint16_t(1000 + i), uint16_t(500 + i) };
        std::memcpy(bytes + ZVNET_STREAM_RESOLUTION_OFFSET + ZVNET_STREAM_RESOLUTION_STRIDE * i, size, 4);
    }
    return record;
}

template <typename Record> Bytes RecordBytes(const Record& record)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    return Bytes(bytes, bytes + sizeof(record));
}

template <typename Record> Record StoredRecord(const fakedevice::DeviceState& state, uint32_t id, size_t index = 0)
{
    Record record;
    std::memset(&record, 0, sizeof(record));
    const Bytes& all = state.params.at(id);
    if (all.size() >= (index + 1) * sizeof(Record))
        std::memcpy(&record, all.data() + index * sizeof(Record), sizeof(Record));
    return record;
}

QDateTime March9(int offsetSeconds)
{
    return QDateTime(QDate(2026, 3, 9), QTime(7, 5, 3), QTimeZone(offsetSeconds));
}
} // namespace

class TestStreamOsd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void sdkStreamQuery_data();
    void sdkStreamQuery();
    void sdkStreamSet_data();
    void sdkStreamSet();
    void sdkRecordFailures_data();
    void sdkRecordFailures();
    void sdkOsdRoundTrip_data();
    void sdkOsdRoundTrip();
    void sdkOsdNameFillsItsField_data();
    void sdkOsdNameFillsItsField();
    void sdkClockSet();
    void sdkClockSetYears_data();
    void sdkClockSetYears();
    void httpStreamRoundTrip_data();
    void httpStreamRoundTrip();
    void httpStreamFailures_data();
    void httpStreamFailures();
    void httpOsdRoundTrip();
    void httpOsdChannels_data();
    void httpOsdChannels();
    void httpOsdFailures_data();
    void httpOsdFailures();
    void httpQueriesDefaultWhatIsLeftOut_data();
    void httpQueriesDefaultWhatIsLeftOut();
    void httpClockSet_data();
    void httpClockSet();
    void httpClockFailures_data();
    void httpClockFailures();

private:
    // Runs entry for a device set up by setup and returns its end status;
    // checks the report that ends it.
    int Run(void (*entry)(void*), Api api, DeviceTaskListener* DeviceInfo::*page,
        const std::function<void(DeviceInfo&)>& setup, std::unique_ptr<DeviceInfo>* keep = nullptr);
    void SetSdkStreams(uint32_t id, const std::vector<ZVNetStreamParam>& records);

    std::unique_ptr<DevicePairBench> m_bench;
};

void TestStreamOsd::initTestCase()
{
    m_bench = std::make_unique<DevicePairBench>(60);
    QVERIFY(m_bench->Listening());
}

void TestStreamOsd::init()
{
    m_bench->Reset();
}

void TestStreamOsd::cleanupTestCase()
{
    m_bench.reset();
}

int TestStreamOsd::Run(void (*entry)(void*), Api api, DeviceTaskListener* DeviceInfo::*page,
    const std::function<void(DeviceInfo&)>& setup, std::unique_ptr<DeviceInfo>* keep)
{
    m_bench->Log().Clear();
    auto device = m_bench->MakeDevice(api, page);
    if (setup)
        setup(*device);
    if (!m_bench->RunToEnd(entry, device.get()))
        return -1;
    const TaskReport last = m_bench->LastReport();
    // The worker's report: the row refreshes, the device is logged out, the
    // records it used are gone.
    if (last.finished || !last.onGuiThread || device->m_bLogin || !device->m_streamRecords.empty()
        || !device->m_osdRecords.empty())
        return -2;
    const int status = last.status;
    if (keep)
        *keep = std::move(device);
    return status;
}

void TestStreamOsd::SetSdkStreams(uint32_t id, const std::vector<ZVNetStreamParam>& records)
{
    m_bench->Sdk().Update([&](fakedevice::DeviceState& state) {
        Bytes all;
        for (const ZVNetStreamParam& record : records) {
            const Bytes bytes = RecordBytes(record);
            all.insert(all.end(), bytes.begin(), bytes.end());
        }
        state.channels = static_cast<int>(records.size());
        state.params[id] = all;
    });
}

void TestStreamOsd::sdkStreamQuery_data()
{
    QTest::addColumn<int>("stream");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<uint>("index");
    QTest::addColumn<uint>("resolution");
    QTest::addColumn<uint>("encode");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("bitrate");
    QTest::addColumn<QString>("resolutionText");
    QTest::addColumn<QString>("encodeText");

    QTest::newRow("main, index 28 is 3072") << 0 << 0u << 28u << 2u << 1u << int(StatusQueryOk) << 3072 << "1002*502"
                                            << "H265";
    QTest::newRow("main, index 40 gives 1024") << 0 << 0u << 40u << 0u << 3u << int(StatusQueryOk) << 1024 << "1000*500"
                                               << "H264+";
    QTest::newRow("sub, index 40 gives 512") << 1 << 0u << 40u << 0u << 4u << int(StatusQueryOk) << 512 << "1000*500"
                                             << "H265+";
    QTest::newRow("sub, index 21 is 3072") << 1 << 0u << 21u << 0u << 2u << int(StatusQueryOk) << 3072 << "1000*500"
                                           << "MJPEG";
    QTest::newRow("user-defined bitrate") << 0 << 1u << 3u << 0u << 0u << int(StatusQueryOk) << 777 << "1000*500"
                                          << "H264";
    QTest::newRow("encoding 7 keeps the text") << 0 << 0u << 0u << 0u << 7u << int(StatusQueryOk) << 32 << "1000*500"
                                               << "before";
    QTest::newRow("last entry of the record") << 0 << 0u << 0u << 8u << 0u << int(StatusQueryOk) << 32 << "1008*508"
                                              << "H264";
    QTest::newRow("entry beyond the record") << 0 << 0u << 0u << 9u << 0u << int(StatusQueryFailed) << -1 << "before"
                                             << "before";
    QTest::newRow("entry 255") << 1 << 0u << 0u << 255u << 0u << int(StatusQueryFailed) << -1 << "before"
                               << "before";
}

void TestStreamOsd::sdkStreamQuery()
{
    QFETCH(int, stream);
    QFETCH(uint, mode);
    QFETCH(uint, index);
    QFETCH(uint, resolution);
    QFETCH(uint, encode);
    QFETCH(int, status);
    QFETCH(int, bitrate);
    QFETCH(QString, resolutionText);
    QFETCH(QString, encodeText);
    StreamValues values;
    values.mode = uint8_t(mode);
    values.index = uint8_t(index);
    values.custom = 777;
    values.fps = 12;
    values.resolution = uint8_t(resolution);
    values.encode = uint8_t(encode);
    SetSdkStreams(stream == 0 ? ZVNET_PARAM_MAIN_STREAM : ZVNET_PARAM_SUB_STREAM, { StreamRecord(values) });

    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(
                 &QueryStreamTask, Api::Sdk, &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) {
                     d.m_streamIndex = stream;
                     d.m_customBitrate = -1;
                     d.m_resolutionText = d.m_encodeTypeText = QStringLiteral("before");
                 },
                 &device),
        status);
    QCOMPARE(device->m_customBitrate, bitrate);
    QCOMPARE(device->m_resolutionText, resolutionText);
    QCOMPARE(device->m_encodeTypeText, encodeText);
    if (status == StatusQueryOk) {
        QCOMPARE(device->m_fpsText, QStringLiteral("12"));
        QCOMPARE(device->m_bitrateMode, int(mode));
        QCOMPARE(device->m_bitrateIndex, int(index));
    }
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestStreamOsd::sdkStreamSet_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<uint>("resolutionIndex");
    QTest::newRow("predefined, entry 3") << 0 << "1003*503" << 3u;
    QTest::newRow("user-defined, entry 7") << 1 << "1007*507" << 7u;
    QTest::newRow("entry 8 is not settable") << 0 << "1008*508" << 2u;
    QTest::newRow("unknown resolution") << 1 << "640*480" << 2u;
}

void TestStreamOsd::sdkStreamSet()
{
    QFETCH(int, mode);
    QFETCH(QString, resolution);
    QFETCH(uint, resolutionIndex);
    StreamValues first;
    first.index = 4;
    first.custom = 100;
    first.resolution = 2;
    StreamValues second = first;
    second.fps = 30;
    const ZVNetStreamParam other = StreamRecord(second);
    SetSdkStreams(ZVNET_PARAM_SUB_STREAM, { StreamRecord(first), other });

    QCOMPARE(Run(&SetStreamTask, Api::Sdk, &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) {
                     d.m_streamIndex = 1;
                     d.m_fps = 20;
                     d.m_encodeTypeIndex = 4;
                     d.m_bitrateMode = mode;
                     d.m_bitrateIndex = 9;
                     d.m_customBitrate = 3333;
                     d.m_resolutionName = resolution;
                 }),
        int(StatusOk));
    const fakedevice::DeviceState state = m_bench->Sdk().State();
    ZVNetStreamParam expected = StreamRecord(first);
    expected.frameRate = 20;
    expected.encodeType = 4;
    expected.bitrateMode = uint8_t(mode);
    expected.resolutionIndex = uint8_t(resolutionIndex);
    if (mode == 0)
        expected.bitrateIndex = 9;
    else
        expected.customBitrate = 3333;
    QVERIFY(RecordBytes(StoredRecord<ZVNetStreamParam>(state, ZVNET_PARAM_SUB_STREAM)) == RecordBytes(expected));
    // Every record went back; only the first changed.
    QVERIFY(RecordBytes(StoredRecord<ZVNetStreamParam>(state, ZVNET_PARAM_SUB_STREAM, 1)) == RecordBytes(other));
}

void TestStreamOsd::sdkRecordFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    for (const char* operation : { "query stream", "set stream", "query osd", "set osd" }) {
        const bool query = QByteArray(operation).startsWith("query");
        const int status = query ? int(StatusQueryFailed) : int(StatusFailed);
        QTest::addRow("%s: no record", operation) << operation << "empty" << status;
        QTest::addRow("%s: records cut short", operation) << operation << "truncated" << status;
        QTest::addRow("%s: records too long", operation) << operation << "oversized" << status;
        QTest::addRow("%s: refused", operation) << operation << "refused" << status;
        if (!query)
            QTest::addRow("%s: write refused", operation) << operation << "write refused" << status;
    }
    QTest::newRow("set time: block refused") << "set time"
                                             << "block refused" << int(StatusFailed);
    QTest::newRow("set time: write refused") << "set time"
                                             << "write refused" << int(StatusFailed);
}

void TestStreamOsd::sdkRecordFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(int, status);
    Faults faults;
    faults.emptyRecordLists = fault == "empty";
    faults.faultType = fault == "write refused" ? fakedevice::wire::SetParam
        : fault == "block refused"              ? fakedevice::wire::QueryBlock
                                                : fakedevice::wire::QueryParam;
    faults.truncatedReply = fault == "truncated";
    faults.oversizedReply = fault == "oversized";
    faults.replyStatus = fault.endsWith("refused") ? uint32_t(fakedevice::wire::Refused) : 0u;
    m_bench->Sdk().SetFaults(faults);
    const bool osd = operation.endsWith("osd");
    void (*entry)(void*) = operation == "query stream" ? &QueryStreamTask
        : operation == "set stream"                    ? &SetStreamTask
        : operation == "query osd"                     ? &QueryOsdTask
        : operation == "set osd"                       ? &SetOsdTask
                                                       : &SetTimeTask;
    QCOMPARE(Run(entry, Api::Sdk, osd ? &DeviceInfo::m_pOSDConfig : &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) { d.m_dateTime = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); }),
        status);
    if (!fault.startsWith("write") && operation.startsWith("set"))
        QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::SetParam), 0);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
}

void TestStreamOsd::sdkOsdRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("plain") << "Front door" << QByteArray("Front door");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("over-long: cut to the field's 40 bytes") << QString(60, 'n') << QByteArray(40, 'n');
    QTest::newRow("cut at a character boundary")
        << "x" + QString(30, QChar(0xe9)) << "x" + QString(19, QChar(0xe9)).toUtf8(); // two bytes each
    QTest::newRow("two-byte letters fill the field") << QString(30, QChar(0xe9)) << QString(20, QChar(0xe9)).toUtf8();
    QTest::newRow("three-byte letter not split")
        << "xy" + QString(13, QChar(0x20ac)) << "xy" + QString(12, QChar(0x20ac)).toUtf8();
    QTest::newRow("four-byte letter not split") << "abc" + QString::fromUtf8("\xf0\x9f\x8e\xa5").repeated(10)
                                                << "abc" + QByteArray("\xf0\x9f\x8e\xa5").repeated(9);
}

void TestStreamOsd::sdkOsdRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, stored);
    QCOMPARE(Run(&SetOsdTask, Api::Sdk, &DeviceInfo::m_pOSDConfig,
                 [&](DeviceInfo& d) { d.SetOsdParams(11, 22, 333, 44, name); }),
        int(StatusOk));
    const ZVNetOsdParam record = StoredRecord<ZVNetOsdParam>(m_bench->Sdk().State(), ZVNET_PARAM_OSD);
    QCOMPARE(record.nameX, uint16_t(11));
    QCOMPARE(record.nameY, uint16_t(22));
    QCOMPARE(record.dateX, uint16_t(333));
    QCOMPARE(record.dateY, uint16_t(44));
    QCOMPARE(QByteArray(record.channelName, 40), stored.leftJustified(40, '\0'));

    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(&QueryOsdTask, Api::Sdk, &DeviceInfo::m_pOSDConfig, nullptr, &device), int(StatusQueryOk));
    QCOMPARE(device->m_osdNamePos, QStringLiteral("11,22"));
    QCOMPARE(device->m_osdDatePos, QStringLiteral("333,44"));
    QCOMPARE(device->m_osdChannelName, QString::fromUtf8(stored));
    // The positions to set are the page's, not the device's.
    QCOMPARE(device->m_osdNameX, 0);
}

void TestStreamOsd::sdkOsdNameFillsItsField_data()
{
    // The device's 40 bytes, without a terminator, and the name read from them.
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("name");
    const QByteArray han = QString(QChar(0x4e2d)).toUtf8(); // three bytes
    QTest::newRow("40 letters") << QByteArray(40, 'z') << QString(40, 'z');
    QTest::newRow("ends on a whole ideograph") << QByteArray(37, 'z') + han << QString(37, 'z') + QChar(0x4e2d);
    QTest::newRow("ideograph cut after two bytes") << QByteArray(38, 'z') + han.left(2) << QString(38, 'z');
    QTest::newRow("ideograph cut after one byte") << QByteArray(39, 'z') + han.left(1) << QString(39, 'z');
    QTest::newRow("two-byte letter cut") << QByteArray(39, 'z') + QString(QChar(0xe9)).toUtf8().left(1)
                                         << QString(39, 'z');
}

void TestStreamOsd::sdkOsdNameFillsItsField()
{
    QFETCH(QByteArray, field);
    QCOMPARE(field.size(), 40);
    m_bench->Sdk().Update([&](fakedevice::DeviceState& state) {
        std::memcpy(state.params[ZVNET_PARAM_OSD].data() + offsetof(ZVNetOsdParam, channelName), field.constData(), 40);
    });
    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(&QueryOsdTask, Api::Sdk, &DeviceInfo::m_pOSDConfig, nullptr, &device), int(StatusQueryOk));
    QTEST(device->m_osdChannelName, "name");
}

void TestStreamOsd::sdkClockSet()
{
    m_bench->Sdk().Update([](fakedevice::DeviceState& state) {
        state.params[ZVNET_PARAM_DATETIME][offsetof(ZVNetDateTimeParam, ntpEnable)] = 1;
        state.params[ZVNET_PARAM_DATETIME][200] = 0x5a;
    });
    const Bytes before = m_bench->Sdk().State().params.at(ZVNET_PARAM_DATETIME);
    QCOMPARE(Run(&SetTimeTask, Api::Sdk, &DeviceInfo::m_pStreamConfigFrame,
                 [](DeviceInfo& d) { d.SetDateTime(March9(3600)); }),
        int(StatusOk));
    const Bytes after = m_bench->Sdk().State().params.at(ZVNET_PARAM_DATETIME);
    ZVNetDateTimeParam block;
    std::memcpy(&block, after.data(), sizeof(block));
    QCOMPARE(block.year, uint16_t(26));
    QCOMPARE(block.month, uint8_t(3));
    QCOMPARE(block.day, uint8_t(9));
    QCOMPARE(block.hour, uint8_t(7));
    QCOMPARE(block.minute, uint8_t(5));
    QCOMPARE(block.second, uint8_t(3));
    QCOMPARE(block.flags16, uint16_t(0x0100));
    QCOMPARE(block.flag82, uint8_t(1));
    // Everything else as the device had it.
    for (size_t i = 0; i < sizeof(block); ++i) {
        if ((i < 8 || i > 17) && i != 82)
            QCOMPARE(after[i], before[i]);
    }
}

void TestStreamOsd::sdkClockSetYears_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("status");
    QTest::addColumn<uint>("word"); // the record's year word, year - 2000 in 16 bits
    QTest::newRow("2000") << 2000 << int(StatusOk) << 0u;
    QTest::newRow("1999") << 1999 << int(StatusOk) << 0xffffu;
    QTest::newRow("1970") << 1970 << int(StatusOk) << 0xffe2u;
    QTest::newRow("2099") << 2099 << int(StatusOk) << 99u;
    QTest::newRow("the last year the word holds") << 67535 << int(StatusOk) << 0xffffu;
    QTest::newRow("one year more") << 67536 << int(StatusFailed) << 0u;
}

void TestStreamOsd::sdkClockSetYears()
{
    QFETCH(int, year);
    QFETCH(int, status);
    QCOMPARE(Run(&SetTimeTask, Api::Sdk, &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) { d.m_dateTime = QDateTime(QDate(year, 1, 2), QTime(3, 4, 5)); }),
        status);
    QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::SetParam), status == StatusOk ? 1 : 0);
    if (status == StatusOk) {
        ZVNetDateTimeParam block;
        std::memcpy(&block, m_bench->Sdk().State().params.at(ZVNET_PARAM_DATETIME).data(), sizeof(block));
        QTEST(uint(block.year), "word");
    }
}

void TestStreamOsd::httpStreamRoundTrip_data()
{
    QTest::addColumn<int>("stream");
    QTest::addColumn<QString>("name");
    QTest::newRow("main") << 0 << "MainStream";
    QTest::newRow("sub") << 1 << "SubStream";
    QTest::newRow("mobile") << 2 << "MobileStream";
}

void TestStreamOsd::httpStreamRoundTrip()
{
    QFETCH(int, stream);
    QFETCH(QString, name);
    const std::string key = name.toStdString();
    const fakedevice::HttpStreamSettings initial = m_bench->Http().State().settings.streams.at(key);
    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(
                 &QueryStreamTask, Api::Http, &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) { d.m_streamIndex = stream; }, &device),
        int(StatusQueryOk));
    QCOMPARE(device->m_resolutionText.toStdString(), initial.resolution);
    QCOMPARE(device->m_fpsText, QString::number(initial.fps));
    QCOMPARE(device->m_encodeTypeText.toStdString(), initial.encodeType);
    QCOMPARE(device->m_bitrateModeText.toStdString(), initial.bitrateMode);
    const bool userDefined = initial.bitrateMode == "UserDefined";
    QCOMPARE(device->m_bitrateMode, userDefined ? 1 : 0);
    QCOMPARE(device->m_customBitrate, userDefined ? initial.customBitrate : initial.bitrate);

    // What the page then sets arrives at the device and reads back.
    QCOMPARE(Run(&SetStreamTask, Api::Http, &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) {
                     d.SetParams(kLoginUser, kLoginPassword, QString(), QString(), QStringLiteral("12fps"),
                         QStringLiteral("H265"), QStringLiteral("1280*720"), stream, 0, 1500, 1);
                     d.m_bitrateModeText = device->m_bitrateModeText;
                 }),
        int(StatusOk));
    const fakedevice::HttpStreamSettings set = m_bench->Http().State().settings.streams.at(key);
    QCOMPARE(set.resolution, std::string("1280*720"));
    QCOMPARE(set.fps, 12);
    QCOMPARE(set.encodeType, std::string("H265"));
    QCOMPARE(set.bitrate, 1500);
    QCOMPARE(set.customBitrate, 1500);
    // The main stream names its mode; the others send back what the query read.
    QCOMPARE(set.bitrateMode, stream == 0 ? std::string("UserDefined") : initial.bitrateMode);

    // A sub stream set before any query sends an empty mode.
    if (stream == 1) {
        QCOMPARE(Run(&SetStreamTask, Api::Http, &DeviceInfo::m_pStreamConfigFrame,
                     [](DeviceInfo& d) {
                         d.m_streamIndex = 1;
                         d.m_fpsText = QStringLiteral("none");
                     }),
            int(StatusOk));
        QCOMPARE(m_bench->Http().State().settings.streams.at(key).bitrateMode, std::string());
        QCOMPARE(m_bench->Http().State().settings.streams.at(key).fps, 0);
    }
}

void TestStreamOsd::httpStreamFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::newRow("query: refused") << "query"
                                    << "500" << int(StatusQueryFailed);
    QTest::newRow("query: not json") << "query"
                                     << "html" << int(StatusQueryFailed);
    QTest::newRow("query: reply cut short") << "query"
                                            << "cut" << int(StatusQueryFailed);
    QTest::newRow("query: no CH1") << "query"
                                   << "no channel" << int(StatusQueryFailed);
    QTest::newRow("query: fps a text") << "query"
                                       << "fps text" << int(StatusQueryFailed);
    QTest::newRow("query: channel an array") << "query"
                                             << "array" << int(StatusQueryFailed);
    QTest::newRow("set: refused") << "set"
                                  << "500" << int(StatusFailed);
    QTest::newRow("set: no device") << "set"
                                    << "never" << int(StatusFailed);
}

void TestStreamOsd::httpStreamFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(int, status);
    const bool query = operation == "query";
    const std::string path = std::string("/API/StreamConfig/MainStream/") + (query ? "Get" : "Set");
    HttpFaults faults;
    faults.path = path;
    faults.status = fault == "500" ? 500 : 0;
    faults.notJson = fault == "html";
    faults.cutBody = fault == "cut";
    faults.neverAnswer = fault == "never";
    faults.editReply = EditReplyOf(path, [fault](Json::Value& reply) {
        Json::Value& channels = reply["data"]["channel_info"];
        if (fault == "no channel")
            channels.removeMember("CH1");
        else if (fault == "fps text")
            channels["CH1"]["fps"] = "25";
        else if (fault == "array")
            channels["CH1"] = Json::Value(Json::arrayValue);
    });
    m_bench->Http().SetFaults(faults);
    QCOMPARE(
        Run(query ? &QueryStreamTask : &SetStreamTask, Api::Http, &DeviceInfo::m_pStreamConfigFrame, nullptr), status);
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestStreamOsd::httpOsdRoundTrip()
{
    QCOMPARE(Run(&SetOsdTask, Api::Http, &DeviceInfo::m_pOSDConfig,
                 [](DeviceInfo& d) {
                     d.SetOsdParams(15, 25, 500, 35, QStringLiteral("Gate"));
                     d.SetDateTime(March9(0));
                 }),
        int(StatusOk));
    const fakedevice::HttpOsdSettings osd = m_bench->Http().State().settings.osd;
    QCOMPARE(osd.name, std::string("Gate"));
    QCOMPARE(osd.nameX, 15);
    QCOMPARE(osd.nameY, 25);
    QCOMPARE(osd.dateX, 500);
    QCOMPARE(osd.dateY, 35);
    fakedevice::HttpExchange exchange;
    QVERIFY(m_bench->Http().LastExchange(kOsdSetPath, exchange));
    Json::Value body;
    QVERIFY(Json::Reader().parse(exchange.request.body, body));
    const Json::Value& channel = body["data"]["channel_info"]["CH1"];
    QCOMPARE(channel["alarm"]["text"].asString(), std::string("Alarm Pos"));
    QCOMPARE(channel["datetime"]["time"]["year"].asInt(), 2026);
    QCOMPARE(channel["datetime"]["time"]["day"].asInt(), 9);
    QCOMPARE(channel["datetime"]["time"]["second"].asInt(), 3);
    QCOMPARE(body["data"]["channel_max"].asInt(), 1);

    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(&QueryOsdTask, Api::Http, &DeviceInfo::m_pOSDConfig, nullptr, &device), int(StatusQueryOk));
    QCOMPARE(device->m_osdNamePos, QStringLiteral("15,25"));
    QCOMPARE(device->m_osdDatePos, QStringLiteral("500,35"));
    QCOMPARE(device->m_osdChannelName, QStringLiteral("Gate"));
}

void TestStreamOsd::httpOsdChannels_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("asked"); // -1: no channel list
    QTest::newRow("four channels") << 4 << 4;
    QTest::newRow("none") << 0 << -1;
    QTest::newRow("a device claiming millions") << 5000000 << 256;
}

void TestStreamOsd::httpOsdChannels()
{
    QFETCH(int, channels);
    QFETCH(int, asked);
    QCOMPARE(Run(&QueryOsdTask, Api::Http, &DeviceInfo::m_pOSDConfig,
                 [&](DeviceInfo& d) { d.m_searchRsp.channelNumber = channels; }),
        int(StatusQueryOk));
    fakedevice::HttpExchange exchange;
    QVERIFY(m_bench->Http().LastExchange(kOsdGetPath, exchange));
    Json::Value body;
    QVERIFY(Json::Reader().parse(exchange.request.body, body));
    QCOMPARE(body["version"].asString(), std::string("1.0"));
    QCOMPARE(body.isMember("channel"), asked >= 0);
    if (asked >= 0) {
        QCOMPARE(int(body["channel"].size()), asked);
        for (int i = 0; i < asked; ++i)
            QCOMPARE(body["channel"][i].asString(), "CH" + std::to_string(i + 1));
    }
}

void TestStreamOsd::httpOsdFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::newRow("set: empty name, nothing sent") << "set"
                                                   << "empty name" << int(StatusFailed);
    QTest::newRow("set: refused") << "set"
                                  << "500" << int(StatusFailed);
    QTest::newRow("set: reply not json") << "set"
                                         << "html" << int(StatusFailed);
    QTest::newRow("query: refused") << "query"
                                    << "500" << int(StatusQueryFailed);
    QTest::newRow("query: not json") << "query"
                                     << "html" << int(StatusQueryFailed);
    QTest::newRow("query: position a text") << "query"
                                            << "pos text" << int(StatusQueryFailed);
    QTest::newRow("query: no CH1") << "query"
                                   << "no channel" << int(StatusQueryFailed);
}

void TestStreamOsd::httpOsdFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(int, status);
    const bool query = operation == "query";
    const std::string path = query ? kOsdGetPath : kOsdSetPath;
    HttpFaults faults;
    faults.path = path;
    faults.status = fault == "500" ? 500 : 0;
    faults.notJson = fault == "html";
    faults.editReply = EditReplyOf(path, [fault](Json::Value& reply) {
        Json::Value& channel = reply["data"]["channel_info"]["CH1"];
        if (fault == "pos text")
            channel["datetime"]["pos"]["x"] = "1";
        else if (fault == "no channel")
            reply["data"]["channel_info"].removeMember("CH1");
    });
    m_bench->Http().SetFaults(faults);
    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(
                 query ? &QueryOsdTask : &SetOsdTask, Api::Http, &DeviceInfo::m_pOSDConfig,
                 [&](DeviceInfo& d) {
                     d.SetOsdParams(1, 2, 3, 4, fault == "empty name" ? QString() : QStringLiteral("Gate"));
                     d.m_osdNamePos = d.m_osdDatePos = QStringLiteral("before");
                 },
                 &device),
        status);
    QCOMPARE(device->m_osdNamePos, QStringLiteral("before"));
    QCOMPARE(m_bench->Http().CountRequests(path), fault == "empty name" ? 0 : 1);
    QCOMPARE(m_bench->Http().State().settings.osd.name, std::string("CH1"));
}

void TestStreamOsd::httpQueriesDefaultWhatIsLeftOut_data()
{
    QTest::addColumn<bool>("osd");
    QTest::addColumn<QString>("mode"); // the device's bitrate mode
    QTest::addColumn<QStringList>("member"); // the path removed under CH1
    QTest::addColumn<QStringList>("expected"); // the values the device ends with
    // stream: resolution, fps, encoding, mode text, mode, bitrate; osd: name position, date position, name.
    QTest::newRow("stream: resolution") << false << "Predefined" << QStringList { "resolution" }
                                        << QStringList { "", "25", "H264", "Predefined", "0", "2048" };
    QTest::newRow("stream: fps") << false << "Predefined" << QStringList { "fps" }
                                 << QStringList { "1920*1080", "0", "H264", "Predefined", "0", "2048" };
    QTest::newRow("stream: video_encode_type") << false << "Predefined" << QStringList { "video_encode_type" }
                                               << QStringList { "1920*1080", "25", "", "Predefined", "0", "2048" };
    QTest::newRow("stream: bitrate_mode, the predefined form")
        << false << "UserDefined" << QStringList { "bitrate_mode" }
        << QStringList { "1920*1080", "25", "H264", "", "0", "2048" };
    QTest::newRow("stream: bitrate") << false << "Predefined" << QStringList { "bitrate" }
                                     << QStringList { "1920*1080", "25", "H264", "Predefined", "0", "0" };
    QTest::newRow("stream: custom_bitrate") << false << "UserDefined" << QStringList { "custom_bitrate" }
                                            << QStringList { "1920*1080", "25", "H264", "UserDefined", "1", "0" };
    QTest::newRow("osd: name.text") << true << "" << QStringList { "name", "text" }
                                    << QStringList { "10,10", "400,10", "" };
    QTest::newRow("osd: name.pos.x") << true << "" << QStringList { "name", "pos", "x" }
                                     << QStringList { "0,10", "400,10", "CH1" };
    QTest::newRow("osd: name") << true << "" << QStringList { "name" } << QStringList { "0,0", "400,10", "" };
    QTest::newRow("osd: datetime.pos.y") << true << "" << QStringList { "datetime", "pos", "y" }
                                         << QStringList { "10,10", "400,0", "CH1" };
    QTest::newRow("osd: datetime") << true << "" << QStringList { "datetime" } << QStringList { "10,10", "0,0", "CH1" };
}

void TestStreamOsd::httpQueriesDefaultWhatIsLeftOut()
{
    QFETCH(bool, osd);
    QFETCH(QString, mode);
    QFETCH(QStringList, member);
    QFETCH(QStringList, expected);
    m_bench->Http().Update([&](fakedevice::HttpDeviceState& state) {
        fakedevice::HttpStreamSettings& main = state.settings.streams["MainStream"];
        main = fakedevice::HttpStreamSettings();
        main.resolution = "1920*1080";
        main.bitrateMode = mode.toStdString();
    });
    const std::string path = osd ? kOsdGetPath : "/API/StreamConfig/MainStream/Get";
    HttpFaults faults;
    faults.path = path;
    faults.editReply = EditReplyOf(path, [member](Json::Value& reply) {
        Json::Value* object = &reply["data"]["channel_info"]["CH1"];
        for (int i = 0; i + 1 < member.size(); ++i)
            object = &(*object)[member[i].toStdString()];
        object->removeMember(member.last().toStdString());
    });
    m_bench->Http().SetFaults(faults);
    std::unique_ptr<DeviceInfo> device;
    QCOMPARE(Run(osd ? &QueryOsdTask : &QueryStreamTask, Api::Http,
                 osd ? &DeviceInfo::m_pOSDConfig : &DeviceInfo::m_pStreamConfigFrame, nullptr, &device),
        int(StatusQueryOk));
    if (osd) {
        QCOMPARE(QStringList({ device->m_osdNamePos, device->m_osdDatePos, device->m_osdChannelName }), expected);
    } else {
        QCOMPARE(QStringList(
                     { device->m_resolutionText, device->m_fpsText, device->m_encodeTypeText, device->m_bitrateModeText,
                         QString::number(device->m_bitrateMode), QString::number(device->m_customBitrate) }),
            expected);
    }
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestStreamOsd::httpClockSet_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("zone");
    const QTime at(7, 5, 3);
    // Whole hours keep the form the devices read; minutes are kept.
    QTest::newRow("one hour east") << March9(3600) << "GMT+1:00";
    QTest::newRow("UTC") << March9(0) << "GMT+0:00";
    QTest::newRow("five hours west") << March9(-18000) << "GMT-5:00";
    QTest::newRow("five and a half hours east") << March9(19800) << "GMT+5:30";
    QTest::newRow("five hours 45 east") << March9(20700) << "GMT+5:45";
    QTest::newRow("three and a half hours west") << March9(-12600) << "GMT-3:30";
    QTest::newRow("half an hour west") << March9(-1800) << "GMT-0:30";
    QTest::newRow("Asia/Kolkata") << QDateTime(QDate(2026, 3, 9), at, QTimeZone("Asia/Kolkata")) << "GMT+5:30";
    // Summer time there began on 8 March 2026.
    QTest::newRow("America/New_York in summer time")
        << QDateTime(QDate(2026, 3, 9), at, QTimeZone("America/New_York")) << "GMT-4:00";
    QTest::newRow("UTC zone") << QDateTime(QDate(2026, 3, 9), at, Qt::UTC) << "GMT+0:00";
}

void TestStreamOsd::httpClockSet()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, zone);
    QCOMPARE(
        Run(&SetTimeTask, Api::Http, &DeviceInfo::m_pStreamConfigFrame, [&](DeviceInfo& d) { d.SetDateTime(when); }),
        int(StatusOk));
    QCOMPARE(m_bench->Http().CountRequests(kClockGetPath), 1);
    const fakedevice::HttpClockSettings clock = m_bench->Http().State().settings.clock;
    QCOMPARE(clock.date, std::string("09/03/2026"));
    QCOMPARE(clock.time, std::string("07:05:03"));
    QCOMPARE(QString::fromStdString(clock.timeZone), zone);
    QCOMPARE(clock.dateFormat, std::string("DD/MM/YYYY"));
    QCOMPARE(clock.timeFormat, 24);
    QVERIFY(clock.synchronizeComputerTime);
}

void TestStreamOsd::httpClockFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("sets");
    QTest::newRow("query refused: nothing set") << "get 500" << 0;
    QTest::newRow("set refused") << "set 500" << 1;
    QTest::newRow("no time chosen") << "invalid" << 0;
}

void TestStreamOsd::httpClockFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, sets);
    HttpFaults faults;
    faults.path = fault == "get 500" ? kClockGetPath : kClockSetPath;
    faults.status = fault.endsWith("500") ? 500 : 0;
    m_bench->Http().SetFaults(faults);
    QCOMPARE(Run(&SetTimeTask, Api::Http, &DeviceInfo::m_pStreamConfigFrame,
                 [&](DeviceInfo& d) { d.SetDateTime(fault == "invalid" ? QDateTime() : March9(0)); }),
        int(StatusFailed));
    QCOMPARE(m_bench->Http().CountRequests(kClockSetPath), sets);
    QCOMPARE(m_bench->Http().State().settings.clock.date, std::string("01/01/2026"));
}

QTEST_GUILESS_MAIN(TestStreamOsd)
#include "tst_streamosd.moc"
