#pragma once

namespace trailscan::report {

// Lets screen readers read the report box as a read-only multi-line text box: its text by
// ranges, lines, words and characters, its caret and its selection. Installed once, by the
// first report box.
void installReportViewAccessibility();

}  // namespace trailscan::report
