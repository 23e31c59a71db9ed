// What `cmake --install` puts under a prefix: the tool, its man page, the licence and the list of changes,
// nothing else, and a tool that runs from there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "support/ToolRun.h"

namespace korvo::e2e {
namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(InstallTest, InstallsTheToolItsManPageAndItsDocumentsOnly) {
    ToolRun scratch(WIRETALLY_BINARY);
    const fs::path prefix = scratch.path("prefix");
    const std::string command = std::string("\"") + WIRETALLY_CMAKE + "\" --install \"" +
                                WIRETALLY_BUILD_DIR + "\" --prefix \"" + prefix.string() + "\" >\"" +
                                scratch.path("log").string() + "\" 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << contentsOf(scratch.path("log"));

    std::set<std::string> installed;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(prefix)) {
        if (!entry.is_directory()) {
            installed.insert(fs::relative(entry.path(), prefix).string());
        }
    }
    EXPECT_EQ(installed,
              (std::set<std::string>{"bin/wiretally", "bin/wiretally-dask", "bin/wiretally-slurm",
                                     "share/doc/wiretally/CHANGES.md", "share/doc/wiretally/LICENSE",
                                     "share/doc/wiretally/changelog.gz", "share/doc/wiretally/copyright",
                                     "share/man/man1/wiretally.1.gz"}));

    const std::string unpack = "gzip -dc \"" + (prefix / "share/man/man1/wiretally.1.gz").string() +
                               "\" >\"" + scratch.path("page").string() + "\"";
    ASSERT_EQ(std::system(unpack.c_str()), 0);
    EXPECT_EQ(contentsOf(scratch.path("page")), contentsOf(WIRETALLY_MAN_PAGE));
    const RunResult version = ToolRun(prefix / "bin/wiretally").run({"-v"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.standardOutput, ToolRun(WIRETALLY_BINARY).run({"-v"}).standardOutput);
}

}  // namespace
}  // namespace korvo::e2e
