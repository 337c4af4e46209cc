// The one-pass answer readers against the reference cuts they replaced, on every answer
// the fuzz corpora, the simulator's writer and the benchmark data hold, whole, cut at every
// byte and broken: both must give the same, and the readers stay within their bounds.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Gzip.h"
#include "sim/Answers.h"
#include "sim/MessageContent.h"
#include "sim/Scenario.h"
#include "support/AnswerDiff.h"

namespace zelmo::test {
namespace {

namespace fs = std::filesystem;

struct Input {
    std::string name;
    std::string bytes;
};

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(dir, error)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A target's input is its last field: the lines before it are markers or names.
std::string_view InputField(std::string_view bytes, std::size_t fields) {
    for (std::size_t line = 1; line < fields; ++line) {
        const std::size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            return {};
        }
        bytes.remove_prefix(newline + 1);
    }
    return bytes;
}

// Every seed of every fuzz target, as the target reads it; gzip seeds also decoded.
std::vector<Input> CorpusInputs() {
    const std::map<std::string, std::size_t> fields_of = {
        {"FillTemplate", 9}, {"IniRead", 3}, {"IniWrite", 4}, {"JsonText", 2}, {"TextHelpers", 3}};
    std::vector<Input> inputs;
    const fs::path corpus = fs::path(ZELMO_SOURCE_DIR) / "fuzz" / "corpus";
    for (const fs::path& file : FilesIn(corpus)) {
        const std::string target = file.parent_path().filename().string();
        const std::string bytes = platform::ReadFile(file.string());
        const auto fields = fields_of.find(target);
        const std::string name = target + "/" + file.filename().string();
        inputs.push_back(
            {name, std::string(InputField(bytes, fields == fields_of.end() ? 1 : fields->second))});
        if (target == "Gunzip") {
            inputs.push_back({name + " decoded", platform::Gunzip(bytes)});
        }
    }
    return inputs;
}

sim::ContactSpec Person(std::string id, std::string nick_name, int sex) {
    sim::ContactSpec contact;
    contact.id = std::move(id);
    contact.nick_name = std::move(nick_name);
    contact.sex = sex;
    return contact;
}

std::vector<sim::ContactSpec> TrickyContacts() {
    sim::ContactSpec tricky = Person("tricky", "小爱 \"Ally\", {the} [first] 乗\"end", 2);
    tricky.remark_name = "老\\王\",\ttab &amp; <b>";
    tricky.signature = "签名 😹 line\nbreak \\u0041";
    tricky.province = "广东\",";
    tricky.city = "深圳 \\\"";
    tricky.alias = "a\",b";
    tricky.uin = 123456789;
    sim::ContactSpec group = Person("team", "群 [微笑] 😹", 1);
    group.is_group = true;
    group.contact_flag = 2;
    group.owner_uin = 2100000001;
    group.members = {Person("m1", "a]b}c 😹", 1), Person("m2", "{x} \"q\",", 2),
                     Person("m3", "&lt;乗&gt;", 1)};
    group.members[0].uin = 11;
    sim::ContactSpec account = Person("gh", "公众号 & Co", 0);
    account.verify_flag = 8;
    account.contact_flag = 3;
    std::vector<sim::ContactSpec> contacts = {Person("plain", "Bob", 1), tricky, group, account,
                                              Person("filehelper", "文件传输助手", 0)};
    contacts.back().user_name = "filehelper";
    sim::AssignUserNames(contacts);
    return contacts;
}

std::vector<const sim::ContactSpec*> Pointers(const std::vector<sim::ContactSpec>& listed) {
    std::vector<const sim::ContactSpec*> list;
    list.reserve(listed.size());
    for (const sim::ContactSpec& contact : listed) {
        list.push_back(&contact);
    }
    return list;
}

// A webwxsync answer holding one message of every kind the simulator writes, in friend
// and group chats by turns, and contact changes.
std::string SyncWithEveryKind(sim::Era era, const std::vector<sim::ContactSpec>& contacts) {
    sim::SyncNews news;
    int next = 0;
    for (int kind = 0; kind <= static_cast<int>(sim::MessageKind::SystemNotice); ++kind) {
        for (const bool in_group : {kind % 2 == 0}) {
            sim::MessageSpec wanted;
            wanted.kind = static_cast<sim::MessageKind>(kind);
            wanted.text = "文字 😹 & <b> \"q\" [微笑]\nline";
            wanted.url = "http://example.com/a?b=1&c=\"2\"";
            wanted.notice =
                kind == static_cast<int>(sim::MessageKind::SystemNotice) ? "invite" : "";
            wanted.actor = "A";
            wanted.target = "B";
            sim::MessageParties parties;
            parties.from = in_group ? contacts[2].user_name : contacts[1].user_name;
            parties.to = "@own";
            parties.member = in_group ? contacts[2].members[0].user_name : "";
            parties.own_user_name = "@own";
            parties.card_user_name = contacts[0].user_name;
            parties.card_nick_name = "Card \"名\"";
            parties.short_link_host = "url.cn";
            parties.msg_id = std::to_string(3000000000000000000LL + ++next);
            parties.create_time = 1436409749;
            parties.hex_token = std::string(128, 'a');
            news.messages.push_back(sim::BuildMessage(wanted, parties, era));
        }
    }
    news.changes.push_back({false, contacts[2]});
    news.changes.push_back({false, contacts[0]});
    news.changes.push_back({true, contacts[3]});
    sim::SyncData data;
    data.news = &news;
    data.sync_key = {{1, 658070058}, {2, 658070346}, {3, 658070192}, {1000, 1492994161}};
    return sim::SyncAnswer(era, data);
}

// Every answer kind in both eras, as the simulator's writer writes them.
std::vector<Input> SimulatorInputs() {
    const std::vector<sim::ContactSpec> contacts = TrickyContacts();
    std::vector<Input> inputs;
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        const std::string suffix = era == sim::Era::Early2016 ? " 2016" : " 2018";
        sim::InitData init;
        init.account.uin = 2100000001;
        init.account.user_name = "@own";
        init.account.nick_name = "自己 😹 &amp;";
        init.account.signature = "sig?";
        init.account.sex = 1;
        init.contacts = Pointers(contacts);
        init.sync_key = {{1, 100}, {2, 200}};
        init.skey = "@crypt_1_2";
        inputs.push_back({"init" + suffix, sim::InitAnswer(era, init)});
        init.ret = 1101;
        inputs.push_back({"init error" + suffix, sim::InitAnswer(era, init)});
        inputs.push_back(
            {"getcontact" + suffix, sim::GetContactAnswer(era, 0, Pointers(contacts), "@c")});
        inputs.push_back(
            {"batchgetcontact" + suffix, sim::BatchGetContactAnswer(era, 0, {&contacts[2]}, "@c")});
        inputs.push_back({"sync" + suffix, SyncWithEveryKind(era, contacts)});
    }
    inputs.push_back({"statusnotify", sim::StatusNotifyAnswer(0, "1234567890123456789")});
    inputs.push_back({"sendmsg", sim::SendMsgAnswer(1204, "", "")});
    return inputs;
}

// Where to cut an answer: at every byte of a small one; in a large one around every line
// break (where the members meet) and at evenly spread places inside the lines.
std::vector<std::size_t> CutPoints(std::string_view bytes) {
    constexpr std::size_t EVERY_BYTE_UP_TO = 3000;
    constexpr std::size_t SPREAD = 211;
    std::vector<std::size_t> cuts;
    if (bytes.size() <= EVERY_BYTE_UP_TO) {
        for (std::size_t length = 0; length <= bytes.size(); ++length) {
            cuts.push_back(length);
        }
        return cuts;
    }
    for (std::size_t at = bytes.find('\n'); at != std::string_view::npos;
         at = bytes.find('\n', at + 1)) {
        for (const std::size_t length : {at - 1, at, at + 1, at + 2}) {
            cuts.push_back(std::min(length, bytes.size()));
        }
    }
    for (std::size_t i = 0; i <= SPREAD; ++i) {
        cuts.push_back(bytes.size() * i / SPREAD);
    }
    return cuts;
}

void ExpectAgreement(const std::string& name, std::string_view bytes) {
    const std::string diff = DiffAnswer(bytes);
    ASSERT_TRUE(diff.empty()) << name << " (" << bytes.size() << " bytes):\n" << diff;
    const std::string over = CheckReadBounds(bytes);
    ASSERT_TRUE(over.empty()) << name << ": " << over;
}

TEST(AnswerDifferentialTest, EveryCorpusAndSimulatorAnswerWholeAndCut) {
    std::vector<Input> inputs = CorpusInputs();
    const std::vector<Input> written = SimulatorInputs();
    inputs.insert(inputs.end(), written.begin(), written.end());
    ASSERT_GT(inputs.size(), 40u);
    std::set<std::string> seen;
    for (const Input& input : inputs) {
        if (!seen.insert(input.bytes).second) {
            continue;  // several targets share a seed
        }
        for (const std::size_t length : CutPoints(input.bytes)) {
            ExpectAgreement(input.name + " cut at " + std::to_string(length),
                            std::string_view(input.bytes).substr(0, length));
        }
    }
    // The simulator writes what the service writes: the layout the cuts depend on.
    for (const Input& input : written) {
        EXPECT_TRUE(InServiceLayout(input.bytes)) << input.name;
    }
}

// Bytes the service's UTF-8 may carry broken: a NUL (which ends the text), a byte that
// starts no character, a lead byte without its followers, inside a name or a content.
TEST(AnswerDifferentialTest, BrokenBytesInsideTheAnswers) {
    using namespace std::string_view_literals;
    constexpr std::string_view BROKEN[] = {"\xff"sv, "\xe4\xb8"sv, "\xf0\x9f"sv, "\x80"sv, "\0"sv};
    for (const Input& input : SimulatorInputs()) {
        const std::string& bytes = input.bytes;
        std::size_t turn = 0;
        // At the start of each string value and one byte into it (inside a character), a
        // different break each time.
        for (std::size_t at = bytes.find(": \""); at != std::string::npos;
             at = bytes.find(": \"", at + 1)) {
            for (const std::size_t offset : {std::size_t{3}, std::size_t{4}}) {
                if (offset == 4 && (bytes[at + 3] == '"' || bytes[at + 3] == '\\')) {
                    continue;  // no inside to an empty string, nor to an escape
                }
                const std::string_view broken = BROKEN[turn++ % std::size(BROKEN)];
                std::string changed = bytes;
                changed.insert(at + offset, broken);
                ExpectAgreement(input.name + " broken at " + std::to_string(at + offset) + " by " +
                                    std::to_string(broken.size()) + " bytes from " +
                                    std::to_string(static_cast<unsigned char>(broken[0])),
                                changed);
            }
        }
    }
}

// Answers written in the service's layout from random bytes (as the fuzz target writes
// them): any texts, numbers, list lengths and eras, whole and cut.
TEST(AnswerDifferentialTest, AnswersWrittenFromRandomBytesWholeAndCut) {
    std::mt19937 random(23);
    std::size_t in_layout = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes(100 + random() % 1500, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() % (round % 2 == 0 ? 256 : 128));
        }
        const std::string answer = WriteLayoutAnswer(bytes);
        if (!InServiceLayout(answer)) {
            continue;
        }
        ++in_layout;
        ExpectAgreement("written answer " + std::to_string(round), answer);
        for (int cut = 0; cut < 6; ++cut) {
            const std::size_t length = random() % (answer.size() + 1);
            ExpectAgreement(
                "written answer " + std::to_string(round) + " cut at " + std::to_string(length),
                std::string_view(answer).substr(0, length));
        }
    }
    EXPECT_GT(in_layout, 300u);
}

TEST(AnswerDifferentialTest, TheBenchmarkAnswersWholeAndCut) {
    const fs::path data = fs::path(ZELMO_SOURCE_DIR) / "bench" / "data";
    const std::vector<fs::path> files = FilesIn(data);
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        const std::string bytes = platform::ReadFile(file.string());
        EXPECT_TRUE(InServiceLayout(bytes)) << file;
        constexpr std::size_t CUTS = 13;
        for (std::size_t i = 0; i <= CUTS; ++i) {
            const std::size_t length = bytes.size() * i / CUTS;
            ExpectAgreement(file.filename().string() + " cut at " + std::to_string(length),
                            std::string_view(bytes).substr(0, length));
        }
    }
}

}  // namespace
}  // namespace zelmo::test
