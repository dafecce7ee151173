// Load on loopback, bounded by count: many detections at once and a stream of searches, all
// answered correctly. How long they take and how much memory stays is bench_gallery_load's.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <thread>

#include "tests/service/RunningGallery.h"
#include "tests/service/TestPictures.h"

namespace norvo {
namespace {

TEST(GalleryLoad, FiftyDetectionsAndTwoHundredSearchesWithoutError) {
    test::TempFolder dir;
    const test::TestImage hopper = test::BundledHopper();
    const test::TestImage astronaut = test::BundledAstronaut();
    // Distinct files so the detector itself runs concurrently, not only the cache.
    for (int i = 0; i < 10; ++i) {
        const test::TestImage& base = i % 2 ? hopper : astronaut;
        const double s = 0.6 + 0.1 * i;
        test::SavePicture(base.scaled(int(base.width() * s), int(base.height() * s)),
                          dir.Path() / (i % 2 ? "Grace Hopper" : "Eileen Collins") /
                              ("v" + std::to_string(i) + ".jpg"));
    }
    test::RunningGallery service({.pictures = dir.Path(), .threads = 4});
    ASSERT_EQ(service.Status(), ServerStatus::Ok);
    std::atomic<int> detections{0}, searches{0}, errors{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 50; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client client = test::PatientClient(service.HostPort());
            const std::string person = i % 2 ? "Grace%20Hopper" : "Eileen%20Collins";
            const std::string url =
                service.Base() + "/pictures/" + person + "/v" + std::to_string(i % 10) + ".jpg";
            auto res = client.Get(("/api/detect?m=1&f=2&url=" + url).c_str());
            if (res && res->status == 200 && res->body.find("<bounds") != std::string::npos) {
                ++detections;
            } else {
                ++errors;
            }
        });
    }
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&, t] {
            httplib::Client client = test::PatientClient(service.HostPort());
            for (int i = 0; i < 50; ++i) {
                const char* name =
                    (i + t) % 3 == 0 ? "nobody" : (i % 2 ? "grace%20hopper" : "EILEEN%20COLLINS");
                auto res = client.Get(
                    (std::string("/ajax/services/search/images?q=") + name + "&v=1.0").c_str());
                if (res && res->status == 200) {
                    ++searches;
                } else {
                    ++errors;
                }
            }
        });
    }
    for (auto& c : clients) c.join();
    EXPECT_EQ(errors.load(), 0);
    EXPECT_EQ(detections.load(), 50);
    EXPECT_EQ(searches.load(), 200);
}

}  // namespace
}  // namespace norvo
