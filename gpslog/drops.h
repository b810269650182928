#pragma once
// Files dropped on the photo list: a log in the import action, photos in the export action.

#include "road/mainview.h"

#include <QStringList>

// lvFiles_OLEDragDrop: in the import action loads the first path as a GPS log; in the export
// action queues every path whose name has a "." (duplicates skipped silently), unless the first
// is a position log: that switches to the import action and loads it. Refused while a batch runs.
void dropFiles(RoadContext& ctx, const QStringList& paths);
