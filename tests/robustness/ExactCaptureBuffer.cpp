// Linked with -Wl,--wrap= the linker name of CaptureInput::next (WIRETALLY_WRAPPED_READ) into the programs
// that run the analysis in-process on damaged captures. The capture library and the pcapng block reader read
// every frame into a buffer sized for a whole record or block, so a read a little past a frame's captured
// bytes stays inside that buffer where no sanitizer can see it. Here each frame is copied into a heap block
// of exactly its captured length, released at the next read: a read past the captured bytes, or of a frame
// after the next one was read, lands outside any live block, where the address sanitizer reports it.

#include <pcap/pcap.h>

#include <cstring>
#include <memory>

// CaptureInput::next(const pcap_pkthdr*&, const u_char*&) under its linker name; its references are
// pointers there.
extern "C" int __real__ZN5korvo11measurement12CaptureInput4nextERPK11pcap_pkthdrRPKh(
    void* input, const pcap_pkthdr** header, const u_char** data);

namespace {

constexpr int kFrameRead = 1;

std::unique_ptr<u_char[]> currentFrame;

}  // namespace

extern "C" int __wrap__ZN5korvo11measurement12CaptureInput4nextERPK11pcap_pkthdrRPKh(
    void* input, const pcap_pkthdr** header, const u_char** data) {
    const int result =
        __real__ZN5korvo11measurement12CaptureInput4nextERPK11pcap_pkthdrRPKh(input, header, data);
    currentFrame.reset();
    if (result == kFrameRead) {
        const bpf_u_int32 captured = (*header)->caplen;
        currentFrame = std::make_unique_for_overwrite<u_char[]>(captured);
        std::memcpy(currentFrame.get(), *data, captured);
        *data = currentFrame.get();
    }
    return result;
}
