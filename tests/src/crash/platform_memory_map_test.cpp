#include "platform_memory_map.h"

#include <cstdint>
#include <memory>

#include <link.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::platform::crash::CodeLocation;
using zorva::plugin::platform::crash::locateCode;

struct Expected {
    std::uint64_t address;
    CodeLocation location;
    bool found;
};

// The loader's own view of its objects: which program header holds the address.
int findSegment(dl_phdr_info* info, std::size_t, void* data) {
    auto& expected = *static_cast<Expected*>(data);
    for (std::size_t index = 0; index < info->dlpi_phnum; ++index) {
        const ElfW(Phdr)& header = info->dlpi_phdr[index];
        const std::uint64_t start = info->dlpi_addr + header.p_vaddr;
        if (header.p_type != PT_LOAD || expected.address < start ||
            expected.address >= start + header.p_memsz)
            continue;
        expected.location.segment = static_cast<std::uint32_t>(index + 1);
        expected.location.offset = expected.address - start;
        expected.found = true;
        return 1;
    }
    return 0;
}

TEST(PlatformMemoryMap, LocatesCodeInTheProgramHeaderTheLoaderMappedItFrom) {
    const std::uint64_t addresses[] = {reinterpret_cast<std::uintptr_t>(&findSegment),
                                       reinterpret_cast<std::uintptr_t>(&::getpid)};
    for (const std::uint64_t address : addresses) {
        Expected expected{address, {}, false};
        ::dl_iterate_phdr(findSegment, &expected);
        ASSERT_TRUE(expected.found);
        CodeLocation location{};

        ASSERT_TRUE(locateCode(address, location));

        EXPECT_EQ(location.segment, expected.location.segment);
        EXPECT_EQ(location.offset, expected.location.offset);
    }
}

TEST(PlatformMemoryMap, AddressOutsideAnyFileHasNoLocation) {
    const auto heap = std::make_unique<int>(0);
    int stack = 0;
    CodeLocation location{};

    EXPECT_FALSE(locateCode(reinterpret_cast<std::uintptr_t>(heap.get()), location));
    EXPECT_FALSE(locateCode(reinterpret_cast<std::uintptr_t>(&stack), location));
    EXPECT_FALSE(locateCode(0, location));
}

}  // namespace
