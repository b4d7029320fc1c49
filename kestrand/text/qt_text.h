#pragma once

#include <QString>
#include <string_view>

namespace kestrand::text {

inline QString toQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

}  // namespace kestrand::text
