#include "messages/ui/KnowledgeBaseEditor.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <optional>
#include <string>
#include <utility>

#include "config/AccountPaths.h"
#include "media/ReplyMedia.h"
#include "messages/FileNotices.h"
#include "messages/ui/ReplyRowsModel.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QtText.h"

namespace zelmo::messages {

namespace {

// The reply box shows stored "[enter]" as line breaks; what is typed there goes back
// through the base, which stores line breaks as "[enter]" again.
QString ReplyForEditing(std::string_view stored) {
    return widgets::ToQString(platform::ReplaceAllGbk(stored, "[enter]", "\n", true));
}

}  // namespace

KnowledgeBaseEditor::KnowledgeBaseEditor(KnowledgeBase& knowledge, const std::string& account_dir,
                                         EditorPort& screen, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_knowledge(knowledge),
      m_account_dir(account_dir),
      m_screen(screen) {
    setWindowTitle(QString::fromUtf8("设置 - 词库编辑器"));
    resize(560, 460);

    m_model = new ReplyRowsModel(knowledge, this);
    m_list = new QTableView(this);
    m_list->setObjectName(QString::fromUtf8("关键词列表"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    // Fixed row heights keep a base of a million rows as quick as a small one.
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 160);

    m_keyword = new QLineEdit(this);
    m_keyword->setObjectName(QString::fromUtf8("编辑框_关键词"));
    m_reply = new QPlainTextEdit(this);
    m_reply->setObjectName(QString::fromUtf8("编辑框_回复消息"));
    m_reply->setMaximumHeight(90);

    auto* add = new widgets::ClickableLabel(QString::fromUtf8("添加"), this);
    add->setObjectName(QString::fromUtf8("标签_添加"));
    add->setCursor(Qt::PointingHandCursor);
    auto* remove = new widgets::ClickableLabel(QString::fromUtf8("删除"), this);
    remove->setObjectName(QString::fromUtf8("标签_删除"));
    remove->setCursor(Qt::PointingHandCursor);
    m_reply_file = new QLabel(this);
    m_reply_file->setObjectName(QString::fromUtf8("标签_回复文件"));
    m_reply_file->setWordWrap(true);
    auto* pick = new QPushButton(QString::fromUtf8("选择文件…"), this);
    pick->setObjectName(QString::fromUtf8("按钮_选择文件"));
    pick->setToolTip(QString::fromUtf8("复制一个图片、视频或文件到回复文件夹，作为这一行的回复"));
    auto* save = new QPushButton(QString::fromUtf8("保存"), this);
    save->setObjectName(QString::fromUtf8("按钮_保存"));
    auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
    cancel->setObjectName(QString::fromUtf8("按钮_取消"));

    auto* boxes = new QGridLayout;
    boxes->addWidget(new QLabel(QString::fromUtf8("关键词："), this), 0, 0);
    boxes->addWidget(m_keyword, 0, 1);
    boxes->addWidget(new QLabel(QString::fromUtf8("回复消息："), this), 1, 0, Qt::AlignTop);
    boxes->addWidget(m_reply, 1, 1);
    auto* file_row = new QHBoxLayout;
    file_row->addWidget(m_reply_file, 1);
    file_row->addWidget(pick);
    boxes->addLayout(file_row, 2, 1);
    auto* actions = new QHBoxLayout;
    actions->addWidget(add);
    actions->addWidget(remove);
    actions->addStretch(1);
    actions->addWidget(save);
    actions->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(boxes);
    layout->addLayout(actions);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { FillBoxes(); });
    connect(m_keyword, &QLineEdit::textChanged, this, [this] { KeywordEdited(); });
    connect(m_reply, &QPlainTextEdit::textChanged, this, [this] { ReplyEdited(); });
    connect(add, &widgets::ClickableLabel::clicked, this, [this] { AddRow(); });
    connect(remove, &widgets::ClickableLabel::clicked, this, [this] { DeleteRow(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveAndHide(); });
    connect(cancel, &QPushButton::clicked, this, [this] { CancelAndHide(); });
    connect(pick, &QPushButton::clicked, this, [this] { PickReplyFile(); });
    ShowReplyFile();
}

void KnowledgeBaseEditor::ShowRows() {
    m_model->Refresh();
}

int KnowledgeBaseEditor::SelectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void KnowledgeBaseEditor::SelectRow(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        m_list->clearSelection();
        FillBoxes();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
    FillBoxes();
}

void KnowledgeBaseEditor::FillBoxes() {
    const int row = SelectedRow();
    std::optional<ReplyPair> pair;
    if (row >= 0) {
        pair = m_knowledge.Row(static_cast<std::size_t>(row));
    }
    m_filling = true;
    m_keyword->setText(pair ? widgets::ToQString(pair->keyword) : QString());
    m_reply->setPlainText(pair ? ReplyForEditing(pair->reply) : QString());
    m_filling = false;
    ShowReplyFile();
}

void KnowledgeBaseEditor::KeywordEdited() {
    const int row = SelectedRow();
    if (m_filling || row < 0) {
        return;
    }
    m_knowledge.SetRowKeyword(static_cast<std::size_t>(row), widgets::ToGbk(m_keyword->text()));
    m_model->RowChanged(row);
}

void KnowledgeBaseEditor::ReplyEdited() {
    const int row = SelectedRow();
    if (m_filling || row < 0) {
        return;
    }
    ShowReplyFile();
    m_knowledge.SetRowReply(static_cast<std::size_t>(row), widgets::ToGbk(m_reply->toPlainText()));
    m_model->RowChanged(row);
}

void KnowledgeBaseEditor::AddRow() {
    const int selected = SelectedRow();
    const int row = selected >= 0 ? selected : m_model->rowCount();
    const QString keyword = m_keyword->text();
    const QString reply = m_reply->toPlainText();
    m_model->InsertRow(row, keyword.isEmpty() ? platform::Gbk("-关键词-") : widgets::ToGbk(keyword),
                       reply.isEmpty() ? platform::Gbk("-回复-") : widgets::ToGbk(reply));
    // Typing goes on in the new row.
    SelectRow(row);
}

void KnowledgeBaseEditor::DeleteRow() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    m_model->RemoveRow(row);
    SelectRow(row > 0 ? row - 1 : 0);
}

void KnowledgeBaseEditor::ShowReplyFile() {
    const std::optional<media::ReplyMedia> reply =
        media::ParseReplyMedia(widgets::ToGbk(m_reply->toPlainText()));
    if (!reply) {
        m_reply_file->setText(
            QString::fromUtf8("回复为 [图片=文件名]、[视频=文件名] 或 [文件=文件名] "
                              "时发送回复文件夹中的文件"));
        return;
    }
    const QString name = widgets::ToQString(reply->name);
    if (media::ResolveReplyFile(m_account_dir, *reply).empty()) {
        m_reply_file->setText(QString::fromUtf8("找不到回复文件 replies/") + name +
                              QString::fromUtf8("，这条回复不会发出"));
        return;
    }
    m_reply_file->setText(QString::fromUtf8("发送回复文件 replies/") + name);
}

void KnowledgeBaseEditor::PickReplyFile() {
    if (SelectedRow() < 0) {
        m_screen.ShowMessageBox(platform::Gbk("提示"), platform::Gbk("请先选择一行。"));
        return;
    }
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString::fromUtf8("选择回复文件"), QString(),
        QString::fromUtf8("所有文件 (*);;图片 (*.jpg *.jpeg *.png *.bmp *.gif);;视频 (*.mp4)"));
    if (!chosen.isEmpty()) {
        UseReplyFile(QFile::encodeName(chosen).toStdString());
    }
}

bool KnowledgeBaseEditor::UseReplyFile(const std::string& path) {
    if (SelectedRow() < 0) {
        return false;
    }
    const media::CopiedReplyFile copied = media::CopyIntoReplies(m_account_dir, path);
    if (!copied.error.empty()) {
        m_screen.ShowMessageBox(platform::Gbk("错误提示"), copied.error);
        return false;
    }
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    // Through the box, as if typed: the row and the base follow its edit.
    m_reply->setPlainText(
        widgets::ToQString(media::ReplyMediaText(media::ReplyKindForFile(name), copied.name)));
    return true;
}

std::string KnowledgeBaseEditor::ReplyBasePath() const {
    return config::ConfigPath(m_account_dir, config::REPLY_BASE_FILE);
}

void KnowledgeBaseEditor::SaveAndHide() {
    Save();
    hide();
}

void KnowledgeBaseEditor::Save() {
    const ReplyBaseSave saved = m_knowledge.Save(ReplyBasePath());
    ShowRows();
    if (const std::optional<FileNotice> notice = SaveNotice(saved)) {
        m_screen.ShowMessageBox(notice->title, notice->text);
    }
}

void KnowledgeBaseEditor::CancelAndHide() {
    // Only the editor's own changes go: pairs learned in chats meanwhile stay, unsaved.
    m_knowledge.DiscardEdits();
    ShowRows();
    SelectRow(-1);
    hide();
}

void KnowledgeBaseEditor::closeEvent(QCloseEvent* event) {
    if (m_knowledge.Dirty() &&
        m_screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("您已修改了词库，是否保存"))) {
        Save();
    }
    // The window lives until the program ends; closing only hides it.
    event->ignore();
    hide();
}

}  // namespace zelmo::messages
