#pragma once

#include "forms/platform.h"
#include "kestrand/settings/report_opener.h"

namespace kestrand::report_window {

// OK's answer in the program: the reports run behind a progress dialog and open in a report
// window of their own. Closing all closes every report window, the per-address ones too;
// those still open when this goes are deleted with it.
class ReportWindows final : public settings::ReportOpener {
  public:
    explicit ReportWindows(forms::Platform& platform) : platform_(platform) {}
    ~ReportWindows() override;
    ReportWindows(const ReportWindows&) = delete;
    ReportWindows& operator=(const ReportWindows&) = delete;

    void open(QWidget* dialog, const settings::ReportOrder& order) override;
    void closeAll() override;

  private:
    forms::Platform& platform_;
};

}  // namespace kestrand::report_window
