#pragma once
// State that lives for the whole run, shared by start-up, the window and both batches.

#include "base/timesettings.h"
#include "codec/codec.h"

#include <QString>

struct AppState {
    bool silentMode = false;
    bool batchRunning = false;
    QString commandLinePath;
    // --tz, --clock and --max-gap: they win over the stored time settings in a silent run.
    TimeOverrides timeOverrides;
    codec::CodecFactory codecFactory = codec::defaultCodecFactory();
};
