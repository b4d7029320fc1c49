#include "forms/fonts.h"

#include <QStringList>

namespace forms {

void installFontSubstitutions() {
    struct Substitution {
        const char* face;
        QStringList replacements;
    };
    const Substitution table[] = {
        {"ZARVENA", {"Noto Naskh Arabic", "Noto Sans Arabic", "DejaVu Sans"}},
        {"Tahoma", {"DejaVu Sans", "Noto Sans", "Liberation Sans"}},
        {"Verdana", {"DejaVu Sans", "Noto Sans", "Liberation Sans"}},
        {"MS Sans Serif", {"Liberation Sans", "Noto Sans", "DejaVu Sans"}},
        {"Arial", {"Liberation Sans", "Noto Sans", "DejaVu Sans"}},
        {"Times New Roman", {"Liberation Serif", "Noto Serif", "DejaVu Serif"}},
        {"Impact", {"Liberation Sans Narrow", "DejaVu Sans Condensed", "Noto Sans", "DejaVu Sans"}},
        {"Goudy Stout", {"Noto Serif Display", "DejaVu Serif", "Noto Serif", "Liberation Serif"}},
    };
    for (const auto& row : table) {
        QFont::insertSubstitutions(QString::fromLatin1(row.face), row.replacements);
    }
}

QFont designFont(const QString& family, double pointSize, bool bold, bool italic) {
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

}  // namespace forms
