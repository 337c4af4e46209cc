#pragma once

#include <QWidget>
#include <string_view>

#include "contacts/ContactStore.h"
#include "mass/MassSender.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeView;

namespace zelmo::widgets {
class ClickableLabel;
}

namespace zelmo::mass {

class MassCandidateList;
class MassTextModel;

// The mass-send window ("批量发送信息"): the candidate list, the text list with its entry
// tab, the pacing boxes, the start/stop button and the log. It shows the mass state and
// hands clicks to the mass sender. Created hidden at start-up; closing hides it and saves
// its texts and pacing. Its width stays 975, its height at least 615. UI thread.
class MassSendWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int WIDTH = 975;
    static constexpr int MIN_HEIGHT = 615;

    // `contacts` fills the candidate list.
    MassSendWindow(MassParts parts, const contacts::ContactStore& contacts, QWidget* owner);

    // Appends a log text (GBK, with its own CR LF line breaks) to 编辑框_日志.
    void AppendLog(std::string_view text);
    // Caption and enabled controls follow the mass state's current run phase.
    void ShowRunState();
    // The pacing boxes and 选择框_日志 show the current MassSettings.
    void ShowSettings();
    // The text list shows the mass state's rows.
    void ShowTexts();
    // Refills the candidate list from the contact store.
    void FillCandidates();
    // The candidate list with its search and kind check boxes.
    MassCandidateList* Candidates() const { return m_candidates; }

    // What the three pacing boxes hold (GBK).
    MassPacing Pacing() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildTexts();
    void BuildPacing();
    void BuildRunControls();
    void Connect();
    // Sizes the group boxes and lists from the client width.
    void ApplyLayout();
    int SelectedTextRow() const;
    void AddText();
    void EditSelectedText();
    void DeleteSelectedText();
    void ClearLog();

    MassParts m_parts;
    QGroupBox* m_members_box;         // 分组框1
    MassCandidateList* m_candidates;  // holds 群发列表框_成员
    QGroupBox* m_texts_box;           // 分组框2
    QTreeView* m_texts = nullptr;     // 群发列表框_广告
    MassTextModel* m_text_model = nullptr;
    QTabWidget* m_text_tabs = nullptr;       // 选择夹_广告
    QPlainTextEdit* m_text_entry = nullptr;  // 编辑框_文本
    QPushButton* m_add_text = nullptr;       // 按钮_文本添加
    QLabel* m_delay_label = nullptr;
    QLineEdit* m_delay = nullptr;  // 编辑框_消息延时
    QLabel* m_passes_label = nullptr;
    QLineEdit* m_passes = nullptr;  // 编辑框_次数
    QLabel* m_pass_delay_label = nullptr;
    QLineEdit* m_pass_delay = nullptr;           // 编辑框_重复延时
    QPushButton* m_start = nullptr;              // 按钮_开始群发
    QPlainTextEdit* m_log = nullptr;             // 编辑框_日志
    widgets::ClickableLabel* m_clear = nullptr;  // 标签_清空
    QCheckBox* m_show_log = nullptr;             // 选择框_日志
};

}  // namespace zelmo::mass
