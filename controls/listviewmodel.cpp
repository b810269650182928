#include "controls/listviewmodel.h"

#include "controls/imagelist.h"

#include <algorithm>
#include <numeric>

namespace {

Qt::Alignment alignment(int align) {
    switch (align) {
    case 1:
        return Qt::AlignRight | Qt::AlignVCenter;
    case 2:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

int ListViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : itemCount();
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(1, realColumnCount());
}

QString ListViewModel::cellText(int row, int column) const {
    if (!validRow(row) || column < 0)
        return {};
    const auto& cells = item(row).cells;
    return column < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(column)].text
                                                   : QString();
}

int ListViewModel::cellIcon(int row, int column) const {
    if (!validRow(row) || column < 0)
        return -1;
    const auto& cells = item(row).cells;
    return column < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(column)].icon : -1;
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !validRow(index.row()))
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(row, column);
    case Qt::DecorationRole: {
        if (!m_images || (column > 0 && !m_subItemImages))
            return {};
        const int icon = cellIcon(row, column);
        const QPixmap pixmap =
            column == 0 && item(row).cut ? m_images->ghosted(icon) : m_images->pixmap(icon);
        return pixmap.isNull() ? QVariant() : QVariant(pixmap);
    }
    case Qt::CheckStateRole:
        if (column != 0 || !m_checkBoxes)
            return {};
        return item(row).stateImage == 2 ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        if (column == 0 || column >= realColumnCount())
            return QVariant::fromValue(alignment(0));
        return QVariant::fromValue(alignment(m_columns[static_cast<size_t>(column)].align));
    case CutRole:
        return item(row).cut;
    case IndentRole:
        return column == 0 ? item(row).indent : 0;
    default:
        return {};
    }
}

bool ListViewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !validRow(index.row()))
        return false;
    if (role == Qt::CheckStateRole && index.column() == 0 && m_checkBoxes) {
        const bool checked = value.toInt() == Qt::Checked;
        return setStateImage(index.row(), checked ? 2 : 1);
    }
    if (role == Qt::EditRole) {
        const QString text = value.toString();
        return setCell(index.row(), index.column(), &text, nullptr);
    }
    return false;
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && m_checkBoxes)
        f |= Qt::ItemIsUserCheckable;
    if (index.column() == 0 && m_labelEdit)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= realColumnCount())
        return {};
    const ListColumn& col = m_columns[static_cast<size_t>(section)];
    switch (role) {
    case Qt::DisplayRole:
        return col.text;
    case Qt::DecorationRole: {
        if (!m_headerImages)
            return {};
        const QPixmap pixmap = m_headerImages->pixmap(col.icon);
        return pixmap.isNull() ? QVariant() : QVariant(pixmap);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment(col.align));
    default:
        return {};
    }
}

int ListViewModel::insertItem(int row, ListItem newItem) {
    row = std::clamp(row, 0, itemCount());
    if (m_checkBoxes && newItem.stateImage == 0)
        newItem.stateImage = 1;
    beginInsertRows({}, row, row);
    m_items.insert(m_items.begin() + row, std::move(newItem));
    endInsertRows();
    return row;
}

bool ListViewModel::removeItem(int row) {
    if (!validRow(row))
        return false;
    beginRemoveRows({}, row, row);
    m_items.erase(m_items.begin() + row);
    endRemoveRows();
    return true;
}

void ListViewModel::clear() {
    beginResetModel();
    m_items.clear();
    endResetModel();
}

void ListViewModel::emitRowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

bool ListViewModel::setCell(int row, int column, const QString* text, const int* icon) {
    if (!validRow(row) || column < 0 || (column > 0 && column >= realColumnCount()))
        return false;
    auto& cells = mutableItem(row).cells;
    if (column >= static_cast<int>(cells.size()))
        cells.resize(static_cast<size_t>(column) + 1);
    ListCell& cell = cells[static_cast<size_t>(column)];
    // The windows re-send a whole row when one cell of it changed: only a change is repainted.
    if ((!text || cell.text == *text) && (!icon || cell.icon == *icon))
        return true;
    if (text)
        cell.text = *text;
    if (icon)
        cell.icon = *icon;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed);
    return true;
}

bool ListViewModel::setIndent(int row, int indent) {
    if (!validRow(row))
        return false;
    mutableItem(row).indent = std::max(0, indent);
    emitRowChanged(row);
    return true;
}

bool ListViewModel::setTag(int row, qint32 tag) {
    if (!validRow(row))
        return false;
    mutableItem(row).tag = tag;
    return true;
}

bool ListViewModel::setCut(int row, bool cut) {
    if (!validRow(row))
        return false;
    if (item(row).cut != cut) {
        mutableItem(row).cut = cut;
        emitRowChanged(row);
    }
    return true;
}

bool ListViewModel::setStateImage(int row, int image) {
    if (!validRow(row))
        return false;
    const int old = item(row).stateImage;
    if (old == image)
        return true;
    mutableItem(row).stateImage = image;
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
    emit stateImageChanged(row, old, image);
    return true;
}

bool ListViewModel::insertColumn(int column, ListColumn col) {
    column = std::clamp(column, 0, realColumnCount());
    // The first real column takes the place of the stand-in column 0.
    const bool replacesStandIn = m_columns.empty();
    if (!replacesStandIn)
        beginInsertColumns({}, column, column);
    m_columns.insert(m_columns.begin() + column, std::move(col));
    if (column > 0) {
        for (ListItem& it : m_items) {
            if (static_cast<int>(it.cells.size()) > column)
                it.cells.insert(it.cells.begin() + column, ListCell{});
        }
    }
    if (replacesStandIn)
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    else
        endInsertColumns();
    return true;
}

bool ListViewModel::removeColumn(int column) {
    if (column < 0 || column >= realColumnCount())
        return false;
    const bool keepsStandIn = realColumnCount() == 1;
    if (!keepsStandIn)
        beginRemoveColumns({}, column, column);
    m_columns.erase(m_columns.begin() + column);
    if (column > 0) {
        for (ListItem& it : m_items) {
            if (static_cast<int>(it.cells.size()) > column)
                it.cells.erase(it.cells.begin() + column);
        }
    }
    if (keepsStandIn)
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    else
        endRemoveColumns();
    return true;
}

bool ListViewModel::setColumn(int column, const ListColumn& col) {
    if (column < 0 || column >= realColumnCount())
        return false;
    m_columns[static_cast<size_t>(column)] = col;
    emit headerDataChanged(Qt::Horizontal, column, column);
    return true;
}

void ListViewModel::sortRows(const std::function<bool(int, int)>& before) {
    std::vector<int> order(m_items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), before);

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    std::vector<ListItem> sorted;
    sorted.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
        sorted.push_back(std::move(m_items[static_cast<size_t>(order[i])]));
    }
    m_items = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& old : from)
        to.append(index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ListViewModel::setCheckBoxes(bool on) {
    if (m_checkBoxes == on)
        return;
    m_checkBoxes = on;
    // Turning check boxes on gives every item the unchecked image, turning them off removes it.
    for (ListItem& it : m_items)
        it.stateImage = on ? (it.stateImage == 0 ? 1 : it.stateImage) : 0;
    if (!m_items.empty())
        emit dataChanged(index(0, 0), index(itemCount() - 1, 0), {Qt::CheckStateRole});
}

void ListViewModel::setSubItemImages(bool on) {
    m_subItemImages = on;
    if (!m_items.empty())
        emit dataChanged(index(0, 0), index(itemCount() - 1, columnCount() - 1));
}

void ListViewModel::setImageLists(const ImageList* items, const ImageList* header) {
    m_images = items;
    m_headerImages = header;
    if (!m_items.empty())
        emit dataChanged(index(0, 0), index(itemCount() - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}
