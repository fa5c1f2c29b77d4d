#include "update/update_manifest.h"

#include <json/json.h>

#include <exception>
#include <set>

#include "update/text_conversion.h"

namespace kestrune {
namespace {

// The member `name` of an object, or null when it has none.
const Json::Value* Member(const Json::Value& object, const std::string& name) {
  return object.find(name.data(), name.data() + name.size());
}

bool ReadString(const Json::Value& object, const std::string& name, std::u16string& out) {
  const Json::Value* member = Member(object, name);
  if (member == nullptr || !member->isString()) return false;
  out = Utf8ToWideText(member->asString());
  return true;
}

bool ReadInt32(const Json::Value& object, const std::string& name, int32_t& out) {
  const Json::Value* member = Member(object, name);
  if (member == nullptr) {
    out = 0;
    return true;
  }
  // isInt() alone would also accept a real such as 5.0.
  const bool integer = member->type() == Json::intValue || member->type() == Json::uintValue;
  if (!integer || !member->isInt()) return false;
  out = member->asInt();
  return true;
}

bool ReadEntry(const Json::Value& element, FirmwareFileEntry& entry) {
  return element.isObject() && ReadInt32(element, "size", entry.size) && entry.size >= 0 &&
         ReadInt32(element, "sequence", entry.sequence) &&
         ReadString(element, "file_path", entry.filePath) &&
         ReadInt32(element, "address", entry.address);
}

bool ReadManifest(const Json::Value& root, UpdateManifest& manifest, std::string& why) {
  if (!root.isObject()) return false;
  const Json::Value* response = Member(root, "response");
  if (response == nullptr || !response->isObject()) return false;
  if (!ReadString(*response, "firmware_version", manifest.firmwareVersion) ||
      !ReadString(*response, "release_note", manifest.releaseNote)) {
    return false;
  }
  const Json::Value* files = Member(*response, "firmware_files");
  if (files == nullptr) return true;
  if (!files->isArray()) return false;
  std::set<int32_t> sequences;
  for (const Json::Value& element : *files) {
    FirmwareFileEntry entry;
    if (!ReadEntry(element, entry)) return false;
    if (!sequences.insert(entry.sequence).second) {
      why = "two images share sequence " + std::to_string(entry.sequence);
      return false;
    }
    manifest.firmwareFiles.push_back(std::move(entry));
  }
  return true;
}

}  // namespace

bool ParseUpdateManifest(const std::string& text, UpdateManifest& out, std::string* why) {
  std::string refusal;
  if (why != nullptr) why->clear();
  if (text.size() <= kNoManifestMaxBytes) return false;
  Json::Value root;
  try {
    Json::Reader reader;
    if (!reader.parse(text, root, true)) return false;
  } catch (const std::exception&) {
    return false;  // the reader throws on nesting deeper than its limit
  }
  UpdateManifest manifest;
  if (!ReadManifest(root, manifest, refusal)) {
    if (why != nullptr) *why = std::move(refusal);
    return false;
  }
  out = std::move(manifest);
  return true;
}

}  // namespace kestrune
