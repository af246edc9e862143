// Starts the program for one customer code under a real X server, checks the
// main window for clipped texts, missing images and overlapping widgets, and
// saves the screen with the main window, then with the about box and with a
// query box, as PNG.
//
//   devscan_screenshot CODE OUTPUT_DIR
#include "BaseDialog.h"
#include "LanguageTexts.h"
#include "Startup.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

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
            window->close();
        });
    };
    const int result = RunDevscan(argc, argv, &hooks);
    for (const QString& problem : qAsConst(g_problems))
        std::fprintf(stderr, "customer %s: %s\n", code.constData(), qPrintable(problem));
    return result != 0 || !g_problems.isEmpty() ? 1 : 0;
}
