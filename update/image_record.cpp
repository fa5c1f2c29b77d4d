#include "update/image_record.h"

#include <json/json.h>

#include <exception>
#include <memory>
#include <sstream>

#include "update/text_conversion.h"

namespace kestrune {
namespace {

bool IsDigest(const std::string& text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool ReadInt32(const Json::Value& object, const char* name, std::int32_t& out) {
  const Json::Value& member = object[name];
  if (!(member.type() == Json::intValue || member.type() == Json::uintValue) || !member.isInt())
    return false;
  out = member.asInt();
  return true;
}

bool ReadText(const Json::Value& object, const char* name, std::string& out) {
  const Json::Value& member = object[name];
  if (!member.isString()) return false;
  out = member.asString();
  return true;
}

std::string Quoted(const std::u16string& text) { return "\"" + WideToUtf8Text(text) + "\""; }

}  // namespace

ImageRecord RecordOf(const std::string& model, const UpdateManifest& manifest,
                     const std::vector<std::string>& sha256) {
  ImageRecord record;
  record.model = model;
  record.firmwareVersion = manifest.firmwareVersion;
  for (std::size_t i = 0; i < manifest.firmwareFiles.size(); ++i) {
    const FirmwareFileEntry& entry = manifest.firmwareFiles[i];
    record.images.push_back({entry.sequence, entry.size, entry.address, entry.filePath,
                             i < sha256.size() ? sha256[i] : std::string()});
  }
  return record;
}

std::string ImageRecordText(const ImageRecord& record) {
  Json::Value root(Json::objectValue);
  root["model"] = record.model;
  root["firmware_version"] = WideToUtf8Text(record.firmwareVersion);
  Json::Value images(Json::arrayValue);
  for (const RecordedImage& image : record.images) {
    Json::Value entry(Json::objectValue);
    entry["sequence"] = image.sequence;
    entry["size"] = image.size;
    entry["address"] = image.address;
    entry["file_path"] = WideToUtf8Text(image.filePath);
    entry["sha256"] = image.sha256;
    images.append(entry);
  }
  root["images"] = images;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "  ";
  writer["emitUTF8"] = true;
  return Json::writeString(writer, root) + "\n";
}

bool ParseImageRecord(const std::string& text, ImageRecord& out, std::string& why) {
  Json::Value root;
  try {
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
      why = "not JSON";
      return false;
    }
  } catch (const std::exception&) {
    why = "not JSON";
    return false;
  }
  ImageRecord record;
  std::string version;
  if (!root.isObject() || !ReadText(root, "model", record.model) ||
      !ReadText(root, "firmware_version", version) || !root["images"].isArray()) {
    why = "no model, firmware_version or images";
    return false;
  }
  record.firmwareVersion = Utf8ToWideText(version);
  for (const Json::Value& element : root["images"]) {
    RecordedImage image;
    std::string url;
    if (!element.isObject() || !ReadInt32(element, "sequence", image.sequence) ||
        !ReadInt32(element, "size", image.size) || !ReadInt32(element, "address", image.address) ||
        !ReadText(element, "file_path", url) || !ReadText(element, "sha256", image.sha256) ||
        !IsDigest(image.sha256)) {
      why = "image " + std::to_string(record.images.size() + 1) + " is not a recorded image";
      return false;
    }
    image.filePath = Utf8ToWideText(url);
    record.images.push_back(std::move(image));
  }
  out = std::move(record);
  return true;
}

std::string ImageRecordMismatch(const ImageRecord& record, const UpdateManifest& manifest,
                                const std::string& model) {
  if (record.model != model) {
    return "saved for model " + record.model + ", this program updates model " + model;
  }
  if (record.firmwareVersion != manifest.firmwareVersion) {
    return "saved for firmware " + Quoted(record.firmwareVersion) + ", the manifest offers " +
           Quoted(manifest.firmwareVersion);
  }
  if (record.images.size() != manifest.firmwareFiles.size()) {
    return std::to_string(record.images.size()) + " image(s) saved, the manifest lists " +
           std::to_string(manifest.firmwareFiles.size());
  }
  for (std::size_t i = 0; i < record.images.size(); ++i) {
    const RecordedImage& saved = record.images[i];
    const FirmwareFileEntry& listed = manifest.firmwareFiles[i];
    std::ostringstream differs;
    if (saved.sequence != listed.sequence) {
      differs << "sequence " << saved.sequence << " saved, " << listed.sequence << " listed";
    } else if (saved.size != listed.size) {
      differs << "size " << saved.size << " saved, " << listed.size << " listed";
    } else if (saved.address != listed.address) {
      differs << "address " << saved.address << " saved, " << listed.address << " listed";
    } else if (saved.filePath != listed.filePath) {
      differs << "saved from " << WideToUtf8Text(saved.filePath) << ", listed at "
              << WideToUtf8Text(listed.filePath);
    } else {
      continue;
    }
    return "entry " + std::to_string(i + 1) + ": " + differs.str();
  }
  return {};
}

}  // namespace kestrune
