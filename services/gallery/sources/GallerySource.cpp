#include "services/gallery/sources/GallerySource.h"

#include <algorithm>

#include "services/gallery/wire/ServiceText.h"

namespace norvo {

namespace {}  // namespace

GallerySource::GallerySource(const GalleryIndex& index, const PictureStore& store, FaceStore& faces,
                             std::chrono::milliseconds detectBudget)
    : m_index(index), m_store(store), m_faces(faces), m_detectBudget(detectBudget) {}

SourceAnswer GallerySource::Find(const std::string& name, Clock::time_point deadline) {
    const Clock::time_point budgetEnd = std::min(deadline, Clock::now() + m_detectBudget);
    std::vector<Candidate> ranked, unranked;
    for (const GalleryPicture& picture : m_index.PicturesOf(name)) {
        const std::string encoded = ServiceText::EncodePathSegment(picture.person) + "/" +
                                    ServiceText::EncodePathSegment(picture.file);
        std::filesystem::path file;
        if (m_store.Resolve(encoded, file) != PathStatus::Ok)
            continue;  // e.g. a link out
        Candidate candidate{kPicturesPrefix + encoded, 0, 0, picture.file, Candidate::kNotLookedAt};
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

}  // namespace norvo
