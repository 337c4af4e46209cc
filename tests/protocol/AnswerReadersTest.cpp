// What the one-pass readers give beyond the cuts they replaced: every field of a message
// item, answers read the same whatever their whitespace, and a sync answer that counts only
// with its SyncKey.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "contacts/ContactAnswer.h"
#include "platform/Encoding.h"
#include "protocol/InitAnswer.h"
#include "protocol/MessageItem.h"
#include "protocol/SyncAnswer.h"
#include "sim/Answers.h"
#include "sim/MessageContent.h"
#include "sim/Scenario.h"

namespace zelmo::protocol {
namespace {

using platform::Utf8ToGbk;

constexpr int LAST_KIND = static_cast<int>(sim::MessageKind::SystemNotice);

sim::ContactSpec Person(std::string id, std::string nick_name, int sex) {
    sim::ContactSpec contact;
    contact.id = std::move(id);
    contact.nick_name = std::move(nick_name);
    contact.sex = sex;
    return contact;
}

std::vector<sim::ContactSpec> SomeContacts() {
    sim::ContactSpec group = Person("team", "群 😹 & <b>", 0);
    group.is_group = true;
    group.contact_flag = 2;
    group.members = {Person("m1", "成员 \"一\"", 1), Person("m2", "m2 😹", 2)};
    sim::ContactSpec friend_contact = Person("alice", "Alice \"A\" 😹", 2);
    friend_contact.remark_name = "备注 &amp;";
    friend_contact.province = "广东";
    friend_contact.city = "深圳";
    friend_contact.signature = "sig\nline";
    std::vector<sim::ContactSpec> contacts = {friend_contact, group, Person("bob", "Bob", 1)};
    sim::AssignUserNames(contacts);
    return contacts;
}

// One message of every kind, alternating friend and group chats.
std::vector<sim::MessageObject> EveryKind(sim::Era era, const std::vector<sim::ContactSpec>& c) {
    std::vector<sim::MessageObject> messages;
    for (int kind = 0; kind <= LAST_KIND; ++kind) {
        sim::MessageSpec wanted;
        wanted.kind = static_cast<sim::MessageKind>(kind);
        wanted.text = "文字 😹 & <b> \"q\"\nline";
        wanted.url = "http://example.com/a?b=1&c=\"2\"";
        wanted.notice = wanted.kind == sim::MessageKind::SystemNotice ? "remove" : "";
        wanted.actor = "A";
        wanted.target = "B";
        sim::MessageParties parties;
        const bool in_group = kind % 2 == 1;
        parties.from = in_group ? c[1].user_name : c[0].user_name;
        parties.to = "@own";
        parties.member = in_group ? c[1].members[0].user_name : "";
        parties.own_user_name = "@own";
        parties.card_user_name = c[2].user_name;
        parties.card_nick_name = "名片 \"Card\" 😹";
        parties.short_link_host = "url.cn";
        parties.msg_id = std::to_string(5000000000000000000LL + kind);
        parties.create_time = 1546211468;
        parties.hex_token = std::string(128, 'f');
        messages.push_back(sim::BuildMessage(wanted, parties, era));
    }
    return messages;
}

std::string SyncAnswerOf(sim::Era era, const std::vector<sim::MessageObject>& messages,
                         const std::vector<sim::ContactSpec>& contacts) {
    sim::SyncNews news;
    news.messages = messages;
    news.changes.push_back({false, contacts[1]});
    news.changes.push_back({false, contacts[0]});
    sim::SyncData data;
    data.news = &news;
    data.sync_key = {{1, 11}, {2, 22}, {1000, 1000000}};
    return sim::SyncAnswer(era, data);
}

TEST(AnswerReadersTest, EveryMessageItemGivesItsFieldsForTheClassification) {
    const std::vector<sim::ContactSpec> contacts = SomeContacts();
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        const std::vector<sim::MessageObject> messages = EveryKind(era, contacts);
        const SyncAnswer read = ReadSyncAnswer(SyncAnswerOf(era, messages, contacts));
        ASSERT_TRUE(read.complete);
        EXPECT_EQ(read.ret, "0");
        EXPECT_EQ(read.changed_contact, contacts[1].user_name);
        ASSERT_EQ(read.messages.size(), messages.size());
        for (std::size_t i = 0; i < messages.size(); ++i) {
            const sim::MessageObject& sent = messages[i];
            SCOPED_TRACE("kind " + std::to_string(i));
            EXPECT_EQ(read.messages[i].msg_id, sent.msg_id);
            ASSERT_TRUE(read.messages[i].text.starts_with("{\n\"MsgId\": "));
            ASSERT_TRUE(read.messages[i].text.ends_with("\n}"));
            const MessageItem item = ReadMessageItem(read.messages[i].text);
            EXPECT_EQ(item.MsgId, sent.msg_id);
            EXPECT_EQ(item.FromUserName, sent.from);
            EXPECT_EQ(item.ToUserName, sent.to);
            EXPECT_EQ(item.MsgType, std::to_string(sent.msg_type));
            EXPECT_EQ(item.Content, Utf8ToGbk(sent.content));
            EXPECT_EQ(item.FileName, Utf8ToGbk(sent.file_name));
            EXPECT_EQ(item.Url, Utf8ToGbk(sent.url));
            EXPECT_EQ(item.AppMsgType, std::to_string(sent.app_msg_type));
            EXPECT_EQ(item.StatusNotifyCode, std::to_string(sent.status_notify_code));
            EXPECT_EQ(item.SubMsgType, std::to_string(sent.sub_msg_type));
            EXPECT_EQ(item.RecommendInfo.UserName, sent.recommend.user_name);
            EXPECT_EQ(item.RecommendInfo.NickName,
                      Utf8ToGbk(sim::MarkupText(sent.recommend.nick_name)));
        }
    }
    // A verify request names who asks; a card, whom it shows.
    const MessageItem card = ReadMessageItem(
        ReadSyncAnswer(
            SyncAnswerOf(sim::Era::Early2016, EveryKind(sim::Era::Early2016, contacts), contacts))
            .messages[static_cast<int>(sim::MessageKind::Card)]
            .text);
    EXPECT_EQ(card.MsgType, "42");
    EXPECT_EQ(card.RecommendInfo.UserName, contacts[2].user_name);
}

// The same document in other whitespace: compact, indented, CRLF line ends.
std::vector<std::string> Relaid(const std::string& answer) {
    const nlohmann::ordered_json document = nlohmann::ordered_json::parse(answer);
    std::string crlf;
    for (const char c : answer) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return {document.dump(), document.dump(2), crlf};
}

TEST(AnswerReadersTest, TheServiceWhitespaceIsNoLongerNeeded) {
    const std::vector<sim::ContactSpec> contacts = SomeContacts();
    std::vector<const sim::ContactSpec*> pointers;
    pointers.reserve(contacts.size());
    for (const sim::ContactSpec& contact : contacts) {
        pointers.push_back(&contact);
    }
    const ServiceProfile profile;
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        sim::InitData init;
        init.account.uin = 2100000001;
        init.account.user_name = "@own";
        init.account.nick_name = "自己 😹";
        init.contacts = pointers;
        init.sync_key = {{1, 100}, {2, 200}};
        const std::string init_answer = sim::InitAnswer(era, init);
        const InitAnswer init_read = ReadInitAnswer(profile, "", init_answer);
        ASSERT_TRUE(init_read.sync_key && init_read.own);
        const std::string contact_answer = sim::GetContactAnswer(era, 0, pointers, "@c");
        const std::string batch_answer = sim::BatchGetContactAnswer(era, 0, {&contacts[1]}, "@c");
        const std::string sync_answer = SyncAnswerOf(era, EveryKind(era, contacts), contacts);
        const SyncAnswer sync_read = ReadSyncAnswer(sync_answer);
        ASSERT_TRUE(sync_read.complete);
        const std::size_t contact_count = contacts::ReadContacts(contact_answer).size();
        ASSERT_EQ(contact_count, contacts.size());

        for (const std::string& relaid : Relaid(init_answer)) {
            const InitAnswer read = ReadInitAnswer(profile, "", relaid);
            ASSERT_TRUE(read.sync_key && read.own) << relaid;
            EXPECT_EQ(read.sync_key->json, init_read.sync_key->json);
            EXPECT_EQ(read.sync_key->text, init_read.sync_key->text);
            EXPECT_EQ(read.own->NickName, init_read.own->NickName);
            EXPECT_EQ(read.own->Uin, init_read.own->Uin);
            EXPECT_EQ(contacts::ReadContacts(relaid).size(), contacts.size());
        }
        for (const std::string& relaid : Relaid(contact_answer)) {
            const std::vector<contacts::ContactRecord> records = contacts::ReadContacts(relaid);
            const std::vector<contacts::ContactRecord> laid =
                contacts::ReadContacts(contact_answer);
            ASSERT_EQ(records.size(), laid.size());
            for (std::size_t i = 0; i < records.size(); ++i) {
                EXPECT_EQ(records[i].NickName, laid[i].NickName);
                EXPECT_EQ(records[i].kind, laid[i].kind);
                EXPECT_EQ(records[i].RemarkName, laid[i].RemarkName);
                EXPECT_EQ(records[i].UserName, laid[i].UserName);
            }
        }
        for (const std::string& relaid : Relaid(batch_answer)) {
            const contacts::GroupMembers members = contacts::ReadGroupMembers(relaid);
            ASSERT_EQ(members.members.size(), 2u);
            EXPECT_EQ(members.members[0].NickName, Utf8ToGbk("成员 \"一\""));
        }
        for (const std::string& relaid : Relaid(sync_answer)) {
            const SyncAnswer read = ReadSyncAnswer(relaid);
            ASSERT_TRUE(read.complete);
            EXPECT_EQ(read.sync_key.json, sync_read.sync_key.json);
            EXPECT_EQ(read.changed_contact, sync_read.changed_contact);
            ASSERT_EQ(read.messages.size(), sync_read.messages.size());
            for (std::size_t i = 0; i < read.messages.size(); ++i) {
                const MessageItem item = ReadMessageItem(read.messages[i].text);
                const MessageItem laid = ReadMessageItem(sync_read.messages[i].text);
                EXPECT_EQ(item.Content, laid.Content);
                EXPECT_EQ(item.FromUserName, laid.FromUserName);
                EXPECT_EQ(item.MsgType, laid.MsgType);
            }
        }
    }
}

// A sync answer cut anywhere before its SyncKey is whole must not count, whatever messages
// came before the cut: acted on now, they would come again with the next sync.
TEST(AnswerReadersTest, ASyncAnswerCountsOnlyOnceItsSyncKeyCameWhole) {
    const std::vector<sim::ContactSpec> contacts = SomeContacts();
    const std::string answer =
        SyncAnswerOf(sim::Era::Late2018, EveryKind(sim::Era::Late2018, contacts), contacts);
    const std::size_t key = answer.find("\"SyncKey\": ");
    const std::size_t list_end = answer.find(']', key) + 1;
    const SyncAnswer whole = ReadSyncAnswer(answer);
    ASSERT_TRUE(whole.complete);
    for (std::size_t length = answer.find("\"ModContactCount\""); length <= answer.size();
         ++length) {
        const SyncAnswer cut = ReadSyncAnswer(std::string_view(answer).substr(0, length));
        ASSERT_EQ(cut.complete, length >= list_end) << length;
        EXPECT_EQ(cut.ret, "0");
        if (cut.complete) {
            ASSERT_EQ(cut.messages.size(), whole.messages.size());
            EXPECT_EQ(cut.sync_key.text, "1_11%7C2_22%7C1000_1000000");
        }
    }
}

}  // namespace
}  // namespace zelmo::protocol
