// kestrune-update-service: runs the reference update service until SIGINT
// or SIGTERM. Prints "ready port=<p> untrusted_port=<u> plain_port=<h>" once
// it listens.

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/update_service/reference_update_service.h"

namespace {

const char kUsage[] =
    "usage: kestrune-update-service [options]\n"
    "  --port N              listen on 127.0.0.1:N (default 8443; 0 = any free port)\n"
    "  --untrusted-port N    also listen with the untrusted certificate (0 = any)\n"
    "  --plain-port N        also listen for plain HTTP (0 = any)\n"
    "  --pki DIR             test PKI folder (default " KESTRUNE_TEST_PKI_DIR
    ")\n"
    "  --images DIR          images to list and serve, named <sequence>-<hexaddress>.bin\n"
    "  --manifest FILE       serve this file verbatim as the manifest\n"
    "  --manifest-status N   answer the manifest request with status N (404, 500)\n"
    "  --manifest-fault F    answer it faultily: empty, no-content, maintenance,\n"
    "                        chunked-cut or stall\n"
    "  --firmware-version S  firmware_version of the generated manifest\n"
    "  --release-note S      release_note of the generated manifest\n"
    "  --url-host H          host name in the URLs it hands out (default localhost)\n";

uint16_t ParsePort(const std::string& text) {
  const long value = std::stol(text);
  if (value < 0 || value > 65535) throw std::out_of_range("port");
  return static_cast<uint16_t>(value);
}

}  // namespace

int main(int argc, char** argv) {
  kestrune::UpdateServiceOptions options;
  options.pkiDir = KESTRUNE_TEST_PKI_DIR;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      }
      if (i + 1 >= argc) throw std::invalid_argument(arg);
      const std::string value = argv[++i];
      if (arg == "--port") {
        options.port = ParsePort(value);
      } else if (arg == "--untrusted-port") {
        options.untrustedListener = true;
        options.untrustedPort = ParsePort(value);
      } else if (arg == "--plain-port") {
        options.plainListener = true;
        options.plainPort = ParsePort(value);
      } else if (arg == "--manifest-fault") {
        options.manifestFault = value;
      } else if (arg == "--pki") {
        options.pkiDir = value;
      } else if (arg == "--images") {
        options.imagesDir = value;
      } else if (arg == "--manifest") {
        std::ifstream file(value, std::ios::binary);
        if (!file) throw std::runtime_error("cannot read " + value);
        std::ostringstream text;
        text << file.rdbuf();
        options.manifestText = text.str();
      } else if (arg == "--manifest-status") {
        options.manifestStatus = std::stoi(value);
      } else if (arg == "--firmware-version") {
        options.firmwareVersion = value;
      } else if (arg == "--release-note") {
        options.releaseNote = value;
      } else if (arg == "--url-host") {
        options.urlHost = value;
      } else {
        throw std::invalid_argument(arg);
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "kestrune-update-service: bad argument " << e.what() << "\n" << kUsage;
    return 2;
  }

  // Signals are taken by sigwait below, never by the serving threads.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  kestrune::ReferenceUpdateService service(options);
  try {
    service.Start();
  } catch (const std::exception& e) {
    std::cerr << "kestrune-update-service: " << e.what() << "\n";
    return 1;
  }
  std::cout << "ready port=" << service.Port() << " untrusted_port=" << service.UntrustedPort()
            << " plain_port=" << service.PlainPort() << std::endl;
  int received = 0;
  sigwait(&signals, &received);
  service.Stop();
  return 0;
}
