#include "gpslog/drops.h"

#include "base/globals.h"
#include "gpslog/logreader.h"
#include "photolist/addphotos.h"
#include "photolist/photolist.h"

void dropFiles(RoadContext& ctx, const QStringList& paths) {
    // A batch yields to the event loop between rows; a drop then would load a log over the rows
    // the batch is walking, or add rows the running export has already counted.
    if (ctx.app.batchRunning || paths.isEmpty())
        return;
    if (ctx.view.action() == 0 || looksLikeGpsLog(paths.first())) {
        openLogInImportAction(ctx, paths.first());
        return;
    }

    qint32 leftOut = 0;
    for (const QString& path : paths) {
        // A name without a dot is most likely a folder; folders are not opened.
        if (!globals::GetFileName(path).contains(u'.'))
            continue;
        if (addPhotoRow(ctx, path, false) == AddPhotoResult::ListFull)
            ++leftOut;
    }
    const bool any = ctx.list.count() > 0;
    ctx.view.setEnabled(Control::cmdExport, any);
    ctx.view.setEnabled(Control::cmdClear, any);
    ctx.view.setFocus(Control::cmdExport);
    tellListFull(ctx, leftOut);
}
