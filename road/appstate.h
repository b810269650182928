#pragma once
// State that lives for the whole run, shared by start-up, the window and both batches.

#include "codec/codec.h"

#include <QString>

struct AppState {
    bool silentMode = false;
    bool batchRunning = false;
    QString commandLinePath;
    codec::CodecFactory codecFactory = codec::defaultCodecFactory();
};
