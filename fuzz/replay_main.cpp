// Runs a fuzz target's property checks over saved inputs, without libFuzzer:
// every file named on the command line, and every file in every directory named.
// A broken property aborts the run; the last name printed is the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int index = 1; index < argc; ++index) {
        const fs::path path{argv[index]};
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator{path}) {
                if (entry.is_regular_file()) {
                    inputs.push_back(entry.path());
                }
            }
        } else {
            inputs.push_back(path);
        }
    }
    std::ranges::sort(inputs);
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    for (const fs::path& input : inputs) {
        std::printf("%s\n", input.string().c_str());
        std::fflush(stdout);
        std::ifstream file{input, std::ios::binary};
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>{file}, std::istreambuf_iterator<char>{}};
        if (!file.eof() && file.fail()) {
            std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
