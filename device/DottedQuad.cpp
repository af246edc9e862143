#include "DottedQuad.h"

#include <cstdio>
#include <cstring>

namespace
{
// Walks [begin, end); a NUL ends the text early. Char is char or QChar-like.
template <typename Char> bool ParseParts(const Char* begin, const Char* end, unsigned char parts[4])
{
    unsigned octet = 0;
    int begun = 0;
    bool inDigits = false;
    for (const Char* p = begin; p != end; ++p) {
        const unsigned c = static_cast<unsigned>(*p);
        if (c == 0)
            break;
        if (c >= '0' && c <= '9') {
            if (inDigits && octet == 0)
                return false; // a leading zero
            if (!inDigits && ++begun > 4)
                return false;
            octet = octet * 10 + (c - '0');
            if (octet > 255)
                return false;
            inDigits = true;
            parts[begun - 1] = static_cast<unsigned char>(octet);
        } else if (c == '.' && inDigits && begun < 4) {
            inDigits = false;
            octet = 0;
        } else {
            return false;
        }
    }
    return begun == 4 && inDigits;
}
} // namespace

int ParseDottedQuadBytes(const char* text, unsigned char out[4])
{
    if (!text || !out)
        return 0;
    const char* end = text;
    while (*end)
        ++end;
    unsigned char parts[4];
    if (!ParseParts(text, end, parts))
        return 0;
    for (int i = 0; i < 4; ++i)
        out[i] = parts[i];
    return 1;
}

char* FormatDottedQuad(const unsigned char bytes[4], char* dest, std::size_t size)
{
    if (!bytes || !dest)
        return nullptr;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    if (length < 0 || static_cast<std::size_t>(length) >= size)
        return nullptr;
    std::memcpy(dest, text, static_cast<std::size_t>(length) + 1);
    return dest;
}

bool ParseDottedQuad(QStringView text, std::uint32_t* address)
{
    unsigned char parts[4];
    const char16_t* begin = text.utf16();
    if (!ParseParts(begin, begin + text.size(), parts))
        return false;
    if (address)
        *address = (std::uint32_t(parts[0]) << 24) | (std::uint32_t(parts[1]) << 16) | (std::uint32_t(parts[2]) << 8)
            | parts[3];
    return true;
}
