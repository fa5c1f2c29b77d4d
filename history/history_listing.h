#pragma once
// What `kestrune-update history` prints: the rows newest first, as a table
// for a person, as JSON lines or as CSV for whatever system a desk already
// keeps its records in.

#include <string>
#include <vector>

#include "history/history_row.h"

namespace kestrune {

enum class HistoryFormat { kText, kJsonLines, kCsv };

// A --since DATE as the UTC text the rows are compared with: "2026-12-11",
// "2026-12-11T07:30", "2026-12-11 07:30:15" (a Z at the end is allowed).
// False when `date` is none of these.
bool ParseSinceDate(const std::string& date, std::string& sinceUtc);

// Every row in `format`, each line ending with '\n'. CSV starts with a
// header line; JSON gives one object per row with the images as an array.
std::string FormatHistory(const std::vector<HistoryRow>& rows, HistoryFormat format);

}  // namespace kestrune
