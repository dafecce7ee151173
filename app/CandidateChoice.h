#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/PortraitChoice.h"
#include "app/RunView.h"
#include "imaging/FaceCompositor.h"

namespace norvo {

// How the save step reaches the services for a choice; the run's module does the work.
struct CandidateFetch {
    // Stores the picture at `address` found for the typed `name` in the work folder and returns
    // its path; nullopt, with `problem` saying why, when it could not.
    std::function<std::optional<std::string>(const std::string& address, const std::string& name,
                                             std::string& problem)>
        download;
    // The search for `name` kept to `person`, each picture with its credit; nullopt, with
    // `problem`, when it failed.
    std::function<std::optional<SideCandidates>(const std::string& name, const std::string& person,
                                                std::string& problem)>
        search;
};

// The choices of one run's save step over the compositor that made its portrait: the pictures
// downloaded so far are kept decoded, so going back to one blends at once.
class CandidateChoice : public CandidateChoices {
public:
    // `compositor` has composed `found`'s chosen pictures with the body faces `facesOn`
    // (left to right); `portrait` offers its styles.
    CandidateChoice(FaceCompositor& compositor, PortraitChoice& portrait, RunCandidates found,
                    std::vector<bool> facesOn, CandidateFetch fetch);

    const SideCandidates& Side(RunSide side) const override;
    PictureHandle Picture(RunSide side) const override;
    bool Downloaded(RunSide side, std::size_t index) const override;
    bool ChoosePicture(RunSide side, std::size_t index) override;
    bool ChoosePerson(RunSide side, const std::string& id) override;
    FaceBoxList BodyFaces() const override;
    std::vector<bool> FacesOn() const override;
    bool ToggleFace(std::size_t index) override;
    std::string Problem() const override { return m_problem; }

    // The file name a credit without one goes by: the stored name of the side's picture.
    std::string FileName(RunSide side) const;

private:
    SideCandidates& Of(RunSide side);
    const FoundPicture& Chosen(RunSide side) const;
    // Downloads and decodes the side's chosen picture unless it is kept already.
    bool Fetch(RunSide side);
    // Composes the chosen pictures with the faces on; false with m_problem when it could not.
    bool Recompose();

    FaceCompositor& m_compositor;
    PortraitChoice& m_portrait;
    RunCandidates m_found;
    std::vector<bool> m_facesOn;
    CandidateFetch m_fetch;
    std::map<std::string, OwnedPicture> m_pictures;  // by address, as loaded
    OwnedPicture m_mask;
    std::string m_problem;
};

// Which body faces (left to right) a run replaces: those in `numbers` (from 1), or every one
// when it is empty.
std::vector<bool> FacesOnFor(const FaceBoxList& list, const std::vector<std::size_t>& numbers);

}  // namespace norvo
