// StartUp with the window: prove the codec can be created, check the editor's version, read the
// command line, then show the main window. corvexa-gps hands over to this executable when the
// command line asks for the window; started directly it runs the headless roads as well.

#include "app/frmgps.h"
#include "app/headless.h"
#include "app/icons.h"
#include "app/messagebox.h"
#include "app/termination.h"
#include "app/uiglobals.h"
#include "base/startup.h"
#include "road/appstate.h"

#include <QApplication>

namespace {

// Failures before the window exists end the program after their message.
int failStartup(const QString& text) {
    showMessageBox(nullptr, titles::kError, text, MessageIcon::Error);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (const std::optional<int> status = runHeadless(commandLine, argc, argv))
        return *status;

    const QApplication app(argc, argv);
    LoadQtTranslation();
    QCoreApplication::setApplicationName(QStringLiteral("corvexa-gps"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVEXA_VERSION));

    AppState state;
    {
        // Held only to prove the component can be created.
        const auto probe = state.codecFactory.create(QString::fromLatin1(codec::kProgId));
        if (!probe)
            return failStartup(kCoreCallFailed);
    }
    if (!InitCommonCtrls())
        return failStartup(kCoreCallFailed);
    if (!editorVersionAccepted(readEditorVersion(QCoreApplication::applicationDirPath())))
        return failStartup(kEditorTooOld);
    if (commandLine.malformed)
        return failStartup(kBadArguments);
    state.commandLinePath = commandLine.logPath;
    state.timeOverrides = commandLine.time;

    QApplication::setWindowIcon(icons::applicationIcon());
    FrmGps window(state);
    closeWindowOnTermination(window);
    window.show();
    return QApplication::exec();
}
