#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mass/MassPort.h"
#include "platform/TextFile.h"

namespace zelmo::mass {

// One prepared text: its type label ("文本" for texts added in the window) and the text,
// line breaks stored as "[enter]". GBK.
struct AdText {
    std::string label;
    std::string text;

    bool operator==(const AdText&) const = default;
};

// A row of the text list: the text and its tick.
struct TextRow {
    AdText ad;
    bool ticked = false;

    bool operator==(const TextRow&) const = default;
};

// A contact ticked for a run (GBK).
struct MassMember {
    std::string UserName;
    std::string NickName;

    bool operator==(const MassMember&) const = default;
};

// Idle: caption "开始群发", MassRunning 0. Running: caption "停止群发", MassRunning 1.
// Stopping: a stop was asked for; caption "开始群发", MassRunning still 1 until the worker
// notices.
enum class MassPhase { Idle, Running, Stopping };

// The mass sender's model, which the mass-send window shows: the text list with its ticks
// and the run state with the selections fixed at start. Any thread; each call is atomic.
class MassState {
public:
    // The text list, top to bottom.
    std::vector<TextRow> Rows() const;
    std::optional<AdText> TextAt(std::size_t index) const;
    std::size_t TextCount() const;
    // Replaces the list; every row unticked.
    void SetTexts(const std::vector<AdText>& texts);
    // Inserts an unticked row before `index` (clamped to the end).
    void InsertText(std::size_t index, AdText text);
    // Each false (nothing changed) when the row does not exist.
    bool ReplaceText(std::size_t index, AdText text);
    bool DeleteText(std::size_t index);
    bool SetTicked(std::size_t index, bool ticked);
    // The ticked rows' texts, top to bottom.
    std::vector<AdText> TickedTexts() const;

    // False when the last load found the text file but could not read it: saving then
    // would replace texts that were never shown.
    bool MaySaveTexts() const;
    void SetMaySaveTexts(bool may_save);

    MassPhase Phase() const;
    // MassRunning: from an accepted start until the worker ends.
    bool Running() const { return Phase() != MassPhase::Idle; }
    // Idle -> Running with the run's selections; false (nothing changed) unless idle.
    bool BeginRun(std::vector<MassMember> members, std::vector<AdText> texts);
    // Running -> Stopping (the stop request); false in any other phase.
    bool RequestStop();
    bool StopRequested() const { return Phase() == MassPhase::Stopping; }
    // Back to Idle; the selections stay for the next start to replace.
    void EndRun();
    std::vector<MassMember> SelectedMembers() const;
    std::vector<AdText> SelectedTexts() const;

    // MassLogLock: one log append at a time.
    std::mutex& MassLogLock() { return m_log_lock; }

private:
    mutable std::mutex m_mutex;
    std::vector<TextRow> m_rows;
    bool m_may_save = true;
    MassPhase m_phase = MassPhase::Idle;
    std::vector<MassMember> m_members;
    std::vector<AdText> m_texts;
    std::mutex m_log_lock;
};

// Reads "config/mass.ini" of the account into the text list (all unticked) and has the
// window show it; says what the read found. A missing file gives an empty list; a UTF-8
// file is converted (its original kept as "mass.ini.utf8-backup"); a file that cannot be
// read or decoded gives an empty list that is never saved over it.
platform::TextFileReport LoadMassTexts(MassState& state, std::string_view account_dir,
                                       MassPort& screen);

// Writes the text list to "config/mass.ini", replacing the file in one step and keeping
// the old one as "mass.ini.bak". False when nothing was written (see MaySaveTexts) or
// there is no account folder yet.
bool SaveMassTexts(const MassState& state, std::string_view account_dir);

}  // namespace zelmo::mass
