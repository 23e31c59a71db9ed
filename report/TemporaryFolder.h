#pragma once
// The folder of the run's temporary files: $TMPDIR when it is set and not empty, else /tmp.

#include <cstdlib>
#include <string>

namespace korvo::measurement {

class TemporaryFolder {
public:
    [[nodiscard]] static std::string path() {
        const char* folder = std::getenv("TMPDIR");
        return folder != nullptr && *folder != '\0' ? folder : "/tmp";
    }
};

}  // namespace korvo::measurement
