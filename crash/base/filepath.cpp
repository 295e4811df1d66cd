#include "crash/base/filepath.h"

namespace base {

namespace {

std::string CutAtNul(const std::string& text)
{
    const std::string::size_type nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

}  // namespace

FilePath::FilePath(const std::string& path)
    : path_(CutAtNul(path))
{
}

void FilePath::StripTrailingSeparators()
{
    while (path_.size() > 1 && path_.back() == '/')
        path_.pop_back();
}

FilePath FilePath::Append(const std::string& component) const
{
    const std::string tail = CutAtNul(component);
    if (path_ == ".")
        return FilePath(tail);
    FilePath result(*this);
    result.StripTrailingSeparators();
    if (!result.path_.empty() && !tail.empty() && result.path_.back() != '/')
        result.path_ += '/';
    result.path_ += tail;
    return result;
}

FilePath FilePath::BaseName() const
{
    FilePath result(*this);
    result.StripTrailingSeparators();
    const std::string::size_type slash = result.path_.rfind('/');
    if (slash != std::string::npos && result.path_.size() > 1)
        result.path_.erase(0, slash + 1);
    return result;
}

FilePath FilePath::DirName() const
{
    FilePath result(*this);
    result.StripTrailingSeparators();
    const std::string::size_type slash = result.path_.rfind('/');
    if (slash == std::string::npos)
        return FilePath(".");
    if (result.path_.size() == 1)
        return result;  // a lone "/"
    result.path_.resize(slash == 0 ? 1 : slash);
    result.StripTrailingSeparators();
    return result;
}

std::string FilePath::FinalExtension() const
{
    const std::string name = BaseName().value();
    if (name == "." || name == "..")
        return std::string();
    const std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

FilePath FilePath::RemoveFinalExtension() const
{
    const std::string extension = FinalExtension();
    if (extension.empty())
        return *this;
    FilePath result(*this);
    result.StripTrailingSeparators();
    result.path_.resize(result.path_.size() - extension.size());
    return result;
}

std::ostream& operator<<(std::ostream& out, const FilePath& path)
{
    return out << path.value();
}

}  // namespace base
