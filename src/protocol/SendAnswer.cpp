#include "protocol/SendAnswer.h"

#include "protocol/TextHelpers.h"

namespace zelmo::protocol {

SendAnswer ReadSendAnswer(std::string_view answer) {
    return {ExtractBetween(answer, "Ret\": ", ","), ExtractBetween(answer, "\"MsgID\": \"", "\"")};
}

}  // namespace zelmo::protocol
