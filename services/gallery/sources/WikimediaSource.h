#pragma once

#include "services/gallery/sources/PictureSource.h"
#include "services/gallery/wire/WikimediaQueries.h"

namespace norvo {

class RemotePictures;
class WebClient;

// Wikipedia and Wikimedia Commons as a source: the name is resolved to an article (following
// normalisation and redirects, falling back to the wiki's search, skipping disambiguation
// pages), and its lead image and the person's Commons files (Wikidata's image, the person's
// category or the files that depict them) become candidates. At most four API calls for a
// name the first wiki knows, one after another; free pictures of the wanted types only.
class WikimediaSource : public PictureSource {
public:
    // Candidates fetched per name.
    static constexpr std::size_t kMaxPictures = 8;

    WikimediaSource(WebClient& web, RemotePictures& remote, WikimediaApis apis,
                    std::string localeLanguage);

    const char* Name() const override { return "wikimedia"; }
    bool WaitsOnTheNetwork() const override { return true; }
    SourceAnswer Find(const std::string& name, Clock::time_point deadline) override;

private:
    WebClient& m_web;
    RemotePictures& m_remote;
    WikimediaApis m_apis;
    std::string m_localeLanguage;
};

}  // namespace norvo
