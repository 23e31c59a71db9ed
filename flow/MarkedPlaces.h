#pragma once
// A sorted list of places in a direction's capture order, read in step with a walk in that order.

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvo::measurement {

class MarkedPlaces {
public:
    explicit MarkedPlaces(std::span<const std::uint32_t> places) : places_(places) {}

    // Places must be asked in ascending order.
    bool holds(std::size_t place) {
        while (next_ < places_.size() && places_[next_] < place) {
            ++next_;
        }
        return next_ < places_.size() && places_[next_] == place;
    }

private:
    std::span<const std::uint32_t> places_;
    std::size_t next_ = 0;
};

}  // namespace korvo::measurement
