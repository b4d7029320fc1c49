#pragma once

#include <QFont>
#include <QString>

namespace forms {

// Maps the faces the designs name to installed faces where the machine lacks them
// (Persian "ZARVENA" to an installed Naskh face, "Tahoma" to DejaVu Sans, ...).
// Call once after the QApplication exists.
void installFontSubstitutions();

// A design font: face, size in points, weight and slant as the design table gives them.
QFont designFont(const QString& family, double pointSize, bool bold = false, bool italic = false);

}  // namespace forms
