#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "update/replace_file.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

std::string Failed(const char* operation) {
  return std::string(operation) + ": " + std::strerror(errno);
}

}  // namespace

bool ReplaceFileContents(const std::u16string& path, const std::string& bytes, std::string& error) {
  const std::string target = WideToUtf8Text(path);
  std::string pattern = target + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    error = Failed("create temporary file");
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  bool ok = true;
  // The first failure is the cause; what follows it is not tried.
  const auto check = [&](bool succeeded, const char* operation) {
    if (ok && !succeeded) {
      ok = false;
      error = Failed(operation);
    }
  };
  check(done == bytes.size(), "write");
  check(::fchmod(fd, 0644) == 0, "fchmod");  // mkostemp makes it 0600
  check(ok && ::fsync(fd) == 0, "fsync");
  check(::close(fd) == 0, "close");
  check(ok && std::rename(name.data(), target.c_str()) == 0, "rename");
  if (!ok) ::unlink(name.data());
  return ok;
}

}  // namespace kestrune
