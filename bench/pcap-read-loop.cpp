// The floor for any tool that reads a capture through libpcap: open it, fetch every record with
// pcap_next_ex and do nothing else. The captured bytes are summed so the loop cannot be optimised away. The
// file is read through a page-aligned buffer of 1 MiB, as wiretally reads it.

#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pcap-read-loop CAPTURE\n");
        return 2;
    }
    constexpr std::size_t kPageSize = 4096;
    constexpr std::size_t kBufferSize = std::size_t{1} << 20;
    FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::perror("pcap-read-loop");
        return 1;
    }
    char* buffer = static_cast<char*>(std::aligned_alloc(kPageSize, kBufferSize));
    if (buffer != nullptr) {
        std::setvbuf(file, buffer, _IOFBF, kBufferSize);
    }
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* capture = pcap_fopen_offline(file, error);
    if (capture == nullptr) {
        std::fprintf(stderr, "pcap-read-loop: %s\n", error);
        std::fclose(file);
        std::free(buffer);
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
        std::free(buffer);
        return 1;
    }
    pcap_close(capture);
    std::free(buffer);
    std::printf("frames %llu captured_bytes %llu\n", static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(capturedBytes));
    return 0;
}
