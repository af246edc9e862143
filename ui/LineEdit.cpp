#include "LineEdit.h"

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
