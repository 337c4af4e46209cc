// Knowledge-base figures: the keyword index against the plain scan at 100,000 pairs, and
// at 1,000,000 pairs the load (median of five), the process's resident memory, the
// lookup (median per message), learning; the save at the stop of a 100 MB base with one
// unsaved pair (median of five), and a 100 MB one-line file through a learned pair; and
// (where Hyperscan is available) Hyperscan's caseless literal matcher on the same
// keywords. A program printing figures; run it from a Release build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELMO_WERROR=OFF
//   cmake --build build-release --target reply_bench && build-release/bench/reply_bench
// Optional arguments: the largest base size (default 1000000), then --no-hyperscan.
// Times are the thread's CPU time (the machine may be shared) and, where waiting on the
// disk is part of it, the wall time.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "QuietScreen.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "app/UiPort.h"
#include "config/Settings.h"
#include "messages/Intake.h"
#include "messages/KeywordIndex.h"
#include "messages/KnowledgeBase.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "sim/Simulator.h"

#ifdef ZELMO_HAVE_HYPERSCAN
#include <hs/hs.h>
#endif

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using zelmo::bench::QuietScreen;
using zelmo::messages::KeywordIndex;
using zelmo::messages::KeywordMatch;
using zelmo::messages::KnowledgeBase;
using zelmo::messages::PreparedText;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds of this thread: the machine may be shared, and waiting for a core is not
// the index's time.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// VmRSS or VmHWM of this process in MB.
double ProcessMb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::strtod(line.c_str() + std::string_view(field).size() + 1, nullptr) / 1024.0;
        }
    }
    return -1;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Chinese text drawn from the first 3,500 characters of GB2312 with a skew towards the
// first ones (as in real text), with some Latin words in mixed case.
class Corpus {
public:
    explicit Corpus(unsigned seed) : m_random(seed) {}

    std::string Character() {
        // A Zipf-like pick: the square of a uniform number favours small indexes.
        const double u = std::uniform_real_distribution<double>(0, 1)(m_random);
        const int index = static_cast<int>(u * u * 3500);
        std::string text(2, '\0');
        text[0] = static_cast<char>(0xB0 + index / 94);
        text[1] = static_cast<char>(0xA1 + index % 94);
        return text;
    }
    std::string Latin() {
        static constexpr const char* WORDS[] = {"hello", "Bot",    "QQ",   "WeChat",
                                                "ok",    "Help",   "vip",  "GAME",
                                                "music", "iPhone", "wifi", "Zelmo"};
        std::string word = WORDS[std::uniform_int_distribution<int>(0, 11)(m_random)];
        return word + std::to_string(std::uniform_int_distribution<int>(0, 99)(m_random));
    }
    std::string Keyword() {
        if (std::uniform_int_distribution<int>(0, 9)(m_random) == 0) {
            return Latin();
        }
        const int chars = std::uniform_int_distribution<int>(2, 7)(m_random);
        std::string text;
        for (int i = 0; i < chars; ++i) {
            text += Character();
        }
        return text;
    }
    std::string Reply() {
        std::string text;
        for (int i = std::uniform_int_distribution<int>(8, 20)(m_random); i > 0; --i) {
            text += Character();
        }
        return text;
    }
    // About 200 bytes: Chinese text with up to three keywords of the base and some Latin.
    std::string Message(const std::vector<std::string>& keywords) {
        std::string text;
        std::uniform_int_distribution<std::size_t> pick(0, keywords.size() - 1);
        int inserted = std::uniform_int_distribution<int>(0, 3)(m_random);
        while (text.size() < 200) {
            const int what = std::uniform_int_distribution<int>(0, 39)(m_random);
            if (what == 0 && inserted > 0) {
                text += keywords[pick(m_random)];
                --inserted;
            } else if (what == 1) {
                text += " " + Latin() + " ";
            } else {
                text += Character();
            }
        }
        return text;
    }

private:
    std::mt19937 m_random;
};

struct Base {
    std::vector<std::string> keywords;
    std::string file_text;
};

Base MakeBase(std::size_t pairs, unsigned seed) {
    Corpus corpus(seed);
    Base base;
    base.keywords.reserve(pairs);
    for (std::size_t i = 0; i < pairs; ++i) {
        base.keywords.push_back(corpus.Keyword());
        if (i > 0) {
            base.file_text += "\r\n\r\n";
        }
        base.file_text += base.keywords.back() + "\r\n" + corpus.Reply();
    }
    return base;
}

std::vector<std::string> MakeMessages(const Base& base, std::size_t count, unsigned seed) {
    Corpus corpus(seed);
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < count; ++i) {
        messages.push_back(corpus.Message(base.keywords));
    }
    return messages;
}

// Mean microseconds per message of `find` over the messages, repeated until ~1 s passed.
template <class Find>
double MicrosPerMessage(const std::vector<std::string>& messages, Find&& find) {
    std::size_t done = 0;
    std::size_t sink = 0;
    const double start = ThreadCpuSeconds();
    do {
        for (const std::string& message : messages) {
            sink += find(message);
            ++done;
        }
    } while (ThreadCpuSeconds() - start < 1.0);
    const double seconds = ThreadCpuSeconds() - start;
    if (sink == static_cast<std::size_t>(-1)) {
        std::puts("");
    }
    return seconds * 1e6 / static_cast<double>(done);
}

std::string WriteBase(const std::string& folder, const Base& base) {
    std::string path = folder + "/reply.ini";
    zelmo::platform::WriteFileAtomic(path, base.file_text);
    return path;
}

#ifdef ZELMO_HAVE_HYPERSCAN
// Hyperscan over the same distinct folded keywords as caseless literals; every reported
// end is checked like the index checks its matches (GBK boundary, lone lead byte, and
// the second bytes that caseless matching folds although they are no letters).
class HyperscanMatcher {
public:
    explicit HyperscanMatcher(const std::vector<std::string>& keywords) {
        for (const std::string& keyword : keywords) {
            m_keywords.push_back(zelmo::messages::FoldKeyword(keyword));
        }
        std::sort(m_keywords.begin(), m_keywords.end());
        m_keywords.erase(std::unique(m_keywords.begin(), m_keywords.end()), m_keywords.end());
        std::vector<const char*> expressions;
        std::vector<unsigned> flags(m_keywords.size(), HS_FLAG_CASELESS);
        std::vector<unsigned> ids;
        std::vector<std::size_t> lengths;
        for (std::size_t i = 0; i < m_keywords.size(); ++i) {
            expressions.push_back(m_keywords[i].data());
            ids.push_back(static_cast<unsigned>(i));
            lengths.push_back(m_keywords[i].size());
            m_lone_lead.push_back(zelmo::messages::EndsWithLoneLead(m_keywords[i]));
        }
        hs_compile_error_t* error = nullptr;
        if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                                 static_cast<unsigned>(expressions.size()), HS_MODE_BLOCK, nullptr,
                                 &m_database, &error) != HS_SUCCESS) {
            std::printf("hyperscan: compile failed: %s\n", error ? error->message : "?");
            hs_free_compile_error(error);
            m_database = nullptr;
            return;
        }
        hs_alloc_scratch(m_database, &m_scratch);
    }
    ~HyperscanMatcher() {
        hs_free_scratch(m_scratch);
        hs_free_database(m_database);
    }
    HyperscanMatcher(const HyperscanMatcher&) = delete;
    HyperscanMatcher& operator=(const HyperscanMatcher&) = delete;

    bool Ready() const { return m_database != nullptr; }
    std::size_t Bytes() const {
        std::size_t database = 0;
        std::size_t scratch = 0;
        hs_database_size(m_database, &database);
        hs_scratch_size(m_scratch, &scratch);
        return database + scratch;
    }

    // The longest valid keyword length and how many distinct keywords have it.
    std::pair<std::size_t, std::size_t> Find(const PreparedText& text) {
        Context context{this, &text, 0, {}};
        hs_scan(m_database, text.Raw().data(), static_cast<unsigned>(text.Raw().size()), 0,
                m_scratch, &OnMatch, &context);
        return {context.best, context.found.size()};
    }

private:
    struct Context {
        HyperscanMatcher* self;
        const PreparedText* text;
        std::size_t best;
        std::vector<unsigned> found;
    };

    static int OnMatch(unsigned id, unsigned long long, unsigned long long to, unsigned,
                       void* data) {
        auto& context = *static_cast<Context*>(data);
        const std::string& keyword = context.self->m_keywords[id];
        if (keyword.size() < context.best) {
            return 0;
        }
        const std::size_t start = static_cast<std::size_t>(to) - keyword.size();
        if (!context.text->IsBoundary(start) ||
            (context.self->m_lone_lead[id] &&
             context.text->IsTrailAt(static_cast<std::size_t>(to))) ||
            context.text->Folded().compare(start, keyword.size(), keyword) != 0) {
            return 0;
        }
        if (keyword.size() > context.best) {
            context.best = keyword.size();
            context.found.clear();
        }
        if (std::find(context.found.begin(), context.found.end(), id) == context.found.end()) {
            context.found.push_back(id);
        }
        return 0;
    }

    std::vector<std::string> m_keywords;
    std::vector<bool> m_lone_lead;
    hs_database_t* m_database = nullptr;
    hs_scratch_t* m_scratch = nullptr;
};
#endif

void CompareWithScan(const std::string& folder, std::size_t pairs) {
    std::printf("\n== %zu pairs: index against the plain scan ==\n", pairs);
    const Base base = MakeBase(pairs, 7);
    KnowledgeBase knowledge;
    const auto load_start = Clock::now();
    knowledge.Load(WriteBase(folder, base));
    std::printf("load (read, parse, index): %.3f s\n", SecondsSince(load_start));
    const std::vector<std::string> messages = MakeMessages(base, 200, 11);
    const std::vector<std::string> few(messages.begin(), messages.begin() + 20);
    std::size_t agree = 0;
    for (const std::string& message : few) {
        agree += knowledge.MatchingPairs(message) == knowledge.MatchingPairsByScan(message);
    }
    const double index_us = MicrosPerMessage(
        messages, [&](const std::string& m) { return knowledge.MatchingPairs(m).size(); });
    const double scan_us = MicrosPerMessage(
        few, [&](const std::string& m) { return knowledge.MatchingPairsByScan(m).size(); });
    std::printf("index: %.2f us per message; scan: %.0f us per message; %.0f times faster\n",
                index_us, scan_us, scan_us / index_us);
    std::printf("index and scan agree on %zu of %zu messages\n", agree, few.size());
}

// The base's file is made by a child process, so this process's peak is the program's own.
std::string WriteBaseInChild(const std::string& folder, std::size_t pairs, unsigned seed) {
    std::string path = folder + "/reply.ini";
    if (const pid_t child = fork(); child == 0) {
        WriteBase(folder, MakeBase(pairs, seed));
        _exit(0);
    } else if (child > 0) {
        waitpid(child, nullptr, 0);
    }
    return path;
}

void LargeBase(const std::string& folder, std::size_t pairs, bool with_hyperscan) {
    std::printf("\n== %zu pairs: the whole program's view ==\n", pairs);
    const std::string path = WriteBaseInChild(folder, pairs, 3);
    const auto file_bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
    const double rss_before = ProcessMb("VmRSS:");
    std::vector<double> load_cpu;
    std::vector<double> load_wall;
    double rss_first = 0;
    double peak_first = 0;
    KnowledgeBase knowledge;
    for (int round = 0; round < 5; ++round) {
        // Each load after the first replaces the last, as a reload does.
        const auto start = Clock::now();
        const double cpu = ThreadCpuSeconds();
        knowledge.Load(path);
        load_cpu.push_back(ThreadCpuSeconds() - cpu);
        load_wall.push_back(SecondsSince(start));
        if (round == 0) {
            rss_first = ProcessMb("VmRSS:");
            peak_first = ProcessMb("VmHWM:");
        }
    }
    std::printf(
        "load (read %.0f MB, parse, index), 5 times: median %.3f s of CPU (%.3f to %.3f), "
        "%.3f s wall\n",
        static_cast<double>(file_bytes) / 1e6, Median(load_cpu),
        *std::min_element(load_cpu.begin(), load_cpu.end()),
        *std::max_element(load_cpu.begin(), load_cpu.end()), Median(load_wall));
    std::printf(
        "process resident after the load %.1f MB (before it %.1f MB, so the base %.1f MB), peak "
        "%.1f MB; after four reloads %.1f MB\n",
        rss_first, rss_before, rss_first - rss_before, peak_first, ProcessMb("VmRSS:"));
    std::printf("held: file bytes and pair views %.1f MB, keyword index %.1f MB\n",
                static_cast<double>(knowledge.TextBytes()) / 1e6,
                static_cast<double>(knowledge.IndexBytes()) / 1e6);

    std::vector<std::string> keywords;
    for (std::size_t i = 0; i < knowledge.PairCount(); ++i) {
        keywords.push_back(knowledge.Pair(i)->keyword);
    }
    {
        std::vector<std::string_view> views(keywords.begin(), keywords.end());
        KeywordIndex index;
        const double build_cpu = ThreadCpuSeconds();
        index.Build(views, 0);
        std::printf(
            "index build alone: %.3f s of CPU; %zu pairs, %zu slots of %zu bytes, %.1f MB\n",
            ThreadCpuSeconds() - build_cpu, index.PairCount(), index.StateSlots(),
            KeywordIndex::SLOT_BYTES, static_cast<double>(index.MemoryBytes()) / 1e6);
    }
    const Base probe{keywords, {}};
    const std::vector<std::string> messages = MakeMessages(probe, 2000, 5);
    zelmo::platform::SystemClock clock;
    const zelmo::config::Settings settings;
    // Timed in batches of 25 messages (reading the thread's CPU clock is a system call
    // here, too slow to wrap each lookup), over the messages again and again for a
    // second; the median of the batches' time per message.
    constexpr std::size_t BATCH = 25;
    std::vector<double> lookup_us;
    std::size_t sink = 0;
    std::size_t lookups = 0;
    const double lookup_start = ThreadCpuSeconds();
    do {
        for (std::size_t first = 0; first + BATCH <= messages.size(); first += BATCH) {
            const double start = ThreadCpuSeconds();
            for (std::size_t i = first; i < first + BATCH; ++i) {
                sink += knowledge
                            .LookupReply(messages[i], zelmo::messages::CHAT_FRIEND, settings, clock)
                            .size();
            }
            lookup_us.push_back((ThreadCpuSeconds() - start) * 1e6 / BATCH);
            lookups += BATCH;
        }
    } while (ThreadCpuSeconds() - lookup_start < 2.0);
    std::size_t total_bytes = 0;
    for (const std::string& message : messages) {
        total_bytes += message.size();
    }
    double lookup_sum = 0;
    for (const double us : lookup_us) {
        lookup_sum += us;
    }
    std::printf(
        "LookupReply: median %.2f us per message, mean %.2f us (%zu lookups of %zu bytes on "
        "average%s)\n",
        Median(lookup_us), lookup_sum / static_cast<double>(lookup_us.size()), lookups,
        total_bytes / messages.size(), sink == 0 ? ", no replies" : "");
    std::size_t agree = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        agree += knowledge.MatchingPairs(messages[i]) == knowledge.MatchingPairsByScan(messages[i]);
    }
    std::printf("index and scan agree on %zu of 3 messages\n", agree);

    Corpus corpus(99);
    const double learn_start = ThreadCpuSeconds();
    constexpr int LEARNED = 10000;
    for (int i = 0; i < LEARNED; ++i) {
        knowledge.LearnPair(corpus.Keyword(), corpus.Reply());
    }
    std::printf("learning %d pairs into it: %.1f us of CPU per pair\n", LEARNED,
                (ThreadCpuSeconds() - learn_start) * 1e6 / LEARNED);
    const double after_learn_us = MicrosPerMessage(
        messages, [&](const std::string& m) { return knowledge.MatchingPairs(m).size(); });
    std::printf("matching after learning: %.2f us per message\n", after_learn_us);

#ifdef ZELMO_HAVE_HYPERSCAN
    if (!with_hyperscan) {
        return;
    }
    std::printf("\n== %zu keywords: Hyperscan (caseless literals) ==\n", keywords.size());
    const double hs_rss_before = ProcessMb("VmRSS:");
    const double hs_start = ThreadCpuSeconds();
    HyperscanMatcher hyperscan(keywords);
    if (!hyperscan.Ready()) {
        return;
    }
    std::printf(
        "compile: %.3f s of CPU; database and scratch %.1f MB; resident grew by %.1f MB, "
        "peak now %.1f MB\n",
        ThreadCpuSeconds() - hs_start, static_cast<double>(hyperscan.Bytes()) / 1e6,
        ProcessMb("VmRSS:") - hs_rss_before, ProcessMb("VmHWM:"));
    KeywordIndex index;
    {
        std::vector<std::string_view> views(keywords.begin(), keywords.end());
        index.Build(views, 0);
    }
    std::size_t agree_hs = 0;
    for (const std::string& message : messages) {
        const PreparedText text(message);
        const KeywordMatch ours = index.Find(text);
        const auto theirs = hyperscan.Find(text);
        // Pairs per keyword differ in count; compare the length and emptiness.
        agree_hs += ours.length == theirs.first && ours.pairs.empty() == (theirs.second == 0);
    }
    std::printf("agrees with the index on %zu of %zu messages\n", agree_hs, messages.size());
    const double hs_us = MicrosPerMessage(messages, [&](const std::string& m) {
        const PreparedText text(m);
        return hyperscan.Find(text).second;
    });
    const double da_us = MicrosPerMessage(messages, [&](const std::string& m) {
        const PreparedText text(m);
        return index.Find(text).pairs.size();
    });
    std::printf("per message: Hyperscan %.2f us, double-array index %.2f us\n", hs_us, da_us);
#else
    std::printf("\n(Hyperscan not available on this machine: no comparison)\n");
#endif
}

// Bytes shown with their line breaks spelled out.
std::string Quoted(std::string_view bytes) {
    std::string out = "\"";
    for (const char byte : bytes) {
        out += byte == '\r'   ? std::string("\\r")
               : byte == '\n' ? std::string("\\n")
                              : std::string(1, byte);
    }
    return out + "\"";
}

// The save at the stop: a 100 MB base with one pair learned since its load. Each round
// learns one more pair and saves, as a stop would; wall time, the disk included.
void StopSave(const std::string& folder) {
    std::printf("\n== the stop's save of a 100 MB base with an unsaved pair ==\n");
    const std::string path = WriteBaseInChild(folder, 2300000, 13);
    const auto file_bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
    KnowledgeBase knowledge;
    const auto load_start = Clock::now();
    knowledge.Load(path);
    std::printf("load of %.0f MB (%zu pairs): %.3f s wall\n", static_cast<double>(file_bytes) / 1e6,
                knowledge.PairCount(), SecondsSince(load_start));
    std::vector<double> save_wall;
    bool saved = true;
    for (int round = 0; round < 5; ++round) {
        knowledge.LearnPair("stop" + std::to_string(round), "saved");
        const auto start = Clock::now();
        saved = saved && knowledge.Save(path);
        save_wall.push_back(SecondsSince(start));
    }
    std::printf("save with one unsaved pair, 5 times: median %.3f s wall (%.3f to %.3f)%s\n",
                Median(save_wall), *std::min_element(save_wall.begin(), save_wall.end()),
                *std::max_element(save_wall.begin(), save_wall.end()),
                saved ? "" : "; A SAVE FAILED");
    std::filesystem::remove(path);
    std::filesystem::remove(zelmo::platform::BackupPath(path));

    // A file the reader finds no pair in: a 100 MB line. Its bytes stay through a save.
    std::string line(file_bytes, 'x');
    for (std::size_t i = 0; i < line.size(); i += 7) {
        line[i] = static_cast<char>(0xB0 + i % 40);
    }
    zelmo::platform::WriteFileAtomic(path, line);
    KnowledgeBase one_line;
    one_line.Load(path);
    one_line.LearnPair("q", "a");
    const auto start = Clock::now();
    const bool written = one_line.Save(path);
    const double seconds = SecondsSince(start);
    const std::string after = zelmo::platform::ReadFile(path);
    const bool kept =
        written && after.size() > line.size() && after.compare(0, line.size(), line) == 0;
    std::printf("a %.0f MB one-line file and a learned pair: saved in %.3f s wall; %s, then %s\n",
                static_cast<double>(file_bytes) / 1e6, seconds,
                kept ? "every byte kept" : "BYTES LOST",
                Quoted(after.substr(std::min(after.size(), line.size()))).c_str());
    std::filesystem::remove(path);
    std::filesystem::remove(zelmo::platform::BackupPath(path));
}

// From the webwxsync request that brings a friend's message to the webwxsendmsg request
// of its knowledge-base reply, as the simulator records their arrival, with no send
// pending (each round waits out the previous send's pause).
void ReplyLatency(const std::string& folder) {
    std::printf("\n== from the webwxsync answer to the webwxsendmsg of its reply ==\n");
    sim::SimulatorOptions options;
    options.workdir = folder + "/sim";
    options.auto_scan_ms = 0;
    options.auto_confirm_ms = 0;
    sim::Simulator simulator(options);
    if (!simulator.Start()) {
        std::puts("the simulator did not start");
        return;
    }
    zelmo::app::RunOptions run;
    run.data_root = folder + "/data";
    run.service_file = simulator.ProfilePath();
    run.auto_answer = zelmo::app::AutoAnswer::Yes;
    const std::string config = run.data_root + "/2100000001/config";
    zelmo::platform::MakeDirectories(config);
    zelmo::platform::WriteFileAtomic(config + "/reply.ini", "hello\r\nhi there");
    QuietScreen screen;
    zelmo::platform::SystemClock clock;
    zelmo::app::Robot robot(run, clock, screen);
    if (!zelmo::app::StartLogin(robot) || !screen.WaitReady(std::chrono::seconds(30))) {
        std::puts("the robot did not come online");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    constexpr int ROUNDS = 30;
    std::vector<double> latencies;
    for (int round = 1; round <= ROUNDS; ++round) {
        sim::MessageSpec message;
        message.from = "alice";
        message.text = "hello " + std::to_string(round);
        simulator.DeliverMessage(message);
        if (!simulator.WaitForRequests("webwxsendmsg", static_cast<std::size_t>(round),
                                       std::chrono::seconds(10))) {
            std::printf("no reply in round %d\n", round);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }
    std::int64_t sync_at = -1;
    for (const sim::RecordedRequest& request : simulator.Requests()) {
        if (request.path.find("webwxsync") != std::string::npos) {
            sync_at = request.at_ms;
        } else if (request.path.find("webwxsendmsg") != std::string::npos && sync_at >= 0) {
            latencies.push_back(static_cast<double>(request.at_ms - sync_at));
        }
    }
    screen.Cancel();
    robot.Shutdown();
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%zu replies: median %.0f ms, max %.0f ms (the simulator records whole ms)\n",
                latencies.size(), latencies[latencies.size() / 2], latencies.back());
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::size_t largest = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    const bool with_hyperscan = !(argc > 2 && std::string_view(argv[2]) == "--no-hyperscan");
    // The lookups pick their keywords from the base: an empty one has none to pick.
    if (largest == 0) {
        std::puts("usage: reply_bench [LARGEST_PAIRS (at least 1)] [--no-hyperscan]");
        return 2;
    }
    char folder_template[] = "/tmp/zelmo-reply-bench-XXXXXX";
    const char* folder = mkdtemp(folder_template);
    if (folder == nullptr) {
        std::puts("no temporary folder");
        return 1;
    }
    ReplyLatency(folder);
    LargeBase(folder, largest, with_hyperscan);
    StopSave(folder);
    CompareWithScan(folder, std::min<std::size_t>(largest, 100000));
    std::filesystem::remove_all(folder);
    return 0;
}
