#include "FixedText.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

QString FieldText(const char* field, std::size_t width)
{
    if (!field || width == 0)
        return QString();
    const void* end = std::memchr(field, '\0', width);
    const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : width;
    return QString::fromLatin1(field, static_cast<int>(length));
}

std::size_t Utf8PrefixLength(const char* bytes, std::size_t size, std::size_t width)
{
    if (!bytes || size <= width)
        return bytes ? size : 0;
    // The byte after the cut must start a character: step back over the
    // continuation bytes of the one the cut would split.
    std::size_t length = width;
    while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
        --length;
    return length;
}

namespace
{
std::size_t CutLength(const char* bytes, std::size_t size, TextCode code, std::size_t width)
{
    return code == TextCode::Utf8 ? Utf8PrefixLength(bytes, size, width) : std::min(size, width);
}

// Character by character: the code page may use more than one byte for one.
QByteArray CutLocal8Bit(const QString& text, std::size_t width)
{
    QByteArray bytes;
    for (int i = 0; i < text.size();) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray character = text.mid(i, length).toLocal8Bit();
        if (static_cast<std::size_t>(bytes.size() + character.size()) > width)
            break;
        bytes += character;
        i += length;
    }
    return bytes;
}
} // namespace

QByteArray CutText(const QString& text, TextCode code, std::size_t width)
{
    if (code == TextCode::Local8Bit)
        return CutLocal8Bit(text, width);
    const QByteArray bytes = code == TextCode::Utf8 ? text.toUtf8() : text.toLatin1();
    return bytes.left(
        static_cast<int>(CutLength(bytes.constData(), static_cast<std::size_t>(bytes.size()), code, width)));
}

void PutText(const QString& text, TextCode code, char* field, std::size_t width, FieldEnd end)
{
    if (!field || width == 0)
        return;
    const QByteArray bytes = CutText(text, code, end == FieldEnd::Terminated ? width - 1 : width);
    // Already cut: the bytes are written as they are.
    PutBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()), TextCode::Latin1, field, width, end);
}

void PutBytes(const char* bytes, std::size_t size, TextCode code, char* field, std::size_t width, FieldEnd end)
{
    if (!field || width == 0)
        return;
    if (end == FieldEnd::Padded)
        std::memset(field, 0, width);
    const std::size_t room = end == FieldEnd::Terminated ? width - 1 : width;
    const std::size_t length = bytes ? CutLength(bytes, size, code, room) : 0;
    if (length > 0)
        std::memcpy(field, bytes, length);
    if (end == FieldEnd::Terminated)
        field[length] = '\0';
}

void CopyLatin1(const QString& text, char* field, std::size_t width)
{
    PutText(text, TextCode::Latin1, field, width, FieldEnd::Terminated);
}

bool FitsLatin1(const QString& text, std::size_t width)
{
    return static_cast<std::size_t>(text.size()) <= width
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

int Utf8PrefixLength(const QByteArray& bytes, int width)
{
    int length = qMax(0, qMin(bytes.size(), width));
    if (length < bytes.size()) {
        while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
            --length;
    }
    return length;
}
