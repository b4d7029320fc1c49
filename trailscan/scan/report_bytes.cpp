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

void ReportBytes::append(const ReportBytes& more) {
    for (const Splice& splice : more.splices_) {
        splices_.push_back({text_.size() + splice.at, splice.range});
    }
    text_ += more.text_;
    size_ += more.size_;
}

}  // namespace trailscan::scan
