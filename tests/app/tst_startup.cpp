#include "LanguageTexts.h"
#include "Startup.h"
#include "TaskPool.h"
#include "TestSupport.h"
#include "ZVAppSetting.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <atomic>

// Runs the program's whole life once per process (the settings singleton and
// the pool live until exit), so each configuration is its own test program.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void runsAndShutsDownInOrder();
};

namespace
{
std::atomic<qint64> g_taskEnded{-1};
QElapsedTimer g_clock;

void SlowDeviceTask(void*)
{
    QThread::msleep(400);
    g_taskEnded = g_clock.elapsed();
}
} // namespace

void TestStartup::runsAndShutsDownInOrder()
{
    TestSupport::TemporarySettings temporary;
#ifdef STARTUP_GERMAN
    QVERIFY(temporary.WriteConfig("<config><Language cursel=\"0\"><file name=\"GER.xml\"/></Language>"
                                  "<Company>2</Company><Version>V1</Version></config>"));
#endif
    g_clock.start();
    QStringList steps;
    qint64 sdkReleased = -1;
    QString title, shownTitle, cancelText;
    bool visible = false;

    StartupHooks hooks;
    hooks.trace = [&](const char* step) {
        steps << QString::fromLatin1(step);
        if (steps.last() == QLatin1String("sdk-released"))
            sdkReleased = g_clock.elapsed();
    };
    hooks.windowShown = [&](QWidget* window) {
        title = window->windowTitle();
        visible = window->isVisible();
        shownTitle = LanguageText(0);
        cancelText = QCoreApplication::translate("QPlatformTheme", "Cancel");
        // A device operation still running when the window closes.
        TaskPool::Instance()->AddTask(&SlowDeviceTask, nullptr);
        QTimer::singleShot(50, window, &QWidget::close);
    };

    char name[] = "devscan";
    char* argv[] = {name, nullptr};
    const int result = RunDevscan(1, argv, &hooks);

    QCOMPARE(result, 0);
    QVERIFY(visible);
    QCOMPARE(title, shownTitle);
    QVERIFY(ZVAppSetting::Instance()->m_onvifTimeoutSet);
    QVERIFY(!LanguageTexts::Global());
    QCOMPARE(steps, (QStringList{"settings-loaded", "translator-installed", "sdk-initialised", "pool-started",
                                 "window-destroyed", "pool-stopped", "sdk-released", "texts-released"}));
    QVERIFY(g_taskEnded >= 0);
    QVERIFY2(sdkReleased >= g_taskEnded, "the SDK must outlive the running device task");
#ifdef STARTUP_GERMAN
    QCOMPARE(ZVAppSetting::Instance()->m_qmFile, QStringLiteral("/qt_de.qm"));
    QCOMPARE(cancelText, QStringLiteral("Abbrechen"));
#else
    QVERIFY(!title.isEmpty());
    QCOMPARE(title, QStringLiteral(DEVSCAN_PRODUCT_TITLE));
    QCOMPARE(cancelText, QStringLiteral("Cancel"));
#endif
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
