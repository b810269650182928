#pragma once
// OLE colours as the forms write them: 0x00BBGGRR (a Windows COLORREF), or, with the high bit set,
// a system colour (0x80000000 | COLOR_* index) that is looked up in a palette when drawn.

#include <QColor>
#include <QPalette>

namespace olecolor {

inline constexpr quint32 kSystemColor = 0x80000000u;
inline constexpr quint32 kButtonFace = kSystemColor | 15; // COLOR_BTNFACE
inline constexpr quint32 kGrayText = kSystemColor | 17;   // COLOR_GRAYTEXT

// The COLORREF of red, green and blue (0..255 each).
constexpr quint32 rgb(int r, int g, int b) {
    return static_cast<quint32>(r & 0xFF) | static_cast<quint32>(g & 0xFF) << 8 |
           static_cast<quint32>(b & 0xFF) << 16;
}

// The colour to draw: RGB colours convert directly; system colours come from the palette
// (grey text, for instance, is the palette's disabled text). An unknown system index is black.
QColor toQColor(quint32 ole, const QPalette& palette = QPalette());

// The COLORREF of an opaque colour.
quint32 fromQColor(const QColor& color);

} // namespace olecolor
