// The contact lists and the message log under load, on the offscreen platform: a refill of
// 10,000 contacts, 100,000 log rows from 20 worker threads (paced at 20,000 rows/s, then as
// fast as they come) and their export. While rows flood in, a 10 ms timer on the UI thread
// records its longest gap: the time the window could not react.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Robot.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/QtUiPort.h"
#include "messages/MessageLog.h"
#include "platform/Clock.h"
#include "platform/GbkLiteral.h"

namespace {

using Steady = std::chrono::steady_clock;
constexpr int CONTACTS = 10000;
constexpr int THREADS = 20;
constexpr int ROWS = 100000;
constexpr int PACED_RATE = 20000;  // rows per second, all threads together

double MsSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

void PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// The longest gap between ticks of a 10 ms timer while it runs.
class StallMeter {
public:
    StallMeter() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Steady::now();
            m_longest =
                std::max(m_longest, std::chrono::duration<double, std::milli>(now - m_last));
            m_last = now;
        });
    }
    void Start() {
        m_longest = {};
        m_last = Steady::now();
        m_timer.start();
    }
    double StopMs() {
        m_timer.stop();
        return m_longest.count();
    }

private:
    QTimer m_timer;
    Steady::time_point m_last;
    std::chrono::duration<double, std::milli> m_longest{};
};

// The same meter over an idle second: the machine's own noise, for comparison.
void BenchIdle() {
    StallMeter stalls;
    stalls.Start();
    const auto start = Steady::now();
    PumpUntil([start] { return MsSince(start) > 1000; });
    std::printf("idle UI thread, 1 s: longest timer gap %.1f ms\n", stalls.StopMs());
}

void FillContacts(zelmo::app::Robot& robot) {
    const std::string male = zelmo::platform::Gbk("男");
    const std::string female = zelmo::platform::Gbk("女");
    const std::string group = zelmo::platform::Gbk("微群");
    const std::string public_account = zelmo::platform::Gbk("公众号");
    const std::string nickname = zelmo::platform::Gbk("好友昵称");
    const std::string province = zelmo::platform::Gbk("广东");
    const std::string city = zelmo::platform::Gbk("深圳");
    for (int i = 0; i < CONTACTS; ++i) {
        zelmo::contacts::ContactRecord record;
        const int kind = i % 10;
        record.UserName = (kind == 8 ? "@@" : "@") + std::to_string(100000000 + i) + "abcdef";
        record.kind = kind == 8 ? group : kind == 9 ? public_account : kind % 2 ? male : female;
        record.NickName = nickname + std::to_string(i);
        record.Uin = "0";
        record.Alias = "wxid_" + std::to_string(i);
        record.Province = province;
        record.City = city;
        record.MemberCount = kind == 8 ? "120" : "0";
        robot.Contacts().AppendIfNew(std::move(record));
    }
}

void BenchRefresh(zelmo::app::MainWindow& window) {
    constexpr int RUNS = 15;
    std::vector<double> refill;
    std::vector<double> shown;
    for (int run = 0; run < RUNS; ++run) {
        const auto start = Steady::now();
        window.RefreshContactLists();
        refill.push_back(MsSince(start));
        QApplication::processEvents();  // layout and paint of the refilled lists
        shown.push_back(MsSince(start));
    }
    std::sort(refill.begin(), refill.end());
    std::sort(shown.begin(), shown.end());
    std::printf(
        "RefreshContactLists, %d contacts: median %.2f ms, worst %.2f ms "
        "(with layout and paint: median %.2f ms, worst %.2f ms)\n",
        CONTACTS, refill[RUNS / 2], refill.back(), shown[RUNS / 2], shown.back());
}

// Rows from 20 threads; paced: each thread keeps to its share of PACED_RATE.
void BenchLog(zelmo::app::Robot& robot, zelmo::app::MessageWindow& messages, bool paced) {
    messages.ClearRows();
    StallMeter stalls;
    stalls.Start();
    const auto start = Steady::now();
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&robot, t, paced, start] {
            const std::string name = zelmo::platform::Gbk("线程") + std::to_string(t);
            constexpr int PER_THREAD = ROWS / THREADS;
            for (int n = 0; n < PER_THREAD; ++n) {
                if (paced) {
                    std::this_thread::sleep_until(
                        start + std::chrono::microseconds(1000000LL * n / (PACED_RATE / THREADS)));
                }
                robot.Log().AddRow(name, name, name, "content " + std::to_string(n));
            }
        });
    }
    zelmo::app::LogModel* model = messages.Model();
    PumpUntil([model] { return model->rowCount() == ROWS; });
    const double ms = MsSince(start);
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::printf(
        "log, %d rows from %d threads %s: all shown after %.0f ms = %.0f rows/s; "
        "longest UI stall %.1f ms\n",
        ROWS, THREADS, paced ? "paced at 20,000 rows/s" : "unpaced", ms, ROWS * 1000.0 / ms,
        stalls.StopMs());
}

// One batch as the flush timer delivers it, onto a long log: what a flush costs the UI.
void BenchBatch(zelmo::app::MessageWindow& messages) {
    constexpr int BATCH = 1000;
    zelmo::app::LogModel* model = messages.Model();
    std::vector<double> times;
    for (int run = 0; run < 10; ++run) {
        for (int n = 0; n < BATCH; ++n) {
            messages.AddRow("L", "1:2:3", "s", "d", "batch row");
        }
        const auto start = Steady::now();
        model->Flush();
        QApplication::processEvents();  // layout and paint
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    std::printf("one batch of %d rows onto %d, shown: median %.2f ms, worst %.2f ms\n", BATCH,
                model->rowCount() - BATCH, times[times.size() / 2], times.back());
}

void BenchExport(zelmo::app::MessageWindow& messages) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("views_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const auto start = Steady::now();
    messages.ExportRows();
    const double ms = MsSince(start);
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        bytes += entry.file_size();
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    std::printf("export, %zu rows: %.1f ms, %ju bytes\n", messages.Model()->Rows().size(), ms,
                bytes);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::filesystem::path data =
        std::filesystem::temp_directory_path() / ("views_bench_data_" + std::to_string(::getpid()));
    zelmo::platform::SystemClock clock;
    zelmo::app::QtUiPort screen(zelmo::app::AutoAnswer::Yes);
    {
        zelmo::app::Robot robot(
            zelmo::app::RunOptions{data.string(), "", zelmo::app::AutoAnswer::Yes}, clock, screen);
        screen.BindRobot(robot);
        screen.OpenMainWindow();
        PumpUntil([&screen] { return screen.Main() != nullptr; });
        screen.CreateHiddenWindows();
        PumpUntil([&screen] { return screen.Messages() != nullptr; });
        screen.Main()->resize(760, 520);
        screen.Main()->setWindowOpacity(1.0);
        screen.Messages()->show();

        BenchIdle();
        FillContacts(robot);
        BenchRefresh(*screen.Main());
        BenchLog(robot, *screen.Messages(), true);
        BenchLog(robot, *screen.Messages(), false);
        BenchBatch(*screen.Messages());
        BenchExport(*screen.Messages());
        robot.Shutdown();
    }
    std::filesystem::remove_all(data);
    return 0;
}
