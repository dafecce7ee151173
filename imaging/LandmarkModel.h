#pragma once

// dlib's 68-point face shape model: read once, lazily, on a thread of its own if asked.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "imaging/FaceBox.h"
#include "imaging/FaceLandmarks.h"
#include "imaging/Picture.h"

namespace norvo {

// Outcome of reading the model file.
enum class LandmarkModelStatus {
    Ok,          // read and checked
    Missing,     // no file at the path
    Unreadable,  // the file cannot be opened, is too large, or is not a 68-point shape model
};

const char* describe(LandmarkModelStatus status);

// The model file Debian's libdlib-data installs.
inline constexpr char kDefaultLandmarkModelPath[] =
    "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
// Its name, which the Windows build keeps for the copy in the data\ folder beside the program.
inline constexpr char kLandmarkModelFileName[] = "shape_predictor_68_face_landmarks.dat";
// Environment variable that names another model file.
inline constexpr char kLandmarkModelVariable[] = "NORVO_LANDMARK_MODEL";

// The model, read from its file at most once however many threads ask. Finding landmarks is
// safe from any number of threads once Load() returned Ok.
class LandmarkModel {
public:
    explicit LandmarkModel(std::string path);
    // Waits for a load started by StartLoading.
    ~LandmarkModel();
    LandmarkModel(const LandmarkModel&) = delete;
    LandmarkModel& operator=(const LandmarkModel&) = delete;

    // $NORVO_LANDMARK_MODEL when set and not empty, else kDefaultLandmarkModelPath; on
    // Windows else data\kLandmarkModelFileName in the program's folder ("" when that folder
    // is unknown, so nothing is looked for relative to the working folder). UTF-8.
    static std::string DefaultPath();

    const std::string& Path() const { return m_strPath; }

    // Starts reading the file on a thread of its own and returns at once; later calls do
    // nothing. So a window can open at once while the model is read. `thenAlso`, when given,
    // runs on that thread after the read: other one-time preparation of the blend that uses
    // the landmarks.
    void StartLoading(std::function<void()> thenAlso = {});

    // Reads the file, or waits for the read under way; the same answer on every call.
    LandmarkModelStatus Load();

    // The landmarks of the face in `box` of `picture`; nullopt when the model is not loaded,
    // the box is too small or mostly outside the picture, or the points found do not look
    // like a face in that box.
    std::optional<FaceLandmarks> Find(PictureHandle picture, const FaceBox& box) const;

private:
    struct Shape;

    std::string m_strPath;
    std::once_flag m_loadOnce;
    std::mutex m_startMutex;
    std::thread m_loader;
    LandmarkModelStatus m_status = LandmarkModelStatus::Unreadable;
    std::unique_ptr<Shape> m_shape;
    // m_shape once it is read: Find may be called while the loading thread still works.
    std::atomic<const Shape*> m_ready{nullptr};
};

}  // namespace norvo
