#include "services/gallery/sources/SearxngSource.h"

#include "services/gallery/fetch/RemotePictures.h"
#include "services/gallery/fetch/WebClient.h"
#include "services/gallery/wire/ServiceText.h"
#include "services/gallery/wire/WebAnswers.h"

namespace norvo {

namespace {

bool IsWebAddress(const std::string& address) {
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

// The last path segment of an address, without its query.
std::string FileName(const std::string& address) {
    const std::string path = address.substr(0, address.find_first_of("?#"));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

}  // namespace

SearxngSource::SearxngSource(WebClient& web, RemotePictures& remote, std::string base)
    : m_web(web), m_remote(remote), m_base(std::move(base)) {}

SourceAnswer SearxngSource::Find(const std::string& name, Clock::time_point deadline) {
    SourceAnswer answer;
    if (name.find_first_not_of(" \t") == std::string::npos)
        return answer;  // the instance answers 400 to an empty query
    const std::string address = m_base + "/search?q=" + ServiceText::EncodePathSegment(name) +
                                "&categories=images&format=json&safesearch=1";
    WebClient::Reply reply = m_web.Api(Name(), address, deadline);
    if (reply.outcome != WebClient::Outcome::Ok) {
        answer.failed = true;
        answer.reason = reply.httpCode == 403
                            ? "searxng at " + m_base +
                                  " refused JSON (403): enable json in search.formats of its "
                                  "settings.yml"
                            : reply.reason;
        return answer;
    }
    const SearxAnswer results = ReadSearxngAnswer(reply.body);
    if (!results.ok) {
        answer.failed = true;
        answer.reason = "searxng at " + m_base + " did not answer with search results";
        return answer;
    }
    std::vector<WebPicture> pictures;
    for (const SearxResult& r : results.results) {
        if (pictures.size() >= kMaxPictures)
            break;
        const std::string& first = IsWebAddress(r.imgSrc) ? r.imgSrc : r.thumbnailSrc;
        if (!IsWebAddress(first))
            continue;
        WebPicture picture;
        picture.address = first;
        if (&first == &r.imgSrc && IsWebAddress(r.thumbnailSrc))
            picture.fallback = r.thumbnailSrc;
        picture.title = r.title.empty() ? FileName(first) : r.title;
        picture.provenance.provider = Name();
        picture.provenance.file = FileName(r.imgSrc.empty() ? first : r.imgSrc);
        picture.provenance.page = IsWebAddress(r.pageUrl) ? r.pageUrl : "";
        picture.provenance.original = IsWebAddress(r.imgSrc) ? r.imgSrc : first;
        pictures.push_back(std::move(picture));
    }
    RemotePictures::Report report;
    answer.candidates = m_remote.Collect(Name(), pictures, kMaxPictures, deadline, report);
    if (answer.candidates.empty() && report.looked == 0 && report.failed > 0) {
        answer.failed = true;
        answer.reason = report.lastFailure;
    }
    return answer;
}

}  // namespace norvo
