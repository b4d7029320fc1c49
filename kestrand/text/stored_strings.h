#pragma once

// Every text the two windows and the chart show, stored exactly as the designs hold them.
// Persian captions are laid out for left-to-right controls: a label's colon comes first so
// that it stands at the left end, and the two-part button captions keep their halves in
// reverse order with a left-to-right mark between them, so the second half stands at the
// right and is read first.

#include <array>
#include <string_view>

namespace kestrand::text {

inline constexpr std::u16string_view kMainCaption = u" ORVANE users information";
inline constexpr std::u16string_view kOpenInformationFiles =
    u"باز کردن فايلهاي اطلاعاتي بر روي سرور اينترنت و نمايش اطلاعات کاربري پايگاه Orvane";

inline constexpr std::array<std::u16string_view, 4> kSeasons = {
    u"بهار",
    u"تابستان",
    u"پائيز",
    u"زمستان",
};
inline constexpr std::array<std::u16string_view, 3> kSeriesNames = {
    u"کاربر",
    u"جستجو",
    u"نامه\u200Eها",
};

inline constexpr std::u16string_view kSettingsCaption = u" Performances...";
inline constexpr std::u16string_view kBrowse = u"Browse";
inline constexpr std::u16string_view kInitialFolder = u"I:\\#LOCALs\\log-server";
inline constexpr std::u16string_view kFolderLabel = u":مسير فايلهاي اطلاعات";
inline constexpr std::u16string_view kRequestedLabel = u":اطلاعات درخواستي";

// The title of the reports' windows and messages.
inline constexpr std::u16string_view kReportsTitle = u"گزارش کاربران";

// Report kinds by check-box index (not by their order on screen).
inline constexpr std::array<std::u16string_view, 7> kReportKinds = {
    u"آدرس کاربران",   u"نوع ويندوز کاربران", u"نوع مرورگر کاربران", u"ساعات پر کاربرد",
    u"صفحات ديده شده", u"کاربران داخل کشور",  u"تعداد جستجوها",
};

// The three buttons by index: Default, Cancel, OK.
inline constexpr std::array<std::u16string_view, 3> kDialogButtons = {
    u"فرض\u200Eپ\u0640يش",
    u"نظر\u200Eصرف",
    u"قب\u0640\u0640\u0640\u0640\u0640ول",
};

}  // namespace kestrand::text
