#include "headless/HeadlessScreen.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "app/Robot.h"
#include "messages/MessageLog.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/EventLog.h"
#include "platform/GbkLiteral.h"
#include "platform/PngImage.h"
#include "platform/PrivateFile.h"

namespace zelmo::headless {

namespace {

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// A log row's further lines stand under its tag, behind blanks where a stamp would be, so
// no line a chat partner sends can pass for a line of the robot's own.
constexpr std::string_view CONTINUATION_INDENT = "                        ";

// The lines of a text: split at LF, a CR before it dropped.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? text.size() - start : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            return lines;
        }
        start = end + 1;
    }
}

}  // namespace

std::string ContactsLine(const std::map<std::string, std::size_t, std::less<>>& kinds) {
    std::size_t all = 0;
    std::size_t groups = 0;
    std::size_t official = 0;
    for (const auto& [kind, count] : kinds) {
        all += count;
        if (kind == contacts::KIND_GROUP) {
            groups = count;
        } else if (kind == contacts::KIND_PUBLIC) {
            official = count;
        }
    }
    return "contacts " + std::to_string(all) + " (friends " +
           std::to_string(all - groups - official) + ", groups " + std::to_string(groups) +
           ", official " + std::to_string(official) + ")";
}

bool DefaultAnswer(std::string_view gbk_text) {
    // The two save questions: at the exit and when the knowledge-base editor closes.
    static const std::string save_at_exit = platform::Gbk("您还有未储存的的词库，是否保存？");
    static const std::string save_on_close = platform::Gbk("您已修改了词库，是否保存");
    return gbk_text == save_at_exit || gbk_text == save_on_close;
}

std::string PrintableLine(std::string_view gbk_text) {
    const std::string utf8 = platform::GbkToUtf8(gbk_text);
    std::string line;
    line.reserve(utf8.size());
    platform::AppendEscaped(line, utf8);
    return line;
}

HeadlessScreen::HeadlessScreen(Options options, platform::Clock& clock,
                               std::function<void(std::string_view)> sink,
                               std::function<void(int)> end_program)
    : m_options(std::move(options)),
      m_clock(clock),
      m_sink(std::move(sink)),
      m_end_program(std::move(end_program)) {}

void HeadlessScreen::BindRobot(app::Robot& robot) {
    m_robot = &robot;
}

std::string HeadlessScreen::Stamp() const {
    const messages::LocalTime time = messages::ToLocalTime(m_clock.UnixMs());
    return std::to_string(time.year) + "-" + TwoDigits(time.month) + "-" + TwoDigits(time.day) +
           " " + TwoDigits(time.hour) + ":" + TwoDigits(time.minute) + ":" + TwoDigits(time.second);
}

void HeadlessScreen::PrintLine(std::string_view tag, std::string_view utf8_text) {
    std::lock_guard lock(m_mutex);
    m_sink(Stamp() + " " + std::string(tag) + " " + std::string(utf8_text) + "\n");
}

void HeadlessScreen::PrintCaption(std::string_view tag, std::string_view gbk_text,
                                  std::string& last) {
    std::lock_guard lock(m_mutex);
    // A caption is a state: the heartbeat sets the same one after every cycle.
    if (gbk_text == last) {
        return;
    }
    last = std::string(gbk_text);
    m_sink(Stamp() + " " + std::string(tag) + " " + PrintableLine(gbk_text) + "\n");
}

void HeadlessScreen::ShowStatus(std::string_view text, bool) {
    // Whole: a terminal line has no popup width to keep to.
    PrintLine("status", PrintableLine(text));
}

void HeadlessScreen::ShowMessageBox(std::string_view title, std::string_view text) {
    PrintLine("box", PrintableLine(title) + ": " + PrintableLine(text));
}

bool HeadlessScreen::AskYesNo(std::string_view title, std::string_view text) {
    bool answer = DefaultAnswer(text);
    if (m_options.auto_answer != app::AutoAnswer::Ask) {
        answer = m_options.auto_answer == app::AutoAnswer::Yes;
    }
    PrintLine("ask",
              PrintableLine(title) + ": " + PrintableLine(text) + (answer ? " -> yes" : " -> no"));
    return answer;
}

void HeadlessScreen::EndProgram(int code) {
    // As on the desktop: the robot's loops stop before the program goes.
    if (m_robot != nullptr) {
        m_robot->Stop();
    }
    m_end_program(code);
}

void HeadlessScreen::Delay(int ms) {
    if (m_robot != nullptr) {
        m_robot->StopEvent().WaitFor(std::chrono::milliseconds(ms));
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void HeadlessScreen::LogEvent(std::string_view tag, std::string_view text) {
    // Masked before the escaping, which would run a token into the text after it.
    PrintLine(tag, PrintableLine(platform::MaskSecrets(text)));
}

void HeadlessScreen::SetLoginCaption(std::string_view text) {
    PrintCaption("login", text, m_last_login_caption);
}

void HeadlessScreen::ShowQrImage(std::string_view image) {
    const std::string& path = m_options.qr_file;
    std::string block;
    // The code carries the login's uuid: whoever reads it first can take the login.
    if (platform::WritePrivateFileAtomic(path, image)) {
        block = "qr " + path;
    } else {
        block = "qr could not write " + path;
    }
    std::string drawing;
    if (const std::optional<platform::GrayImage> picture = platform::DecodePng(image)) {
        if (const std::optional<QrModules> modules = SampleQrModules(*picture)) {
            drawing = RenderQr(*modules, m_options.qr_scheme);
        }
    }
    if (drawing.empty()) {
        block += " (not a QR code picture that can be drawn here)";
    }
    std::lock_guard lock(m_mutex);
    m_sink(Stamp() + " " + block + "\n" + drawing);
}

void HeadlessScreen::OpenMainWindow() {
    m_handed_over.store(true, std::memory_order_release);
}

void HeadlessScreen::SetMainCaption(std::string_view text) {
    PrintCaption("main", text, m_last_main_caption);
}

void HeadlessScreen::CreateHiddenWindows() {
    // The start-up calls this right after it set the account folder.
    m_account_ready.store(true, std::memory_order_release);
}

void HeadlessScreen::ShowOwnHeader(std::string_view, std::string_view nickname,
                                   std::string_view signature) {
    PrintLine("account", PrintableLine(nickname) + " (" + PrintableLine(signature) + ")");
}

void HeadlessScreen::MainWindowReady() {
    m_ready.store(true, std::memory_order_release);
    PrintLine("ready", m_robot != nullptr ? m_robot->AccountDir() : std::string());
}

void HeadlessScreen::AddLogRow(std::string_view label, std::string_view time,
                               std::string_view source, std::string_view destination,
                               std::string_view content) {
    std::vector<std::string_view> lines = SplitLines(content);
    // A closing line break would only print an empty line.
    while (lines.size() > 1 && lines.back().empty()) {
        lines.pop_back();
    }
    std::string row = PrintableLine(label) + " " + PrintableLine(time) + " " +
                      PrintableLine(source) + " -> " + PrintableLine(destination) + ": " +
                      PrintableLine(lines.front());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        row.append("\n").append(CONTINUATION_INDENT).append(PrintableLine(lines[i]));
    }
    PrintLine("log", row);
}

void HeadlessScreen::LogRowFile(std::string_view msg_id, std::string_view path) {
    // The path is the robot's own (a safe name below the account folder), UTF-8 already.
    PrintLine("log", "saved " + std::string(path) + " (MsgId " + std::string(msg_id) + ")");
}

void HeadlessScreen::RefreshContactLists() {
    if (m_robot == nullptr) {
        return;
    }
    const std::string line = ContactsLine(m_robot->Contacts().CountKinds());
    std::lock_guard lock(m_mutex);
    // Refreshes that leave the counts as they were (a changed nickname) tell the log nothing.
    if (line == m_last_contacts_line) {
        return;
    }
    m_last_contacts_line = line;
    m_sink(Stamp() + " " + line + "\n");
}

void HeadlessScreen::AppendMassLog(std::string_view text) {
    // The text carries its own line breaks: one stamped line for each line in it.
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            lines.push_back(PrintableLine(line));
        }
        start = end + 1;
    }
    std::lock_guard lock(m_mutex);
    const std::string stamp = Stamp();
    std::string out;
    for (const std::string& line : lines) {
        out.append(stamp).append(" mass ").append(line).append("\n");
    }
    if (!out.empty()) {
        m_sink(out);
    }
}

void HeadlessScreen::SetMassRunning(bool running) {
    PrintLine("mass", running ? "run started" : "run ended");
}

}  // namespace zelmo::headless
