#pragma once
// What the log shows of a value that comes from outside the program: an
// update feed, a server's reply, the settings store. Such a value may be of
// any length; a log line never carries more than the start of it.

#include <QString>

constexpr int kLoggedValueCharacters = 200;

// The value, or its first kLoggedValueCharacters characters followed by
// its full length.
QString loggedValue(const QString& value);
