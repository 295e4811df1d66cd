#pragma once
// Lists the names in one directory, without "." and "..".

#include "crash/base/filepath.h"
#include "crash/base/scopedfd.h"

namespace crashwatch {

class DirectoryReader {
public:
    enum class Result {
        kError = -1,
        kSuccess = 0,
        kNoMoreFiles = 1,
    };

    bool Open(const base::FilePath& path);
    Result NextFile(base::FilePath* filename);
    // The descriptor of the open directory, or -1.
    int DirectoryFD();

private:
    base::ScopedDIR dir_;
};

}  // namespace crashwatch
