// The offline rule: saved images are written only when the record beside
// them vouches for the manifest, entry by entry, for this model, and each
// still has its recorded digest. A bundle folder is made as a download
// leaves one (features.json is the manifest text handed in, data<n>.bin,
// images.json), then one thing about it is changed. Natively and under Wine.
#include "transfer/firmware_fetch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "testing/recording_firmware_update_reporter.h"
#include "testing/temp_folder.h"
#include "testing/whole_file.h"
#include "update/image_record.h"
#include "update/offline_downloader.h"
#include "update/sha256.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

class NotedReporter : public testing_support::RecordingFirmwareUpdateReporter {
 public:
  void Note(const std::string& detail) override { notes += detail + "\n"; }
  std::string notes;
};

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + seed);
  return bytes;
}

// One image as a manifest lists it.
struct Listed {
  int sequence;
  int size;
  int address;
  std::string url;
};

std::string ManifestText(const std::string& version, const std::vector<Listed>& files) {
  std::string list;
  for (const Listed& f : files) {
    if (!list.empty()) list += ",";
    list += "{\"size\":" + std::to_string(f.size) + ",\"sequence\":" + std::to_string(f.sequence) +
            ",\"file_path\":\"" + f.url + "\",\"address\":" + std::to_string(f.address) + "}";
  }
  return "{\"response\":{\"firmware_version\":\"" + version +
         "\",\"release_note\":\"Saved at the office, written on the boat; the record says which "
         "bytes belong to which entry.\",\"firmware_files\":[" +
         list + "]}}";
}

const std::vector<Listed> kTwoImages = {
    {1, 8192, 0x8000, "https://updates.example/files/1-00008000.bin"},
    {2, 5000, 0x20000, "https://updates.example/files/2-00020000.bin"}};

// A bundle as a download left it, then changed by the case.
struct Bundle {
  fs::path folder;
  std::string manifest;            // the text the offline run works from
  std::vector<std::string> saved;  // data<n>.bin as the download saved them
  std::string model = "K1";
  std::vector<Listed> recordedFiles = kTwoImages;
  std::string recordedVersion = "1.0";
};

struct OfflineCase {
  const char* name;
  // Changes the bundle before the offline run: the manifest it works from,
  // the files, the record.
  std::function<void(Bundle&)> change;
  RunOutcome outcome;
  const char* cause;  // in the run log's notes; empty for a run that is done
};

void PrintTo(const OfflineCase& c, std::ostream* out) { *out << c.name; }

void WriteRecord(const Bundle& bundle) {
  UpdateManifest manifest;
  ASSERT_TRUE(
      ParseUpdateManifest(ManifestText(bundle.recordedVersion, bundle.recordedFiles), manifest));
  std::vector<std::string> digests;
  for (const std::string& image : bundle.saved) {
    digests.push_back(Sha256Hex(image.data(), image.size()));
  }
  WriteWholeFile(bundle.folder / "images.json",
                 ImageRecordText(RecordOf(bundle.model, manifest, digests)));
}

class OfflineRule : public testing::TestWithParam<OfflineCase> {};

TEST_P(OfflineRule, WritesOnlyWhatTheRecordVouchesFor) {
  const OfflineCase& c = GetParam();
  TempFolder folder("bundle");
  Bundle bundle;
  bundle.folder = folder.path();
  bundle.manifest = ManifestText("1.0", kTwoImages);
  bundle.saved = {Pattern(8192, 1), Pattern(5000, 2)};
  WriteWholeFile(folder.path() / "data1.bin", bundle.saved[0]);
  WriteWholeFile(folder.path() / "data2.bin", bundle.saved[1]);
  if (c.change) c.change(bundle);
  if (!fs::exists(folder.path() / "images.json.gone")) WriteRecord(bundle);
  const std::string recordBefore =
      fs::exists(folder.path() / "images.json") ? ReadWholeFile(folder.path() / "images.json") : "";

  NotedReporter reporter;
  FetchedFirmware firmware;
  const RunOutcome outcome = FetchFirmware(
      reporter, std::make_shared<const std::string>(bundle.manifest), SavedFilesDownloader(), {},
      firmware, UpdateDataSource::kSavedFiles, folder.path().u16string());

  EXPECT_EQ(outcome, c.outcome) << reporter.notes;
  if (c.outcome == RunOutcome::kDone) {
    ASSERT_EQ(firmware.images.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(firmware.images[i].bytes.Bytes(), bundle.saved[i]);
      EXPECT_EQ(firmware.images[i].sha256,
                Sha256Hex(bundle.saved[i].data(), bundle.saved[i].size()));
    }
  } else {
    EXPECT_NE(reporter.notes.find(c.cause), std::string::npos) << c.cause << " in\n"
                                                               << reporter.notes;
  }
  // An offline run changes nothing in the bundle, its record included.
  if (!recordBefore.empty()) EXPECT_EQ(ReadWholeFile(folder.path() / "images.json"), recordBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Bundles, OfflineRule,
    testing::Values(
        OfflineCase{"RecordMatches", nullptr, RunOutcome::kDone, ""},
        // A check replaced the manifest by a newer one whose images have the
        // same sizes; the saved ones are the older firmware's.
        OfflineCase{"NewerManifestSameSizes",
                    [](Bundle& b) { b.manifest = ManifestText("2.0", kTwoImages); },
                    RunOutcome::kImageWrongSize,
                    "the saved images are not the manifest's (saved for firmware \"1.0\", the "
                    "manifest offers \"2.0\""},
        OfflineCase{"ImageChangedSameSize",
                    [](Bundle& b) {
                      std::string changed = b.saved[1];
                      changed[4999] ^= 0x01;
                      WriteWholeFile(b.folder / "data2.bin", changed);
                    },
                    RunOutcome::kImageWrongSize, "data2.bin has SHA-256 "},
        OfflineCase{"RecordMissing",
                    [](Bundle& b) { WriteWholeFile(b.folder / "images.json.gone", ""); },
                    RunOutcome::kImageWrongSize, "offline: no record of the saved images"},
        OfflineCase{"RecordNotJson",
                    [](Bundle& b) {
                      WriteWholeFile(b.folder / "images.json.gone", "");
                      WriteWholeFile(b.folder / "images.json", "{\"model\":\"K1\",");
                    },
                    RunOutcome::kImageWrongSize, "is no record of saved images (not JSON)"},
        OfflineCase{"RecordOfAnotherModel", [](Bundle& b) { b.model = "K2"; },
                    RunOutcome::kImageWrongSize,
                    "saved for model K2, this program updates model K1"},
        OfflineCase{"ManifestListsAnotherAddress",
                    [](Bundle& b) {
                      std::vector<Listed> moved = kTwoImages;
                      moved[1].address = 0x30000;
                      b.manifest = ManifestText("1.0", moved);
                    },
                    RunOutcome::kImageWrongSize, "entry 2: address 131072 saved, 196608 listed"},
        OfflineCase{"ManifestNamesAnotherUrl",
                    [](Bundle& b) {
                      std::vector<Listed> other = kTwoImages;
                      other[0].url = "https://mirror.example/files/1-00008000.bin";
                      b.manifest = ManifestText("1.0", other);
                    },
                    RunOutcome::kImageWrongSize,
                    "entry 1: saved from https://updates.example/files/1-00008000.bin, listed at "
                    "https://mirror.example/files/1-00008000.bin"},
        OfflineCase{"ManifestListsOneMore",
                    [](Bundle& b) {
                      std::vector<Listed> more = kTwoImages;
                      more.push_back({3, 4096, 0x40000, "https://updates.example/files/3.bin"});
                      b.manifest = ManifestText("1.0", more);
                    },
                    RunOutcome::kImageWrongSize, "2 image(s) saved, the manifest lists 3"},
        OfflineCase{"SavedImageMissing", [](Bundle& b) { fs::remove(b.folder / "data1.bin"); },
                    RunOutcome::kImageDownloadFailed, "no saved file"},
        OfflineCase{
            "SavedImageShort",
            [](Bundle& b) { WriteWholeFile(b.folder / "data1.bin", b.saved[0].substr(0, 8191)); },
            RunOutcome::kImageWrongSize,
            "data1.bin does not hold the manifest's 8192 bytes (8191 bytes)"},
        // Recorded as it is listed, so only the scheme can refuse it.
        OfflineCase{"ImageOverPlainHttp",
                    [](Bundle& b) {
                      b.recordedFiles[1].url = "http://updates.example/files/2-00020000.bin";
                      b.manifest = ManifestText("1.0", b.recordedFiles);
                    },
                    RunOutcome::kImageDownloadFailed, "not an https URL"},
        OfflineCase{"SequenceShared",
                    [](Bundle& b) {
                      std::vector<Listed> shared = kTwoImages;
                      shared[1].sequence = 1;
                      b.manifest = ManifestText("1.0", shared);
                    },
                    RunOutcome::kNoUpdateData, "two images share sequence 1"}),
    [](const testing::TestParamInfo<OfflineCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrune
