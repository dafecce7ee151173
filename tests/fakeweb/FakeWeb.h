#pragma once

// A loopback stand-in for Wikipedia, Wikidata, Wikimedia Commons, the picture host and a
// SearXNG instance, answering in the shapes the real services use, with switches for their
// failure shapes, and a log of every request.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace norvo::test {

class FakeWeb {
public:
    using Clock = std::chrono::steady_clock;

    // One request as the fake saw it.
    struct Request {
        std::string service;  // "wikipedia", "wikidata", "commons", "upload", "searxng", "other"
        std::string path;
        std::map<std::string, std::string> params;
        std::string userAgent;
        std::string acceptEncoding;
        Clock::time_point start;
        Clock::time_point end;
    };

    // Pictures are made from the bundled gallery's photographs in `gallery`.
    explicit FakeWeb(const std::filesystem::path& gallery);
    ~FakeWeb();
    FakeWeb(const FakeWeb&) = delete;
    FakeWeb& operator=(const FakeWeb&) = delete;

    std::string Base() const;  // http://127.0.0.1:PORT
    int Port() const;
    std::string WikipediaApi() const { return Base() + "/{lang}/w/api.php"; }
    std::string CommonsApi() const { return Base() + "/commons/w/api.php"; }
    std::string WikidataApi() const { return Base() + "/wikidata/w/api.php"; }
    std::string SearxngBase() const { return Base() + "/searx"; }
    // "127.0.0.1:PORT", for the service's list of reachable local endpoints.
    std::string Endpoint() const;

    // Behaviour, changeable while serving.
    std::atomic<int> delayMs{0};          // added to every answer
    std::atomic<bool> maxlag{false};      // API answers "maxlag" with Retry-After: 7
    std::atomic<bool> apiError{false};    // API answers a "badvalue" error
    std::atomic<bool> html429{false};     // every request gets an HTML 429 page
    std::atomic<bool> searxJson{true};    // false: the instance answers 403 to format=json
    std::atomic<bool> searxLimit{false};  // the instance answers a plain-text 429
    // Where the "Redirected Example" picture redirects to.
    std::string privateRedirect = "http://127.0.0.1:9/";

    std::vector<Request> Log() const;
    void ClearLog();
    // Requests to the API hosts / the picture host in the log.
    int ApiRequests() const;
    int PictureRequests() const;
    // Most requests of a kind in flight at one moment.
    int MostApiAtOnce() const { return m_mostApi; }
    int MostPicturesAtOnce() const { return m_mostPictures; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::atomic<int> m_mostApi{0};
    std::atomic<int> m_mostPictures{0};
};

}  // namespace norvo::test
