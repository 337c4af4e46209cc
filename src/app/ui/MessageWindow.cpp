#include "app/ui/MessageWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QDateEdit>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "app/ArchiveRows.h"
#include "app/Robot.h"
#include "app/ui/WindowPlacement.h"
#include "contacts/ui/ListColumns.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "store/DatabaseFile.h"
#include "widgets/QtText.h"

namespace zelmo::app {

namespace {

constexpr int START_WIDTH = 500;
constexpr int START_HEIGHT = 420;
constexpr int DETAILS_HEIGHT = 90;
constexpr int WINDOW_GAP = 8;
// Set in the environment, the window shows itself beside the main window once that one
// is ready (for demonstrations).
constexpr const char* SHOW_BESIDE_MAIN = "ZELMO_SHOW_MESSAGE_WINDOW";
// Where a cell's text breaks a line.
constexpr QLatin1String LINE_BREAK_MARK(" / ");
constexpr int CONTENT_COLUMN = 4;
// Files saved before their row came, kept for it.
constexpr std::size_t MAX_EARLY_FILES = 256;
// Typing waits this long for the next key before it searches.
constexpr int SEARCH_DELAY_MS = 250;
constexpr int SEARCH_CHAT_WIDTH = 110;

const std::vector<contacts::ColumnSpec>& LogColumns() {
    static const std::vector<contacts::ColumnSpec> columns = {
        {"类型", 60}, {"时间", 70}, {"来源", 80}, {"发至", 80}, {"内容", 160}};
    return columns;
}

const std::string& Cell(const LogRow& row, int column) {
    switch (column) {
        case 0:
            return row.label;
        case 1:
            return row.time;
        case 2:
            return row.source;
        case 3:
            return row.destination;
        default:
            return row.content;
    }
}

}  // namespace

LogModel::LogModel(QObject* parent) : QAbstractTableModel(parent) {
    m_flush_timer.setSingleShot(true);
    m_flush_timer.setInterval(FLUSH_MS);
    connect(&m_flush_timer, &QTimer::timeout, this, [this] { Flush(); });
}

void LogModel::Append(LogRow row, std::string msg_id) {
    m_pending.push_back({std::move(row), std::move(msg_id)});
    if (!m_flush_timer.isActive()) {
        m_flush_timer.start();
    }
}

void LogModel::AttachFile(const std::string& msg_id, std::string path) {
    Flush();
    const auto row = m_media_rows.find(msg_id);
    if (row != m_media_rows.end()) {
        ShowFileInRow(row->second, std::move(path));
        return;
    }
    if (m_early_files.insert_or_assign(msg_id, std::move(path)).second) {
        m_early_order.push_back(msg_id);
        if (m_early_order.size() > MAX_EARLY_FILES) {
            m_early_files.erase(m_early_order.front());
            m_early_order.pop_front();
        }
    }
}

void LogModel::ShowFileInRow(std::size_t row, std::string path) {
    // The name, as the content's last word: what the row shows and what an export writes.
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    m_rows[row].content += " " + platform::Utf8ToGbk(name);
    m_row_files[row] = std::move(path);
    const QModelIndex cell = index(static_cast<int>(row), CONTENT_COLUMN);
    emit dataChanged(cell, cell);
}

std::string LogModel::FileAt(int row) const {
    const auto found = m_row_files.find(static_cast<std::size_t>(row));
    return row < 0 || found == m_row_files.end() ? std::string() : found->second;
}

void LogModel::Flush() {
    m_flush_timer.stop();
    if (m_pending.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(m_pending.size()) - 1);
    std::vector<std::pair<std::size_t, std::string>> early;
    for (PendingRow& pending : m_pending) {
        if (!pending.msg_id.empty()) {
            const std::size_t row = m_rows.size();
            if (const auto file = m_early_files.find(pending.msg_id); file != m_early_files.end()) {
                early.emplace_back(row, std::move(file->second));
                m_early_files.erase(file);
            }
            m_media_rows[std::move(pending.msg_id)] = row;
        }
        m_rows.push_back(std::move(pending.row));
    }
    m_pending.clear();
    endInsertRows();
    for (auto& [row, path] : early) {
        ShowFileInRow(row, std::move(path));
    }
    emit Flushed();
}

const LogRows& LogModel::Rows() {
    Flush();
    return m_rows;
}

void LogModel::Prepend(std::vector<LogRow> rows) {
    if (rows.empty()) {
        return;
    }
    beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.begin(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    endInsertRows();
}

void LogModel::Clear() {
    m_flush_timer.stop();
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    m_media_rows.clear();
    m_row_files.clear();
    endResetModel();
}

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int LogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(LogColumns().size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() ||
        index.row() >= rowCount()) {
        return {};
    }
    QString text =
        widgets::ToQString(Cell(m_rows[static_cast<std::size_t>(index.row())], index.column()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (role == Qt::ToolTipRole) {
        // The whole text, for a content that does not fit its cell.
        return text.contains(QLatin1Char('\n')) ? QVariant(text) : QVariant();
    }
    // Rows keep one line each: a text's line breaks show as marks between its lines.
    text.replace(QLatin1Char('\n'), LINE_BREAK_MARK);
    return text;
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return contacts::ColumnTitle(LogColumns(), section);
}

MessageWindow::MessageWindow(Robot& robot, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_robot(robot),
      m_model(new LogModel(this)),
      m_results(new LogModel(this)),
      m_search(new QLineEdit(this)),
      m_search_chat(new QLineEdit(this)),
      m_since_check(new QCheckBox(QString::fromUtf8("从"), this)),
      m_since(new QDateEdit(this)),
      m_search_status(new QLabel(this)),
      m_more(new QPushButton(QString::fromUtf8("更多"), this)),
      m_list(new QTableView(this)),
      m_details(new QPlainTextEdit(this)),
      m_show(new QCheckBox(QString::fromUtf8("显示消息"), this)),
      m_clear(new QPushButton(QString::fromUtf8("清空"), this)),
      m_export(new QPushButton(QString::fromUtf8("导出文件"), this)) {
    setWindowTitle(QString::fromUtf8("微信机器人 - 消息盒子"));
    // A table view: a batch appended to a long log costs it no relayout of every row.
    m_list->setObjectName(QString::fromUtf8("超级列表框_消息"));
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    contacts::ClearSelectionOnEmptyPress(m_list);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->setModel(m_model);
    contacts::ApplyColumnWidths(m_list->horizontalHeader(), LogColumns());
    m_details->setObjectName(QString::fromUtf8("编辑框_消息"));
    m_details->setReadOnly(true);
    m_details->setFixedHeight(DETAILS_HEIGHT);
    m_show->setObjectName(QString::fromUtf8("选择框_显示消息"));
    m_show->setChecked(robot.Settings().Get()->显示消息);
    m_clear->setObjectName(QString::fromUtf8("按钮_清空"));
    m_export->setObjectName(QString::fromUtf8("按钮_导出消息"));
    m_search->setObjectName(QStringLiteral("searchEdit"));
    m_search->setPlaceholderText(QString::fromUtf8("搜索消息存档"));
    m_search->setClearButtonEnabled(true);
    m_search_chat->setObjectName(QStringLiteral("searchChatEdit"));
    m_search_chat->setPlaceholderText(QString::fromUtf8("聊天名称或标识"));
    m_search_chat->setFixedWidth(SEARCH_CHAT_WIDTH);
    m_since_check->setObjectName(QStringLiteral("searchSinceCheck"));
    m_since->setObjectName(QStringLiteral("searchSinceEdit"));
    m_since->setCalendarPopup(true);
    m_since->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_since->setDate(QDate::currentDate().addMonths(-1));
    m_since->setEnabled(false);
    m_search_status->setObjectName(QStringLiteral("searchStatusLabel"));
    m_more->setObjectName(QStringLiteral("searchMoreButton"));
    m_more->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    auto* search = new QHBoxLayout();
    search->addWidget(m_search, 1);
    search->addWidget(m_search_chat);
    search->addWidget(m_since_check);
    search->addWidget(m_since);
    layout->addLayout(search);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_details);
    auto* controls = new QHBoxLayout();
    controls->addWidget(m_show);
    controls->addWidget(m_search_status, 1);
    controls->addWidget(m_more);
    controls->addWidget(m_clear);
    controls->addWidget(m_export);
    layout->addLayout(controls);
    resize(START_WIDTH, START_HEIGHT);

    m_list->viewport()->installEventFilter(this);
    connect(m_show, &QCheckBox::clicked, this, [this](bool checked) {
        m_robot.Settings().Update(
            [checked](config::Settings& settings) { settings.显示消息 = checked; });
    });
    connect(m_clear, &QPushButton::clicked, this, [this] { ClearRows(); });
    connect(m_export, &QPushButton::clicked, this, [this] { ExportRows(); });

    m_search_timer.setSingleShot(true);
    m_search_timer.setInterval(SEARCH_DELAY_MS);
    connect(&m_search_timer, &QTimer::timeout, this, [this] { Search(false); });
    const auto search_soon = [this] { m_search_timer.start(); };
    connect(m_search, &QLineEdit::textChanged, this, search_soon);
    connect(m_search_chat, &QLineEdit::textChanged, this, search_soon);
    connect(m_since, &QDateEdit::dateChanged, this, search_soon);
    connect(m_since_check, &QCheckBox::toggled, this, [this, search_soon](bool on) {
        m_since->setEnabled(on);
        search_soon();
    });
    connect(m_more, &QPushButton::clicked, this, [this] { Search(true); });
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        // A result opens its chat; a log row that names a saved file opens the file.
        if (ShowingResults()) {
            OpenResultChat(index.row());
        } else {
            OpenFile(index.row());
        }
    });
    // The answers come on the search's thread; the window takes them on its own.
    m_archive_search =
        std::make_unique<ArchiveSearch>([this](std::uint64_t serial, store::SearchPage page) {
            auto shared = std::make_shared<store::SearchPage>(std::move(page));
            QMetaObject::invokeMethod(
                this, [this, serial, shared] { ShowPage(serial, *shared); }, Qt::QueuedConnection);
        });

    if (owner != nullptr && std::getenv(SHOW_BESIDE_MAIN) != nullptr) {
        owner->installEventFilter(this);
    }
}

MessageWindow::~MessageWindow() {
    // No answer may come into a window that is going.
    m_archive_search.reset();
}

void MessageWindow::AddRow(std::string_view label, std::string_view time, std::string_view source,
                           std::string_view destination, std::string_view content,
                           std::string_view msg_id) {
    m_model->Append(LogRow{std::string(label), std::string(time), std::string(source),
                           std::string(destination), std::string(content)},
                    std::string(msg_id));
}

void MessageWindow::ShowFile(std::string_view msg_id, std::string_view path) {
    m_model->AttachFile(std::string(msg_id), std::string(path));
}

bool MessageWindow::OpenFile(int row) {
    const std::string path = m_model->FileAt(row);
    if (path.empty()) {
        return false;
    }
    return QDesktopServices::openUrl(
        QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

void MessageWindow::ShowDetails() {
    const LogRows& rows = ShownRows();
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    LogRow row;
    std::string details;
    if (!selected.isEmpty() && static_cast<std::size_t>(selected.front().row()) < rows.size()) {
        const auto index = static_cast<std::size_t>(selected.front().row());
        row = rows[index];
        details = RowDetails(row);
        // A result names its chat's key: the shield list and the search take it.
        if (ShowingResults() && index < m_result_rows.size() &&
            !m_result_rows[index].chat_key.empty()) {
            details += platform::Gbk("\r\n聊天标识：") + m_result_rows[index].chat_key;
        }
    } else {
        details = RowDetails(row);
    }
    QString text = widgets::ToQString(details);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_details->setPlainText(text);
}

void MessageWindow::ExportRows() {
    messages::ExportMessageLog(m_robot.Screen(), m_robot.Clock(), m_model->Rows());
}

void MessageWindow::ClearRows() {
    // What the user sees empties: a search shown gives way to the empty log.
    if (ShowingResults()) {
        m_search->clear();
        m_search_chat->clear();
        ShowLog();
    }
    m_model->Clear();
    m_details->clear();
}

void MessageWindow::ShowArchivedRows(const std::vector<store::ArchiveRow>& rows) {
    const std::string own = m_robot.State()->own.NickName;
    const std::int64_t now = m_robot.Clock().UnixMs();
    std::vector<LogRow> shown;
    shown.reserve(rows.size());
    for (const store::ArchiveRow& row : rows) {
        shown.push_back(LogRowOf(row, own, now));
    }
    m_model->Prepend(std::move(shown));
}

bool MessageWindow::ShowingResults() const {
    return m_list->model() == m_results;
}

const LogRows& MessageWindow::ShownRows() {
    return ShowingResults() ? m_results->Rows() : m_model->Rows();
}

void MessageWindow::Search(bool more) {
    m_search_timer.stop();
    const std::string text = m_search->text().trimmed().toStdString();
    const std::string chat = m_search_chat->text().trimmed().toStdString();
    if (text.empty() && chat.empty()) {
        ShowLog();
        return;
    }
    if (!more) {
        m_query = {};
        m_query.text = text;
        m_query.chat = chat;
        if (m_since_check->isChecked()) {
            m_query.since_ms = QDateTime(m_since->date(), QTime(0, 0)).toMSecsSinceEpoch();
        }
    }
    // The robot's database; without one (the archive off), a file an earlier run left.
    std::string path = m_robot.Archive().Path();
    if (path.empty() && !m_robot.AccountDir().empty()) {
        path = m_robot.AccountDir() + "/" + std::string(store::DATABASE_FILE_NAME);
    }
    if (path.empty()) {
        m_search_status->setText(QString::fromUtf8("没有消息存档"));
        return;
    }
    m_asked_more = more;
    m_asked = m_archive_search->Ask(path, m_query);
    m_more->setEnabled(false);
    m_search_status->setText(QString::fromUtf8("正在搜索…"));
}

void MessageWindow::ShowPage(std::uint64_t serial, const store::SearchPage& page) {
    // An answer to a question asked since is of no use, nor one after the search was left.
    if (serial != m_asked) {
        return;
    }
    if (!page.error.empty()) {
        m_search_status->setText(QString::fromUtf8("无法读取消息存档：") +
                                 QString::fromStdString(page.error));
        m_more->setVisible(false);
        return;
    }
    if (!m_asked_more) {
        m_results->Clear();
        m_result_rows.clear();
    }
    const std::string own = m_robot.State()->own.NickName;
    const std::int64_t now = m_robot.Clock().UnixMs();
    for (const store::ArchiveRow& row : page.rows) {
        m_results->Append(LogRowOf(row, own, now));
        m_result_rows.push_back(row);
    }
    m_results->Flush();
    if (!ShowingResults()) {
        m_list->setModel(m_results);
        contacts::ApplyColumnWidths(m_list->horizontalHeader(), LogColumns());
        m_details->clear();
    }
    m_query.before_id = page.next_before_id;
    m_more->setVisible(page.next_before_id != 0);
    m_more->setEnabled(true);
    const QString count = QString::number(m_result_rows.size());
    m_search_status->setText(m_result_rows.empty() ? QString::fromUtf8("没有找到")
                             : page.next_before_id != 0
                                 ? QString::fromUtf8("已显示 %1 条，还有更早的").arg(count)
                                 : QString::fromUtf8("找到 %1 条").arg(count));
}

void MessageWindow::ShowLog() {
    m_more->setVisible(false);
    m_search_status->clear();
    m_asked = 0;
    if (ShowingResults()) {
        m_list->setModel(m_model);
        contacts::ApplyColumnWidths(m_list->horizontalHeader(), LogColumns());
        m_details->clear();
    }
    m_results->Clear();
    m_result_rows.clear();
}

void MessageWindow::OpenResultChat(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_result_rows.size()) {
        return;
    }
    const std::string& key = m_result_rows[static_cast<std::size_t>(row)].chat_key;
    const std::string user_name = key.empty() ? std::string() : m_robot.Keys().UserNameOf(key);
    if (user_name.empty()) {
        m_search_status->setText(QString::fromUtf8("这个聊天不在本次登录的联系人中"));
        return;
    }
    if (m_open_chat) {
        m_open_chat(m_robot.Contacts().FindNickName(user_name), user_name);
    }
}

void MessageWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

void MessageWindow::showEvent(QShowEvent* event) {
    // The window exists before the settings are loaded, and the settings window may
    // change the setting too: the box shows the current value whenever the window shows.
    m_show->setChecked(m_robot.Settings().Get()->显示消息);
    QWidget::showEvent(event);
}

bool MessageWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonRelease) {
        ShowDetails();
    } else if (watched == parent() && event->type() == QEvent::EnabledChange &&
               static_cast<QWidget*>(watched)->isEnabled()) {
        watched->removeEventFilter(this);
        ShowBesideOwner();
    }
    return QWidget::eventFilter(watched, event);
}

void MessageWindow::ShowBesideOwner() {
    auto* owner = parentWidget();
    QRect frame = owner->frameGeometry();
    if (const QScreen* screen = owner->screen()) {
        // Moves the owner left as far as needed for both windows to fit side by side.
        const QRect area = screen->availableGeometry();
        // This window has no frame yet: the window manager gives it one as wide as the owner's.
        const int frame_width = frame.width() - owner->width();
        const int needed = frame.width() + WINDOW_GAP + width() + frame_width;
        const int left = std::max(area.left(), std::min(frame.left(), area.right() + 1 - needed));
        if (left != frame.left()) {
            owner->move(owner->pos() + QPoint(left - frame.left(), 0));
            frame = owner->frameGeometry();
        }
    }
    // Shown first: from then on every window manager takes the place as the frame's.
    show();
    MoveFrameTo(this, QPoint(frame.right() + 1 + WINDOW_GAP, frame.top()));
}

}  // namespace zelmo::app
