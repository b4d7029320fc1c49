#pragma once

// What OK in the settings dialog asks for, and who answers it. The report window's room
// provides the real answer; the dialog and the main window know only this interface, so they
// do not link the report window and its charts.

#include <QString>
#include <array>

class QWidget;

namespace kestrand::settings {

inline constexpr int kReportKindCount = 7;

// The folder as typed and the ticked report kinds, by the check boxes' indexes.
struct ReportOrder {
    QString folder;
    std::array<bool, kReportKindCount> kinds{};
};

class ReportOpener {
  public:
    virtual ~ReportOpener() = default;
    // Makes the reports over the folder and shows them; `dialog` is the window that asked.
    virtual void open(QWidget* dialog, const ReportOrder& order) = 0;
    // Closes every report shown (the program is ending).
    virtual void closeAll() = 0;
};

}  // namespace kestrand::settings
