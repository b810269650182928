#pragma once
// frmGPS, the main window: the photo list on the left, the action box and the import or export
// group on the right. Its handlers only run dialogs and hand over to the roads of the core.

#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"
#include "road/appstate.h"
#include "road/mainview.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class UcHyperLink;
class UcListView;

inline const QString kWindowTitle = QStringLiteral("照片 GPS 数据批量导入导出工具 - Corvexa");

class FrmGps : public QWidget, public IMainView {
    Q_OBJECT
public:
    explicit FrmGps(AppState& app, QWidget* parent = nullptr);
    ~FrmGps() override;

    // Where messages go; the window's own message boxes unless replaced (tests).
    void setMessageSink(IMessageSink* sink) { m_messageSink = sink; }

    PhotoList& photoList() { return m_list; }
    const GpsLogState& logState() const { return m_log; }
    RoadContext context() { return {m_list, m_log, m_app, *this}; }

    // IMainView
    void message(const QString& title, const QString& text, MessageIcon icon) override;
    void yield() override;
    void setEnabled(Control control, bool enabled) override;
    void setFocus(Control control) override;
    void setTips(const QString& text) override;
    void setInvalidDataShown(bool shown) override;
    void setBusyCursor(bool busy) override;
    void showRow(int i) override;
    bool skipMakerNote() const override;
    int action() const override;
    void setAction(int index) override;
    void closeWindow() override;

    // Handlers, named as on the window.
    void Form_Load();
    void Form_QueryUnload(bool& cancel);
    void Form_Unload();
    void cboAction_Click();
    void cboOutFormat_Click(int index);
    void chkMakerNote_Click();
    void cmdClear_Click();
    void cmdOptions_Click();
    void cmdOpenLog_Click();
    void cmdToggle_Click();
    void cmdStart_Click();
    void cmdTime_Click();
    void cmdOpenEx_Click();
    void cmdOpenFolder_Click();
    void cmdExport_Click();
    void lvFiles_Click();
    void lvFiles_OnSubItemPrePaint(int Item, int SubItem, quint32& TextBackColor,
                                   quint32& TextForeColor, bool& Process);
    void lvFiles_OLEDragDrop(const QStringList& files);
    void lnkWebsite_Jump();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void createImportGroup();
    void createExportGroup();
    void describeControls();
    void orderTabs();
    void showPendingRow();
    void bindPhotoList();
    void setUpPhotoList();
    void showListRow(int i);
    QWidget* control(Control c) const;

    AppState& m_app;
    PhotoList m_list;
    GpsLogState m_log;
    IMessageSink* m_messageSink = nullptr;
    bool m_formLoading = false;
    int m_busyDepth = 0;
    QElapsedTimer m_sinceYield;
    // The row a road showed last, selected and scrolled to once per frame (scrolling asks the
    // display server where the mouse is, a round trip per call), and the shot that shows it when
    // the road ends between two frames.
    std::optional<int> m_pendingRow;
    QTimer m_showRowShot;
    // The control a road gave the focus to while it was disabled; it takes the focus when the
    // road enables it.
    std::optional<Control> m_pendingFocus;

    // Child widgets, owned by the window through Qt's parent chain.
    UcListView* lvFiles = nullptr;
    QComboBox* cboAction = nullptr;
    QFrame* fraImport = nullptr;
    QPushButton* cmdOpenLog = nullptr;
    QPushButton* cmdToggle = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdTime = nullptr;
    QCheckBox* chkMakerNote = nullptr;
    QLabel* imgError = nullptr;
    QLabel* lblError = nullptr;
    QLabel* lblTips = nullptr;
    QFrame* fraExport = nullptr;
    std::array<QComboBox*, 3> cboOutFormat{};
    QPushButton* cmdOpenEx = nullptr;
    QPushButton* cmdOpenFolder = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdOptions = nullptr;
    QPushButton* cmdExport = nullptr;
    QCheckBox* chkAutoExt = nullptr;
    UcHyperLink* lnkWebsite = nullptr;
    QLabel* imgWebsite = nullptr;
};

// The window's font: "Microsoft YaHei" 9 pt, falling back to the installed Chinese fonts.
QFont windowFont();

// The user guide the web link opens: the README as HTML, installed in
// <prefix>/share/doc/corvexa-gps beside the program's <prefix>/bin, so any install prefix (and the
// build tree) finds its own.
QString userGuidePath();
