#include "Startup.h"

#include "LanguageTexts.h"
#include "MainFrame.h"
#include "MiniDumper.h"
#include "OperationPages.h"
#include "TaskPool.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QFont>
#include <QTextCodec>
#include <QTextStream>
#include <QTranslator>

#include <memory>

namespace
{
void Trace(const StartupHooks* hooks, const char* step)
{
    if (hooks && hooks->trace)
        hooks->trace(step);
}
} // namespace

int RunDevscan(int argc, char* argv[], const StartupHooks* hooks)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    MiniDumper dumper(true);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf8"));
    QApplication application(argc, argv);

    QFile styleFile(QStringLiteral(":/qss/Resource/DeviceSearch.qss"));
    styleFile.open(QIODevice::ReadOnly);
    const QString styleSheet = QTextStream(&styleFile).readAll();
    application.setStyleSheet(styleSheet);
    styleFile.close();

    QFont font;
    font.setFamily(QStringLiteral("Arial"));
    QApplication::setFont(font);
    // The Japanese interface asks for Meiryo, which Linux lacks: a proportional
    // Japanese gothic stands in (Arial itself maps to Liberation Sans).
    QFont::insertSubstitutions(QStringLiteral("Meiryo"), { QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic") });

    ZVAppSetting* settings = ZVAppSetting::Instance();
    settings->LoadConfig();
    settings->LoadLanguageTexts();
    Trace(hooks, "settings-loaded");

    if (!settings->m_qmFile.isEmpty()) {
        auto* translator = new QTranslator(&application);
        translator->load(QCoreApplication::applicationDirPath() + QStringLiteral("/translations") + settings->m_qmFile);
        QCoreApplication::installTranslator(translator);
        Trace(hooks, "translator-installed");
    }

    ZVNetInit();
    ZVNetSetEncription(1);
    ZVOnvifInit();
    settings->m_onvifTimeoutSet = false;
    if (ZVOnvifSetSeachTimeout(2, 2, 2) != 0)
        settings->m_onvifTimeoutSet = true;
    Trace(hooks, "sdk-initialised");

    TaskPool* pool = TaskPool::Instance();
    Trace(hooks, "pool-started");

    int result = 0;
    {
        const OperationPages pages;
        auto mainFrame = std::make_unique<MainFrame>(pages);
        mainFrame->setAttribute(Qt::WA_QuitOnClose, true);
        mainFrame->setWindowTitle(LanguageText(0));
        mainFrame->show();
        if (hooks && hooks->windowShown)
            hooks->windowShown(mainFrame.get());
        result = QApplication::exec();
    }
    Trace(hooks, "window-destroyed");

    // Queued work is dropped; a device operation still running is given a
    // bounded time to end, and the SDK is never released beneath it.
    pool->StopAll();
    const bool poolIdle = pool->WaitForStopped(kShutdownTaskWaitMs);
    Trace(hooks, "pool-stopped");
    if (poolIdle) {
        ZVNetRelease();
        ZVOnvifRelease();
        Trace(hooks, "sdk-released");
    } else {
        qDebug() << "shutdown=== device tasks still running, SDK left initialised";
    }
    settings->ReleaseLanguageTexts();
    Trace(hooks, "texts-released");
    return result;
}
