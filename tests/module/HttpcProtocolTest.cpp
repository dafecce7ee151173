// Request reading, answer writing, marker cutting and file-name checks, without any network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstdlib>

#ifdef _WIN32
#include "tests/support/PosixCompat.h"
#endif
#include "modules/httpc/FileName.h"
#include "modules/httpc/MarkerTexts.h"
#include "modules/httpc/ModuleAnswer.h"
#include "modules/httpc/ModuleRequest.h"
#include "net/FetchLimits.h"

namespace norvo {
namespace {

using namespace std::string_literals;

// What the host sends: fixed lines, ArgumentN lines, empty line.
std::string HostRequest(const std::vector<std::string>& args) {
    std::string text = "EXECUTE SAORI/1.0\r\nSender: norvo\r\nSecurityLevel: Local\r\n";
    for (size_t i = 0; i < args.size(); ++i) {
        text += "Argument" + std::to_string(i) + ": " + args[i] + "\r\n";
    }
    return text + "\r\n";
}

TEST(ModuleRequestReading, HostRequestsGiveTheirArgumentsInOrder) {
    const std::vector<std::vector<std::string>> forms = {
        {},
        {"http://h/a.jpg", "a.jpg"},
        {"http://h/q?x=1", "\"url\":\"", "\",\""},
        {"a: b: c", "", "x"},  // values run to the end of the line, empty values kept
    };
    for (const auto& args : forms) {
        ModuleRequest request;
        ASSERT_EQ(ParseModuleRequest(HostRequest(args), request), RequestStatus::Ok);
        EXPECT_EQ(request.arguments, args);
    }
}

TEST(ModuleRequestReading, ArgumentsMayComeInAnyOrderAndTextAfterTheEndIsIgnored) {
    ModuleRequest request;
    ASSERT_EQ(ParseModuleRequest("EXECUTE SAORI/1.0\r\nArgument1: b\r\nCharset: UTF-8\r\n"
                                 "Argument0: a\r\n\r\nArgument2: late\r\n",
                                 request),
              RequestStatus::Ok);
    EXPECT_EQ(request.arguments, (std::vector<std::string>{"a", "b"}));
}

TEST(ModuleRequestReading, MalformedRequestsAreNamed) {
    const struct {
        const char* rule;
        std::string text;
        RequestStatus expected;
    } cases[] = {
        {"empty", "", RequestStatus::Empty},
        {"garbage", "\x01\xff garbage", RequestStatus::NotExecute},
        {"other verb", "GET SAORI/1.0\r\n\r\n", RequestStatus::NotExecute},
        {"other version", "EXECUTE SAORI/1.1\r\n\r\n", RequestStatus::NotExecute},
        {"verb line only with LF", "EXECUTE SAORI/1.0\n\n", RequestStatus::NotExecute},
        {"verb line cut short", "EXECUTE SAORI/1.0", RequestStatus::NotExecute},
        {"no empty line", "EXECUTE SAORI/1.0\r\nArgument0: a\r\n", RequestStatus::Unterminated},
        {"last line without CR LF", "EXECUTE SAORI/1.0\r\nArgument0: a",
         RequestStatus::Unterminated},
        {"line without colon-space", "EXECUTE SAORI/1.0\r\nArgument0:a\r\n\r\n",
         RequestStatus::BadLine},
        {"argument text spilling into a line", HostRequest({"http://h/\r\nnot a header"}),
         RequestStatus::BadLine},
        {"index not a number", "EXECUTE SAORI/1.0\r\nArgumentX: a\r\n\r\n",
         RequestStatus::BadArgumentIndex},
        {"index missing", "EXECUTE SAORI/1.0\r\nArgument: a\r\n\r\n",
         RequestStatus::BadArgumentIndex},
        {"index with leading zero", "EXECUTE SAORI/1.0\r\nArgument00: a\r\n\r\n",
         RequestStatus::BadArgumentIndex},
        {"index far too large", "EXECUTE SAORI/1.0\r\nArgument99999999999999999999: a\r\n\r\n",
         RequestStatus::BadArgumentIndex},
        {"fourth argument", HostRequest({"a", "b", "c", "d"}), RequestStatus::TooManyArguments},
        {"argument twice", "EXECUTE SAORI/1.0\r\nArgument0: a\r\nArgument0: b\r\n\r\n",
         RequestStatus::DuplicateArgument},
        {"gap before argument 1", "EXECUTE SAORI/1.0\r\nArgument1: b\r\n\r\n",
         RequestStatus::MissingArgument},
        {"gap before argument 2", "EXECUTE SAORI/1.0\r\nArgument0: a\r\nArgument2: c\r\n\r\n",
         RequestStatus::MissingArgument},
    };
    for (const auto& c : cases) {
        ModuleRequest request;
        request.arguments = {"stale"};
        EXPECT_EQ(ParseModuleRequest(c.text, request), c.expected) << c.rule;
        EXPECT_TRUE(request.arguments.empty()) << c.rule;
        EXPECT_EQ(describe(c.expected).find(": "), std::string_view::npos) << c.rule;
    }
}

TEST(ModuleRequestReading, SizeLimitAcceptsTheLimitAndRefusesOneByteMore) {
    const std::string frame = HostRequest({"x"});
    const std::string atLimit =
        HostRequest({std::string(kMaxRequestBytes - frame.size() + 1, 'x')});
    ASSERT_EQ(atLimit.size(), kMaxRequestBytes);
    ModuleRequest request;
    EXPECT_EQ(ParseModuleRequest(atLimit, request), RequestStatus::Ok);
    EXPECT_EQ(ParseModuleRequest(atLimit + "y", request), RequestStatus::TooLarge);
}

TEST(ModuleAnswerWriting, ComposesStatusLineHeadersAndEmptyLine) {
    ModuleAnswer answer(200, "OK");
    answer.AddHeader("Result", "http://h/a.jpg");
    answer.AddHeader("Value0", "");
    EXPECT_EQ(answer.Compose(), "SAORI/1.0 200 OK\r\nResult: http://h/a.jpg\r\nValue0: \r\n\r\n");
    EXPECT_EQ(ModuleAnswer::BadRequest("why").Compose(),
              "SAORI/1.0 400 Bad Request\r\nResult: 0\r\nReason: why\r\n\r\n");
    EXPECT_EQ(ModuleAnswer::Failure("why").Compose(),
              "SAORI/1.0 500 Internal Server Error\r\nResult: 0\r\nReason: why\r\n\r\n");
}

TEST(ModuleAnswerWriting, LineBreaksAndNulInValuesCannotStartLines) {
    ModuleAnswer answer(500, "x\r\ny");
    answer.AddHeader("Reason", "a\r\nInjected: 1\0b"s);
    EXPECT_EQ(answer.Compose(), "SAORI/1.0 500 x  y\r\nReason: a  Injected: 1 b\r\n\r\n");
}

TEST(MarkerCutting, FindsTextsInOrderUpToFour) {
    const std::string s = "\"url\":\"", e = "\",\"";
    auto item = [&](const std::string& t) { return "{" + s + t + e + "w\"}"; };
    const struct {
        const char* rule;
        std::string body;
        std::vector<std::string> expected;
    } cases[] = {
        {"no occurrence", "{\"title\":\"x\"}", {}},
        {"one", item("a"), {"a"}},
        {"four", item("a") + item("b") + item("c") + item("d"), {"a", "b", "c", "d"}},
        {"six keeps the first four",
         item("a") + item("b") + item("c") + item("d") + item("e") + item("f"),
         {"a", "b", "c", "d"}},
        {"end marker is the last thing in the body", "x" + s + "a" + e, {"a"}},
        {"start marker at the very end finds nothing more", item("a") + s, {"a"}},
        {"start without end", s + "never closed", {}},
        {"empty text kept", s + e, {""}},
        {"search goes on after the end marker, not after the start", s + "a" + e + "b" + e, {"a"}},
        {"text with CR LF skipped, next moves up", item("bad\r\nX: y") + item("b"), {"b"}},
        {"bare LF and bare CR skipped", item("a\nb") + item("a\rb") + item("c"), {"c"}},
        {"text with colon-space skipped", item("http://h/a: b") + item("c"), {"c"}},
        {"text with NUL skipped", item("a\0b"s) + item("c"), {"c"}},
        {"colon without space kept", item("http://h:8080/a"), {"http://h:8080/a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CutMarkerTexts(c.body, s, e), c.expected) << c.rule;
    }
}

TEST(MarkerCutting, EmptyMarkersFindNothing) {
    EXPECT_TRUE(CutMarkerTexts("abc", "", "c").empty());
    EXPECT_TRUE(CutMarkerTexts("abc", "a", "").empty());
}

TEST(FileNameCheck, UnsafeNamesAreRefused) {
    const struct {
        std::string name;
        FileNameStatus expected;
    } cases[] = {
        {"", FileNameStatus::Empty},
        {".", FileNameStatus::DotName},
        {"..", FileNameStatus::DotName},
        {"../httpc.so", FileNameStatus::Separator},
        {"/etc/passwd", FileNameStatus::Separator},
        {"a/b", FileNameStatus::Separator},
        {"a\\b", FileNameStatus::Separator},
        {"..\\x", FileNameStatus::Separator},
        {"a\0b"s, FileNameStatus::ControlByte},
        {"a\nb", FileNameStatus::ControlByte},
        {"a\rb", FileNameStatus::ControlByte},
        {"a\tb", FileNameStatus::ControlByte},
        {"a\x7f", FileNameStatus::ControlByte},
        {std::string(kMaxFileNameBytes + 1, 'a'), FileNameStatus::TooLong},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckFileName(c.name), c.expected) << c.name;
    }
}

TEST(FileNameCheck, OrdinaryNamesPass) {
    for (const std::string& name :
         std::vector<std::string>{"tmpfile.xml", "photo.jpg", "img.php?id=3", "...", ".hidden",
                                  "名前.png", "a b.jpg", std::string(kMaxFileNameBytes, 'a')}) {
        EXPECT_EQ(CheckFileName(name), FileNameStatus::Ok) << name;
    }
}

TEST(FetchLimitsFromEnvironment, OnlyShorterWholeNumbersApply) {
    const struct {
        const char* value;
        long expected;
    } cases[] = {
        {"1", 1},   {"60", 60}, {"7", 7},
        {"61", 60}, {"0", 60},  {"-3", 60},
        {"3s", 60}, {"", 60},   {"99999999999999999999", 60},
    };
    for (const auto& c : cases) {
        ::setenv("HTTPC_TIMEOUT_SECONDS", c.value, 1);
        const FetchLimits limits = FetchLimits::FromEnvironment();
        EXPECT_EQ(limits.transferTimeoutSeconds, c.expected) << c.value;
        // The connection check never waits longer than a transfer may take.
        EXPECT_EQ(limits.probeTimeoutSeconds, std::min(kProbeTimeoutSeconds, c.expected));
    }
    ::unsetenv("HTTPC_TIMEOUT_SECONDS");
    ::setenv("HTTPC_LOW_SPEED_SECONDS", "2", 1);
    ::setenv("HTTPC_CONNECT_TIMEOUT_SECONDS", "11", 1);
    const FetchLimits limits = FetchLimits::FromEnvironment();
    EXPECT_EQ(limits.lowSpeedSeconds, 2);
    EXPECT_EQ(limits.connectTimeoutSeconds, kConnectTimeoutSeconds);
    ::unsetenv("HTTPC_LOW_SPEED_SECONDS");
    ::unsetenv("HTTPC_CONNECT_TIMEOUT_SECONDS");
}

}  // namespace
}  // namespace norvo
