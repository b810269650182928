#pragma once
// The command-line export: corvexa-gps --export OUT [options] PHOTO|FOLDER|@NAMELIST ...
// It reads the photos in argument order and writes OUT as the window's export would, with the
// same safety; it shows no window and never touches the settings file.

#include "codec/codec.h"
#include "export/exportdriver.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <variant>

namespace exportexit {
inline constexpr int kAllRead = 0;        // every photo had a position, and OUT was written
inline constexpr int kSomeMissing = 1;    // OUT was written, but some photos had no position
inline constexpr int kNothingWritten = 2; // bad arguments, no position at all, or a failure
} // namespace exportexit

struct ExportCommand {
    QString output;
    ExportOptions options;
    QStringList inputs; // PHOTO, FOLDER or @NAMELIST, in argument order
};

// The arguments after "--export": OUT first, then options and inputs in any mix ("--" ends the
// options). --type csv|tsv|kml-points|kml-path|kml-polygon|gpx (default from OUT's extension:
// .tsv, .kml, .gpx, else csv), --dms, --header, --columns
// speed,track,imgdir,destbearing,destdist. The text of the mistake when they are not usable.
std::variant<ExportCommand, QString> parseExportCommand(const QStringList& arguments);

// The lines of --help that explain --export and its options.
QString exportUsage();

// Runs the export. Progress goes to err when errIsTerminal; every photo without a position is
// one line on err ("name: reason"), the summary one line on out. Returns an exportexit code.
int runCommandLineExport(const ExportCommand& command, const codec::CodecFactory& factory,
                         QTextStream& out, QTextStream& err, bool errIsTerminal);
