#include "LineEdit.h"

#include <QStyle>
#include <QStyleOptionFrame>

LineEdit::LineEdit(QWidget* parent, int maxBytes)
    : QLineEdit(parent)
    , m_maxBytes(maxBytes)
{
    connect(this, &QLineEdit::textEdited, this, &LineEdit::doTextChanged);
}

void LineEdit::doTextChanged()
{
    if (m_bRemoving || text().toLatin1().size() <= m_maxBytes)
        return;
    // Drop the character just typed, which sits before the cursor: one per
    // edit, also of a paste. del() counts as an edit of its own and would come
    // back here.
    m_bRemoving = true;
    cursorBackward(false, 1);
    del();
    m_bRemoving = false;
}

void FitEditToText(QLineEdit* edit, const QString& text)
{
    edit->ensurePolished();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = QRect(QPoint(0, 0), edit->size());
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    // QLineEdit keeps two pixels of its own on either side of the text.
    const int chrome = edit->width() - contents.width() + margins.left() + margins.right() + 2 * 2;
    const int needed = edit->fontMetrics().horizontalAdvance(text) + chrome;
    if (needed > edit->width())
        edit->setFixedWidth(needed);
}
