#pragma once
// What start-up decides before any window exists: the command line and the editor's version.

#include "base/timesettings.h"

#include <QString>
#include <QStringList>

struct CommandLine {
    bool silent = false;
    bool help = false;
    bool version = false;
    bool malformed = false; // a quote without its partner, or a time option without a value
    TimeOverrides time;     // --tz=+08:00, --clock=-75, --max-gap=1800
    QString logPath;
    // "--export" as first argument: the command-line export, given the arguments after it.
    bool exportMode = false;
    QStringList exportArguments;
};

// Reads the arguments the shell has already split (without the program name). "-silent" in any
// letter case switches silent mode on; the first other argument is the log path, its quotes
// (double quotes or apostrophes a launcher may have left) removed. "--tz=", "--clock=" and
// "--max-gap=" give the time settings of the run; a value they cannot take makes it malformed.
CommandLine parseCommandLine(const QStringList& arguments);
// The same for main()'s arguments, decoded in the locale's encoding.
CommandLine parseCommandLine(int argc, char* argv[]);

// Start-up refuses an editor version below this.
inline constexpr double kMinimumEditorVersion = 927;

// The codec's version record "[AppInfo] EditorVersion" from Corvexa/Corvexa.conf, looked up in the
// per-user configuration folder, then in etc/xdg of the program's own prefix (appDir/..), then in
// the system configuration folders. "0" when no record is found.
QString readEditorVersion(const QString& appDir);

// The numeric value of the version text ("1000abc" is 1000) is at least the minimum.
bool editorVersionAccepted(const QString& versionText);
