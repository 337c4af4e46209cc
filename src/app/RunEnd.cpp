#include "app/RunEnd.h"

#include <optional>
#include <string>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "messages/FileNotices.h"
#include "platform/Encoding.h"

namespace zelmo::app {

void SaveAtEnd(Robot& robot) {
    if (robot.AccountDir().empty() || robot.QuitConfirmed().load() || !robot.Knowledge().Dirty()) {
        return;
    }
    const messages::ReplyBaseSave saved =
        robot.Knowledge().Save(config::ConfigPath(robot.AccountDir(), config::REPLY_BASE_FILE));
    if (const std::optional<messages::FileNotice> notice = messages::SaveNotice(saved)) {
        robot.Screen().LogEvent("save", notice->text);
        return;
    }
    robot.Screen().LogEvent("save", "knowledge base saved to " + platform::Utf8ToGbk(saved.path));
}

}  // namespace zelmo::app
