#pragma once
// What the program does without a window: --help, --version, the command-line export and the
// silent batch. Both executables run it first; it needs the core alone, so the entry that the
// user starts loads no widget or graphics library for any of them.

#include "base/startup.h"

#include <optional>

// The exit status when the command line asks for something headless; empty when it asks for the
// window. The start-up checks of the headless roads (codec, editor version, malformed command
// line) report on standard error.
std::optional<int> runHeadless(const CommandLine& commandLine, int argc, char* argv[]);

inline const QString kEditorTooOld =
    QStringLiteral("Corvexa 元数据编辑器版本过低，请安装更新后重试！");
inline const QString kBadArguments = QStringLiteral("传入参数有误！");
