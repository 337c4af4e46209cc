#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

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
