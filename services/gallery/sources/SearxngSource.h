#pragma once

#include "services/gallery/sources/PictureSource.h"

namespace norvo {

class RemotePictures;
class WebClient;

// A SearXNG instance's image search as a source (the user's own instance: public ones allow
// a few JSON requests an hour). Its results carry no licence, so the provenance names the
// page and the picture's address only.
class SearxngSource : public PictureSource {
public:
    static constexpr std::size_t kMaxPictures = 8;

    // `base` is the instance's address without a trailing '/'.
    SearxngSource(WebClient& web, RemotePictures& remote, std::string base);

    const char* Name() const override { return "searxng"; }
    bool WaitsOnTheNetwork() const override { return true; }
    SourceAnswer Find(const std::string& name, Clock::time_point deadline) override;

private:
    WebClient& m_web;
    RemotePictures& m_remote;
    std::string m_base;
};

}  // namespace norvo
