#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "modules/httpc/ModuleAnswer.h"
#include "net/FetchLimits.h"

namespace norvo {

// The module behind the exports: remembers the work folder and answers the three request
// forms (0 arguments: connection check; 2: store a file; 3: cut marker texts).
class HttpcModule {
public:
    // Takes the work folder (a '/' is added when missing; on Windows a '\\', the text being in
    // the ANSI code page), the time limits and the probe address from the environment, and
    // forgets an earlier Cancel. 0 on success, 1 for an empty folder text.
    int Load(std::string directory);

    // From any thread: the request in flight ends at once with a failure answer, and so does
    // every later one until the next Load.
    void Cancel() { m_cancelled = true; }

    // Forgets everything Load took.
    void Unload();

    // The answer to one request text; never throws.
    ModuleAnswer Handle(std::string_view requestText) const;

    bool loaded() const { return m_loaded; }
    const std::string& directory() const { return m_directory; }

private:
    ModuleAnswer CheckConnection() const;
    // `charset`: the request's Charset header, in which the file name and the markers are
    // read on Windows ("" for the system's ANSI code page); other systems take bytes as bytes.
    ModuleAnswer StoreFile(const std::string& address, const std::string& fileName,
                           const std::string& charset) const;
    ModuleAnswer CutTexts(const std::string& address, const std::string& start,
                          const std::string& end, const std::string& charset) const;

    std::atomic<bool> m_cancelled{false};
    bool m_loaded = false;
    std::string m_directory;
    std::string m_probeAddress;
    FetchLimits m_limits;
};

}  // namespace norvo
