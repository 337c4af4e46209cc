#include <gtest/gtest.h>

#include <vector>

#include "jobs/Backoff.h"

namespace zelmo::jobs {
namespace {

TEST(BackoffTest, DoublesFromTheFirstWaitUpToTheCapAndASuccessStartsOver) {
    Backoff backoff(SERVICE_RETRY_FIRST_MS, SERVICE_RETRY_MAX_MS);
    std::vector<int> waits;
    for (int i = 0; i < 9; ++i) {
        waits.push_back(backoff.Failed());
    }
    EXPECT_EQ(waits, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
    // However long it failed, the cap holds.
    for (int i = 0; i < 100; ++i) {
        backoff.Failed();
    }
    EXPECT_EQ(backoff.Failed(), SERVICE_RETRY_MAX_MS);
    backoff.Succeeded();
    EXPECT_EQ(backoff.Failed(), SERVICE_RETRY_FIRST_MS);
}

TEST(BackoffTest, RetryPausesBetweenFailuresAndGivesUpWhenAPauseIsCutShort) {
    std::vector<int> paused;
    int attempts = 0;
    const platform::Pause pause = [&paused](int ms) {
        paused.push_back(ms);
        return true;
    };
    EXPECT_TRUE(RetryUntilDone(pause, [&attempts] { return ++attempts == 4; }));
    EXPECT_EQ(attempts, 4);
    EXPECT_EQ(paused, (std::vector<int>{1000, 2000, 4000}));

    // The run stops during the second pause: no further attempt.
    attempts = 0;
    paused.clear();
    const platform::Pause stopping = [&paused](int ms) {
        paused.push_back(ms);
        return paused.size() < 2;
    };
    EXPECT_FALSE(RetryUntilDone(stopping, [&attempts] {
        ++attempts;
        return false;
    }));
    EXPECT_EQ(attempts, 2);
}

}  // namespace
}  // namespace zelmo::jobs
