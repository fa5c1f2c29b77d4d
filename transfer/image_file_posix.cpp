#include "transfer/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "update/text_conversion.h"

namespace kestrune {
namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

bool ReadFirmwareImage(const std::u16string& path, std::uint32_t expectedLength,
                       FirmwareImage& image) {
  image = FirmwareImage{};
  const std::string native = WideToUtf8Text(path);
  // Non-blocking, so a FIFO planted under the name cannot stall the run.
  Fd file{open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return false;
  struct stat info {};
  if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (static_cast<unsigned long long>(info.st_size) != expectedLength) return false;

  std::unique_ptr<unsigned char[]> bytes(new unsigned char[expectedLength ? expectedLength : 1]);
  std::uint32_t got = 0;
  while (got < expectedLength) {
    const ssize_t n = read(file.fd, bytes.get() + got, expectedLength - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // shrunk under us or an I/O error
    got += static_cast<std::uint32_t>(n);
  }
  image.bytes = std::move(bytes);
  image.length = expectedLength;
  return true;
}

}  // namespace kestrune
