#include "BaseDialog.h"

#include "TitleBarFrame.h"

#include <QFileDialog>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace
{
BaseDialog::ShownHook g_shownHook;
}

BaseDialogFrame::BaseDialogFrame(QWidget* parent)
    : QWidget(parent)
{
}

BaseDialog::BaseDialog(QWidget* content, const QString& title, QWidget* parent)
    : QDialog(parent)
    , m_pDialogFrame(new QWidget(this))
    , m_pTitleBar(nullptr)
    , m_pContent(content)
    , m_title(title)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(title);

    m_pDialogFrame->setObjectName(QStringLiteral("DialogFrame"));
    m_pTitleBar = new TitleBarFrame(m_pDialogFrame, false);
    m_pTitleBar->SetTitle(title);
    m_pTitleBar->setStyleSheet(QStringLiteral("border:0px;"));
    m_pTitleBar->setFixedHeight(25);

    setStyleSheet(QStringLiteral("border:1px solid rgb(134, 134, 134);"));

    auto* frameLayout = new QVBoxLayout(m_pDialogFrame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    frameLayout->setSpacing(0);
    frameLayout->addWidget(m_pTitleBar);

    auto* fileDialog = qobject_cast<QFileDialog*>(content);
    if (fileDialog) {
        // Embedded as a plain widget, so it cannot be a native window of its own.
        fileDialog->setOption(QFileDialog::DontUseNativeDialog);
        fileDialog->setWindowFlags(Qt::Widget);
    }
    if (content)
        frameLayout->addWidget(content);

    auto* dialogLayout = new QVBoxLayout(this);
    dialogLayout->setContentsMargins(0, 0, 0, 0);
    dialogLayout->setSpacing(0);
    dialogLayout->addWidget(m_pDialogFrame);

    connect(m_pTitleBar, &TitleBarFrame::CloseRequest, this, &BaseDialog::OnCloseReponse);
    connect(m_pTitleBar, &TitleBarFrame::TitleMoveRequest, this, &BaseDialog::OnTitleMoveReponse);
    if (auto* frame = qobject_cast<BaseDialogFrame*>(content)) {
        connect(frame, &BaseDialogFrame::doneRequest, this, &BaseDialog::OnDoneResponse);
    } else if (fileDialog) {
        connect(fileDialog, &QDialog::finished, this, &BaseDialog::OnCloseReponse);
        fileDialog->setMinimumSize(620, 420);
    }
}

BaseDialog::~BaseDialog() = default;

BaseDialog::ShownHook BaseDialog::SetShownHook(ShownHook hook)
{
    std::swap(g_shownHook, hook);
    return hook;
}

void BaseDialog::OnCloseReponse(int value)
{
    done(value);
}

void BaseDialog::OnDoneResponse(ResultType r, QObject* result)
{
    m_pResult = r == 1 ? result : nullptr;
    done(r);
}

void BaseDialog::OnTitleMoveReponse(QPoint p)
{
    move(p);
}

void BaseDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!g_shownHook)
        return;
    // Run once the dialog's own event loop turns, as a user's answer would.
    QPointer<BaseDialog> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->isVisible() && g_shownHook)
            g_shownHook(self);
    });
}
