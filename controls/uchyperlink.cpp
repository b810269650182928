#include "controls/uchyperlink.h"

#include "controls/olecolor.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionFocusRect>
#include <cmath>

namespace {

// A screen reader sees a link named by its full caption, which it can press.
class HyperLinkAccessible : public QAccessibleWidget {
public:
    explicit HyperLinkAccessible(UcHyperLink* link) : QAccessibleWidget(link, QAccessible::Link) {
        addControllingSignal(QStringLiteral("Jump()"));
    }

    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            text = link()->Caption();
        return text;
    }
    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        st.linked = true;
        st.traversed = link()->isUsed();
        return st;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && link()->isEnabled())
            link()->activate();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    UcHyperLink* link() const { return static_cast<UcHyperLink*>(widget()); }
};

QAccessibleInterface* hyperLinkFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("UcHyperLink") && object && object->isWidgetType())
        return new HyperLinkAccessible(static_cast<UcHyperLink*>(object));
    return nullptr;
}

} // namespace

UcHyperLink::UcHyperLink(QWidget* parent)
    : QWidget(parent), m_label(new QLabel(this)), m_backColor(olecolor::kButtonFace),
      m_colorNormal(olecolor::rgb(50, 100, 200)), m_colorHover(olecolor::rgb(255, 0, 0)),
      m_colorUsed(olecolor::rgb(50, 100, 200)), m_fontNormal(font()), m_fontHover(font()) {
    static const bool accessible = [] {
        QAccessible::installFactory(hyperLinkFactory);
        return true;
    }();
    Q_UNUSED(accessible);
    m_label->setObjectName(QStringLiteral("LabelHyperlink"));
    m_label->installEventFilter(this);
    m_label->setTextFormat(Qt::PlainText);
    // Keyboard focus only: a click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
    setAlignment(m_alignment);
    pvApplyBack();
    pvApplyLook(m_colorNormal, m_fontNormal);
    pvApplyCursor();
}

void UcHyperLink::setCaption(const QString& caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    pvResize();
}

void UcHyperLink::setHoverEnabled(bool on) {
    m_hoverEnabled = on;
    m_refresh = on;
}

void UcHyperLink::setCursorID(int id) {
    m_cursorId = id;
    pvApplyCursor();
}

void UcHyperLink::setCursorUse(bool on) {
    m_cursorUse = on;
    pvApplyCursor();
}

void UcHyperLink::setCursorCustom(bool on) {
    m_cursorCustom = on;
    pvApplyCursor();
}

void UcHyperLink::setAutoSize(bool on) {
    m_autoSize = on;
    pvResize();
}

void UcHyperLink::setAlignment(int alignment) {
    m_alignment = alignment;
    const Qt::Alignment horizontal = alignment == AlignRight    ? Qt::AlignRight
                                     : alignment == AlignCenter ? Qt::AlignHCenter
                                                                : Qt::AlignLeft;
    m_label->setAlignment(horizontal | Qt::AlignVCenter);
}

void UcHyperLink::setBackColor(quint32 color) {
    m_backColor = color;
    pvApplyBack();
}

void UcHyperLink::setBackStyle(int style) {
    m_backStyle = style;
    pvApplyBack();
}

void UcHyperLink::setColorNormal(quint32 color) {
    m_colorNormal = color;
    if (!m_hovered && !m_used)
        pvApplyLook(m_colorNormal, m_label->font());
}

void UcHyperLink::setColorHover(quint32 color) {
    m_colorHover = color;
}

void UcHyperLink::setColorUsed(quint32 color) {
    m_colorUsed = color;
}

void UcHyperLink::setFontNormal(const QFont& font) {
    m_fontNormal = font;
    m_measuredWidth = -1; // measured with the old font
    if (!m_hovered)
        m_label->setFont(font);
    pvResize();
}

void UcHyperLink::setFontHover(const QFont& font) {
    m_fontHover = font;
    if (m_hovered)
        m_label->setFont(font);
    pvResize();
}

QString UcHyperLink::shownCaption() const {
    return m_label->text();
}

void UcHyperLink::pvApplyLook(quint32 color, const QFont& font) {
    QPalette p = m_label->palette();
    p.setColor(QPalette::WindowText, olecolor::toQColor(color, palette()));
    m_label->setPalette(p);
    m_label->setFont(font);
}

void UcHyperLink::pvApplyBack() {
    QPalette p = palette();
    p.setColor(QPalette::Window, olecolor::toQColor(m_backColor, QWidget::palette()));
    setPalette(p);
    setAutoFillBackground(m_backStyle == BackOpaque);
    m_label->setAutoFillBackground(m_backStyle == BackOpaque);
}

void UcHyperLink::pvApplyCursor() {
    if (!m_cursorUse) {
        m_label->unsetCursor();
        return;
    }
    if (m_cursorCustom) {
        const QPixmap custom(QStringLiteral(":/cursors/%1.png").arg(m_cursorId));
        if (!custom.isNull()) {
            m_label->setCursor(QCursor(custom));
            return;
        }
    }
    m_label->setCursor(Qt::PointingHandCursor);
}

void UcHyperLink::pvHoverUpdate() {
    if (!isEnabled())
        return;
    if (m_overLabel && m_hoverEnabled) {
        if ((!m_hovered || m_refresh) && window()->isActiveWindow()) {
            pvApplyLook(m_colorHover, m_fontHover);
            pvResize();
            m_hovered = true;
            m_refresh = false;
        }
    } else if (m_hovered || m_refresh) {
        pvApplyLook(m_used ? m_colorUsed : m_colorNormal, m_fontNormal);
        pvResize();
        m_hovered = false;
        m_refresh = false;
    }
}

void UcHyperLink::pvActivate() {
    m_jumping = true;
    bool ensureFiringLostFocus = false;
    emit PrepareJump(ensureFiringLostFocus);
    if (ensureFiringLostFocus)
        pvLostFocus();
    if (m_cursorUse)
        m_label->setCursor(Qt::ArrowCursor);
    emit Jump();
    m_refresh = true;
    if (m_cursorUse)
        pvApplyCursor();
    // The activation is over: the focus look comes back and the link counts as visited.
    m_focusRect = hasFocus() && m_keyboardFocus;
    update();
    m_jumping = false;
    m_used = true;
    m_refresh = true;
    pvHoverUpdate();
}

void UcHyperLink::pvLostFocus() {
    m_refresh = true;
    m_focusRect = false;
    update();
}

bool UcHyperLink::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        m_overLabel = event->type() == QEvent::Enter;
        pvHoverUpdate();
    }
    return QWidget::eventFilter(watched, event);
}

void UcHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled() &&
        m_label->geometry().contains(event->position().toPoint())) {
        pvActivate();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void UcHyperLink::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_keyboardFocus = true;
        pvActivate();
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        focusNextPrevChild(true);
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
        focusNextPrevChild(false);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UcHyperLink::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (m_jumping)
        return;
    m_keyboardFocus = !(QGuiApplication::mouseButtons() & Qt::LeftButton);
    m_focusRect = m_keyboardFocus;
    update();
}

void UcHyperLink::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    pvLostFocus();
}

void UcHyperLink::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!m_focusRect || !hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void UcHyperLink::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pvResize();
}

void UcHyperLink::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (isEnabled()) {
            m_refresh = true;
            pvHoverUpdate();
        } else {
            pvApplyLook(m_colorNormal, m_fontNormal);
            m_hovered = false;
            pvResize();
        }
        break;
    default:
        break;
    }
}

bool UcHyperLink::event(QEvent* event) {
    const bool result = QWidget::event(event);
    // The hover look waits while another window is active, and appears on coming back.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        pvHoverUpdate();
    return result;
}

void UcHyperLink::pvResize() {
    if (m_inResize)
        return;
    m_inResize = true;
    if (m_autoSize) {
        m_label->setText(m_caption);
        m_label->adjustSize();
        m_label->move(1, 1);
        resize(m_label->width() + 2, m_label->height() + 2);
    } else {
        m_label->setGeometry(1, 1, std::max(0, width() - 2), std::max(0, height() - 2));
        if (m_caption != m_measuredCaption)
            m_measuredWidth = -1;
        if (m_measuredWidth < 0) {
            // Wider than drawn by a fifth, so a caption near the edge is shortened in time.
            m_measuredWidth = QFontMetricsF(m_fontNormal).horizontalAdvance(m_caption) * 1.2;
            m_measuredCaption = m_caption;
        }
        const double labelWidth = m_label->width();
        if (m_measuredWidth > labelWidth && !m_caption.isEmpty()) {
            const long perChar =
                std::max(1L, std::lrint(m_measuredWidth / static_cast<double>(m_caption.size())));
            long n = std::lrint(labelWidth) / perChar - 4;
            if (n < 1)
                n = 1; // at least one character before the dots
            m_label->setText(m_caption.left(n) + QStringLiteral("..."));
        } else {
            m_label->setText(m_caption);
        }
    }
    m_inResize = false;
}
