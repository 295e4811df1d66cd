#pragma once
// A filesystem path as one byte string with "/" as separator. Every
// operation is pure text work; nothing here touches the filesystem.

#include <ostream>
#include <string>

namespace base {

class FilePath {
public:
    FilePath() = default;
    // The text is cut at its first NUL character.
    explicit FilePath(const std::string& path);

    const std::string& value() const { return path_; }
    bool empty() const { return path_.empty(); }

    // This path followed by one more component (cut at its first NUL).
    FilePath Append(const std::string& component) const;
    FilePath Append(const FilePath& component) const { return Append(component.value()); }

    FilePath BaseName() const;
    FilePath DirName() const;
    // From the base name's last "." on; empty for "." and "..".
    std::string FinalExtension() const;
    FilePath RemoveFinalExtension() const;

    bool operator==(const FilePath& other) const { return path_ == other.path_; }
    bool operator!=(const FilePath& other) const { return path_ != other.path_; }
    bool operator<(const FilePath& other) const { return path_ < other.path_; }

private:
    void StripTrailingSeparators();

    std::string path_;
};

std::ostream& operator<<(std::ostream& out, const FilePath& path);

}  // namespace base
