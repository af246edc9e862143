#pragma once

#include <QStringView>

#include <cstddef>
#include <cstdint>

// Strict IPv4 text: four decimal parts 0 to 255, no leading zeros, nothing else.
// Returns 1 and the four bytes in text order, or 0 leaving out untouched.
int ParseDottedQuadBytes(const char* text, unsigned char out[4]);

// Writes "a.b.c.d" of the four bytes into dest and returns dest; returns null
// and leaves dest untouched when the text and its NUL would not fit size.
char* FormatDottedQuad(const unsigned char bytes[4], char* dest, std::size_t size);

// The same rule over a QString's characters, without converting them; the
// address comes out with the first part most significant.
bool ParseDottedQuad(QStringView text, std::uint32_t* address);
