#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testing_support {

// A log of 6000 records in which only record 5500 holds the user "zed.far", the site
// "far.example/only", the date "9/9/09" and the time "23:59:59": past the record table's 5001
// records, so only a whole-log search finds it. With `siteBytes` that site runs on to that many
// bytes and ends in "/end", longer than the 64 KiB the record table keeps of a field.
std::vector<std::string> farRecord(std::size_t siteBytes = 0);
std::string farLog(std::size_t siteBytes = 0);
// The whole-log reports on record 5500: its all-fields entry and its record-number report.
std::string farEntry(std::size_t siteBytes = 0);
std::string farRecordReport(std::size_t siteBytes = 0);

}  // namespace testing_support
