#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

#include <functional>

class TitleBarFrame;

// Result carried by doneRequest: 0 accepted (OK), -1 cancelled or closed.
// 1 is the only value for which the dialog keeps the result object.
using ResultType = int;

// Base of content widgets that end their dialog by a signal.
class BaseDialogFrame : public QWidget
{
    Q_OBJECT

public:
    explicit BaseDialogFrame(QWidget* parent = nullptr);

signals:
    void doneRequest(ResultType r, QObject* result);
};

// The shell of every dialog: frameless and translucent, the program's own
// title bar above a content widget. Created on the stack around the content,
// then exec().
class BaseDialog : public QDialog
{
    Q_OBJECT

public:
    BaseDialog(QWidget* content, const QString& title, QWidget* parent = nullptr);
    ~BaseDialog() override;

    QWidget* Content() const { return m_pContent; }
    QString Title() const { return m_title; }
    TitleBarFrame* TitleBar() const { return m_pTitleBar; }
    QObject* ResultObject() const { return m_pResult; }

    // Called with each dialog once it is shown, from the event loop that
    // shows it. Tests answer dialogs through it; the program sets none.
    using ShownHook = std::function<void(BaseDialog*)>;
    static ShownHook SetShownHook(ShownHook hook);

public slots:
    void OnCloseReponse(int value);
    void OnDoneResponse(ResultType r, QObject* result);
    void OnTitleMoveReponse(QPoint p);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* m_pDialogFrame;
    TitleBarFrame* m_pTitleBar;
    QWidget* m_pContent;
    QObject* m_pResult = nullptr;
    QString m_title;
};
