#pragma once

#include <chrono>

#include "services/gallery/sources/PictureSource.h"
#include "services/gallery/store/FaceStore.h"
#include "services/gallery/store/GalleryIndex.h"
#include "services/gallery/store/PictureStore.h"

namespace norvo {

// The picture folder as a source: every picture of the name's folders, those with the largest
// face first. Faces known from earlier (in memory or the disk cache) rank at once; the others
// are detected while the search's detection budget lasts, and what is left is listed after
// the ranked ones, unranked, to be detected when it is asked for. So a folder of many large
// photos answers within the program's time limits, and the next search ranks it all.
class GallerySource : public PictureSource {
public:
    // The program gives up on an answer that sends nothing for 15 s; detecting pictures for
    // a search stops after this, so the answer always comes well before.
    static constexpr std::chrono::milliseconds kDefaultDetectBudget{5000};
    // The image search lists at most this many pictures, best first.
    static constexpr std::size_t kMaxResults = 8;

    GallerySource(const GalleryIndex& index, const PictureStore& store, FaceStore& faces,
                  std::chrono::milliseconds detectBudget = kDefaultDetectBudget);

    const char* Name() const override { return "gallery"; }
    bool WaitsOnTheNetwork() const override { return false; }
    SourceAnswer Find(const std::string& name, Clock::time_point deadline) override;
    // The folder named `id` (matched as names are).
    SourceAnswer FindPerson(const std::string& name, const std::string& id,
                            Clock::time_point deadline) override;
    // The folder the name matches, named by itself, with the small variant
    // ("<stem>_small.<ext>") of its best picture when there is one.
    PeopleAnswer People(const std::string& name, Clock::time_point deadline) override;

private:
    const GalleryIndex& m_index;
    const PictureStore& m_store;
    FaceStore& m_faces;
    std::chrono::milliseconds m_detectBudget;
};

}  // namespace norvo
