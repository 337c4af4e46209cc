#include "messages/KnowledgeBase.h"

namespace zelmo::messages {

void KnowledgeBase::Load(std::string_view) {}
bool KnowledgeBase::Save(std::string_view) {
    return true;
}
bool KnowledgeBase::Dirty() const {
    return false;
}
std::string KnowledgeBase::LookupReply(std::string_view, int, const config::Settings&,
                                       platform::Clock&) const {
    return {};
}
void KnowledgeBase::LearnPair(std::string_view, std::string_view) {}

}  // namespace zelmo::messages
