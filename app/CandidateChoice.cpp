#include "app/CandidateChoice.h"

#include <algorithm>
#include <utility>

#include "app/FaceNumbers.h"
#include "app/RunTexts.h"
#include "web/ImageDownload.h"

namespace norvo {

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<bool> FacesOnFor(const FaceBoxList& list, const std::vector<std::size_t>& numbers) {
    std::vector<bool> on(FacesLeftToRight(list).size(), numbers.empty());
    for (std::size_t number : numbers) {
        if (number >= 1 && number <= on.size()) {
            on[number - 1] = true;
        }
    }
    return on;
}

CandidateChoice::CandidateChoice(FaceCompositor& compositor, PortraitChoice& portrait,
                                 RunCandidates found, std::vector<bool> facesOn,
                                 CandidateFetch fetch)
    : m_compositor(compositor),
      m_portrait(portrait),
      m_found(std::move(found)),
      m_facesOn(std::move(facesOn)),
      m_fetch(std::move(fetch)) {
    // The run's own pictures are kept as it loaded them; a copy that does not fit is
    // downloaded again when it is needed.
    if (PictureHandle body = m_compositor.unblendedBody()) {
        m_pictures[Chosen(RunSide::Body).address].reset(CopyPicture(body));
    }
    if (PictureHandle face = m_compositor.face()) {
        m_pictures[Chosen(RunSide::Face).address].reset(CopyPicture(face));
    }
    m_mask.reset(CopyPicture(m_compositor.mask()));
}

const SideCandidates& CandidateChoice::Side(RunSide side) const {
    return side == RunSide::Body ? m_found.body : m_found.face;
}

SideCandidates& CandidateChoice::Of(RunSide side) {
    return side == RunSide::Body ? m_found.body : m_found.face;
}

const FoundPicture& CandidateChoice::Chosen(RunSide side) const {
    const SideCandidates& candidates = Side(side);
    return candidates.pictures[candidates.chosen].found;
}

PictureHandle CandidateChoice::Picture(RunSide side) const {
    const auto kept = m_pictures.find(Chosen(side).address);
    return kept == m_pictures.end() ? nullptr : kept->second.get();
}

bool CandidateChoice::Downloaded(RunSide side, std::size_t index) const {
    const SideCandidates& candidates = Side(side);
    if (index >= candidates.pictures.size()) {
        return false;
    }
    const auto kept = m_pictures.find(candidates.pictures[index].found.address);
    return kept != m_pictures.end() && kept->second;
}

std::string CandidateChoice::FileName(RunSide side) const {
    return PictureFileName(Chosen(side).address);
}

bool CandidateChoice::Fetch(RunSide side) {
    const std::string& address = Chosen(side).address;
    if (const auto kept = m_pictures.find(address); kept != m_pictures.end() && kept->second) {
        return true;
    }
    const std::optional<std::string> stored = m_fetch.download(address, Side(side).name, m_problem);
    if (!stored) {
        return false;
    }
    OwnedPicture picture(LoadPicture(*stored));
    DeleteRunFile(*stored);
    if (!picture) {
        m_problem = UnreadableText(BaseName(*stored));
        return false;
    }
    m_pictures[address] = std::move(picture);
    return true;
}

bool CandidateChoice::Recompose() {
    FaceBoxList boxes;
    const FaceBoxList& all = Chosen(RunSide::Body).list;
    const std::vector<std::size_t> order = FacesLeftToRight(all);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i < m_facesOn.size() && m_facesOn[i]) {
            boxes.push_back(all[order[i]]);
        }
    }
    const BlendStyle style = m_compositor.chosen();
    if (m_compositor.ComposeCopies(Picture(RunSide::Body), boxes, Picture(RunSide::Face),
                                   Chosen(RunSide::Face).box, m_mask.get()) != ComposeStatus::Ok) {
        m_problem = kChoiceOutOfMemoryText;
        return false;
    }
    m_portrait.Recomposed(style);
    return true;
}

bool CandidateChoice::ChoosePicture(RunSide side, std::size_t index) {
    m_problem.clear();
    SideCandidates& candidates = Of(side);
    if (index >= candidates.pictures.size()) {
        return false;
    }
    const std::size_t before = candidates.chosen;
    const std::vector<bool> facesBefore = m_facesOn;
    candidates.chosen = index;
    if (side == RunSide::Body && index != before) {
        m_facesOn.assign(FacesLeftToRight(Chosen(side).list).size(), true);
    }
    if (!Fetch(side) || !Recompose()) {
        candidates.chosen = before;
        m_facesOn = facesBefore;
        return false;
    }
    return true;
}

bool CandidateChoice::ChoosePerson(RunSide side, const std::string& id) {
    m_problem.clear();
    SideCandidates& candidates = Of(side);
    std::optional<SideCandidates> found = m_fetch.search(candidates.name, id, m_problem);
    if (!found || found->pictures.empty()) {
        return false;
    }
    found->name = candidates.name;
    found->people = candidates.people;
    SideCandidates before = std::exchange(candidates, std::move(*found));
    const std::vector<bool> facesBefore = m_facesOn;
    if (side == RunSide::Body) {
        m_facesOn.assign(FacesLeftToRight(Chosen(side).list).size(), true);
    }
    if (Fetch(side) && Recompose()) {
        return true;
    }
    // The person's pictures could not be blended: the side stays as it was.
    candidates = std::move(before);
    m_facesOn = facesBefore;
    return false;
}

FaceBoxList CandidateChoice::BodyFaces() const {
    const FaceBoxList& all = Chosen(RunSide::Body).list;
    FaceBoxList faces;
    for (std::size_t i : FacesLeftToRight(all)) {
        faces.push_back(all[i]);
    }
    return faces;
}

std::vector<bool> CandidateChoice::FacesOn() const {
    return m_facesOn;
}

bool CandidateChoice::ToggleFace(std::size_t index) {
    m_problem.clear();
    if (index >= m_facesOn.size()) {
        return false;
    }
    if (m_facesOn[index] && std::count(m_facesOn.begin(), m_facesOn.end(), true) == 1) {
        m_problem = kLastFaceText;
        return false;
    }
    m_facesOn[index] = !m_facesOn[index];
    if (!Recompose()) {
        m_facesOn[index] = !m_facesOn[index];
        return false;
    }
    return true;
}

}  // namespace norvo
