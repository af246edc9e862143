// Starts the program for one customer code under a real X server, checks the
// main window for clipped texts, missing images and overlapping widgets, and
// saves the screen with the main window, then with the about box and with a
// query box, as PNG. Then lists 20 devices and checks and saves the upgrade
// page (mid-batch), the import/export page and the Excel page, where the
// customer has them, each at the screen's size and at the window's minimum size.
//
//   devscan_screenshot CODE OUTPUT_DIR
#include "BaseDialog.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DevicePage.h"
#include "LanguageTexts.h"
#include "Startup.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstring>

namespace
{
QStringList g_problems;

QString Describe(const QWidget* widget)
{
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        name += QLatin1Char('#') + widget->objectName();
    return name;
}

void CheckWidget(const QWidget* widget)
{
    const QString name = Describe(widget);
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (!label->text().isEmpty() && !label->wordWrap() && label->sizeHint().width() > label->width())
            g_problems << QStringLiteral("%1 cuts its text \"%2\"").arg(name, label->text());
        if (label->text().isEmpty() && label->pixmap(Qt::ReturnByValue).isNull())
            g_problems << QStringLiteral("%1 shows neither text nor image").arg(name);
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        const int needed = button->fontMetrics().horizontalAdvance(button->text()) + 4;
        if (!button->text().isEmpty() && needed > button->width())
            g_problems << QStringLiteral("%1 cuts its text \"%2\" (%3 of %4 px)")
                              .arg(name, button->text())
                              .arg(button->width())
                              .arg(needed);
    } else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        // Room for the text, the padding and the drop-down arrow.
        const int needed = combo->fontMetrics().horizontalAdvance(combo->currentText()) + 2 * 4 + 20 + 2;
        if (needed > combo->width())
            g_problems << QStringLiteral("%1 cuts its text \"%2\"").arg(name, combo->currentText());
    }
}

void CheckOverlaps(const QWidget* parent)
{
    QList<const QWidget*> shown;
    for (const QObject* child : parent->children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (widget && widget->isVisible() && !widget->isWindow())
            shown << widget;
    }
    for (int i = 0; i < shown.size(); ++i) {
        for (int j = i + 1; j < shown.size(); ++j) {
            if (shown.at(i)->geometry().intersects(shown.at(j)->geometry()))
                g_problems << QStringLiteral("%1 and %2 overlap").arg(Describe(shown.at(i)), Describe(shown.at(j)));
        }
    }
}

void CheckWindow(const QWidget* window)
{
    CheckOverlaps(window);
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible())
            continue;
        CheckWidget(widget);
        if (!qobject_cast<const QStackedWidget*>(widget))
            CheckOverlaps(widget);
    }
}

bool SaveScreen(const QString& path)
{
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull() || !shot.save(path)) {
        g_problems << QStringLiteral("cannot save %1").arg(path);
        return false;
    }
    return true;
}

// Lets the window settle (layouts, repaints) before it is looked at.
void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void CopyText(const QString& text, char* field, size_t size)
{
    const QByteArray bytes = text.toLatin1().left(static_cast<int>(size) - 1);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Twenty devices as a search would list them; nothing is sent to them.
QList<DeviceInfo*> ListedDevices()
{
    QList<DeviceInfo*> devices;
    for (int n = 1; n <= 20; ++n) {
        SearchDevRsp record;
        std::memset(&record, 0, sizeof(record));
        CopyText(QStringLiteral("192.168.10.%1").arg(100 + n), record.ip, sizeof(record.ip));
        CopyText(QStringLiteral("Camera %1").arg(n), record.deviceName, sizeof(record.deviceName));
        CopyText(QStringLiteral("ZV-IPC-2000"), record.deviceType, sizeof(record.deviceType));
        CopyText(QStringLiteral("V4.2.1 build 20260101"), record.deviceVersion, sizeof(record.deviceVersion));
        CopyText(QStringLiteral("255.255.255.0"), record.netmask, sizeof(record.netmask));
        CopyText(QStringLiteral("192.168.10.1"), record.gateway, sizeof(record.gateway));
        CopyText(QStringLiteral("02:5A:56:00:00:%1").arg(n, 2, 10, QLatin1Char('0')), record.mac, sizeof(record.mac));
        CopyText(QStringLiteral("ZV%1ABCDEF").arg(n), record.p2pId, sizeof(record.p2pId));
        record.channelNumber = 4;
        record.mediaPort = 9000;
        record.webPort = 80;
        record.networkMode = n % 3 ? 2 : 1;
        auto* device = new DeviceInfo;
        device->InitFromSearchRsp(&record, false);
        devices << device;
    }
    return devices;
}

// Checks and saves each of the three pages with the devices listed, at the
// screen's size and at the window's minimum size.
void ShootPages(QWidget* window, const QString& stem)
{
    auto* toolBar = window->findChild<ToolBarFrame*>();
    // The start-up search holds the tool bar until it ends.
    QElapsedTimer waited;
    waited.start();
    while (!toolBar->Button(ToolBarFrame::ButtonUpgrade)->isEnabled() && waited.elapsed() < 20000)
        Settle(100);
    const QList<DeviceInfo*> devices = ListedDevices();
    DeviceInfoMng::Instance()->ReplaceLanDevices(devices);
    struct Shot
    {
        const char* page;
        ToolBarFrame::PageButton button;
        const char* name;
    };
    const Shot shots[] = { { "UpgradeFrame", ToolBarFrame::ButtonUpgrade, "upgrade" },
        { "ImportExportFrame", ToolBarFrame::ButtonImportExport, "importexport" },
        { "ExportExcel", ToolBarFrame::ButtonExportExcel, "excel" } };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const Shot& shot : shots) {
        auto* page = window->findChild<DevicePage*>(QLatin1String(shot.page));
        QPushButton* button = toolBar->Button(shot.button);
        if (!page) {
            g_problems << QStringLiteral("no %1 page").arg(QLatin1String(shot.name));
            continue;
        }
        // Not every customer is offered every page.
        if (!button || !button->isVisible())
            continue;
        page->RefreshDeviceList();
        // The upgrade page mid-batch: rows waiting, upgrading, done and failed.
        for (int i = 0; i < devices.size(); ++i) {
            DeviceInfo* device = devices.at(i);
            if (shot.button == ToolBarFrame::ButtonUpgrade) {
                const int statuses[] = { StatusWaiting, StatusUpgrading, StatusUpgradeOk, StatusUpgradeFailed };
                device->m_status = statuses[i % 4];
                device->m_upgradeProgress = 5 * i;
            } else {
                device->m_status = i % 2 ? StatusExportOk : StatusNone;
            }
            page->OnDeviceTaskFinished(device, false);
        }
        button->click();
        for (int size = 0; size < 2; ++size) {
            if (size == 0)
                window->setGeometry(screen);
            else
                window->resize(window->minimumSize());
            Settle(400);
            // The page itself; the window's bars are checked above.
            CheckWindow(page);
            SaveScreen(stem + QStringLiteral("-%1-%2.png").arg(QLatin1String(shot.name), size == 0 ? "full" : "min"));
        }
    }
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: devscan_screenshot CODE OUTPUT_DIR\n");
        return 2;
    }
    const QByteArray code = argv[1];
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    const QString stem = QDir(outDir).filePath(QStringLiteral("customer-%1").arg(QString::fromLatin1(code)));

    TestSupport::TemporarySettings settings;
    settings.WriteConfig("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><Language cursel=\"0\">"
                         "<file name=\"ENU.xml\"/></Language><Company>"
        + code + "</Company><Version>V1.0.0</Version></config>\n");

    StartupHooks hooks;
    hooks.windowShown = [&](QWidget* window) {
        // Let the window settle at its final geometry before looking at it.
        QTimer::singleShot(500, window, [&, window] {
            CheckWindow(window);
            SaveScreen(stem + QStringLiteral(".png"));
            auto* titleBar = window->findChild<TitleBarFrame*>();
            BaseDialog::SetShownHook([&](BaseDialog* dialog) {
                QTimer::singleShot(300, dialog, [&, dialog] {
                    CheckWindow(dialog);
                    SaveScreen(stem + QStringLiteral("-about.png"));
                    dialog->TitleBar()->CloseButton()->click();
                });
            });
            titleBar->ShowAboutWindow();
            BaseDialog::SetShownHook([&](BaseDialog* dialog) {
                QTimer::singleShot(300, dialog, [&, dialog] {
                    CheckWindow(dialog);
                    SaveScreen(stem + QStringLiteral("-message.png"));
                    dialog->TitleBar()->CloseButton()->click();
                });
            });
            ZVMessageBox::ShowMessage(window, LanguageText(51), LanguageText(6), 1, 2);
            BaseDialog::SetShownHook({});
            ShootPages(window, stem);
            window->close();
        });
    };
    const int result = RunDevscan(argc, argv, &hooks);
    for (const QString& problem : qAsConst(g_problems))
        std::fprintf(stderr, "customer %s: %s\n", code.constData(), qPrintable(problem));
    return result != 0 || !g_problems.isEmpty() ? 1 : 0;
}
