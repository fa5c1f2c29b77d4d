#include "tools/update_service/reference_update_service.h"

#include <json/json.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <fstream>
#include <list>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tools/update_service/port_lock.h"

namespace kestrune {

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

std::string UpdateServiceOptions::DefaultReleaseNote() {
  return "1. 改善潛水記錄同步速度\r\n"
         "2. Compass calibration is kept after a battery change\r\n"
         "3. 新增繁體中文選單\r\n"
         "4. Safety stop timer shows seconds below 1 minute";
}

std::string TestPkiDir() { return KESTRUNE_TEST_PKI_DIR; }
std::string TestCaFile() { return TestPkiDir() + "/ca.crt"; }

UpdateServiceOptions TestServiceOptions(uint16_t port) {
  UpdateServiceOptions options;
  options.port = port;
  options.pkiDir = TestPkiDir();
  return options;
}

namespace {

struct Image {
  int sequence;
  int64_t address;
  std::string name;
  int64_t size;
};

std::vector<Image> ListImages(const std::string& folder) {
  std::vector<Image> images;
  if (folder.empty()) return images;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return images;
  static const std::regex pattern("(-?[0-9]+)-([0-9A-Fa-f]{1,8})\\.bin");
  while (dirent* entry = ::readdir(dir.get())) {
    std::smatch match;
    const std::string name = entry->d_name;
    if (!std::regex_match(name, match, pattern)) continue;
    std::ifstream file(folder + "/" + name, std::ios::binary | std::ios::ate);
    if (!file) continue;
    images.push_back(Image{std::stoi(match[1]), std::stoll(match[2], nullptr, 16), name,
                           static_cast<int64_t>(file.tellg())});
  }
  std::sort(images.begin(), images.end(),
            [](const Image& a, const Image& b) { return a.sequence < b.sequence; });
  return images;
}

bool SafeFileName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

struct Answer {
  int status = 200;
  std::string contentType = "application/octet-stream";
  std::string body;
  std::string location;
  // Faults: send only this many body bytes, then close; or pause after them;
  // or send this many and then nothing until the service stops.
  std::optional<size_t> cutAfter;
  std::optional<std::pair<size_t, int>> pauseAfter;
  std::optional<size_t> stallAfter;
  // The body goes in chunks without a Content-Length (cutAfter still cuts).
  bool chunked = false;
};

std::string StatusLine(int status) {
  switch (status) {
    case 200: return "200 OK";
    case 204: return "204 No Content";
    case 302: return "302 Found";
    case 404: return "404 Not Found";
    default: return "500 Internal Server Error";
  }
}

Answer Redirect(const std::string& location) {
  Answer a;
  a.status = 302;
  a.location = location;
  a.contentType = "text/plain";
  a.body = "moved\n";
  return a;
}

// What a service under maintenance answers, with a success status.
Answer MaintenancePage() {
  Answer a;
  a.contentType = "text/html; charset=utf-8";
  a.body =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Maintenance</title></head>\n"
      "<body><h1>系統維護中</h1><p>The firmware update service is down for scheduled "
      "maintenance and will be back shortly. Thank you for your patience.</p>"
      "<p>服務暫停，請稍後再試。</p></body></html>\n";
  return a;
}

void EndStream(ssl::stream<tcp::socket>& stream, boost::system::error_code& ec) {
  stream.shutdown(ec);
}
void EndStream(tcp::socket& socket, boost::system::error_code& ec) {
  socket.shutdown(tcp::socket::shutdown_send, ec);
}

Answer HtmlError(int status) {
  Answer a;
  a.status = status;
  a.contentType = "text/html";
  a.body = "<html><head><title>" + StatusLine(status) + "</title></head><body><h1>" +
           StatusLine(status) + "</h1></body></html>\n";
  return a;
}

}  // namespace

class ReferenceUpdateService::Impl {
 public:
  explicit Impl(UpdateServiceOptions options) : options_(std::move(options)) {
    if (options_.manifestText) manifest_ = *options_.manifestText;
    manifestStatus_ = options_.manifestStatus;
    manifestFault_ = options_.manifestFault;
  }

  void Start() {
    if (options_.port == kUpdateServicePort) portLock_.emplace(kUpdateServicePort);
    trusted_ = MakeContext("server");
    acceptors_.push_back(Listen(options_.port, trusted_.get()));
    if (options_.untrustedListener) {
      untrusted_ = MakeContext("untrusted-server");
      untrustedIndex_ = acceptors_.size();
      acceptors_.push_back(Listen(options_.untrustedPort, untrusted_.get()));
    }
    if (options_.plainListener) {
      plainIndex_ = acceptors_.size();
      acceptors_.push_back(Listen(options_.plainPort, nullptr));
    }
    for (auto& acceptor : acceptors_) Accept(*acceptor.first, acceptor.second);
    runner_ = std::thread([this] { io_.run(); });
  }

  void Stop() {
    if (!runner_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      for (int fd : openSockets_) ::shutdown(fd, SHUT_RDWR);
    }
    wake_.notify_all();
    asio::post(io_, [this] {
      for (auto& acceptor : acceptors_) acceptor.first->close();
    });
    io_.stop();
    runner_.join();
    std::list<Connection> connections;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      connections.swap(connections_);
    }
    for (auto& c : connections) c.first.join();
    acceptors_.clear();
    portLock_.reset();
  }

  uint16_t Port(size_t i) const {
    return i < acceptors_.size() ? acceptors_[i].first->local_endpoint().port() : 0;
  }

  std::string BaseUrl() const {
    return "https://" + options_.urlHost + ":" + std::to_string(Port(0));
  }
  std::string PlainBaseUrl() const {
    return "http://" + options_.urlHost + ":" + std::to_string(Port(plainIndex_));
  }
  uint16_t UntrustedPort() const { return Port(untrustedIndex_); }
  uint16_t PlainPort() const { return Port(plainIndex_); }

  void SetManifestFault(const std::string& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    manifestFault_ = fault;
  }

  void SetManifestText(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    manifest_ = text;
  }

  void SetManifestStatus(int status) { manifestStatus_ = status; }

  std::string ManifestText() const {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (manifest_) return *manifest_;
    }
    return GeneratedManifest();
  }

  std::string LastUserAgent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastUserAgent_;
  }
  int ManifestRequests() const { return manifestRequests_; }

 private:
  using Acceptor = std::pair<std::unique_ptr<tcp::acceptor>, ssl::context*>;
  using Connection = std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>;

  std::unique_ptr<ssl::context> MakeContext(const std::string& name) {
    auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
    context->use_certificate_chain_file(options_.pkiDir + "/" + name + ".crt");
    context->use_private_key_file(options_.pkiDir + "/" + name + ".key", ssl::context::pem);
    return context;
  }

  // A null context listens for plain HTTP.
  Acceptor Listen(uint16_t port, ssl::context* context) {
    auto acceptor = std::make_unique<tcp::acceptor>(io_);
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
    acceptor->open(endpoint.protocol());
    acceptor->set_option(tcp::acceptor::reuse_address(true));
    acceptor->bind(endpoint);
    acceptor->listen();
    return Acceptor(std::move(acceptor), context);
  }

  void Accept(tcp::acceptor& acceptor, ssl::context* context) {
    acceptor.async_accept([this, &acceptor, context](boost::system::error_code ec,
                                                     tcp::socket socket) {
      if (ec) return;  // closed on Stop
      // Head and body go out in separate writes; without this the body
      // waits for the client's delayed acknowledgement of the head.
      socket.set_option(tcp::no_delay(true), ec);
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      ReapFinishedConnections();
      openSockets_.push_back(socket.native_handle());
      auto done = std::make_shared<std::atomic<bool>>(false);
      connections_.emplace_back(std::thread([this, context, done, s = std::move(socket)]() mutable {
                                  Serve(std::move(s), context);
                                  *done = true;
                                }),
                                done);
      Accept(acceptor, context);
    });
  }

  // Joins the threads of connections that have ended (mutex_ held).
  void ReapFinishedConnections() {
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (*it->second) {
        it->first.join();
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Serve(tcp::socket socket, ssl::context* context) {
    const int fd = socket.native_handle();
    boost::system::error_code ec;
    if (context == nullptr) {
      Exchange(socket);
      Forget(fd);
      socket.close(ec);
      return;
    }
    ssl::stream<tcp::socket> stream(std::move(socket), *context);
    stream.handshake(ssl::stream_base::server, ec);
    if (!ec) Exchange(stream);
    Forget(fd);
    stream.next_layer().close(ec);
  }

  template <typename Stream>
  void Exchange(Stream& stream) {
    boost::system::error_code ec;
    boost::beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::read(stream, buffer, request, ec);
    if (!ec) Reply(stream, Handle(request));
  }

  // Forget the descriptor before closing it, so Stop never shuts down a
  // number that the system has handed out again.
  void Forget(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    openSockets_.erase(std::remove(openSockets_.begin(), openSockets_.end(), fd),
                       openSockets_.end());
  }

  Answer ManifestAnswer() {
    std::string fault;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fault = manifestFault_;
    }
    Answer a;
    a.contentType = "application/json; charset=utf-8";
    a.body = ManifestText();
    if (fault == "empty") {
      a.body.clear();
    } else if (fault == "no-content") {
      a.status = 204;
      a.body.clear();
    } else if (fault == "maintenance") {
      return MaintenancePage();
    } else if (fault == "chunked-cut") {
      a.chunked = true;
      a.cutAfter = a.body.size() / 2;
    } else if (fault == "stall") {
      a.stallAfter = a.body.size() / 2;
    }
    return a;
  }

  Answer Handle(const http::request<http::string_body>& request) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastUserAgent_ = std::string(request[http::field::user_agent]);
    }
    if (request.method() != http::verb::get) return HtmlError(404);
    const std::string target(request.target());
    std::smatch m;
    if (target == "/api/v1/devices/firmwareUpdate?model=K1") {
      ++manifestRequests_;
      if (manifestStatus_ != 200) return HtmlError(manifestStatus_);
      return ManifestAnswer();
    }
    if (target.rfind("/files/", 0) == 0) return ImageFile(target.substr(7));
    static const std::regex data("/data/([0-9]{1,9})");
    static const std::regex cut("/fault/cut/([0-9]{1,9})");
    static const std::regex slow("/fault/slow/([0-9]{1,9})/([0-9]{1,6})");
    static const std::regex stall("/fault/stall/([0-9]{1,9})");
    static const std::regex chunked("/fault/chunked/([0-9]{1,9})");
    static const std::regex chunkedCut("/fault/chunked-cut/([0-9]{1,9})");
    static const std::regex hops("/fault/hops/([0-9]{1,3})/(.*)");
    Answer a;
    if (std::regex_match(target, m, data)) {
      a.body = PatternBytes(std::stoul(m[1]));
    } else if (std::regex_match(target, m, cut)) {
      a.body = PatternBytes(std::stoul(m[1]));
      a.cutAfter = a.body.size() / 2;
    } else if (std::regex_match(target, m, slow)) {
      a.body = PatternBytes(std::stoul(m[1]));
      a.pauseAfter = std::make_pair(a.body.size() / 2, std::stoi(m[2]));
    } else if (std::regex_match(target, m, stall)) {
      a.body = PatternBytes(std::stoul(m[1]));
      a.stallAfter = a.body.size() / 2;
    } else if (std::regex_match(target, m, chunked)) {
      a.body = PatternBytes(std::stoul(m[1]));
      a.chunked = true;
    } else if (std::regex_match(target, m, chunkedCut)) {
      a.body = PatternBytes(std::stoul(m[1]));
      a.chunked = true;
      a.cutAfter = a.body.size() / 2;
    } else if (std::regex_match(target, m, hops)) {
      const int left = std::stoi(m[1]);
      return Redirect(left > 1
                          ? BaseUrl() + "/fault/hops/" + std::to_string(left - 1) + "/" + m[2].str()
                          : BaseUrl() + "/" + m[2].str());
    } else if (target == "/fault/redirect-loop") {
      return Redirect(BaseUrl() + target);
    } else if (target.rfind("/fault/redirect-http/", 0) == 0) {
      return Redirect(PlainBaseUrl() + "/" + target.substr(21));
    } else if (target == "/fault/redirect-dead") {
      // Port 1 on the loopback has no listener: the next hop never answers.
      return Redirect("https://localhost:1/data/100");
    } else if (target == "/fault/204") {
      a.status = 204;
      a.contentType = "text/plain";
    } else if (target == "/fault/maintenance") {
      return MaintenancePage();
    } else if (target == "/echo/user-agent") {
      a.contentType = "text/plain";
      a.body = std::string(request[http::field::user_agent]);
    } else if (target == "/fault/404") {
      return HtmlError(404);
    } else if (target == "/fault/500") {
      return HtmlError(500);
    } else if (target == "/fault/empty") {
      a.contentType = "text/plain";
    } else if (target.rfind("/fault/redirect/", 0) == 0) {
      return Redirect(BaseUrl() + "/" + target.substr(16));
    } else {
      return HtmlError(404);
    }
    return a;
  }

  Answer ImageFile(const std::string& name) {
    if (!SafeFileName(name) || options_.imagesDir.empty()) return HtmlError(404);
    std::ifstream file(options_.imagesDir + "/" + name, std::ios::binary);
    if (!file) return HtmlError(404);
    Answer a;
    a.body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return a;
  }

  std::string GeneratedManifest() const {
    Json::Value root(Json::objectValue);
    Json::Value& response = root["response"];
    response["firmware_version"] = options_.firmwareVersion;
    response["release_note"] = options_.releaseNote;
    Json::Value files(Json::arrayValue);
    for (const Image& image : ListImages(options_.imagesDir)) {
      Json::Value entry(Json::objectValue);
      entry["size"] = static_cast<Json::Int64>(image.size);
      entry["sequence"] = image.sequence;
      entry["file_path"] = BaseUrl() + "/files/" + image.name;
      entry["address"] = static_cast<Json::Int64>(image.address);
      files.append(entry);
    }
    response["firmware_files"] = files;
    response["model"] = "K1";
    root["status"] = "ok";
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    builder["indentation"] = "  ";
    return Json::writeString(builder, root);
  }

  template <typename Stream>
  void Reply(Stream& stream, const Answer& a) {
    std::ostringstream head;
    head << "HTTP/1.1 " << StatusLine(a.status) << "\r\n"
         << "Content-Type: " << a.contentType << "\r\n";
    if (a.chunked) {
      head << "Transfer-Encoding: chunked\r\n";
    } else if (a.status != 204) {
      head << "Content-Length: " << a.body.size() << "\r\n";
    }
    head << "Connection: close\r\n";
    if (!a.location.empty()) head << "Location: " << a.location << "\r\n";
    head << "\r\n";
    boost::system::error_code ec;
    asio::write(stream, asio::buffer(head.str()), ec);
    if (ec) return;
    if (a.chunked) {
      ReplyChunked(stream, a);
      return;
    }
    if (a.stallAfter) {
      asio::write(stream, asio::buffer(a.body.data(), *a.stallAfter), ec);
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_; });
      return;
    }
    if (a.cutAfter) {
      // Close the TCP connection under the TLS session: the client sees the
      // body end early.
      asio::write(stream, asio::buffer(a.body.data(), *a.cutAfter), ec);
      return;
    }
    size_t sent = 0;
    if (a.pauseAfter) {
      sent = a.pauseAfter->first;
      asio::write(stream, asio::buffer(a.body.data(), sent), ec);
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(a.pauseAfter->second),
                     [this] { return stopping_; });
      if (stopping_ || ec) return;
    }
    asio::write(stream, asio::buffer(a.body.data() + sent, a.body.size() - sent), ec);
    if (!ec) EndStream(stream, ec);
  }

  // Chunks of at most 1000 bytes; a cut ends the connection inside the
  // chunk that holds the cut-off point.
  template <typename Stream>
  void ReplyChunked(Stream& stream, const Answer& a) {
    constexpr size_t kChunk = 1000;
    const size_t limit = a.cutAfter.value_or(a.body.size());
    boost::system::error_code ec;
    for (size_t at = 0; at < a.body.size() && !ec; at += kChunk) {
      const size_t n = std::min(kChunk, a.body.size() - at);
      std::ostringstream size;
      size << std::hex << n << "\r\n";
      asio::write(stream, asio::buffer(size.str()), ec);
      if (at + n > limit) {
        asio::write(stream, asio::buffer(a.body.data() + at, limit - at), ec);
        return;
      }
      asio::write(stream, asio::buffer(a.body.data() + at, n), ec);
      asio::write(stream, asio::buffer("\r\n", 2), ec);
    }
    if (ec) return;
    asio::write(stream, asio::buffer("0\r\n\r\n", 5), ec);
    if (!ec) EndStream(stream, ec);
  }

  UpdateServiceOptions options_;
  asio::io_context io_;
  std::unique_ptr<ssl::context> trusted_;
  std::unique_ptr<ssl::context> untrusted_;
  std::vector<Acceptor> acceptors_;
  size_t untrustedIndex_ = SIZE_MAX;
  size_t plainIndex_ = SIZE_MAX;
  std::optional<ScopedPortLock> portLock_;
  std::thread runner_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::list<Connection> connections_;
  std::vector<int> openSockets_;
  std::optional<std::string> manifest_;
  std::string manifestFault_;
  std::string lastUserAgent_;
  std::atomic<int> manifestRequests_{0};
  std::atomic<int> manifestStatus_{200};
};

ReferenceUpdateService::ReferenceUpdateService(UpdateServiceOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}
ReferenceUpdateService::~ReferenceUpdateService() { impl_->Stop(); }
void ReferenceUpdateService::Start() { impl_->Start(); }
void ReferenceUpdateService::Stop() { impl_->Stop(); }
uint16_t ReferenceUpdateService::Port() const { return impl_->Port(0); }
uint16_t ReferenceUpdateService::UntrustedPort() const { return impl_->UntrustedPort(); }
uint16_t ReferenceUpdateService::PlainPort() const { return impl_->PlainPort(); }
std::string ReferenceUpdateService::BaseUrl() const { return impl_->BaseUrl(); }
void ReferenceUpdateService::SetManifestText(const std::string& text) {
  impl_->SetManifestText(text);
}
void ReferenceUpdateService::SetManifestStatus(int status) { impl_->SetManifestStatus(status); }
void ReferenceUpdateService::SetManifestFault(const std::string& fault) {
  impl_->SetManifestFault(fault);
}
std::string ReferenceUpdateService::ManifestText() const { return impl_->ManifestText(); }
std::string ReferenceUpdateService::LastUserAgent() const { return impl_->LastUserAgent(); }
int ReferenceUpdateService::ManifestRequests() const { return impl_->ManifestRequests(); }

}  // namespace kestrune
