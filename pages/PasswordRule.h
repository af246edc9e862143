#pragma once

// The password strength rule for a new device password. One algorithm with
// three callers that differ in when it applies, in the keyboard-run limit,
// in the character classes and in the order of the length test.

#include <QString>

namespace PasswordRule
{
inline constexpr int kAccepted = 79;
inline constexpr int kEmpty = 80;
inline constexpr int kMismatch = 81;
inline constexpr int kLength = 149;
inline constexpr int kWeak = 153;

enum class Caller
{
    UserPage, // the login page's configuration
    ChangePasswordPage, // the batch page
    FirstPasswordBox // the first password of a device that has none
};

enum class Outcome
{
    Accepted,
    Empty,
    Mismatch,
    Length,
    Run, // identical, rising or neighbouring keys
    Classes // too few character classes
};

struct Parameters
{
    int keyRunLimit; // neighbouring keys along one row that fail
    bool lettersOneClass; // upper- and lower-case letters are one class
    bool runBeforeLength; // the run is reported before a wrong length
    bool runCrossesRows; // a keyboard run goes on past the end of its row
};

const Parameters& ParametersOf(Caller caller);

// Whether the caller applies the rule under the customer code; nibble is
// the logged-in device's capability nibble (used by the user page only).
bool Applies(Caller caller, int company, int nibble);

// ruleApplies false: any non-empty matching password is accepted.
Outcome Check(Caller caller, const QString& password, const QString& confirm, bool ruleApplies = true);

// The pages' text id of an outcome: 79, 80, 81, 149 or 153.
int PageTextId(Outcome outcome);

// The configuration page's check, as a text id.
int CheckPagePassword(const QString& password, const QString& confirm, bool ruleApplies);
} // namespace PasswordRule
