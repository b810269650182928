#pragma once
// The report (details) view of UcListView: a header and rows of one height. Every position is
// arithmetic on the row index, so adding, scrolling and hit-testing cost the same at 30 000 rows as
// at 10, unlike the tree and table views, which re-lay out or re-measure all rows as rows arrive.
// Internal to the controls.

#include <QAbstractItemView>

class QHeaderView;

class ReportView : public QAbstractItemView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    QHeaderView* header() const { return m_header; }
    void setModel(QAbstractItemModel* model) override;

    int rowHeight() const { return m_rowHeight; }
    void setRowHeight(int height);
    void setGridLines(bool on);
    void setFullRowSelect(bool on) { m_fullRowSelect = on; }
    void setHeaderHidden(bool hidden);

    // The row under a viewport position, -1 below the last row.
    int rowAt(int y) const;
    // The column under a viewport x, -1 past the last column.
    int columnAt(int x) const;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // Column 0 of the row under the point; without full-row selection only column 0 is an item.
    QModelIndex indexAt(const QPoint& point) const override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    QSize viewportSizeHint() const override;

private:
    void relayout();
    void updateScrollRanges();
    int rows() const;

    QHeaderView* m_header;
    int m_rowHeight = 20;
    bool m_gridLines = false;
    bool m_fullRowSelect = false;
    bool m_rangesPending = false; // rows were inserted since the scroll ranges were set
};
