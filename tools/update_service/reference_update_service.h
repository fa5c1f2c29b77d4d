#pragma once
// A reference firmware update service over HTTPS on 127.0.0.1, for tests
// and the demo. It serves:
//   GET /api/v1/devices/firmwareUpdate?model=K1   the update manifest
//   GET /files/<name>          an image of the images folder
//   GET /data/<n>              n bytes of PatternBytes(n)
//   GET /echo/user-agent       the request's User-Agent as the body
//   GET /fault/404, /fault/500 that status with a short HTML body
//   GET /fault/empty           200 with an empty body
//   GET /fault/cut/<n>         Content-Length n, the first n/2 bytes of
//                              PatternBytes(n), then the connection closes
//   GET /fault/slow/<n>/<ms>   PatternBytes(n): the first n/2 bytes, a pause
//                              of ms milliseconds, then the rest
//   GET /fault/redirect/<path> 302 to https://<urlHost>:<port>/<path>
//   GET /fault/hops/<k>/<path> k redirects in a row, the last to /<path>
//   GET /fault/redirect-loop   302 to itself, for ever
//   GET /fault/redirect-http/<path>  302 to http://<urlHost>:<plain port>/<path>
//   GET /fault/stall/<n>       Content-Length n, the first n/2 bytes of
//                              PatternBytes(n), then nothing until Stop
//   GET /fault/204             204 No Content
//   GET /fault/maintenance     200 with an HTML maintenance page
//   GET /fault/chunked/<n>     PatternBytes(n) in chunks, no Content-Length
//   GET /fault/chunked-cut/<n> the same, cut off inside a chunk at n/2 bytes
// Every answer closes its connection. The untrusted listener (when enabled)
// serves the same paths with a certificate from a CA that nobody trusts; the
// plain listener (when enabled) serves them over plain HTTP.
//
// A manifest fault makes the manifest request answer faultily: "empty" (200,
// no body), "no-content" (204), "maintenance" (the maintenance page with
// 200), "chunked-cut" (the manifest in chunks, cut off half-way) or "stall"
// (half the manifest, then nothing until Stop).
//
// Generated manifest: firmware_version and release_note from the options,
// firmware_files from the images folder, whose files are named
// <sequence>-<address in hex>.bin (e.g. 1-00008000.bin); other files are not
// listed. Entries come in ascending sequence; file_path points back at this
// service. A verbatim manifest text replaces the generated one.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tools/update_service/pattern_bytes.h"

namespace kestrune {

struct UpdateServiceOptions {
  uint16_t port = 8443;  // 0 picks a free port
  bool untrustedListener = false;
  uint16_t untrustedPort = 0;  // 0 picks a free port
  // Holds server.crt/server.key and untrusted-server.crt/.key.
  std::string pkiDir;
  std::string imagesDir;  // empty: no images
  std::string urlHost = "localhost";
  std::string firmwareVersion = "1.006";
  std::string releaseNote = DefaultReleaseNote();
  std::optional<std::string> manifestText;
  int manifestStatus = 200;
  std::string manifestFault;  // empty: none
  bool plainListener = false;
  uint16_t plainPort = 0;  // 0 picks a free port

  static std::string DefaultReleaseNote();
};

class ReferenceUpdateService {
 public:
  explicit ReferenceUpdateService(UpdateServiceOptions options);
  ~ReferenceUpdateService();
  ReferenceUpdateService(const ReferenceUpdateService&) = delete;
  ReferenceUpdateService& operator=(const ReferenceUpdateService&) = delete;

  // Listens and serves on a thread of its own until Stop. Listening on the
  // fixed port 8443 first waits for its lock (see port_lock.h) and holds it
  // until Stop. Throws on failure (certificates, bind).
  void Start();
  void Stop();

  uint16_t Port() const;
  uint16_t UntrustedPort() const;
  uint16_t PlainPort() const;
  // https://<urlHost>:<port>
  std::string BaseUrl() const;

  // Serve this text verbatim as the manifest from now on.
  void SetManifestText(const std::string& text);
  // Answer the manifest request with this status (an HTML error page unless
  // it is 200) from now on.
  void SetManifestStatus(int status);
  // Answer the manifest request with this fault (see above) from now on;
  // empty for none.
  void SetManifestFault(const std::string& fault);
  // The manifest that is served now.
  std::string ManifestText() const;
  // User-Agent of the last request, and how many manifest requests came.
  std::string LastUserAgent() const;
  int ManifestRequests() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The test PKI folder this build was configured with (make-test-pki makes
// it), and the test CA certificate in it (PEM) that clients are to trust.
std::string TestPkiDir();
std::string TestCaFile();

// Options for a test service on `port` with the test PKI; 8443 is the fixed
// port that the product asks (its lock is taken on Start).
UpdateServiceOptions TestServiceOptions(uint16_t port = 8443);

}  // namespace kestrune
