#pragma once
// CommDialog: the common dialogs behind one object of properties and Show calls: file open and
// save (also several files at once), with picture preview, folder, colour, font, printer and page
// setup. A command makes one object, sets the owner, title, filter, folder, flags and buffer size,
// calls ShowOpen or ShowSave and reads FileName:
//
//   - empty: the user cancelled (or the dialog could not be shown, see ExtendedError);
//   - one full path;
//   - several files: the folder, then each name, separated by NUL characters ('\0').
//
// Filter is "description|pattern;pattern|description|pattern...", FilterIndex 1-based (0 shows
// the first). No member throws. Dialogs are Qt's own (not the desktop's), so tests can answer
// them: setTestHook() receives every dialog before it is shown and may fill it in and accept()
// or reject() it, in which case it is not shown at all.

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QDialog;
class QFileDialog;
class QPrinter;

class CommDialog {
public:
    // Flags understood by the file dialogs (the others are kept and ignored).
    static constexpr quint32 OFN_READONLY = 0x1;
    static constexpr quint32 OFN_OVERWRITEPROMPT = 0x2;
    static constexpr quint32 OFN_HIDEREADONLY = 0x4;
    static constexpr quint32 OFN_ALLOWMULTISELECT = 0x200;
    static constexpr quint32 OFN_PATHMUSTEXIST = 0x800;
    static constexpr quint32 OFN_FILEMUSTEXIST = 0x1000;
    static constexpr quint32 OFN_EXPLORER = 0x80000;
    // Colour dialog: CC_FULLOPEN shows the custom colour part at once (Qt always does).
    static constexpr quint32 CC_RGBINIT = 0x1;
    // ExtendedError after a file dialog whose result did not fit BufferSize.
    static constexpr int FNERR_BUFFERTOOSMALL = 0x3003;

    using TestHook = std::function<void(QDialog& dialog)>;
    // Process-wide, for tests only; an empty hook restores normal showing.
    static void setTestHook(TestHook hook);

    CommDialog();
    ~CommDialog();
    CommDialog(const CommDialog&) = delete;
    CommDialog& operator=(const CommDialog&) = delete;

    QWidget* hwnd() const { return m_owner; }
    void setHwnd(QWidget* owner) { m_owner = owner; }
    quint32 Flags() const { return m_flags; }
    void setFlags(quint32 flags) { m_flags = flags; }
    QString DialogTitle() const { return m_title; }
    void setDialogTitle(const QString& title) { m_title = title; }
    QString InitDir() const { return m_initDir; }
    void setInitDir(const QString& dir) { m_initDir = dir; }
    QString Filter() const { return m_filter; }
    void setFilter(const QString& filter) { m_filter = filter; }
    int FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(int index) { m_filterIndex = index; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString& name) { m_fileName = name; }
    // The part of FileName after its last path separator; unchanged by a result without one.
    QString FileTitle() const { return m_fileTitle; }
    // Characters the result may take, terminators included (default 255). A preset FileName
    // longer than BufferSize - 1 shows no dialog; a result that does not fit reads as cancelled
    // and sets ExtendedError to FNERR_BUFFERTOOSMALL.
    int BufferSize() const { return m_bufferSize; }
    void setBufferSize(int size) { m_bufferSize = size; }
    // 0, or FNERR_BUFFERTOOSMALL after the last file dialog.
    int ExtendedError() const { return m_extendedError; }

    // ShowColor result as a COLORREF (-1 when cancelled); ShowFont's initial and result colour.
    qint64 Color() const { return m_color; }
    void setColor(qint64 color) { m_color = color; }
    int Min() const { return m_min; }
    void setMin(int size) { m_min = size; }
    int Max() const { return m_max; }
    void setMax(int size) { m_max = size; }
    QString FontName() const { return m_fontName; }
    int FontSize() const { return m_fontSize; }
    void setFontSize(int size) { m_fontSize = size; }
    bool FontBold() const { return m_fontBold; }
    bool FontItalic() const { return m_fontItalic; }
    bool FontUnderline() const { return m_fontUnderline; }
    bool FontStrikethru() const { return m_fontStrikethru; }

    void ShowOpen();
    void ShowSave();
    // As ShowOpen/ShowSave with a picture preview; they start without a file name or folder
    // and leave FilterIndex as it is.
    void ShowOpenPreview();
    void ShowSavePreview();
    // Folder browser: DialogTitle, InitDir as the start; FileName the chosen folder, or empty.
    void ShowFolder();
    void ShowColor();
    void ShowFont();
    // True when the user confirmed; the chosen printer is kept by this object.
    bool ShowPrinter();
    // True when the user confirmed.
    bool ShowPageSetupDlg();
    // The printer chosen with ShowPrinter or set up with ShowPageSetupDlg.
    QPrinter& Printer();

    // Qt name filters for a filter text; "*.*" becomes "*" (every file, as on Windows).
    static QStringList nameFilters(const QString& filter);

private:
    enum class FileMode { Open, Save };
    void showFile(FileMode mode, bool preview);
    void setResult(const QString& result);
    // Runs the dialog (or lets the test hook answer it); true when accepted.
    bool run(QDialog& dialog);

    QPointer<QWidget> m_owner;
    quint32 m_flags = 0;
    QString m_title;
    QString m_initDir;
    QString m_filter;
    int m_filterIndex = 0;
    QString m_fileName;
    QString m_fileTitle;
    int m_bufferSize = 255;
    int m_extendedError = 0;
    qint64 m_color = 0;
    std::array<QColor, 16> m_customColors;
    int m_min = 0;
    int m_max = 0;
    QString m_fontName;
    int m_fontSize = 0;
    bool m_fontBold = false;
    bool m_fontItalic = false;
    bool m_fontUnderline = false;
    bool m_fontStrikethru = false;
    std::unique_ptr<QPrinter> m_printer;
};
