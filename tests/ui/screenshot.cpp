// Starts the program for one customer code under a real X server with the
// shipped settings (in the customer's first language, or in the one named),
// checks the main window for clipped texts, missing images and overlapping
// widgets, and saves the screen with the main window, then with the about box
// and with a query box, as PNG; with a language named, also the window at its
// minimum size, whose other pages are then checked too.
//
//   devscan_screenshot CODE OUTPUT_DIR [LANGUAGE_FILE]
#include "BaseDialog.h"
#include "CheckBoxHeaderView.h"
#include "LanguageTexts.h"
#include "Startup.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QRawFont>
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

// The width a header section needs to show its whole text: the style clips
// the text in the style sheet's header font (bold, 14 px) to the section less
// its padding (5 px a side) and border, and a box section gives its check box
// the first 12 px.
int SectionWidthNeeded(const QHeaderView* header, int section)
{
    QFont font = header->font();
    font.setBold(true);
    font.setPixelSize(14);
    const QString text = header->model()->headerData(section, header->orientation()).toString();
    int needed = QFontMetrics(font).horizontalAdvance(text) + 2 * 5 + 1;
    if (const auto* boxes = qobject_cast<const CheckBoxHeaderView*>(header)) {
        if (section == boxes->m_checkSection || (section == boxes->m_httpsSection && boxes->showsHttpsBox()))
            needed += boxes->boxRect(section).width();
    }
    return needed;
}

// The characters of a text that no installed font can draw (shown as boxes).
QString Undrawable(const QString& text)
{
    static QHash<uint, bool> drawable;
    static const QStringList families = QFontDatabase().families();
    QString missing;
    for (const uint c : text.toUcs4()) {
        if (c < 0x80)
            continue;
        auto known = drawable.find(c);
        if (known == drawable.end()) {
            bool found = false;
            for (int i = 0; i < families.size() && !found; ++i)
                found = QRawFont::fromFont(QFont(families.at(i))).supportsCharacter(c);
            known = drawable.insert(c, found);
        }
        if (!*known)
            missing += QString::fromUcs4(&c, 1);
    }
    return missing;
}

void CheckGlyphs(const QString& name, const QString& text)
{
    const QString missing = Undrawable(text);
    if (!missing.isEmpty())
        g_problems << QStringLiteral("%1 has no font for \"%2\" in \"%3\"").arg(name, missing, text);
}

void CheckWidget(const QWidget* widget)
{
    const QString name = Describe(widget);
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        CheckGlyphs(name, label->text());
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        CheckGlyphs(name, button->text());
    else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        CheckGlyphs(name, combo->currentText());
    else if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
        for (int section = 0; header->model() && section < header->count(); ++section)
            CheckGlyphs(name, header->model()->headerData(section, header->orientation()).toString());
    }
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
    } else if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
        for (int section = 0; header->model() && section < header->count(); ++section) {
            if (header->orientation() == Qt::Horizontal && !header->isSectionHidden(section)
                && SectionWidthNeeded(header, section) > header->sectionSize(section))
                g_problems << QStringLiteral("%1 cuts its column %2 \"%3\" (%4 of %5 px)")
                                  .arg(name)
                                  .arg(section)
                                  .arg(header->model()->headerData(section, Qt::Horizontal).toString())
                                  .arg(header->sectionSize(section))
                                  .arg(SectionWidthNeeded(header, section));
        }
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
        std::fprintf(stderr, "usage: devscan_screenshot CODE OUTPUT_DIR [LANGUAGE_FILE]\n");
        return 2;
    }
    const QByteArray code = argv[1];
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    const QString language = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    QString name = QStringLiteral("customer-%1").arg(QString::fromLatin1(code));
    if (!language.isEmpty())
        name += QLatin1Char('-') + language.section(QLatin1Char('.'), 0, 0);
    const QString stem = QDir(outDir).filePath(name);

    TestSupport::TemporarySettings settings;
    int cursel = -1;
    if (!language.isEmpty()) {
        cursel = TestSupport::ShippedLanguageIndex(language);
        if (cursel < 0) {
            std::fprintf(stderr, "%s is not a shipped language file\n", qPrintable(language));
            return 2;
        }
    }
    settings.WriteConfig(TestSupport::ShippedConfig(code.toInt(), cursel));

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
            if (!language.isEmpty() && ZVAppSetting::Instance()->CurrentLanguageFile() != language)
                g_problems << QStringLiteral("started in %1").arg(ZVAppSetting::Instance()->CurrentLanguageFile());
            if (language.isEmpty()) {
                window->close();
                return;
            }
            window->resize(window->minimumSize());
            // Look once the window has its new size and has laid itself out.
            auto* poll = new QTimer(window);
            QElapsedTimer waited;
            waited.start();
            QObject::connect(poll, &QTimer::timeout, window, [&, window, poll, waited] {
                QCoreApplication::sendPostedEvents();
                if (window->size() != window->minimumSize() && waited.elapsed() < 30000)
                    return;
                poll->stop();
                if (window->size() != window->minimumSize())
                    g_problems << QStringLiteral("the window keeps %1 x %2").arg(window->width()).arg(window->height());
                CheckWindow(window);
                SaveScreen(stem + QStringLiteral("-min.png"));
                // The other pages at this size, in the same language.
                auto* stack = window->findChild<QStackedWidget*>();
                for (int page = 1; page < stack->count(); ++page) {
                    stack->setCurrentIndex(page);
                    QCoreApplication::sendPostedEvents();
                    const int before = g_problems.size();
                    CheckWindow(window);
                    for (int i = before; i < g_problems.size(); ++i)
                        g_problems[i].prepend(QStringLiteral("page %1: ").arg(page));
                }
                window->close();
            });
            poll->start(50);
        });
    };
    const int result = RunDevscan(argc, argv, &hooks);
    for (const QString& problem : qAsConst(g_problems))
        std::fprintf(stderr, "customer %s: %s\n", code.constData(), qPrintable(problem));
    return result != 0 || !g_problems.isEmpty() ? 1 : 0;
}
