#include "app/headless.h"

#include "base/messages.h"
#include "export/exportcommand.h"
#include "road/appstate.h"
#include "writer/silentrun.h"

#include <QCoreApplication>
#include <QTextStream>
#include <unistd.h>

namespace {

void printUsage(QTextStream& out) {
    out << "用法: corvexa-gps [记录文件] [-silent] [--tz=时区] [--clock=秒] [--max-gap=秒]\n"
           "      corvexa-gps --export 输出文件 [选项] 照片|文件夹|@名单文件 ...\n"
           "  记录文件   启动时载入的 GPS 记录文件 (文本记录、KML/XML、GPX 或 NMEA 轨迹)\n"
           "  -silent    不显示窗口，直接把记录中的位置写入照片副本 (results 子文件夹)\n"
           "             退出状态: 0 全部写入, 1 部分跳过或失败, 2 未写入任何照片\n"
           "  --tz=+08:00      按时间匹配轨迹时相机的时区 (照片自带时区优先)\n"
           "  --clock=-75      相机时钟校正, 秒或 -0:01:15, 加到照片时间上\n"
           "  --max-gap=1800   轨迹两点相隔超过此秒数即断开\n"
           "                   (三项默认取 SETTINGS.INI 中保存的值)\n"
           "  --help     显示本说明\n"
           "  --version  显示版本\n"
        << exportUsage();
}

// The checks start-up makes before any road runs; the failure's text, or empty.
QString startupFailure(const AppState& state, bool malformed) {
    {
        // Held only to prove the component can be created.
        const auto probe = state.codecFactory.create(QString::fromLatin1(codec::kProgId));
        if (!probe)
            return kCoreCallFailed;
    }
    if (!editorVersionAccepted(readEditorVersion(QCoreApplication::applicationDirPath())))
        return kEditorTooOld;
    if (malformed)
        return kBadArguments;
    return {};
}

} // namespace

std::optional<int> runHeadless(const CommandLine& commandLine, int argc, char* argv[]) {
    if (commandLine.help || commandLine.version) {
        const QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        if (commandLine.help)
            printUsage(out);
        else
            out << "corvexa-gps " << CORVEXA_VERSION << "\n";
        return 0;
    }
    if (!commandLine.silent && !commandLine.exportMode)
        return std::nullopt;

    // No display, no platform: the core alone.
    const QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvexa-gps"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVEXA_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    AppState state;
    state.silentMode = true;
    if (const QString failure = startupFailure(state, commandLine.malformed); !failure.isEmpty()) {
        err << titles::kError << ": " << failure << Qt::endl;
        return commandLine.exportMode ? exportexit::kNothingWritten : silentexit::kNoneWritten;
    }

    if (commandLine.exportMode) {
        const auto command = parseExportCommand(commandLine.exportArguments);
        if (const auto* mistake = std::get_if<QString>(&command)) {
            err << titles::kError << ": " << *mistake << Qt::endl
                << QStringLiteral("用法见 corvexa-gps --help") << Qt::endl;
            return exportexit::kNothingWritten;
        }
        return runCommandLineExport(std::get<ExportCommand>(command), state.codecFactory, out, err,
                                    ::isatty(STDERR_FILENO) == 1);
    }
    state.commandLinePath = commandLine.logPath;
    state.timeOverrides = commandLine.time;
    return runSilentBatch(state, state.commandLinePath, out, err);
}
