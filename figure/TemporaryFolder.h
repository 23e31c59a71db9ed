#pragma once
// The folder of the run's temporary files ($TMPDIR when it is set and not empty, else /tmp), and the nameless
// files made there: a file that never has a name in the folder is never left behind, however the run ends.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace korvo::measurement {

class TemporaryFolder {
public:
    [[nodiscard]] static std::string path() {
        const char* folder = std::getenv("TMPDIR");
        return folder != nullptr && *folder != '\0' ? folder : "/tmp";
    }

    // A new file open for reading and writing, with no name; -1 with errno set when none can be made.
    // `stem` names the file for the moment between its creation and its removal, on a file system that
    // cannot make nameless files.
    [[nodiscard]] static int createNameless(const std::string& stem) {
        const std::string folder = path();
        const int descriptor = ::open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
        if (descriptor >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
            return descriptor;
        }
        std::string name = folder + "/" + stem + "-XXXXXX";
        const int named = ::mkostemp(name.data(), O_CLOEXEC);
        if (named >= 0) {
            ::unlink(name.c_str());
        }
        return named;
    }
};

}  // namespace korvo::measurement
