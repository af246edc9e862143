// Parameter export and import end to end, through the SDK and the HTTP JSON
// API: the exported file imports back to the same parameters on the fake
// device; failures leave no file that passes for an export, and a file that
// cannot be sent whole is refused before anything is sent.

#include "DeviceTasks.h"
#include "DeviceWire.h"
#include "ExportPath.h"
#include "OperationFixtures.h"

#include <QFile>
#include <QTemporaryDir>

using fakedevice::Faults;
using fakedevice::HttpFaults;
using namespace TestSupport;

namespace
{
const char* const kKeyPath = "/API/Maintenance/TransKey/Get";
const char* const kParamGetPath = "/API/Maintenance/ParamManagement/Get";
const char* const kParamSetPath = "/API/Maintenance/ParamManagement/Set";
constexpr int kMaxParamFile = 393216;

// Answers the export's question with a path, and remembers what was asked.
class ExportAnswer
{
public:
    explicit ExportAnswer(const QString& path)
    {
        m_previous = SetExportPathQuestion([this, path](const QString& suggested) {
            m_asked << suggested;
            m_onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            return path;
        });
    }
    ~ExportAnswer() { SetExportPathQuestion(m_previous); }
    QStringList Asked() const { return m_asked; }
    bool OnGuiThread() const { return m_onGuiThread; }

private:
    ExportPathQuestion m_previous;
    QStringList m_asked;
    bool m_onGuiThread = false;
};

bool SameSettings(const fakedevice::HttpSettings& a, const fakedevice::HttpSettings& b)
{
    auto streams = [](const fakedevice::HttpSettings& s) {
        QStringList texts;
        for (const auto& [name, stream] : s.streams)
            texts << QString::fromStdString(name + stream.resolution + stream.encodeType + stream.bitrateMode)
                    + QString::number(stream.fps) + QString::number(stream.bitrate)
                    + QString::number(stream.customBitrate);
        return texts;
    };
    return streams(a) == streams(b) && a.osd.name == b.osd.name && a.osd.nameX == b.osd.nameX
        && a.osd.dateY == b.osd.dateY && a.clock.date == b.clock.date && a.clock.timeZone == b.clock.timeZone
        && a.deviceParams == b.deviceParams;
}
} // namespace

class TestParamFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void exportImportsBackToTheSameParameters_data();
    void exportImportsBackToTheSameParameters();
    void exportFailuresLeaveNoFile_data();
    void exportFailuresLeaveNoFile();
    void exportWritesTheSdkDataBytes_data();
    void exportWritesTheSdkDataBytes();
    void httpExportKeepsPrintableAscii_data();
    void httpExportKeepsPrintableAscii();
    void importRefusesWhatCannotBeSentWhole_data();
    void importRefusesWhatCannotBeSentWhole();
    void importDeviceRefusals_data();
    void importDeviceRefusals();
    void sdkImportNamesTheFile();
    void httpImportSendsTheBytesUnchanged_data();
    void httpImportSendsTheBytesUnchanged();

private:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    // Runs the import of file and returns the status it ended with.
    int Import(Api api, const QString& file);

    std::unique_ptr<DevicePairBench> m_bench;
    QTemporaryDir m_dir;
};

void TestParamFile::initTestCase()
{
    m_bench = std::make_unique<DevicePairBench>(40);
    QVERIFY(m_bench->Listening());
    QVERIFY(m_dir.isValid());
}

void TestParamFile::init()
{
    m_bench->Reset();
}

void TestParamFile::cleanupTestCase()
{
    m_bench.reset();
}

int TestParamFile::Import(Api api, const QString& file)
{
    m_bench->Log().Clear();
    auto device = m_bench->MakeDevice(api, &DeviceInfo::m_pImportExportFrame);
    device->m_importFilePath = file;
    if (!m_bench->RunToEnd(&ImportParamTask, device.get()))
        return -1;
    const TaskReport last = m_bench->LastReport();
    if (last.finished || !last.onGuiThread || device->m_bLogin)
        return -2;
    return last.status;
}

void TestParamFile::exportImportsBackToTheSameParameters_data()
{
    QTest::addColumn<bool>("http");
    QTest::newRow("sdk") << false;
    QTest::newRow("http") << true;
}

void TestParamFile::exportImportsBackToTheSameParameters()
{
    QFETCH(bool, http);
    const Api api = http ? Api::Http : Api::Sdk;
    const QString path = Path(http ? "http.txt" : "sdk.txt");
    ExportAnswer answer(path);
    const std::map<uint32_t, fakedevice::Bytes> sdkParams = m_bench->Sdk().State().params;
    const fakedevice::HttpSettings httpSettings = m_bench->Http().State().settings;

    auto device = m_bench->MakeDevice(api, &DeviceInfo::m_pImportExportFrame);
    QVERIFY(m_bench->RunToEnd(&ExportParamTask, device.get()));
    const TaskReport report = m_bench->LastReport();
    QCOMPARE(report.status, int(StatusExportOk));
    QVERIFY(report.finished);
    QCOMPARE(answer.Asked(), QStringList { "Camera 1.txt" });
    QVERIFY(answer.OnGuiThread());
    const QByteArray file = ReadFile(path);
    if (http) {
        // One line of printable ASCII: the device's spaces and line ends are gone.
        const std::string exported = fakedevice::ExportParams(httpSettings);
        QVERIFY(exported.find("\r\n") != std::string::npos);
        std::string expected;
        for (char c : exported)
            if (c != ' ' && c != '\r' && c != '\n')
                expected.push_back(c);
        QCOMPARE(file.toStdString(), expected);
    } else {
        QVERIFY(file.startsWith("FDEX"));
    }

    // The device's parameters change; the file brings them back.
    m_bench->Sdk().Update([](fakedevice::DeviceState& state) {
        state.params[ZVNET_PARAM_OSD][20] ^= 0x55;
        state.params[ZVNET_PARAM_MAIN_STREAM][17] = 5;
    });
    m_bench->Http().Update([](fakedevice::HttpDeviceState& state) {
        state.settings.osd.name = "Changed";
        state.settings.streams["SubStream"].fps = 5;
        state.settings.clock.timeZone = "GMT+3:00";
    });
    QCOMPARE(Import(api, path), int(StatusImportOk));
    if (http) {
        QVERIFY(SameSettings(m_bench->Http().State().settings, httpSettings));
        QCOMPARE(m_bench->Http().State().settings.paramImports, 1);
        QTRY_COMPARE(m_bench->Http().Sessions(), 0);
    } else {
        QVERIFY(m_bench->Sdk().State().params == sdkParams);
        QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
    }
}

void TestParamFile::exportFailuresLeaveNoFile_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("asked"); // the user was asked for a file name

    QTest::newRow("sdk: cancelled") << false << "cancel" << int(StatusConnected) << true;
    QTest::newRow("sdk: no question installed") << false << "no question" << int(StatusConnected) << false;
    QTest::newRow("sdk: folder does not exist") << false << "bad path" << int(StatusConnected) << true;
    QTest::newRow("sdk: device refuses") << false << "refuse" << int(StatusExportFailed) << false;
    QTest::newRow("sdk: reply cut short") << false << "truncated" << int(StatusExportFailed) << false;
    QTest::newRow("sdk: reply too long") << false << "oversized" << int(StatusExportFailed) << false;
    QTest::newRow("http: cancelled") << true << "cancel" << int(StatusExportFailed) << true;
    QTest::newRow("http: folder does not exist") << true << "bad path" << int(StatusExportFailed) << true;
    QTest::newRow("http: key request refused") << true << "key 500" << int(StatusExportFailed) << false;
    QTest::newRow("http: authentication refused") << true << "bad salt" << int(StatusExportFailed) << false;
    QTest::newRow("http: reply not json") << true << "html" << int(StatusExportFailed) << false;
    QTest::newRow("http: reply cut short") << true << "cut" << int(StatusExportFailed) << false;
    QTest::newRow("http: param a number") << true << "param number" << int(StatusExportFailed) << false;
}

void TestParamFile::exportFailuresLeaveNoFile()
{
    QFETCH(bool, http);
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(bool, asked);
    const QString path = fault == "cancel" ? QString()
        : fault == "bad path"              ? Path(QStringLiteral("no/such/folder/export.txt"))
                                           : Path(QStringLiteral("failed.txt"));
    std::unique_ptr<ExportAnswer> answer;
    if (fault != "no question")
        answer = std::make_unique<ExportAnswer>(path);

    Faults faults;
    faults.faultType = fakedevice::wire::Export;
    faults.replyStatus = fault == "refuse" ? uint32_t(fakedevice::wire::Refused) : 0u;
    faults.truncatedReply = fault == "truncated";
    faults.oversizedReply = fault == "oversized";
    m_bench->Sdk().SetFaults(faults);
    HttpFaults httpFaults;
    httpFaults.path = fault == "key 500" || fault == "bad salt" ? kKeyPath : kParamGetPath;
    httpFaults.status = fault == "key 500" ? 500 : 0;
    httpFaults.notJson = fault == "html";
    httpFaults.cutBody = fault == "cut";
    if (fault.startsWith("param") || fault == "bad salt") {
        if (fault == "bad salt")
            httpFaults.editReply = EditReplyOf(kKeyPath, &BreakSalt);
        else
            httpFaults.editReply
                = EditReplyOf(kParamGetPath, [fault](Json::Value& reply) { reply["data"]["param"] = 5; });
    }
    m_bench->Http().SetFaults(httpFaults);

    auto device = m_bench->MakeDevice(http ? Api::Http : Api::Sdk, &DeviceInfo::m_pImportExportFrame);
    QVERIFY(m_bench->RunToEnd(&ExportParamTask, device.get()));
    QCOMPARE(m_bench->LastReport().status, status);
    QVERIFY(m_bench->LastReport().finished);
    QCOMPARE(answer && !answer->Asked().isEmpty(), asked);
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).filter("failed").isEmpty());
    QVERIFY(!QFile::exists(Path(QStringLiteral("no/such/folder/export.txt"))));
    QVERIFY(!device->m_bLogin);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestParamFile::exportWritesTheSdkDataBytes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("status");
    QTest::newRow("1000 bytes") << 1000 << int(StatusExportOk);
    QTest::newRow("the most an import carries") << kMaxParamFile << int(StatusExportOk);
    QTest::newRow("one byte more") << kMaxParamFile + 1 << int(StatusExportFailed);
    QTest::newRow("negative") << -1 << int(StatusExportFailed);
    QTest::newRow("nothing") << 0 << int(StatusExportFailed);
}

// The SDK's data callback as the SDK calls it: header, then size bytes.
void TestParamFile::exportWritesTheSdkDataBytes()
{
    QFETCH(int, size);
    QFETCH(int, status);
    const QString path = Path(QStringLiteral("callback.txt"));
    QFile::remove(path);
    ExportAnswer answer(path);
    QByteArray buffer(40 + qMax(size, 0), 'h');
    for (int i = 40; i < buffer.size(); ++i)
        buffer[i] = static_cast<char>(i * 7);
    std::unique_ptr<DeviceInfo> device(NewDevice(nullptr, QStringLiteral("127.0.0.1"), QStringLiteral("Lobby")));
    device->m_status = StatusConnected;

    DeviceInfo::OnExportData(buffer.constData(), size, device.get());
    QCOMPARE(int(device->m_status), status);
    if (status == StatusExportOk) {
        QCOMPARE(answer.Asked(), QStringList { "Lobby.txt" });
        QCOMPARE(ReadFile(path), buffer.mid(40));
    } else {
        QVERIFY(answer.Asked().isEmpty());
        QVERIFY(!QFile::exists(path));
    }
    DeviceInfo::OnExportData(nullptr, 10, device.get());
    DeviceInfo::OnExportData(buffer.constData(), 10, nullptr);
}

void TestParamFile::httpExportKeepsPrintableAscii_data()
{
    QTest::addColumn<QByteArray>("param");
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("mixed") << QByteArray("ab c\r\nd\tE\xc3\xa9"
                                         "f\x7f{}")
                           << QByteArray("abcdEf\x7f{}");
    QTest::newRow("nothing printable: an empty file") << QByteArray(" \r\n") << QByteArray();
    QTest::newRow("empty: an empty file") << QByteArray() << QByteArray();
}

void TestParamFile::httpExportKeepsPrintableAscii()
{
    QFETCH(QByteArray, param);
    const QString path = Path(QStringLiteral("ascii.txt"));
    QFile::remove(path);
    ExportAnswer answer(path);
    HttpFaults faults;
    faults.path = kParamGetPath;
    faults.editReply
        = EditReplyOf(kParamGetPath, [param](Json::Value& reply) { reply["data"]["param"] = param.toStdString(); });
    m_bench->Http().SetFaults(faults);
    auto device = m_bench->MakeDevice(Api::Http, &DeviceInfo::m_pImportExportFrame);
    QVERIFY(m_bench->RunToEnd(&ExportParamTask, device.get()));
    QCOMPARE(m_bench->LastReport().status, int(StatusExportOk));
    QVERIFY(QFile::exists(path));
    QTEST(ReadFile(path), "file");
}

void TestParamFile::importRefusesWhatCannotBeSentWhole_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<QString>("file");
    for (bool http : { false, true }) {
        const char* api = http ? "http" : "sdk";
        QTest::addRow("%s: missing", api) << http << "missing";
        QTest::addRow("%s: empty", api) << http << "empty";
        QTest::addRow("%s: over the limit", api) << http << "over";
        QTest::addRow("%s: a folder", api) << http << "folder";
        QTest::addRow("%s: no path", api) << http << "none";
    }
    // The HTTP import carries the file as a JSON string: only UTF-8 travels unchanged.
    QTest::newRow("http: byte 0xff") << true << "utf8 ff";
    QTest::newRow("http: lone continuation byte") << true << "utf8 80";
    QTest::newRow("http: overlong slash") << true << "utf8 c0af";
    QTest::newRow("http: surrogate") << true << "utf8 eda080";
    QTest::newRow("http: sequence cut at the end") << true << "utf8 e282";
    QTest::newRow("http: above U+10FFFF") << true << "utf8 f4908080";
}

void TestParamFile::importRefusesWhatCannotBeSentWhole()
{
    QFETCH(bool, http);
    QFETCH(QString, file);
    QString path;
    if (file == "missing")
        path = Path(QStringLiteral("missing.txt"));
    else if (file == "empty")
        QVERIFY(WriteFile(path = Path(QStringLiteral("empty.txt")), QByteArray()));
    else if (file == "over")
        QVERIFY(WriteFile(path = Path(QStringLiteral("over.txt")), QByteArray(kMaxParamFile + 1, 'p')));
    else if (file == "folder")
        path = m_dir.path();
    else if (file.startsWith("utf8 "))
        QVERIFY(WriteFile(path = Path(QStringLiteral("latin.txt")),
            "ZVPARAM:caf\xc3\xa9;" + QByteArray::fromHex(file.mid(5).toLatin1()) + ";end"));

    QCOMPARE(Import(http ? Api::Http : Api::Sdk, path), int(StatusImportFailed));
    QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::Import), 0);
    QCOMPARE(m_bench->Http().CountRequests(kKeyPath), 0);
    QCOMPARE(m_bench->Http().CountRequests(kParamSetPath), 0);
    QTRY_COMPARE(m_bench->Sdk().LoggedInSessions(), 0);
    QTRY_COMPARE(m_bench->Http().Sessions(), 0);
}

void TestParamFile::importDeviceRefusals_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("sent");
    QTest::newRow("sdk: not the device's export") << false << "foreign" << true;
    QTest::newRow("sdk: the most an import carries, refused") << false << "largest" << true;
    QTest::newRow("sdk: link drops") << false << "drop" << true;
    QTest::newRow("sdk: device answers result 2") << false << "result 2" << true;
    QTest::newRow("http: not the device's export") << true << "foreign" << true;
    QTest::newRow("http: key request refused") << true << "key 500" << false;
    QTest::newRow("http: authentication refused") << true << "bad salt" << true;
}

void TestParamFile::importDeviceRefusals()
{
    QFETCH(bool, http);
    QFETCH(QString, fault);
    QFETCH(bool, sent);
    const QString path = Path(QStringLiteral("foreign.txt"));
    QVERIFY(WriteFile(path, fault == "largest" ? QByteArray(kMaxParamFile, 'q') : QByteArray("ZVPARAM:bm90IHRoaXM=")));
    Faults faults;
    faults.faultType = fakedevice::wire::Import;
    faults.dropBeforeReply = fault == "drop";
    faults.replyStatus = fault == "result 2" ? uint32_t(fakedevice::wire::Result2) : 0u;
    m_bench->Sdk().SetFaults(faults);
    HttpFaults httpFaults;
    httpFaults.path = kKeyPath;
    httpFaults.status = fault == "key 500" ? 500 : 0;
    if (fault == "bad salt")
        httpFaults.editReply = EditReplyOf(kKeyPath, &BreakSalt);
    m_bench->Http().SetFaults(httpFaults);
    const fakedevice::HttpSettings before = m_bench->Http().State().settings;
    const std::map<uint32_t, fakedevice::Bytes> params = m_bench->Sdk().State().params;

    QCOMPARE(Import(http ? Api::Http : Api::Sdk, path), int(StatusImportFailed));
    if (http) {
        QCOMPARE(m_bench->Http().CountRequests(kParamSetPath), int(sent));
        QVERIFY(SameSettings(m_bench->Http().State().settings, before));
        QCOMPARE(m_bench->Http().State().settings.paramImports, 0);
    } else {
        QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::Import), int(sent));
        QVERIFY(m_bench->Sdk().State().params == params);
    }
}

void TestParamFile::sdkImportNamesTheFile()
{
    const QByteArray content("FDEX-not-the-device's");
    const QString path = Path(QStringLiteral("Cam 1.txt"));
    QVERIFY(WriteFile(path, content));
    QCOMPARE(Import(Api::Sdk, path), int(StatusImportFailed)); // no parameter set the device takes
    QCOMPARE(m_bench->Sdk().CountReceived(fakedevice::wire::Import), 1);
    fakedevice::Received import;
    for (const fakedevice::Received& received : m_bench->Sdk().ReceivedRequests())
        if (received.type == fakedevice::wire::Import)
            import = received;
    QCOMPARE(import.payload.size(), size_t(36) + size_t(content.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(import.payload.data()), 32),
        QByteArray("Cam 1").leftJustified(32, '\0'));
    QCOMPARE(fakedevice::GetU32(import.payload.data() + 32), uint32_t(content.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(import.payload.data()) + 36, content.size()), content);
}

void TestParamFile::httpImportSendsTheBytesUnchanged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("ascii") << QByteArray("ZVPARAM:bm90IHRoaXM=");
    QTest::newRow("two, three and four byte forms") << QByteArray("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    QTest::newRow("quotes, backslash, controls") << QByteArray("a\"b\\c\r\n\t\x01\x7f/");
    QTest::newRow("a zero byte") << QByteArray("x\0y", 3);
}

void TestParamFile::httpImportSendsTheBytesUnchanged()
{
    QFETCH(QByteArray, content);
    const QString path = Path(QStringLiteral("unchanged.txt"));
    QVERIFY(WriteFile(path, content));
    Import(Api::Http, path); // the device takes only its own export; what it received counts
    fakedevice::HttpExchange exchange;
    QVERIFY(m_bench->Http().LastExchange(kParamSetPath, exchange));
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value body;
    std::string errors;
    const std::string& text = exchange.request.body;
    QVERIFY2(reader->parse(text.data(), text.data() + text.size(), &body, &errors), errors.c_str());
    QVERIFY(body["data"]["param"].isString());
    QCOMPARE(QByteArray::fromStdString(body["data"]["param"].asString()), content);
}

QTEST_GUILESS_MAIN(TestParamFile)
#include "tst_paramfile.moc"
