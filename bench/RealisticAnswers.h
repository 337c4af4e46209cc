#pragma once

// Service answers as a real account gets them, for the benchmarks: names mixing Chinese,
// Latin letters, emoji (which the service writes as span markup) and characters it writes
// as entities, 40-character signatures, remarks, aliases, public accounts, groups with
// their members, and sync answers of mixed messages, all in the service's own layout (the
// simulator's writer). Deterministic: the same arguments give the same bytes.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Answers.h"
#include "sim/MessageContent.h"
#include "sim/Scenario.h"

namespace zelmo::bench {

class RealisticAnswers {
public:
    explicit RealisticAnswers(std::uint32_t seed = 20240601) : m_random(seed) {}

    // webwxgetcontact with `contacts` entries (about 1 in 25 a group, 1 in 20 a public
    // account), groups with an empty MemberList as the service sends them there.
    std::string GetContact(int contacts) {
        const std::vector<sim::ContactSpec> listed = Contacts(contacts);
        return sim::GetContactAnswer(sim::Era::Late2018, 0, Pointers(listed), SKEY);
    }

    // webwxinit with `contacts` recent chats in its ContactList, groups with their members.
    std::string Init(int contacts) {
        std::vector<sim::ContactSpec> recent = Contacts(contacts);
        recent.push_back(Group("recent", 6));
        sim::AssignUserNames(recent);
        sim::InitData data;
        data.account.uin = 2100000042;
        data.account.user_name = OWN;
        data.account.nick_name = Name();
        data.account.signature = Text(40);
        data.account.sex = 2;
        data.contacts = Pointers(recent);
        data.sync_key = {{1, 658070058}, {2, 658070346}, {3, 658070192}, {1000, 1546209242}};
        data.skey = std::string(SKEY);
        data.system_time = 1546211468;
        return sim::InitAnswer(sim::Era::Late2018, data);
    }

    // webwxbatchgetcontact of one group with `members` members.
    std::string BatchGetContact(int members) {
        std::vector<sim::ContactSpec> group = {Group("batch", members)};
        sim::AssignUserNames(group);
        return sim::BatchGetContactAnswer(sim::Era::Late2018, 0, {&group[0]}, SKEY);
    }

    // webwxsync with `messages` messages: mostly texts in friend and group chats, the
    // rest pictures, stickers, voice, links, files, cards, locations and notices.
    std::string Sync(int messages) {
        std::vector<sim::ContactSpec> people = Contacts(60);
        sim::ContactSpec group = Group("chat", 40);
        std::vector<sim::ContactSpec> groups = {group};
        sim::AssignUserNames(groups);
        sim::SyncNews news;
        for (int i = 0; i < messages; ++i) {
            const sim::ContactSpec& friend_contact = people[Pick(people.size())];
            const bool in_group = i % 3 == 1;
            sim::MessageSpec message;
            message.kind = KindFor(i);
            message.text = Text(4 + static_cast<int>(Pick(60)));
            message.url =
                "https://mp.weixin.qq.com/s?__biz=MzA" + std::to_string(i) + "&mid=1&idx=1";
            message.notice = message.kind == sim::MessageKind::SystemNotice ? "invite" : "";
            message.actor = friend_contact.nick_name;
            message.target = groups[0].members[Pick(groups[0].members.size())].nick_name;
            sim::MessageParties parties;
            parties.from = in_group ? groups[0].user_name : friend_contact.user_name;
            parties.to = OWN;
            parties.member = in_group ? groups[0].members[Pick(40)].user_name : "";
            parties.own_user_name = OWN;
            parties.card_user_name = people[Pick(people.size())].user_name;
            parties.card_nick_name = people[Pick(people.size())].nick_name;
            parties.short_link_host = "url.cn";
            parties.msg_id = std::to_string(4000000000000000000LL + i * 7919LL);
            parties.create_time = 1546211468 + i;
            parties.hex_token = Hex(128);
            news.messages.push_back(sim::BuildMessage(message, parties, sim::Era::Late2018));
        }
        sim::SyncData data;
        data.news = &news;
        data.sync_key = {{1, 658070058},    {2, 658070346},     {3, 658070192},    {11, 658070145},
                         {201, 1546211468}, {1000, 1546209242}, {1001, 1546209274}};
        return sim::SyncAnswer(sim::Era::Late2018, data);
    }

    // The records behind GetContact, with their UserNames.
    std::vector<sim::ContactSpec> Contacts(int count) {
        std::vector<sim::ContactSpec> listed;
        listed.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            if (i % 25 == 24) {
                listed.push_back(Group("g" + std::to_string(i), 0));
                continue;
            }
            sim::ContactSpec contact;
            contact.id = "c" + std::to_string(i);
            contact.nick_name = Name();
            contact.sex = 1 + static_cast<int>(Pick(2));
            if (i % 20 == 7) {
                contact.sex = 0;
                contact.verify_flag = 8;
                contact.contact_flag = 3;
            }
            if (Pick(10) < 6) {
                contact.signature = Text(40);
            }
            if (Pick(10) < 3) {
                contact.remark_name = Name();
            }
            if (Pick(10) < 2) {
                contact.alias = "wxid_" + Hex(10);
            }
            const auto& [province, city] = PLACES[Pick(std::size(PLACES))];
            contact.province = province;
            contact.city = city;
            listed.push_back(std::move(contact));
        }
        sim::AssignUserNames(listed);
        return listed;
    }

private:
    static constexpr std::string_view SKEY = "@crypt_2a9e56b1_7d12e8f03c6b4a95d8e1f2a3b4c5d6e7";
    static constexpr const char* OWN =
        "@5b0d4a7c3e1f9a8b7c6d5e4f3a2b1c0d9e8f7a6b5c4d3e2f1a0b9c8d7e6f5a4b";
    static constexpr std::string_view HANZI[] = {
        "小", "王", "李", "张", "爱", "明", "华", "美", "丽", "天", "空", "海", "风", "云",
        "春", "花", "秋", "月", "夜", "雨", "心", "晴", "阳", "光", "乐", "安", "宁", "静",
        "喵", "猫", "狗", "鱼", "茶", "咖", "啡", "书", "画", "歌", "舞", "梦", "想", "远"};
    static constexpr std::string_view LATIN[] = {"A", "b",   "Co", "Lily", "Tom", "x",    "Q",
                                                 "z", "Amy", "_",  "-",    "7",   "2019", "V"};
    // Emoji outside the BMP (span markup), inside it (kept), and what becomes an entity.
    static constexpr std::string_view MARKS[] = {"😹", "🌸", "🐱", "😂", "👍",  "🎉",      "❤",
                                                 "☀", "&", "<", ">", "\"", "[微笑]", " "};
    static constexpr std::pair<std::string_view, std::string_view> PLACES[] = {
        {"广东", "深圳"},          {"北京", "海淀"}, {"上海", "浦东新区"},
        {"浙江", "杭州"},          {"四川", "成都"}, {"", ""},
        {"湖北", "武汉"},          {"江苏", "南京"}, {"福建", "厦门"},
        {"Guangdong", "Guangzhou"}};

    std::size_t Pick(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random);
    }

    std::string Hex(int digits) {
        static constexpr char DIGITS[] = "0123456789abcdef";
        std::string hex;
        for (int i = 0; i < digits; ++i) {
            hex += DIGITS[Pick(16)];
        }
        return hex;
    }

    // `length` characters: mostly Chinese, some Latin, an emoji or a marked-up character
    // now and then.
    std::string Text(int length) {
        std::string text;
        for (int i = 0; i < length; ++i) {
            const std::size_t roll = Pick(20);
            if (roll < 13) {
                text += HANZI[Pick(std::size(HANZI))];
            } else if (roll < 17) {
                text += LATIN[Pick(std::size(LATIN))];
            } else {
                text += MARKS[Pick(std::size(MARKS))];
            }
        }
        return text;
    }

    std::string Name() { return Text(2 + static_cast<int>(Pick(7))); }

    sim::ContactSpec Group(const std::string& id, int members) {
        sim::ContactSpec group;
        group.id = id;
        group.nick_name = Name() + "群";
        group.is_group = true;
        group.contact_flag = 2;
        group.sex = 0;
        group.owner_uin = 2100000000 + static_cast<std::int64_t>(Pick(99999));
        for (int i = 0; i < members; ++i) {
            sim::ContactSpec member;
            member.id = id + "m" + std::to_string(i);
            member.nick_name = Name();
            if (Pick(10) < 3) {
                member.remark_name = Name();  // the member's card name in the group
            }
            group.members.push_back(std::move(member));
        }
        return group;
    }

    static sim::MessageKind KindFor(int i) {
        static constexpr sim::MessageKind OTHERS[] = {
            sim::MessageKind::Picture,     sim::MessageKind::Sticker, sim::MessageKind::Voice,
            sim::MessageKind::App,         sim::MessageKind::File,    sim::MessageKind::Card,
            sim::MessageKind::Location,    sim::MessageKind::Video,   sim::MessageKind::Recall,
            sim::MessageKind::SystemNotice};
        return i % 10 < 7 ? sim::MessageKind::Text : OTHERS[(i / 10) % std::size(OTHERS)];
    }

    static std::vector<const sim::ContactSpec*> Pointers(
        const std::vector<sim::ContactSpec>& listed) {
        std::vector<const sim::ContactSpec*> list;
        list.reserve(listed.size());
        for (const sim::ContactSpec& contact : listed) {
            list.push_back(&contact);
        }
        return list;
    }

    std::mt19937 m_random;
};

}  // namespace zelmo::bench
