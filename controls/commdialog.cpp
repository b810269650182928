#include "controls/commdialog.h"

#include "controls/olecolor.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <cmath>

namespace {

CommDialog::TestHook& testHook() {
    static CommDialog::TestHook hook;
    return hook;
}

constexpr QChar kNul = QChar(u'\0');

// The text after the last path separator, or nothing when there is none.
qsizetype lastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
}

// The 1-based number of the chosen filter. The dialog names it as shown, without the pattern
// list that nameFilters() appended to the description.
int filterNumber(const QStringList& filters, const QString& chosen) {
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString& filter = filters[i];
        const QString description =
            filter.left(filter.lastIndexOf(QLatin1String(" ("))).simplified();
        if (filter == chosen || description == chosen)
            return static_cast<int>(i) + 1;
    }
    return 1;
}

void addPreview(QFileDialog& dialog) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("preview"));
    preview->setFixedSize(200, 200);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
                     [preview](const QString& path) {
                         QImageReader reader(path);
                         reader.setAutoTransform(true);
                         const QSize size = reader.size();
                         if (size.isValid())
                             reader.setScaledSize(
                                 size.scaled(preview->size() - QSize(4, 4), Qt::KeepAspectRatio));
                         const QImage image = reader.read();
                         preview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
                     });
}

} // namespace

void CommDialog::setTestHook(TestHook hook) {
    testHook() = std::move(hook);
}

CommDialog::CommDialog() = default;
CommDialog::~CommDialog() = default;

QStringList CommDialog::nameFilters(const QString& filter) {
    QStringList result;
    if (filter.isEmpty())
        return result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString patternText = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
        QStringList patterns;
        for (const QString& raw : patternText.split(u';', Qt::SkipEmptyParts)) {
            const QString pattern = raw.trimmed();
            if (!pattern.isEmpty())
                patterns.append(pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
        }
        if (patterns.isEmpty())
            patterns.append(QStringLiteral("*"));
        if (description.isEmpty() && i + 1 >= parts.size())
            break; // a trailing bar
        result.append(description + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return result;
}

bool CommDialog::run(QDialog& dialog) {
    bool finished = false;
    QObject::connect(&dialog, &QDialog::finished, &dialog, [&finished] { finished = true; });
    if (const TestHook& hook = testHook()) {
        hook(dialog);
        if (finished)
            return dialog.result() == QDialog::Accepted;
    }
    return dialog.exec() == QDialog::Accepted;
}

void CommDialog::setResult(const QString& result) {
    m_fileName = result;
    const qsizetype separator = lastSeparator(result);
    if (separator >= 0)
        m_fileTitle = result.mid(separator + 1);
}

void CommDialog::showFile(FileMode mode, bool preview) {
    m_extendedError = 0;
    // The preset name must fit the buffer with its terminator; otherwise no dialog appears.
    if (!preview && m_fileName.size() > m_bufferSize - 1) {
        m_fileName.clear();
        return;
    }
    QFileDialog dialog(m_owner, m_title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const bool multi = m_flags & OFN_ALLOWMULTISELECT;
    if (mode == FileMode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (multi)
            dialog.setFileMode(QFileDialog::ExistingFiles);
        else if (m_flags & OFN_FILEMUSTEXIST)
            dialog.setFileMode(QFileDialog::ExistingFile);
        else
            dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(m_flags & OFN_OVERWRITEPROMPT));
    }
    const QStringList filters = nameFilters(m_filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int chosen =
            m_filterIndex >= 1 && m_filterIndex <= filters.size() ? m_filterIndex : 1;
        dialog.selectNameFilter(filters[chosen - 1]);
    }
    if (preview) {
        addPreview(dialog);
    } else {
        if (!m_initDir.isEmpty())
            dialog.setDirectory(m_initDir);
        if (!m_fileName.isEmpty())
            dialog.selectFile(m_fileName);
    }

    const bool accepted = run(dialog);
    const QStringList files = accepted ? dialog.selectedFiles() : QStringList();
    if (files.isEmpty()) {
        m_fileName.clear();
        if (!preview)
            m_filterIndex = 0;
        return;
    }

    QString result;
    if (files.size() == 1) {
        result = files.first();
    } else {
        result = QFileInfo(files.first()).absolutePath();
        for (const QString& file : files)
            result += kNul + QFileInfo(file).fileName();
    }
    // The result, its terminator and, for several files, the closing second terminator.
    const int needed = static_cast<int>(result.size()) + (files.size() > 1 ? 2 : 1);
    if (needed > m_bufferSize) {
        m_extendedError = FNERR_BUFFERTOOSMALL;
        m_fileName.clear();
        if (!preview)
            m_filterIndex = 0;
        return;
    }
    setResult(result);
    if (!preview && !filters.isEmpty())
        m_filterIndex = filterNumber(filters, dialog.selectedNameFilter());
}

void CommDialog::ShowOpen() {
    showFile(FileMode::Open, false);
}
void CommDialog::ShowSave() {
    showFile(FileMode::Save, false);
}
void CommDialog::ShowOpenPreview() {
    showFile(FileMode::Open, true);
}
void CommDialog::ShowSavePreview() {
    showFile(FileMode::Save, true);
}

void CommDialog::ShowFolder() {
    QFileDialog dialog(m_owner, m_title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!m_initDir.isEmpty())
        dialog.setDirectory(m_initDir);
    const bool accepted = run(dialog);
    const QStringList chosen = accepted ? dialog.selectedFiles() : QStringList();
    if (chosen.isEmpty()) {
        m_fileName.clear();
        return;
    }
    setResult(chosen.first());
}

void CommDialog::ShowColor() {
    QColorDialog dialog(m_owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (!m_title.isEmpty())
        dialog.setWindowTitle(m_title);
    if (m_flags & CC_RGBINIT)
        dialog.setCurrentColor(olecolor::toQColor(static_cast<quint32>(m_color)));
    // Qt keeps custom colours for the whole program; this object keeps its own.
    for (int i = 0; i < static_cast<int>(m_customColors.size()); ++i)
        QColorDialog::setCustomColor(i, m_customColors[static_cast<size_t>(i)].isValid()
                                            ? m_customColors[static_cast<size_t>(i)]
                                            : QColor(Qt::black));
    if (!run(dialog)) {
        m_color = -1;
        return;
    }
    m_color = olecolor::fromQColor(dialog.selectedColor());
    for (int i = 0; i < static_cast<int>(m_customColors.size()); ++i)
        m_customColors[static_cast<size_t>(i)] = QColorDialog::customColor(i);
}

void CommDialog::ShowFont() {
    QFont initial(QStringLiteral("Times New Roman"));
    if (m_fontSize > 0)
        initial.setPointSize(m_fontSize);
    QFontDialog dialog(initial, m_owner);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (!m_title.isEmpty())
        dialog.setWindowTitle(m_title);
    if (!run(dialog)) {
        m_fontName = QStringLiteral("宋体");
        return;
    }
    const QFont font = dialog.selectedFont();
    m_fontName = font.family();
    m_fontItalic = font.italic();
    m_fontUnderline = font.underline();
    m_fontStrikethru = font.strikeOut();
    m_fontBold = font.weight() > QFont::Normal;
    m_fontSize = static_cast<int>(std::nearbyint(font.pointSizeF())); // half to even
}

QPrinter& CommDialog::Printer() {
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    return *m_printer;
}

bool CommDialog::ShowPrinter() {
    QPrintDialog dialog(&Printer(), m_owner);
    if (!m_title.isEmpty())
        dialog.setWindowTitle(m_title);
    return run(dialog);
}

bool CommDialog::ShowPageSetupDlg() {
    QPageSetupDialog dialog(&Printer(), m_owner);
    return run(dialog);
}
