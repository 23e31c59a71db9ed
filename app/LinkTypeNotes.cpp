#include "app/LinkTypeNotes.h"

#include <algorithm>
#include <iostream>

#include "capture/LinkLayer.h"
#include "output/RunNotes.h"

namespace korvo::measurement {

void LinkTypeNotes::note(const std::vector<int>& linkTypes) {
    for (const int linkType : linkTypes) {
        if (std::find(seen_.begin(), seen_.end(), linkType) != seen_.end()) {
            continue;
        }
        seen_.push_back(linkType);
        if (!LinkLayer::decodes(linkType, decoding_.ipv6)) {
            std::cerr << RunNotes::undecodedLinkType(linkType, linkTypes.size() == 1) << std::endl;
        }
    }
}

}  // namespace korvo::measurement
