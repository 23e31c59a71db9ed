// Linked with -Wl,--wrap=pcap_next_ex into the programs that run the analysis in-process on damaged
// captures. The capture library reads every frame into one buffer sized for its largest frame, so a read a
// little past a frame's captured bytes stays inside that buffer where no sanitizer can see it. Here each
// frame is copied into a heap block of exactly its captured length, released at the next read: a read past
// the captured bytes, or of a frame after the next one was read, lands outside any live block, where the
// address sanitizer reports it.

#include <pcap/pcap.h>

#include <cstring>
#include <memory>

extern "C" int __real_pcap_next_ex(pcap_t* handle, pcap_pkthdr** header, const u_char** data);

namespace {

constexpr int kFrameRead = 1;

std::unique_ptr<u_char[]> currentFrame;

}  // namespace

extern "C" int __wrap_pcap_next_ex(pcap_t* handle, pcap_pkthdr** header, const u_char** data) {
    const int result = __real_pcap_next_ex(handle, header, data);
    currentFrame.reset();
    if (result == kFrameRead) {
        const bpf_u_int32 captured = (*header)->caplen;
        currentFrame = std::make_unique_for_overwrite<u_char[]>(captured);
        std::memcpy(currentFrame.get(), *data, captured);
        *data = currentFrame.get();
    }
    return result;
}
