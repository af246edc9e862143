#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// Texts in the SDK's fixed-width records: Latin-1, NUL-terminated within
// their field. Devices fill these fields, so a missing terminator must not
// make a reader run past the field.

// The field's characters up to its first NUL, never beyond width.
QString FieldText(const char* field, std::size_t width);

template <std::size_t N> QString FieldText(const char (&field)[N])
{
    return FieldText(field, N);
}

// Writes the Latin-1 bytes of text into field, cut to width - 1 bytes, and a
// terminating NUL. The rest of the field is left as it was.
void CopyLatin1(const QString& text, char* field, std::size_t width);

template <std::size_t N> void CopyLatin1(const QString& text, char (&field)[N])
{
    CopyLatin1(text, field, N);
}

// The length of the longest start of the UTF-8 bytes that fits width bytes
// and does not end inside a character.
int Utf8PrefixLength(const QByteArray& bytes, int width);
