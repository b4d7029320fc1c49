#pragma once

// The report as one self-contained web page: UTF-8, right to left, the window's sections and
// tables, the charts as inline SVG; no script and no external file. Every text from a log is
// escaped. Qt Core only: it needs no display.

#include <QString>
#include <filesystem>
#include <optional>
#include <string>

#include "kestrand/report_window/sections.h"

namespace kestrand::report_window {

QString reportPage(const Report& report);

// The page for the engine's JSON; nothing, with `error` set, for a text that is not one.
std::optional<std::string> htmlReportPage(const std::string& json, std::string& error);

// Writes the page for the engine's JSON to `out`; false with `error` set when that fails.
bool writeHtmlReport(const std::string& json, const std::filesystem::path& out, std::string& error);

}  // namespace kestrand::report_window
