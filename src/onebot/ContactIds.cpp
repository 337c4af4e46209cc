#include "onebot/ContactIds.h"

namespace zelmo::onebot {

std::string ContactIds::IdOf(std::string_view user_name) const {
    return std::string(user_name);
}

std::string ContactIds::UserNameOf(std::string_view id) const {
    return std::string(id);
}

}  // namespace zelmo::onebot
