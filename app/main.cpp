// StartUp: prove the codec can be created, check the editor's version, read the command line, then
// show the main window or run the silent batch.

#include "app/frmgps.h"
#include "app/icons.h"
#include "app/messagebox.h"
#include "app/termination.h"
#include "app/uiglobals.h"
#include "base/startup.h"
#include "road/appstate.h"
#include "writer/silentrun.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>
#include <memory>

namespace {

const QString kEditorTooOld = QStringLiteral("Corvexa 元数据编辑器版本过低，请安装更新后重试！");
const QString kBadArguments = QStringLiteral("传入参数有误！");

void printUsage(QTextStream& out) {
    out << "用法: corvexa-gps [记录文件] [-silent] [--tz=时区] [--clock=秒] [--max-gap=秒]\n"
           "  记录文件   启动时载入的 GPS 记录文件 (文本记录、KML/XML、GPX 或 NMEA 轨迹)\n"
           "  -silent    不显示窗口，直接把记录中的位置写入照片副本 (results 子文件夹)\n"
           "             退出状态: 0 全部写入, 1 部分跳过或失败, 2 未写入任何照片\n"
           "  --tz=+08:00      按时间匹配轨迹时相机的时区 (照片自带时区优先)\n"
           "  --clock=-75      相机时钟校正, 秒或 -0:01:15, 加到照片时间上\n"
           "  --max-gap=1800   轨迹两点相隔超过此秒数即断开\n"
           "                   (三项默认取 SETTINGS.INI 中保存的值)\n"
           "  --help     显示本说明\n"
           "  --version  显示版本\n";
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

    // The silent batch shows nothing: it runs on the core alone, with no display or platform.
    std::unique_ptr<QCoreApplication> app;
    if (commandLine.silent)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    if (!commandLine.silent)
        LoadQtTranslation();
    QCoreApplication::setApplicationName(QStringLiteral("corvexa-gps"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVEXA_VERSION));

    AppState state;
    state.silentMode = commandLine.silent;
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
    state.timeOverrides = commandLine.time;

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
