#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>

#include "tools/synth/Synthesiser.h"

int main(int argc, char* argv[]) {
    using namespace korvo::tools::synth;
    try {
        const auto options = parseSynthOptions(argc, argv, std::cout);
        if (!options) {
            return 0;
        }
        const auto start = std::chrono::steady_clock::now();
        const CaptureCounts counts = synthesise(*options);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        const std::uint64_t bytes = counts.fileBytes();
        std::printf("wiretally-synth: %s: %llu bytes, %llu frames, %llu TCP segments in %.2f s (%.0f MB/s)\n",
                    options->output.c_str(), static_cast<unsigned long long>(bytes),
                    static_cast<unsigned long long>(counts.frames()),
                    static_cast<unsigned long long>(counts.tcpSegments()), seconds.count(),
                    static_cast<double>(bytes) / 1e6 / seconds.count());
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "wiretally-synth: " << error.what() << std::endl;
        return 1;
    }
}
