#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace trailscan::log {

// One log line: 23 fields separated by ", " and ended by CR LF.
inline constexpr int kFieldCount = 23;
// Records are held in 24 slots; slot 23 is never written.
inline constexpr int kSlotCount = 24;
// Each field accounts for its own length plus 2: its separator or the line end.
inline constexpr int kFieldOverhead = 2;
// A field that has no value.
inline constexpr std::string_view kPlaceholder = "-";
// Bytes of one field kept in memory (64 KiB); the rest of a longer field is read past but
// not stored, so a file without line breaks cannot fill the memory. Its full length still
// counts in the record length; the record table and the record browser show and search the
// kept part (the whole-log search reads fields whole, scan/whole_log.h).
inline constexpr std::size_t kMaxFieldLength = 64 * 1024;

// Columns the program gives a meaning to.
inline constexpr int kColumnIp = 0;
inline constexpr int kColumnUser = 1;
inline constexpr int kColumnDate = 5;
inline constexpr int kColumnTime = 6;
inline constexpr int kColumnSite = 7;

// Where a field begins and ends. The channel's field reader and the reader of byte blocks
// (field_bytes.h) both follow these, so the record table, the record browser and the
// whole-log search form the same fields and records:
// - blanks in front of a field are skipped;
// - a comma or an LF ends a field and is consumed; so each comma and each LF of a file ends
//   exactly one field, and a field begins right after one of them;
// - the CR of a CR LF is not part of the field; a CR on its own is;
// - the end of the file ends the last field; bytes after the last comma or LF, blanks
//   only included, form one more field.
inline constexpr char kBlank = ' ';
inline constexpr char kFieldSeparator = ',';
inline constexpr char kLineFeed = '\n';
inline constexpr char kCarriageReturn = '\r';
constexpr bool endsField(char c) { return c == kFieldSeparator || c == kLineFeed; }

using FieldSlots = std::array<std::string, kSlotCount>;

}  // namespace trailscan::log
