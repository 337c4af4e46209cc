#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

#include "messages/EditorPort.h"
#include "messages/KnowledgeBase.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;

namespace zelmo::messages {

class ReplyRowsModel;

// The knowledge-base editor ("设置 - 词库编辑器"): the base's editor rows in a list, the
// selected row's keyword and reply in two boxes whose edits change the row, add, delete,
// save and cancel. Created hidden at start-up; closing asks to save a changed base and
// hides. UI thread.
class KnowledgeBaseEditor : public QWidget {
    Q_OBJECT
public:
    // Edits `knowledge`, whose file is config/reply.ini of account_dir; questions and
    // notices go through `screen`.
    KnowledgeBaseEditor(KnowledgeBase& knowledge, const std::string& account_dir,
                        EditorPort& screen, QWidget* owner);

    // Shows the knowledge base's current rows.
    void ShowRows();
    // Copies the file at `path` (file-system bytes) into the account's replies folder and
    // makes the selected row's reply send it ("[图片=NAME]" and the like); a failed copy is a
    // message box. False when nothing changed.
    bool UseReplyFile(const std::string& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The selected row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);
    void FillBoxes();
    void KeywordEdited();
    void ReplyEdited();
    // Tells under the reply box which file a file reply sends, or that it is missing.
    void ShowReplyFile();
    // 按钮_选择文件: asks for a file, then UseReplyFile.
    void PickReplyFile();
    void AddRow();
    void DeleteRow();
    void SaveAndHide();
    // Saves the rows; says so when they went to a new file or could not be written.
    void Save();
    void CancelAndHide();

    std::string ReplyBasePath() const;

    KnowledgeBase& m_knowledge;
    const std::string& m_account_dir;
    EditorPort& m_screen;
    ReplyRowsModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    QLineEdit* m_keyword = nullptr;
    QPlainTextEdit* m_reply = nullptr;
    QLabel* m_reply_file = nullptr;  // 标签_回复文件
    // Set while the boxes are filled from a row, so that filling is not taken for an edit.
    bool m_filling = false;
};

}  // namespace zelmo::messages
