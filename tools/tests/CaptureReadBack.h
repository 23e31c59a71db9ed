#pragma once
// Reads every record of a capture through libpcap, as the tool does, for tests to inspect.

#include <pcap/pcap.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace korvo::tools::testing {

struct CaptureReadBack {
    struct Record {
        timeval timestamp;
        std::uint32_t wireLength;
        std::vector<std::uint8_t> bytes;
    };

    explicit CaptureReadBack(const std::filesystem::path& path) {
        char error[PCAP_ERRBUF_SIZE];
        pcap_t* handle = pcap_open_offline(path.c_str(), error);
        if (handle == nullptr) {
            throw std::runtime_error(error);
        }
        linkType = pcap_datalink(handle);
        snapLength = pcap_snapshot(handle);
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        while ((lastResult = pcap_next_ex(handle, &header, &data)) == 1) {
            records.push_back({header->ts, header->len, {data, data + header->caplen}});
        }
        pcap_close(handle);
    }

    int linkType = -1;
    int snapLength = -1;
    std::vector<Record> records;
    int lastResult = 0;
};

}  // namespace korvo::tools::testing
