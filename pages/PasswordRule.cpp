#include "PasswordRule.h"

#include <QVector>

namespace
{
const char* const kKeyRows[] = { "`1234567890-=", "qwertyuiop[]", "asdfghjkl;'", "zxcvbnm,./", "~!@#$%^&*()_+",
    "QWERTYUIOP{}|", "ASDFGHJKL:", "ZXCVBNM<>?" };
constexpr int kRowCount = 8;
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
bool HasRun(const QString& text, const PasswordRule::Parameters& rule)
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
            const bool last = place.position == length - 1;
            if (rule.runCrossesRows && last && direction >= 0 && place.row + 1 < kRowCount
                && static_cast<unsigned char>(kKeyRows[place.row + 1][0]) == c) {
                ++keys;
                direction = 1;
                ++place.row;
                place.position = 0;
            } else if (rule.runCrossesRows && place.position == 0 && direction <= 0 && place.row > 0
                && static_cast<unsigned char>(kKeyRows[place.row - 1][RowLength(place.row - 1) - 1]) == c) {
                ++keys;
                direction = -1;
                --place.row;
                place.position = RowLength(place.row) - 1;
            } else if (place.position < length - 1 && direction >= 0
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
        if (same == kRunLimit || rising == kRunLimit || keys >= rule.keyRunLimit)
            return true;
    }
    return false;
}

int ClassCount(const QString& text, bool lettersOneClass)
{
    bool seen[4] = {};
    for (QChar c : text) {
        Class k = ClassOf(Code(c));
        if (lettersOneClass && k == Lower)
            k = Upper;
        seen[k] = true;
    }
    return seen[0] + seen[1] + seen[2] + seen[3];
}

// One row per caller, in the order of PasswordRule::Caller.
const PasswordRule::Parameters kParameters[] = {
    { 4, false, false, false },
    { 4, false, false, false },
    { 5, true, true, true },
};
} // namespace

namespace PasswordRule
{
const Parameters& ParametersOf(Caller caller)
{
    return kParameters[static_cast<int>(caller)];
}

bool Applies(Caller caller, int company, int nibble)
{
    switch (caller) {
    case Caller::UserPage:
        switch (company) {
        case 30:
        case 37:
        case 38:
        case 39:
        case 40: return true;
        case 0:
        case 45: return nibble == 4;
        default: return false;
        }
    case Caller::ChangePasswordPage:
        switch (company) {
        case 0:
        case 30:
        case 38:
        case 40:
        case 45: return true;
        default: return false;
        }
    case Caller::FirstPasswordBox: return true;
    }
    return false;
}

Outcome Check(Caller caller, const QString& password, const QString& confirm, bool ruleApplies)
{
    if (password.isEmpty())
        return Outcome::Empty;
    if (password != confirm)
        return Outcome::Mismatch;
    if (!ruleApplies)
        return Outcome::Accepted;
    const Parameters& rule = ParametersOf(caller);
    const int n = password.size();
    const bool badLength = n < 8 || n > 15;
    if (badLength && !rule.runBeforeLength)
        return Outcome::Length;
    if (HasRun(password, rule))
        return Outcome::Run;
    if (badLength)
        return Outcome::Length;
    const int required = n > 9 ? 2 : 3;
    if (ClassCount(password, rule.lettersOneClass) < required)
        return Outcome::Classes;
    return Outcome::Accepted;
}

int PageTextId(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Accepted: return kAccepted;
    case Outcome::Empty: return kEmpty;
    case Outcome::Mismatch: return kMismatch;
    case Outcome::Length: return kLength;
    case Outcome::Run:
    case Outcome::Classes: return kWeak;
    }
    return kWeak;
}

int CheckPagePassword(const QString& password, const QString& confirm, bool ruleApplies)
{
    return PageTextId(Check(Caller::UserPage, password, confirm, ruleApplies));
}
} // namespace PasswordRule
