// Build step: renders the README (GitHub-flavoured Markdown) into the HTML user guide that the
// program installs and its link opens. Qt's own Markdown reader, so no tool beyond Qt is needed.
//
//   readme2html README.md guide.html

#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: readme2html README.md guide.html\n";
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        err << "cannot read " << in.fileName() << "\n";
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());
    QTextDocument document;
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    // The first heading names the page in the browser's tab.
    const qsizetype title = markdown.indexOf(QLatin1String("# "));
    if (title >= 0)
        document.setMetaInformation(
            QTextDocument::DocumentTitle,
            markdown.mid(title + 2, markdown.indexOf(u'\n', title) - title - 2).trimmed());

    // Qt writes its own default font into the body; a browser reads better with its own.
    QString html = document.toHtml();
    html.replace(QRegularExpression(QStringLiteral("<body style=\"[^\"]*\">")),
                 QStringLiteral("<body style=\"max-width: 60em; margin: 1em auto; "
                                "font-family: sans-serif;\">"));

    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(html.toUtf8()) < 0 ||
        !out.flush()) {
        err << "cannot write " << out.fileName() << "\n";
        out.remove();
        return 1;
    }
    return 0;
}
