// Replays kept fuzz inputs through the fuzz target without the fuzzing engine, so that an ordinary build
// checks them on every test run: each file named, or each file in each folder named, is run once, in name
// order. A crash, a sanitizer report or an exception other than a documented failure ends the program.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs;
    for (int index = 1; index < argc; ++index) {
        const std::filesystem::path named = argv[index];
        if (std::filesystem::is_directory(named)) {
            for (const auto& entry : std::filesystem::directory_iterator(named)) {
                if (entry.is_regular_file() && entry.path().filename() != "README.md") {
                    inputs.push_back(entry.path());
                }
            }
        } else {
            inputs.push_back(named);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::cerr << "No input to replay\n";
        return 1;
    }
    for (const std::filesystem::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::cerr << "Cannot read " << input << "\n";
            return 1;
        }
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::cout << "Replayed " << inputs.size() << " inputs\n";
    return 0;
}
