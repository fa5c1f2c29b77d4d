// libFuzzer target over the manifest reader and the UTF-8 decoder. Checks,
// besides the sanitizers: decoding never yields more units than bytes, a
// decoded text that holds only whole surrogate pairs survives a round trip,
// and an accepted manifest came from a text longer than 256 bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/text_conversion.h"
#include "update/update_manifest.h"

namespace {

bool PairsAreWhole(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  kestrune::WideBuffer wide;
  kestrune::Utf8ToWide(bytes.data(), bytes.size(), wide);
  if (wide.Count() > bytes.size()) std::abort();
  const std::u16string text = wide.TerminatedText();
  if (PairsAreWhole(text) && kestrune::Utf8ToWideText(kestrune::WideToUtf8Text(text)) != text) {
    // Only a leading U+FEFF may differ: it is dropped again on the way back.
    if (text.empty() || text[0] != 0xFEFF) std::abort();
  }

  kestrune::UpdateManifest manifest;
  if (kestrune::ParseUpdateManifest(bytes, manifest) && size <= kestrune::kNoManifestMaxBytes) {
    std::abort();
  }
  return 0;
}
