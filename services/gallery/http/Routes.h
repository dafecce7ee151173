#pragma once

#include <httplib.h>

#include <optional>
#include <string>

#include "services/gallery/fetch/RemotePictures.h"
#include "services/gallery/fetch/WebClient.h"
#include "services/gallery/http/GalleryServer.h"
#include "services/gallery/sources/FirstWithAFace.h"
#include "services/gallery/store/FaceStore.h"
#include "services/gallery/store/PictureStore.h"

namespace norvo {

// The service's endpoints: what each request is answered with. Holds no state of its own
// beyond the bound port; every handler may run on several request threads at once.
class Routes {
public:
    // What the handlers work with; all outlive the routes.
    struct Services {
        const PictureStore& store;
        FaceStore& faces;
        RemotePictures& remote;
        WebClient& web;
        const FirstWithAFace& search;
    };

    Routes(const GalleryOptions& options, Services services);

    // Registers every endpoint, the error and exception answers and the log on `server`.
    void Register(httplib::Server& server);
    // The port the server was bound to; addresses handed out carry it.
    void SetPort(int port) { m_port = port; }
    // "http://HOST:PORT" of the bound socket.
    std::string BaseUrl() const;
    // One line on standard error, when the service logs.
    void Log(const std::string& line) const;

    void Search(const httplib::Request& req, httplib::Response& res) const;
    void People(const httplib::Request& req, httplib::Response& res) const;
    void Detect(const httplib::Request& req, httplib::Response& res) const;
    void Picture(const httplib::Request& req, httplib::Response& res) const;
    void RemotePicture(const httplib::Request& req, httplib::Response& res) const;
    void Source(const httplib::Request& req, httplib::Response& res) const;

private:
    std::string BaseFor(const httplib::Request& req) const;
    std::optional<std::string> OwnPath(const httplib::Request& req, const std::string& url) const;

    const GalleryOptions& m_options;
    Services m_services;
    int m_port = 0;
};

}  // namespace norvo
