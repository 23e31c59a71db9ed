#pragma once
// The folder that the steps of a run split over machines share: map-K/ for what group K of the captures
// left (its frame-level state and its flow segments, shard by shard) and reduce-S/ for what the flows of
// shard S gave. Each part is written under a temporary name and renamed whole into place, so a part is
// there whole or not at all, and a retried step leaves nothing half written.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace korvo::measurement {

class WorkFolder {
public:
    // The first line of every part's state, and the version of its format.
    static constexpr const char* kFormat = "wiretally-work";
    static constexpr int kFormatVersion = 2;

    // Checks that `path` is a folder this process may write in; a clear message is thrown otherwise.
    explicit WorkFolder(std::string path);

    [[nodiscard]] std::string mapPart(std::size_t group) const;
    [[nodiscard]] std::string reducePart(std::size_t shard) const;
    // Calls `write` with a new, empty folder beside `part`, then renames that folder to `part`. Where `part`
    // is already there with the same state (a step that ran twice), the new folder is removed instead; where
    // its state differs (a step run again on other captures or options), the new folder replaces it. A
    // failure, a full disk included, removes the new folder and is thrown.
    void writePart(const std::string& part,
                   const std::function<void(const std::string& folder)>& write) const;
    // The groups mapped, 0 to N-1; a gap among them is thrown, naming the group missing.
    [[nodiscard]] std::size_t groups() const;

private:
    void publish(const std::string& temporary, const std::string& part) const;

    std::string path_;
};

}  // namespace korvo::measurement
