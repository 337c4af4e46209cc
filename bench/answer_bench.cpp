// The whole path from a saved service answer's bytes to what the program keeps: the store's
// records, a group's members, or every message of a sync answer decoded with its SyncKey.
//   answer_bench [--reference] [--runs N] FILE...
// FILE holds one webwxgetcontact, webwxbatchgetcontact, webwxsync (or webwxinit) body as
// the service sends it (UTF-8); the kind comes from the body. Per file one line:
//   answer_bench <file> <kind> <items> <median ms> <min ms> <max ms>
// over N runs (default 21) after one run that is not counted (the first conversion builds
// the GBK tables), in milliseconds of this thread's CPU time: on the shared machine other
// work would inflate the wall time of single-threaded work, never this. --reference adds
// a line "<kind>-reference" for the cuts the program used before (whole answer to GBK,
// markers and regular expressions), timed after the first path's runs: taken in turn,
// each path's garbage would fall on the other's allocations.
// bench/answer_gen writes such files; bench/data/ holds some.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactCutReference.h"
#include "contacts/ContactParsing.h"
#include "jobs/JobQueue.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/JsonReader.h"
#include "protocol/AnswerCutReference.h"
#include "protocol/InitAnswer.h"
#include "protocol/MessageItem.h"
#include "protocol/SyncAnswer.h"

namespace {

using namespace zelmo;
using Token = platform::JsonReader::Token;

// The answer's kind, from its top-level keys.
std::string KindOf(std::string_view bytes) {
    platform::JsonReader reader(bytes);
    if (reader.Next() != Token::ObjectStart) {
        return "unknown";
    }
    bool contact_list = false;
    for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
        const std::string_view key = reader.Text();
        if (key == "AddMsgList") {
            return "webwxsync";
        }
        if (key == "User" || key == "SyncKey") {
            return "webwxinit";
        }
        if (key == "MemberList") {
            return "webwxgetcontact";
        }
        contact_list = contact_list || key == "ContactList";
        reader.SkipValue();
    }
    return contact_list ? "webwxbatchgetcontact" : "unknown";
}

// One run of a path: prepares outside the clock, then times the work; the item count.
struct Path {
    std::function<void()> prepare;
    std::function<std::size_t()> run;
    std::function<void()> clean;
};

struct Fixture {
    std::unique_ptr<contacts::ContactStore> store;
    std::unique_ptr<jobs::JobQueue> queue;
    protocol::SyncKey sync_key;
    std::vector<protocol::MessageItem> messages;
    std::vector<protocol::reference::MessageCut> cuts;

    void Fresh() {
        store = std::make_unique<contacts::ContactStore>();
        queue = std::make_unique<jobs::JobQueue>();
        messages.clear();
        cuts.clear();
    }
    void Drop() {
        store.reset();
        queue.reset();
        messages = {};
        cuts = {};
    }
};

// The program's path (first) and the reference cuts' path for one kind of answer.
std::pair<Path, Path> PathsFor(const std::string& kind, const std::string& bytes, Fixture& f) {
    const auto prepare = [&f] { f.Fresh(); };
    const auto clean = [&f] { f.Drop(); };
    // A member fetch fills the group's record in the store.
    const auto prepare_group = [&f] {
        f.Fresh();
        contacts::ContactRecord group;
        group.UserName = "@@group";
        f.store->AppendIfNew(std::move(group));
    };
    if (kind == "webwxgetcontact" || kind == "webwxinit") {
        const bool init = kind == "webwxinit";
        return {{prepare,
                 [&f, &bytes, init] {
                     if (init) {
                         const protocol::InitAnswer read = protocol::ReadInitAnswer({}, "", bytes);
                         f.sync_key = read.sync_key.value_or(protocol::SyncKey{});
                     }
                     return contacts::AddContacts(*f.store, *f.queue, bytes);
                 },
                 clean},
                {prepare,
                 [&f, &bytes, init] {
                     const std::string gbk = platform::Utf8ToGbk(bytes);
                     if (init) {
                         f.sync_key = protocol::reference::CutInitAnswer({}, "", gbk).sync_key;
                     }
                     return contacts::ParseContacts(*f.store, *f.queue, gbk);
                 },
                 clean}};
    }
    if (kind == "webwxbatchgetcontact") {
        return {{prepare_group,
                 [&f, &bytes] {
                     contacts::GroupMembers read = contacts::ReadGroupMembers(bytes);
                     const std::size_t members = read.members.size();
                     f.store->SetGroupMembers(1, std::move(read.member_count),
                                              std::move(read.owner_uin), std::move(read.members));
                     return members;
                 },
                 clean},
                {prepare_group,
                 [&f, &bytes] {
                     contacts::GroupMembers cut =
                         contacts::reference::CutGroupMembers(platform::Utf8ToGbk(bytes));
                     const std::size_t members = cut.members.size();
                     f.store->SetGroupMembers(1, std::move(cut.member_count),
                                              std::move(cut.owner_uin), std::move(cut.members));
                     return members;
                 },
                 clean}};
    }
    // webwxsync: the SyncKey taken, every message decoded as the intake reads it.
    return {{prepare,
             [&f, &bytes] {
                 protocol::SyncAnswer read = protocol::ReadSyncAnswer(bytes);
                 if (read.ret != "0" || !read.complete) {
                     return std::size_t{0};
                 }
                 f.sync_key = std::move(read.sync_key);
                 f.messages.reserve(read.messages.size());
                 for (const protocol::SyncItem& item : read.messages) {
                     f.messages.push_back(protocol::ReadMessageItem(item.text));
                 }
                 return f.messages.size();
             },
             clean},
            {prepare,
             [&f, &bytes] {
                 protocol::reference::SyncCut cut =
                     protocol::reference::CutSyncAnswer(platform::Utf8ToGbk(bytes));
                 if (cut.ret != "0") {
                     return std::size_t{0};
                 }
                 f.sync_key = std::move(cut.sync_key);
                 f.cuts.reserve(cut.items.size());
                 for (const std::string& item : cut.items) {
                     f.cuts.push_back(protocol::reference::CutMessageItem(item));
                 }
                 return f.cuts.size();
             },
             clean}};
}

struct Timing {
    std::vector<double> ms;
    std::size_t items = 0;
};

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void Time(const Path& path, Timing& timing) {
    path.prepare();
    const double start = ThreadCpuMs();
    timing.items = path.run();
    const double end = ThreadCpuMs();
    path.clean();
    timing.ms.push_back(end - start);
}

void Print(const std::string& file, const std::string& kind, Timing& timing) {
    std::sort(timing.ms.begin(), timing.ms.end());
    std::printf("answer_bench %s %s %zu %.3f %.3f %.3f\n", file.c_str(), kind.c_str(), timing.items,
                timing.ms[timing.ms.size() / 2], timing.ms.front(), timing.ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    bool reference = false;
    int runs = 21;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reference") {
            reference = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(20, std::atoi(argv[++i]));
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: answer_bench [--reference] [--runs N] FILE...\n");
        return 2;
    }
    int status = 0;
    for (const std::string& file : files) {
        std::string bytes;
        if (!platform::TryReadFile(file, bytes)) {
            std::fprintf(stderr, "answer_bench: cannot read %s\n", file.c_str());
            status = 1;
            continue;
        }
        const std::string kind = KindOf(bytes);
        if (kind == "unknown") {
            std::fprintf(stderr, "answer_bench: %s is no known answer\n", file.c_str());
            status = 1;
            continue;
        }
        Fixture fixture;
        const auto [program, cuts] = PathsFor(kind, bytes, fixture);
        const auto time_runs = [runs](const Path& path) {
            Timing warm_up;
            Time(path, warm_up);
            Timing timing;
            for (int run = 0; run < runs; ++run) {
                Time(path, timing);
            }
            return timing;
        };
        Timing program_timing = time_runs(program);
        Print(file, kind, program_timing);
        if (reference) {
            Timing cuts_timing = time_runs(cuts);
            Print(file, kind + "-reference", cuts_timing);
        }
    }
    return status;
}
