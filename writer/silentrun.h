#pragma once
// The batch run with "-silent": no window, no display. Messages go to standard error as
// "title: text" (every log line the load could not use as it stands among them, with its number
// and text), the summary to standard output, and the exit status tells the outcome.

#include "road/appstate.h"

#include <QString>
#include <QTextStream>

namespace silentexit {
inline constexpr int kAllWritten = 0;  // every line of the log was written
inline constexpr int kSomeWritten = 1; // the batch ran, but some rows were skipped or failed,
                                       // lines gave no row or repeated a photo, or a track's
                                       // points and the folder's photos differ in number
inline constexpr int kNoneWritten = 2; // no such log, no usable row, invalid data (unreadable or
                                       // impossible coordinates), no codec, an aborted batch, or
                                       // no row could be written
} // namespace silentexit

// Loads the log at logPath and writes every pending row into a copy in its "results" sub-folder.
// The maker-note choice is the stored "SkipMakerNote" of "BatchSetup". Returns a silentexit code.
int runSilentBatch(AppState& app, const QString& logPath, QTextStream& out, QTextStream& err);
