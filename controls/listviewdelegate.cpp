#include "controls/listviewdelegate.h"

#include "controls/listviewmodel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>

ListViewDelegate::ListViewDelegate(Hooks hooks, QObject* parent)
    : QStyledItemDelegate(parent), m_hooks(std::move(hooks)) {}

QStyleOptionViewItem ListViewDelegate::indented(const QStyleOptionViewItem& option,
                                                const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    const int indent = index.data(ListViewModel::IndentRole).toInt();
    if (indent > 0 && index.column() == 0)
        opt.rect.setLeft(std::min(opt.rect.right(), opt.rect.left() + indent * m_indentWidth));
    return opt;
}

void ListViewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem opt = indented(option, index);
    initStyleOption(&opt, index);
    // Focus rectangles are never drawn, as on a list whose focus cues are hidden.
    opt.state &= ~QStyle::State_HasFocus;
    // Without full-row selection only the item's own label shows the selection.
    if (index.column() > 0 && !m_fullRowSelect)
        opt.state &= ~QStyle::State_Selected;
    if (m_hideSelection && opt.widget && !opt.widget->hasFocus())
        opt.state &= ~QStyle::State_Selected;
    opt.showDecorationSelected = m_fullRowSelect;

    if (m_hooks.cellColours) {
        QColor back;
        QColor fore;
        // Selected cells keep the selection colours.
        if (m_hooks.cellColours(index.row(), index.column(), back, fore) &&
            !(opt.state & QStyle::State_Selected)) {
            painter->fillRect(option.rect, back);
            opt.palette.setColor(QPalette::Text, fore);
            opt.palette.setColor(QPalette::WindowText, fore);
            opt.backgroundBrush = Qt::NoBrush;
        }
    }
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

bool ListViewDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    return QStyledItemDelegate::editorEvent(event, model, indented(option, index), index);
}

QWidget* ListViewDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    if (m_hooks.beforeLabelEdit && !m_hooks.beforeLabelEdit(index.row()))
        return nullptr;
    m_committedEditor = nullptr;
    auto* editor = new QLineEdit(parent);
    editor->setFrame(true);
    Q_UNUSED(option);
    return editor;
}

void ListViewDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    QStyledItemDelegate::updateEditorGeometry(editor, indented(option, index), index);
}

void ListViewDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line || m_committedEditor == editor)
        return;
    m_committedEditor = editor;
    QString text = line->text();
    if (m_hooks.afterLabelEdit && !m_hooks.afterLabelEdit(index.row(), false, text))
        return;
    model->setData(index, text, Qt::EditRole);
}

void ListViewDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    // An editor that goes without its text being committed was left with Escape.
    if (m_committedEditor != editor && m_hooks.afterLabelEdit) {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QString text = line ? line->text() : QString();
        m_hooks.afterLabelEdit(index.row(), true, text);
    }
    m_committedEditor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}
