// Linux: each process's open files are the links in /proc/<pid>/fd. A link
// is a hold when it names the port's device: its target is the port's real
// path, or another /dev node with the same device number (a link such as
// /dev/serial/by-id/...). Only /dev targets are looked at further, so no
// file of a slow or hung file system is ever touched.
#include "device/port_holders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace kestrune {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// The digits-only name of a /proc entry as a pid, or 0.
long PidOf(const char* name) {
  char* end = nullptr;
  const long pid = std::strtol(name, &end, 10);
  return end != name && *end == '\0' ? pid : 0;
}

std::string LinkTarget(const std::string& link) {
  char target[4096];
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

bool NamesPort(const std::string& link, const std::string& realPath, dev_t device) {
  const std::string target = LinkTarget(link);
  if (target.empty()) return false;  // gone meanwhile, or not ours to read
  if (target != realPath && target.compare(0, 5, "/dev/") != 0) return false;
  struct stat opened;
  if (::stat(link.c_str(), &opened) != 0) return target == realPath;
  return S_ISCHR(opened.st_mode) && opened.st_rdev == device;
}

bool HoldsPort(long pid, const std::string& realPath, dev_t device) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  const Dir dir(::opendir(fds.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    if (NamesPort(fds + "/" + entry->d_name, realPath, device)) return true;
  }
  return false;
}

std::string ProgramName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "?" : name;
}

}  // namespace

std::vector<PortHolder> OtherPortHolders(const std::string& portPath) {
  struct stat port;
  if (::stat(portPath.c_str(), &port) != 0 || !S_ISCHR(port.st_mode)) return {};
  std::string realPath = portPath;
  if (char* resolved = ::realpath(portPath.c_str(), nullptr)) {
    realPath = resolved;
    std::free(resolved);
  }
  std::vector<PortHolder> holders;
  const long self = static_cast<long>(::getpid());
  const Dir proc(::opendir("/proc"));
  if (!proc) return holders;
  while (const dirent* entry = ::readdir(proc.get())) {
    const long pid = PidOf(entry->d_name);
    if (pid <= 0 || pid == self) continue;
    if (HoldsPort(pid, realPath, port.st_rdev)) holders.push_back({pid, ProgramName(pid)});
  }
  std::sort(holders.begin(), holders.end(),
            [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  return holders;
}

}  // namespace kestrune
