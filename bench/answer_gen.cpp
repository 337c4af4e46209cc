// Writes realistic service answers (UTF-8, the service's layout) for answer_bench:
//   answer_gen getcontact|batchgetcontact|sync|init COUNT FILE
// COUNT is contacts, a group's members, messages or the init answer's recent chats. bench/data/
// holds what
//   answer_gen getcontact 2000 bench/data/getcontact-2000.json
//   answer_gen batchgetcontact 500 bench/data/batchgetcontact-500.json
//   answer_gen sync 1000 bench/data/sync-1000.json
// wrote; the 10,000-contact answer of the goal is made the same way when needed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RealisticAnswers.h"
#include "platform/Files.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: answer_gen getcontact|batchgetcontact|sync|init COUNT FILE\n");
        return 2;
    }
    const std::string kind = argv[1];
    const int count = std::atoi(argv[2]);
    zelmo::bench::RealisticAnswers answers;
    std::string bytes;
    if (kind == "getcontact") {
        bytes = answers.GetContact(count);
    } else if (kind == "batchgetcontact") {
        bytes = answers.BatchGetContact(count);
    } else if (kind == "sync") {
        bytes = answers.Sync(count);
    } else if (kind == "init") {
        bytes = answers.Init(count);
    } else {
        std::fprintf(stderr, "answer_gen: unknown kind %s\n", kind.c_str());
        return 2;
    }
    if (count <= 0 || !zelmo::platform::WriteFileAtomic(argv[3], bytes)) {
        std::fprintf(stderr, "answer_gen: could not write %s\n", argv[3]);
        return 1;
    }
    std::printf("%s: %zu bytes\n", argv[3], bytes.size());
    return 0;
}
