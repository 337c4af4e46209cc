#include "messages/Sending.h"

#include <mutex>
#include <utility>

#include "platform/GbkText.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view SEND_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsendmsg?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";
constexpr std::string_view SEND_BODY =
    R"({"BaseRequest":{"Uin":{uin},"Sid":"{sid}","Skey":"@{skey}","DeviceID":"{deviceid}"},)"
    R"("Msg":{"FromUserName":"{from}","ToUserName":"{to}","Type":1,"Content":"{message}",)"
    R"("ClientMsgId":{time},"LocalID":{time}}})";

}  // namespace

std::string ExpandOutgoing(std::string_view text, std::string_view robot_name) {
    const std::string named = platform::ReplaceAllGbk(text, "[mkname]", robot_name, true);
    return platform::ReplaceAllGbk(named, "[enter]", "\r\n", true);
}

std::string PostSendMsg(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                        std::string_view to, std::string_view text) {
    // The template is filled in one pass, so words in the message that look like
    // placeholders are never expanded; escaping keeps the message one JSON string.
    const std::string message = protocol::JsonEscape(text);
    protocol::CallValues call;
    call.from = state.own.UserName;
    call.to = to;
    call.message = message;
    const std::string answer = protocol::PostToWebHost(link, state, SEND_PATH, SEND_BODY, call);
    return protocol::ExtractBetween(answer, "Ret\": ", ",");
}

Sender::Sender(protocol::ServiceLink link, const protocol::SessionStore& sessions,
               const config::SettingsStore& settings, platform::Pause pause)
    : m_link(link), m_sessions(sessions), m_settings(settings), m_pause(std::move(pause)) {}

void Sender::SetSessionEndListener(std::function<void()> listener) {
    m_session_ended = std::move(listener);
}

std::string Sender::SendText(std::string_view to, std::string_view text) {
    const std::string expanded = ExpandOutgoing(text, m_settings.Get()->机器人姓名);
    std::lock_guard lock(m_send_lock);
    std::string ret = PostSendMsg(m_link, *m_sessions.Snapshot(), to, expanded);
    if ((ret == "1100" || ret == "1101") && m_session_ended) {
        m_session_ended();
    }
    m_pause(SEND_PAUSE_MS);
    return ret;
}

}  // namespace zelmo::messages
