#pragma once

#include <QLineEdit>

// A line edit that keeps its text, in Latin-1, to a number of bytes (the
// width of the device field it feeds): an edit that goes past it loses the
// one character before the cursor, so a paste may stay longer.
class LineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit LineEdit(QWidget* parent = nullptr, int maxBytes = 1000);

    void SetMaxByteCount(int maxBytes) { m_maxBytes = maxBytes; }
    int MaxByteCount() const { return m_maxBytes; }

public slots:
    void doTextChanged();

private:
    int m_maxBytes;
    bool m_bRemoving = false;
};

// The widest IPv4 address text.
inline const char* const kWidestAddress = "255.255.255.255";

// Widens the edit (never narrows it) so that it shows text whole in its font,
// beside its frame, padding and inner margins.
void FitEditToText(QLineEdit* edit, const QString& text);
