#include "Startup.h"

#include "LanguageTexts.h"
#include "MainFrame.h"
#include "MiniDumper.h"
#include "OperationPages.h"
#include "TaskPool.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"
#include "httpRequest.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QFont>
#include <QTextCodec>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <memory>

static_assert(kShutdownTaskWaitMs == httpRequest::kStopWaitMs, "an upload is waited for as long everywhere");

namespace
{
void Trace(const StartupHooks* hooks, const char* step)
{
    if (hooks && hooks->trace)
        hooks->trace(step);
}

int SdkCall(const StartupHooks* hooks, const char* call, int result)
{
    Trace(hooks, call);
    return hooks && hooks->sdkResult ? hooks->sdkResult(call, result) : result;
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

    SdkCall(hooks, "ZVNetInit", ZVNetInit());
    SdkCall(hooks, "ZVNetSetEncription", ZVNetSetEncription(1));
    SdkCall(hooks, "ZVOnvifInit", ZVOnvifInit());
    settings->m_onvifTimeoutSet = false;
    if (SdkCall(hooks, "ZVOnvifSetSeachTimeout", ZVOnvifSetSeachTimeout(2, 2, 2)) != 0)
        settings->m_onvifTimeoutSet = true;

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

        // Queued work is dropped and running uploads are interrupted. A device
        // operation still running reports to the pages and uses the SDK, so
        // both stay until it has ended; pool and uploads share one bound.
        const QDeadlineTimer deadline(hooks ? hooks->shutdownWaitMs : kShutdownTaskWaitMs);
        pool->StopAll();
        InterruptAllUploads();
        const bool poolIdle = pool->WaitForStopped(static_cast<int>(deadline.remainingTime()));
        const bool uploadsEnded = WaitForUploads(deadline);
        Trace(hooks, "pool-stopped");
        if (!poolIdle || !uploadsEnded) {
            // Whatever is destroyed now, the pages, the SDK, the singletons of
            // the exit handlers, may be in use: end without destroying anything.
            qDebug() << "shutdown=== device tasks still running";
            std::fflush(nullptr);
            std::_Exit(result);
        }
    }

    SdkCall(hooks, "ZVNetRelease", ZVNetRelease());
    SdkCall(hooks, "ZVOnvifRelease", ZVOnvifRelease());
    settings->ReleaseLanguageTexts();
    Trace(hooks, "texts-released");
    return result;
}
