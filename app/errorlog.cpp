#include "app/errorlog.h"

#include <iostream>

namespace errorlog {

namespace {
std::streambuf* g_originalBuffer = nullptr;
}

void redirect(std::fstream& stream, const std::string& path)
{
    stream.open(path, std::ios::out | std::ios::trunc);
    if (!g_originalBuffer)
        g_originalBuffer = std::cerr.rdbuf();
    std::cerr.rdbuf(stream.rdbuf());
}

bool restoreAndClose(std::fstream& stream)
{
    if (g_originalBuffer && std::cerr.rdbuf() == stream.rdbuf()) {
        std::cerr.rdbuf(g_originalBuffer);
    }
    if (!stream.is_open())
        return true;
    bool ok = true;
    stream.flush();
    if (stream.fail())
        ok = false;
    stream.close();
    if (stream.fail())
        ok = false;
    if (!ok)
        stream.setstate(std::ios::failbit);
    return ok;
}

}  // namespace errorlog
