#pragma once

#include <vector>

#include "services/gallery/fetch/RemotePictures.h"
#include "services/gallery/sources/PictureSource.h"
#include "services/gallery/wire/WikimediaQueries.h"

namespace norvo {

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
    // The Wikidata item `id` directly: its images, its category or the files that depict it.
    SourceAnswer FindPerson(const std::string& name, const std::string& id,
                            Clock::time_point deadline) override;
    // The article's person for a plain name; the humans among the search hits for a
    // disambiguation page or a name without an article, each with a picture when one of their
    // own shows a face.
    PeopleAnswer People(const std::string& name, Clock::time_point deadline) override;

    static constexpr std::size_t kMaxPeople = 6;

private:
    static SourceAnswer Failed(const std::string& reason);
    // The pictures fetched and looked at, as a source's answer; `failure` is the lookup's.
    SourceAnswer Collect(const std::vector<WebPicture>& pictures, const std::string& failure,
                         Clock::time_point deadline);

    WebClient& m_web;
    RemotePictures& m_remote;
    WikimediaApis m_apis;
    std::string m_localeLanguage;
};

}  // namespace norvo
