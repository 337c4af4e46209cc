#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "protocol/JsonText.h"
#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"
#include "support/SimSession.h"

namespace zelmo::interop {
namespace {

constexpr std::string_view SEND_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsendmsg?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";
constexpr std::string_view SEND_MSG =
    R"("Msg":{"FromUserName":"{from}","ToUserName":"{to}","Type":1,"Content":"{message}",)"
    R"("ClientMsgId":{time},"LocalID":{time}}})";

class SendInterop : public EraTest {
protected:
    // Sends a UTF-8 text the way the client sends its GBK texts; returns the answer's Ret.
    std::string Send(std::string_view to, std::string_view utf8_text) {
        const std::string escaped = protocol::JsonEscape(platform::Utf8ToGbk(utf8_text));
        protocol::CallValues call;
        call.from = Rig().State().own.UserName;
        call.to = to;
        call.message = escaped;
        const std::string body = platform::GbkToUtf8(
            Rig().Fill(std::string(protocol::BASE_REQUEST_PREFIX) + std::string(SEND_MSG), call));
        return protocol::ExtractBetween(Rig().PostWeb(SEND_PATH, body), "Ret\": ", ",");
    }
};

TEST_P(SendInterop, TextsNeedingEscapesReachTheServiceExactly) {
    sim::Simulator& simulator = Rig().Sim();
    const std::string alice = simulator.UserNameOf("alice");
    // Quotes, backslashes, line breaks, a tab, Chinese (one with a backslash trail byte),
    // placeholder-like words and an attempt to smuggle in a field.
    const std::vector<std::string> texts = {
        "He said \"hi\" \\ 你好\r\n第二行\n淺\t{to} {message}",
        R"(x","ToUserName":"filehelper","Content":"y)",
        "\\",
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(Send(alice, text), "0") << text;
    }

    const std::vector<sim::SentMessage> sent = simulator.SentMessages();
    ASSERT_EQ(sent.size(), texts.size()) << ViolationText(simulator);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(sent[i].content, texts[i]);
        EXPECT_EQ(sent[i].to, alice);
        EXPECT_EQ(sent[i].from, Rig().State().own.UserName);
        EXPECT_EQ(sent[i].type, 1);
        EXPECT_FALSE(sent[i].local_id.empty());
        EXPECT_EQ(sent[i].client_msg_id, sent[i].local_id);
    }
    EXPECT_TRUE(simulator.Violations().empty()) << ViolationText(simulator);
}

TEST_P(SendInterop, TheServiceRefusalOfAnUnknownReceiverIsReadAsItsRet) {
    EXPECT_EQ(Send("@nobody", "hello"), "1204");
    EXPECT_EQ(Send("filehelper", "note"), "0");
    ASSERT_EQ(Rig().Sim().SentMessages().size(), 2u);
    EXPECT_EQ(Rig().Sim().SentMessages()[1].content, "note");
}

INSTANTIATE_TEST_SUITE_P(Eras, SendInterop,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018), EraName);

}  // namespace
}  // namespace zelmo::interop
