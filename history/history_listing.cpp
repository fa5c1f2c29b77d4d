#include "history/history_listing.h"

#include <json/json.h>

#include <cctype>
#include <cstdio>

namespace kestrune {
namespace {

bool Digits(const std::string& text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return false;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// RFC 4180 (with the line ends of the platform's text output): a field with a comma, quote or line
// end is quoted, its quotes doubled.
std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string ImagesForPeople(const std::vector<ImageDigest>& images) {
  std::string text;
  for (const ImageDigest& image : images) {
    if (!text.empty()) text += ' ';
    text += std::to_string(image.size) + ":" + image.sha256.substr(0, 12);
  }
  return text;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

bool ParseSinceDate(const std::string& date, std::string& sinceUtc) {
  std::string text = date;
  if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.pop_back();
  if (!(Digits(text, 0, 4) && text.size() >= 10 && text[4] == '-' && Digits(text, 5, 2) &&
        text[7] == '-' && Digits(text, 8, 2))) {
    return false;
  }
  if (text.size() == 10) {
    sinceUtc = text;
    return true;
  }
  if (text[10] != 'T' && text[10] != ' ') return false;
  text[10] = 'T';
  const bool minutes =
      text.size() == 16 && Digits(text, 11, 2) && text[13] == ':' && Digits(text, 14, 2);
  const bool seconds = text.size() == 19 && Digits(text, 11, 2) && text[13] == ':' &&
                       Digits(text, 14, 2) && text[16] == ':' && Digits(text, 17, 2);
  if (!minutes && !seconds) return false;
  sinceUtc = text;
  return true;
}

std::string FormatHistory(const std::vector<HistoryRow>& rows, HistoryFormat format) {
  std::string out;
  if (format == HistoryFormat::kCsv) {
    out +=
        "start_utc,end_utc,program,program_version,host,serial,port,location,"
        "firmware_version,images,reason,blocks_written,read_back,log_tag\n";
    for (const HistoryRow& row : rows) {
      const std::string fields[] = {row.startUtc,
                                    row.endUtc,
                                    row.program,
                                    row.programVersion,
                                    row.host,
                                    row.serial,
                                    row.port,
                                    row.location,
                                    row.firmwareVersion,
                                    ImagesText(row.images),
                                    row.reason,
                                    std::to_string(row.blocksWritten),
                                    row.readBack,
                                    row.logTag};
      bool first = true;
      for (const std::string& field : fields) {
        if (!first) out += ',';
        out += CsvField(field);
        first = false;
      }
      out += "\n";
    }
    return out;
  }
  if (format == HistoryFormat::kJsonLines) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    for (const HistoryRow& row : rows) {
      Json::Value line(Json::objectValue);
      line["event"] = "history";
      line["start_utc"] = row.startUtc;
      line["end_utc"] = row.endUtc;
      line["program"] = row.program;
      line["program_version"] = row.programVersion;
      line["host"] = row.host;
      line["serial"] = row.serial;
      line["port"] = row.port;
      line["location"] = row.location;
      line["firmware_version"] = row.firmwareVersion;
      Json::Value images(Json::arrayValue);
      for (const ImageDigest& image : row.images) {
        Json::Value entry(Json::objectValue);
        entry["size"] = image.size;
        entry["sha256"] = image.sha256;
        images.append(entry);
      }
      line["images"] = images;
      line["reason"] = row.reason;
      line["blocks_written"] = row.blocksWritten;
      line["read_back"] = row.readBack;
      line["log_tag"] = row.logTag;
      out += Json::writeString(builder, line) + "\n";
    }
    return out;
  }
  for (const HistoryRow& row : rows) {
    // "2026-12-11 07:30:02  KW-0001  /dev/ttyACM0  2.418  done  4 blocks  kestrune-update 1.0.0.1
    // on desk-3"
    std::string when = row.endUtc.substr(0, 19);
    if (when.size() > 10) when[10] = ' ';
    out += when + "  " + OrDash(row.serial) + "  " + OrDash(row.port) + "  " +
           OrDash(row.firmwareVersion) + "  " + row.reason + "  " +
           std::to_string(row.blocksWritten) + " blocks  read back: " + row.readBack + "  " +
           row.program + " " + row.programVersion + " on " + OrDash(row.host) + "  images " +
           OrDash(ImagesForPeople(row.images)) + "\n";
  }
  return out;
}

}  // namespace kestrune
