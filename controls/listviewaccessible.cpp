#include "controls/listviewaccessible.h"

#include "controls/reportview.h"

#include <QAccessibleActionInterface>
#include <QAccessibleTableCellInterface>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <algorithm>

namespace {

QAccessibleInterface* listViewFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("ReportView") && object && object->isWidgetType())
        return new ListViewAccessible(static_cast<ReportView*>(object));
    return nullptr;
}

// One cell of the table, or a column header (row -1). Holds only its place: everything it says
// is read from the view when asked.
class CellAccessible : public QAccessibleInterface,
                       public QAccessibleTableCellInterface,
                       public QAccessibleActionInterface {
public:
    CellAccessible(const ListViewAccessible* table, int row, int column)
        : m_table(table), m_row(row), m_column(column) {}

    bool isValid() const override {
        const QAbstractItemView* view = m_table->view();
        if (!view || !view->model() || m_column >= view->model()->columnCount())
            return false;
        return m_row == -1 || m_row < view->model()->rowCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_table->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return const_cast<ListViewAccessible*>(m_table);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid())
            return {};
        const QAbstractItemModel* model = m_table->view()->model();
        const QVariant text = header() ? model->headerData(m_column, Qt::Horizontal)
                                       : model->data(index(), Qt::DisplayRole);
        return text.toString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid())
            return {};
        QRect local;
        const QWidget* surface = nullptr;
        if (header()) {
            const QHeaderView* h = m_table->header();
            local = QRect(h->sectionViewportPosition(m_column), 0, h->sectionSize(m_column),
                          h->height());
            surface = h->viewport();
        } else {
            local = m_table->view()->visualRect(index());
            surface = m_table->view()->viewport();
        }
        return QRect(surface->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::Role role() const override {
        return header() ? QAccessible::ColumnHeader : QAccessible::Cell;
    }

    QAccessible::State state() const override {
        QAccessible::State st;
        if (!isValid()) {
            st.invalid = true;
            return st;
        }
        const QAbstractItemView* view = m_table->view();
        const QRect shown = view->viewport()->rect();
        if (header()) {
            st.invisible = m_table->header()->isHidden();
            return st;
        }
        const QRect cell = view->visualRect(index());
        st.invisible = !cell.intersects(shown);
        st.offscreen = st.invisible;
        st.selectable = true;
        st.focusable = true;
        st.selected = isSelected();
        st.focused = view->hasFocus() && view->currentIndex().row() == m_row;
        st.disabled = !view->isEnabled();
        const QVariant check = view->model()->data(index(), Qt::CheckStateRole);
        if (check.isValid()) {
            st.checkable = true;
            st.checked = check.toInt() == Qt::Checked;
        }
        return st;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (t == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override {
        return !header() && isValid() && m_table->isRowSelected(m_row);
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        if (header() || !m_table->header() || m_table->header()->isHidden())
            return {};
        return {m_table->cellInterface(-1, m_column)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // QAccessibleActionInterface: a row is chosen by selecting it; a check box is toggled.
    QStringList actionNames() const override {
        if (header() || !isValid())
            return {};
        QStringList names{setFocusAction()};
        if (checkable())
            names << toggleAction();
        return names;
    }
    void doAction(const QString& name) override {
        if (header() || !isValid())
            return;
        QAbstractItemView* view = m_table->view();
        if (name == setFocusAction()) {
            view->setCurrentIndex(index());
            view->setFocus(Qt::OtherFocusReason);
        } else if (name == toggleAction() && checkable()) {
            const bool checked =
                view->model()->data(index(), Qt::CheckStateRole).toInt() == Qt::Checked;
            view->model()->setData(index(), checked ? Qt::Unchecked : Qt::Checked,
                                   Qt::CheckStateRole);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    bool header() const { return m_row < 0; }
    QModelIndex index() const { return m_table->view()->model()->index(m_row, m_column); }
    bool checkable() const {
        return m_table->view()->model()->data(index(), Qt::CheckStateRole).isValid();
    }

    const ListViewAccessible* m_table;
    int m_row;
    int m_column;
};

} // namespace

ListViewAccessible::ListViewAccessible(ReportView* view)
    : QAccessibleWidget(view, QAccessible::Table) {}

ListViewAccessible::~ListViewAccessible() {
    forgetCells();
}

void ListViewAccessible::installFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(listViewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QAbstractItemView* ListViewAccessible::view() const {
    return static_cast<QAbstractItemView*>(widget());
}

QHeaderView* ListViewAccessible::header() const {
    return static_cast<ReportView*>(widget())->header();
}

bool ListViewAccessible::headerShown() const {
    return header() && !header()->isHidden();
}

bool ListViewAccessible::isValid() const {
    return QAccessibleWidget::isValid() && view()->model();
}

// The list's own name is the control's: the view inside it carries none.
QString ListViewAccessible::text(QAccessible::Text t) const {
    QString text = QAccessibleWidget::text(t);
    if (text.isEmpty() && view()->parentWidget()) {
        if (t == QAccessible::Name)
            text = view()->parentWidget()->accessibleName();
        else if (t == QAccessible::Description)
            text = view()->parentWidget()->accessibleDescription();
    }
    return text;
}

int ListViewAccessible::rowCount() const {
    return isValid() ? view()->model()->rowCount() : 0;
}

int ListViewAccessible::columnCount() const {
    return isValid() ? view()->model()->columnCount() : 0;
}

int ListViewAccessible::childCount() const {
    return (rowCount() + (headerShown() ? 1 : 0)) * columnCount();
}

QAccessibleInterface* ListViewAccessible::cellInterface(int row, int column) const {
    if (!isValid() || column < 0 || column >= columnCount() || row < -1 || row >= rowCount())
        return nullptr;
    const QPair<int, int> key(row, column);
    if (const auto found = m_cells.constFind(key); found != m_cells.constEnd())
        return QAccessible::accessibleInterface(*found);
    // Qt's registry owns the cell from here and deletes it through its id.
    auto* cell = new CellAccessible(this, row, column);
    m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

QAccessibleInterface* ListViewAccessible::cellAt(int row, int column) const {
    return row < 0 ? nullptr : cellInterface(row, column);
}

QAccessibleInterface* ListViewAccessible::child(int index) const {
    const int columns = columnCount();
    if (index < 0 || columns == 0)
        return nullptr;
    const int row = index / columns - (headerShown() ? 1 : 0);
    return cellInterface(row, index % columns);
}

int ListViewAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child || child->parent() != this)
        return -1;
    const auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    const int row = child->role() == QAccessible::ColumnHeader ? -1 : cell ? cell->rowIndex() : -2;
    if (row < -1 || !cell)
        return -1;
    return (row + (headerShown() ? 1 : 0)) * columnCount() + cell->columnIndex();
}

QAccessibleInterface* ListViewAccessible::focusChild() const {
    const QModelIndex current = view()->currentIndex();
    if (!view()->hasFocus() || !current.isValid())
        return nullptr;
    return cellInterface(current.row(), current.column());
}

QAccessibleInterface* ListViewAccessible::childAt(int x, int y) const {
    if (!isValid())
        return nullptr;
    if (headerShown()) {
        const QPoint inHeader = header()->viewport()->mapFromGlobal(QPoint(x, y));
        if (header()->viewport()->rect().contains(inHeader))
            return cellInterface(-1, header()->logicalIndexAt(inHeader.x()));
    }
    const QPoint inRows = view()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view()->viewport()->rect().contains(inRows))
        return nullptr;
    auto* report = static_cast<ReportView*>(view());
    const int row = report->rowAt(inRows.y());
    const int column = report->columnAt(inRows.x());
    return row < 0 || column < 0 ? nullptr : cellInterface(row, column);
}

QString ListViewAccessible::columnDescription(int column) const {
    return isValid() ? view()->model()->headerData(column, Qt::Horizontal).toString() : QString();
}

bool ListViewAccessible::isRowSelected(int row) const {
    const QItemSelectionModel* selection = view()->selectionModel();
    return selection && selection->isRowSelected(row, QModelIndex());
}

QList<int> ListViewAccessible::selectedRows() const {
    QList<int> rows;
    if (const QItemSelectionModel* selection = view()->selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int ListViewAccessible::selectedRowCount() const {
    return static_cast<int>(selectedRows().size());
}

int ListViewAccessible::selectedCellCount() const {
    return selectedRowCount() * columnCount();
}

QList<QAccessibleInterface*> ListViewAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    for (const int row : selectedRows()) {
        for (int column = 0; column < columnCount(); ++column)
            cells.append(cellInterface(row, column));
    }
    return cells;
}

bool ListViewAccessible::selectRow(int row) {
    if (!isValid() || row < 0 || row >= rowCount() || !view()->selectionModel())
        return false;
    const auto mode = view()->selectionMode() == QAbstractItemView::SingleSelection
                          ? QItemSelectionModel::ClearAndSelect
                          : QItemSelectionModel::Select;
    view()->selectionModel()->select(view()->model()->index(row, 0),
                                     mode | QItemSelectionModel::Rows);
    return true;
}

bool ListViewAccessible::unselectRow(int row) {
    if (!isValid() || row < 0 || row >= rowCount() || !view()->selectionModel())
        return false;
    view()->selectionModel()->select(view()->model()->index(row, 0),
                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

// Cells are kept by their place and read the model when asked, so a changed text or an appended
// row leaves them right; when rows or columns are removed or inserted before others, places
// change meaning, and every cell made so far is dropped and made again when next asked for.
void ListViewAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
    switch (event->modelChangeType()) {
    case QAccessibleTableModelChangeEvent::DataChanged:
        return;
    case QAccessibleTableModelChangeEvent::RowsInserted:
        if (event->lastRow() == rowCount() - 1)
            return;
        break;
    default:
        break;
    }
    forgetCells();
}

void ListViewAccessible::forgetCells() const {
    for (const QAccessible::Id id : std::as_const(m_cells))
        QAccessible::deleteAccessibleInterface(id);
    m_cells.clear();
}

void* ListViewAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}
