#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lookup/SourceList.h"
#include "net/AddressGuard.h"
#include "services/gallery/sources/GallerySource.h"
#include "services/gallery/store/DiskCache.h"
#include "services/gallery/wire/WikimediaQueries.h"

namespace norvo {

struct GalleryOptions {
    std::filesystem::path pictures;  // gallery folder, one sub-folder per person
    std::string host = "127.0.0.1";
    int port = 0;              // 0 picks a free port
    bool allowRemote = false;  // detect on pictures from other hosts (fetches them)
    int threads = 4;           // request worker threads
    bool log = true;           // one line per request on standard error
    // Where pictures come from, asked in order.
    std::vector<SourceChoice> sources = {SourceChoice{}};
    // The disk cache's folder; empty for none (answers, pictures and faces are then kept in
    // memory only, or fetched again).
    std::filesystem::path cache{};
    std::uint64_t cacheBytes = DiskCache::kDefaultMaxBytes;
    // Local and private endpoints fetches may reach anyway (tests' loopback fakes only).
    AddressGuard fetchGuard{};
    WikimediaApis wikimediaApis{};
    std::string localeLanguage{};  // picks the wiki for Latin and Han names; "" for English
    std::chrono::milliseconds detectBudget = GallerySource::kDefaultDetectBudget;
    // The web sources of one search give up after this, well before the program's own limit
    // (nothing received for 15 s), and answer with what they have.
    std::chrono::milliseconds searchTime = kDefaultSearchTime;
    static constexpr std::chrono::seconds kDefaultSearchTime{12};
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
    // Whether the cache folder could be made and written.
    bool CacheUsable() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace norvo
