#include "contacts/ui/ContactKinds.h"

#include "app/GbkLiteral.h"

namespace zelmo::contacts {

const ContactKinds& Kinds() {
    static const ContactKinds kinds{app::Gbk("男"), app::Gbk("女"), app::Gbk("公众号"),
                                    app::Gbk("微群")};
    return kinds;
}

}  // namespace zelmo::contacts
