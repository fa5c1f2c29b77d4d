// port_protocol_bench: block writes through SerialLink + DeviceProtocol to a
// simulated watch on a named port, as fast as the port takes them. Built for
// both platforms, so the same program measures the Windows build under Wine
// (over COM7) and the native build (over the pty itself) against the same
// simulator (tools/dive_watch_sim/with-sim-com).
//
// usage: port_protocol_bench PORT [ROUNDS]   (default 5 rounds of 64 blocks)
// The last line is "blocks_per_s=N", the median over the rounds.
#include "bench/bench_figures.h"
#include "device/serial_link.h"
#include "transfer/device_protocol.h"

#include <boost/asio/io_service.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

int main(int argc, char** argv) {
  using namespace kestrune;
  if (argc < 2) {
    std::fprintf(stderr, "usage: port_protocol_bench PORT [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  constexpr std::uint32_t kBlocks = 64;
  const std::vector<std::uint8_t> image = BenchImage(kBlocks);
  try {
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, argv[1]);
    DeviceProtocol protocol(&port);
    std::vector<double> rates;
    for (int r = 0; r < rounds; ++r) {
      const auto start = std::chrono::steady_clock::now();
      for (std::uint32_t b = 0; b < kBlocks; ++b) {
        if (!protocol.WriteBlock(b * kBlockSize, image.data() + b * kBlockSize, kBlockSize)) {
          std::fprintf(stderr, "port_protocol_bench: the watch refused a block\n");
          return 1;
        }
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      rates.push_back(kBlocks / seconds);
      std::printf("round %d: %.1f blocks/s\n", r + 1, rates.back());
    }
    std::printf("blocks_per_s=%.1f\n", Median(rates));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "port_protocol_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
