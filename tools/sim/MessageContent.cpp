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

std::string PictureContent(const MessageParties& parties) {
    return "&lt;msg&gt;&lt;img " + Attr("aeskey", parties.hex_token.substr(0, 32)) +
           Attr("encryver", "0") + Attr("cdnthumbaeskey", parties.hex_token.substr(0, 32)) +
           Attr("cdnthumburl", "30500201000449304702010002" + parties.hex_token.substr(0, 16)) +
           Attr("cdnthumblength", "3046") + Attr("cdnthumbheight", "120") +
           Attr("cdnthumbwidth", "90") + Attr("cdnmidheight", "0") + Attr("cdnmidwidth", "0") +
           Attr("cdnhdheight", "0") + Attr("cdnhdwidth", "0") +
           Attr("cdnmidimgurl", "30500201000449304702010002" + parties.hex_token.substr(0, 16)) +
           Attr("length", "27541") + Attr("md5", parties.hex_token.substr(0, 32)) +
           "/&gt;&lt;/msg&gt;";
}

std::string VoiceContent(const MessageParties& parties) {
    return "&lt;msg&gt;&lt;voicemsg " + Attr("endflag", "1") + Attr("cancelflag", "0") +
           Attr("forwardflag", "0") + Attr("voiceformat", "4") + Attr("voicelength", "2340") +
           Attr("length", "3898") + Attr("bufid", "0") +
           Attr("clientmsgid", parties.hex_token.substr(0, 24)) +
           Attr("fromusername", parties.member.empty() ? parties.from : parties.member) +
           "/&gt;&lt;/msg&gt;";
}

std::string VideoContent(const MessageParties& parties) {
    return "&lt;msg&gt;&lt;videomsg " + Attr("aeskey", parties.hex_token.substr(0, 32)) +
           Attr("cdnthumbaeskey", parties.hex_token.substr(0, 32)) +
           Attr("cdnvideourl", "30500201000449304702010002" + parties.hex_token.substr(0, 16)) +
           Attr("length", "493210") + Attr("playlength", "2") +
           Attr("fromusername", parties.member.empty() ? parties.from : parties.member) +
           Attr("md5", parties.hex_token.substr(0, 32)) + "/&gt;&lt;/msg&gt;";
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
           parties.msg_id + "&lt;/msgid&gt;<br/>\t\t&lt;replacemsg&gt;&lt;![CDATA[\"" +
           parties.card_nick_name +
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
    const std::string target = MarkupText(incoming.target);
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
    const bool late = era == Era::Late2018;
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
            msg.content = prefix + (late ? media_token : PictureContent(parties));
            break;
        case MessageKind::Voice:
            msg.msg_type = 34;
            msg.voice_length = 2340;
            msg.content = prefix + (late ? media_token : VoiceContent(parties));
            break;
        case MessageKind::Video:
            msg.msg_type = 43;
            msg.play_length = 2;
            msg.img_status = 2;
            msg.content = prefix + (late ? media_token : VideoContent(parties));
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
            msg.content = prefix + AppContent(incoming, 5);
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
            msg.content = prefix + AppContent(incoming, 6);
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
            const std::string link =
                "http://" + parties.short_link_host + "/" + parties.hex_token.substr(0, 7);
            msg.sub_msg_type = 48;
            msg.url = "http://apis.map.qq.com/uri/v1/geocoder?coord=22.543099,114.057868";
            msg.content = prefix + MarkupText(incoming.text) +
                          ":<br/>/cgi-bin/mmwebwx-bin/webwxgetpubliclinkimg?url=" + link +
                          "&msgid=" + parties.msg_id + "&pictype=location";
            if (late) {
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
