#pragma once
// Start at login through an XDG autostart entry: a desktop entry file in
// $XDG_CONFIG_HOME/autostart/ that the session starts once at login, with
// "/m" so the program goes straight to the tray. createSystemStartAtLogin()
// gives the entry for the running executable at autostart::entryPath().

#include <QString>

#include "app/platform/startatlogin.h"

namespace autostart {

// $XDG_CONFIG_HOME/autostart/lumora.desktop (~/.config when unset).
QString entryPath();

// The Exec value that runs program with the given arguments, each quoted and
// escaped by the Desktop Entry rules (reserved characters, "%" field codes,
// and the string escapes of the file format).
QString execLine(const QString& program, const QStringList& arguments);

// The whole entry for the program, started with "/m".
QByteArray entryText(const QString& program);

// Writes the entry for program at path, creating the folder; false (with a
// warning in the log) when it cannot be written.
bool writeEntry(const QString& path, const QString& program);

}  // namespace autostart
