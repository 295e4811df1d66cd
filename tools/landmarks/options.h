#pragma once
// Minimal "--name value" command-line reading shared by the landmark tools.

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <iostream>
#include <map>
#include <string>

namespace landmarks {

// Calls fn with the words of each line of a file, '#' comments removed;
// false when the file cannot be read.
template <typename Fn>
bool forEachSettingLine(const std::string& path, Fn fn)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        fn(words);
    }
    return true;
}

class Options
{
public:
    // Flags take no value; every other "--name" takes the next argument.
    Options(int argc, char** argv, std::initializer_list<const char*> flags)
    {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (a.rfind("--", 0) != 0) {
                m_bad = true;
                continue;
            }
            a.erase(0, 2);
            bool isFlag = false;
            for (const char* f : flags)
                isFlag = isFlag || a == f;
            if (isFlag)
                m_values[a] = "1";
            else if (i + 1 < argc)
                m_values[a] = argv[++i];
            else
                m_bad = true;
        }
    }
    // Adds "name value" lines of a file (blank lines and '#' comments skipped)
    // for every name the command line did not give. False when unreadable.
    bool addDefaultsFrom(const std::string& path)
    {
        return forEachSettingLine(path, [this](std::istringstream& words) {
            std::string k, v;
            if (words >> k >> v)
                m_values.emplace(k, v);
        });
    }
    bool bad() const { return m_bad; }
    bool has(const std::string& k) const { return m_values.count(k) > 0; }
    std::string str(const std::string& k, const std::string& def = {}) const
    {
        auto it = m_values.find(k);
        return it == m_values.end() ? def : it->second;
    }
    double num(const std::string& k, double def) const
    {
        auto it = m_values.find(k);
        return it == m_values.end() ? def : std::atof(it->second.c_str());
    }

private:
    std::map<std::string, std::string> m_values;
    bool m_bad = false;
};

}  // namespace landmarks
