#include "FixedText.h"

#include <QByteArray>

#include <cstring>

QString FieldText(const char* field, std::size_t width)
{
    if (!field || width == 0)
        return QString();
    const void* end = std::memchr(field, '\0', width);
    const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : width;
    return QString::fromLatin1(field, static_cast<int>(length));
}

void CopyLatin1(const QString& text, char* field, std::size_t width)
{
    if (!field || width == 0)
        return;
    const QByteArray bytes = text.toLatin1();
    const std::size_t length = qMin(static_cast<std::size_t>(bytes.size()), width - 1);
    std::memcpy(field, bytes.constData(), length);
    field[length] = '\0';
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
