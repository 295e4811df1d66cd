#pragma once
// The user's own processes, read from /proc.

#include <QString>
#include <QStringList>

namespace SystemSession {

// Names of the current user's processes, lower-cased, read below procRoot.
// A name is the whole program name, also where the kernel cuts it to
// 15 characters.
QStringList getAllProcesses(const QString& procRoot = QStringLiteral("/proc"));

}  // namespace SystemSession
