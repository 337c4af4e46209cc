#include "app/PluginServices.h"

#include "app/MediaDownloads.h"
#include "app/Robot.h"
#include "media/ReplyMedia.h"
#include "media/Upload.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"

namespace zelmo::app {

std::string PluginServices::SendFile(std::string_view to, std::string_view path, bool picture) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const media::SendAs send_as =
        picture ? media::SendAsFor(media::ReplyMediaKind::Picture, name) : media::SendAs::File;
    // Refused at once, so the plugin learns it; the sender checks again when its turn comes.
    std::string why =
        to.empty() ? platform::Gbk("没有收件人") : media::CheckMediaFile(path, send_as);
    if (!why.empty()) {
        const std::shared_ptr<const protocol::ProtocolState> state = m_robot.State();
        m_robot.Log().AddRow(
            platform::Gbk("[↑]未发送"), state->own.NickName, m_robot.Contacts().FindNickName(to),
            platform::Gbk("插件：") + why + platform::Gbk("：") +
                media::ReplyMediaText(media::ReplyKindOf(send_as), platform::Utf8ToGbk(name)));
        return why;
    }
    m_robot.Sender().PostFile(to, {std::string(path), send_as}, messages::SendKind::Text,
                              {messages::SendOrigin::Plugin, {}});
    return {};
}

std::string PluginServices::KeyOf(std::string_view user_name) {
    return m_robot.Keys().KeyOf(user_name);
}

std::string PluginServices::UserNameOf(std::string_view key) {
    return m_robot.Keys().UserNameOf(key);
}

std::string PluginServices::MediaOf(std::string_view item) {
    return m_robot.Media().FileOf(item, PLUGIN_MEDIA_WAIT);
}

}  // namespace zelmo::app
