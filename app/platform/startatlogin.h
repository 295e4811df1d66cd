#pragma once
// Starting the program when the user logs in.

#include <memory>

class StartAtLogin
{
public:
    virtual ~StartAtLogin() = default;
    // On: write (or rewrite) the entry; off: remove it. A failed write is
    // logged as a warning and leaves any earlier entry in place.
    virtual void setEnabled(bool on) = 0;
};

// This platform's start at login for the running executable.
std::shared_ptr<StartAtLogin> createSystemStartAtLogin();
