#include "onebot/ContactIds.h"

namespace zelmo::onebot {

std::string ContactIds::IdOf(std::string_view user_name) const {
    if (user_name.empty()) {
        return {};
    }
    std::string key = m_keys.KeyOf(user_name);
    return key.empty() ? std::string(user_name) : key;
}

std::string ContactIds::UserNameOf(std::string_view id) const {
    if (contacts::IsContactKey(id)) {
        return m_keys.UserNameOf(id);
    }
    return m_keys.AddressNow(id).value_or(std::string());
}

}  // namespace zelmo::onebot
