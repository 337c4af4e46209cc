#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "ScratchFolder.h"
#include "messages/KnowledgeBase.h"
#include "messages/ReplyFile.h"
#include "platform/Files.h"
#include "platform/TextDecoding.h"

namespace {

using zelmo::messages::ReplyPair;

// The reply file read the straightforward way: bare line feeds become CR LF, the text
// splits at each first CR LF CR LF, each block at CR LF.
std::vector<ReplyPair> ReferencePairs(std::string_view file_text) {
    std::string text;
    for (std::size_t pos = 0; pos < file_text.size(); ++pos) {
        if (file_text[pos] == '\n' && (pos == 0 || file_text[pos - 1] != '\r')) {
            text += '\r';
        }
        text += file_text[pos];
    }
    std::vector<ReplyPair> pairs;
    std::size_t block_start = 0;
    while (block_start <= text.size()) {
        std::size_t block_end = text.find("\r\n\r\n", block_start);
        if (block_end == std::string::npos) {
            block_end = text.size();
        }
        const std::string block = text.substr(block_start, block_end - block_start);
        const std::size_t first_break = block.find("\r\n");
        if (first_break != std::string::npos) {
            std::size_t line_start = first_break + 2;
            while (line_start <= block.size()) {
                std::size_t line_end = block.find("\r\n", line_start);
                if (line_end == std::string::npos) {
                    line_end = block.size();
                }
                if (line_end > line_start) {
                    pairs.push_back(ReplyPair{block.substr(0, first_break),
                                              block.substr(line_start, line_end - line_start)});
                }
                line_start = line_end + 2;
            }
        }
        block_start = block_end + 4;
    }
    return pairs;
}

std::vector<ReplyPair> RowsOf(const zelmo::messages::KnowledgeBase& base) {
    std::vector<ReplyPair> rows;
    for (std::size_t i = 0; i < base.RowCount(); ++i) {
        rows.push_back(*base.Row(i));
    }
    return rows;
}

}  // namespace

// Input: editor changes and learned pairs (one line, a byte each with the next bytes as
// their row and texts), then the reply file's bytes. The reader gives the pairs the
// format describes; what a save writes reads back as the rows; a save with nothing but
// learned pairs keeps every byte of the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo;
    const auto fields = FuzzFields(data, size, 2);
    const std::string_view script = fields[0];
    const std::string file(fields[1]);

    std::string reason;
    const platform::TextEncoding encoding = platform::DetectTextEncoding(file, reason);
    const platform::DecodedText decoded = platform::DecodeAccountText(file);
    FUZZ_CHECK(decoded.text.size() <= file.size());
    FUZZ_CHECK(encoding != platform::TextEncoding::Gbk || decoded.text == file);
    FUZZ_CHECK((encoding == platform::TextEncoding::Undecodable) == !reason.empty());
    const std::vector<ReplyPair> pairs = messages::ParseReplyBase(decoded.text);
    FUZZ_CHECK(pairs == ReferencePairs(decoded.text));

    if (Folder().empty()) {
        return 0;
    }
    const std::string path = Folder() + "/reply.ini";
    std::filesystem::remove_all(Folder());
    std::filesystem::create_directory(Folder());
    FUZZ_CHECK(platform::WriteFileAtomic(path, file));
    messages::KnowledgeBase base;
    const platform::TextFileReport report = base.Load(path);
    FUZZ_CHECK((report.state == platform::TextFileState::Unreadable) ==
               (encoding == platform::TextEncoding::Undecodable));
    FUZZ_CHECK(base.PairCount() == pairs.size());

    static const char* const TEXTS[] = {"", "k", "r", "\r", "x\r", "\n", "\xC4\xE3", "a b"};
    const auto text = [&](std::size_t at) {
        return std::string(at < script.size() ? TEXTS[static_cast<std::uint8_t>(script[at]) % 8]
                                              : "t");
    };
    bool edited = false;
    for (std::size_t at = 0; at < script.size(); at += 4) {
        const auto op = static_cast<std::uint8_t>(script[at]);
        const std::size_t row =
            at + 1 < script.size() ? static_cast<std::uint8_t>(script[at + 1]) % 16 : 0;
        // An insertion past the end goes at the end; the other changes need the row.
        edited = edited || op % 6 == 2 || (op % 6 < 4 && row < base.RowCount());
        switch (op % 6) {
            case 0:
                base.SetRowKeyword(row, text(at + 2));
                break;
            case 1:
                base.SetRowReply(row, text(at + 2));
                break;
            case 2:
                base.InsertRow(row, text(at + 2), text(at + 3));
                break;
            case 3:
                base.DeleteRow(row);
                break;
            case 4:
                base.LearnPair(text(at + 2), text(at + 3) + "a");
                break;
            default:
                base.DiscardEdits();
                edited = false;
                break;
        }
    }
    std::vector<ReplyPair> expected = RowsOf(base);
    std::erase_if(expected, [](const ReplyPair& pair) { return pair.reply.empty(); });
    const messages::ReplyBaseSave saved = base.Save(path);
    FUZZ_CHECK(saved.ok);
    FUZZ_CHECK(saved.redirected == !platform::MayReplace(report));
    const std::string written = platform::ReadFile(saved.path);
    FUZZ_CHECK(messages::ParseReplyBase(written) == expected);
    FUZZ_CHECK(RowsOf(base) == expected);
    if (!edited && !saved.redirected) {
        const std::size_t body = messages::BodyLength(decoded.text);
        FUZZ_CHECK(written.compare(0, body, decoded.text, 0, body) == 0);
        FUZZ_CHECK(written.size() >= decoded.text.size());
        FUZZ_CHECK(written.compare(written.size() - (decoded.text.size() - body), std::string::npos,
                                   decoded.text, body) == 0);
    }
    if (saved.redirected) {
        // The file that could not be read is as it was.
        FUZZ_CHECK(platform::ReadFile(path) == file);
    }
    return 0;
}
