#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// Which service generation the answers imitate.
// Early2016: "<message>OK</message>", escaped-XML media contents, no SyncCheckKey.
// Late2018: empty <message>, "@hex" media contents, SyncCheckKey, 2017+ key tails.
enum class Era { Early2016, Late2018 };

enum class FaultKind {
    None,
    Delay,          // wait delay_ms, then answer normally
    Reset,          // close the connection with a TCP reset, no answer
    Empty200,       // 200 with an empty body
    Http500,        // 500 with a short body
    TruncatedGzip,  // the real answer, gzipped, cut in half, "Content-Encoding: gzip"
    InvalidGzip,    // "Content-Encoding: gzip" over bytes that are not gzip
    Garbage,        // 200 with random bytes
    Huge,           // 200 with huge_bytes of filler
    // 200 with the real answer (Ret 0) ending right before its "SyncKey" (halfway when it
    // has none): well framed and, where the client accepts it, a complete gzip stream.
    CutBeforeSyncKey,
    // The real answer announced whole (Content-Length) but only its first half sent before
    // the connection closes: a download cut off.
    CutBody,
};

// A fault for every request whose path contains the key it is set under (a key holding a
// "?" is matched against the path, "?" and the query, so "/?lang=" names the home page).
// Faults other than Delay and TruncatedGzip answer before the request is processed (no
// side effects).
struct Fault {
    FaultKind kind = FaultKind::None;
    int delay_ms = 0;
    bool sticky = false;  // false: used up after `times` matching requests
    int times = 1;
    std::size_t huge_bytes = 8u << 20;
};

enum class MessageKind {
    Text,           // friend text; in a group "@member:<br/>text"
    Picture,        // 3
    Voice,          // 34
    Video,          // 43
    Sticker,        // 47
    App,            // 49, link (AppMsgType 5)
    Article,        // 49, public-account article (category)
    File,           // 49, AppMsgType 6
    Card,           // 42
    Location,       // 1 with SubMsgType 48 and the short link
    VerifyRequest,  // 37, RecommendInfo.Ticket "v2_..."
    Recall,         // 10002
    StatusNotify,   // 51
    SystemNotice,   // 10000 plain text from a group
};

// Which generation's content shapes a message takes.
// Service: as the simulator's era has always written them (Early2016: escaped XML without
// a declaration; Late2018: "@hex" media, the other kinds as in Early2016).
// Y2016: the Early2016 shapes. Y2017: the 2015-2017 captures (picture, video and links
// start with the escaped XML declaration, a TAB or a blank after "<br/>").
// Y2018: the 2018+ captures ("@hex" media, links and files without an inner "<br/>",
// locations without a short link).
enum class MessageForm { Service, Y2016, Y2017, Y2018 };

// One incoming message. Contacts are named by scenario id, NickName or UserName; "self"
// is the own account.
struct MessageSpec {
    MessageKind kind = MessageKind::Text;
    std::string from;    // sender, or the group for group messages
    std::string member;  // speaking member inside a group (empty: none)
    std::string to;      // empty: the own account
    std::string text;    // UTF-8; title for App/Article/File, place for Location
    std::string url;     // App/Article link
    // SystemNotice: "invite", "qr_join", "remove", "kicked", "rename", "joined" (the own
    // account joined by QR code), "invited_you" build the service's text from actor and
    // target; empty uses `text` verbatim.
    std::string notice;
    std::string actor;
    std::string target;
    MessageForm form = MessageForm::Service;
    // SystemNotice: several invitees (or the other participants), joined with "、" inside
    // one pair of quotes; replaces `target` when not empty.
    std::vector<std::string> targets;
    bool english = false;  // SystemNotice: the English wording where the service had one
};

// Many messages queued at a steady rate (soak tests, benchmarks). "{n}" in a text is the
// message's 1-based number.
struct BulkMessages {
    MessageSpec message;
    std::vector<std::string> senders;  // taken in turn instead of message.from when given
    std::size_t count = 0;
    double per_second = 0;  // <= 0: all at once
    // Every special_every-th message (k, 2k, ...) carries special_text instead: a learning
    // command or a keyword a reply is due for. 0: none.
    std::size_t special_every = 0;
    std::string special_text;
};

// One message the simulator has put into the news, and what became of it.
struct DeliveryRecord {
    std::string msg_id;
    std::string from;  // UserName
    std::string text;  // the text it was made from (UTF-8), "{n}" replaced
    bool special = false;
    std::int64_t queued_ms = 0;            // since Start()
    std::int64_t first_delivered_ms = -1;  // first webwxsync answer that carried it
    int deliveries = 0;                    // webwxsync answers that carried it
    std::int64_t used_up_ms = -1;          // a webwxsync sent the SyncKey that followed it
};

// A contact as the scenario and ChangeContact describe it. Unset numbers keep defaults.
struct ContactSpec {
    std::string id;         // scenario handle; defaults to NickName
    std::string user_name;  // generated when empty ("@..." or "@@..." for groups)
    std::string nick_name;  // UTF-8
    std::string remark_name;
    std::string signature;
    std::string province;
    std::string city;
    std::string alias;
    int sex = 1;           // any number; 0 for public accounts
    int verify_flag = 0;   // 8/24/56 for public accounts
    int contact_flag = 1;  // 1 friend, 2 group, 3 public
    bool is_group = false;
    bool in_init = false;              // listed in the webwxinit ContactList
    std::vector<ContactSpec> members;  // groups only
    std::int64_t owner_uin = 0;
    std::int64_t uin = 0;
};

struct ContactInfo {
    std::string id;
    std::string user_name;
    std::string nick_name;
    bool is_group = false;
};

struct RecordedRequest {
    std::string method;  // exactly as received ("post" stays lowercase)
    std::string host;    // Host header without port
    std::string sni;     // TLS server name
    std::string path;
    std::string query;  // raw, without "?"
    std::string body;   // its first 64 KiB
    std::size_t body_size = 0;
    std::string cookie;                                        // Cookie header, empty when absent
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    std::int64_t at_ms = 0;                                    // since Start()
};

struct SentMessage {
    std::string from;
    std::string to;
    std::string content;  // as decoded from the JSON body (UTF-8)
    int type = 0;
    std::string client_msg_id;
    std::string local_id;
    int ret = 0;  // what the service answered
    std::int64_t at_ms = 0;
    std::string msg_id;    // the MsgID the service answered; empty when it refused
    bool revoked = false;  // taken back by webwxrevokemsg
};

// One upload the service took (or refused) in chunks.
struct UploadRecord {
    std::string client_media_id;
    std::string media_id;    // given with the last chunk; empty until then or when refused
    std::string name;        // the form's file name
    std::string type;        // the form's MIME type
    std::string media_type;  // pic, video or doc
    std::string to;
    std::uint64_t size = 0;
    std::size_t chunks = 0;  // the chunks the form names (1 without the chunk fields)
    std::size_t chunks_received = 0;
    std::string file_md5;  // as the request stated it
    // MD5 of the bytes received, computed when the uploads are listed; empty before the
    // upload completed, and when its bytes were dropped (beyond 64 MiB kept) unlisted.
    std::string bytes_md5;
    bool checked = false;  // a check-upload came first; the upload carried its signature
    bool failed = false;   // a chunk was refused; the upload ended there
};

// One media message the robot sent.
struct MediaSendRecord {
    std::string endpoint;  // webwxsendmsgimg, webwxsendvideomsg, webwxsendappmsg, webwxsendemoticon
    int type = 0;
    std::string from;
    std::string to;
    std::string media_id;
    std::string content;    // a file's appmsg XML
    std::string signature;  // a file's, after a check-upload
    std::string client_msg_id;
    std::string local_id;
    std::string file_name;  // of the upload the MediaId names
    std::uint64_t size = 0;
    int ret = 0;
    std::int64_t at_ms = 0;
    std::string msg_id;    // the MsgID the service answered; empty when it refused
    bool revoked = false;  // taken back by webwxrevokemsg
};

struct SessionInfo {
    std::string uuid;
    std::string fun;  // host variant of the session ("" primary)
    std::string uin;
    std::string sid;
    std::string skey;         // with the leading "@"
    std::string pass_ticket;  // as written in the redirect XML (URL-encoded)
    std::string data_ticket;
    std::string user_name;  // own account
    std::string device_id;  // the first one the client sent
    bool logged_in = false;
    // 0 alive, 1100 logged out, 1101 invalid (also: replaced by a newer login), 1102 cookie
    // invalid.
    int ended_retcode = 0;
    bool desktop = false;  // logged in by a desktop-mode cycle
};

// The login side: the current cycle and what the phone was asked.
struct LoginInfo {
    std::string uuid;
    bool desktop = false;       // the current cycle's jslogin asked for desktop mode
    bool push_cycle = false;    // the current cycle was started by webwxpushloginurl
    bool push_pending = false;  // a push waits for the phone's confirmation
    int pushes = 0;             // pushes accepted (a uuid given)
    int push_refusals = 0;      // pushes answered without a uuid
    int logins = 0;             // logins completed by the redirect
    int web_refusals = 0;       // web-mode redirects answered 1203
};

// One scripted answer of the model endpoint ("/v1/chat/completions").
struct ModelScript {
    std::string match;  // the last user turn holds it (UTF-8); empty: any question
    std::string model;  // the request names exactly this model; empty: any
    int status = 200;
    std::string content;        // the answer (UTF-8)
    bool null_content = false;  // content null, with `refusal` beside it
    std::string refusal;
    // When set, the body sent as it stands (HTML, plain text, a broken object) under
    // content_type, instead of the answer or error object the status calls for.
    std::string body;
    std::string content_type = "application/json";
    int delay_ms = 0;        // a stall before the answer; it ends early when the simulator stops
    int retry_after_s = -1;  // sent as "Retry-After" when >= 0
    int prompt_tokens = -1;  // usage; -1 counts characters
    int completion_tokens = -1;
    std::string finish_reason = "stop";
    int times = 1;  // answers so many matching requests; 0 or less: until cleared
};

// What the model endpoint was asked.
struct ModelCall {
    std::string model;
    std::vector<std::pair<std::string, std::string>> messages;  // role, content; in order
    std::string stream;         // the "stream" value as written; empty when absent
    long long max_tokens = -1;  // -1 when absent
    std::string authorization;  // the header as sent; empty when absent
    std::string content_type;
    std::string body;
    bool valid = false;  // a JSON object with a string model and a list of messages
    int status = 0;      // what the endpoint answered
    std::int64_t at_ms = 0;
};

struct SimulatorOptions {
    std::string workdir;        // certificates and the service profile go here
    std::string scenario_json;  // scenario text; empty uses scenario_file
    std::string scenario_file;  // empty and no scenario_json: a small built-in account
    int port = 0;               // 0: ephemeral
    int control_port = -1;      // plain HTTP control API; -1 none, 0 ephemeral
    Era era = Era::Early2016;
    std::string login_host = "login.weixin.qq.com";
    std::string web_host = "wx{fun}.qq.com";
    std::string push_host = "webpush{fun}.weixin.qq.com";
    std::string file_host;  // template; empty: "file." + web_host
    std::string short_link_host = "url.cn";
    int login_poll_hold_ms = 25000;
    int synccheck_hold_ms = 25000;
    int auto_scan_ms = -1;     // after the uuid is issued; -1 waits for Scan()
    int auto_confirm_ms = -1;  // after the scan; -1 waits for Confirm()
    bool redirect_via_location_href = false;
    int send_min_interval_ms = 0;   // faster sends get Ret 1025
    bool refuse_web_login = false;  // web-mode redirects get the 1203 refusal
    bool push_login_fails = false;  // webwxpushloginurl gives no uuid
    // At each login after the first, every UserName (contacts, group members and the own
    // account) is new, as the real service gives them; news that wait for the new session
    // name the new ones.
    bool rename_at_login = false;
    // At each login after the first, this share (0 to 1) of the friends change their
    // nicknames.
    double rename_nickname_share = 0;
    // The service ends every session this long after its webwxinit (a scan, a push
    // confirmation or a hot start): synccheck then answers `end_session_retcode`. -1 never.
    int end_session_after_login_ms = -1;
    int end_session_retcode = 1102;
    // Told one line (UTF-8) per message delivered to the robot and per text the robot
    // sent, for watching a demo. Called with the simulator's lock held: print, nothing more.
    std::function<void(const std::string& line)> traffic;
};

// The service side of the web-client protocol over real TLS on 127.0.0.1. All methods
// may be called from any thread.
class Simulator {
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Makes the certificates and the profile, binds and serves. False on any failure.
    bool Start();
    // Ends held polls, closes every connection and joins all threads. Idempotent.
    void Stop();

    int Port() const;
    int ControlPort() const;  // -1 without a control API
    std::string ProfilePath() const;
    std::string CaFile() const;
    std::string CurrentUuid() const;  // empty before the first jslogin
    // "login", "web", "primary", "push", "file"
    std::string HostFor(std::string_view kind) const;

    void Scan();
    // The phone confirms a scanned code or a pending push login.
    void Confirm();
    void ExpireCode();
    void SetRefuseWebLogin(bool refuse);
    void SetPushLoginFails(bool fails);
    // SimulatorOptions::rename_at_login and rename_nickname_share, from the next login on.
    void SetRenameAtLogin(bool rename, double nickname_share = 0);
    // SimulatorOptions::end_session_after_login_ms (-1 off) for the sessions from the next
    // webwxinit on.
    void SetEndSessionAfterLogin(int ms, int retcode = 1102);
    LoginInfo Login() const;

    void DeliverMessage(const MessageSpec& message);
    // Adds or changes a contact (matched by id or UserName); reported in ModContactList.
    void ChangeContact(const ContactSpec& contact);
    // Removes a contact (id, NickName or UserName); reported in DelContactList.
    void DeleteContact(std::string_view who);
    // Queues bulk.count messages, delivered from now on at bulk.per_second.
    void QueueMessages(const BulkMessages& bulk);
    // Every message put into the news so far, oldest first.
    std::vector<DeliveryRecord> Deliveries() const;
    // Ends the session: synccheck answers `retcode` (1100 logged out, 1101 invalid, 1102
    // cookie invalid) for good, the other calls an error Ret, and nothing is delivered.
    void EndSession(int retcode);
    void ResumeSession();  // undoes EndSession(1101)
    // The next `count` accepted-looking webwxsendmsg get Ret `ret` and are not delivered;
    // count < 0: until cleared; count 0 clears.
    void RefuseSends(int ret, long long count);
    // The next `count` synccheck answer `retcode`/`selector` at once; count < 0: until
    // cleared; an empty retcode clears.
    void ForceSyncCheck(std::string retcode, std::string selector, long long count);

    void SetFault(std::string path_part, Fault fault);
    void ClearFaults();

    std::vector<RecordedRequest> Requests() const;
    // Requests since Start() whose path contains `path_part`.
    std::size_t CountRequests(std::string_view path_part) const;
    std::vector<SentMessage> SentMessages() const;
    // Sends refused by RefuseSends, with the Ret they got.
    std::vector<SentMessage> RefusedMessages() const;
    std::vector<std::string> Violations() const;
    std::vector<ContactInfo> Contacts() const;
    // UserName of a contact named by id, NickName or UserName; "self" is the account.
    std::string UserNameOf(std::string_view who) const;
    // Blocks until a request whose path contains `path_part` arrived (true) or time-out.
    // Counts requests since Start(), so one that came earlier satisfies it at once.
    bool WaitForRequest(std::string_view path_part, std::chrono::milliseconds timeout);
    // The same for the count-th such request (1-based).
    bool WaitForRequests(std::string_view path_part, std::size_t count,
                         std::chrono::milliseconds timeout);
    // Blocks until `count` texts were taken by webwxsendmsg (true) or the time-out.
    bool WaitForSentMessages(std::size_t count, std::chrono::milliseconds timeout);
    SessionInfo Session() const;

    // The bytes the service serves for a delivered picture, sticker, voice, video or file
    // message; empty for any other MsgId.
    std::string MediaOf(std::string_view msg_id) const;
    // Every upload so far, and the bytes a completed one delivered (by its MediaId). The
    // bytes of the newest completed uploads are kept, 64 MiB in all.
    std::vector<UploadRecord> Uploads();
    std::string UploadedBytes(std::string_view media_id) const;
    // Every media message the robot sent, accepted or not, oldest first.
    std::vector<MediaSendRecord> MediaSends() const;
    // Blocks until `count` media messages were taken (true) or the time-out.
    bool WaitForMediaSends(std::size_t count, std::chrono::milliseconds timeout);
    // The next upload to reach chunk `chunk` (0-based) gets Ret `ret` for it, and the upload
    // ends there. A negative chunk clears.
    void FailUploadChunk(int chunk, int ret);
    // The language-model endpoint: "/v1/chat/completions" on the TLS server under any host
    // name, so https://127.0.0.1:<port>/v1 reaches it directly. Unscripted questions get a
    // short echo answer. Scripts are tried in the order queued; the first that matches
    // answers and is used up after its `times`.
    std::string ModelBaseUrl() const;  // "https://127.0.0.1:<port>/v1"
    void QueueModelAnswer(ModelScript script);
    void ClearModelAnswers();
    // Ends every stall now: the stalled requests get their answers at once.
    void EndModelStalls();
    std::vector<ModelCall> ModelCalls() const;
    // Blocks until `count` requests reached the endpoint (true) or the time-out; a request
    // counts as soon as it arrived, before any stall.
    bool WaitForModelCalls(std::size_t count, std::chrono::milliseconds timeout);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
