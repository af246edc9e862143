#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <limits>

// Texts in the SDK's fixed-width records. Devices fill these fields, so a
// missing terminator must not make a reader run past the field; texts written
// into them are cut on a character boundary, never inside a character's bytes.

// The field's characters up to its first NUL, never beyond width.
QString FieldText(const char* field, std::size_t width);

template <std::size_t N> QString FieldText(const char (&field)[N])
{
    return FieldText(field, N);
}

// How a field holds its text.
enum class TextCode
{
    Latin1,
    Utf8,
    Local8Bit, // the system's 8-bit code page
};

// How a text ends in its field.
enum class FieldEnd
{
    Terminated, // at most width - 1 bytes and a NUL; the rest stays as it was
    Padded, // at most width bytes, the rest zero: a full field keeps no NUL
};

// The length of the longest start of the UTF-8 bytes (size of them) that has
// at most width bytes and does not end inside a character's sequence.
std::size_t Utf8PrefixLength(const char* bytes, std::size_t size, std::size_t width);

// The bytes of text in code, cut on a character boundary to at most width.
QByteArray CutText(const QString& text, TextCode code, std::size_t width);

// Writes text into field (width bytes) in code, cut and ended as end says.
void PutText(const QString& text, TextCode code, char* field, std::size_t width, FieldEnd end);
// The same for bytes already in code (Latin-1 or UTF-8).
void PutBytes(const char* bytes, std::size_t size, TextCode code, char* field, std::size_t width, FieldEnd end);

template <std::size_t N> void PutText(const QString& text, TextCode code, char (&field)[N], FieldEnd end)
{
    PutText(text, code, field, N, end);
}

template <std::size_t N>
void PutBytes(const char* bytes, std::size_t size, TextCode code, char (&field)[N], FieldEnd end)
{
    PutBytes(bytes, size, code, field, N, end);
}

// Writes the Latin-1 bytes of text into field, cut to width - 1 bytes, and a
// terminating NUL. The rest of the field is left as it was.
void CopyLatin1(const QString& text, char* field, std::size_t width);

template <std::size_t N> void CopyLatin1(const QString& text, char (&field)[N])
{
    CopyLatin1(text, field, N);
}

// Whether every character of text is in Latin-1 and its bytes fit width: a
// text that fails would reach a device as another text than the one typed.
bool FitsLatin1(const QString& text, std::size_t width = std::numeric_limits<std::size_t>::max());

// The length of the longest start of the UTF-8 bytes that fits width bytes
// and does not end inside a character.
int Utf8PrefixLength(const QByteArray& bytes, int width);
