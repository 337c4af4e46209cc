#include "mass/ui/MassSendWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "contacts/ui/ListColumns.h"
#include "mass/ui/MassCandidateList.h"
#include "mass/ui/MassTextModel.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QtText.h"

namespace zelmo::mass {

namespace {

using widgets::U;

// Offsets from the client width and the group boxes that the layout keeps on every resize.
constexpr int MARGIN = 5;
constexpr int GROUP_WIDTH_LESS = 10;
constexpr int MEMBER_LIST_WIDTH_LESS = 45;
constexpr int MEMBER_LIST_HEIGHT_LESS = 16;
constexpr int TEXT_LIST_WIDTH_LESS = 320;
constexpr int TEXT_TABS_LEFT_LESS = 305;
constexpr int LOG_WIDTH_LESS = 140;

constexpr int MEMBERS_BOX_HEIGHT = 250;
constexpr int INNER_LEFT = 8;
constexpr int INNER_TOP = 16;
constexpr int MEMBERS_TOP = 14;
constexpr int TEXTS_HEIGHT = 164;
constexpr int TEXT_TABS_WIDTH = 295;
constexpr int PACING_TOP = INNER_TOP + TEXTS_HEIGHT + 8;
constexpr int PACING_GAP = 28;
constexpr int EDIT_HEIGHT = 22;
constexpr int LOG_TOP = PACING_TOP + EDIT_HEIGHT + 10;
constexpr int BOTTOM_MARGIN = 8;
constexpr int SIDE_WIDTH = 115;
constexpr int BUTTON_HEIGHT = 32;
constexpr int LOG_LINES_KEPT = 50000;
constexpr double BOX_FONT_SCALE = 0.9;

// The labels leave a run of blanks where their edit box sits.
constexpr const char* DELAY_LABEL = "每条消息间隔        毫秒";
constexpr const char* PASSES_LABEL = "选中成员重复        几遍";
constexpr const char* PASS_DELAY_LABEL = "每遍之间间隔        毫秒";
constexpr const char* LABEL_HEAD = "每条消息间隔";
constexpr const char* LABEL_GAP = "        ";

const std::vector<contacts::ColumnSpec>& TextColumns() {
    static const std::vector<contacts::ColumnSpec> columns = {
        {"选中", 36}, {"类型", 50}, {"内容", 520}};
    return columns;
}

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(U(name));
    return widget;
}

// Qt's editors break lines with LF; the core's texts with CR LF.
std::string FromEditor(const QString& text) {
    QString crlf = text;
    crlf.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    crlf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return widgets::ToGbk(crlf);
}

QString ToEditor(std::string_view gbk) {
    QString text = widgets::ToQString(gbk);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

}  // namespace

MassSendWindow::MassSendWindow(MassParts parts, const contacts::ContactStore& contacts,
                               QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_parts(std::move(parts)),
      m_members_box(Named(new QGroupBox(U("群发成员"), this), "分组框1")),
      m_candidates(new MassCandidateList(contacts, m_members_box)),
      m_texts_box(Named(new QGroupBox(U("群发内容"), this), "分组框2")) {
    setWindowTitle(U("批量发送信息"));
    BuildTexts();
    BuildPacing();
    BuildRunControls();
    Connect();
    setMinimumSize(WIDTH, MIN_HEIGHT);
    setMaximumWidth(WIDTH);
    resize(WIDTH, MIN_HEIGHT);
    ShowRunState();
    ShowSettings();
    ApplyLayout();
}

void MassSendWindow::BuildTexts() {
    m_texts = contacts::NewListView(U("群发列表框_广告"), m_texts_box);
    m_texts->setContextMenuPolicy(Qt::CustomContextMenu);
    m_text_model = new MassTextModel(m_parts.state, this);
    m_texts->setModel(m_text_model);
    contacts::ApplyColumnWidths(m_texts, TextColumns());

    m_text_tabs = Named(new QTabWidget(m_texts_box), "选择夹_广告");
    auto* page = new QWidget(m_text_tabs);
    m_text_entry = Named(new QPlainTextEdit(page), "编辑框_文本");
    m_add_text = Named(new QPushButton(U("添加"), page), "按钮_文本添加");
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(m_text_entry, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_add_text);
    column->addLayout(buttons);
    m_text_tabs->addTab(page, U("文本广告"));
}

void MassSendWindow::BuildPacing() {
    m_delay_label = new QLabel(U(DELAY_LABEL), m_texts_box);
    m_delay_label->setObjectName(U("标签_消息延时"));
    m_delay = Named(new QLineEdit(m_texts_box), "编辑框_消息延时");
    m_passes_label = new QLabel(U(PASSES_LABEL), m_texts_box);
    m_passes_label->setObjectName(U("标签_次数"));
    m_passes = Named(new QLineEdit(m_texts_box), "编辑框_次数");
    m_pass_delay_label = new QLabel(U(PASS_DELAY_LABEL), m_texts_box);
    m_pass_delay_label->setObjectName(U("标签_重复延时"));
    m_pass_delay = Named(new QLineEdit(m_texts_box), "编辑框_重复延时");
    // The blanks of a label are narrow: a frameless box with a slightly smaller font
    // shows a number of four or five digits there.
    for (QLineEdit* box : {m_delay, m_passes, m_pass_delay}) {
        box->setFrame(false);
        box->setTextMargins(0, 0, 0, 0);
        box->setAlignment(Qt::AlignCenter);
        QFont font = box->font();
        font.setPointSizeF(font.pointSizeF() * BOX_FONT_SCALE);
        box->setFont(font);
        box->setStyleSheet(QStringLiteral("QLineEdit { border-bottom: 1px solid gray; }"));
        box->raise();
    }
}

void MassSendWindow::BuildRunControls() {
    m_start = Named(new QPushButton(m_texts_box), "按钮_开始群发");
    m_log = Named(new QPlainTextEdit(m_texts_box), "编辑框_日志");
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(LOG_LINES_KEPT);
    m_show_log = Named(new QCheckBox(U("显示日志"), m_texts_box), "选择框_日志");
    m_clear = Named(new widgets::ClickableLabel(U("清空"), m_texts_box), "标签_清空");
    m_clear->setCursor(Qt::PointingHandCursor);
}

void MassSendWindow::Connect() {
    connect(m_start, &QPushButton::clicked, this, [this] {
        MassRequest request{Pacing(), {}};
        request.members = m_candidates->TickedCandidates();
        StartStopMass(m_parts, request);
    });
    connect(m_add_text, &QPushButton::clicked, this, [this] { AddText(); });
    connect(m_texts, &QAbstractItemView::doubleClicked, this, [this] { EditSelectedText(); });
    connect(m_texts, &QWidget::customContextMenuRequested, this, [this] { DeleteSelectedText(); });
    connect(m_clear, &widgets::ClickableLabel::clicked, this, [this] { ClearLog(); });
    // The flag is the settings' 监控日志; the box lets the user change it.
    connect(m_show_log, &QCheckBox::clicked, this, [this](bool checked) {
        config::MassSettings settings = *m_parts.settings.GetMass();
        settings.监控日志 = checked;
        m_parts.settings.SetMass(std::move(settings));
    });
}

void MassSendWindow::ApplyLayout() {
    const int client_width = contentsRect().width();
    const int client_height = contentsRect().height();

    m_members_box->setGeometry(MARGIN, MARGIN, client_width - GROUP_WIDTH_LESS, MEMBERS_BOX_HEIGHT);
    m_candidates->setGeometry(INNER_LEFT, MEMBERS_TOP,
                              m_members_box->width() - MEMBER_LIST_WIDTH_LESS,
                              m_members_box->height() - MEMBER_LIST_HEIGHT_LESS);

    const int texts_top = MARGIN + MEMBERS_BOX_HEIGHT + MARGIN;
    m_texts_box->setGeometry(MARGIN, texts_top, client_width - GROUP_WIDTH_LESS,
                             std::max(client_height - texts_top - MARGIN, LOG_TOP + 80));
    const int group_width = m_texts_box->width();
    const int group_height = m_texts_box->height();
    m_texts->setGeometry(INNER_LEFT, INNER_TOP, group_width - TEXT_LIST_WIDTH_LESS, TEXTS_HEIGHT);
    m_text_tabs->setGeometry(group_width - TEXT_TABS_LEFT_LESS, INNER_TOP - 4, TEXT_TABS_WIDTH,
                             TEXTS_HEIGHT + 4);

    // Each edit box covers the blanks of its label.
    const QFontMetrics metrics = m_delay_label->fontMetrics();
    const int head = metrics.horizontalAdvance(U(LABEL_HEAD));
    const int gap = metrics.horizontalAdvance(U(LABEL_GAP));
    int left = INNER_LEFT;
    for (auto [label, box] :
         {std::pair{m_delay_label, m_delay}, std::pair{m_passes_label, m_passes},
          std::pair{m_pass_delay_label, m_pass_delay}}) {
        const int label_width = metrics.horizontalAdvance(label->text()) + 4;
        label->setGeometry(left, PACING_TOP, label_width, EDIT_HEIGHT);
        box->setGeometry(left + head + 2, PACING_TOP, gap - 2, EDIT_HEIGHT);
        left += label_width + PACING_GAP;
    }

    const int log_height = group_height - LOG_TOP - BOTTOM_MARGIN;
    m_log->setGeometry(INNER_LEFT, LOG_TOP, group_width - LOG_WIDTH_LESS, log_height);
    const int side_left = group_width - SIDE_WIDTH - 10;
    m_start->setGeometry(side_left, LOG_TOP, SIDE_WIDTH, BUTTON_HEIGHT);
    m_show_log->setGeometry(side_left, LOG_TOP + BUTTON_HEIGHT + 10, SIDE_WIDTH, EDIT_HEIGHT);
    m_clear->setGeometry(side_left, LOG_TOP + BUTTON_HEIGHT + 10 + EDIT_HEIGHT + 6, SIDE_WIDTH,
                         EDIT_HEIGHT);
}

void MassSendWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyLayout();
}

void MassSendWindow::AppendLog(std::string_view text) {
    QString shown = widgets::ToQString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QTextCursor end = m_log->textCursor();
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    m_log->setTextCursor(end);
    m_log->ensureCursorVisible();
}

void MassSendWindow::ShowRunState() {
    const MassPhase phase = m_parts.state.Phase();
    m_start->setText(widgets::ToQString(MassCaption(phase)));
    const bool idle = phase == MassPhase::Idle;
    m_candidates->SetControlsEnabled(idle);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_texts, m_delay, m_passes, m_pass_delay}) {
        control->setEnabled(idle);
    }
}

void MassSendWindow::ShowSettings() {
    const std::shared_ptr<const config::MassSettings> settings = m_parts.settings.GetMass();
    m_delay->setText(widgets::ToQString(settings->消息延时));
    m_passes->setText(widgets::ToQString(settings->重复几遍));
    m_pass_delay->setText(widgets::ToQString(settings->重复延时));
    m_show_log->setChecked(settings->监控日志);
}

void MassSendWindow::ShowTexts() {
    m_text_model->Refresh();
}

void MassSendWindow::FillCandidates() {
    m_candidates->FillMassCandidates();
}

MassPacing MassSendWindow::Pacing() const {
    return MassPacing{widgets::ToGbk(m_delay->text()), widgets::ToGbk(m_passes->text()),
                      widgets::ToGbk(m_pass_delay->text())};
}

int MassSendWindow::SelectedTextRow() const {
    const QModelIndexList rows = m_texts->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void MassSendWindow::AddText() {
    if (AddMassText(m_parts.state, m_parts.screen, FromEditor(m_text_entry->toPlainText()),
                    SelectedTextRow())) {
        ShowTexts();
    }
}

void MassSendWindow::EditSelectedText() {
    const int row = SelectedTextRow();
    if (row >= 0) {
        m_text_entry->setPlainText(ToEditor(MassTextForEditing(m_parts.state, row)));
    }
}

void MassSendWindow::DeleteSelectedText() {
    if (AskDeleteMassText(m_parts.state, m_parts.screen, SelectedTextRow())) {
        ShowTexts();
    }
}

void MassSendWindow::ClearLog() {
    m_clear->setEnabled(false);
    m_log->clear();
    m_clear->setEnabled(true);
}

void MassSendWindow::closeEvent(QCloseEvent* event) {
    // Closing hides; a run goes on.
    event->ignore();
    hide();
    KeepMassWindow(m_parts.state, m_parts.settings, m_parts.account_dir, Pacing());
}

}  // namespace zelmo::mass
