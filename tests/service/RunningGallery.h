#pragma once

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "services/gallery/http/GalleryServer.h"

namespace norvo::test {

// How long a test client waits for an answer. A detection takes a fraction of a second alone
// but far longer on a machine busy with other tests; a hang still ends, as a failure.
inline constexpr int kAnswerLimitSeconds = 300;

// Upper bound of a wait for something that happens by itself (a thread listens, a process
// ends); generous, so that only a hang reaches it.
inline constexpr auto kWaitLimit = std::chrono::seconds(120);

// Looks at `done` every few milliseconds until it holds or kWaitLimit has passed; returns
// done().
inline bool WaitUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + kWaitLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A client of `hostPort` ("127.0.0.1:PORT") that waits up to kAnswerLimitSeconds.
inline httplib::Client PatientClient(const std::string& hostPort) {
    httplib::Client client(hostPort);
    client.set_connection_timeout(kAnswerLimitSeconds, 0);
    client.set_read_timeout(kAnswerLimitSeconds, 0);
    client.set_write_timeout(kAnswerLimitSeconds, 0);
    return client;
}

// A gallery service on 127.0.0.1 with a free port, serving on its own thread for the
// life of the object.
class RunningGallery {
public:
    explicit RunningGallery(GalleryOptions options)
        : m_server(WithTestDefaults(std::move(options))) {
        m_status = m_server.Start();
        if (m_status == ServerStatus::Ok)
            m_thread = std::thread([this] { m_server.Run(); });
    }
    ~RunningGallery() {
        m_server.Stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    ServerStatus Status() const { return m_status; }
    std::string Base() const { return m_server.BaseUrl(); }
    // "127.0.0.1:PORT" for httplib::Client.
    std::string HostPort() const { return Base().substr(std::string("http://").size()); }
    // Searches for `name` once with a patient client, so that later requests, which may have
    // tighter limits than a test's, find the faces of its pictures in the service's cache.
    bool Warm(const std::string& encodedName) const {
        auto res = PatientClient(HostPort())
                       .Get(("/ajax/services/search/images?q=" + encodedName + "&v=1.0").c_str());
        return res && res->status == 200;
    }

private:
    static GalleryOptions WithTestDefaults(GalleryOptions o) {
        o.host = "127.0.0.1";
        o.port = 0;
        o.log = std::getenv("NORVO_TEST_LOG") != nullptr;  // the request lines, when debugging
        // Rankings stay the same on a loaded machine; tests of the budget set their own.
        if (o.detectBudget == GallerySource::kDefaultDetectBudget)
            o.detectBudget = std::chrono::minutes(2);
        if (o.searchTime == GalleryOptions::kDefaultSearchTime)
            o.searchTime = std::chrono::minutes(2);
        return o;
    }
    GalleryServer m_server;
    ServerStatus m_status = ServerStatus::NotStarted;
    std::thread m_thread;
};

}  // namespace norvo::test
