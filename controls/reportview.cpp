#include "controls/reportview.h"

#include <QAccessible>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

ReportView::ReportView(QWidget* parent)
    : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this)) {
    m_header->setSectionsClickable(true);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setMinimumSectionSize(0);
    setSelectionBehavior(SelectRows);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);

    connect(m_header, &QHeaderView::sectionResized, this, &ReportView::relayout);
    connect(m_header, &QHeaderView::sectionMoved, this, &ReportView::relayout);
    connect(m_header, &QHeaderView::sectionCountChanged, this, &ReportView::relayout);
    connect(m_header, &QHeaderView::geometriesChanged, this, &ReportView::updateGeometries);
}

void ReportView::setModel(QAbstractItemModel* model) {
    QAbstractItemView::setModel(model);
    m_header->setModel(model);
    if (model) {
        connect(model, &QAbstractItemModel::rowsRemoved, this, &ReportView::relayout,
                Qt::UniqueConnection);
        connect(model, &QAbstractItemModel::modelReset, this, &ReportView::relayout,
                Qt::UniqueConnection);
        connect(model, &QAbstractItemModel::layoutChanged, this, &ReportView::relayout,
                Qt::UniqueConnection);
    }
}

void ReportView::relayout() {
    updateScrollRanges();
    viewport()->update();
}

void ReportView::setRowHeight(int height) {
    height = std::max(1, height);
    if (height == m_rowHeight)
        return;
    m_rowHeight = height;
    updateScrollRanges();
    viewport()->update();
}

void ReportView::setGridLines(bool on) {
    m_gridLines = on;
    viewport()->update();
}

void ReportView::setHeaderHidden(bool hidden) {
    m_header->setHidden(hidden);
    updateGeometries();
}

int ReportView::rows() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int ReportView::rowAt(int y) const {
    const int content = y + verticalOffset();
    if (content < 0)
        return -1;
    const int row = content / m_rowHeight;
    return row < rows() ? row : -1;
}

int ReportView::columnAt(int x) const {
    return m_header->logicalIndexAt(x);
}

QRect ReportView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != model())
        return {};
    const int x = m_header->sectionViewportPosition(index.column());
    const int width = m_header->sectionSize(index.column());
    return QRect(x, index.row() * m_rowHeight - verticalOffset(), width, m_rowHeight);
}

void ReportView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid())
        return;
    const int top = index.row() * m_rowHeight;
    const int bottom = top + m_rowHeight;
    if (m_rangesPending)
        updateScrollRanges();
    const int height = viewport()->height();
    int value = verticalScrollBar()->value();
    switch (hint) {
    case EnsureVisible:
        if (top < value)
            value = top;
        else if (bottom > value + height)
            value = bottom - height;
        break;
    case PositionAtTop:
        value = top;
        break;
    case PositionAtBottom:
        value = bottom - height;
        break;
    case PositionAtCenter:
        value = top - (height - m_rowHeight) / 2;
        break;
    }
    verticalScrollBar()->setValue(value);
}

QModelIndex ReportView::indexAt(const QPoint& point) const {
    const int row = rowAt(point.y());
    const int column = columnAt(point.x());
    if (row < 0 || column < 0 || (!m_fullRowSelect && column != 0))
        return {};
    return model()->index(row, 0, rootIndex());
}

QModelIndex ReportView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const int count = rows();
    if (count == 0)
        return {};
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    const int page = std::max(1, viewport()->height() / m_rowHeight - 1);
    int next = row;
    switch (action) {
    case MoveUp:
    case MovePrevious:
        next = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        next = row + 1;
        break;
    case MovePageUp:
        next = row - page;
        break;
    case MovePageDown:
        next = row + page;
        break;
    case MoveHome:
        next = 0;
        break;
    case MoveEnd:
        next = count - 1;
        break;
    case MoveLeft:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return current;
    case MoveRight:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return current;
    }
    return model()->index(std::clamp(next, 0, count - 1), 0, rootIndex());
}

int ReportView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int ReportView::verticalOffset() const {
    return verticalScrollBar()->value();
}

void ReportView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) {
    const int count = rows();
    const QRect r = rect.normalized();
    const int offset = verticalOffset();
    if (count == 0 || r.bottom() + offset < 0 || r.top() + offset >= count * m_rowHeight) {
        selectionModel()->select(QItemSelection(), flags);
        return;
    }
    const int top = std::clamp((r.top() + offset) / m_rowHeight, 0, count - 1);
    const int bottom = std::clamp((r.bottom() + offset) / m_rowHeight, 0, count - 1);
    const int lastColumn = model()->columnCount(rootIndex()) - 1;
    const QItemSelection selection(model()->index(top, 0, rootIndex()),
                                   model()->index(bottom, lastColumn, rootIndex()));
    selectionModel()->select(selection, flags);
}

QRegion ReportView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const QRect area = viewport()->rect();
    const int offset = verticalOffset();
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid())
            continue;
        const int top = range.top() * m_rowHeight - offset;
        const int bottom = (range.bottom() + 1) * m_rowHeight - offset;
        region += QRect(area.left(), top, area.width(), bottom - top) & area;
    }
    return region;
}

void ReportView::paintEvent(QPaintEvent* event) {
    if (!model())
        return;
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int count = rows();
    const int offset = verticalOffset();
    const int first = std::max(0, (area.top() + offset) / m_rowHeight);
    const int last = std::min(count - 1, (area.bottom() + offset) / m_rowHeight);
    const int sections = m_header->count();
    int firstVisual = m_header->visualIndexAt(area.left());
    int lastVisual = m_header->visualIndexAt(area.right());
    if (firstVisual < 0)
        firstVisual = 0;
    if (lastVisual < 0)
        lastVisual = sections - 1;

    QStyleOptionViewItem base;
    initViewItemOption(&base);
    const QItemSelectionModel* selection = selectionModel();
    for (int row = first; row <= last; ++row) {
        const QModelIndex rowIndex = model()->index(row, 0, rootIndex());
        const bool selected = selection && selection->isSelected(rowIndex);
        for (int visual = firstVisual; visual <= lastVisual; ++visual) {
            const int column = m_header->logicalIndex(visual);
            if (column < 0 || m_header->isSectionHidden(column))
                continue;
            const QModelIndex index = model()->index(row, column, rootIndex());
            QStyleOptionViewItem option = base;
            option.rect = visualRect(index);
            if (selected)
                option.state |= QStyle::State_Selected;
            itemDelegateForIndex(index)->paint(&painter, option, index);
        }
    }

    if (m_gridLines) {
        const QColor grid =
            static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &base, this));
        painter.setPen(grid);
        const int right = std::min(area.right(), m_header->length() - horizontalOffset() - 1);
        for (int row = first; row <= last; ++row) {
            const int y = (row + 1) * m_rowHeight - offset - 1;
            painter.drawLine(area.left(), y, right, y);
        }
        const int bottom = std::min(area.bottom(), count * m_rowHeight - offset - 1);
        for (int visual = firstVisual; visual <= lastVisual && bottom >= 0; ++visual) {
            const int column = m_header->logicalIndex(visual);
            if (column < 0 || m_header->isSectionHidden(column))
                continue;
            const int x =
                m_header->sectionViewportPosition(column) + m_header->sectionSize(column) - 1;
            painter.drawLine(x, area.top(), x, bottom);
        }
    }
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    QAbstractItemView::mousePressEvent(event);
    // A click on empty space drops the selection, as the platform's list does.
    const bool extending = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    if (!indexAt(event->position().toPoint()).isValid() && !extending && selectionModel())
        selectionModel()->clearSelection();
}

void ReportView::updateGeometries() {
    const int height = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect vg = viewport()->geometry();
    m_header->setGeometry(vg.left(), vg.top() - height, vg.width(), height);
    m_header->setOffset(horizontalOffset());
    updateScrollRanges();
    QAbstractItemView::updateGeometries();
}

void ReportView::scrollContentsBy(int dx, int dy) {
    m_header->setOffset(horizontalOffset());
    // Move what is drawn and paint only the uncovered strip (the base class repaints it all).
    scrollDirtyRegion(dx, dy);
    viewport()->scroll(dx, dy);
}

void ReportView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    // A log's rows come one by one: the scroll bars (whose every change asks the style for sizes)
    // learn the new length once per pass of the event loop, and before any scroll.
    if (!m_rangesPending) {
        m_rangesPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_rangesPending)
                    updateScrollRanges();
            },
            Qt::QueuedConnection);
    }
    const int top = start * m_rowHeight - verticalOffset();
    const QRect area = viewport()->rect();
    if (top <= area.bottom())
        viewport()->update(QRect(area.left(), std::max(0, top), area.width(), area.height()));
}

void ReportView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                             const QList<int>& roles) {
    // One row changed (its state or every cell): repaint that row, not the whole list.
    if (topLeft.isValid() && topLeft != bottomRight && topLeft.row() == bottomRight.row()) {
        const QRect row(0, topLeft.row() * m_rowHeight - verticalOffset(), viewport()->width(),
                        m_rowHeight);
        if (row.intersects(viewport()->rect()))
            viewport()->update(row);
        return;
    }
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

QSize ReportView::viewportSizeHint() const {
    return QSize(m_header->length(), rows() * m_rowHeight);
}

void ReportView::updateScrollRanges() {
    m_rangesPending = false;
    const QSize size = viewport()->size();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setSingleStep(m_rowHeight);
    vertical->setPageStep(std::max(1, size.height()));
    vertical->setRange(0, std::max(0, rows() * m_rowHeight - size.height()));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setSingleStep(std::max(1, m_rowHeight));
    horizontal->setPageStep(std::max(1, size.width()));
    horizontal->setRange(0, std::max(0, m_header->length() - size.width()));
}

// Screen readers follow the current row: they are told which cell now has the focus.
void ReportView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    if (!current.isValid() || !hasFocus() || !QAccessible::isActive())
        return;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* cells = table ? table->tableInterface() : nullptr;
    QAccessibleInterface* cell = cells ? cells->cellAt(current.row(), current.column()) : nullptr;
    if (!cell)
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(table->indexOfChild(cell));
    QAccessible::updateAccessibility(&event);
}
