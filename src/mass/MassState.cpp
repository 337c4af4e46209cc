#include "mass/MassState.h"

#include <algorithm>
#include <utility>

namespace zelmo::mass {

std::vector<TextRow> MassState::Rows() const {
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::optional<AdText> MassState::TextAt(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size()) {
        return std::nullopt;
    }
    return m_rows[index].ad;
}

std::size_t MassState::TextCount() const {
    std::lock_guard lock(m_mutex);
    return m_rows.size();
}

void MassState::SetTexts(const std::vector<AdText>& texts) {
    std::vector<TextRow> rows;
    rows.reserve(texts.size());
    for (const AdText& text : texts) {
        rows.push_back(TextRow{text, false});
    }
    std::lock_guard lock(m_mutex);
    m_rows = std::move(rows);
}

void MassState::InsertText(std::size_t index, AdText text) {
    std::lock_guard lock(m_mutex);
    const auto at = static_cast<std::ptrdiff_t>(std::min(index, m_rows.size()));
    m_rows.insert(m_rows.begin() + at, TextRow{std::move(text), false});
}

bool MassState::ReplaceText(std::size_t index, AdText text) {
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size()) {
        return false;
    }
    m_rows[index].ad = std::move(text);
    return true;
}

bool MassState::DeleteText(std::size_t index) {
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size()) {
        return false;
    }
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool MassState::SetTicked(std::size_t index, bool ticked) {
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size()) {
        return false;
    }
    m_rows[index].ticked = ticked;
    return true;
}

std::vector<AdText> MassState::TickedTexts() const {
    std::lock_guard lock(m_mutex);
    std::vector<AdText> ticked;
    for (const TextRow& row : m_rows) {
        if (row.ticked) {
            ticked.push_back(row.ad);
        }
    }
    return ticked;
}

bool MassState::MaySaveTexts() const {
    std::lock_guard lock(m_mutex);
    return m_may_save;
}

void MassState::SetMaySaveTexts(bool may_save) {
    std::lock_guard lock(m_mutex);
    m_may_save = may_save;
}

MassPhase MassState::Phase() const {
    std::lock_guard lock(m_mutex);
    return m_phase;
}

bool MassState::BeginRun(std::vector<MassMember> members, std::vector<AdText> texts) {
    std::lock_guard lock(m_mutex);
    if (m_phase != MassPhase::Idle) {
        return false;
    }
    m_phase = MassPhase::Running;
    m_members = std::move(members);
    m_texts = std::move(texts);
    return true;
}

bool MassState::RequestStop() {
    std::lock_guard lock(m_mutex);
    if (m_phase != MassPhase::Running) {
        return false;
    }
    m_phase = MassPhase::Stopping;
    return true;
}

void MassState::EndRun() {
    std::lock_guard lock(m_mutex);
    m_phase = MassPhase::Idle;
}

std::vector<MassMember> MassState::SelectedMembers() const {
    std::lock_guard lock(m_mutex);
    return m_members;
}

std::vector<AdText> MassState::SelectedTexts() const {
    std::lock_guard lock(m_mutex);
    return m_texts;
}

}  // namespace zelmo::mass
