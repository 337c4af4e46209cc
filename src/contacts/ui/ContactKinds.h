#pragma once

#include <string>

namespace zelmo::contacts {

// The kind labels of contact records, in GBK.
struct ContactKinds {
    std::string male;            // "男"
    std::string female;          // "女"
    std::string public_account;  // "公众号"
    std::string group;           // "微群"
    std::string unknown;         // "未知": a person of unknown sex
};

const ContactKinds& Kinds();

}  // namespace zelmo::contacts
