#pragma once

#include <QWidget>
#include <string_view>

namespace zelmo::app {
class Robot;
}
namespace zelmo::contacts {
class MassCandidateList;
}

namespace zelmo::mass {

// The mass-send window ("批量发送信息"). Created hidden at start-up; closing hides it
// and saves its texts and pacing. UI thread.
class MassSendWindow : public QWidget {
    Q_OBJECT
public:
    MassSendWindow(app::Robot& robot, QWidget* owner);

    void AppendLog(std::string_view text);
    void SetRunning(bool running);
    // The pacing edit boxes and the text list show the loaded values.
    void ShowSettings();
    // Refills the candidate list from the contact store.
    void FillCandidates();
    // The candidate list with its search and kind check boxes.
    contacts::MassCandidateList* Candidates() const { return m_candidates; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    app::Robot& m_robot;
    contacts::MassCandidateList* m_candidates;
};

}  // namespace zelmo::mass
