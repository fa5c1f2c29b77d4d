#include "device/port_holders.h"

namespace kestrune {

std::string DescribePortHolders(const std::vector<PortHolder>& holders) {
  std::string text;
  for (const PortHolder& holder : holders) {
    if (!text.empty()) text += ", ";
    text += "pid " + std::to_string(holder.pid) + " (" + holder.name + ")";
  }
  return text;
}

}  // namespace kestrune
