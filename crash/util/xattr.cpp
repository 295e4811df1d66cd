#include "crash/util/xattr.h"

#include <errno.h>
#include <sys/xattr.h>

#include "crash/base/logging.h"
#include "crash/base/strings.h"

namespace crashwatch {

namespace {

std::string PlatformName(const std::string& name)
{
    return "user." + name;
}

}  // namespace

XattrStatus ReadXattr(const base::FilePath& file, const std::string& name, std::string* value)
{
    const std::string platform_name = PlatformName(name);
    // The value may change between the two calls; a grown value makes the
    // second call fail with ERANGE, so it is asked for again.
    for (;;) {
        const ssize_t size = getxattr(file.value().c_str(), platform_name.c_str(), nullptr, 0);
        if (size < 0) {
            if (errno == ENODATA)
                return XattrStatus::kNoAttribute;
            PLOG(ERROR) << "getxattr size " << name << " on file " << file.value();
            return XattrStatus::kOtherError;
        }
        std::string buffer(static_cast<size_t>(size), '\0');
        const ssize_t got = getxattr(file.value().c_str(), platform_name.c_str(), &buffer[0], buffer.size());
        if (got < 0) {
            if (errno == ERANGE)
                continue;
            if (errno == ENODATA)
                return XattrStatus::kNoAttribute;
            PLOG(ERROR) << "getxattr " << name << " on file " << file.value();
            return XattrStatus::kOtherError;
        }
        buffer.resize(static_cast<size_t>(got));
        value->swap(buffer);
        return XattrStatus::kOK;
    }
}

bool WriteXattr(const base::FilePath& file, const std::string& name, const std::string& value)
{
    if (setxattr(file.value().c_str(), PlatformName(name).c_str(), value.data(), value.size(), 0) != 0) {
        PLOG(ERROR) << "setxattr " << name << " on file " << file.value();
        return false;
    }
    return true;
}

XattrStatus ReadXattrBool(const base::FilePath& file, const std::string& name, bool* value)
{
    std::string text;
    const XattrStatus status = ReadXattr(file, name, &text);
    if (status != XattrStatus::kOK)
        return status;
    if (text == "1" || text == "0") {
        *value = text == "1";
        return XattrStatus::kOK;
    }
    LOG(ERROR) << "ReadXattrBool " << name << " on file " << file.value() << " could not be interpreted as boolean";
    return XattrStatus::kOtherError;
}

bool WriteXattrBool(const base::FilePath& file, const std::string& name, bool value)
{
    return WriteXattr(file, name, value ? "1" : "0");
}

XattrStatus ReadXattrInt(const base::FilePath& file, const std::string& name, int* value)
{
    std::string text;
    const XattrStatus status = ReadXattr(file, name, &text);
    if (status != XattrStatus::kOK)
        return status;
    if (!base::StringToInt(text, value)) {
        LOG(ERROR) << "ReadXattrInt " << name << " on file " << file.value() << " could not be converted to an int";
        return XattrStatus::kOtherError;
    }
    return XattrStatus::kOK;
}

bool WriteXattrInt(const base::FilePath& file, const std::string& name, int value)
{
    return WriteXattr(file, name, base::StringPrintf("%d", value));
}

XattrStatus ReadXattrTimeT(const base::FilePath& file, const std::string& name, time_t* value)
{
    static_assert(sizeof(time_t) == sizeof(int64_t), "time_t is read as a 64-bit number");
    std::string text;
    const XattrStatus status = ReadXattr(file, name, &text);
    if (status != XattrStatus::kOK)
        return status;
    int64_t number;
    if (!base::StringToInt64(text, &number)) {
        LOG(ERROR) << "ReadXattrTimeT " << name << " on file " << file.value()
                   << " could not be converted to an int";
        return XattrStatus::kOtherError;
    }
    *value = static_cast<time_t>(number);
    return XattrStatus::kOK;
}

bool WriteXattrTimeT(const base::FilePath& file, const std::string& name, time_t value)
{
    return WriteXattr(file, name, base::StringPrintf("%ld", static_cast<long>(value)));
}

XattrStatus RemoveXattr(const base::FilePath& file, const std::string& name)
{
    if (removexattr(file.value().c_str(), PlatformName(name).c_str()) != 0) {
        if (errno == ENODATA)
            return XattrStatus::kNoAttribute;
        PLOG(ERROR) << "removexattr " << name << " on file " << file.value();
        return XattrStatus::kOtherError;
    }
    return XattrStatus::kOK;
}

}  // namespace crashwatch
