#include "support/AnswerDiff.h"

#include <sstream>
#include <vector>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactCutReference.h"
#include "platform/Encoding.h"
#include "platform/JsonReader.h"
#include "protocol/AnswerCutReference.h"
#include "protocol/InitAnswer.h"
#include "protocol/MessageItem.h"
#include "protocol/SyncAnswer.h"

namespace zelmo::test {

namespace {

using Token = platform::JsonReader::Token;

// Collects the differences of one comparison, each with the name of what differs.
class Differences {
public:
    template <typename T>
    void Expect(const std::string& what, const T& reference, const T& read) {
        if (!(reference == read)) {
            m_text << what << ": reference [" << Show(reference) << "] read [" << Show(read)
                   << "]\n";
        }
    }
    void Note(const std::string& text) { m_text << text << "\n"; }
    std::string Text() const { return m_text.str(); }

private:
    static std::string Show(const std::string& text) { return text; }
    static std::string Show(bool value) { return value ? "true" : "false"; }
    static std::string Show(std::size_t value) { return std::to_string(value); }
    std::ostringstream m_text;
};

void CompareRecord(Differences& diff, const std::string& where,
                   const contacts::ContactRecord& reference, const contacts::ContactRecord& read) {
    diff.Expect(where + ".Uin", reference.Uin, read.Uin);
    diff.Expect(where + ".kind", reference.kind, read.kind);
    diff.Expect(where + ".NickName", reference.NickName, read.NickName);
    diff.Expect(where + ".UserName", reference.UserName, read.UserName);
    diff.Expect(where + ".Province", reference.Province, read.Province);
    diff.Expect(where + ".City", reference.City, read.City);
    diff.Expect(where + ".RemarkName", reference.RemarkName, read.RemarkName);
    diff.Expect(where + ".Alias", reference.Alias, read.Alias);
    diff.Expect(where + ".MemberCount", reference.MemberCount, read.MemberCount);
    diff.Expect(where + ".OwnerUin", reference.OwnerUin, read.OwnerUin);
    diff.Expect(where + ".members", reference.Members.size(), read.Members.size());
}

void CompareContacts(Differences& diff, std::string_view answer, std::string_view gbk) {
    const std::vector<contacts::ContactRecord> reference = contacts::reference::CutContacts(gbk);
    const std::vector<contacts::ContactRecord> read = contacts::ReadContacts(answer);
    diff.Expect("contacts", reference.size(), read.size());
    for (std::size_t i = 0; i < reference.size() && i < read.size(); ++i) {
        CompareRecord(diff, "contact " + std::to_string(i), reference[i], read[i]);
    }
}

void CompareMembers(Differences& diff, std::string_view answer, std::string_view gbk) {
    const contacts::GroupMembers reference = contacts::reference::CutGroupMembers(gbk);
    const contacts::GroupMembers read = contacts::ReadGroupMembers(answer);
    diff.Expect("MemberCount", reference.member_count, read.member_count);
    diff.Expect("OwnerUin", reference.owner_uin, read.owner_uin);
    diff.Expect("member slots", reference.members.size(), read.members.size());
    for (std::size_t i = 0; i < reference.members.size() && i < read.members.size(); ++i) {
        const std::string where = "member " + std::to_string(i);
        diff.Expect(where + ".Uin", reference.members[i].Uin, read.members[i].Uin);
        diff.Expect(where + ".UserName", reference.members[i].UserName, read.members[i].UserName);
        diff.Expect(where + ".NickName", reference.members[i].NickName, read.members[i].NickName);
    }
}

void CompareOwn(Differences& diff, const protocol::OwnProfile& reference,
                const protocol::OwnProfile& read) {
    diff.Expect("own.Uin", reference.Uin, read.Uin);
    diff.Expect("own.Sex", reference.Sex, read.Sex);
    diff.Expect("own.NickName", reference.NickName, read.NickName);
    diff.Expect("own.UserName", reference.UserName, read.UserName);
    diff.Expect("own.Signature", reference.Signature, read.Signature);
    diff.Expect("own.HeadImgUrl", reference.HeadImgUrl, read.HeadImgUrl);
}

void CompareInit(Differences& diff, std::string_view answer, std::string_view gbk) {
    const protocol::ServiceProfile profile;
    const protocol::reference::InitCut reference =
        protocol::reference::CutInitAnswer(profile, "2", gbk);
    const protocol::InitAnswer read = protocol::ReadInitAnswer(profile, "2", answer);
    // `Ret": 0` is found in "Ret": 0 of a cut answer too: only the whole decision counts.
    diff.Expect("init taken", reference.ret_ok && reference.key_ok && reference.own_ok,
                read.ret == "0" && read.sync_key && read.own);
    diff.Expect("init SyncKey taken", reference.key_ok, read.sync_key.has_value());
    if (reference.key_ok && read.sync_key) {
        diff.Expect("init SyncKey text", reference.sync_key.text, read.sync_key->text);
        diff.Expect("init SyncKey json", reference.sync_key.json, read.sync_key->json);
    }
    diff.Expect("own profile taken", reference.own_ok, read.own.has_value());
    if (reference.own_ok && read.own) {
        CompareOwn(diff, reference.own, *read.own);
    }
}

void CompareSync(Differences& diff, std::string_view answer, std::string_view gbk) {
    const protocol::reference::SyncCut reference = protocol::reference::CutSyncAnswer(gbk);
    const protocol::SyncAnswer read = protocol::ReadSyncAnswer(answer);
    diff.Expect("sync Ret", reference.ret, read.ret);
    diff.Expect("sync complete", reference.key_ok, read.complete);
    if (!reference.key_ok || !read.complete) {
        // A cut answer: the reader refuses it whole, so nothing of it is compared.
        return;
    }
    diff.Expect("sync SyncKey text", reference.sync_key.text, read.sync_key.text);
    diff.Expect("sync SyncKey json", reference.sync_key.json, read.sync_key.json);
    diff.Expect("changed contact", reference.changed_contact, read.changed_contact);
    diff.Expect("messages", reference.items.size(), read.messages.size());
    for (std::size_t i = 0; i < reference.items.size() && i < read.messages.size(); ++i) {
        const protocol::reference::MessageCut cut =
            protocol::reference::CutMessageItem(reference.items[i]);
        const protocol::MessageItem item = protocol::ReadMessageItem(read.messages[i].text);
        const std::string where = "message " + std::to_string(i);
        diff.Expect(where + ".FromUserName", cut.FromUserName, item.FromUserName);
        diff.Expect(where + ".ToUserName", cut.ToUserName, item.ToUserName);
        diff.Expect(where + ".Content", cut.Content, item.Content);
        diff.Expect(where + ".MsgId", item.MsgId, read.messages[i].msg_id);
    }
}

}  // namespace

std::string DiffAnswer(std::string_view answer) {
    const std::string gbk = platform::Utf8ToGbk(answer);
    Differences diff;
    CompareContacts(diff, answer, gbk);
    CompareMembers(diff, answer, gbk);
    CompareInit(diff, answer, gbk);
    CompareSync(diff, answer, gbk);
    return diff.Text();
}

std::string CheckReadBounds(std::string_view answer) {
    Differences over;
    std::size_t braces = 0;
    for (const char c : answer) {
        braces += c == '{' ? 1 : 0;
    }
    const auto check_text = [&](const std::string& what, const std::string& text) {
        if (text.size() > answer.size()) {
            over.Note(what + " longer than the answer");
        }
    };
    const std::vector<contacts::ContactRecord> records = contacts::ReadContacts(answer);
    if (records.size() > braces) {
        over.Note("more contacts than objects");
    }
    for (const contacts::ContactRecord& record : records) {
        for (const std::string* text :
             {&record.Uin, &record.NickName, &record.UserName, &record.Province, &record.City,
              &record.RemarkName, &record.Alias, &record.MemberCount, &record.OwnerUin}) {
            check_text("a contact field", *text);
        }
    }
    const contacts::GroupMembers members = contacts::ReadGroupMembers(answer);
    if (members.members.size() > contacts::MAX_MEMBER_SLOTS) {
        over.Note("more member slots than allowed");
    }
    for (const contacts::MemberRecord& member : members.members) {
        check_text("a member field", member.NickName);
        check_text("a member field", member.UserName);
    }
    const protocol::SyncAnswer sync = protocol::ReadSyncAnswer(answer);
    if (sync.messages.size() > braces) {
        over.Note("more messages than objects");
    }
    std::size_t item_bytes = 0;
    for (const protocol::SyncItem& item : sync.messages) {
        item_bytes += item.text.size();
        const protocol::MessageItem fields = protocol::ReadMessageItem(item.text);
        check_text("a message field", fields.Content);
        check_text("a message field", fields.FromUserName);
    }
    if (item_bytes > answer.size()) {
        over.Note("message items longer than the answer");
    }
    check_text("the SyncKey", sync.sync_key.json);
    const protocol::InitAnswer init = protocol::ReadInitAnswer({}, "", answer);
    if (init.own) {
        check_text("the own nickname", init.own->NickName);
    }
    return over.Text();
}

namespace {

// The objects the service writes, by where they stand (the keys on the way there, array
// elements under their array's key) and their keys in order, each with the kind of its
// value: "$" string, "#" number, "{" object, "[" array of objects. Eras add keys at the
// end of contacts and messages.
constexpr std::string_view CONTACT =
    "Uin#,UserName$,NickName$,HeadImgUrl$,ContactFlag#,MemberCount#,MemberList[,RemarkName$,"
    "HideInputBarFlag#,Sex#,Signature$,VerifyFlag#,OwnerUin#,PYInitial$,PYQuanPin$,"
    "RemarkPYInitial$,RemarkPYQuanPin$,StarFriend#,AppAccountFlag#,Statues#,AttrStatus#,"
    "Province$,City$,Alias$,SnsFlag#,UniFriend#,DisplayName$,ChatRoomId#,KeyWord$";
constexpr std::string_view MEMBER =
    "Uin#,UserName$,NickName$,AttrStatus#,PYInitial$,PYQuanPin$,RemarkPYInitial$,"
    "RemarkPYQuanPin$,MemberStatus#,DisplayName$,KeyWord$";
constexpr std::string_view MESSAGE =
    "MsgId$,FromUserName$,ToUserName$,MsgType#,Content$,Status#,ImgStatus#,CreateTime#,"
    "VoiceLength#,PlayLength#,FileName$,FileSize$,MediaId$,Url$,AppMsgType#,"
    "StatusNotifyCode#,StatusNotifyUserName$,RecommendInfo{,ForwardFlag#,AppInfo{,"
    "HasProductId#,Ticket$,ImgHeight#,ImgWidth#,SubMsgType#,NewMsgId#";
constexpr std::string_view SYNC_TOP =
    "BaseResponse{,AddMsgCount#,AddMsgList[,ModContactCount#,ModContactList[,"
    "DelContactCount#,DelContactList[,ModChatRoomMemberCount#,ModChatRoomMemberList[,"
    "Profile{,ContinueFlag#,SyncKey{,SKey$";

struct Schema {
    std::string_view path;
    std::string keys;
};

const std::vector<Schema>& Schemas() {
    static const std::vector<Schema> schemas = [] {
        const std::string contact(CONTACT);
        const std::string message(MESSAGE);
        const std::string sync_top(SYNC_TOP);
        std::vector<Schema> list = {
            {"",
             "BaseResponse{,Count#,ContactList[,SyncKey{,User{,ChatSet$,SKey$,"
             "ClientVersion#,SystemTime#,GrayScale#,InviteStartCount#,"
             "MPSubscribeMsgCount#,MPSubscribeMsgList[,ClickReportInterval#"},
            {"", "BaseResponse{,MemberCount#,MemberList[,Seq#"},
            {"", "BaseResponse{,Seq#,MemberCount#,MemberList["},
            {"", "BaseResponse{,Count#,ContactList["},
            {"", sync_top},
            {"", sync_top + ",SyncCheckKey{"},
            {"", "BaseResponse{"},
            {"", "BaseResponse{,MsgID$"},
            {"", "BaseResponse{,MsgID$,LocalID$"},
            {"BaseResponse", "Ret#,ErrMsg$"},
            {"SyncKey", "Count#,List["},
            {"SyncKey.List", "Key#,Val#"},
            {"SyncCheckKey", "Count#,List["},
            {"SyncCheckKey.List", "Key#,Val#"},
            {"User",
             "Uin#,UserName$,NickName$,HeadImgUrl$,RemarkName$,PYInitial$,PYQuanPin$,"
             "RemarkPYInitial$,RemarkPYQuanPin$,HideInputBarFlag#,StarFriend#,Sex#,"
             "Signature$,AppAccountFlag#,VerifyFlag#,ContactFlag#,WebWxPluginSwitch#,"
             "HeadImgFlag#,SnsFlag#"},
            {"ContactList.MemberList", std::string(MEMBER)},
            {"MemberList.MemberList", std::string(MEMBER)},
            {"ModContactList.MemberList", std::string(MEMBER)},
            {"AddMsgList", message},
            {"AddMsgList", message + ",MD5$"},
            {"AddMsgList", message + ",OriContent$"},
            {"AddMsgList", message + ",OriContent$,EncryFileName$"},
            {"AddMsgList.RecommendInfo",
             "UserName$,NickName$,QQNum#,Province$,City$,Content$,Signature$,Alias$,Scene#,"
             "VerifyFlag#,AttrStatus#,Sex#,Ticket$,OpCode#"},
            {"AddMsgList.AppInfo", "AppID$,Type#"},
            {"ModContactList",
             "UserName$,NickName$,Sex#,HeadImgUpdateFlag#,ContactType#,Alias$,ChatRoomOwner$,"
             "HeadImgUrl$,ContactFlag#,MemberCount#,MemberList[,HideInputBarFlag#,Signature$,"
             "VerifyFlag#,RemarkName$,Statues#,AttrStatus#,Province$,City$,SnsFlag#,KeyWord$"},
            {"DelContactList", "UserName$,ContactFlag#"},
            {"Profile",
             "BitFlag#,UserName{,NickName{,BindUin#,BindEmail{,BindMobile{,Status#,"
             "Sex#,PersonalCard#,Alias$,HeadImgUpdateFlag#,HeadImgUrl$,Signature$"},
            {"Profile.UserName", "Buff$"},
            {"Profile.NickName", "Buff$"},
            {"Profile.BindEmail", "Buff$"},
            {"Profile.BindMobile", "Buff$"},
        };
        for (const std::string_view path : {"ContactList", "MemberList"}) {
            list.push_back({path, contact});
            list.push_back({path, contact + ",EncryChatRoomId$"});
            list.push_back({path, contact + ",EncryChatRoomId$,IsOwner#"});
        }
        return list;
    }();
    return schemas;
}

bool KnownObject(std::string_view path, std::string_view keys) {
    for (const Schema& schema : Schemas()) {
        if (schema.path == path && schema.keys == keys) {
            return true;
        }
    }
    return false;
}

// Writes the tokens of a document in the service's layout (the rules of its serializer, as
// the simulator's writer follows them) and tells whether that gives the bytes back and
// every object is one the service writes.
class LayoutCheck {
public:
    explicit LayoutCheck(std::string_view bytes) : m_bytes(bytes) {}

    bool Run() {
        platform::JsonReader reader(m_bytes);
        if (reader.Next() != Token::ObjectStart) {
            return false;
        }
        m_out = "{\n";
        m_frames.push_back({});
        m_open.push_back({Open::Object, ""});
        for (;;) {
            const Token token = reader.Next();
            if (token == Token::End) {
                return m_out == reader.Bytes() && reader.Bytes().size() == m_bytes.size();
            }
            if (!Step(reader, token) || m_out.size() > m_bytes.size()) {
                return false;
            }
        }
    }

private:
    enum class Last { None, Value, Object };
    enum class Open { Object, Array, Element };
    // A writer's frame: an object, or an array whose elements write into it.
    struct Frame {
        bool has_element = false;
        Last last = Last::None;
    };
    // An open container: where it stands and the keys it held so far.
    struct Container {
        Open open;
        std::string path;
        std::string keys;
    };

    void BeginMember(std::string_view key) {
        Frame& frame = m_frames.back();
        m_out += frame.last == Last::Object ? "\n,\n" : frame.last == Last::Value ? ",\n" : "";
        m_out.append("\"").append(key).append("\": ");
    }

    // The object the next member goes to notes its key and the kind of value.
    void NoteKey(char kind) {
        for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
            if (it->open != Open::Array) {
                it->keys.append(it->keys.empty() ? "" : ",").append(m_key).push_back(kind);
                return;
            }
        }
    }

    std::string ChildPath() const {
        const std::string& parent = m_open.back().path;
        return parent.empty() ? m_key : parent + "." + m_key;
    }

    // A string must not hold what the reference's patterns take for structure, nor, where it
    // is a token cut up to a quote, an escape. The contact pattern ends at the first "}"
    // after "ChatRoomId": one in a later text of a contact cut off there ends it early.
    bool StringAllowed(std::string_view raw) const {
        const std::string gbk = platform::Utf8ToGbk(raw);
        if (gbk.find("ChatRoomId") != std::string::npos) {
            return false;
        }
        if ((m_key == "KeyWord" || m_key == "EncryChatRoomId") &&
            gbk.find('}') != std::string::npos) {
            return false;
        }
        const bool token = m_key == "UserName" || m_key == "FromUserName" ||
                           m_key == "ToUserName" || m_key == "HeadImgUrl" || m_key == "MsgId";
        return !token || raw.find('\\') == std::string_view::npos;
    }

    bool Step(platform::JsonReader& reader, Token token) {
        switch (token) {
            case Token::Key:
                if (m_open.back().open == Open::Array || m_pending_array) {
                    return false;
                }
                m_key = std::string(reader.Text());
                return true;
            case Token::String:
            case Token::Scalar:
                if (m_open.back().open == Open::Array || m_pending_array) {
                    return false;  // arrays hold objects only
                }
                if (token == Token::String && !StringAllowed(reader.Text())) {
                    return false;
                }
                NoteKey(token == Token::String ? '$' : '#');
                BeginMember(m_key);
                m_out += reader.ValueBytes();
                m_frames.back().last = Last::Value;
                return true;
            case Token::ObjectStart:
                if (m_pending_array) {
                    NoteKey('[');
                    BeginMember(m_key);
                    m_out += '[';
                    m_frames.push_back({});
                    m_open.push_back({Open::Array, ChildPath(), {}});
                    m_pending_array = false;
                }
                if (m_open.back().open == Open::Array) {
                    Frame& frame = m_frames.back();
                    m_out += frame.has_element ? "\n}\n,{\n" : "{\n";
                    frame.has_element = true;
                    frame.last = Last::None;
                    m_open.push_back({Open::Element, m_open.back().path, {}});
                    return true;
                }
                NoteKey('{');
                BeginMember(m_key);
                m_out += "{\n";
                m_frames.push_back({});
                m_open.push_back({Open::Object, ChildPath(), {}});
                return true;
            case Token::ArrayStart:
                if (m_open.back().open == Open::Array || m_pending_array) {
                    return false;
                }
                m_pending_array = true;
                return true;
            case Token::ArrayEnd:
                if (m_pending_array) {
                    NoteKey('[');
                    BeginMember(m_key);
                    m_out += "[]";
                    m_frames.back().last = Last::Value;
                    m_pending_array = false;
                    return true;
                }
                m_out += m_frames.back().has_element ? "\n}\n]" : "]";
                m_frames.pop_back();
                m_open.pop_back();
                m_frames.back().last = Last::Value;
                return true;
            case Token::ObjectEnd: {
                const Container closed = std::move(m_open.back());
                m_open.pop_back();
                if (!KnownObject(closed.path, closed.keys)) {
                    return false;
                }
                if (closed.open == Open::Element) {
                    return true;
                }
                m_frames.pop_back();
                m_out += m_frames.empty() ? "\n}\n" : "\n}";
                if (!m_frames.empty()) {
                    m_frames.back().last = Last::Object;
                }
                return true;
            }
            default:
                return false;
        }
    }

    std::string_view m_bytes;
    std::string m_out;
    std::string m_key;
    bool m_pending_array = false;  // an array opened whose first element is still to come
    std::vector<Frame> m_frames;
    std::vector<Container> m_open;
};

}  // namespace

bool InServiceLayout(std::string_view answer) {
    return LayoutCheck(answer).Run();
}

namespace {

// Bytes handed out one by one, then zeros.
class ByteSource {
public:
    explicit ByteSource(std::string_view bytes) : m_bytes(bytes) {}
    unsigned char Next() {
        return m_pos < m_bytes.size() ? static_cast<unsigned char>(m_bytes[m_pos++]) : 0;
    }
    std::string_view Take(std::size_t count) {
        const std::string_view taken = m_bytes.substr(std::min(m_pos, m_bytes.size()), count);
        m_pos += taken.size();
        return taken;
    }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

// Writes an answer of the schemas above in the service's layout, each choice and value
// taken from the bytes: which answer, which era of an object, how many elements, numbers,
// and the texts themselves (escaped as the service escapes them).
class LayoutWriter {
public:
    explicit LayoutWriter(std::string_view bytes) : m_source(bytes) {}

    std::string Answer() {
        m_out = "{\n";
        WriteMembers("", Choose(""));
        m_out += "\n}\n";
        return std::move(m_out);
    }

private:
    std::string_view Choose(std::string_view path) {
        std::vector<std::string_view> variants;
        for (const Schema& schema : Schemas()) {
            if (schema.path == path) {
                variants.push_back(schema.keys);
            }
        }
        return variants.empty() ? std::string_view() : variants[m_source.Next() % variants.size()];
    }

    void WriteMembers(const std::string& path, std::string_view keys) {
        bool first = true;
        bool after_object = false;
        while (!keys.empty()) {
            const std::size_t comma = keys.find(',');
            const std::string_view entry = keys.substr(0, comma);
            keys = comma == std::string_view::npos ? std::string_view() : keys.substr(comma + 1);
            const std::string key(entry.substr(0, entry.size() - 1));
            const char kind = entry.back();
            m_out += first ? "" : after_object ? "\n,\n" : ",\n";
            first = false;
            m_out.append("\"").append(key).append("\": ");
            const std::string child = path.empty() ? key : path + "." + key;
            after_object = kind == '{';
            if (kind == '$') {
                m_out += "\"" + Text(key) + "\"";
            } else if (kind == '#') {
                m_out += Number(key);
            } else if (kind == '{') {
                m_out += "{\n";
                WriteMembers(child, Choose(child));
                m_out += "\n}";
            } else {
                WriteArray(child);
            }
        }
    }

    void WriteArray(const std::string& path) {
        const std::size_t elements = Choose(path).empty() ? 0 : m_source.Next() % 4;
        if (elements == 0) {
            m_out += "[]";
            return;
        }
        m_out += "[";
        for (std::size_t i = 0; i < elements; ++i) {
            m_out += i == 0 ? "{\n" : "\n}\n,{\n";
            WriteMembers(path, Choose(path));
        }
        m_out += "\n}\n]";
    }

    std::string Number(const std::string& key) {
        const unsigned char byte = m_source.Next();
        if (key == "Ret") {
            return byte < 200 ? "0" : std::to_string(byte);
        }
        if (key == "Sex" || key.ends_with("Count")) {
            return std::to_string(byte % 4);
        }
        return std::to_string(byte % 2 == 0 ? byte : byte * 99991);
    }

    // Tokens stay plain, as the service writes them; texts carry any bytes.
    std::string Text(const std::string& key) {
        static constexpr char HEX[] = "0123456789abcdef";
        if (key == "UserName" || key == "FromUserName" || key == "ToUserName") {
            std::string token = m_source.Next() % 3 == 0 ? "@@" : "@";
            for (int i = 0; i < 8; ++i) {
                token += HEX[m_source.Next() % 16];
            }
            return token;
        }
        if (key == "MsgId" || key == "HeadImgUrl") {
            return key == "MsgId" ? std::to_string(m_source.Next() * 1000003ULL) : "/h?x=1";
        }
        std::string text;
        for (const char c : m_source.Take(m_source.Next() % 24)) {
            if (c == '"' || c == '\\') {
                text += '\\';
                text += c;
            } else if (c == '\n') {
                text += "\\n";
            } else if (static_cast<unsigned char>(c) < 0x20) {
                text += "\\u00";
                text += HEX[(c >> 4) & 15];
                text += HEX[c & 15];
            } else {
                text += c;
            }
        }
        return text;
    }

    ByteSource m_source;
    std::string m_out;
};

}  // namespace

std::string WriteLayoutAnswer(std::string_view bytes) {
    return LayoutWriter(bytes).Answer();
}

}  // namespace zelmo::test
