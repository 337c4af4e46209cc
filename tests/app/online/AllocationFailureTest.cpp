#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "platform/Gzip.h"
#include "platform/WebClient.h"
#include "protocol/ServiceProfile.h"
#include "sim/Simulator.h"
#include "support/TestSupport.h"

// Running out of memory while an answer arrives must fail that request like any other,
// and leave the client whole. The test makes big allocations fail on its own thread only.

namespace {

// Allocations above this many bytes fail on the thread that set it; 0 lets all through.
thread_local std::size_t refuse_above = 0;

void* Allocate(std::size_t size) {
    if (refuse_above != 0 && size > refuse_above) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// Every plain form is replaced as a set, so new and delete always pair up (sanitizers
// compare them); the aligned forms stay the library's own.
void* operator new(std::size_t size) {
    if (void* memory = Allocate(size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

namespace zelmo::faults {
namespace {

constexpr std::size_t LIMIT = std::size_t{1} << 20;

class RefuseBigAllocations {
public:
    RefuseBigAllocations() { refuse_above = LIMIT; }
    ~RefuseBigAllocations() { refuse_above = 0; }
    RefuseBigAllocations(const RefuseBigAllocations&) = delete;
    RefuseBigAllocations& operator=(const RefuseBigAllocations&) = delete;
};

TEST(AllocationFailureTest, AnAnswerTooBigForMemoryFailsAndTheClientGoesOn) {
    test::TempDir dir;
    sim::SimulatorOptions options;
    options.workdir = dir.Path() + "/sim";
    sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.Start());
    const protocol::ServiceProfile profile = protocol::LoadServiceProfile(simulator.ProfilePath());
    platform::WebClient web(protocol::ClientConfig(profile));
    const std::string url = protocol::LoginUrl(profile) + "/jslogin?appid=wx782c26e4c19acffb";

    sim::Fault huge{sim::FaultKind::Huge};
    huge.huge_bytes = 4 * LIMIT;
    simulator.SetFault("jslogin", huge);
    std::string answer = "unset";
    {
        const RefuseBigAllocations refuse;
        EXPECT_NO_THROW(answer = web.Request(url));
    }
    EXPECT_EQ(answer, "");

    // The slot of the failed request went back: the client works on and stops cleanly.
    EXPECT_TRUE(web.Request(url).starts_with("window.QRLogin.code = 200;"));
    std::thread stopper([&web] { web.Stop(); });
    stopper.join();
    EXPECT_EQ(web.Request(url), "");
}

TEST(AllocationFailureTest, DecodingWithoutMemoryFailsEmpty) {
    const std::string packed = platform::Gzip(std::string(4 * LIMIT, 'z'));
    std::string plain = "unset";
    {
        const RefuseBigAllocations refuse;
        EXPECT_NO_THROW(plain = platform::Gunzip(packed));
    }
    EXPECT_EQ(plain, "");
    EXPECT_EQ(platform::Gunzip(packed).size(), 4 * LIMIT);
}

}  // namespace
}  // namespace zelmo::faults
