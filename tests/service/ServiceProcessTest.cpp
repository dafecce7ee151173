// The service as the program runs it: a child process whose first output line is its address.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakeweb/FakeWeb.h"
#include "tests/service/GalleryChild.h"
#include "tests/service/RunningGallery.h"
#include "tests/service/TestPictures.h"

namespace norvo {
namespace {

using Child = test::GalleryChild;

std::unique_ptr<Child> Spawn(const std::vector<std::string>& args) {
    auto child = std::make_unique<Child>(NORVO_GALLERY_BIN, args);
    EXPECT_TRUE(child->Started());
    return child;
}

// Exit status, or -1 if the child does not end within the wait limit (it is then killed).
int WaitExit(Child& child) {
    return child.WaitExit(std::chrono::duration_cast<std::chrono::seconds>(test::kWaitLimit));
}

TEST(GalleryProcess, PrintsItsAddressFirstAndStopsCleanlyOnSignals) {
    for (int sig : {SIGTERM, SIGINT}) {
        auto child =
            Spawn({"--pictures", test::BundledGallery().string(), "--listen", "127.0.0.1:0"});
        const std::string base = child->ReadLine();
        ASSERT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << base;
        auto res = test::PatientClient(base.substr(7)).Get("/health");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        child->Signal(sig);
        EXPECT_EQ(WaitExit(*child), 0) << "signal " << sig;
    }
}

// Libraries may start threads before main (a threaded BLAS under dlib does), and the kernel may
// hand a process's signal to any thread that does not block it: whichever thread gets it, the
// service stops cleanly, also while it watches an input that stays open.
TEST(GalleryProcess, AStopSignalToAnyOfItsThreadsStopsItCleanly) {
    auto child = Spawn({"--pictures", test::BundledGallery().string(), "--quiet", "--watch-stdin"});
    const std::string base = child->ReadLine();
    ASSERT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << base;
    // Once it has answered, its request workers run; the newest thread is one of them.
    ASSERT_TRUE(test::PatientClient(base.substr(7)).Get("/health"));
    pid_t newest = -1;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(child->Pid()) + "/task")) {
        newest = std::max(newest, static_cast<pid_t>(std::stoi(task.path().filename().string())));
    }
    ASSERT_NE(newest, child->Pid()) << "the service runs worker threads";
    ASSERT_EQ(syscall(SYS_tgkill, child->Pid(), newest, SIGTERM), 0);
    EXPECT_EQ(WaitExit(*child), 0);
}

TEST(GalleryProcess, WatchStdinStopsWhenTheParentGoesAway) {
    auto child = Spawn({"--pictures", test::BundledGallery().string(), "--watch-stdin", "--quiet"});
    ASSERT_EQ(child->ReadLine().rfind("http://127.0.0.1:", 0), 0u);
    child->CloseInput();
    EXPECT_EQ(WaitExit(*child), 0);
}

TEST(GalleryProcess, CommandLineErrorsAndHelp) {
    auto help = Spawn({"--help"});
    EXPECT_NE(help->ReadAll().find("Usage: norvo-gallery"), std::string::npos);
    EXPECT_EQ(WaitExit(*help), 0);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--listen"},
                                               {"--listen", "127.0.0.1"},
                                               {"--listen", "127.0.0.1:65536"},
                                               {"--listen", "127.0.0.1:x"},
                                               {"--threads", "0"},
                                               {"--threads", "65"},
                                               {"--pictures"}}) {
        auto child = Spawn(args);
        EXPECT_EQ(WaitExit(*child), 2) << args[0] << (args.size() > 1 ? " " + args[1] : "");
    }
    auto missing = Spawn({"--pictures", "/nonexistent/gallery"});
    EXPECT_EQ(WaitExit(*missing), 1);
}

// Searches for `name` in the started service, asks for the faces of the first picture found,
// sends SIGTERM and returns the exit status.
int SearchDetectAndStop(Child& child, const std::string& name) {
    const std::string base = child.ReadLine();
    EXPECT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << base;
    auto client = test::PatientClient(base.substr(7));
    auto search = client.Get("/ajax/services/search/images?q=" + name + "&v=1.0");
    EXPECT_TRUE(search && search->status == 200);
    std::smatch url;
    const std::string body = search ? search->body : "";
    EXPECT_TRUE(std::regex_search(body, url, std::regex("\"url\":\"([^\"]+)\""))) << body;
    auto detect = client.Get("/api/detect?url=" + (url.empty() ? std::string() : url[1].str()));
    EXPECT_TRUE(detect && detect->body.find("<face") != std::string::npos);
    child.Signal(SIGTERM);
    return WaitExit(child);
}

// Qt's image-format plug-ins, loaded by decoding, once outlived what they use at exit: SIGTERM
// after a search and a detection ended the service with a crash in about half the runs. Both
// sources decode; the web one also fetches.
TEST(GalleryProcess, ExitsWithZeroOnSIGTERMAfterASearchAndADetection) {
    test::FakeWeb fake(test::BundledGallery());
    const std::vector<std::string> gallery = {"--pictures", test::BundledGallery().string(),
                                              "--quiet"};
    std::vector<std::string> web = gallery;
    web.insert(web.end(), {"--sources", "gallery,wikimedia", "--allow-private-fetch",
                           fake.Endpoint(), "--wikipedia-api", fake.WikipediaApi(), "--commons-api",
                           fake.CommonsApi(), "--wikidata-api", fake.WikidataApi()});
    const struct {
        const char* label;
        std::vector<std::string> args;
        const char* name;
    } cases[] = {{"gallery", gallery, "grace%20hopper"}, {"web", web, "Ada%20Example"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::TempFolder cache;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--cache", cache.Path().string()});
        EXPECT_EQ(SearchDetectAndStop(*Spawn(args), c.name), 0);
    }
}

// The same fault read freed memory without crashing in most runs, and AddressSanitizer does not
// see it (it happens inside Qt, which is not instrumented); valgrind reports it in every run.
// Where valgrind is installed, the plain build's service runs under it once.
TEST(GalleryProcess, TouchesNoFreedMemoryWhenItExitsAfterDecodingUnderValgrind) {
#ifndef NORVO_VALGRIND
    GTEST_SKIP() << "valgrind is not installed, or this tree is built with a sanitizer";
#else
    test::TempFolder cache;
    Child child(NORVO_VALGRIND,
                {"--error-exitcode=99", "--quiet", NORVO_GALLERY_BIN, "--pictures",
                 test::BundledGallery().string(), "--quiet", "--cache", cache.Path().string()});
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(SearchDetectAndStop(child, "grace%20hopper"), 0)
        << "99: valgrind found an error (its report is on standard error)";
#endif
}

}  // namespace
}  // namespace norvo
