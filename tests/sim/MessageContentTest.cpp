#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/Answers.h"
#include "sim/MessageContent.h"

namespace {

sim::MessageParties Parties(const std::string& from, const std::string& member = "") {
    sim::MessageParties parties;
    parties.from = from;
    parties.to = "@self";
    parties.member = member;
    parties.own_user_name = "@self";
    parties.short_link_host = "url.cn";
    parties.msg_id = "1000000000000000042";
    parties.hex_token = std::string(128, 'a');
    return parties;
}

sim::MessageSpec Spec(sim::MessageKind kind, sim::MessageForm form, std::string text = "") {
    sim::MessageSpec message;
    message.kind = kind;
    message.form = form;
    message.text = std::move(text);
    message.url = "https://example.com/a?b=1&c=2";
    return message;
}

std::string ContentOf(sim::MessageKind kind, sim::MessageForm form, const std::string& text = "",
                      sim::Era era = sim::Era::Early2016) {
    return sim::BuildMessage(Spec(kind, form, text), Parties("@@group", "@member"), era).content;
}

}  // namespace

TEST(MessageForms, MediaAndAppsTakeTheShapesOfTheirYears) {
    using sim::MessageForm;
    using sim::MessageKind;
    const std::string declared =
        "@member:<br/>&lt;?xml version=\"1.0\"?&gt;<br/>&lt;msg&gt;<br/>\t&lt;";
    const std::string picture = ContentOf(MessageKind::Picture, MessageForm::Y2017);
    EXPECT_EQ(picture.rfind(declared + "img aeskey=\"", 0), 0u) << picture;
    EXPECT_TRUE(picture.ends_with(" /&gt;<br/>&lt;/msg&gt;<br/>")) << picture;
    EXPECT_EQ(ContentOf(MessageKind::Video, MessageForm::Y2017).rfind(declared + "videomsg ", 0),
              0u);
    EXPECT_EQ(ContentOf(MessageKind::Picture, MessageForm::Y2016)
                  .rfind("@member:<br/>&lt;msg&gt;&lt;img aeskey=", 0),
              0u);
    for (const MessageKind kind : {MessageKind::Picture, MessageKind::Voice, MessageKind::Video}) {
        EXPECT_EQ(ContentOf(kind, MessageForm::Y2018), "@member:<br/>@" + std::string(128, 'a'));
    }

    const std::string link = ContentOf(MessageKind::App, MessageForm::Y2017, "Title & more");
    EXPECT_EQ(link.rfind("@member:<br/>&lt;?xml version=\"1.0\"?&gt;<br/>&lt;msg&gt;<br/> "
                         "&lt;appmsg appid=\"\" sdkver=\"0\"&gt;<br/> &lt;title&gt;Title &amp; "
                         "more&lt;/title&gt;<br/>",
                         0),
              0u)
        << link;
    const std::string flat = ContentOf(MessageKind::App, MessageForm::Y2018, "Title");
    EXPECT_EQ(flat.substr(flat.find(":<br/>") + 6).find("<br/>"), std::string::npos) << flat;
    EXPECT_NE(flat.find("&lt;msg&gt;&lt;appmsg appid=\"\" sdkver=\"0\"&gt;&lt;title&gt;Title"),
              std::string::npos);
    const sim::MessageObject file =
        sim::BuildMessage(Spec(MessageKind::File, MessageForm::Y2018, "报告.pdf"),
                          Parties("@friend"), sim::Era::Late2018);
    EXPECT_EQ(file.content.rfind("&lt;msg&gt;&lt;appmsg appid=\"wx6618f1cfc6c132f8\"", 0), 0u);
    EXPECT_TRUE(file.content.ends_with("&lt;/appmsg&gt;&lt;/msg&gt;&lt;br/&gt;<br/>"));
    EXPECT_EQ(file.content.find("<br/>"), file.content.size() - 5);
    EXPECT_EQ(file.app_msg_type, 6);
    EXPECT_EQ(file.file_name, "报告.pdf");
    EXPECT_EQ(file.encry_file_name, "报告.pdf");

    // Today's location carries no short link.
    const sim::MessageObject place =
        sim::BuildMessage(Spec(MessageKind::Location, MessageForm::Y2018, "深圳"),
                          Parties("@friend"), sim::Era::Late2018);
    EXPECT_EQ(place.msg_type, 1);
    EXPECT_EQ(place.sub_msg_type, 48);
    EXPECT_EQ(place.content,
              "深圳:<br/>/cgi-bin/mmwebwx-bin/webwxgetpubliclinkimg?url=" + std::string(40, 'a') +
                  "&msgid=1000000000000000042&pictype=location");
    EXPECT_NE(place.ori_content.find("poiname=\"深圳\""), std::string::npos);

    // Unless asked, every era keeps the shapes it always had.
    for (const MessageKind kind : {MessageKind::App, MessageKind::File, MessageKind::Location}) {
        EXPECT_EQ(ContentOf(kind, MessageForm::Service, "x", sim::Era::Late2018),
                  ContentOf(kind, MessageForm::Y2016, "x"));
    }

    // The TAB of the 2017 shapes is JSON-escaped in the answer.
    sim::SyncNews news;
    news.messages.push_back(sim::BuildMessage(Spec(MessageKind::Picture, MessageForm::Y2017),
                                              Parties("@friend"), sim::Era::Early2016));
    sim::SyncData data;
    data.news = &news;
    EXPECT_NE(sim::SyncAnswer(sim::Era::Early2016, data).find("<br/>\\t&lt;img aeskey=\\\""),
              std::string::npos);
}

TEST(MessageForms, GroupNoticesInTheServiceWording) {
    const auto notice = [](std::string kind, std::string actor, std::string target,
                           std::vector<std::string> targets = {}, bool english = false) {
        sim::MessageSpec message;
        message.kind = sim::MessageKind::SystemNotice;
        message.notice = std::move(kind);
        message.actor = std::move(actor);
        message.target = std::move(target);
        message.targets = std::move(targets);
        message.english = english;
        return sim::NoticeText(message);
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {notice("invite", "A", "B"), "\"A\"邀请\"B\"加入了群聊"},
        {notice("invite", "A", "", {"B", "C & D"}), "\"A\"邀请\"B、C &amp; D\"加入了群聊"},
        {notice("invite", "", "B"), "你邀请\"B\"加入了群聊  "},
        {notice("qr_join", "", "B"), "\"B\"通过扫描你分享的二维码加入群聊  "},
        {notice("qr_join", "A", "B"), "\" B\"通过扫描\"A\"分享的二维码加入群聊"},
        {notice("joined", "", "", {"A", "B"}), "你通过扫描二维码加入群聊，群聊参与人还有：A、B"},
        {notice("invited_you", "A", "", {"B", "C"}), "\"A\"邀请你加入了群聊，群聊参与人还有：B、C"},
        {notice("remove", "", "B"), "你将\"B\"移出了群聊"},
        {notice("kicked", "A", ""), "你被\"A\"移出群聊"},
        {notice("rename", "A", "新名"), "\"A\"修改群名为“新名”"},
        {notice("invite", "", "B", {}, true), "You invited B to the group chat.   "},
        {notice("invite", "A", "B", {}, true), "A invited B to the group chat"},
        {notice("qr_join", "A", "B", {}, true),
         "\"B\" joined the group chat via the QR Code shared by \"A\"."},
        {notice("remove", "", "B", {}, true), "You removed \"B\" from the group chat"},
        // No English wording was seen for this one.
        {notice("kicked", "A", "", {}, true), "你被\"A\"移出群聊"},
    };
    for (const auto& [built, expected] : cases) {
        EXPECT_EQ(built, expected);
    }
}
