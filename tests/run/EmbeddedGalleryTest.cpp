// Starting and stopping the bundled service, with small scripts standing in for it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/EmbeddedGallery.h"
#include "saori/WorkFolder.h"

namespace norvo {
namespace {

class EmbeddedGalleryTest : public ::testing::Test {
protected:
    std::string Script(const std::string& body) {
        const std::string path = folder.Path() + "service.sh";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0700);
        return path;
    }
    WorkFolder folder{std::filesystem::temp_directory_path().string()};
};

TEST_F(EmbeddedGalleryTest, ReadsTheAddressAndStopsTheService) {
    // The script records its arguments and then waits to be stopped.
    const std::string args = folder.Path() + "args";
    EmbeddedGallery gallery;
    ASSERT_EQ(gallery.Start(
                  Script("echo \"$@\" > " + args + "; echo http://127.0.0.1:4321; exec sleep 30"),
                  "/pics"),
              EmbeddedGallery::Status::Ok);
    EXPECT_TRUE(gallery.IsRunning());
    EXPECT_EQ(gallery.Address(), "http://127.0.0.1:4321");
    std::string recorded;
    std::getline(std::ifstream(args), recorded);
    EXPECT_EQ(recorded, "--pictures /pics --listen 127.0.0.1:0 --watch-stdin");
    gallery.Stop();
    gallery.SetSources("gallery,wikimedia");
    ASSERT_EQ(gallery.Start(
                  Script("echo \"$@\" > " + args + "; echo http://127.0.0.1:4321; exec sleep 30"),
                  "/pics"),
              EmbeddedGallery::Status::Ok);
    std::getline(std::ifstream(args), recorded);
    EXPECT_EQ(recorded,
              "--pictures /pics --listen 127.0.0.1:0 --watch-stdin --sources gallery,wikimedia");
    gallery.Stop();
    EXPECT_FALSE(gallery.IsRunning());
    EXPECT_EQ(gallery.Address(), "");
}

TEST_F(EmbeddedGalleryTest, TheServiceEndsWhenItsStarterDiesWithoutStoppingIt) {
    // The stand-in waits for its standard input to close, as the real service does with
    // --watch-stdin, then leaves a mark.
    const std::string mark = folder.Path() + "ended";
    const std::string script = Script("echo http://127.0.0.1:4321; cat >/dev/null; touch " + mark);
    // The starter's own standard input stays open for the whole test, so only the service's
    // private lifeline can end the stand-in.
    int heldOpen[2];
    ASSERT_EQ(pipe(heldOpen), 0);
    const pid_t starter = fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        dup2(heldOpen[0], STDIN_FILENO);
        EmbeddedGallery gallery;
        const bool started = gallery.Start(script, "/pics") == EmbeddedGallery::Status::Ok;
        _exit(started ? 0 : 1);  // no destructor runs: as if the program were killed
    }
    int status = 0;
    ASSERT_EQ(waitpid(starter, &status, 0), starter);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The stand-in ends by itself once its input closes; the limit is only there for a hang.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!std::filesystem::exists(mark) && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(std::filesystem::exists(mark));
    close(heldOpen[0]);
    close(heldOpen[1]);
}

TEST_F(EmbeddedGalleryTest, RefusesServicesThatDoNotAnswerProperly) {
    const struct {
        const char* rule;
        std::string script;
        EmbeddedGallery::Status status;
    } cases[] = {
        {"prints no line in time", "exec sleep 30", EmbeddedGallery::Status::NoAddress},
        {"exits at once", "exit 3", EmbeddedGallery::Status::NoAddress},
        {"prints another host", "echo http://example.com:80; exec sleep 30",
         EmbeddedGallery::Status::NoAddress},
        {"prints no port", "echo http://127.0.0.1:; exec sleep 30",
         EmbeddedGallery::Status::NoAddress},
        {"prints a port of six digits", "echo http://127.0.0.1:123456; exec sleep 30",
         EmbeddedGallery::Status::NoAddress},
        {"prints an endless first line", "head -c 100000 /dev/zero | tr '\\0' 7; exec sleep 30",
         EmbeddedGallery::Status::NoAddress},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        EmbeddedGallery gallery;
        EXPECT_EQ(gallery.Start(Script(c.script), "/pics", 300), c.status);
        EXPECT_FALSE(gallery.IsRunning());
    }
    EmbeddedGallery gallery;
    EXPECT_EQ(gallery.Start(folder.Path() + "missing", "/pics"),
              EmbeddedGallery::Status::NoProgram);
}

}  // namespace
}  // namespace norvo
