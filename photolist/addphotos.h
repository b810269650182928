#pragma once
// Queuing photos: one path to one row, a folder's photos, a list of photo names, dropped files.

#include "app/mainview.h"

#include <QString>
#include <QStringList>

// Adds one photo row for path (a full path). 1 when the path is already listed and nothing was
// added, 0 otherwise (also when no row could be made).
int AddPhoto(RoadContext& ctx, const QString& path, bool skipDuplicateCheck);

// Visits the photo files directly in folder, in name order, raising count by one for each.
// Adds a row for each; in assign mode gives the photos to the existing log rows instead.
void AddFolderPhotos(RoadContext& ctx, const QString& folder, qint32& count, bool assignMode);
