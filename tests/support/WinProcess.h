#pragma once

// Runs a program and collects what it writes to standard output, for the Windows tests of the
// command-line tools. Windows only.
#ifdef _WIN32

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/WideText.h"

namespace norvo::testing {

struct ProcessRun {
    int exitCode = -1;
    std::string out;
};

// Quotes one argument as CommandLineToArgvW reads it back.
inline std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// `program` and `args` in UTF-8; `env` is added to this process's environment for the child.
// With `withErrors` its standard error is collected too, in the order it is written.
inline ProcessRun RunProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::vector<std::pair<std::string, std::string>>& env = {},
                             const std::string& stdinText = "", bool withErrors = false) {
    std::wstring commandLine = QuoteArgument(win::ToWide(program));
    for (const std::string& a : args) {
        commandLine += L" " + QuoteArgument(win::ToWide(a));
    }
    // The child's environment: ours with `env` on top (Windows wants it sorted only loosely).
    std::wstring block;
    if (wchar_t* current = GetEnvironmentStringsW()) {
        for (const wchar_t* p = current; *p; p += wcslen(p) + 1) {
            const std::wstring entry = p;
            bool replaced = false;
            for (const auto& [name, value] : env) {
                replaced = replaced || _wcsnicmp(entry.c_str(), (win::ToWide(name) + L"=").c_str(),
                                                 name.size() + 1) == 0;
            }
            if (!replaced) {
                block += entry + L'\0';
            }
        }
        FreeEnvironmentStringsW(current);
    }
    for (const auto& [name, value] : env) {
        block += win::ToWide(name) + L"=" + win::ToWide(value) + L'\0';
    }
    block += L'\0';

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    CreatePipe(&inRead, &inWrite, &inherit, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = withErrors ? outWrite : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    ProcessRun run;
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info);
    CloseHandle(outWrite);
    CloseHandle(inRead);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(inWrite);
        return run;
    }
    DWORD written = 0;
    if (!stdinText.empty()) {
        WriteFile(inWrite, stdinText.data(), static_cast<DWORD>(stdinText.size()), &written,
                  nullptr);
    }
    CloseHandle(inWrite);
    // Read until the child has ended and its output is drained, not until the pipe's end: a
    // process the child started (or Wine's desktop process) may hold the pipe open longer.
    char buffer[4096];
    for (bool ended = false;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(outRead, nullptr, 0, nullptr, &available, nullptr)) {
            break;  // every writer is gone
        }
        if (available > 0) {
            DWORD n = 0;
            if (!ReadFile(outRead, buffer, sizeof buffer, &n, nullptr) || n == 0) {
                break;
            }
            run.out.append(buffer, n);
            continue;
        }
        if (ended) {
            break;
        }
        ended = WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0;
    }
    CloseHandle(outRead);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return run;
}

}  // namespace norvo::testing

#endif  // _WIN32
