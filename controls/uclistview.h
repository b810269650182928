#pragma once
// UcListView: the list control the windows are built from (lvFiles, lvOptions). A flat,
// index-based interface: columns, items with sub-items, item states (selected, focused, checked,
// ghosted), image lists, sorting, style switches, and its events as Qt signals.
//
// - Call Initialize() first; before it every member does nothing and returns false, 0, -1 or an
//   empty string. No member throws.
// - Indices of items, sub-items, columns and images are 16-bit: at most kMaxItems items.
// - Colours are OLE colours (olecolor.h): 0x00BBGGRR, or a system colour with the high bit set.
// - X and Y of mouse events and ItemHitTest are in ScaleMode units (pixels by default) relative
//   to the list's client area, header included.
// - Signals with reference arguments must stay direct connections (the default on the UI
//   thread): the control reads the handler's changes back after the emit.
// - The font is the widget's font (QWidget::setFont); enabling is QWidget::setEnabled.
// - Appending an item costs the same however long the list is.

#include <QImage>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QWidget>
#include <memory>

class ImageList;
class ListViewDelegate;
class ListViewModel;
class MessageHook;
class QAbstractItemView;
class QEvent;
class QItemSelection;
class QItemSelectionModel;
class QListView;
class QMimeData;
class QStackedLayout;
class ReportView;

class UcListView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxItems = 32767;
    static constexpr quint32 kNoMask = 0xFFFFFFFFu;

    // Column alignment (ColumnAdd, ColumnAlign).
    enum : int { AlignLeft = 0, AlignRight = 1, AlignCenter = 2 };
    // ItemFindText Coincidence flags; they combine.
    enum : int { FindParam = 0x1, FindString = 0x2, FindPartial = 0x8, FindWrap = 0x20 };
    // ItemFindState State flags; they combine (every given state must hold).
    enum : int {
        StateAll = 0x0,
        StateFocused = 0x1,
        StateSelected = 0x2,
        StateCut = 0x4,
        StateAbove = 0x100,
        StateBelow = 0x200
    };
    // ViewMode values.
    enum : int { ViewIcon = 0, ViewReport = 1, ViewSmallIcon = 2, ViewList = 3 };
    // ColumnAutosize types.
    enum : int { AutosizeToContent = -1, AutosizeUseHeader = -2 };
    // Sort: SortOrder 1 ascending, -1 descending, 0 keep; SortType below.
    enum : int { SortText = 0, SortBinary = 1, SortNumeric = 2, SortDate = 3 };
    // Mouse Button and Shift bits.
    enum : int { ButtonLeft = 1, ButtonRight = 2, ButtonMiddle = 4 };
    enum : int { ShiftMask = 1, CtrlMask = 2, AltMask = 4 };
    // OLE drop effects and OLEDragOver states.
    enum : int { DropEffectNone = 0, DropEffectCopy = 1, DropEffectMove = 2 };
    enum : int { DragEnter = 0, DragLeave = 1, DragOver = 2 };
    // ScaleMode values understood for mouse positions.
    enum : int { ScaleTwips = 1, ScalePoints = 2, ScalePixels = 3 };

    explicit UcListView(QWidget* parent = nullptr);
    ~UcListView() override;

    // Creates the list, once; false when called again.
    bool Initialize();

    // Image lists. Use32bpp is accepted for compatibility: images are always kept with alpha.
    bool InitializeImageListSmall(int ImageWidth = 16, int ImageHeight = 16, bool Use32bpp = false);
    bool InitializeImageListLarge(int ImageWidth = 32, int ImageHeight = 32, bool Use32bpp = false);
    bool InitializeImageListHeader(int ImageWidth = 16, int ImageHeight = 16,
                                   bool Use32bpp = false);
    // Adds a strip of images left to right; pixels of MaskColor (a COLORREF, kNoMask for none)
    // become transparent. Index of the first new image, -1 on failure, 0 without the list.
    int ImageListSmall_AddBitmap(const QImage& Bitmap, quint32 MaskColor = kNoMask);
    int ImageListLarge_AddBitmap(const QImage& Bitmap, quint32 MaskColor = kNoMask);
    int ImageListHeader_AddBitmap(const QImage& Bitmap, quint32 MaskColor = kNoMask);
    int ImageListSmall_AddIcon(const QIcon& Icon);
    int ImageListLarge_AddIcon(const QIcon& Icon);
    int ImageListHeader_AddIcon(const QIcon& Icon);
    // Past the end: adds and returns the new index; else 1 when replaced, 0 on failure.
    int ImageListSmall_ReplaceBitmap(int nIndex, const QImage& Bitmap, quint32 MaskColor = kNoMask);

    void Refresh();
    bool Clear();
    // Column's text compared as SortType (text ignoring case, text, number, date); SortOrder 1
    // ascending, -1 descending, 0 unchanged. False for any other order or type.
    bool Sort(int Column = 0, int SortOrder = 1, int SortType = SortText);
    // A tiled background picture from a file path or file URL.
    bool BackgroundPictureSet(const QString& URL);

    // Column 0 is always left-aligned, whatever Align says.
    bool ColumnAdd(int Column, const QString& Text, int Width, int Align = AlignLeft,
                   int Icon = -1);
    bool ColumnRemove(int Column);
    bool ColumnAutosize(int Column, int AutosizeType);

    // Inserts at Item (appends past the end). The list's first item also gets the focus.
    bool ItemAdd(int Item, const QString& Text, int Indent = 0, int Icon = -1, qint32 Tag = 0);
    bool ItemRemove(int Item);
    bool ItemEnsureVisible(int Item);
    // The first item after StartItem whose text matches, ignoring case: whole text (FindString),
    // a prefix (FindPartial), or the tag (FindParam, Text read as a number). -1 when none or
    // when Text is blank.
    int ItemFindText(const QString& Text, int StartItem = -1, int Coincidence = FindString) const;
    // The next item after StartItem holding every state in State; -1 when none.
    int ItemFindState(int StartItem = -1, int State = StateSelected) const;
    int ItemHitTest(float X, float Y) const;
    // Text and image of one cell in one call (SubItem 0 is the item itself).
    bool SubItemSet(int Item, int SubItem, const QString& Text, int Icon = -1);

    QString ColumnText(int Column) const;
    void setColumnText(int Column, const QString& Text);
    int ColumnWidth(int Column) const;
    void setColumnWidth(int Column, int Width);
    int ColumnAlign(int Column) const;
    void setColumnAlign(int Column, int Align);
    int ColumnIcon(int Column) const;
    void setColumnIcon(int Column, int Icon);

    QString ItemText(int Item) const;
    void setItemText(int Item, const QString& Text);
    int ItemIcon(int Item) const;
    void setItemIcon(int Item, int Icon);
    qint32 ItemTag(int Item) const;
    void setItemTag(int Item, qint32 Tag);
    int ItemIndent(int Item) const;
    void setItemIndent(int Item, int Indent);
    bool ItemSelected(int Item) const;
    // True selects and focuses the item; false deselects it; Item -1 applies to every item.
    void setItemSelected(int Item, bool Selected);
    bool ItemFocused(int Item) const;
    void setItemFocused(int Item, bool Focused);
    // True only for a checked check box; an item of a list without check boxes reads false.
    bool ItemChecked(int Item) const;
    void setItemChecked(int Item, bool Checked);
    bool ItemGhosted(int Item) const;
    void setItemGhosted(int Item, bool Ghosted);
    QString SubItemText(int Item, int SubItem) const;
    void setSubItemText(int Item, int SubItem, const QString& Text);
    int SubItemIcon(int Item, int SubItem) const;
    void setSubItemIcon(int Item, int SubItem, int Icon);

    int Count() const;
    int SelectedCount() const;
    int ColumnCount() const;
    // Height of the header in pixels; 0 while hidden, -1 without columns.
    int HeaderHeight() const;
    // The list itself (the view that has the keyboard focus); nullptr before Initialize.
    QAbstractItemView* hwnd() const;

    int ViewMode() const { return m_viewMode; }
    void setViewMode(int Mode);
    // 0 no border, 1 sunken border.
    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int Style);
    bool MultiSelect() const { return m_multiSelect; }
    void setMultiSelect(bool On);
    // True hides the selection while the list does not have the focus.
    bool HideSelection() const { return m_hideSelection; }
    void setHideSelection(bool On);
    bool LabelEdit() const { return m_labelEdit; }
    void setLabelEdit(bool On);
    bool HeaderHide() const { return m_headerHide; }
    void setHeaderHide(bool On);
    bool CheckBoxes() const { return m_checkBoxes; }
    void setCheckBoxes(bool On);
    bool FullRowSelect() const { return m_fullRowSelect; }
    void setFullRowSelect(bool On);
    bool GridLines() const { return m_gridLines; }
    void setGridLines(bool On);
    bool HeaderDragDrop() const { return m_headerDragDrop; }
    void setHeaderDragDrop(bool On);
    bool LabelTips() const { return m_labelTips; }
    void setLabelTips(bool On);
    bool OneClickActivate() const { return m_oneClickActivate; }
    void setOneClickActivate(bool On);
    bool ScrollBarFlat() const { return m_scrollBarFlat; }
    void setScrollBarFlat(bool On);
    // Sub-items show their images only while this is on.
    bool SubItemImages() const { return m_subItemImages; }
    void setSubItemImages(bool On);
    bool TrackSelect() const { return m_trackSelect; }
    void setTrackSelect(bool On);
    bool UnderlineHot() const { return m_underlineHot; }
    void setUnderlineHot(bool On);
    bool UseTheme() const { return m_useTheme; }
    void setUseTheme(bool On);
    // True: the header's items do not look or act like buttons.
    bool HeaderFlat() const { return m_headerFlat; }
    void setHeaderFlat(bool On);
    bool FilterBar() const { return m_filterBar; }
    void setFilterBar(bool On);
    // Stored even before Initialize: the user cannot change column widths while on.
    bool HeaderFixedWidth() const { return m_headerFixedWidth; }
    void setHeaderFixedWidth(bool On);
    // Stored even before Initialize: OnSubItemPrePaint is raised only while on.
    bool RaiseSubItemPrePaint() const { return m_raiseSubItemPrePaint; }
    void setRaiseSubItemPrePaint(bool On);
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 Color);
    quint32 ForeColor() const { return m_foreColor; }
    void setForeColor(quint32 Color);
    // 0 none, 1 manual: dropped files arrive as OLEDragDrop.
    int OLEDropMode() const { return m_oleDropMode; }
    void setOLEDropMode(int Mode);
    int ScaleMode() const { return m_scaleMode; }
    void setScaleMode(int Mode);

signals:
    void Click();
    void DblClick();
    void ItemClick(int Item);
    void ItemCheck(int Item);
    void ColumnClick(int Column);
    void ColumnRightClick(int Column);
    void ColumnWidthChangeBegin(int Column);
    void ColumnWidthChanged(int Column);
    void ColumnWidthChanging(int Column);
    // Windows virtual-key codes (13 Enter, 32 Space, 37..40 arrows, 65.. letters); changes to
    // the arguments do not reach the list.
    void KeyDown(int& KeyCode, int& Shift);
    void KeyPress(int& KeyAscii);
    void KeyUp(int& KeyCode, int& Shift);
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void MouseEnter();
    void MouseLeave();
    // Setting Cancel keeps the editor from opening.
    void BeforeLabelEdit(int& Cancel);
    // Cancel starts at 1 for an edit left with Escape, else 0; the new text is taken unless
    // Cancel is set. The handler may change NewString.
    void AfterLabelEdit(int& Cancel, QString& NewString);
    void Resize();
    // For every painted cell while RaiseSubItemPrePaint is on. Both colours start at 0 (black)
    // and Process at false; when the handler sets Process, the cell is drawn with both colours.
    void OnSubItemPrePaint(int Item, int SubItem, quint32& TextBackColor, quint32& TextForeColor,
                           bool& Process);
    void OLEDragOver(const QMimeData* Data, int& Effect, int Button, int Shift, float X, float Y,
                     int State);
    // Files: the local paths of the dropped text/uri-list, in order (empty for other data).
    void OLEDragDrop(const QStringList& Files, int& Effect, int Button, int Shift, float X,
                     float Y);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Views;

    void zSubclass_Proc(bool bBefore, bool& bHandled, bool& lReturn, QObject* target,
                        QEvent* event);
    void pvKeyboardRule(bool before, bool& handled, bool& result, QEvent* event);
    bool pvEditorHasFocus() const;
    void pvOnViewEvent(QAbstractItemView* view, QEvent* event);
    void pvOnViewportEvent(QAbstractItemView* view, QEvent* event);
    void pvOnDrag(QAbstractItemView* view, QEvent* event);
    bool pvCellColours(int row, int column, QColor& back, QColor& fore);
    void pvSelectionChanged(const QItemSelection& selected);
    void pvStateImageChanged(int row, int oldImage, int newImage);
    void pvHookHeader();
    void pvApplyRowHeight();
    void pvApplyPalette();
    void pvApplyBorder();
    void pvAttach(QAbstractItemView* view);
    void pvDetach(QAbstractItemView* view);
    void pvSyncColumnWidths();
    QPointF pvToScale(QAbstractItemView* view, QPointF viewportPos) const;
    int pvItemState(int row, bool focusedBefore) const;
    bool pvLive() const { return m_views != nullptr; }
    bool pvValidItem(int item) const;
    int pvAddImage(ImageList* list, const QImage& bitmap, quint32 mask);
    int pvAddIcon(ImageList* list, const QIcon& icon);
    void pvImageListsChanged();

    std::unique_ptr<ListViewModel> m_model;
    std::unique_ptr<ImageList> m_small;
    std::unique_ptr<ImageList> m_large;
    std::unique_ptr<ImageList> m_header;
    std::unique_ptr<Views> m_views;
    MessageHook* m_hook = nullptr;
    QPersistentModelIndex m_lastFocus;

    int m_viewMode = ViewList;
    int m_borderStyle = 1;
    int m_oleDropMode = 0;
    int m_scaleMode = ScalePixels;
    quint32 m_backColor = 0x80000005u; // window background
    quint32 m_foreColor = 0x80000008u; // window text
    bool m_multiSelect = false;
    bool m_hideSelection = false;
    bool m_labelEdit = false;
    bool m_headerHide = false;
    bool m_checkBoxes = false;
    bool m_fullRowSelect = false;
    bool m_gridLines = false;
    bool m_headerDragDrop = false;
    bool m_labelTips = false;
    bool m_oneClickActivate = false;
    bool m_scrollBarFlat = false;
    bool m_subItemImages = false;
    bool m_trackSelect = false;
    bool m_underlineHot = false;
    bool m_useTheme = false;
    bool m_headerFlat = false;
    bool m_filterBar = false;
    bool m_headerFixedWidth = false;
    bool m_raiseSubItemPrePaint = false;
    bool m_firstItemAdded = false;
    bool m_mouseInside = false;
    bool m_headerTracking = false;
    int m_trackedColumn = -1;
    QPointF m_lastMouse{-1.0, -1.0};
};
