#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "sim/Scenario.h"

namespace {

std::string ReadShipped(const std::string& name) {
    std::ifstream in(std::string(ZELMO_SOURCE_DIR) + "/tools/sim/scenarios/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(Scenario, ShippedScenariosParseWithEveryKindOfContact) {
    sim::Scenario demo;
    std::string error;
    ASSERT_TRUE(sim::ParseScenario(ReadShipped("demo.json"), ".", demo, error)) << error;
    int groups = 0;
    int publics = 0;
    int odd = 0;
    for (const sim::ContactSpec& contact : demo.contacts) {
        groups += contact.is_group ? 1 : 0;
        publics += contact.verify_flag != 0 ? 1 : 0;
        odd += contact.sex > 2 ? 1 : 0;
        EXPECT_EQ(contact.user_name.rfind(contact.is_group ? "@@" : "@", 0), 0u);
    }
    EXPECT_EQ(groups, 2);
    EXPECT_EQ(publics, 1);
    EXPECT_EQ(odd, 1);
    EXPECT_GE(demo.events.size(), 15u);
    // Members named by id take the friend's UserName.
    const auto team = std::find_if(demo.contacts.begin(), demo.contacts.end(),
                                   [](const auto& c) { return c.id == "team"; });
    ASSERT_NE(team, demo.contacts.end());
    EXPECT_EQ(team->members[0].user_name, demo.contacts[0].user_name);

    sim::Scenario bench;
    ASSERT_TRUE(sim::ParseScenario(ReadShipped("bench10k.json"), ".", bench, error)) << error;
    EXPECT_EQ(bench.contacts.size(), 10001u);

    // Today's account: friends without a gender, official accounts by each VerifyFlag, and
    // every modern message form.
    sim::Scenario modern;
    ASSERT_TRUE(sim::ParseScenario(ReadShipped("modern.json"), ".", modern, error)) << error;
    std::set<int> official_flags;
    int genderless_friends = 0;
    for (const sim::ContactSpec& contact : modern.contacts) {
        if (contact.verify_flag != 0) {
            EXPECT_EQ(contact.sex, 0);
            official_flags.insert(contact.verify_flag);
        } else if (!contact.is_group && contact.sex == 0) {
            ++genderless_friends;
        }
    }
    EXPECT_EQ(official_flags, (std::set<int>{8, 24, 56}));
    EXPECT_EQ(genderless_friends, 1);
    std::set<std::pair<sim::MessageKind, sim::MessageForm>> forms;
    int english = 0;
    int several = 0;
    for (const sim::ScenarioEvent& event : modern.events) {
        forms.insert({event.message.kind, event.message.form});
        english += event.message.english ? 1 : 0;
        several += event.message.targets.size() > 1 ? 1 : 0;
    }
    using sim::MessageForm;
    using sim::MessageKind;
    for (const auto& wanted : std::vector<std::pair<MessageKind, MessageForm>>{
             {MessageKind::Picture, MessageForm::Y2017},
             {MessageKind::Video, MessageForm::Y2017},
             {MessageKind::App, MessageForm::Y2017},
             {MessageKind::Picture, MessageForm::Y2018},
             {MessageKind::Voice, MessageForm::Y2018},
             {MessageKind::Video, MessageForm::Y2018},
             {MessageKind::App, MessageForm::Y2018},
             {MessageKind::File, MessageForm::Y2018},
             {MessageKind::Location, MessageForm::Y2018},
             {MessageKind::Recall, MessageForm::Service},
             {MessageKind::VerifyRequest, MessageForm::Service},
             {MessageKind::StatusNotify, MessageForm::Service},
             {MessageKind::Article, MessageForm::Service}}) {
        EXPECT_EQ(forms.count(wanted), 1u) << static_cast<int>(wanted.first);
    }
    EXPECT_EQ(english, 4);
    EXPECT_EQ(several, 1);
}

TEST(Scenario, RejectsTextThatIsNotAScenario) {
    sim::Scenario scenario;
    std::string error;
    EXPECT_FALSE(sim::ParseScenario("{\"friends\": [", ".", scenario, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(sim::ParseScenario("[1, 2]", ".", scenario, error));
    // Wrong types are refused, not crashed on.
    EXPECT_FALSE(sim::ParseScenario(R"({"friends": [{"in_init": "yes"}]})", ".", scenario, error));
}
