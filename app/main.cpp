// The program's entry on the core alone: the command line, the export and the silent batch run
// here; the window is corvexa-gps-window beside this executable, which takes over the process
// (same process id, same arguments), so a headless run never loads a widget library.

#include "app/headless.h"
#include "base/startup.h"

#include <QByteArray>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// The folder of this executable, from the kernel's link; empty when it cannot be read.
QByteArray ownFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const QByteArray self(path, n);
    return self.left(self.lastIndexOf('/') + 1);
}

} // namespace

int main(int argc, char* argv[]) {
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (const std::optional<int> status = runHeadless(commandLine, argc, argv))
        return *status;

    const QByteArray window = ownFolder() + "corvexa-gps-window";
    ::execv(window.constData(), argv);
    std::fprintf(stderr, "%s: %s: %s\n", "错误", window.constData(), std::strerror(errno));
    return 1;
}
