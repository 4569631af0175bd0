#pragma once
// Conversions the Qt window's files share: GBK from the toolkit's strings,
// and the logic's colours on widgets.

#include "core/colour.h"
#include "core/text.h"

#include <QColor>
#include <QPalette>
#include <QStringView>

class QWidget;

namespace talery {

// UTF-16 of the toolkit as GBK, appended to `out`, line breaks as CR LF;
// `document` also turns the body's own separators and no-break spaces.
void appendGbk(QStringView text, bool document, Text& out);

QColor qcolour(Colour c);
Colour colourFromQt(const QColor& c);
void setPaletteColour(QWidget* w, QPalette::ColorRole role, Colour c);

}  // namespace talery
