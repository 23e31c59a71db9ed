// The floor for any tool that reads a capture through libpcap: open it, fetch every record with
// pcap_next_ex and do nothing else. The captured bytes are summed so the loop cannot be optimised away.

#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pcap-read-loop CAPTURE\n");
        return 2;
    }
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* capture = pcap_open_offline(argv[1], error);
    if (capture == nullptr) {
        std::fprintf(stderr, "pcap-read-loop: %s\n", error);
        return 1;
    }
    std::uint64_t frames = 0;
    std::uint64_t capturedBytes = 0;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = 0;
    while ((result = pcap_next_ex(capture, &header, &data)) == 1) {
        ++frames;
        capturedBytes += header->caplen;
    }
    if (result == PCAP_ERROR) {
        std::fprintf(stderr, "pcap-read-loop: %s\n", pcap_geterr(capture));
        pcap_close(capture);
        return 1;
    }
    pcap_close(capture);
    std::printf("frames %llu captured_bytes %llu\n", static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(capturedBytes));
    return 0;
}
