#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace norvo {

struct GalleryOptions {
    std::filesystem::path pictures;  // gallery folder, one sub-folder per person
    std::string host = "127.0.0.1";
    int port = 0;              // 0 picks a free port
    bool allowRemote = false;  // detect on pictures from other hosts (fetches them)
    int threads = 4;           // request worker threads
    bool log = true;           // one line per request on standard error
};

enum class ServerStatus {
    Ok,
    NoPictureFolder,  // the pictures folder does not exist or is no folder
    BindFailed,       // the address could not be bound
    NotStarted,       // Run before a successful Start
};

const char* describe(ServerStatus status);

// The lookup service: image search over the gallery, face detection, the pictures.
class GalleryServer {
public:
    explicit GalleryServer(GalleryOptions options);
    ~GalleryServer();
    GalleryServer(const GalleryServer&) = delete;
    GalleryServer& operator=(const GalleryServer&) = delete;

    // Binds the listening socket; after Ok, BaseUrl() tells where the service is reached.
    ServerStatus Start();
    // "http://HOST:PORT" of the bound socket, without a trailing slash.
    std::string BaseUrl() const;
    // Serves until Stop(); returns NotStarted without a successful Start.
    ServerStatus Run();
    // Makes Run return; safe from any thread, also before Run began.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace norvo
