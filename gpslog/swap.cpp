#include "gpslog/swap.h"

#include "gpslog/matching.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <utility>

void swapLatLon(RoadContext& ctx) {
    const int rows = ctx.list.count();
    if (rows == 0)
        return;
    bool invalid = false;
    for (int i = 0; i < rows; ++i) {
        GpsLogRecord record = ctx.list.record(i);
        std::swap(record.lat, record.lon);
        invalid = invalid || isImpossiblePosition(record);
        ctx.list.setRecord(i, record);
        if (record.coordinatesUnreadable) {
            // The log's own texts stay on show, in their new columns.
            const QString latitude = ctx.list.row(i).texts[ColLongitude];
            ctx.list.setText(i, ColLongitude, ctx.list.row(i).texts[ColLatitude]);
            ctx.list.setText(i, ColLatitude, latitude);
        } else {
            ctx.list.setText(i, ColLatitude, latitudeText(record.lat));
            ctx.list.setText(i, ColLongitude, longitudeText(record.lon));
        }
    }
    ctx.log.invalidData = invalid;
    ctx.view.setInvalidDataShown(invalid);
    ctx.view.setEnabled(Control::cmdStart, !ctx.log.batchDone && !invalid);
}
