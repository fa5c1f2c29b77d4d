#pragma once
// The station's memory of the watches it has seen in one session: a watch
// is written when it appears, but one already updated in this session is
// not written again (a watch that re-enumerates after its finish frame
// would otherwise be flashed in a loop), nor one that is being written.

#include <map>
#include <string>

namespace kestrune {

enum class StationDecision {
  kWrite,           // start writing it
  kAlreadyUpdated,  // it ended "更新完成" earlier in this session
  kBeingWritten,    // its run has not ended yet
};

class StationLedger {
 public:
  // With `again`, a watch updated earlier is written again.
  explicit StationLedger(bool again) : again_(again) {}

  // What identifies a watch across plugging: its USB serial number, or for
  // a watch without one its port and where it is plugged in.
  static std::string Key(const std::string& serial, const std::string& port,
                         const std::string& location);

  // A watch with `key` has appeared. kWrite also records it as being
  // written.
  StationDecision Appeared(const std::string& key);
  // Its run ended, with "更新完成" when `done`. One that failed is written
  // again when it next appears.
  void Finished(const std::string& key, bool done);
  // It was not written after all (the history says it already has the
  // firmware): the next time it appears is decided afresh.
  void Forget(const std::string& key) { watches_.erase(key); }

 private:
  enum class State { kBeingWritten, kUpdated, kFailed };
  bool again_;
  std::map<std::string, State> watches_;
};

}  // namespace kestrune
