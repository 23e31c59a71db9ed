// Writes the fuzzer's seed corpus into the folder named on the command line, creating it if needed.

#include <exception>
#include <filesystem>
#include <iostream>

#include "fuzz/SeedCaptures.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "Usage: " << argv[0] << " FOLDER\n";
        return 2;
    }
    try {
        std::filesystem::create_directories(argv[1]);
        korvo::fuzz::SeedCaptures::write(argv[1]);
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
