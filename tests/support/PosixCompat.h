#pragma once

// The few POSIX calls the portable tests use, for the Windows build of the tests; nothing on
// other systems.
#ifdef _WIN32

#include <process.h>

#include <cstdlib>

// _putenv_s changes the C runtime's environment, which the DLLs under test share (msvcrt.dll).
inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name) != nullptr) {
        return 0;
    }
    return _putenv_s(name, value);
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "");
}

#endif  // _WIN32
