#pragma once
// Folders that no other local user may enter.

#include <QString>

// Makes path a folder of this user with no access for group or others:
// creates it (and its missing parents) or takes the group and other bits
// off an existing folder of this user. A link, another user's folder or
// anything that is not a folder is left as it is; the answer is then false.
bool makePrivateDirectory(const QString& path);
