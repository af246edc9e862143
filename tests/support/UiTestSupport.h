#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class BaseDialog;
class QTableView;

namespace TestSupport
{
// Loads the program's style sheet and font, as start-up does.
void ApplyProgramStyle();

// Makes text n of the language table read "T<n>" (241 texts).
void LoadNumberedTexts();

// Clicks the check box of a row of a device table (column 0), as a user ticks a device.
void ClickCheckBox(QTableView* view, int row);

// Answers every dialog the code under test shows, the way a user would: by
// clicking the message box's OK or Cancel button, or the title bar's close
// button. Records what each dialog showed.
class DialogAnswerer
{
public:
    enum Answer
    {
        ClickOk,
        ClickCancel,
        ClickClose
    };

    struct Shown
    {
        QString title;
        QString text; // empty unless the content is a ZVMessageBox
        int buttonMode = -2;
        int iconMode = -2;
    };

    explicit DialogAnswerer(Answer answer = ClickOk);
    ~DialogAnswerer();

    // Runs instead of the answer for the next dialog (then the answer again).
    void SetNextAction(std::function<void(BaseDialog*)> action) { m_nextAction = std::move(action); }
    const QList<Shown>& Dialogs() const { return m_shown; }

private:
    void OnShown(BaseDialog* dialog);

    Answer m_answer;
    std::function<void(BaseDialog*)> m_nextAction;
    QList<Shown> m_shown;
};

// Records the web pages the code under test opens instead of opening them.
class WebPageRecorder
{
public:
    struct Opened
    {
        QByteArray address;
        QString verb;
    };

    WebPageRecorder();
    ~WebPageRecorder();
    const QList<Opened>& Pages() const { return m_pages; }

private:
    QList<Opened> m_pages;
};
} // namespace TestSupport
