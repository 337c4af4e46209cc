#include "support/AnswerDiff.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzInput.h"

namespace {

void Agree(std::string_view answer) {
    const std::string diff = zelmo::test::DiffAnswer(answer);
    if (!diff.empty()) {
        std::fprintf(stderr, "readers and reference cuts differ on %zu bytes:\n%s", answer.size(),
                     diff.c_str());
    }
    FUZZ_CHECK(diff.empty());
}

}  // namespace

// Any bytes: both the one-pass readers and the reference cuts end, and the readers stay
// within their bounds. Bytes in the service's layout (the answers the cuts were written
// for): both give the same, on the whole answer and cut off anywhere. And since mutated
// bytes seldom keep that layout, the bytes also write an answer in it, which both must
// read alike too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view answer = FuzzText(data, size);
    const std::string written = zelmo::test::WriteLayoutAnswer(answer);
    if (zelmo::test::InServiceLayout(written)) {
        Agree(written);
        Agree(std::string_view(written).substr(0, written.size() * (size > 0 ? data[0] : 0) / 256));
    }

    const std::string over = zelmo::test::CheckReadBounds(answer);
    if (!over.empty()) {
        std::fprintf(stderr, "%s", over.c_str());
    }
    FUZZ_CHECK(over.empty());
    // Both run on every input: neither may crash nor hang, whatever they give.
    const std::string diff = zelmo::test::DiffAnswer(answer);
    if (size == 0 || !zelmo::test::InServiceLayout(answer)) {
        return 0;
    }
    if (!diff.empty()) {
        std::fprintf(stderr, "readers and reference cuts differ:\n%s", diff.c_str());
    }
    FUZZ_CHECK(diff.empty());
    // Cut where the bytes themselves say, and near the end, where the SyncKey stands.
    for (const std::size_t cut : {static_cast<std::size_t>(data[0]) * size / 256,
                                  static_cast<std::size_t>(data[size / 2]) * size / 256,
                                  size - 1 - static_cast<std::size_t>(data[size - 1]) % size}) {
        Agree(answer.substr(0, cut));
    }
    return 0;
}
