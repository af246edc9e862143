#include "LanguageTexts.h"
#include "TestSupport.h"
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <thread>
#include <vector>

namespace
{
QByteArray Config(const QStringList& files, const QByteArray& cursel, const QByteArray& company)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n";
    xml += cursel.isNull() ? QByteArray("  <Language>\n") : "  <Language cursel=\"" + cursel + "\">\n";
    for (const QString& file : files)
        xml += "    <file name=\"" + file.toUtf8() + "\"/>\n";
    xml += "  </Language>\n  <Company>" + company + "</Company>\n  <Version>V2.3</Version>\n</config>\n";
    return xml;
}

// The language files a settings text declares, present for as long as this
// lives (those missing are written, numbered "T<n>", and removed again).
// GER.xml is left alone: the German start-up test writes and removes it.
class DeclaredLanguageFiles
{
public:
    explicit DeclaredLanguageFiles(const QByteArray& config)
    {
        const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/Language/");
        QRegularExpressionMatchIterator names
            = QRegularExpression(QStringLiteral("name=\"([^\"]+)\"")).globalMatch(QString::fromUtf8(config));
        while (names.hasNext()) {
            const QString name = names.next().captured(1);
            if (name != QLatin1String("GER.xml") && !QFile::exists(dir + name))
                m_files.push_back(
                    std::make_unique<TestSupport::TemporaryLanguageFile>(name, TestSupport::NumberedLanguageFile(239)));
        }
    }

private:
    std::vector<std::unique_ptr<TestSupport::TemporaryLanguageFile>> m_files;
};

class EventCounter : public QObject
{
public:
    int count = 0;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == LanguageChangedEvent::EventType)
            ++count;
    }
};

QStringList ElevenFiles()
{
    // CHS at declared index 9 and ENU at 10, offered by code 13 as CHS, ENU.
    QStringList files;
    for (int i = 0; i < 9; ++i)
        files << QStringLiteral("X%1.xml").arg(i);
    return files << QStringLiteral("CHS.xml") << QStringLiteral("ENU.xml");
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void loadConfig_data();
    void loadConfig();
    void missingFileIsCopiedFromProgramFolder();
    void unreadableFileLeavesDefaults();
    void languageTextsComeFromCurrentFile();
    void saveRewritesCurselByteExact_data();
    void saveRewritesCurselByteExact();
    void fileWithoutCurselValueIsLeftAlone_data();
    void fileWithoutCurselValueIsLeftAlone();
    void settingsFolderFollowsAppdataThenXdg_data();
    void settingsFolderFollowsAppdataThenXdg();
    void sameLanguageSendsEventAndKeepsFile();
    void undeclaredLanguageIsNotChosen();
    void languageWithoutItsFileIsNotUsed_data();
    void languageWithoutItsFileIsNotUsed();
    void listenersAreRegisteredOnce();
    void instanceIsOneObject();
    void rangeSearchLimits_data();
    void rangeSearchLimits();
};

void TestSettings::loadConfig_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("company");
    QTest::addColumn<QVector<int>>("indexes");
    QTest::addColumn<QVector<int>>("textIds");
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("qmFile");
    QTest::addColumn<QString>("password");

    const QStringList enuRus = { "ENU.xml", "RUS_CJ.xml" };
    QTest::newRow("code 4, cursel names RUS_CJ")
        << Config(enuRus, "1", "4") << 4 << QVector<int> { 1, 0 } << QVector<int> { 89, 91 } << 0 << "RUS_CJ.xml"
        << "/qt_ru.qm"
        << "58203147";
    QTest::newRow("code 4, cursel names ENU")
        << Config(enuRus, "0", "4") << 4 << QVector<int> { 1, 0 } << QVector<int> { 89, 91 } << 1 << "ENU.xml"
        << "/qt_en.qm"
        << "58203147";
    QTest::newRow("no cursel: first offered") << Config({ "ENU.xml", "CHS.xml" }, QByteArray(), "13") << 13
                                              << QVector<int> { 1, 0 } << QVector<int> { 89, 93 } << 0 << "CHS.xml"
                                              << "/qt_zh_CN.qm"
                                              << "tolvi";
    QTest::newRow("cursel not a number reads as 0")
        << Config({ "ENU.xml", "CHS.xml" }, "abc", "13") << 13 << QVector<int> { 1, 0 } << QVector<int> { 89, 93 } << 1
        << "ENU.xml"
        << "/qt_en.qm"
        << "tolvi";
    QTest::newRow("cursel not offered: first") << Config({ "ENU.xml", "CHS.xml" }, "7", "13") << 13
                                               << QVector<int> { 1, 0 } << QVector<int> { 89, 93 } << 0 << "CHS.xml"
                                               << "/qt_zh_CN.qm"
                                               << "tolvi";
    QTest::newRow("code 0 offers ENU alone") << Config({ "CHS.xml", "ENU.xml" }, "0", "0") << 0 << QVector<int> { 1 }
                                             << QVector<int> { 93, 89 } << 0 << "ENU.xml"
                                             << "/qt_en.qm"
                                             << "tolvi";
    QTest::newRow("code outside 1..45 offers ENU")
        << Config({ "ENU.xml" }, "0", "99") << 99 << QVector<int> { 0 } << QVector<int> { 89 } << 0 << "ENU.xml"
        << "/qt_en.qm"
        << "tolvi";
    QTest::newRow("code 8 password") << Config({ "ENU_FY.xml" }, "0", "8") << 8 << QVector<int> { 0 }
                                     << QVector<int> { 89 } << 0 << "ENU_FY.xml"
                                     << "/qt_en.qm"
                                     << "315926";
    QTest::newRow("code 40 password") << Config({ "ENU.xml" }, "0", "40") << 40 << QVector<int> { 0 }
                                      << QVector<int> { 89 } << 0 << "ENU.xml"
                                      << "/qt_en.qm"
                                      << "6093721k";
    QTest::newRow("code 38, three files, Japanese saved")
        << Config({ "JAPAN_KELM.xml", "KOR_KELM.xml", "ENU_KELM.xml" }, "0", "38") << 38 << QVector<int> { 2, 1, 0 }
        << QVector<int> { 157, 94, 89 } << 2 << "JAPAN_KELM.xml"
        << "/qt_ja.qm"
        << "tolvi";
    QTest::newRow("code 2 German") << Config({ "GER.xml" }, "0", "2") << 2 << QVector<int> { 0 } << QVector<int> { 90 }
                                   << 0 << "GER.xml"
                                   << "/qt_de.qm"
                                   << "tolvi";
    QTest::newRow("code 35 Portuguese") << Config({ "PORT_BRINDOLAX.xml", "ENU_BRINDOLAX.xml" }, "1", "35") << 35
                                        << QVector<int> { 0, 1 } << QVector<int> { 170, 89 } << 1 << "ENU_BRINDOLAX.xml"
                                        << "/qt_en.qm"
                                        << "tolvi";
    QTest::newRow("file names compare case-sensitively")
        << Config({ "chs.xml" }, "0", "30") << 30 << QVector<int> { -1 } << QVector<int> { 89 } << 0 << "chs.xml"
        << "/qt_en.qm"
        << "tolvi";
    QTest::newRow("offered file undeclared: next offered one")
        << Config({ "ENU.xml" }, "0", "4") << 4 << QVector<int> { -1, 0 } << QVector<int> { 89 } << 1 << "ENU.xml"
        << "/qt_en.qm"
        << "58203147";
    QTest::newRow("no offered file declared: first declared")
        << Config({ "CHS.xml", "ENU.xml" }, "0", "6") << 6 << QVector<int> { -1 } << QVector<int> { 93, 89 } << 0
        << "CHS.xml"
        << "/qt_zh_CN.qm"
        << "tolvi";
    QTest::newRow("no language declared: ENU.xml")
        << Config({}, "0", "2") << 2 << QVector<int> { -1 } << QVector<int> {} << 0 << "ENU.xml"
        << "/qt_en.qm"
        << "tolvi";
    QTest::newRow("company with white space around")
        << QByteArray("<config><Language cursel=\"1\"><file name=\"ENU.xml\"/><file name=\"RUS_CJ.xml\"/>"
                      "</Language><Company>\n    4\n  </Company></config>")
        << 4 << QVector<int> { 1, 0 } << QVector<int> { 89, 91 } << 0 << "RUS_CJ.xml"
        << "/qt_ru.qm"
        << "58203147";
    QTest::newRow("company not a number")
        << Config({ "ENU.xml" }, "0", "4x") << 0 << QVector<int> { 0 } << QVector<int> { 89 } << 0 << "ENU.xml"
        << "/qt_en.qm"
        << "tolvi";
    QTest::newRow("elements at any depth, later cursel wins")
        << QByteArray("<a><b cursel=\"5\"/><c><d name=\"ENU.xml\"/><e><Company>13</Company></e></c>"
                      "<f name=\"CHS.xml\"/><g cursel=\"0\"/></a>")
        << 13 << QVector<int> { 1, 0 } << QVector<int> { 89, 93 } << 1 << "ENU.xml"
        << "/qt_en.qm"
        << "tolvi";
    QTest::newRow("truncated file keeps what came before")
        << QByteArray("<config><Language cursel=\"0\"><file name=\"CHS.xml\"/><Company>13</Company><Ver") << 13
        << QVector<int> { 0, -1 } << QVector<int> { 93 } << 0 << "CHS.xml"
        << "/qt_zh_CN.qm"
        << "tolvi";
    QTest::newRow("garbage") << QByteArray("\xff\xfe<<<>>>") << 0 << QVector<int> { -1 } << QVector<int> {} << 0
                             << "ENU.xml"
                             << "/qt_en.qm"
                             << "tolvi";
}

void TestSettings::loadConfig()
{
    QFETCH(QByteArray, config);
    TestSupport::TemporarySettings temporary;
    QVERIFY(temporary.WriteConfig(config));
    const DeclaredLanguageFiles files(config);

    ZVAppSetting settings;
    settings.LoadConfig();
    QTEST(settings.m_company, "company");
    QTEST(settings.m_languageIndexes, "indexes");
    QTEST(settings.m_languageTextIds, "textIds");
    QTEST(settings.m_currentLanguage, "current");
    QTEST(settings.CurrentLanguageFile(), "file");
    QTEST(settings.m_qmFile, "qmFile");
    QTEST(settings.m_defaultPassword, "password");
    QCOMPARE(settings.m_defaultUser, QStringLiteral("tolvi"));
    // Reading never changes the file.
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), config);
}

void TestSettings::missingFileIsCopiedFromProgramFolder()
{
    TestSupport::TemporarySettings temporary;
    QVERIFY(!QFile::exists(temporary.ConfigPath()));
    ZVAppSetting settings;
    settings.LoadConfig();

    const QString shipped = QCoreApplication::applicationDirPath() + QStringLiteral("/config.xml");
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), TestSupport::ReadFile(shipped));
    // Every shipped language is declared, English first.
    QCOMPARE(settings.m_languageFiles.value(0), QStringLiteral("ENU.xml"));
    QCOMPARE(settings.m_languageIndexes, QVector<int> { 0 });
    QCOMPARE(settings.m_currentLanguage, 0);
    QCOMPARE(settings.m_company, 0);
    QVERIFY(!settings.m_version.isEmpty());
    QCOMPARE(settings.m_qmFile, QStringLiteral("/qt_en.qm"));
}

void TestSettings::unreadableFileLeavesDefaults()
{
    TestSupport::TemporarySettings temporary;
    QVERIFY(QDir().mkpath(temporary.ConfigPath())); // a folder where the file should be
    ZVAppSetting settings;
    settings.LoadConfig();
    QCOMPARE(settings.m_company, 0);
    QVERIFY(settings.m_languageFiles.isEmpty());
    QVERIFY(settings.m_languageIndexes.isEmpty());
    QVERIFY(settings.m_qmFile.isEmpty());
    QCOMPARE(settings.CurrentLanguageFile(), QStringLiteral("ENU.xml"));
    settings.SetLanguage(0); // nothing offered: no crash, nothing written
    QVERIFY(QFileInfo(temporary.ConfigPath()).isDir());
}

void TestSettings::languageTextsComeFromCurrentFile()
{
    TestSupport::TemporarySettings temporary;
    const QString languageDir = QCoreApplication::applicationDirPath() + QStringLiteral("/Language/");
    QVERIFY(TestSupport::WriteFile(languageDir + "tst_settings_a.xml", TestSupport::NumberedLanguageFile(238)));
    QVERIFY(TestSupport::WriteFile(
        languageDir + "tst_settings_b.xml", TestSupport::NumberedLanguageFile(238, QStringLiteral("B"))));
    // Code 0 offers ENU.xml alone, which this file does not declare.
    QVERIFY(temporary.WriteConfig(Config({ "tst_settings_a.xml", "tst_settings_b.xml" }, "1", "0")));

    ZVAppSetting settings;
    settings.LoadConfig();
    settings.LoadLanguageTexts();
    QCOMPARE(LanguageText(0), QStringLiteral("T0"));
    QCOMPARE(LanguageText(237), QStringLiteral("T237"));
    settings.ReleaseLanguageTexts();
    QVERIFY(!LanguageTexts::Global());
    QFile::remove(languageDir + "tst_settings_a.xml");
    QFile::remove(languageDir + "tst_settings_b.xml");
}

void TestSettings::saveRewritesCurselByteExact_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("menuIndex");
    QTest::addColumn<QByteArray>("after");

    const QByteArray eleven = Config(ElevenFiles(), "10", "13");
    QByteArray nine = eleven;
    nine.replace("cursel=\"10\"", "cursel=\"9\"");
    QTest::newRow("10 to 9, one byte shorter") << eleven << 0 << nine;
    QTest::newRow("9 to 10, one byte longer") << nine << 1 << eleven;

    const QByteArray spaced
        = QByteArray("<c>\r\n<L cursel = \"10\" x=\"y\">"
                     "<f name=\"X0.xml\"/><f name=\"X1.xml\"/><f name=\"X2.xml\"/><f name=\"X3.xml\"/>"
                     "<f name=\"X4.xml\"/><f name=\"X5.xml\"/><f name=\"X6.xml\"/><f name=\"X7.xml\"/>"
                     "<f name=\"X8.xml\"/><f name=\"CHS.xml\"/><f name=\"ENU.xml\"/></L>"
                     "<Company>13</Company></c>\r\n")
        + QByteArray("\x00tail", 5);
    QByteArray spacedAfter = spaced;
    spacedAfter.replace("\"10\"", "\"9\"");
    QTest::newRow("only the value between the quotes changes") << spaced << 0 << spacedAfter;

    // Only the attribute's value is rewritten, never a "cursel" elsewhere.
    QByteArray mentioned = eleven;
    mentioned.replace("<config>", "<config>\n<!-- cursel=\"5\" is the saved language --><note>cursel</note>");
    QByteArray mentionedAfter = mentioned;
    mentionedAfter.replace("cursel=\"10\"", "cursel=\"9\"");
    QTest::newRow("cursel in a comment and a text is passed over") << mentioned << 0 << mentionedAfter;
    QByteArray single = eleven;
    single.replace("cursel=\"10\"", "cursel='10'");
    QByteArray singleAfter = single;
    singleAfter.replace("'10'", "'9'");
    QTest::newRow("single quotes") << single << 0 << singleAfter;
}

void TestSettings::fileWithoutCurselValueIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("config");
    const QByteArray files = "<f name=\"CHS.xml\"/><f name=\"ENU.xml\"/><Company>13</Company>";
    QTest::newRow("no cursel at all") << "<c>" + files + "</c>";
    QTest::newRow("cursel only in a comment") << "<c><!-- cursel --><L x=\"abc\">" + files + "</L></c>";
    QTest::newRow("truncated in the value") << "<c>" + files + "<L cursel=\"0";
    QTest::newRow("comment never closed") << "<c>" + files + "<!-- cursel=\"0\" <L cursel=\"0\"/></c>";
}

void TestSettings::fileWithoutCurselValueIsLeftAlone()
{
    QFETCH(QByteArray, config);
    TestSupport::TemporarySettings temporary;
    QVERIFY(temporary.WriteConfig(config));
    const DeclaredLanguageFiles files(config);
    ZVAppSetting settings;
    settings.LoadConfig();
    QCOMPARE(settings.m_languageIndexes, (QVector<int> { 0, 1 }));
    QCOMPARE(settings.m_currentLanguage, 0);
    settings.SetLanguage(1);
    QCOMPARE(settings.m_currentLanguage, 1);
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), config);
}

void TestSettings::settingsFolderFollowsAppdataThenXdg_data()
{
    QTest::addColumn<bool>("appdataSet");
    QTest::addColumn<QByteArray>("appdata");
    QTest::addColumn<bool>("underAppdata");
    QTest::newRow("APPDATA") << true << QByteArray("appdata") << true;
    QTest::newRow("APPDATA unset: XDG") << false << QByteArray() << false;
    QTest::newRow("APPDATA empty: XDG") << true << QByteArray() << false;
}

void TestSettings::settingsFolderFollowsAppdataThenXdg()
{
    QFETCH(bool, appdataSet);
    QFETCH(QByteArray, appdata);
    QFETCH(bool, underAppdata);

    TestSupport::TemporarySettings restoresAppdata;
    QTemporaryDir root;
    const QString appdataDir = root.filePath(QStringLiteral("appdata"));
    const QString xdgDir = root.filePath(QStringLiteral("xdg"));
    const QByteArray previousXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", xdgDir.toUtf8());
    if (appdataSet)
        qputenv("APPDATA", appdata.isEmpty() ? QByteArray() : appdataDir.toUtf8());
    else
        qunsetenv("APPDATA");

    ZVAppSetting settings;
    settings.LoadConfig();
    const QString folder = (underAppdata ? appdataDir : xdgDir) + QStringLiteral("/" DEVSCAN_PRODUCT_TITLE);
    QCOMPARE(settings.SettingsFilePath(), folder + QStringLiteral("/config.xml"));
    QVERIFY(QFile::exists(folder + QStringLiteral("/config.xml")));
    QVERIFY(!QFile::exists(QStringLiteral(DEVSCAN_PRODUCT_TITLE)));
    QCOMPARE(settings.m_languageFiles.value(0), QStringLiteral("ENU.xml")); // the shipped file was read

    if (previousXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previousXdg);
}

void TestSettings::saveRewritesCurselByteExact()
{
    QFETCH(QByteArray, before);
    QFETCH(int, menuIndex);
    QFETCH(QByteArray, after);

    TestSupport::TemporarySettings temporary;
    QVERIFY(temporary.WriteConfig(before));
    const DeclaredLanguageFiles files(before);
    ZVAppSetting settings;
    settings.LoadConfig();
    QVERIFY(settings.m_currentLanguage != menuIndex);
    settings.SetLanguage(menuIndex);
    QCOMPARE(settings.m_currentLanguage, menuIndex);
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), after);

    ZVAppSetting reread;
    reread.LoadConfig();
    QCOMPARE(reread.m_currentLanguage, menuIndex);
}

void TestSettings::sameLanguageSendsEventAndKeepsFile()
{
    TestSupport::TemporarySettings temporary;
    const QByteArray config = Config(ElevenFiles(), "10", "13");
    QVERIFY(temporary.WriteConfig(config));
    const DeclaredLanguageFiles files(config);
    const QDateTime written = QFileInfo(temporary.ConfigPath()).lastModified();

    ZVAppSetting settings;
    settings.LoadConfig();
    EventCounter first, second;
    settings.AddLanguageListener(&first);
    settings.AddLanguageListener(&second);

    for (int index : { 1, -1, 2, 100 }) // current, and outside the offered list
        settings.SetLanguage(index);
    QCOMPARE(first.count, 0); // posted, not sent
    QCoreApplication::sendPostedEvents();
    QCOMPARE(first.count, 4);
    QCOMPARE(second.count, 4);
    QCOMPARE(settings.m_currentLanguage, 1);
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), config);
    QCOMPARE(QFileInfo(temporary.ConfigPath()).lastModified(), written);
}

void TestSettings::undeclaredLanguageIsNotChosen()
{
    TestSupport::TemporarySettings temporary;
    const QByteArray config = Config({ "ENU.xml" }, "0", "4"); // RUS_CJ offered but not declared
    QVERIFY(temporary.WriteConfig(config));
    const DeclaredLanguageFiles files(config);
    ZVAppSetting settings;
    settings.LoadConfig();
    QCOMPARE(settings.m_currentLanguage, 1);
    settings.SetLanguage(0);
    QCOMPARE(settings.m_currentLanguage, 1);
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), config);
}

void TestSettings::languageWithoutItsFileIsNotUsed_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QVector<bool>>("usable"); // per menu entry
    // Code 4 offers RUS_CJ.xml, then ENU.xml; code 6 offers RUS_GH.xml alone.
    QTest::newRow("saved language missing: the next offered one")
        << Config({ "ENU.xml", "RUS_CJ.xml" }, "1", "4") << 1 << "ENU.xml" << QVector<bool> { false, true };
    QTest::newRow("no saved language, first offered missing")
        << Config({ "ENU.xml", "RUS_CJ.xml" }, QByteArray(), "4") << 1 << "ENU.xml" << QVector<bool> { false, true };
    QTest::newRow("the only offered one missing: a declared file that exists")
        << Config({ "RUS_GH.xml", "ENU.xml" }, "0", "6") << 0 << "ENU.xml" << QVector<bool> { false };
}

// The file of a declared language is gone (the test's program folder holds
// no RUS_CJ.xml or RUS_GH.xml): the program starts in one that exists, every text there.
void TestSettings::languageWithoutItsFileIsNotUsed()
{
    QFETCH(QByteArray, config);
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/Language/");
    QVERIFY(!QFile::exists(dir + "RUS_CJ.xml"));
    QVERIFY(!QFile::exists(dir + "RUS_GH.xml"));
    TestSupport::TemporarySettings temporary;
    QVERIFY(temporary.WriteConfig(config));
    ZVAppSetting settings;
    settings.LoadConfig();
    QTEST(settings.m_currentLanguage, "current");
    QTEST(settings.CurrentLanguageFile(), "file");
    QCOMPARE(settings.m_qmFile, QStringLiteral("/qt_en.qm"));
    QVector<bool> usable;
    for (int i = 0; i < settings.m_languageIndexes.size(); ++i)
        usable << settings.LanguageUsable(i);
    QTEST(usable, "usable");

    // The texts are those of the file that exists, all of them.
    settings.LoadLanguageTexts();
    QVERIFY(LanguageTexts::Global());
    QStringList texts;
    for (int id = 0; id < LanguageTexts::Global()->Count(); ++id)
        texts << LanguageText(id);
    QCOMPARE(texts.first(), QStringLiteral(DEVSCAN_PRODUCT_TITLE));
    LanguageTexts::Reload(dir + "ENU.xml");
    QStringList shipped;
    for (int id = 0; id < LanguageTexts::Global()->Count(); ++id)
        shipped << LanguageText(id);
    QVERIFY(shipped.size() > 200);
    QCOMPARE(texts, shipped);

    // Choosing the missing one changes neither the texts nor the file.
    const QString title = LanguageText(0);
    settings.SetLanguage(0);
    settings.SetLanguage(1);
    QTEST(settings.m_currentLanguage, "current");
    QCOMPARE(LanguageText(0), title);
    QCOMPARE(TestSupport::ReadFile(temporary.ConfigPath()), config);
    settings.ReleaseLanguageTexts();
}

void TestSettings::listenersAreRegisteredOnce()
{
    ZVAppSetting settings;
    EventCounter a, b;
    settings.AddLanguageListener(&a);
    settings.AddLanguageListener(&b);
    settings.AddLanguageListener(&a);
    QCOMPARE(settings.m_listeners, (QVector<QObject*> { &a, &b }));
    settings.SetLanguage(0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(a.count, 1);
    settings.RemoveLanguageListener(&a);
    QCOMPARE(settings.m_listeners, QVector<QObject*> { &b });
    settings.SetLanguage(0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(a.count, 1);
    QCOMPARE(b.count, 2);
}

void TestSettings::instanceIsOneObject()
{
    ZVAppSetting* first = nullptr;
    std::vector<ZVAppSetting*> seen(8, nullptr);
    // Joined threads: the thread checker sees the join order the results,
    // which QThread::wait's futex hides from it.
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = ZVAppSetting::Instance(); });
    for (std::thread& thread : threads)
        thread.join();
    first = ZVAppSetting::Instance();
    for (ZVAppSetting* instance : seen)
        QCOMPARE(instance, first);
}

void TestSettings::rangeSearchLimits_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<int>("concurrency");
    QTest::addColumn<int>("timeout");

    QTest::newRow("none: defaults") << QByteArray() << 256 << 1000;
    QTest::newRow("both") << QByteArray("<RangeSearch concurrency=\"32\" timeout=\"400\"/>") << 32 << 400;
    QTest::newRow("out of range") << QByteArray("<RangeSearch concurrency=\"5000\" timeout=\"10\"/>") << 256 << 1000;
    QTest::newRow("no number") << QByteArray("<RangeSearch concurrency=\"many\" timeout=\"\"/>") << 256 << 1000;
}

void TestSettings::rangeSearchLimits()
{
    QFETCH(QByteArray, element);
    QFETCH(int, concurrency);
    QFETCH(int, timeout);
    TestSupport::TemporarySettings temporary;
    QByteArray config = Config({ "ENU.xml" }, "0", "0");
    config.replace("</config>", "  " + element + "\n</config>");
    QVERIFY(temporary.WriteConfig(config));
    const DeclaredLanguageFiles files(config);
    ZVAppSetting settings;
    settings.LoadConfig();
    QCOMPARE(settings.m_rangeSearchConcurrency, concurrency);
    QCOMPARE(settings.m_rangeSearchTimeoutMs, timeout);
    QCOMPARE(settings.m_version, QStringLiteral("V2.3"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
