#include <gtest/gtest.h>

#include <QLabel>
#include <vector>

#include "app/ui/MainWindow.h"
#include "support/OnlineRobot.h"
#include "support/gui/ViewsSupport.h"

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

// The own avatar, empty at first, is fetched again by a click, off the UI thread; the window
// only forwards the click, and the fetched header comes back through the screen port.
TEST(OwnHeaderTest, ClickOnAnEmptyAvatarFetchesItAgain) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    ASSERT_FALSE(online.Robot().State()->own.HeadImgUrl.empty());
    app::MainWindow window(online.Robot(), {});
    window.show();
    auto* avatar = window.findChild<QLabel*>(QString::fromUtf8("图片框_头像"));
    ASSERT_NE(avatar, nullptr);
    ASSERT_TRUE(avatar->pixmap().isNull());
    const std::size_t before = AvatarRequests(online.Sim()).size();
    const std::size_t shown = online.Screen().CountOf("ShowOwnHeader");

    Click(avatar);
    ASSERT_TRUE(online.Screen().WaitForCall("ShowOwnHeader", std::chrono::seconds(10), shown + 1));
    const std::vector<sim::RecordedRequest> requests = AvatarRequests(online.Sim());
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().cookie, online.Robot().State()->session.cookies);
    // Recorded as avatar bytes, "\n", nickname, "\n", signature.
    const std::string header = online.Screen().TextsOf("ShowOwnHeader").back();
    const std::string image = header.substr(0, header.rfind('\n', header.rfind('\n') - 1));
    ASSERT_FALSE(image.empty());
    window.ShowOwnHeader(image, online.Robot().State()->own.NickName, "");
    EXPECT_FALSE(avatar->pixmap().isNull());
}

}  // namespace
}  // namespace zelmo::test
