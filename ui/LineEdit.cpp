#include "LineEdit.h"

LineEdit::LineEdit(QWidget* parent, int maxBytes)
    : QLineEdit(parent)
    , m_maxBytes(maxBytes)
{
    connect(this, &QLineEdit::textEdited, this, &LineEdit::doTextChanged);
}

void LineEdit::doTextChanged()
{
    if (text().toLatin1().size() <= m_maxBytes)
        return;
    // Drop the character just typed, which sits before the cursor. del()
    // counts as an edit and comes back here, so of a paste only what fits stays.
    cursorBackward(false, 1);
    del();
}
