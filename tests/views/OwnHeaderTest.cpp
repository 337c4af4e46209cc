#include <gtest/gtest.h>

#include <QLabel>
#include <vector>

#include "ViewsSupport.h"
#include "app/ui/MainWindow.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

std::vector<sim::RecordedRequest> AvatarRequests(sim::Simulator& simulator) {
    std::vector<sim::RecordedRequest> found;
    for (sim::RecordedRequest& request : simulator.Requests()) {
        if (request.path.find("webwxgeticon") != std::string::npos ||
            request.path.find("webwxgetheadimg") != std::string::npos) {
            found.push_back(std::move(request));
        }
    }
    return found;
}

// The own avatar, empty at first, is fetched again by a click, off the UI thread.
TEST(OwnHeaderTest, ClickOnAnEmptyAvatarFetchesItAgain) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    ASSERT_FALSE(online.Robot().State().own.HeadImgUrl.empty());
    app::MainWindow window(online.Robot(), {});
    window.show();
    auto* avatar = window.findChild<QLabel*>(QString::fromUtf8("图片框_头像"));
    ASSERT_NE(avatar, nullptr);
    ASSERT_TRUE(avatar->pixmap().isNull());
    const std::size_t before = AvatarRequests(online.Sim()).size();

    Click(avatar);
    EXPECT_TRUE(PumpUntil([avatar] { return !avatar->pixmap().isNull(); }));
    const std::vector<sim::RecordedRequest> requests = AvatarRequests(online.Sim());
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().cookie, online.Robot().State().session.cookies);
}

}  // namespace
}  // namespace zelmo::test
