#pragma once

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "GalleryServer.h"

namespace norvo::test {

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

private:
    static GalleryOptions WithTestDefaults(GalleryOptions o) {
        o.host = "127.0.0.1";
        o.port = 0;
        o.log = false;
        // Rankings stay the same on a loaded machine; tests of the budget set their own.
        if (o.detectBudget == GallerySource::kDefaultDetectBudget)
            o.detectBudget = std::chrono::minutes(2);
        return o;
    }
    GalleryServer m_server;
    ServerStatus m_status = ServerStatus::NotStarted;
    std::thread m_thread;
};

}  // namespace norvo::test
