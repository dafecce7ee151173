// The program's HTTP module against the service: what the program will read, byte for byte.
#include <gtest/gtest.h>
#include <stdio.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <map>
#include <sstream>

#include "base/Utf8Path.h"
#include "services/gallery/wire/ServiceText.h"
#include "tests/service/RunningGallery.h"
#include "tests/service/TestPictures.h"
#include "xml/XmlDocument.h"
#ifdef _WIN32
#include "tests/support/WinProcess.h"
#endif

namespace norvo {
namespace {

#ifndef _WIN32
std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}
#endif

// Runs saori-request with the module and the arguments; the answer's headers by name.
std::map<std::string, std::string> ModuleRequest(const std::vector<std::string>& args,
                                                 int& exitCode) {
#ifdef _WIN32
    const testing::ProcessRun run = testing::RunProcess(NORVO_SAORI_REQUEST_BIN, args);
    exitCode = run.exitCode;
    std::map<std::string, std::string> headers;
    std::istringstream lines(run.out);
    for (std::string text; std::getline(lines, text);) {
        const std::size_t colon = text.find(": ");
        if (colon != std::string::npos)
            headers[text.substr(0, colon)] = text.substr(colon + 2);
    }
    return headers;
#else
    std::string command = Quoted(NORVO_SAORI_REQUEST_BIN);
    for (const std::string& a : args) command += " " + Quoted(a);
    FILE* pipe = popen(command.c_str(), "r");
    std::map<std::string, std::string> headers;
    if (!pipe)
        return headers;
    char line[8192];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        const std::size_t colon = text.find(": ");
        if (colon != std::string::npos)
            headers[text.substr(0, colon)] = text.substr(colon + 2);
    }
    const int status = pclose(pipe);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return headers;
#endif
}

class ModuleEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const test::TestImage hopper = test::BundledHopper();
        test::SavePicture(hopper, m_dir.Path() / "Grace Hopper" / "large.jpg");
        test::SavePicture(hopper.scaled(300, 352),
                          m_dir.Path() / "Grace Hopper" / "middle (1).png");
        test::SavePicture(hopper.scaled(200, 234), m_dir.Path() / "Grace Hopper" / "small.png");
        m_service =
            std::make_unique<test::RunningGallery>(GalleryOptions{.pictures = m_dir.Path()});
        ASSERT_EQ(m_service->Status(), ServerStatus::Ok);
        // The module gives up on an answer that is slow to start; on a loaded machine the
        // first detections can be, so they are made here, without its limits.
        ASSERT_TRUE(m_service->Warm("grace%20hopper"));
    }
    test::TempFolder m_dir;
    test::TempFolder m_work;
    std::unique_ptr<test::RunningGallery> m_service;
};

TEST_F(ModuleEndToEnd, MarkerCutGivesThePictureAddressesByteForByte) {
    const std::string base = m_service->Base();
    std::string query;
    for (unsigned char c : std::string("grace hopper")) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%%%02X", c);
        query += buf;
    }
    int code = -1;
    auto headers = ModuleRequest(
        {NORVO_HTTPC_MODULE, base + "/ajax/services/search/images?q=" + query + "&v=1.0",
         "\"url\":\"", "\",\""},
        code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(headers["Result"], base + "/pictures/Grace%20Hopper/large.jpg");
    EXPECT_EQ(headers["Value0"], base + "/pictures/Grace%20Hopper/middle%20%281%29.png");
    EXPECT_EQ(headers["Value1"], base + "/pictures/Grace%20Hopper/small.png");
    EXPECT_EQ(headers.count("Value2"), 0u);
}

TEST_F(ModuleEndToEnd, DetectionAnswerStoredByTheModuleReadsBackAsBoxes) {
    const std::string base = m_service->Base();
    int code = -1;
    ModuleRequest({"--dir", Utf8Of(m_work.Path()), NORVO_HTTPC_MODULE,
                   base + "/api/detect?m=1&f=2&url=" + base + "/pictures/Grace%20Hopper/large.jpg",
                   "tmpfile.xml"},
                  code);
    ASSERT_EQ(code, 0);
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(Utf8Of(m_work.Path() / "tmpfile.xml").c_str()), XML_OK);
    int boxes = 0;
    doc.Rewind();
    while (doc.Next()) {
        if (doc.GetName() == "bounds" && std::atoi(doc.GetAttribute("width").c_str()) > 100)
            ++boxes;
    }
    EXPECT_EQ(boxes, 1);
}

}  // namespace
}  // namespace norvo
