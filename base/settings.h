#pragma once
// The settings store: a small INI file read and written key by key, with no cache.
// Values are UTF-8 and cut to 254 bytes (older readers of the file expect no more).

#include <QString>

namespace settings {

inline constexpr auto kBatchSetup = "BatchSetup";
inline constexpr auto kExportOptions = "ExportOptions";

// $CORVEXA_SETTINGS_FILE when set (tests, portable use); otherwise "SETTINGS.INI" beside the
// executable when that folder is writable and not an installed program's (under /usr, /opt, or a
// prefix holding our desktop entry); otherwise $XDG_CONFIG_HOME/Corvexa/SETTINGS.INI
// (default ~/.config).
QString defaultSettingsFile();

// The value of key in section (both matched without regard to case), or empty text when the file,
// section or key is missing. An empty file argument means defaultSettingsFile().
QString ReadSetting(const QString& section, const QString& key, const QString& file = {});

// Sets key in section, creating the file, section or key as needed. The file is rewritten through a
// temporary file renamed over it, so it is never left half written. False when it cannot be.
bool WriteSetting(const QString& section, const QString& key, const QString& value,
                  const QString& file = {});

} // namespace settings
