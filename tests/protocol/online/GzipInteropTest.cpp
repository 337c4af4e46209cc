#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/Encoding.h"
#include "platform/Regex.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"
#include "support/SimSession.h"

namespace zelmo::interop {
namespace {

using platform::Utf8ToGbk;

constexpr std::string_view CONTACT_PATH =
    "/cgi-bin/mmwebwx-bin/webwxgetcontact?skey=%40{skey}&pass_ticket={pass_ticket}&r={time}"
    "&skey=%40{skey}&pass_ticket={pass_ticket}";
constexpr int CONTACT_TIMEOUT_S = 20;
// Far below the request's own time-out: a broken stream must end the call, not the clock.
constexpr auto PROMPT = std::chrono::seconds(CONTACT_TIMEOUT_S / 2);

class GzipInterop : public EraTest {
protected:
    std::string FetchContacts() { return Rig().PostWeb(CONTACT_PATH, "{}", CONTACT_TIMEOUT_S); }
};

bool AskedForGzip(const sim::RecordedRequest& request) {
    return std::any_of(request.headers.begin(), request.headers.end(), [](const auto& header) {
        return header.first == "Accept-Encoding" && header.second == "gzip";
    });
}

TEST_P(GzipInterop, LargeAnswersComeCompressedAndDecodeWhole) {
    const std::string answer = Utf8ToGbk(FetchContacts());
    EXPECT_EQ(protocol::ExtractBetween(answer, "Ret\": ", ","), "0");
    EXPECT_EQ(protocol::ExtractBetween(answer, "\"MemberCount\": ", ","),
              std::to_string(Rig().Sim().Contacts().size()));
    // The last contact sits at the very end of the compressed stream.
    const std::size_t last = answer.rfind("\"NickName\": \"");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(protocol::ExtractJsonString(answer, "\"NickName\": \"", last + 1),
              Utf8ToGbk("好友" + std::to_string(GENERATED_FRIENDS - 1)));
    EXPECT_EQ(
        platform::FindAllMatches(answer, platform::QuoteRegex(Utf8ToGbk("\"NickName\": \"好友")))
            .size(),
        GENERATED_FRIENDS);
    EXPECT_NE(Rig().State().init_answer.find("\"ClickReportInterval\": "), std::string::npos);

    // The service compresses only for clients that ask; these answers were compressed.
    std::size_t large = 0;
    for (const sim::RecordedRequest& request : Rig().Sim().Requests()) {
        if (request.path.ends_with("/webwxinit") || request.path.ends_with("/webwxgetcontact")) {
            EXPECT_TRUE(AskedForGzip(request)) << request.path;
            ++large;
        }
    }
    EXPECT_EQ(large, 2u);
}

TEST_P(GzipInterop, BrokenCompressedAnswersEndPromptlyWithABoundedResult) {
    const std::string full = FetchContacts();
    ASSERT_FALSE(full.empty());

    sim::Fault truncated;
    truncated.kind = sim::FaultKind::TruncatedGzip;
    Rig().Sim().SetFault("webwxgetcontact", truncated);
    auto start = std::chrono::steady_clock::now();
    const std::string partial = FetchContacts();
    EXPECT_LT(std::chrono::steady_clock::now() - start, PROMPT);
    // What could be decoded is a true prefix of the answer.
    EXPECT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), full.size());
    EXPECT_EQ(full.substr(0, partial.size()), partial);

    sim::Fault invalid;
    invalid.kind = sim::FaultKind::InvalidGzip;
    Rig().Sim().SetFault("webwxgetcontact", invalid);
    start = std::chrono::steady_clock::now();
    const std::string garbage = FetchContacts();
    EXPECT_LT(std::chrono::steady_clock::now() - start, PROMPT);
    EXPECT_EQ(garbage, "");

    // The faults were used up and the client keeps working.
    EXPECT_EQ(FetchContacts().size(), full.size());
}

INSTANTIATE_TEST_SUITE_P(Eras, GzipInterop,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018), EraName);

}  // namespace
}  // namespace zelmo::interop
