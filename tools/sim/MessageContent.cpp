#include "sim/MessageContent.h"

#include <cstdio>

namespace sim {
namespace {

// Decodes one UTF-8 sequence at `pos`; returns its length (1 for a stray byte).
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, std::uint32_t& code_point) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead < 0xF8) {
        length = 4;
        code_point = lead & 0x07;
    } else if (lead >= 0xE0) {
        length = 3;
        code_point = lead & 0x0F;
    } else if (lead >= 0xC0) {
        length = 2;
        code_point = lead & 0x1F;
    } else {
        code_point = lead;
        return 1;
    }
    if (pos + length > text.size()) {
        code_point = lead;
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            code_point = lead;
            return 1;
        }
        code_point = (code_point << 6) | (next & 0x3F);
    }
    return length;
}

std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", value);
    return buffer;
}

std::string Attr(std::string_view name, std::string_view value) {
    return std::string(name) + "=\"" + std::string(value) + "\" ";
}

// How one message's content is shaped.
struct Shape {
    bool opaque_media = false;  // picture, voice, video as "@hex"
    bool declared = false;      // the escaped XML declaration, TAB or blank after "<br/>"
    bool flat_app = false;      // links and files without an inner "<br/>"
    bool opaque_location = false;
};

Shape ShapeOf(MessageForm form, Era era) {
    switch (form) {
        case MessageForm::Service:
            return {era == Era::Late2018, false, false, false};
        case MessageForm::Y2016:
            return {};
        case MessageForm::Y2017:
            return {false, true, false, false};
        case MessageForm::Y2018:
            return {true, false, true, true};
    }
    return {};
}

constexpr std::string_view XML_DECLARATION = "&lt;?xml version=\"1.0\"?&gt;<br/>";

// An element in the escaped XML of the legacy form, or in the 2015-2017 form with the
// declaration and the element indented by a TAB.
std::string MediaXml(std::string_view element, const std::string& attributes, bool declared) {
    if (declared) {
        return std::string(XML_DECLARATION) + "&lt;msg&gt;<br/>\t&lt;" + std::string(element) +
               " " + attributes + "/&gt;<br/>&lt;/msg&gt;<br/>";
    }
    return "&lt;msg&gt;&lt;" + std::string(element) + " " + attributes + "/&gt;&lt;/msg&gt;";
}

std::string PictureContent(const MessageParties& parties, bool declared) {
    return MediaXml(
        "img",
        Attr("aeskey", parties.hex_token.substr(0, 32)) + Attr("encryver", "0") +
            Attr("cdnthumbaeskey", parties.hex_token.substr(0, 32)) +
            Attr("cdnthumburl", "30500201000449304702010002" + parties.hex_token.substr(0, 16)) +
            Attr("cdnthumblength", "3046") + Attr("cdnthumbheight", "120") +
            Attr("cdnthumbwidth", "90") + Attr("cdnmidheight", "0") + Attr("cdnmidwidth", "0") +
            Attr("cdnhdheight", "0") + Attr("cdnhdwidth", "0") +
            Attr("cdnmidimgurl", "30500201000449304702010002" + parties.hex_token.substr(0, 16)) +
            Attr("length", "27541") + Attr("md5", parties.hex_token.substr(0, 32)),
        declared);
}

std::string VoiceContent(const MessageParties& parties) {
    return "&lt;msg&gt;&lt;voicemsg " + Attr("endflag", "1") + Attr("cancelflag", "0") +
           Attr("forwardflag", "0") + Attr("voiceformat", "4") + Attr("voicelength", "2340") +
           Attr("length", "3898") + Attr("bufid", "0") +
           Attr("clientmsgid", parties.hex_token.substr(0, 24)) +
           Attr("fromusername", parties.member.empty() ? parties.from : parties.member) +
           "/&gt;&lt;/msg&gt;";
}

std::string VideoContent(const MessageParties& parties, bool declared) {
    return MediaXml(
        "videomsg",
        Attr("aeskey", parties.hex_token.substr(0, 32)) +
            Attr("cdnthumbaeskey", parties.hex_token.substr(0, 32)) +
            Attr("cdnvideourl", "30500201000449304702010002" + parties.hex_token.substr(0, 16)) +
            Attr("length", "493210") + Attr("playlength", "2") +
            Attr("fromusername", parties.member.empty() ? parties.from : parties.member) +
            Attr("md5", parties.hex_token.substr(0, 32)),
        declared);
}

std::string StickerContent(const MessageParties& parties) {
    return "&lt;msg&gt;&lt;emoji " + Attr("fromusername", parties.from) +
           Attr("tousername", parties.to) + Attr("type", "2") + Attr("idbuffer", "media:0_0") +
           Attr("md5", parties.hex_token.substr(0, 32)) + Attr("len", "1382") +
           Attr("productid", "") +
           Attr("cdnurl",
                "http://emoji.qpic.cn/wx_emoji/" + parties.hex_token.substr(0, 40) + "/") +
           Attr("width", "240") + Attr("height", "210") +
           "&gt;&lt;/emoji&gt;&lt;gameext type=\"0\" content=\"0\"&gt;&lt;/gameext&gt;&lt;/msg&gt;";
}

std::string AppContent(const MessageSpec& incoming, int type) {
    return "&lt;msg&gt;<br/>&lt;appmsg appid=\"\" sdkver=\"0\"&gt;<br/>&lt;title&gt;" +
           MarkupText(incoming.text) +
           "&lt;/title&gt;<br/>&lt;des&gt;&lt;/des&gt;<br/>&lt;type&gt;" + std::to_string(type) +
           "&lt;/type&gt;<br/>&lt;url&gt;" + MarkupText(incoming.url) +
           "&lt;/url&gt;<br/>&lt;/appmsg&gt;<br/>&lt;/msg&gt;<br/>";
}

std::string FileAttachment(const MessageSpec& incoming) {
    const std::size_t dot = incoming.text.rfind('.');
    return "&lt;appattach&gt;&lt;totallen&gt;24576&lt;/totallen&gt;&lt;fileext&gt;" +
           (dot == std::string::npos ? std::string() : MarkupText(incoming.text.substr(dot + 1))) +
           "&lt;/fileext&gt;&lt;/appattach&gt;";
}

// The 2015-2017 form: the declaration, then each element after "<br/>" and one blank.
std::string DeclaredAppContent(const MessageSpec& incoming, int type) {
    return std::string(XML_DECLARATION) +
           "&lt;msg&gt;<br/> &lt;appmsg appid=\"\" sdkver=\"0\"&gt;<br/> &lt;title&gt;" +
           MarkupText(incoming.text) +
           "&lt;/title&gt;<br/> &lt;des&gt;&lt;/des&gt;<br/> &lt;type&gt;" + std::to_string(type) +
           "&lt;/type&gt;<br/> &lt;url&gt;" + MarkupText(incoming.url) + "&lt;/url&gt;<br/>" +
           (type == 6 ? " " + FileAttachment(incoming) + "<br/>" : "") +
           " &lt;/appmsg&gt;<br/>&lt;/msg&gt;<br/>";
}

// The 2018+ form: no "<br/>" inside; a file names the file-transfer app and ends with an
// escaped and a real "<br/>", as captured.
std::string FlatAppContent(const MessageSpec& incoming, int type) {
    if (type == 6) {
        return "&lt;msg&gt;&lt;appmsg appid=\"wx6618f1cfc6c132f8\" sdkver=\"0\"&gt;&lt;title&gt;" +
               MarkupText(incoming.text) + "&lt;/title&gt;&lt;des&gt;&lt;/des&gt;&lt;type&gt;6" +
               "&lt;/type&gt;" + FileAttachment(incoming) +
               "&lt;/appmsg&gt;&lt;/msg&gt;&lt;br/&gt;<br/>";
    }
    return "&lt;msg&gt;&lt;appmsg appid=\"\" sdkver=\"0\"&gt;&lt;title&gt;" +
           MarkupText(incoming.text) + "&lt;/title&gt;&lt;des&gt;&lt;/des&gt;&lt;type&gt;" +
           std::to_string(type) + "&lt;/type&gt;&lt;url&gt;" + MarkupText(incoming.url) +
           "&lt;/url&gt;&lt;/appmsg&gt;&lt;/msg&gt;";
}

std::string AppContentOf(const MessageSpec& incoming, int type, const Shape& shape) {
    if (shape.declared) {
        return DeclaredAppContent(incoming, type);
    }
    return shape.flat_app ? FlatAppContent(incoming, type) : AppContent(incoming, type);
}

std::string ArticleContent(const MessageSpec& incoming) {
    return "&lt;msg&gt;&lt;appmsg appid=\"\" sdkver=\"0\"&gt;&lt;title&gt;" +
           MarkupText(incoming.text) + "&lt;/title&gt;&lt;type&gt;5&lt;/type&gt;&lt;url&gt;" +
           MarkupText(incoming.url) +
           "&lt;/url&gt;&lt;/appmsg&gt;&lt;mmreader&gt;&lt;category type=\"20\" count=\"1\"&gt;"
           "&lt;item&gt;&lt;title&gt;" +
           MarkupText(incoming.text) +
           "&lt;/title&gt;&lt;/item&gt;&lt;/category&gt;&lt;/mmreader&gt;&lt;/msg&gt;";
}

std::string CardContent(const MessageParties& parties) {
    return "&lt;?xml version=\"1.0\"?&gt;<br/>&lt;msg " + Attr("bigheadimgurl", "") +
           Attr("smallheadimgurl", "") + Attr("username", parties.card_user_name) +
           Attr("nickname", MarkupText(parties.card_nick_name)) + " " + Attr("shortpy", "") +
           Attr("alias", "") + Attr("imagestatus", "3") + Attr("scene", "17") +
           Attr("province", "") + Attr("city", "") + Attr("sign", "") + Attr("sex", "1") +
           Attr("certflag", "0") + "/&gt;<br/>";
}

std::string RecallContent(const MessageParties& parties) {
    return "&lt;sysmsg type=\"revokemsg\"&gt;<br/>\t&lt;revokemsg&gt;<br/>\t\t&lt;session&gt;" +
           parties.from +
           "&lt;/session&gt;<br/>\t\t&lt;oldmsgid&gt;1000000000&lt;/oldmsgid&gt;"
           "<br/>\t\t&lt;msgid&gt;" +
           (parties.recalled_msg_id.empty() ? parties.msg_id : parties.recalled_msg_id) +
           "&lt;/msgid&gt;<br/>\t\t&lt;replacemsg&gt;&lt;![CDATA[\"" + parties.card_nick_name +
           "\" 撤回了一条消息]]&gt;&lt;/replacemsg&gt;<br/>\t&lt;/revokemsg&gt;<br/>&lt;/sysmsg&gt;"
           "<br/>";
}

std::string StatusNotifyContent(const MessageParties& parties) {
    return "&lt;msg&gt;<br/>&lt;op id='4'&gt;<br/>&lt;username&gt;" + parties.from +
           "&lt;/username&gt;<br/>&lt;unreadchatlist&gt;<br/>&lt;chat&gt;<br/>&lt;username&gt;" +
           parties.from +
           "&lt;/username&gt;<br/>&lt;/chat&gt;<br/>&lt;/unreadchatlist&gt;<br/>&lt;/op&gt;<br/>"
           "&lt;/msg&gt;";
}

}  // namespace

std::string MarkupText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::uint32_t code_point = 0;
        const std::size_t length = DecodeUtf8(utf8, pos, code_point);
        const std::string_view raw = utf8.substr(pos, length);
        pos += length;
        if (length == 4 && code_point >= 0x1F000) {
            out += "<span class=\"emoji emoji" + Hex(code_point) + "\"></span>";
            continue;
        }
        switch (code_point) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\n':
                out += "<br/>";
                break;
            case '\r':
                break;
            default:
                out += raw;
        }
    }
    return out;
}

std::string NoticeText(const MessageSpec& incoming) {
    const std::string actor = MarkupText(incoming.actor);
    std::string target = MarkupText(incoming.target);
    if (!incoming.targets.empty()) {
        // Several names share one pair of quotes. The English separator was not seen.
        target.clear();
        for (const std::string& name : incoming.targets) {
            target += (target.empty() ? "" : (incoming.english ? ", " : "、")) + MarkupText(name);
        }
    }
    if (incoming.english) {
        // The English forms seen; the other events fall back to the Chinese text.
        if (incoming.notice == "invite") {
            return actor.empty() ? "You invited " + target + " to the group chat.   "
                                 : actor + " invited " + target + " to the group chat";
        }
        if (incoming.notice == "qr_join" && !actor.empty()) {
            return "\"" + target + "\" joined the group chat via the QR Code shared by \"" + actor +
                   "\".";
        }
        if (incoming.notice == "remove") {
            return "You removed \"" + target + "\" from the group chat";
        }
    }
    if (incoming.notice == "joined") {
        return "你通过扫描二维码加入群聊，群聊参与人还有：" + target;
    }
    if (incoming.notice == "invited_you") {
        return "\"" + actor + "\"邀请你加入了群聊，群聊参与人还有：" + target;
    }
    if (incoming.notice == "invite") {
        return actor.empty() ? "你邀请\"" + target + "\"加入了群聊  "
                             : "\"" + actor + "\"邀请\"" + target + "\"加入了群聊";
    }
    if (incoming.notice == "qr_join") {
        return actor.empty() ? "\"" + target + "\"通过扫描你分享的二维码加入群聊  "
                             : "\" " + target + "\"通过扫描\"" + actor + "\"分享的二维码加入群聊";
    }
    if (incoming.notice == "remove") {
        return "你将\"" + target + "\"移出了群聊";
    }
    if (incoming.notice == "kicked") {
        return "你被\"" + actor + "\"移出群聊";
    }
    if (incoming.notice == "rename") {
        return "\"" + actor + "\"修改群名为“" + target + "”";
    }
    return MarkupText(incoming.text);
}

MessageObject BuildMessage(const MessageSpec& incoming, const MessageParties& parties, Era era) {
    MessageObject msg;
    msg.msg_id = parties.msg_id;
    msg.from = parties.from;
    msg.to = parties.to;
    msg.create_time = parties.create_time;
    const Shape shape = ShapeOf(incoming.form, era);
    const bool opaque = shape.opaque_media;
    // Group texts name the speaker; the own account's group messages do not.
    const bool from_group = parties.from.rfind("@@", 0) == 0;
    const std::string prefix =
        from_group && !parties.member.empty() ? parties.member + ":<br/>" : std::string();
    const std::string media_token = "@" + parties.hex_token;
    switch (incoming.kind) {
        case MessageKind::Text:
            msg.content = prefix + MarkupText(incoming.text);
            break;
        case MessageKind::Picture:
            msg.msg_type = 3;
            msg.img_status = 2;
            msg.img_height = 120;
            msg.img_width = 90;
            msg.content = prefix + (opaque ? media_token : PictureContent(parties, shape.declared));
            break;
        case MessageKind::Voice:
            msg.msg_type = 34;
            msg.voice_length = 2340;
            msg.content = prefix + (opaque ? media_token : VoiceContent(parties));
            break;
        case MessageKind::Video:
            msg.msg_type = 43;
            msg.play_length = 2;
            msg.img_status = 2;
            msg.content = prefix + (opaque ? media_token : VideoContent(parties, shape.declared));
            break;
        case MessageKind::Sticker:
            msg.msg_type = 47;
            msg.img_status = 2;
            msg.content = prefix + StickerContent(parties);
            break;
        case MessageKind::App:
            msg.msg_type = 49;
            msg.app_msg_type = 5;
            msg.file_name = incoming.text;
            msg.url = incoming.url;
            msg.content = prefix + AppContentOf(incoming, 5, shape);
            break;
        case MessageKind::Article:
            msg.msg_type = 49;
            msg.app_msg_type = 5;
            msg.file_name = incoming.text;
            msg.url = incoming.url;
            msg.content = ArticleContent(incoming);
            break;
        case MessageKind::File:
            msg.msg_type = 49;
            msg.app_msg_type = 6;
            msg.file_name = incoming.text;
            msg.file_size = "24576";
            msg.media_id = "@crypt_" + parties.hex_token.substr(0, 32);
            msg.content = prefix + AppContentOf(incoming, 6, shape);
            msg.encry_file_name = incoming.text;
            break;
        case MessageKind::Card:
            msg.msg_type = 42;
            msg.content = prefix + CardContent(parties);
            msg.recommend.user_name = parties.card_user_name;
            msg.recommend.nick_name = parties.card_nick_name;
            msg.recommend.scene = 17;
            msg.recommend.sex = 1;
            break;
        case MessageKind::Location: {
            // The later service put an opaque id where the short link was.
            const std::string link =
                shape.opaque_location
                    ? parties.hex_token.substr(0, 40)
                    : "http://" + parties.short_link_host + "/" + parties.hex_token.substr(0, 7);
            msg.sub_msg_type = 48;
            msg.url = "http://apis.map.qq.com/uri/v1/geocoder?coord=22.543099,114.057868";
            msg.content = prefix + MarkupText(incoming.text) +
                          ":<br/>/cgi-bin/mmwebwx-bin/webwxgetpubliclinkimg?url=" + link +
                          "&msgid=" + parties.msg_id + "&pictype=location";
            if (era == Era::Late2018) {
                msg.ori_content =
                    "<?xml version=\"1.0\"?>\n<msg>\n\t<location x=\"22.543099\" "
                    "y=\"114.057868\" scale=\"16\" label=\"" +
                    incoming.text + "\" maptype=\"0\" poiname=\"" + incoming.text +
                    "\" />\n</msg>\n";
            }
            break;
        }
        case MessageKind::VerifyRequest:
            msg.msg_type = 37;
            msg.content = "&lt;msg fromusername=\"" + parties.card_user_name +
                          "\" encryptusername=\"v1_" + parties.hex_token.substr(0, 32) +
                          "@stranger\" fromnickname=\"" + MarkupText(parties.card_nick_name) +
                          "\" content=\"" + MarkupText(incoming.text) + "\" /&gt;";
            msg.recommend.user_name = parties.card_user_name;
            msg.recommend.nick_name = parties.card_nick_name;
            msg.recommend.content = incoming.text;
            msg.recommend.scene = 30;
            msg.recommend.sex = 1;
            msg.recommend.op_code = 2;
            msg.recommend.ticket = "v2_" + parties.hex_token + "@stranger";
            msg.status_notify_code = 0;
            break;
        case MessageKind::Recall:
            msg.msg_type = 10002;
            msg.content = prefix + RecallContent(parties);
            break;
        case MessageKind::StatusNotify:
            msg.msg_type = 51;
            msg.status_notify_code = 4;
            msg.status_notify_user_name = parties.from + ",";
            msg.from = parties.own_user_name;
            msg.to = parties.from;
            msg.content = StatusNotifyContent(parties);
            break;
        case MessageKind::SystemNotice:
            msg.msg_type = 10000;
            msg.content = NoticeText(incoming);
            break;
    }
    return msg;
}

}  // namespace sim
