// StartUp: prove the codec can be created, check the editor's version, read the command line, then
// show the main window or run the silent batch.

#include "app/frmgps.h"
#include "app/icons.h"
#include "app/messagebox.h"
#include "app/termination.h"
#include "app/uiglobals.h"
#include "base/startup.h"
#include "export/exportcommand.h"
#include "road/appstate.h"
#include "writer/silentrun.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>
#include <memory>
#include <unistd.h>

namespace {

const QString kEditorTooOld = QStringLiteral("Corvexa 元数据编辑器版本过低，请安装更新后重试！");
const QString kBadArguments = QStringLiteral("传入参数有误！");

void printUsage(QTextStream& out) {
    out << "用法: corvexa-gps [记录文件] [-silent]\n"
           "  记录文件   启动时载入的 GPS 记录文件 (文本记录或 KML/XML 轨迹)\n"
           "  -silent    不显示窗口，直接把记录中的位置写入照片副本 (results 子文件夹)\n"
           "             退出状态: 0 全部写入, 1 部分跳过或失败, 2 未写入任何照片\n"
           "  --help     显示本说明\n"
           "  --version  显示版本\n"
        << exportUsage();
}

// Failures before any window exists: a message box, or standard error in silent mode.
void reportStartupError(bool silent, const QString& text) {
    if (silent) {
        QTextStream(stderr) << titles::kError << ": " << text << Qt::endl;
        return;
    }
    showMessageBox(nullptr, titles::kError, text, MessageIcon::Error);
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);

    if (commandLine.help || commandLine.version) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        if (commandLine.help)
            printUsage(out);
        else
            out << "corvexa-gps " << CORVEXA_VERSION << "\n";
        return 0;
    }

    // The silent batch and the export show nothing: they run on the core alone, with no display
    // or platform.
    const bool headless = commandLine.silent || commandLine.exportMode;
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvexa-gps"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVEXA_VERSION));

    AppState state;
    state.silentMode = headless;
    {
        // Held only to prove the component can be created.
        const auto probe = state.codecFactory.create(QString::fromLatin1(codec::kProgId));
        if (!probe) {
            reportStartupError(state.silentMode, kCoreCallFailed);
            return state.silentMode ? silentexit::kNoneWritten : 1;
        }
    }
    if (!state.silentMode && !InitCommonCtrls()) {
        reportStartupError(state.silentMode, kCoreCallFailed);
        return 1;
    }
    if (!editorVersionAccepted(readEditorVersion(QCoreApplication::applicationDirPath()))) {
        reportStartupError(state.silentMode, kEditorTooOld);
        return state.silentMode ? silentexit::kNoneWritten : 1;
    }
    if (commandLine.malformed) {
        reportStartupError(state.silentMode, kBadArguments);
        return state.silentMode ? silentexit::kNoneWritten : 1;
    }
    state.commandLinePath = commandLine.logPath;

    if (commandLine.exportMode) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        const auto command = parseExportCommand(commandLine.exportArguments);
        if (const auto* mistake = std::get_if<QString>(&command)) {
            err << titles::kError << ": " << *mistake << Qt::endl
                << QStringLiteral("用法见 corvexa-gps --help") << Qt::endl;
            return exportexit::kNothingWritten;
        }
        return runCommandLineExport(std::get<ExportCommand>(command), state.codecFactory, out, err,
                                    ::isatty(STDERR_FILENO) == 1);
    }
    if (state.silentMode) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return runSilentBatch(state, state.commandLinePath, out, err);
    }

    QApplication::setWindowIcon(icons::applicationIcon());
    FrmGps window(state);
    closeWindowOnTermination(window);
    window.show();
    return QApplication::exec();
}
