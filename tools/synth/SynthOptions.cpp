#include "tools/synth/SynthOptions.h"

#include <boost/program_options.hpp>
#include <cctype>
#include <limits>
#include <stdexcept>

namespace korvo::tools::synth {

namespace po = boost::program_options;

namespace {

void checkShare(const std::string& name, double share) {
    if (!(share >= 0 && share <= 1)) {
        throw std::invalid_argument("--" + name + " must be a share between 0 and 1, not " +
                                    std::to_string(share));
    }
}

}  // namespace

std::uint64_t parseByteSize(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) {
        ++digits;
    }
    const std::string suffix = text.substr(digits);
    int shift = -1;
    if (suffix.empty()) {
        shift = 0;
    } else if (suffix.size() == 1) {
        const auto unit = static_cast<char>(std::toupper(static_cast<unsigned char>(suffix[0])));
        shift = unit == 'K' ? 10 : unit == 'M' ? 20 : unit == 'G' ? 30 : -1;
    }
    if (digits == 0 || digits > 12 || shift < 0) {
        throw std::invalid_argument("not a size: '" + text +
                                    "' (expected a number with K, M or G, e.g. 200M)");
    }
    return std::stoull(text.substr(0, digits)) << shift;
}

std::optional<SynthOptions> parseSynthOptions(int argc, const char* const argv[], std::ostream& help) {
    SynthOptions options;
    std::string size;
    std::string shape;
    std::string tunnel;
    std::string maxTransfer;
    AnomalyShares& anomalies = options.mix.anomalies;

    po::options_description description(
        "Usage: wiretally-synth --output FILE [options]\n"
        "Writes a libpcap capture of synthetic Ethernet traffic. The same options and seed always give the "
        "same bytes.\nBeside FILE it writes FILE.counts: what the capture holds, one name=value per line.\n"
        "Sizes take a K, M or G suffix (binary multiples). Options");
    description.add_options()                                                          //
        ("help,h", "print this help and exit")                                         //
        ("output,o", po::value(&options.output)->required(), "capture file to write")  //
        ("size,s", po::value(&size)->default_value("100M"),
         "stop at the first frame that reaches this file size")                                    //
        ("seed", po::value(&options.seed)->default_value(1), "seed of the pseudo-random choices")  //
        ("shape", po::value(&shape)->default_value("realistic"),
         "realistic: concurrent TCP connections with handshakes, data, acknowledgements and teardown, plus "
         "UDP, ARP, IPv6 and IP fragments; scan: a connection scan, two or three segments per flow; "
         "random-scan: SYN probes to random "
         "addresses and ports, half of them answered, one or two segments per flow; elephant: one TCP "
         "connection whose server sends until the capture is full")  //
        ("concurrency", po::value(&options.mix.concurrency)->default_value(64),
         "connections (or scan probes) in progress at once")  //
        ("loss", po::value(&anomalies.loss)->default_value(0.001, "0.001"),
         "share of data segments missing from the capture (a sequence gap)")  //
        ("reorder", po::value(&anomalies.reorder)->default_value(0.002, "0.002"),
         "share of data segments captured after the segment that follows them")  //
        ("duplicate", po::value(&anomalies.duplicate)->default_value(0.001, "0.001"),
         "share of data segments captured twice (same bytes, same IP identification)")  //
        ("retransmit", po::value(&anomalies.retransmit)->default_value(0.002, "0.002"),
         "share of data segments followed by a retransmission of the segment before them (new IP "
         "identification)")  //
        ("truncate", po::value(&options.truncateShare)->default_value(0.001, "0.001"),
         "share of frames captured short (at least 64 bytes kept)")  //
        ("vlan", po::value(&options.mix.vlanShare)->default_value(0.05, "0.05"),
         "share of connections carried in 802.1Q-tagged frames")  //
        ("jumbo", po::value(&options.mix.jumboShare)->default_value(0.01, "0.01"),
         "share of connections sending 9000-byte IP packets")  //
        ("other", po::value(&options.mix.otherShare)->default_value(0.02, "0.02"),
         "share of steps that write DNS, ARP, IPv6 or fragmented UDP traffic instead of TCP")  //
        ("ipv6", po::value(&options.mix.ipv6Share)->default_value(0, "0"),
         "share of connections carried over IPv6 (1: the realistic mix over IPv6)")  //
        ("max-transfer", po::value(&maxTransfer)->default_value("20M"),
         "largest request or response of a connection; sizes spread evenly over orders of magnitude")  //
        ("snaplen", po::value(&options.snapLength)->default_value(262144),
         "snap length: frames longer than this are captured cut to it")  //
        ("tunnel", po::value(&tunnel)->default_value("none"),
         "wrap every frame in this encapsulation: none, mix (each kind by turn), qinq, mpls, mpls-pw, pppoe, "
         "pbb, llc-snap, gre, gre-ethernet, erspan2, erspan3, ipip, vxlan, geneve or gtp-u");

    po::variables_map values;
    try {
        po::store(po::parse_command_line(argc, argv, description), values);
        if (values.count("help") != 0) {
            help << description << '\n';
            return std::nullopt;
        }
        po::notify(values);
    } catch (const po::error& error) {
        throw std::invalid_argument(error.what());
    }

    options.size = parseByteSize(size);
    options.mix.maxTransfer = parseByteSize(maxTransfer);
    if (shape == "realistic") {
        options.shape = Shape::Realistic;
    } else if (shape == "scan") {
        options.shape = Shape::Scan;
    } else if (shape == "random-scan") {
        options.shape = Shape::RandomScan;
    } else if (shape == "elephant") {
        options.shape = Shape::Elephant;
    } else {
        throw std::invalid_argument("--shape must be realistic, scan, random-scan or elephant, not '" +
                                    shape + "'");
    }
    if (options.mix.concurrency == 0) {
        throw std::invalid_argument("--concurrency must be at least 1");
    }
    if (options.snapLength == 0) {
        throw std::invalid_argument("--snaplen must be at least 1");
    }
    checkShare("loss", anomalies.loss);
    checkShare("reorder", anomalies.reorder);
    checkShare("duplicate", anomalies.duplicate);
    checkShare("retransmit", anomalies.retransmit);
    checkShare("loss + reorder + duplicate + retransmit",
               anomalies.loss + anomalies.reorder + anomalies.duplicate + anomalies.retransmit);
    checkShare("truncate", options.truncateShare);
    checkShare("vlan", options.mix.vlanShare);
    checkShare("jumbo", options.mix.jumboShare);
    checkShare("other", options.mix.otherShare);
    checkShare("ipv6", options.mix.ipv6Share);
    if (tunnel == "mix") {
        options.tunnels = Encapsulator::kinds();
    } else if (tunnel != "none") {
        for (const Encapsulator::Kind kind : Encapsulator::kinds()) {
            if (Encapsulator::nameOf(kind) == tunnel) {
                options.tunnels = {kind};
            }
        }
        if (options.tunnels.empty()) {
            throw std::invalid_argument("--tunnel names no encapsulation: '" + tunnel + "'");
        }
    }
    return options;
}

}  // namespace korvo::tools::synth
