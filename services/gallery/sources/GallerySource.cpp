#include "services/gallery/sources/GallerySource.h"

#include <algorithm>

#include "services/gallery/wire/ServiceText.h"

namespace norvo {

namespace {

std::string PicturePath(const std::string& folder, const std::string& file) {
    return kPicturesPrefix + ServiceText::EncodePathSegment(folder) + "/" +
           ServiceText::EncodePathSegment(file);
}

}  // namespace

GallerySource::GallerySource(const GalleryIndex& index, const PictureStore& store, FaceStore& faces,
                             std::chrono::milliseconds detectBudget)
    : m_index(index), m_store(store), m_faces(faces), m_detectBudget(detectBudget) {}

SourceAnswer GallerySource::Find(const std::string& name, Clock::time_point deadline) {
    const Clock::time_point budgetEnd = std::min(deadline, Clock::now() + m_detectBudget);
    std::vector<Candidate> ranked, unranked;
    for (const GalleryPicture& picture : m_index.PicturesOf(name)) {
        const std::string path = PicturePath(picture.person, picture.file);
        std::filesystem::path file;
        if (m_store.Resolve(path.substr(std::char_traits<char>::length(kPicturesPrefix)), file) !=
            PathStatus::Ok)
            continue;  // e.g. a link out
        Candidate candidate{path, 0, 0, picture.file, Candidate::kNotLookedAt};
        std::optional<PictureFaces> faces = m_faces.KnownFacesOfFile(file);
        if (!faces && Clock::now() < budgetEnd) {
            PictureFaces found;
            if (m_faces.FacesOfFile(file, found) != DecodeStatus::Ok)
                continue;  // no picture: never listed
            faces = std::move(found);
        }
        if (faces) {
            candidate.width = faces->width;
            candidate.height = faces->height;
            candidate.largestFace = faces->LargestArea();
            ranked.push_back(std::move(candidate));
        } else {
            unranked.push_back(std::move(candidate));
        }
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Candidate& a, const Candidate& b) {
        return a.largestFace > b.largestFace;
    });
    SourceAnswer answer;
    answer.candidates = std::move(ranked);
    answer.candidates.insert(answer.candidates.end(), unranked.begin(), unranked.end());
    if (answer.candidates.size() > kMaxResults)
        answer.candidates.resize(kMaxResults);
    return answer;
}

SourceAnswer GallerySource::FindPerson(const std::string&, const std::string& id,
                                       Clock::time_point deadline) {
    return Find(id, deadline);
}

PeopleAnswer GallerySource::People(const std::string& name, Clock::time_point deadline) {
    const std::vector<GalleryPicture> pictures = m_index.PicturesOf(name);
    if (pictures.empty())
        return {};
    const std::string& folder = pictures.front().person;
    PersonCandidate person{folder, folder, folder, {}};
    const std::string prefix = PicturePath(folder, "");
    for (const Candidate& best : Find(name, deadline).candidates) {
        if (!best.MayShowAFace() || best.path.rfind(prefix, 0) != 0)
            continue;
        person.picture = best.path;
        const std::string small = best.title.substr(0, best.title.rfind('.')) + "_small.";
        for (const GalleryPicture& p : pictures) {
            if (p.person == folder && p.file.rfind(small, 0) == 0)
                person.picture = PicturePath(folder, p.file);
        }
        break;
    }
    return {{std::move(person)}, false, {}};
}

}  // namespace norvo
