#include "i18n/mo_catalogue.h"

#include <cstdint>

namespace kestrune {
namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;

// The 32-bit words of the file in the byte order its magic number says.
class Words {
 public:
  Words(const std::string& bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

  bool At(std::uint64_t offset, std::uint32_t& word) const {
    if (offset + 4 > bytes_.size()) return false;
    const auto byte = [&](std::uint64_t i) {
      return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[offset + i]));
    };
    word = bigEndian_ ? byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3)
                      : byte(3) << 24 | byte(2) << 16 | byte(1) << 8 | byte(0);
    return true;
  }

  // The string that the table entry at `entry` (length, offset) describes.
  bool String(std::uint64_t entry, std::string& text) const {
    std::uint32_t length = 0;
    std::uint32_t offset = 0;
    if (!At(entry, length) || !At(entry + 4, offset)) return false;
    if (std::uint64_t{offset} + length > bytes_.size()) return false;
    text.assign(bytes_, offset, length);
    return true;
  }

 private:
  const std::string& bytes_;
  bool bigEndian_;
};

// A plural entry keeps its forms one after another, each ended by a NUL.
std::vector<std::string> Forms(const std::string& text) {
  std::vector<std::string> forms;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find('\0', at);
    forms.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) return forms;
    at = end + 1;
  }
}

}  // namespace

bool MoCatalogue::Read(const std::string& bytes) {
  translations_.clear();
  plurals_.clear();
  oneForm_ = false;
  if (bytes.size() < 28) return false;
  std::uint32_t magic = 0;
  if (!Words(bytes, false).At(0, magic)) return false;
  if (magic != kMagic && magic != kMagicSwapped) return false;
  const Words words(bytes, magic == kMagicSwapped);
  std::uint32_t count = 0;
  std::uint32_t originals = 0;
  std::uint32_t translations = 0;
  if (!words.At(8, count) || !words.At(12, originals) || !words.At(16, translations)) return false;
  std::unordered_map<std::string, std::string> read;
  std::unordered_map<std::string, std::vector<std::string>> plurals;
  bool oneForm = false;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string english;
    std::string translated;
    if (!words.String(originals + i * 8, english) ||
        !words.String(translations + i * 8, translated)) {
      return false;
    }
    // The entry with the empty text is the catalogue's header, no message.
    if (english.empty()) {
      oneForm = translated.find("nplurals=1") != std::string::npos;
      continue;
    }
    std::vector<std::string> forms = Forms(translated);
    const std::string singular = Forms(english).front();
    read[singular] = forms.front();
    if (english.find('\0') != std::string::npos) plurals[singular] = std::move(forms);
  }
  translations_ = std::move(read);
  plurals_ = std::move(plurals);
  oneForm_ = oneForm;
  return true;
}

const std::string* MoCatalogue::Find(const std::string& english) const {
  const auto found = translations_.find(english);
  return found == translations_.end() ? nullptr : &found->second;
}

const std::string* MoCatalogue::FindPlural(const std::string& one, unsigned long n) const {
  const auto found = plurals_.find(one);
  if (found == plurals_.end()) return nullptr;
  const std::size_t form = oneForm_ || n == 1 ? 0 : 1;
  return form < found->second.size() ? &found->second[form] : nullptr;
}

}  // namespace kestrune
