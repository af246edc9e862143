#pragma once

// The password strength rule of the configuration pages: returns the text id
// of the first failure, or 79 when the password may be set.

#include <QString>

namespace PasswordRule
{
inline constexpr int kAccepted = 79;
inline constexpr int kEmpty = 80;
inline constexpr int kMismatch = 81;
inline constexpr int kLength = 149;
inline constexpr int kWeak = 153;

// ruleApplies: the customer code (and device) ask for the strength rule;
// otherwise any non-empty matching password is accepted.
int CheckPagePassword(const QString& password, const QString& confirm, bool ruleApplies);
} // namespace PasswordRule
