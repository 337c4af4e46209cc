// The account database with a year of chat: insert speed in the writer, size on disk, the
// open at start and searches. Prints its figures; run it on a Release build:
//   build/bench/store_bench [--rows N] [--dir DIR] [--reuse] [--insert-only]
// --reuse skips the inserts when DIR already holds a database (of N rows).

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/Sqlite.h"
#include "store/ArchiveReader.h"
#include "store/DatabaseFile.h"
#include "store/Store.h"

namespace {

using namespace zelmo;
using Clock = std::chrono::steady_clock;

// Words and phrases of everyday chats, most frequent first (picked with a skew).
constexpr std::string_view WORDS[] = {
    "好的",
    "哈哈",
    "嗯",
    "我",
    "你",
    "是的",
    "在吗",
    "收到",
    "谢谢",
    "哈哈哈",
    "今天",
    "明天",
    "我们",
    "你们",
    "他们",
    "什么",
    "怎么",
    "为什么",
    "可以",
    "没问题",
    "知道了",
    "不是",
    "晚上",
    "早上",
    "中午",
    "吃饭",
    "一起",
    "下班",
    "上班",
    "开会",
    "周末",
    "时间",
    "现在",
    "已经",
    "还没",
    "马上",
    "等一下",
    "辛苦了",
    "加油",
    "厉害",
    "真的",
    "太好了",
    "不错",
    "老板",
    "项目",
    "文件",
    "发给你",
    "看一下",
    "链接",
    "图片",
    "视频",
    "语音",
    "红包",
    "谢谢老板",
    "生日快乐",
    "恭喜",
    "晚安",
    "早上好",
    "天气",
    "下雨",
    "好冷",
    "好热",
    "出去玩",
    "地铁",
    "堵车",
    "快递",
    "外卖",
    "奶茶",
    "咖啡",
    "火锅",
    "烧烤",
    "电影",
    "游戏",
    "打球",
    "跑步",
    "健身",
    "减肥",
    "孩子",
    "作业",
    "考试",
    "学校",
    "老师",
    "同学",
    "妈妈",
    "爸爸",
    "回家",
    "过年",
    "放假",
    "请假",
    "加班",
    "工资",
    "发票",
    "报销",
    "合同",
    "客户",
    "方案",
    "需求",
    "上线",
    "测试",
    "bug",
    "服务器",
    "电脑",
    "手机",
    "充电",
    "没电了",
    "网络",
    "信号不好",
    "打电话",
    "发消息",
    "群里",
    "大家",
    "各位",
    "注意",
    "通知",
    "明天开会",
    "几点",
    "地址",
    "位置",
    "到了",
    "路上",
    "出发",
    "飞机",
    "高铁",
    "酒店",
    "旅游",
    "拍照",
    "好看",
    "漂亮",
    "可爱",
    "好吃",
    "便宜",
    "太贵了",
    "打折",
    "买了",
    "淘宝",
    "京东",
    "拼多多",
    "退货",
    "质量",
    "颜色",
    "尺码",
    "朋友圈",
    "点赞",
    "转发",
    "抢红包",
    "手气最佳",
    "笑死",
    "无语",
    "尴尬",
    "心累",
    "开心",
    "难过",
    "生气",
    "想你",
    "好久不见",
    "最近怎么样",
    "还行",
    "一般",
    "挺好",
    "忙",
    "不忙",
    "有空",
    "没空",
    "改天",
    "约",
    "聚餐",
    "唱歌",
    "ok",
    "OK",
    "666",
    "lol",
    "hhh",
    "2333",
    "1",
    "3",
    "10",
    "100",
    "200块",
    "http://t.cn/abc",
    "Zoom",
    "PPT",
    "Excel",
    "WiFi",
    "VIP",
    "App",
    "iPhone",
    "微信",
    "支付宝",
    "小程序",
};
// Common characters, most frequent first: real chats use thousands of characters, which a
// vocabulary alone would not give the index.
constexpr std::string_view COMMON =
    "的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以生会自着去之过家学"
    "对可她里后小么心多天而能好都然没日于起还发成事只作当想看文无开手十用主行方又如前所本见经头面"
    "公同三已老从动两长知民样现分将外但身些与高意进把法此实回二理美点月明其种声全工己话儿者向情部"
    "正名定女问力机给等几很业最间新什打便位因重被走电四第门相次东政海口使教西再平真听世气信北少关"
    "并内加化由却代军产入先山五太水万市眼体别处总才场师书比住员九笑性通目华报立马命张活难神数件安"
    "表原车白应路期叫死常提感金何更反合放做系计或司利受光王果亲界及今京务制解各任至清物台象记边共"
    "风战干接它许八特觉望直服毛林题建南度统色请交爱让认算论百吃义科怎元社术结六功指思非流每青管夫"
    "连远资队跟带花快条院变联言权往展该领传近留红治决周保达办运武半候七必城父强步完革深区即求品士"
    "转量空甚众技轻程告江语英基派满式李息写呢识极令黑断线";

// The n-th character of COMMON (three bytes each).
std::string_view CommonCharacter(std::size_t n) {
    return COMMON.substr(3 * (n % (COMMON.size() / 3)), 3);
}

constexpr std::string_view EMOJI[] = {"😂", "👍", "🙏", "😊", "❤️", "🎉", "🤣", "😭",
                                      "🔥", "💪", "😅", "🌹", "👌",      "😁", "🤔", "😘"};
constexpr std::string_view PUNCTUATION[] = {"，", "。", "！", "？", "～", " ", "…", "、"};

// Words the vocabulary never makes, planted in a few rows: what a full scan must find.
constexpr std::string_view RARE_TWO = "麒麟";
constexpr std::string_view RARE_THREE = "独角兽";
constexpr int RARE_EVERY = 200000;

std::string Key(std::mt19937& random) {
    static constexpr char BASE32[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::string key = "c";
    for (int i = 0; i < 10; ++i) {
        key += BASE32[random() % 32];
    }
    return key;
}

struct Contact {
    std::string key;
    std::string name;
};

struct Population {
    std::vector<Contact> friends;
    std::vector<Contact> groups;
    std::vector<std::vector<Contact>> members;
};

std::string Name(std::mt19937& random) {
    static constexpr std::string_view FAMILY[] = {"王", "李", "张", "刘", "陈", "杨", "赵",
                                                  "黄", "周", "吴", "徐", "孙", "胡", "朱"};
    static constexpr std::string_view GIVEN[] = {"伟", "芳", "娜",   "敏",   "静",  "丽", "强",
                                                 "磊", "军", "洋",   "勇",   "艳",  "杰", "涛",
                                                 "明", "超", "秀英", "小红", "大鹏"};
    std::string name(FAMILY[random() % std::size(FAMILY)]);
    name += GIVEN[random() % std::size(GIVEN)];
    if (random() % 4 == 0) {
        name += GIVEN[random() % std::size(GIVEN)];
    }
    if (random() % 10 == 0) {
        name += EMOJI[random() % std::size(EMOJI)];
    }
    return name;
}

Population MakePopulation(std::mt19937& random) {
    Population people;
    for (int i = 0; i < 300; ++i) {
        people.friends.push_back({Key(random), Name(random)});
    }
    static constexpr std::string_view GROUP_WORDS[] = {
        "相亲相爱一家人", "高中同学", "大学室友", "项目组", "篮球群",
        "业主群",         "家长群",   "吃货群",   "旅游群", "公司全员"};
    for (int i = 0; i < 40; ++i) {
        people.groups.push_back({Key(random), std::string(GROUP_WORDS[i % std::size(GROUP_WORDS)]) +
                                                  (i >= 10 ? std::to_string(i / 10) : "")});
        std::vector<Contact> members;
        members.reserve(60);
        for (int m = 0; m < 60; ++m) {
            members.push_back({Key(random), Name(random)});
        }
        people.members.push_back(std::move(members));
    }
    return people;
}

// A chat text: mostly short, some long, common words far more often than rare ones.
std::string ChatText(std::mt19937& random, std::int64_t index) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double length_draw = unit(random);
    int words = 1 + static_cast<int>(length_draw * length_draw * length_draw * 40);
    std::string text;
    for (int w = 0; w < words; ++w) {
        const double skew = unit(random);
        if (random() % 10 < 3) {
            // A word outside the vocabulary: one to three characters, frequent ones first.
            for (int c = 0, n = 1 + static_cast<int>(random() % 3); c < n; ++c) {
                const double pick = unit(random);
                text += CommonCharacter(static_cast<std::size_t>(pick * pick * COMMON.size() / 3));
            }
        } else {
            text += WORDS[static_cast<std::size_t>(skew * skew * std::size(WORDS))];
        }
        const int extra = static_cast<int>(random() % 20);
        if (extra == 0) {
            text += EMOJI[random() % std::size(EMOJI)];
        } else if (extra < 6 && w + 1 < words) {
            text += PUNCTUATION[random() % std::size(PUNCTUATION)];
        }
    }
    if (index % RARE_EVERY == 7) {
        text += RARE_TWO;
    }
    if (index % RARE_EVERY == 11) {
        text += RARE_THREE;
    }
    return text;
}

store::ArchiveRow MakeRow(std::mt19937& random, const Population& people, std::int64_t index,
                          std::int64_t time_ms) {
    store::ArchiveRow row;
    row.time_ms = time_ms;
    row.direction = random() % 5 == 0 ? store::Direction::Out : store::Direction::In;
    static constexpr std::string_view KINDS[] = {"文本", "文本", "文本",   "文本",   "文本",
                                                 "文本", "文本", "[图片]", "[表情]", "[语音]"};
    const bool planted = index % RARE_EVERY == 7 || index % RARE_EVERY == 11;
    row.kind = planted ? KINDS[0] : KINDS[random() % std::size(KINDS)];
    if (random() % 3 == 0) {
        const Contact& chat = people.friends[random() % people.friends.size()];
        row.chat_key = chat.key;
        row.chat_name = chat.name;
        row.sender_key = chat.key;
        row.sender_name = chat.name;
    } else {
        const std::size_t group = random() % people.groups.size();
        const Contact& member = people.members[group][random() % people.members[group].size()];
        row.chat_key = people.groups[group].key;
        row.chat_name = people.groups[group].name;
        row.sender_key = member.key;
        row.sender_name = member.name;
    }
    // The service's MsgIds are 19-digit numbers in no order.
    row.msg_id = std::to_string(1000000000000000000ULL +
                                (static_cast<std::uint64_t>(random()) << 32 | random()) %
                                    8000000000000000000ULL);
    row.text = row.kind == "文本" ? ChatText(random, index) : row.kind;
    if (row.direction == store::Direction::Out) {
        row.result = "ok";
    }
    return row;
}

class QuietPort final : public store::StorePort {
public:
    void OnStoreEvent(const store::StoreEvent& event) override {
        std::fprintf(stderr, "store event %d: %s\n", static_cast<int>(event.kind),
                     event.detail.c_str());
    }
};

// CPU time of the calling thread: the figure without the other programs on the machine.
double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long long FileBytes(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
}

void Insert(const std::string& path, std::int64_t rows) {
    std::mt19937 random(20240101);
    const Population people = MakePopulation(random);
    platform::SystemClock clock;
    QuietPort port;
    store::StoreOptions options;
    options.path = path;
    options.max_waiting = 1000000;
    constexpr std::int64_t CHUNK = 20000;
    std::int64_t time_ms = 1704067200000;
    std::vector<store::ArchiveRow> chunk;
    double text_bytes = 0;
    // The next chunk is made while the writer writes the last one, so the figure is the
    // writer's pace, not the generator's.
    const auto make_chunk = [&](std::int64_t first) {
        chunk.clear();
        for (std::int64_t i = first; i < std::min(first + CHUNK, rows); ++i) {
            time_ms += static_cast<std::int64_t>(random() % 60000);
            chunk.push_back(MakeRow(random, people, i, time_ms));
            text_bytes += static_cast<double>(chunk.back().text.size());
        }
    };
    // The generator's own CPU time, measured apart, is taken off the process's.
    double generator_ms = 0;
    const auto timed_chunk = [&](std::int64_t first) {
        const double before = ThreadCpuMs();
        make_chunk(first);
        generator_ms += ThreadCpuMs() - before;
    };
    store::Store archive(options, port, clock);
    timed_chunk(0);
    generator_ms = 0;
    const Clock::time_point start = Clock::now();
    const double cpu_start = ProcessCpuMs();
    for (std::int64_t first = 0; first < rows; first += CHUNK) {
        for (store::ArchiveRow& row : chunk) {
            archive.Append(std::move(row));
        }
        timed_chunk(first + CHUNK);
        // Keeps at most two chunks in memory.
        if (!archive.Flush(std::chrono::minutes(5))) {
            std::fprintf(stderr, "flush failed\n");
            std::exit(1);
        }
    }
    const double ms = MsSince(start);
    const double writer_cpu_ms = ProcessCpuMs() - cpu_start - generator_ms;
    std::printf(
        "insert: %lld rows in %.1f s = %.0f rows/s wall; writer CPU %.1f s = %.0f "
        "rows/CPU-s (texts %.1f MB, avg %.1f bytes)\n",
        static_cast<long long>(rows), ms / 1000, static_cast<double>(rows) / ms * 1000,
        writer_cpu_ms / 1000, static_cast<double>(rows) / writer_cpu_ms * 1000, text_bytes / 1e6,
        text_bytes / static_cast<double>(rows));
}

std::vector<double> Times(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        body();
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times;
}

void Search(const std::string& path, std::string_view word) {
    std::string error;
    std::optional<store::ArchiveReader> reader = store::ArchiveReader::Open(path, &error);
    if (!reader) {
        std::fprintf(stderr, "open: %s\n", error.c_str());
        std::exit(1);
    }
    store::SearchQuery query;
    query.text = std::string(word);
    std::size_t found = 0;
    std::vector<double> cpu;
    const std::vector<double> times = Times(5, [&] {
        const double before = ThreadCpuMs();
        found = reader->Search(query).rows.size();
        cpu.push_back(ThreadCpuMs() - before);
    });
    std::sort(cpu.begin(), cpu.end());
    std::printf(
        "search \"%.*s\" (%zu chars): %3zu rows; first page median %.1f ms wall (min "
        "%.1f, max %.1f), %.1f ms CPU\n",
        static_cast<int>(word.size()), word.data(), store::CharacterCount(word), found,
        times[times.size() / 2], times.front(), times.back(), cpu[cpu.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    std::int64_t rows = 1000000;
    std::string dir = (std::filesystem::temp_directory_path() / "zelmo-store-bench").string();
    bool reuse = false;
    bool insert_only = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--rows" && i + 1 < argc) {
            rows = std::atoll(argv[++i]);
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--reuse") {
            reuse = true;
        } else if (arg == "--insert-only") {
            insert_only = true;
        } else {
            std::fprintf(stderr,
                         "usage: store_bench [--rows N] [--dir DIR] [--reuse] [--insert-only]\n");
            return 2;
        }
    }
    if (rows <= 0) {
        std::fprintf(stderr,
                     "usage: store_bench [--rows N] [--dir DIR] [--reuse] [--insert-only]\n");
        return 2;
    }
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + std::string(store::DATABASE_FILE_NAME);
    if (!reuse || FileBytes(path) == 0) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(path + suffix);
        }
        Insert(path, rows);
    }
    if (insert_only) {
        return 0;
    }
    std::printf("database: %.1f MB (%s; -wal %.1f MB)\n",
                static_cast<double>(FileBytes(path)) / 1e6, path.c_str(),
                static_cast<double>(FileBytes(path + "-wal")) / 1e6);

    platform::SystemClock clock;
    QuietPort port;
    {
        // What the start waits for: the store open, a reader and the log's last rows. The
        // page check runs later on the writer thread (the close interrupts it).
        std::vector<double> starts;
        std::vector<double> closes;
        for (int i = 0; i < 5; ++i) {
            store::StoreOptions options;
            options.path = path;
            const Clock::time_point start = Clock::now();
            auto archive = std::make_unique<store::Store>(options, port, clock);
            std::string error;
            std::optional<store::ArchiveReader> reader = store::ArchiveReader::Open(path, &error);
            const std::size_t got = reader ? reader->LastRows(200).rows.size() : 0;
            starts.push_back(MsSince(start));
            if (got != 200) {
                std::fprintf(stderr, "open failed: %s\n", error.c_str());
                return 1;
            }
            const Clock::time_point close = Clock::now();
            archive.reset();
            closes.push_back(MsSince(close));
        }
        std::sort(starts.begin(), starts.end());
        std::sort(closes.begin(), closes.end());
        std::printf(
            "open at start (store, reader, last 200 rows): median %.1f ms (min %.1f, "
            "max %.1f); close median %.1f ms\n",
            starts[starts.size() / 2], starts.front(), starts.back(), closes[closes.size() / 2]);
    }
    {
        std::string error;
        std::optional<platform::SqliteConnection> db = store::OpenReadOnly(path, &error);
        const Clock::time_point start = Clock::now();
        const store::FileCheck check = store::QuickCheck(*db);
        std::printf("quick_check (on the writer thread, after the start): %.0f ms, %s\n",
                    MsSince(start), check.state == store::FileCheck::State::Sound ? "sound" : "?");
    }

    for (const std::string_view word :
         {std::string_view("生日快乐"), std::string_view("没问题"), std::string_view("手气最佳"),
          std::string_view("谢谢老板发红包"), RARE_THREE, std::string_view("哈哈"),
          std::string_view("OK"), RARE_TWO, std::string_view("麟"), std::string_view("zz")}) {
        Search(path, word);
    }
    return 0;
}
