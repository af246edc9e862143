#pragma once

#include <QStringView>

#include <cstdint>

// Strict IPv4 text: four decimal parts 0 to 255, no leading zeros, nothing else.
// Returns 1 and the four bytes in text order, or 0 leaving out untouched.
int ParseDottedQuadBytes(const char* text, unsigned char out[4]);

// The same rule over a QString's characters, without converting them; the
// address comes out with the first part most significant.
bool ParseDottedQuad(QStringView text, std::uint32_t* address);
