#pragma once
// The items, sub-items and columns behind UcListView. Internal to the controls: the forms use
// UcListView's members. Rows are kept in a vector so that appending stays O(1).

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <vector>

class ImageList;

struct ListCell {
    QString text;
    int icon = -1;
};

struct ListItem {
    std::vector<ListCell> cells{1}; // cells[0] is the item itself, then its sub-items
    int indent = 0;
    qint32 tag = 0;
    int stateImage = 0; // check box image: 0 none, 1 unchecked, 2 checked
    bool cut = false;   // ghosted
};

struct ListColumn {
    QString text;
    int width = 0;
    int align = 0; // 0 left, 1 right, 2 centre
    int icon = -1;
};

class ListViewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role : int { CutRole = Qt::UserRole + 1, IndentRole };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    // At least one column: the list and icon modes show column 0 before any column is added.
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int itemCount() const { return static_cast<int>(m_items.size()); }
    bool validRow(int row) const { return row >= 0 && row < itemCount(); }
    const ListItem& item(int row) const { return m_items[static_cast<size_t>(row)]; }
    const std::vector<ListColumn>& columns() const { return m_columns; }
    int realColumnCount() const { return static_cast<int>(m_columns.size()); }

    int insertItem(int row, ListItem item);
    bool removeItem(int row);
    void clear();
    QString cellText(int row, int column) const;
    int cellIcon(int row, int column) const;
    bool setCell(int row, int column, const QString* text, const int* icon);
    bool setIndent(int row, int indent);
    bool setTag(int row, qint32 tag);
    bool setCut(int row, bool cut);
    // Changes the check box image; the change is reported through stateImageChanged.
    bool setStateImage(int row, int image);

    bool insertColumn(int column, ListColumn col);
    bool removeColumn(int column);
    bool setColumn(int column, const ListColumn& col);

    // Reorders the rows by `before`, keeping equal rows in their order and persistent indexes
    // (selection, focus) on their rows.
    void sortRows(const std::function<bool(int, int)>& before);

    void setCheckBoxes(bool on);
    void setLabelEdit(bool on) { m_labelEdit = on; }
    void setSubItemImages(bool on);
    void setImageLists(const ImageList* items, const ImageList* header);

signals:
    void stateImageChanged(int row, int oldImage, int newImage);

private:
    ListItem& mutableItem(int row) { return m_items[static_cast<size_t>(row)]; }
    void emitRowChanged(int row);

    std::vector<ListItem> m_items;
    std::vector<ListColumn> m_columns;
    const ImageList* m_images = nullptr;
    const ImageList* m_headerImages = nullptr;
    bool m_checkBoxes = false;
    bool m_labelEdit = false;
    bool m_subItemImages = false;
};
