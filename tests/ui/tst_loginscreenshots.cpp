// Renders the main window on the login page, logged in to a fake device, with
// each of the three configuration pages, at 1920x1080 and at the window's
// minimum size, with the program's own texts and style; checks the login page
// of each render for cut texts and overlapping widgets and saves the window
// as PNG (artefacts, not compared pixel by pixel) into the build's
// screenshots/login folder. Runs under Xvfb, whose screen takes 1920x1080.

#include "Default.h"
#include "DeviceConfig.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "LanguageTexts.h"
#include "LoginFrame.h"
#include "MainFrame.h"
#include "OperationPages.h"
#include "TestSupport.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "User.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

namespace
{
constexpr int kWaitMs = 20000;

QString Describe(const QWidget* widget)
{
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        name += QLatin1Char('#') + widget->objectName();
    return name;
}

// What a user would see as broken on the login page: texts that do not fit
// their widget, and sibling widgets that overlap.
QStringList Problems(const QWidget* root)
{
    QStringList problems;
    QList<const QWidget*> parents { root };
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(root->window()))
            continue;
        parents << widget;
        const QString name = Describe(widget);
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (!label->text().isEmpty() && !label->wordWrap() && label->sizeHint().width() > label->width())
                problems << QStringLiteral("%1 cuts \"%2\"").arg(name, label->text());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            // Check boxes and radio buttons add their indicator to the text.
            const int indicator = qobject_cast<const QPushButton*>(widget) ? 4 : 24;
            const int needed = button->fontMetrics().horizontalAdvance(button->text()) + indicator;
            if (!button->text().isEmpty() && needed > button->width())
                problems << QStringLiteral("%1 cuts \"%2\" (%3 of %4 px)")
                                .arg(name, button->text())
                                .arg(button->width())
                                .arg(needed);
        }
    }
    for (const QWidget* parent : parents) {
        if (qobject_cast<const QStackedWidget*>(parent))
            continue;
        QList<const QWidget*> shown;
        for (const QObject* child : parent->children()) {
            const auto* widget = qobject_cast<const QWidget*>(child);
            if (widget && widget->isVisibleTo(root->window()) && !widget->isWindow())
                shown << widget;
        }
        for (int i = 0; i < shown.size(); ++i)
            for (int j = i + 1; j < shown.size(); ++j)
                if (shown.at(i)->geometry().intersects(shown.at(j)->geometry()))
                    problems << QStringLiteral("%1 and %2 overlap").arg(Describe(shown.at(i)), Describe(shown.at(j)));
    }
    return problems;
}
} // namespace

class TestLoginScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loggedInPages_data();
    void loggedInPages();

private:
    OperationPages m_pages;
};

void TestLoginScreenshots::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->m_languageFiles = QStringList { QStringLiteral("ENU.xml") };
    settings->m_languageIndexes = { 0 };
    settings->m_languageTextIds = { 89 };
    settings->m_currentLanguage = 0;
    settings->LoadLanguageTexts();
    QVERIFY(LanguageText(84) != QStringLiteral("T84"));
    ZVNetInit();
    ZVSdkSetTimeouts(3000, 3000);
}

void TestLoginScreenshots::cleanupTestCase()
{
    ZVNetRelease();
    ZVAppSetting::Instance()->m_company = 0;
}

void TestLoginScreenshots::loggedInPages_data()
{
    QTest::addColumn<int>("company");
    QTest::newRow("customer-0") << 0;
    QTest::newRow("customer-43") << 43;
}

void TestLoginScreenshots::loggedInPages()
{
    QFETCH(int, company);
    ZVAppSetting::Instance()->m_company = company;
    const std::string ip = fakedevice::UniqueLoopbackPrefix() + "1";
    std::unique_ptr<fakedevice::FakeDevice> sdk;
    std::unique_ptr<fakedevice::FakeHttpApi> web;
    int port = 0;
    if (company == 43) {
        fakedevice::FakeHttpApi::Options options;
        options.ip = ip;
        web = std::make_unique<fakedevice::FakeHttpApi>(fakedevice::HttpDeviceState(), options);
        QVERIFY(web->Listening());
        port = web->Port();
    } else {
        fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(ip, 1);
        state.FillDefaultParams();
        state.intelligent = true;
        sdk = std::make_unique<fakedevice::FakeDevice>(state);
        QVERIFY(sdk->WaitListening());
        port = state.mediaPort;
    }

    MainFrame window(m_pages);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* toolBar = window.findChild<ToolBarFrame*>();
    QVERIFY(toolBar);
    toolBar->Button(ToolBarFrame::ButtonConfig)->click();
    auto* page = dynamic_cast<LoginFrame*>(window.LoginFramePage());
    QVERIFY(page);
    page->IpEdit()->setText(QString::fromStdString(ip));
    page->PortEdit()->setText(QString::number(port));
    page->UserEdit()->setText(QStringLiteral("admin"));
    page->PasswordEdit()->setText(QStringLiteral("admin123"));
    QTRY_VERIFY_WITH_TIMEOUT(page->isVisible(), kWaitMs);
    page->LoginButton()->click();
    DeviceConfig* config = page->Config();
    QTRY_COMPARE_WITH_TIMEOUT(config->InfoLabel()->text(), LanguageText(15), kWaitMs);
    QVERIFY(config->isEnabled());

    const QString dir = QDir(QStringLiteral(DEVSCAN_SCREENSHOT_DIR)).filePath(QStringLiteral("login"));
    QVERIFY(QDir().mkpath(dir));
    const QSize sizes[] = { QSize(1920, 1080), window.minimumSize() };
    const std::pair<QPushButton*, const char*> tabs[] = { { config->RebootPageButton(), "reboot" },
        { config->UserPageButton(), "user" }, { config->DefaultPageButton(), "default" } };
    for (const QSize& size : sizes) {
        window.resize(size);
        for (const auto& tab : tabs) {
            tab.first->click();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            QCOMPARE(window.size(), size);
            const QString name = QStringLiteral("%1-%2-%3x%4.png")
                                     .arg(QString::fromLatin1(QTest::currentDataTag()), QString::fromLatin1(tab.second))
                                     .arg(size.width())
                                     .arg(size.height());
            // The tool bar and title bar are checked by the window's own screenshots.
            const QStringList problems = Problems(page);
            QVERIFY2(problems.isEmpty(), qPrintable(name + QStringLiteral(": ") + problems.join(QStringLiteral("; "))));
            QVERIFY(window.grab().save(QDir(dir).filePath(name)));
            // What the page must show: the logged-in label, and on the option pages the Set button.
            QCOMPARE(config->InfoLabel()->text(), LanguageText(15));
            QCOMPARE(config->SetButton()->isVisible(), tab.second != std::string("reboot"));
        }
    }
    QVERIFY(config->m_pUser->NewPasswordEdit()->isVisible() == false); // the last tab shown is the default page
    QVERIFY(config->m_pDefault->m_pChkSystem->isVisible());
}

QTEST_MAIN(TestLoginScreenshots)
#include "tst_loginscreenshots.moc"
