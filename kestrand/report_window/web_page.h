#pragma once

// The report as one self-contained web page: UTF-8, right to left, the window's sections and
// tables, the charts as inline SVG; no script and no external file. Every text from a log is
// escaped. Qt Core only: it needs no display.

#include <QString>
#include <filesystem>
#include <string>

#include "kestrand/report_window/sections.h"
#include "kestrand/reports/result.h"

namespace kestrand::report_window {

QString reportPage(const Report& report);

// Writes the page to `out` in UTF-8; false with `error` set when that fails.
bool writeHtmlReport(const Report& report, const std::filesystem::path& out, std::string& error);
// The same for the engine's answer, as the command line writes it.
bool writeHtmlReport(const reports::Result& result, const std::filesystem::path& out,
                     std::string& error);

}  // namespace kestrand::report_window
