#include "update/file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "update/text_conversion.h"

namespace kestrune {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

FileContents ReadFileContents(const std::u16string& path, std::optional<uint32_t> expectedSize) {
  FileContents contents;
  // Non-blocking, so a FIFO planted under the name cannot stall the reader.
  Fd file(::open(WideToUtf8Text(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info;
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > static_cast<off_t>(UINT32_MAX)) {
    return contents;
  }
  const auto size = static_cast<uint32_t>(info.st_size);
  if (expectedSize && *expectedSize != size) return contents;
  std::unique_ptr<char[]> data(new char[size == 0 ? 1 : size]);
  uint32_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(file.get(), data.get() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return contents;  // shrunk meanwhile, or an I/O error
    done += static_cast<uint32_t>(n);
  }
  contents.data = std::move(data);
  contents.size = size;
  return contents;
}

}  // namespace kestrune
