#pragma once
// Draws and edits the cells of UcListView: the cell-colour event, ghosted icons, item indent,
// selection only on the label unless the whole row is selectable, and the label-edit events.
// Internal to the controls.

#include <QStyledItemDelegate>
#include <functional>

class ListViewDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    struct Hooks {
        // Colours for one cell; false keeps the list's own colours.
        std::function<bool(int row, int column, QColor& back, QColor& fore)> cellColours;
        // False cancels the edit before the editor opens.
        std::function<bool(int row)> beforeLabelEdit;
        // Called when the edit ends; cancelled is true for an edit left with Escape. Returning
        // false refuses the new text.
        std::function<bool(int row, bool cancelled, QString& text)> afterLabelEdit;
    };

    explicit ListViewDelegate(Hooks hooks, QObject* parent = nullptr);

    void setIndentWidth(int pixels) { m_indentWidth = pixels; }
    void setFullRowSelect(bool on) { m_fullRowSelect = on; }
    void setHideSelection(bool on) { m_hideSelection = on; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    QStyleOptionViewItem indented(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const;

    Hooks m_hooks;
    int m_indentWidth = 16;
    bool m_fullRowSelect = false;
    bool m_hideSelection = false;
    mutable QWidget* m_committedEditor = nullptr;
};
