#pragma once
// The import state the window keeps beside its photo list.

#include "base/timesettings.h"

#include <QString>
#include <memory>

struct TimedTrack; // gpslog/tracklog.h

struct GpsLogState {
    // Folder of the current log (or of the last addition), always ending in "/": photos named by
    // the log are looked up in it and the tagged copies go to its "results" sub-folder.
    QString logFolder;
    // A text log's photo name without "." gets ".JPG" appended.
    bool autoSuffix = true;
    // A batch has finished on the current list; the next addition of photos starts a new list.
    bool batchDone = false;
    // The invalid-data indicator is raised: some row holds impossible degrees. Set by the log
    // reader and cleared by a swap that leaves every row valid; a batch refuses to start meanwhile.
    bool invalidData = false;
    // How photos are matched to a timed track; the window and the silent run fill it in.
    TimeSettings time;
    // The timed track of the current log and its photos, kept so the rows can be matched again
    // when the time settings change; empty for other logs.
    std::shared_ptr<TimedTrack> timedTrack;
};
