#include "controls/uclistview.h"

#include "controls/imagelist.h"
#include "controls/listviewaccessible.h"
#include "controls/listviewdelegate.h"
#include "controls/listviewmodel.h"
#include "controls/messagehook.h"
#include "controls/olecolor.h"
#include "controls/reportview.h"
#include "controls/vbkeys.h"

#include <QApplication>
#include <QDateTime>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStackedLayout>
#include <QUrl>
#include <algorithm>
#include <cmath>

struct UcListView::Views {
    QStackedLayout* stack = nullptr;
    ReportView* report = nullptr;
    QListView* icons = nullptr;
    ListViewDelegate* delegate = nullptr;
    QItemSelectionModel* selection = nullptr;

    QAbstractItemView* current() const {
        return stack->currentWidget() == report ? static_cast<QAbstractItemView*>(report) : icons;
    }
    bool isView(const QObject* o) const { return o == report || o == icons; }
    QAbstractItemView* viewOfViewport(const QObject* o) const {
        if (o == report->viewport())
            return report;
        if (o == icons->viewport())
            return icons;
        return nullptr;
    }
};

namespace {

bool isNavigationKey(int key) {
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

int buttonOf(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return UcListView::ButtonLeft;
    case Qt::RightButton:
        return UcListView::ButtonRight;
    case Qt::MiddleButton:
        return UcListView::ButtonMiddle;
    default:
        return 0;
    }
}

int effectOf(Qt::DropAction action) {
    switch (action) {
    case Qt::MoveAction:
        return UcListView::DropEffectMove;
    case Qt::IgnoreAction:
        return UcListView::DropEffectNone;
    default:
        return UcListView::DropEffectCopy;
    }
}

Qt::DropAction actionOf(int effect) {
    if (effect & UcListView::DropEffectCopy)
        return Qt::CopyAction;
    if (effect & UcListView::DropEffectMove)
        return Qt::MoveAction;
    return Qt::IgnoreAction;
}

// A date as a day number with the time as its fraction; 0 for text that is not a date.
double dateValue(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0;
    static const char* const kFormats[] = {
        "yyyy-M-d H:mm:ss", "yyyy-M-d H:mm", "yyyy-M-d", "yyyy/M/d H:mm:ss",
        "yyyy/M/d H:mm",    "yyyy/M/d",      "yyyy.M.d", "yyyy:M:d H:mm:ss",
        "M/d/yyyy H:mm:ss", "M/d/yyyy"};
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    for (const char* format : kFormats) {
        if (when.isValid())
            break;
        when = QDateTime::fromString(t, QString::fromLatin1(format));
    }
    if (!when.isValid())
        when = QLocale::system().toDateTime(t, QLocale::ShortFormat);
    if (!when.isValid())
        return 0;
    return static_cast<double>(when.date().toJulianDay()) +
           when.time().msecsSinceStartOfDay() / 86400000.0;
}

double numberValue(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(t, &ok);
    if (!ok)
        value = QLocale::system().toDouble(t, &ok);
    return ok ? value : 0;
}

} // namespace

UcListView::UcListView(QWidget* parent)
    : QWidget(parent), m_model(std::make_unique<ListViewModel>()) {
    connect(m_model.get(), &ListViewModel::stateImageChanged, this,
            &UcListView::pvStateImageChanged);
}

UcListView::~UcListView() {
    // Hooks go before the views they watch; the views go before the model they show.
    delete m_hook;
    m_hook = nullptr;
    if (m_views) {
        delete m_views->report;
        delete m_views->icons;
        m_views.reset();
    }
}

bool UcListView::Initialize() {
    if (m_views)
        return false;
    ListViewAccessible::installFactory();
    auto views = std::make_unique<Views>();
    views->stack = new QStackedLayout(this);
    views->stack->setContentsMargins(0, 0, 0, 0);
    views->report = new ReportView(this);
    views->icons = new QListView(this);
    views->report->setObjectName(QStringLiteral("report"));
    views->icons->setObjectName(QStringLiteral("icons"));

    ListViewDelegate::Hooks hooks;
    hooks.cellColours = [this](int row, int column, QColor& back, QColor& fore) {
        return pvCellColours(row, column, back, fore);
    };
    hooks.beforeLabelEdit = [this](int) {
        int cancel = 0;
        emit BeforeLabelEdit(cancel);
        return cancel == 0;
    };
    hooks.afterLabelEdit = [this](int, bool cancelled, QString& text) {
        int cancel = cancelled ? 1 : 0;
        emit AfterLabelEdit(cancel, text);
        return cancel == 0 && !cancelled;
    };
    views->delegate = new ListViewDelegate(std::move(hooks), this);
    views->selection = new QItemSelectionModel(m_model.get(), this);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(views->report),
                                    static_cast<QAbstractItemView*>(views->icons)}) {
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->viewport()->setMouseTracking(true);
        view->setTabKeyNavigation(false);
        views->stack->addWidget(view);
    }
    views->icons->setUniformItemSizes(true);
    views->icons->setMovement(QListView::Static);
    views->icons->setResizeMode(QListView::Adjust);
    // The views come right after the control in the tab order, wherever the form placed it. The
    // control takes the focus only to hand it on to the shown view.
    setFocusPolicy(Qt::StrongFocus);
    QWidget::setTabOrder(this, views->report);
    QWidget::setTabOrder(views->report, views->icons);
    setFocusProxy(views->report);

    connect(views->selection, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) { pvSelectionChanged(selected); });
    connect(views->selection, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { m_lastFocus = current; });

    m_views = std::move(views);

    m_hook = new MessageHook(
        [this](bool before, bool& handled, bool& result, QObject* target, QEvent* event) {
            zSubclass_Proc(before, handled, result, target, event);
        },
        this);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_views->report),
                                    static_cast<QAbstractItemView*>(m_views->icons)}) {
        m_hook->hookWindow(view);
        for (QEvent::Type type : {QEvent::FocusIn, QEvent::FocusOut, QEvent::KeyPress,
                                  QEvent::KeyRelease, QEvent::ShortcutOverride})
            m_hook->addHookMessage(view, type, MessageHook::After);
        m_hook->addHookMessage(view, QEvent::KeyPress, MessageHook::Before);
        QWidget* viewport = view->viewport();
        m_hook->hookWindow(viewport);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseMove, QEvent::Leave})
            m_hook->addHookMessage(viewport, type, MessageHook::After);
        for (QEvent::Type type :
             {QEvent::DragEnter, QEvent::DragMove, QEvent::DragLeave, QEvent::Drop})
            m_hook->addHookMessage(viewport, type, MessageHook::Before);
    }
    pvHookHeader();

    // Bring the new views in line with what was set before.
    setViewMode(m_viewMode);
    pvApplyBorder();
    pvApplyPalette();
    setMultiSelect(m_multiSelect);
    setHideSelection(m_hideSelection);
    setLabelEdit(m_labelEdit);
    setFullRowSelect(m_fullRowSelect);
    setGridLines(m_gridLines);
    setHeaderHide(m_headerHide);
    setHeaderFixedWidth(m_headerFixedWidth);
    setHeaderFlat(m_headerFlat);
    setHeaderDragDrop(m_headerDragDrop);
    setOLEDropMode(m_oleDropMode);
    pvSyncColumnWidths();
    pvApplyRowHeight();
    m_lastMouse = QPointF(-1.0, -1.0);
    return true;
}

void UcListView::pvHookHeader() {
    QHeaderView* header = m_views->report->header();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (!m_headerFlat)
            emit ColumnClick(column);
    });
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& pos) {
        const int column = header->logicalIndexAt(pos);
        if (column >= 0)
            emit ColumnRightClick(column);
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column < m_model->realColumnCount()) {
            ListColumn col = m_model->columns()[static_cast<size_t>(column)];
            col.width = width;
            m_model->setColumn(column, col);
        }
        if (!m_headerTracking)
            return;
        if (m_trackedColumn != column) {
            m_trackedColumn = column;
            emit ColumnWidthChangeBegin(column);
        }
        emit ColumnWidthChanging(column);
    });
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this, [this](int column) {
        if (!m_headerFixedWidth)
            ColumnAutosize(column, AutosizeToContent);
    });
    m_hook->hookWindow(header->viewport());
    m_hook->addHookMessage(header->viewport(), QEvent::MouseButtonPress, MessageHook::Before);
    m_hook->addHookMessage(header->viewport(), QEvent::MouseButtonRelease, MessageHook::After);
}

// ---------------------------------------------------------------------------------------------
// Events

void UcListView::zSubclass_Proc(bool bBefore, bool& bHandled, bool& lReturn, QObject* target,
                                QEvent* event) {
    if (!m_views)
        return;
    if (m_views->isView(target)) {
        pvKeyboardRule(bBefore, bHandled, lReturn, event);
        if (!bBefore && !bHandled)
            pvOnViewEvent(static_cast<QAbstractItemView*>(target), event);
        return;
    }
    if (QAbstractItemView* view = m_views->viewOfViewport(target)) {
        if (bBefore) {
            bHandled = true;
            pvOnDrag(view, event);
            lReturn = event->isAccepted();
        } else {
            pvOnViewportEvent(view, event);
        }
        return;
    }
    if (target == m_views->report->header()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            m_headerTracking = true;
            m_trackedColumn = -1;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_headerTracking = false;
            if (m_trackedColumn >= 0)
                emit ColumnWidthChanged(m_trackedColumn);
            m_trackedColumn = -1;
        }
    }
}

// Navigation keys belong to the list even inside a dialog whose shortcuts use them; Tab and
// Shift+Tab leave it as usual; Ctrl+Tab is the container's.
void UcListView::pvKeyboardRule(bool before, bool& handled, bool& result, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrlTab = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
                         (key->modifiers() & Qt::ControlModifier);
    if (before) {
        if (ctrlTab) {
            handled = true;
            result = false;
        } else if (isNavigationKey(key->key()) && pvEditorHasFocus()) {
            // Passed up from the label editor, which keeps it.
            handled = true;
            result = true;
        }
        return;
    }
    if (isNavigationKey(key->key()))
        result = true;
}

bool UcListView::pvEditorHasFocus() const {
    const QWidget* focus = QApplication::focusWidget();
    const QAbstractItemView* view = m_views->current();
    return focus && focus != view && view->isAncestorOf(focus);
}

void UcListView::pvOnViewEvent(QAbstractItemView* view, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        int code = vbkeys::keyCode(*key);
        int shift = vbkeys::shiftBits(key->modifiers());
        if (code != 0)
            emit KeyDown(code, shift);
        const QString text = key->text();
        if (!text.isEmpty() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            int ascii = text.at(0).unicode() & 0x7FFF;
            const int typed = ascii;
            emit KeyPress(ascii);
            if (typed == ' ') {
                const int item = ItemFindState(-1, StateFocused | StateSelected);
                if (item >= 0)
                    emit ItemClick(item);
            }
        }
        break;
    }
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        int code = vbkeys::keyCode(*key);
        int shift = vbkeys::shiftBits(key->modifiers());
        if (code != 0)
            emit KeyUp(code, shift);
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        if (m_hideSelection)
            view->viewport()->update();
        break;
    default:
        break;
    }
}

void UcListView::pvOnViewportEvent(QAbstractItemView* view, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex hit = view->indexAt(mouse->position().toPoint());
        if (hit.isValid() && (ItemSelected(hit.row()) || ItemFocused(hit.row())))
            emit ItemClick(hit.row());
        const QPointF at = pvToScale(view, mouse->position());
        emit MouseDown(buttonOf(mouse->button()), vbkeys::shiftBits(mouse->modifiers()),
                       static_cast<float>(at.x()), static_cast<float>(at.y()));
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF at = pvToScale(view, mouse->position());
        emit MouseUp(buttonOf(mouse->button()), vbkeys::shiftBits(mouse->modifiers()),
                     static_cast<float>(at.x()), static_cast<float>(at.y()));
        emit Click();
        break;
    }
    case QEvent::MouseButtonDblClick:
        emit DblClick();
        break;
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_mouseInside) {
            m_mouseInside = true;
            emit MouseEnter();
        }
        const QPointF at = pvToScale(view, mouse->position());
        if (at == m_lastMouse)
            break;
        m_lastMouse = at;
        emit MouseMove(vbkeys::buttonBits(mouse->buttons()), vbkeys::shiftBits(mouse->modifiers()),
                       static_cast<float>(at.x()), static_cast<float>(at.y()));
        break;
    }
    case QEvent::Leave:
        if (m_mouseInside) {
            m_mouseInside = false;
            emit MouseLeave();
        }
        m_lastMouse = QPointF(-1.0, -1.0);
        break;
    default:
        break;
    }
}

void UcListView::pvOnDrag(QAbstractItemView* view, QEvent* event) {
    if (event->type() == QEvent::DragLeave) {
        if (m_oleDropMode == 1) {
            int effect = DropEffectNone;
            emit OLEDragOver(nullptr, effect, 0, 0, -1.0f, -1.0f, DragLeave);
        }
        return;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    if (m_oleDropMode != 1) {
        drop->ignore();
        return;
    }
    const QPointF at = pvToScale(view, drop->position());
    const int button = vbkeys::buttonBits(drop->buttons());
    const int shift = vbkeys::shiftBits(drop->modifiers());
    int effect = effectOf(drop->proposedAction());
    if (event->type() == QEvent::Drop) {
        QStringList files;
        if (drop->mimeData()->hasUrls()) {
            for (const QUrl& url : drop->mimeData()->urls()) {
                if (url.isLocalFile())
                    files.append(url.toLocalFile());
            }
        }
        emit OLEDragDrop(files, effect, button, shift, static_cast<float>(at.x()),
                         static_cast<float>(at.y()));
    } else {
        const int state = event->type() == QEvent::DragEnter ? DragEnter : DragOver;
        emit OLEDragOver(drop->mimeData(), effect, button, shift, static_cast<float>(at.x()),
                         static_cast<float>(at.y()), state);
    }
    const Qt::DropAction action = actionOf(effect);
    if (action == Qt::IgnoreAction) {
        drop->ignore();
        return;
    }
    drop->setDropAction(action);
    drop->accept();
}

bool UcListView::pvCellColours(int row, int column, QColor& back, QColor& fore) {
    if (!m_raiseSubItemPrePaint)
        return false;
    quint32 textBack = 0;
    quint32 textFore = 0;
    bool process = false;
    emit OnSubItemPrePaint(row, column, textBack, textFore, process);
    if (!process)
        return false;
    back = olecolor::toQColor(textBack, palette());
    fore = olecolor::toQColor(textFore, palette());
    return true;
}

int UcListView::pvItemState(int row, bool focusedBefore) const {
    const ListItem& item = m_model->item(row);
    return (focusedBefore ? StateFocused : 0) | (item.cut ? StateCut : 0) | (item.stateImage << 12);
}

void UcListView::pvSelectionChanged(const QItemSelection& selected) {
    if (m_firstItemAdded)
        return;
    for (const QItemSelectionRange& range : selected) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            // The focus moves after the selection, so the remembered focus is the one before.
            const bool focusedBefore = m_lastFocus.isValid() && m_lastFocus.row() == row;
            if (m_model->validRow(row) && pvItemState(row, focusedBefore) == 0)
                emit ItemClick(row);
        }
    }
}

void UcListView::pvStateImageChanged(int row, int oldImage, int newImage) {
    Q_UNUSED(newImage);
    if (!m_views)
        return;
    const QModelIndex index = m_model->index(row, 0);
    const bool focused = m_views->selection->currentIndex().row() == row;
    const int oldState = (m_views->selection->isSelected(index) ? StateSelected : 0) |
                         (focused ? StateFocused : 0) | (m_model->item(row).cut ? StateCut : 0) |
                         (oldImage << 12);
    if (oldState != 0)
        emit ItemCheck(row);
}

QPointF UcListView::pvToScale(QAbstractItemView* view, QPointF viewportPos) const {
    const QPoint shift = view->viewport()->geometry().topLeft() - view->contentsRect().topLeft();
    const QPointF client = viewportPos + QPointF(shift);
    const double dpi = std::max(1, logicalDpiX());
    switch (m_scaleMode) {
    case ScaleTwips:
        return client * (1440.0 / dpi);
    case ScalePoints:
        return client * (72.0 / dpi);
    default:
        return client;
    }
}

void UcListView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_views)
        emit Resize();
}

void UcListView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (!m_views)
        return;
    if (event->type() == QEvent::FontChange)
        pvApplyRowHeight();
    else if (event->type() == QEvent::PaletteChange)
        pvApplyPalette();
}

// ---------------------------------------------------------------------------------------------
// Image lists

bool UcListView::InitializeImageListSmall(int ImageWidth, int ImageHeight, bool) {
    if (!m_views || ImageWidth <= 0 || ImageHeight <= 0)
        return false;
    m_small = std::make_unique<ImageList>(QSize(ImageWidth, ImageHeight));
    pvImageListsChanged();
    return true;
}

bool UcListView::InitializeImageListLarge(int ImageWidth, int ImageHeight, bool) {
    if (!m_views || ImageWidth <= 0 || ImageHeight <= 0)
        return false;
    m_large = std::make_unique<ImageList>(QSize(ImageWidth, ImageHeight));
    pvImageListsChanged();
    return true;
}

bool UcListView::InitializeImageListHeader(int ImageWidth, int ImageHeight, bool) {
    if (!m_views || ImageWidth <= 0 || ImageHeight <= 0)
        return false;
    m_header = std::make_unique<ImageList>(QSize(ImageWidth, ImageHeight));
    pvImageListsChanged();
    return true;
}

int UcListView::pvAddImage(ImageList* list, const QImage& bitmap, quint32 mask) {
    if (!m_views || !list)
        return 0;
    const int index = list->addStrip(bitmap, mask);
    pvImageListsChanged();
    return index;
}

int UcListView::pvAddIcon(ImageList* list, const QIcon& icon) {
    if (!m_views || !list)
        return 0;
    const int index = list->addIcon(icon);
    pvImageListsChanged();
    return index;
}

int UcListView::ImageListSmall_AddBitmap(const QImage& Bitmap, quint32 MaskColor) {
    return pvAddImage(m_small.get(), Bitmap, MaskColor);
}
int UcListView::ImageListLarge_AddBitmap(const QImage& Bitmap, quint32 MaskColor) {
    return pvAddImage(m_large.get(), Bitmap, MaskColor);
}
int UcListView::ImageListHeader_AddBitmap(const QImage& Bitmap, quint32 MaskColor) {
    return pvAddImage(m_header.get(), Bitmap, MaskColor);
}
int UcListView::ImageListSmall_AddIcon(const QIcon& Icon) {
    return pvAddIcon(m_small.get(), Icon);
}
int UcListView::ImageListLarge_AddIcon(const QIcon& Icon) {
    return pvAddIcon(m_large.get(), Icon);
}
int UcListView::ImageListHeader_AddIcon(const QIcon& Icon) {
    return pvAddIcon(m_header.get(), Icon);
}

int UcListView::ImageListSmall_ReplaceBitmap(int nIndex, const QImage& Bitmap, quint32 MaskColor) {
    if (!m_views || !m_small)
        return 0;
    if (nIndex >= m_small->count())
        return ImageListSmall_AddBitmap(Bitmap, MaskColor);
    const bool replaced = m_small->replace(nIndex, Bitmap, MaskColor);
    pvImageListsChanged();
    return replaced ? 1 : 0;
}

void UcListView::pvImageListsChanged() {
    if (!m_views)
        return;
    const ImageList* items = m_viewMode == ViewIcon ? m_large.get() : m_small.get();
    m_model->setImageLists(items, m_header.get());
    pvApplyRowHeight();
}

void UcListView::pvApplyRowHeight() {
    if (!m_views)
        return;
    const QFontMetrics metrics(font());
    int height = metrics.height() + 4;
    if (m_small)
        height = std::max(height, m_small->size().height() + 2);
    if (m_checkBoxes)
        height = std::max(height, style()->pixelMetric(QStyle::PM_IndicatorHeight) + 4);
    m_views->report->setRowHeight(height);
    const QSize small = m_small ? m_small->size() : QSize(16, 16);
    const QSize large = m_large ? m_large->size() : QSize(32, 32);
    m_views->icons->setIconSize(m_viewMode == ViewIcon ? large : small);
    m_views->report->setIconSize(small);
    m_views->delegate->setIndentWidth(small.width());
}

// ---------------------------------------------------------------------------------------------
// Items and columns

bool UcListView::pvValidItem(int item) const {
    return m_views && m_model->validRow(item);
}

void UcListView::Refresh() {
    if (!m_views)
        return;
    m_views->report->header()->viewport()->update();
    m_views->current()->viewport()->update();
    update();
}

bool UcListView::Clear() {
    if (!m_views)
        return false;
    m_model->clear();
    return true;
}

bool UcListView::Sort(int Column, int SortOrder, int SortType) {
    if (!m_views || SortOrder < -1 || SortOrder > 1 || SortType < SortText || SortType > SortDate)
        return false;
    if (SortOrder == 0)
        return true; // every comparison answers by index: the order stays
    const int count = Count();
    std::vector<QString> texts(static_cast<size_t>(count));
    std::vector<double> numbers;
    for (int row = 0; row < count; ++row) {
        QString text = m_model->cellText(row, Column);
        texts[static_cast<size_t>(row)] = SortType == SortText ? text.toLower() : text;
    }
    if (SortType == SortNumeric || SortType == SortDate) {
        numbers.resize(texts.size());
        for (size_t i = 0; i < texts.size(); ++i)
            numbers[i] = SortType == SortNumeric ? numberValue(texts[i]) : dateValue(texts[i]);
    }
    auto compare = [&](int a, int b) -> int {
        if (!numbers.empty()) {
            const double x = numbers[static_cast<size_t>(a)];
            const double y = numbers[static_cast<size_t>(b)];
            return x > y ? 1 : (x < y ? -1 : 0);
        }
        const int c = QString::compare(texts[static_cast<size_t>(a)], texts[static_cast<size_t>(b)],
                                       Qt::CaseSensitive);
        return c > 0 ? 1 : (c < 0 ? -1 : 0);
    };
    m_model->sortRows([&](int a, int b) { return compare(a, b) * SortOrder < 0; });
    return true;
}

bool UcListView::BackgroundPictureSet(const QString& URL) {
    if (!m_views)
        return false;
    const QUrl url(URL);
    const QString path = url.isLocalFile() ? url.toLocalFile() : URL;
    const QPixmap picture(path);
    if (picture.isNull())
        return false;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_views->report),
                                    static_cast<QAbstractItemView*>(m_views->icons)}) {
        QPalette p = view->viewport()->palette();
        p.setBrush(QPalette::Base, QBrush(picture));
        view->viewport()->setPalette(p);
    }
    return true;
}

bool UcListView::ColumnAdd(int Column, const QString& Text, int Width, int Align, int Icon) {
    if (!m_views || Column < 0)
        return false;
    ListColumn col{Text, std::max(0, Width), Column == 0 ? AlignLeft : Align, Icon};
    const int at = std::min(Column, ColumnCount());
    m_model->insertColumn(at, col);
    pvSyncColumnWidths();
    return true;
}

bool UcListView::ColumnRemove(int Column) {
    if (!m_views || !m_model->removeColumn(Column))
        return false;
    pvSyncColumnWidths();
    return true;
}

bool UcListView::ColumnAutosize(int Column, int AutosizeType) {
    if (!m_views || Column < 0 || Column >= ColumnCount() ||
        (AutosizeType != AutosizeToContent && AutosizeType != AutosizeUseHeader))
        return false;
    const QFontMetrics metrics(font());
    const int iconWidth = m_small ? m_small->size().width() + 4 : 0;
    int width = 0;
    for (int row = 0; row < Count(); ++row) {
        int w = metrics.horizontalAdvance(m_model->cellText(row, Column)) + 12;
        if ((Column == 0 || m_subItemImages) && m_model->cellIcon(row, Column) >= 0)
            w += iconWidth;
        if (Column == 0)
            w += m_model->item(row).indent * (m_small ? m_small->size().width() : 16);
        width = std::max(width, w);
    }
    if (AutosizeType == AutosizeUseHeader) {
        width = std::max(width, metrics.horizontalAdvance(ColumnText(Column)) + 16);
        if (Column == ColumnCount() - 1) {
            // The last column takes the rest of the list's width.
            int used = 0;
            for (int c = 0; c < Column; ++c)
                used += ColumnWidth(c);
            width = std::max(width, m_views->report->viewport()->width() - used);
        }
    }
    setColumnWidth(Column, width);
    return true;
}

void UcListView::pvSyncColumnWidths() {
    if (!m_views)
        return;
    QHeaderView* header = m_views->report->header();
    const int count = m_model->realColumnCount();
    // Showing or hiding the first section reports a resize that would overwrite the stored
    // widths; take them before that.
    std::vector<int> widths;
    for (int c = 0; c < count; ++c)
        widths.push_back(m_model->columns()[static_cast<size_t>(c)].width);
    header->setSectionHidden(0, count == 0);
    for (int c = 0; c < count; ++c) {
        const int width = widths[static_cast<size_t>(c)];
        if (header->sectionSize(c) != width)
            header->resizeSection(c, width);
    }
}

bool UcListView::ItemAdd(int Item, const QString& Text, int Indent, int Icon, qint32 Tag) {
    if (!m_views || Item < 0 || Count() >= kMaxItems)
        return false;
    ListItem item;
    item.cells[0] = ListCell{Text, Icon};
    item.indent = std::max(0, Indent);
    item.tag = Tag;
    m_model->insertItem(Item, std::move(item));
    m_firstItemAdded = Count() == 1;
    if (m_firstItemAdded)
        setItemFocused(0, true);
    return true;
}

bool UcListView::ItemRemove(int Item) {
    return pvValidItem(Item) && m_model->removeItem(Item);
}

bool UcListView::ItemEnsureVisible(int Item) {
    if (!pvValidItem(Item))
        return false;
    m_views->current()->scrollTo(m_model->index(Item, 0), QAbstractItemView::EnsureVisible);
    return true;
}

int UcListView::ItemFindText(const QString& Text, int StartItem, int Coincidence) const {
    if (!m_views || Text.trimmed().isEmpty())
        return -1;
    const int count = Count();
    bool tagOk = false;
    const qint32 tag = Text.trimmed().toInt(&tagOk);
    auto matches = [&](int row) {
        if (Coincidence & FindParam)
            return tagOk && m_model->item(row).tag == tag;
        const QString& text = m_model->item(row).cells[0].text;
        if (Coincidence & FindPartial)
            return text.startsWith(Text, Qt::CaseInsensitive);
        return text.compare(Text, Qt::CaseInsensitive) == 0;
    };
    const int start = std::max(-1, StartItem);
    for (int row = start + 1; row < count; ++row) {
        if (matches(row))
            return row;
    }
    if (Coincidence & FindWrap) {
        for (int row = 0; row <= std::min(start, count - 1); ++row) {
            if (matches(row))
                return row;
        }
    }
    return -1;
}

int UcListView::ItemFindState(int StartItem, int State) const {
    if (!m_views)
        return -1;
    const int wanted = State & (StateFocused | StateSelected | StateCut);
    const int current = m_views->selection->currentIndex().row();
    auto matches = [&](int row) {
        int state = m_model->item(row).cut ? StateCut : 0;
        if (row == current)
            state |= StateFocused;
        if ((wanted & StateSelected) && m_views->selection->isSelected(m_model->index(row, 0)))
            state |= StateSelected;
        return (state & wanted) == wanted;
    };
    const int count = Count();
    if (State & StateAbove) {
        for (int row = std::min(StartItem, count) - 1; row >= 0; --row) {
            if (matches(row))
                return row;
        }
        return -1;
    }
    for (int row = std::max(-1, StartItem) + 1; row < count; ++row) {
        if (matches(row))
            return row;
    }
    return -1;
}

int UcListView::ItemHitTest(float X, float Y) const {
    if (!m_views)
        return -1;
    QAbstractItemView* view = hwnd();
    const QPointF origin = pvToScale(view, QPointF(0, 0));
    const QPointF unit = pvToScale(view, QPointF(1, 1)) - origin;
    const QPoint viewportPos((X - origin.x()) / unit.x(), (Y - origin.y()) / unit.y());
    if (view == m_views->report) {
        const int row = m_views->report->rowAt(viewportPos.y());
        return row >= 0 && m_views->report->columnAt(viewportPos.x()) >= 0 ? row : -1;
    }
    const QModelIndex index = view->indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

bool UcListView::SubItemSet(int Item, int SubItem, const QString& Text, int Icon) {
    return pvValidItem(Item) && m_model->setCell(Item, SubItem, &Text, &Icon);
}

// ---------------------------------------------------------------------------------------------
// Indexed properties

QString UcListView::ColumnText(int Column) const {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return {};
    return m_model->columns()[static_cast<size_t>(Column)].text;
}

void UcListView::setColumnText(int Column, const QString& Text) {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return;
    ListColumn col = m_model->columns()[static_cast<size_t>(Column)];
    col.text = Text;
    m_model->setColumn(Column, col);
}

int UcListView::ColumnWidth(int Column) const {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return 0;
    return m_model->columns()[static_cast<size_t>(Column)].width;
}

void UcListView::setColumnWidth(int Column, int Width) {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return;
    ListColumn col = m_model->columns()[static_cast<size_t>(Column)];
    col.width = std::max(0, Width);
    m_model->setColumn(Column, col);
    pvSyncColumnWidths();
}

int UcListView::ColumnAlign(int Column) const {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return 0;
    return m_model->columns()[static_cast<size_t>(Column)].align;
}

void UcListView::setColumnAlign(int Column, int Align) {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return;
    ListColumn col = m_model->columns()[static_cast<size_t>(Column)];
    col.align = Align;
    m_model->setColumn(Column, col);
    m_views->current()->viewport()->update();
}

int UcListView::ColumnIcon(int Column) const {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return 0;
    return m_model->columns()[static_cast<size_t>(Column)].icon;
}

void UcListView::setColumnIcon(int Column, int Icon) {
    if (!m_views || Column < 0 || Column >= ColumnCount())
        return;
    ListColumn col = m_model->columns()[static_cast<size_t>(Column)];
    col.icon = Icon;
    m_model->setColumn(Column, col);
}

QString UcListView::ItemText(int Item) const {
    return pvValidItem(Item) ? m_model->cellText(Item, 0) : QString();
}

void UcListView::setItemText(int Item, const QString& Text) {
    if (pvValidItem(Item))
        m_model->setCell(Item, 0, &Text, nullptr);
}

int UcListView::ItemIcon(int Item) const {
    return pvValidItem(Item) ? m_model->cellIcon(Item, 0) : 0;
}

void UcListView::setItemIcon(int Item, int Icon) {
    if (pvValidItem(Item))
        m_model->setCell(Item, 0, nullptr, &Icon);
}

qint32 UcListView::ItemTag(int Item) const {
    return pvValidItem(Item) ? m_model->item(Item).tag : 0;
}

void UcListView::setItemTag(int Item, qint32 Tag) {
    if (pvValidItem(Item))
        m_model->setTag(Item, Tag);
}

int UcListView::ItemIndent(int Item) const {
    return pvValidItem(Item) ? m_model->item(Item).indent : 0;
}

void UcListView::setItemIndent(int Item, int Indent) {
    if (pvValidItem(Item))
        m_model->setIndent(Item, Indent);
}

bool UcListView::ItemSelected(int Item) const {
    return pvValidItem(Item) && m_views->selection->isSelected(m_model->index(Item, 0));
}

void UcListView::setItemSelected(int Item, bool Selected) {
    if (!m_views)
        return;
    QItemSelectionModel* selection = m_views->selection;
    if (Item < 0) {
        if (!Selected) {
            selection->clearSelection();
        } else if (Count() > 0) {
            const bool wasFirst = m_firstItemAdded;
            m_firstItemAdded = true; // no ItemClick for a change of every item at once
            selection->select(QItemSelection(m_model->index(0, 0), m_model->index(Count() - 1, 0)),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
            m_firstItemAdded = wasFirst;
        }
        return;
    }
    if (!pvValidItem(Item))
        return;
    const QModelIndex index = m_model->index(Item, 0);
    if (Selected) {
        const auto mode =
            m_multiSelect ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect;
        selection->select(index, mode | QItemSelectionModel::Rows);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    } else {
        selection->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
}

bool UcListView::ItemFocused(int Item) const {
    return pvValidItem(Item) && m_views->selection->currentIndex().row() == Item;
}

void UcListView::setItemFocused(int Item, bool Focused) {
    if (!pvValidItem(Item))
        return;
    if (Focused)
        m_views->selection->setCurrentIndex(m_model->index(Item, 0), QItemSelectionModel::NoUpdate);
    else if (ItemFocused(Item))
        m_views->selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

bool UcListView::ItemChecked(int Item) const {
    return pvValidItem(Item) && m_model->item(Item).stateImage == 2;
}

void UcListView::setItemChecked(int Item, bool Checked) {
    if (pvValidItem(Item))
        m_model->setStateImage(Item, Checked ? 2 : 1);
}

bool UcListView::ItemGhosted(int Item) const {
    return pvValidItem(Item) && m_model->item(Item).cut;
}

void UcListView::setItemGhosted(int Item, bool Ghosted) {
    if (pvValidItem(Item))
        m_model->setCut(Item, Ghosted);
}

QString UcListView::SubItemText(int Item, int SubItem) const {
    return pvValidItem(Item) ? m_model->cellText(Item, SubItem) : QString();
}

void UcListView::setSubItemText(int Item, int SubItem, const QString& Text) {
    if (pvValidItem(Item))
        m_model->setCell(Item, SubItem, &Text, nullptr);
}

int UcListView::SubItemIcon(int Item, int SubItem) const {
    return pvValidItem(Item) ? m_model->cellIcon(Item, SubItem) : 0;
}

void UcListView::setSubItemIcon(int Item, int SubItem, int Icon) {
    if (pvValidItem(Item))
        m_model->setCell(Item, SubItem, nullptr, &Icon);
}

int UcListView::Count() const {
    return m_views ? m_model->itemCount() : 0;
}

int UcListView::SelectedCount() const {
    return m_views ? static_cast<int>(m_views->selection->selectedRows().size()) : 0;
}

int UcListView::ColumnCount() const {
    return m_views ? m_model->realColumnCount() : 0;
}

int UcListView::HeaderHeight() const {
    if (!m_views || ColumnCount() == 0)
        return -1;
    const QHeaderView* header = m_views->report->header();
    return m_viewMode == ViewReport && !m_headerHide ? header->height() : 0;
}

QAbstractItemView* UcListView::hwnd() const {
    return m_views ? m_views->current() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Style properties

void UcListView::setViewMode(int Mode) {
    if (!m_views || Mode < ViewIcon || Mode > ViewList)
        return;
    m_viewMode = Mode;
    QAbstractItemView* before = m_views->current();
    const bool hadFocus = before->hasFocus();
    QListView* icons = m_views->icons;
    switch (Mode) {
    case ViewIcon:
        icons->setViewMode(QListView::IconMode);
        icons->setFlow(QListView::LeftToRight);
        icons->setWrapping(true);
        break;
    case ViewSmallIcon:
        icons->setViewMode(QListView::ListMode);
        icons->setFlow(QListView::LeftToRight);
        icons->setWrapping(true);
        break;
    case ViewList:
        icons->setViewMode(QListView::ListMode);
        icons->setFlow(QListView::TopToBottom);
        icons->setWrapping(true);
        break;
    default:
        break;
    }
    icons->setMovement(QListView::Static);
    QAbstractItemView* after =
        Mode == ViewReport ? static_cast<QAbstractItemView*>(m_views->report) : icons;
    if (after != before || !after->model() || after->model() != m_model.get()) {
        // Only the shown view watches the model: a hidden list view would lay out every row again
        // for each row added.
        if (after != before)
            pvDetach(before);
        pvAttach(after);
        pvSyncColumnWidths();
    }
    m_views->stack->setCurrentWidget(after);
    setFocusProxy(after);
    if (hadFocus)
        after->setFocus();
    pvImageListsChanged();
}

void UcListView::pvAttach(QAbstractItemView* view) {
    view->setModel(m_model.get());
    view->setItemDelegate(m_views->delegate);
    QItemSelectionModel* own = view->selectionModel();
    view->setSelectionModel(m_views->selection);
    if (own != m_views->selection)
        delete own;
}

void UcListView::pvDetach(QAbstractItemView* view) {
    // The view gets an empty model and a selection model of its own; the shared one stays ours.
    // Without the delegate it no longer hears of the other view's editors.
    view->setItemDelegate(nullptr);
    view->setModel(nullptr);
}

void UcListView::pvApplyBorder() {
    if (!m_views || (m_borderStyle != 0 && m_borderStyle != 1))
        return;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_views->report),
                                    static_cast<QAbstractItemView*>(m_views->icons)}) {
        if (m_borderStyle == 0)
            view->setFrameStyle(QFrame::NoFrame);
        else
            view->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    }
}

void UcListView::setBorderStyle(int Style) {
    m_borderStyle = Style;
    pvApplyBorder();
}

void UcListView::pvApplyPalette() {
    if (!m_views)
        return;
    const QColor back = olecolor::toQColor(m_backColor, palette());
    const QColor fore = olecolor::toQColor(m_foreColor, palette());
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_views->report),
                                    static_cast<QAbstractItemView*>(m_views->icons)}) {
        QPalette p = view->palette();
        p.setColor(QPalette::Base, back);
        p.setColor(QPalette::Text, fore);
        view->setPalette(p);
    }
}

void UcListView::setBackColor(quint32 Color) {
    m_backColor = Color;
    pvApplyPalette();
}

void UcListView::setForeColor(quint32 Color) {
    m_foreColor = Color;
    pvApplyPalette();
}

void UcListView::setMultiSelect(bool On) {
    if (!m_views)
        return;
    m_multiSelect = On;
    const auto mode =
        On ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    m_views->report->setSelectionMode(mode);
    m_views->icons->setSelectionMode(mode);
}

void UcListView::setHideSelection(bool On) {
    if (!m_views)
        return;
    m_hideSelection = On;
    m_views->delegate->setHideSelection(On);
    m_views->current()->viewport()->update();
}

void UcListView::setLabelEdit(bool On) {
    if (!m_views)
        return;
    m_labelEdit = On;
    m_model->setLabelEdit(On);
    const auto triggers =
        On ? QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
           : QAbstractItemView::NoEditTriggers;
    m_views->report->setEditTriggers(triggers);
    m_views->icons->setEditTriggers(triggers);
}

void UcListView::setHeaderHide(bool On) {
    if (!m_views)
        return;
    m_headerHide = On;
    m_views->report->setHeaderHidden(On);
}

void UcListView::setCheckBoxes(bool On) {
    if (!m_views)
        return;
    m_checkBoxes = On;
    m_model->setCheckBoxes(On);
    pvApplyRowHeight();
}

void UcListView::setFullRowSelect(bool On) {
    if (!m_views)
        return;
    m_fullRowSelect = On;
    m_views->report->setFullRowSelect(On);
    m_views->delegate->setFullRowSelect(On);
    m_views->report->viewport()->update();
}

void UcListView::setGridLines(bool On) {
    if (!m_views)
        return;
    m_gridLines = On;
    m_views->report->setGridLines(On);
}

void UcListView::setHeaderDragDrop(bool On) {
    if (!m_views)
        return;
    m_headerDragDrop = On;
    m_views->report->header()->setSectionsMovable(On);
}

void UcListView::setLabelTips(bool On) {
    if (m_views)
        m_labelTips = On;
}

void UcListView::setOneClickActivate(bool On) {
    if (m_views)
        m_oneClickActivate = On;
}

void UcListView::setScrollBarFlat(bool On) {
    if (m_views)
        m_scrollBarFlat = On;
}

void UcListView::setSubItemImages(bool On) {
    if (!m_views)
        return;
    m_subItemImages = On;
    m_model->setSubItemImages(On);
}

void UcListView::setTrackSelect(bool On) {
    if (m_views)
        m_trackSelect = On;
}

void UcListView::setUnderlineHot(bool On) {
    if (m_views)
        m_underlineHot = On;
}

void UcListView::setUseTheme(bool On) {
    // The widget style always draws the platform's look, double-buffered.
    if (m_views)
        m_useTheme = On;
}

void UcListView::setHeaderFlat(bool On) {
    if (!m_views)
        return;
    m_headerFlat = On;
    m_views->report->header()->setSectionsClickable(!On);
}

void UcListView::setFilterBar(bool On) {
    if (m_views)
        m_filterBar = On;
}

void UcListView::setHeaderFixedWidth(bool On) {
    m_headerFixedWidth = On;
    if (m_views)
        m_views->report->header()->setSectionResizeMode(On ? QHeaderView::Fixed
                                                           : QHeaderView::Interactive);
}

void UcListView::setRaiseSubItemPrePaint(bool On) {
    m_raiseSubItemPrePaint = On;
    if (m_views)
        m_views->current()->viewport()->update();
}

void UcListView::setOLEDropMode(int Mode) {
    if (!m_views)
        return;
    m_oleDropMode = Mode;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_views->report),
                                    static_cast<QAbstractItemView*>(m_views->icons)}) {
        view->setAcceptDrops(Mode == 1);
        view->viewport()->setAcceptDrops(Mode == 1);
    }
}

void UcListView::setScaleMode(int Mode) {
    m_scaleMode = Mode;
}
