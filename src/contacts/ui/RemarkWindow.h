#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;

namespace zelmo::contacts {

// The remark window ("修改备注 - " + nickname) for one friend row. Closing it hands the
// edited remark to the commit function, then the window deletes itself. UI thread.
class RemarkWindow : public QWidget {
    Q_OBJECT
public:
    struct Target {
        std::string nickname;  // GBK
        std::string remark;    // the remark when the window opened (GBK)
        std::string user_name;
        int row = -1;  // the friend's row in the friend list
    };
    // commit gets the target and the box's text (GBK) once, when the window closes.
    using Commit = std::function<void(const Target& target, std::string new_remark)>;

    RemarkWindow(Target target, Commit commit, QWidget* owner);

    const Target& Remembered() const { return m_target; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Target m_target;
    Commit m_commit;
    QLineEdit* m_remark;  // 编辑框_备注
};

}  // namespace zelmo::contacts
