#include "messages/KnowledgeBase.h"

namespace zelmo::messages {

void KnowledgeBase::Load(std::string_view) {}
bool KnowledgeBase::Save(std::string_view) {
    return true;
}
bool KnowledgeBase::Dirty() const {
    return false;
}

}  // namespace zelmo::messages
