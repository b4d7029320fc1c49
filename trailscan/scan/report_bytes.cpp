#include "trailscan/scan/report_bytes.h"

namespace trailscan::scan {

void ReportBytes::clear() {
    text_.clear();
    splices_.clear();
    size_ = 0;
}

void ReportBytes::append(FileRange range) {
    if (range.size() > 0) {
        splices_.push_back({text_.size(), range});
        size_ += static_cast<std::size_t>(range.size());
    }
}

// Before more's text is appended: its ranges stand after this text.
void ReportBytes::appendSplices(const ReportBytes& more) {
    for (const Splice& splice : more.splices_) {
        splices_.push_back({text_.size() + splice.at, splice.range});
    }
}

}  // namespace trailscan::scan
