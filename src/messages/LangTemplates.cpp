#include "messages/LangTemplates.h"

namespace zelmo::messages {

LangTemplates LoadLangTemplates(std::string_view) {
    return {};
}

}  // namespace zelmo::messages
