#include "media/MediaSend.h"

#include "media/MediaRequests.h"

namespace zelmo::media {

namespace {

constexpr std::string_view WEBWX = "/cgi-bin/mmwebwx-bin/";
// The app id the web client names for attachments.
constexpr std::string_view FILE_APP_ID = "wxeb7ec651dd0aefa9";

struct SendShape {
    std::string_view endpoint;
    std::string_view fun;
    int type = 0;
};

SendShape ShapeOf(SendAs send_as) {
    switch (send_as) {
        case SendAs::Picture:
            return {"webwxsendmsgimg", "async", 3};
        case SendAs::Video:
            return {"webwxsendvideomsg", "async", 43};
        case SendAs::File:
            return {"webwxsendappmsg", "async", 6};
        case SendAs::Emoticon:
            return {"webwxsendemoticon", "sys", 47};
    }
    return {};
}

// The ids as texts carry them, bare numbers; anything else stays a JSON string.
std::string IdJson(std::string_view id) {
    const bool digits = !id.empty() && id.find_first_not_of("0123456789") == std::string_view::npos;
    return digits ? std::string(id) : "\"" + JsonString(id) + "\"";
}

}  // namespace

std::string FileMessageXml(const UploadedMedia& media) {
    return "<appmsg appid='" + std::string(FILE_APP_ID) + "' sdkver=''><title>" +
           XmlEscape(media.name) +
           "</title><des></des><action></action><type>6</type><content></content><url></url>"
           "<lowurl></lowurl><appattach><totallen>" +
           std::to_string(media.size) + "</totallen><attachid>" + XmlEscape(media.media_id) +
           "</attachid><fileext>" + XmlEscape(media.extension) +
           "</fileext></appattach><extinfo></extinfo></appmsg>";
}

protocol::SendAnswer SendUploadedMedia(const protocol::ServiceLink& link,
                                       const protocol::ProtocolState& state, std::string_view to,
                                       const UploadedMedia& media, std::string_view client_id) {
    const SendShape shape = ShapeOf(media.send_as);
    std::string msg = R"({"Type":)" + std::to_string(shape.type);
    switch (media.send_as) {
        case SendAs::Picture:
        case SendAs::Video:
            msg += R"(,"MediaId":")" + JsonString(media.media_id) + R"(","Content":"")";
            break;
        case SendAs::Emoticon:
            msg += R"(,"EmojiFlag":2,"MediaId":")" + JsonString(media.media_id) + "\"";
            break;
        case SendAs::File:
            msg += R"(,"Content":")" + JsonString(FileMessageXml(media)) + "\"";
            if (!media.signature.empty()) {
                msg += R"(,"Signature":")" + JsonString(media.signature) + "\"";
            }
            break;
    }
    msg += R"(,"FromUserName":")" + JsonString(state.own.UserName) + R"(","ToUserName":")" +
           JsonString(to) + R"(","LocalID":)" + IdJson(client_id) + R"(,"ClientMsgId":)" +
           IdJson(client_id) + "}";
    const std::string body = "{" + BaseRequestJson(state) + R"("Msg":)" + msg + R"(,"Scene":0})";
    const std::string url = protocol::WebUrl(link.profile, state.session.fun) + std::string(WEBWX) +
                            std::string(shape.endpoint) + "?fun=" + std::string(shape.fun) +
                            "&f=json&pass_ticket=" + state.session.pass_ticket;
    const std::string answer = PostJson(link, state, url, body);
    return {AnswerRet(answer), AnswerValue(answer, "MsgID")};
}

}  // namespace zelmo::media
