#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "corvexa-gps " << CORVEXA_VERSION << "\n";
    return 0;
}
