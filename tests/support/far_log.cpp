#include "tests/support/far_log.h"

#include "tests/support/test_files.h"

namespace testing_support {

std::vector<std::string> farRecord(std::size_t siteBytes) {
    auto fields = sampleFields(5500);
    fields[1] = "zed.far";
    fields[5] = "9/9/09";
    fields[6] = "23:59:59";
    fields[7] = "far.example/only";
    if (siteBytes > fields[7].size() + 4) {
        fields[7] += std::string(siteBytes - fields[7].size() - 4, 'y') + "/end";
    }
    return fields;
}

std::string farLog(std::size_t siteBytes) {
    std::string log;
    for (int n = 0; n < 6000; ++n) {
        log += logLine(n == 5500 ? farRecord(siteBytes) : sampleFields(n));
    }
    return log;
}

std::string farEntry(std::size_t siteBytes) {
    std::string entry = "5500- ";
    for (const auto& field : farRecord(siteBytes)) entry += field + " | ";
    return entry;
}

std::string farRecordReport(std::size_t siteBytes) {
    std::string report = "5500= \r\n\r\n";
    for (const auto& field : farRecord(siteBytes)) report += field + "\r\n";
    return report;
}

}  // namespace testing_support
