#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/Answers.h"
#include "sim/Certificates.h"
#include "sim/HttpWire.h"
#include "sim/Scenario.h"
#include "sim/Simulator.h"
#include "sim/TlsServer.h"

namespace sim {

class ControlApi;

// Everything the simulator knows; guarded by `mutex` unless noted.
struct Simulator::Impl {
    enum class Login { None, Waiting, Scanned, Confirmed, Expired, Done };

    struct News {
        std::uint64_t seq = 0;
        std::string selector;
        bool is_message = false;
        MessageObject message;
        ContactChange change;
        std::size_t record = 0;  // index into `deliveries` (messages only)
    };

    struct Bulk {
        BulkMessages order;
        std::int64_t start_ms = 0;
        std::size_t next = 0;  // messages queued so far
    };

    // Fixed after Start().
    SimulatorOptions options;
    Scenario scenario;
    std::string login_host;
    std::string web_primary;
    std::string web_variant;
    std::string push_primary;
    std::string push_variant;
    std::string file_primary;
    std::string file_variant;
    CertificateFiles certificates;
    std::string profile_path;
    std::string head_image;
    std::chrono::steady_clock::time_point started;
    std::int64_t base_unix = 0;
    std::int64_t key_base1 = 0;
    std::int64_t key_base2 = 0;
    std::int64_t key_base3 = 0;

    TlsServer server;
    std::unique_ptr<ControlApi> control;
    std::thread scheduler;

    mutable std::mutex mutex;
    std::condition_variable state_changed;         // login, news, session, stop
    mutable std::condition_variable request_seen;  // request log grew
    bool stopping = false;
    bool started_ok = false;
    std::mt19937_64 random{std::random_device{}()};

    Login login = Login::None;
    std::string uuid;
    std::int64_t uuid_issued_ms = 0;
    std::int64_t scanned_ms = 0;
    bool scan_reported = false;
    std::string ticket;
    std::string second_ticket;
    std::string redirect_url;
    bool cycle_desktop = false;
    bool cycle_push = false;
    LoginInfo counts;  // only the counters are kept here

    SessionInfo session;
    // Sessions replaced by a later login, each with the retcode it ended with; their
    // tokens may still come from a client that saved them.
    std::vector<SessionInfo> past_sessions;
    std::set<std::string> accepted_client_ids;
    std::set<std::string> accepted_local_ids;
    bool seventeen_digit_ids = false;  // the client sent the 17-digit shape this session
    std::int64_t session_start_ms = -1;
    // The current session's last successful webwxinit; -1 none (or its end was played).
    std::int64_t session_init_ms = -1;
    std::size_t next_event = 0;
    std::deque<News> news;
    std::uint64_t next_seq = 1;
    std::uint64_t next_msg_id = 0;

    std::vector<ContactSpec> contacts;
    std::vector<SentMessage> sent;
    // Every UserName a login renamed, to the name its contact has now.
    std::map<std::string, std::string> renamed_to;
    std::vector<SentMessage> refused;
    std::int64_t last_send_ms = -1;
    int refuse_ret = 0;
    long long refuse_left = 0;   // < 0: until cleared
    std::string forced_retcode;  // empty: synccheck answers as the state says
    std::string forced_selector;
    long long forced_left = 0;
    std::deque<Bulk> bulks;
    std::vector<DeliveryRecord> deliveries;

    // Media: what each delivered media message serves, the uploads (by ClientMediaId while
    // they run), what check-uploads promised, and the media sends.
    struct MediaMessage {
        MessageKind kind = MessageKind::Picture;
        std::string from;
        std::string media_id;
        std::string file_name;
    };
    struct Upload {
        UploadRecord record;
        std::string bytes;
        std::string form_id;
        std::string request_json;
        std::size_t last_chunk_bytes = 0;  // a repeat of the last chunk is answered again
        std::size_t next_chunk = 0;
        bool done = false;
    };
    struct Promise {
        std::string aes_key;
        std::string signature;
    };
    std::map<std::string, MediaMessage> media_messages;
    std::vector<Upload> uploads;
    std::map<std::string, Promise> check_promises;  // by FileMd5
    std::vector<MediaSendRecord> media_sends;
    int fail_chunk = -1;
    int fail_chunk_ret = 0;
    std::deque<ModelScript> model_scripts;
    std::vector<ModelCall> model_calls;
    std::uint64_t model_stalls_ended = 0;  // counts EndModelStalls()

    std::vector<RecordedRequest> requests;
    std::vector<std::string> violations;
    std::vector<std::pair<std::string, Fault>> faults;

    // --- helpers (callers hold `mutex` where the name ends in Locked) ---
    std::int64_t NowMs() const;
    std::int64_t UnixNow() const;
    void ViolationLocked(std::string text);
    void StartLoginCycleLocked(bool desktop);
    void ScanLocked();
    void ConfirmLocked();
    void ExpireLocked();
    SyncKeyList SyncKeyFor(std::uint64_t seq) const;
    // The seq a SyncKey stands for; false when it was never issued.
    bool SeqOfSyncKey(const SyncKeyList& key, std::uint64_t& seq) const;
    std::uint64_t LastSeqLocked() const { return next_seq - 1; }
    void PushNewsLocked(News item);
    // Puts one message into the news; returns its delivery record's index.
    std::size_t DeliverLocked(const MessageSpec& incoming);
    // Queues the messages of bulk runs that are due; returns the next due time (-1: none).
    std::int64_t RunBulksLocked(std::int64_t now);
    // The session (current or past) whose cookies the header carries; null when none.
    const SessionInfo* SessionOfCookiesLocked(std::string_view cookie) const;
    void ChangeContactLocked(const ContactSpec& change);
    void DeleteContactLocked(std::string_view who);
    void EndSessionLocked(int retcode);
    // A new login: every UserName new, and a share of the nicknames, as the options say.
    void RenameAtLoginLocked();
    const ContactSpec* FindContactLocked(std::string_view who) const;
    // NickName of a contact named by id, NickName or UserName; the name itself when unknown.
    std::string DisplayNameLocked(std::string_view who) const;
    std::string UserNameOfLocked(std::string_view who) const;
    OwnAccount AccountLocked() const;
    void RunScheduler();

    // --- the service ---
    HttpResponse Handle(HttpRequest& request);
    // Logs the request and picks its fault; `host` is the Host header without its port.
    Fault Record(const HttpRequest& request, std::string& host);
    HttpResponse Respond(const HttpRequest& request, const std::string& host, const Fault& fault);
    HttpResponse Route(const HttpRequest& request, const std::string& host);
    HttpResponse HomePage();
    HttpResponse JsLogin(const HttpRequest& request);
    HttpResponse QrImage(const HttpRequest& request);
    HttpResponse LoginPoll(const HttpRequest& request);
    HttpResponse StatReport(const HttpRequest& request, const std::string& host);
    HttpResponse NewLoginPage(const HttpRequest& request, const std::string& host);
    HttpResponse WebwxInit(const HttpRequest& request, const std::string& host);
    HttpResponse SyncCheck(const HttpRequest& request, const std::string& host);
    HttpResponse WebwxSync(const HttpRequest& request, const std::string& host);
    HttpResponse GetContact(const HttpRequest& request, const std::string& host);
    HttpResponse BatchGetContact(const HttpRequest& request, const std::string& host);
    HttpResponse StatusNotify(const HttpRequest& request, const std::string& host);
    HttpResponse SendMsg(const HttpRequest& request, const std::string& host);
    HttpResponse OpLog(const HttpRequest& request, const std::string& host);
    HttpResponse RevokeMsg(const HttpRequest& request, const std::string& host);
    HttpResponse Logout(const HttpRequest& request, const std::string& host);
    HttpResponse PushLoginUrl(const HttpRequest& request, const std::string& host);
    HttpResponse HeadImage(const HttpRequest& request);
    HttpResponse MediaDownload(const HttpRequest& request, const std::string& host,
                               const std::string& name);
    HttpResponse FileDownload(const HttpRequest& request, const std::string& host);
    HttpResponse UploadMedia(const HttpRequest& request, const std::string& host);
    HttpResponse CheckUpload(const HttpRequest& request, const std::string& host);
    HttpResponse SendMedia(const HttpRequest& request, const std::string& host,
                           const std::string& name);
    // The upload whose MediaId it is; null when none gave it. Caller holds the mutex.
    const Upload* UploadOfMediaLocked(std::string_view media_id) const;
    // Fills a completed upload's bytes_md5 while its bytes are kept. Caller holds the mutex.
    void DigestUploadLocked(Upload& upload);
    // Drops the bytes of the oldest completed uploads until `more` bytes fit beside the rest.
    // Caller holds the mutex.
    void MakeRoomForUploadLocked(std::uint64_t more);
    HttpResponse ChatCompletions(const HttpRequest& request);
};

}  // namespace sim
