#include "app/ArchiveSearch.h"

#include <utility>

#include "store/ArchiveReader.h"

namespace zelmo::app {

ArchiveSearch::ArchiveSearch(Answer answer)
    : m_answer(std::move(answer)), m_thread([this] { Run(); }) {}

ArchiveSearch::~ArchiveSearch() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

std::uint64_t ArchiveSearch::Ask(std::string path, store::SearchQuery query) {
    std::uint64_t serial = 0;
    {
        std::lock_guard lock(m_mutex);
        serial = ++m_serial;
        m_waiting = Question{serial, std::move(path), std::move(query)};
    }
    m_wake.notify_one();
    return serial;
}

void ArchiveSearch::Run() {
    // Kept open between questions: opening costs more than a search through the index.
    std::optional<store::ArchiveReader> reader;
    std::string reader_path;
    for (;;) {
        Question question;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_waiting.has_value(); });
            if (m_stop) {
                return;
            }
            question = std::move(*m_waiting);
            m_waiting.reset();
        }
        store::SearchPage page;
        if (!reader || reader_path != question.path) {
            reader.reset();
            reader = store::ArchiveReader::Open(question.path, &page.error);
            reader_path = question.path;
        }
        if (reader) {
            page = reader->Search(question.query);
            if (!page.error.empty()) {
                // Opened afresh next time: the file may have been moved aside meanwhile.
                reader.reset();
            }
        }
        try {
            m_answer(question.serial, std::move(page));
        } catch (...) {
            // A window's trouble with one answer ends no later search.
        }
    }
}

}  // namespace zelmo::app
