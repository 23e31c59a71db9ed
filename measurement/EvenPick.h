#pragma once
// Picks at most a given number of a list's items, evenly spread and the first always among them, as the
// items come one by one: the length of the whole list must be known before, so a list too long to keep is
// counted in one pass and picked from in a second.

#include <cstddef>

namespace korvo::measurement {

class EvenPick {
public:
    EvenPick(std::size_t all, std::size_t most) : all_(all), most_(most) {}

    // Whether to keep the next item.
    bool take() {
        const bool keep = all_ <= most_ || (kept_ < most_ && seen_ == kept_ * all_ / most_);
        kept_ += keep ? 1 : 0;
        ++seen_;
        return keep;
    }

private:
    std::size_t all_;
    std::size_t most_;
    std::size_t seen_ = 0;
    std::size_t kept_ = 0;
};

}  // namespace korvo::measurement
