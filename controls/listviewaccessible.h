#pragma once
// What screen readers see of UcListView's report view: a table whose children are the column
// headers (while the header shows), then every cell row by row, each with its text, the row's
// selection and, for the first column of a list with check boxes, its check state and a toggle
// action. Texts and states are read from the model when asked, so they are never stale; the
// cell objects are made on demand and dropped when rows or columns change. Internal to the
// controls.

#include <QAccessibleTableInterface>
#include <QAccessibleWidget>
#include <QHash>
#include <QPair>

class QAbstractItemView;
class QHeaderView;
class ReportView;

class ListViewAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ListViewAccessible(ReportView* view);
    ~ListViewAccessible() override;

    // Makes Qt's accessibility give every ReportView this interface; safe to call more than once.
    static void installFactory();

    // QAccessibleInterface
    bool isValid() const override;
    QString text(QAccessible::Text t) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    QAbstractItemView* view() const;
    QHeaderView* header() const;
    // The header cell of a column (row -1) or a cell; nullptr outside the table.
    QAccessibleInterface* cellInterface(int row, int column) const;

private:
    bool headerShown() const;
    void forgetCells() const;

    // (row, column) to the registered id of its interface; row -1 for the header.
    mutable QHash<QPair<int, int>, QAccessible::Id> m_cells;
};
