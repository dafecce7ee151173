// The service's command line and environment, read into the settings it serves with.
#include "services/gallery/Options.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "base/Utf8Path.h"
#include "norvo/Version.h"
#include "saori/Platform.h"

namespace norvo {

namespace {

namespace fs = std::filesystem;

// Where the help's defaults lie, and what stops the service, on each system.
#ifdef _WIN32
#define NORVO_HELP_GALLERY "data\\gallery"
#define NORVO_HELP_CACHE "%LOCALAPPDATA%\\norvo\\cache"
#define NORVO_HELP_STOP "Ctrl-C or Ctrl-Break"
#else
#define NORVO_HELP_GALLERY "share/norvo/gallery"
#define NORVO_HELP_CACHE "$XDG_CACHE_HOME/norvo, else ~/.cache/norvo"
#define NORVO_HELP_STOP "SIGTERM or SIGINT"
#endif

constexpr const char* kUsage =
    "Usage: norvo-gallery [OPTION]...\n"
    "Serve image search and face detection over a picture folder and web picture sources.\n"
    "\n"
    "  --pictures DIR     picture folder, one sub-folder per person\n"
    "                     (default: the bundled gallery, " NORVO_HELP_GALLERY
    ")\n"
    "  --sources LIST     where pictures come from, asked in order: a comma list of\n"
    "                     gallery (the picture folder), wikimedia (Wikipedia and\n"
    "                     Wikimedia Commons), searxng=URL (your SearXNG instance);\n"
    "                     default gallery. Web sources send the names asked for there.\n"
    "  --cache DIR        keep web answers, pictures and face boxes here (default\n"
    "                     " NORVO_HELP_CACHE
    "; 256 MiB at most)\n"
    "  --listen HOST:PORT address to listen on (default 127.0.0.1:0; port 0 picks a\n"
    "                     free one); the first line written is the service's address.\n"
    "                     Meant for this machine only: on a network, put it behind a\n"
    "                     real web server, which also keeps slow clients at bay\n"
    "  --allow-remote     also detect faces in pictures from other hosts (fetched)\n"
    "  --threads N        request worker threads, 1 to 64 (default 4)\n"
    "  --watch-stdin      stop when standard input is closed (for a parent process)\n"
    "  --quiet            no log line per request\n"
    "      --help         display this help and exit\n"
    "      --version      output version information and exit\n"
    "\n"
    "For tests only:\n"
    "  --allow-private-fetch HOST:PORT[,HOST:PORT...]\n"
    "                     let fetches reach these local endpoints (HOST an IP address);\n"
    "                     every other local or private address stays refused\n"
    "                     (default: $NORVO_ALLOW_PRIVATE_FETCH)\n"
    "  --wikipedia-api URL  Wikipedia's API, {lang} standing for the language\n"
    "                     (default: $NORVO_WIKIPEDIA_API, else Wikipedia's own)\n"
    "  --commons-api URL  Wikimedia Commons' API (default: $NORVO_COMMONS_API)\n"
    "  --wikidata-api URL Wikidata's API (default: $NORVO_WIKIDATA_API)\n"
    "\n"
    "Exit status: 0 after " NORVO_HELP_STOP
    ", 1 if the service cannot start, 2 on a usage "
    "error.\n";

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool IsWebAddress(const std::string& address) {
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "norvo-gallery: %s\nTry 'norvo-gallery --help' for more information.\n",
                 message.c_str());
    return 2;
}

// The bundled gallery in the data folder beside the program, found from the program's own
// path; never looked for in the working folder.
fs::path DefaultPictures() {
    const std::string data = norvo::platform::DataFolder();
    return data.empty() ? fs::path() : PathFromUtf8(data) / "gallery";
}

// HOST:PORT or [V6]:PORT; the port is 0 to 65535.
bool ParseListen(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size() || colon + 6 < text.size())
        return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return false;
    port = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        port = port * 10 + (text[i] - '0');
    }
    return port <= 65535;
}

// The endpoints tests point the service at, from the environment unless the command line
// names them.
struct TestEndpoints {
    std::string allowPrivate = FromEnvironment("NORVO_ALLOW_PRIVATE_FETCH");
    std::string wikipediaApi = FromEnvironment("NORVO_WIKIPEDIA_API");
    std::string commonsApi = FromEnvironment("NORVO_COMMONS_API");
    std::string wikidataApi = FromEnvironment("NORVO_WIKIDATA_API");
};

// Puts the endpoints into the options; the usage error when one is not what it must be.
std::optional<std::string> ApplyTestEndpoints(const TestEndpoints& endpoints,
                                              GalleryOptions& options) {
    std::string bad;
    const auto guard = AddressGuard::FromList(endpoints.allowPrivate, &bad);
    if (!guard)
        return "--allow-private-fetch: not HOST:PORT with an IP address: '" + bad + "'";
    options.fetchGuard = *guard;
    for (auto [address, field, name] :
         {std::tuple{&endpoints.wikipediaApi, &options.wikimediaApis.wikipedia, "--wikipedia-api"},
          std::tuple{&endpoints.commonsApi, &options.wikimediaApis.commons, "--commons-api"},
          std::tuple{&endpoints.wikidataApi, &options.wikimediaApis.wikidata, "--wikidata-api"}}) {
        if (address->empty())
            continue;
        if (!IsWebAddress(*address))
            return std::string(name) + " needs an http:// or https:// address";
        *field = *address;
    }
    return std::nullopt;
}

// What ReadOptions answers when the service is not to start.
ReadOptionsResult Refused(int exitStatus) {
    return {std::nullopt, exitStatus};
}

}  // namespace

ReadOptionsResult ReadOptions(int argc, char** argv) {
    ServiceSettings settings;
    GalleryOptions& options = settings.gallery;
    options.pictures = DefaultPictures();
    options.port = 0;
    options.cache = DiskCache::DefaultFolder();
    options.localeLanguage = wikimedia::LocaleLanguage();
    TestEndpoints endpoints;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return Refused(0);
        } else if (arg == "--version") {
            std::printf("norvo-gallery %s\n%s", kProgramVersion, kProgramLicenseNotice);
            return Refused(0);
        } else if (arg == "--pictures") {
            if (!value(v))
                return Refused(UsageError("--pictures needs a folder"));
            options.pictures = PathFromUtf8(v);
        } else if (arg == "--listen") {
            if (!value(v) || !ParseListen(v, options.host, options.port)) {
                return Refused(UsageError("--listen needs HOST:PORT"));
            }
        } else if (arg == "--threads") {
            char* end = nullptr;
            if (!value(v))
                return Refused(UsageError("--threads needs a number"));
            const long n = std::strtol(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || n < 1 || n > 64) {
                return Refused(UsageError("--threads needs a number from 1 to 64"));
            }
            options.threads = static_cast<int>(n);
        } else if (arg == "--sources") {
            std::string why;
            if (!value(v))
                return Refused(UsageError("--sources needs a list"));
            const auto sources = ParseSourceList(v, why);
            if (!sources)
                return Refused(UsageError("--sources: " + why));
            options.sources = *sources;
        } else if (arg == "--cache") {
            if (!value(v) || v.empty())
                return Refused(UsageError("--cache needs a folder"));
            options.cache = PathFromUtf8(v);
        } else if (arg == "--allow-private-fetch") {
            if (!value(endpoints.allowPrivate))
                return Refused(UsageError("--allow-private-fetch needs HOST:PORT"));
        } else if (arg == "--wikipedia-api") {
            if (!value(endpoints.wikipediaApi))
                return Refused(UsageError("--wikipedia-api needs an address"));
        } else if (arg == "--commons-api") {
            if (!value(endpoints.commonsApi))
                return Refused(UsageError("--commons-api needs an address"));
        } else if (arg == "--wikidata-api") {
            if (!value(endpoints.wikidataApi))
                return Refused(UsageError("--wikidata-api needs an address"));
        } else if (arg == "--allow-remote") {
            options.allowRemote = true;
        } else if (arg == "--watch-stdin") {
            settings.watchStdin = true;
        } else if (arg == "--quiet") {
            options.log = false;
        } else {
            return Refused(UsageError("unknown option '" + arg + "'"));
        }
    }

    if (const std::optional<std::string> why = ApplyTestEndpoints(endpoints, options))
        return Refused(UsageError(*why));
    return {std::move(settings), 0};
}

}  // namespace norvo
