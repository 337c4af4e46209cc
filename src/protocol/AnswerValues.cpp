#include "protocol/AnswerValues.h"

#include "protocol/AnswerText.h"

namespace zelmo::protocol {

using Token = platform::JsonReader::Token;

void ReadPast(platform::JsonReader& reader, std::size_t depth) {
    while (reader.Depth() > depth) {
        if (reader.Next() == Token::Fault) {
            return;
        }
    }
}

std::string_view ScalarValue(platform::JsonReader& reader) {
    const Token token = reader.SkipValue();
    return token == Token::String || token == Token::Scalar ? reader.ValueBytes()
                                                            : std::string_view();
}

std::string BaseResponseRet(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    std::string ret;
    if (reader.Next() == Token::ObjectStart) {
        bool seen = false;
        for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
            if (reader.Text() == "Ret" && !seen) {
                seen = true;
                ret = TokenText(ScalarValue(reader));
            } else {
                reader.SkipValue();
            }
        }
    }
    ReadPast(reader, depth);
    return ret;
}

}  // namespace zelmo::protocol
