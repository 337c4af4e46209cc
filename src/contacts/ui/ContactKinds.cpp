#include "contacts/ui/ContactKinds.h"

#include "platform/GbkLiteral.h"

namespace zelmo::contacts {

const ContactKinds& Kinds() {
    static const ContactKinds kinds{platform::Gbk("男"), platform::Gbk("女"),
                                    platform::Gbk("公众号"), platform::Gbk("微群"),
                                    platform::Gbk("未知")};
    return kinds;
}

}  // namespace zelmo::contacts
