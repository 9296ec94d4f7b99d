// Runs a fuzz target over the files of its corpus, without fuzzing: the
// corpus replays as an ordinary test in every build, whatever the compiler.
#include "fuzz_input.h"

#include <boost/filesystem.hpp>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace {

void replay(const fs::path& file) {
    std::ifstream input(file.string(), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(input),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : fs::recursive_directory_iterator(argv[i])) {
            if (!fs::is_regular_file(entry.path())) continue;
            replay(entry.path());
            ++count;
        }
    }
    std::cout << "replayed " << count << " inputs\n";
    return count == 0 ? 1 : 0;
}
