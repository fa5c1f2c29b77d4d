#pragma once
// The other programs that have a serial port open. A line that another
// program reads or writes meanwhile is no line to write firmware over: it
// takes the watch's answers, or puts its own bytes between the frames. On
// Linux nothing stops a program that opened the port before us (`cat
// /dev/ttyACM0`), so they are looked for as fuser looks, through
// /proc/<pid>/fd; on Windows a port open elsewhere does not open at all, so
// none is ever found there.

#include <string>
#include <vector>

namespace kestrune {

struct PortHolder {
  long pid = 0;
  std::string name;  // the program's name as the system keeps it, e.g. "cat"
};

// Every process but this one that has the device of `portPath` (UTF-8) open,
// by ascending pid. A process whose descriptors cannot be read (another
// user's) is not counted: reading them is how a hold is known.
std::vector<PortHolder> OtherPortHolders(const std::string& portPath);

// "pid 4711 (cat), pid 4712 (sleep)".
std::string DescribePortHolders(const std::vector<PortHolder>& holders);

}  // namespace kestrune
