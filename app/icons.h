#pragma once
// The program's pictures, drawn rather than shipped, so they stay sharp and need no resources.

#include <QIcon>
#include <QPixmap>

namespace icons {

inline constexpr int kStatusSize = 22;

// Four 22 by 22 pictures side by side on a transparent background: a blank page, a blue arrow, a
// green tick, a red cross (the row states new, in progress, done, failed). Drawn antialiased with
// alpha, not keyed on a mask colour: a colour key leaves a fringe of blended key pixels.
QPixmap statusStrip();

// The application's icon at the usual sizes.
QIcon applicationIcon();
QPixmap applicationPixmap(int size);

// 16 by 16: the invalid-data warning and the web link's globe.
QPixmap errorPixmap();
QPixmap websitePixmap();

} // namespace icons
