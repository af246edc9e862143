#include "PasswordRule.h"

#include <QVector>

namespace
{
const char* const kKeyRows[] = { "`1234567890-=", "qwertyuiop[]", "asdfghjkl;'", "zxcvbnm,./", "~!@#$%^&*()_+",
    "QWERTYUIOP{}|", "ASDFGHJKL:", "ZXCVBNM<>?" };
constexpr int kRowCount = 8;
constexpr int kKeyRunLimit = 4;
constexpr int kRunLimit = 4;

struct Place
{
    int row = -1;
    int position = -1;
};

int Code(QChar c)
{
    return c.unicode() <= 0xFF ? c.unicode() : 0;
}

Place PlaceOf(int code)
{
    Place place;
    if (code == 0)
        return place;
    for (int row = 0; row < kRowCount; ++row) {
        for (int i = 0; kKeyRows[row][i]; ++i) {
            if (static_cast<unsigned char>(kKeyRows[row][i]) == code) {
                place.row = row;
                place.position = i;
                return place;
            }
        }
    }
    return place;
}

int RowLength(int row)
{
    return static_cast<int>(std::char_traits<char>::length(kKeyRows[row]));
}

enum Class
{
    Digit,
    Upper,
    Lower,
    Other
};

Class ClassOf(int code)
{
    if (code >= '0' && code <= '9')
        return Digit;
    if (code >= 'A' && code <= 'Z')
        return Upper;
    if (code >= 'a' && code <= 'z')
        return Lower;
    return Other;
}

// True when the text has a run of identical, rising or neighbouring keys.
bool HasRun(const QString& text)
{
    int same = 1;
    int rising = 1;
    int keys = 1;
    int direction = 0;
    Place place = PlaceOf(Code(text.at(0)));
    for (int i = 1; i < text.size(); ++i) {
        const int c = Code(text.at(i));
        const int p = Code(text.at(i - 1));
        if (ClassOf(c) == Other) {
            rising = 0;
            same = c == p ? same + 1 : 1;
        } else if (c == p) {
            ++same;
            rising = 1;
        } else {
            rising = c == p + 1 ? rising + 1 : 1;
            same = 1;
        }
        auto reanchor = [&] {
            keys = 1;
            direction = 0;
            place = PlaceOf(c);
        };
        if (place.row < 0) {
            reanchor();
        } else {
            const char* row = kKeyRows[place.row];
            const int length = RowLength(place.row);
            if (place.position < length - 1 && direction >= 0
                && static_cast<unsigned char>(row[place.position + 1]) == c) {
                ++keys;
                direction = 1;
                ++place.position;
            } else if (place.position > 0 && direction <= 0
                && static_cast<unsigned char>(row[place.position - 1]) == c) {
                ++keys;
                direction = -1;
                --place.position;
            } else {
                reanchor();
            }
        }
        if (same == kRunLimit || rising == kRunLimit || keys >= kKeyRunLimit)
            return true;
    }
    return false;
}

int ClassCount(const QString& text)
{
    bool seen[4] = {};
    for (QChar c : text)
        seen[ClassOf(Code(c))] = true;
    return seen[0] + seen[1] + seen[2] + seen[3];
}
} // namespace

namespace PasswordRule
{
int CheckPagePassword(const QString& password, const QString& confirm, bool ruleApplies)
{
    if (password.isEmpty())
        return kEmpty;
    if (password != confirm)
        return kMismatch;
    if (!ruleApplies)
        return kAccepted;
    const int n = password.size();
    if (n < 8 || n > 15)
        return kLength;
    if (HasRun(password))
        return kWeak;
    if (ClassCount(password) < (n > 9 ? 2 : 3))
        return kWeak;
    return kAccepted;
}
} // namespace PasswordRule
