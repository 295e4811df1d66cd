#pragma once
// Typed extended attributes. Values are plain text without terminator.
// Names are given without a namespace; this platform keeps them in the
// "user." namespace, where unprivileged processes may use them.

#include <string>
#include <time.h>

#include "crash/base/filepath.h"

namespace crashwatch {

enum class XattrStatus {
    kOK = 0,
    kNoAttribute = 1,  // absent; not logged
    kOtherError = 2,   // logged
};

XattrStatus ReadXattr(const base::FilePath& file, const std::string& name, std::string* value);
bool WriteXattr(const base::FilePath& file, const std::string& name, const std::string& value);

// "1" or "0"; anything else is an error.
XattrStatus ReadXattrBool(const base::FilePath& file, const std::string& name, bool* value);
bool WriteXattrBool(const base::FilePath& file, const std::string& name, bool value);
XattrStatus ReadXattrInt(const base::FilePath& file, const std::string& name, int* value);
bool WriteXattrInt(const base::FilePath& file, const std::string& name, int value);
XattrStatus ReadXattrTimeT(const base::FilePath& file, const std::string& name, time_t* value);
bool WriteXattrTimeT(const base::FilePath& file, const std::string& name, time_t value);

XattrStatus RemoveXattr(const base::FilePath& file, const std::string& name);

}  // namespace crashwatch
