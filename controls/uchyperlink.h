#pragma once
// UcHyperLink: a caption shown as a web link, with normal, hover and visited ("used") colours and
// fonts, the hand cursor, Space and Enter activation and a focus rectangle when reached by the
// keyboard. Activation raises PrepareJump, then Jump; the link then shows ColorUsed.
//
// The caption is shortened with "..." when it is wider than the control (AutoSize off); with
// AutoSize on, the control takes the caption's size. Clicking the link does not take the
// keyboard focus. The hover look follows the mouse only while the link's window is active.
// Colours are OLE colours (olecolor.h).

#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;

class UcHyperLink : public QWidget {
    Q_OBJECT
public:
    enum : int { AlignLeft = 0, AlignRight = 1, AlignCenter = 2 };
    enum : int { BackTransparent = 0, BackOpaque = 1 };

    explicit UcHyperLink(QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    bool HoverEnabled() const { return m_hoverEnabled; }
    void setHoverEnabled(bool on);
    // The custom cursor is the resource ":/cursors/<CursorID>.png", used while CursorCustom is on;
    // otherwise (or when it is missing) the system hand cursor.
    int CursorID() const { return m_cursorId; }
    void setCursorID(int id);
    bool CursorUse() const { return m_cursorUse; }
    void setCursorUse(bool on);
    bool CursorCustom() const { return m_cursorCustom; }
    void setCursorCustom(bool on);
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    int Alignment() const { return m_alignment; }
    void setAlignment(int alignment);
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 color);
    int BackStyle() const { return m_backStyle; }
    void setBackStyle(int style);
    quint32 ColorNormal() const { return m_colorNormal; }
    void setColorNormal(quint32 color);
    quint32 ColorHover() const { return m_colorHover; }
    void setColorHover(quint32 color);
    quint32 ColorUsed() const { return m_colorUsed; }
    void setColorUsed(quint32 color);
    QFont FontNormal() const { return m_fontNormal; }
    void setFontNormal(const QFont& font);
    QFont FontHover() const { return m_fontHover; }
    void setFontHover(const QFont& font);
    QWidget* hwnd() { return this; }

    // What the link shows now: the caption, perhaps shortened.
    QString shownCaption() const;
    // Activates the link as Enter, Space or a click on it does (screen readers' press action).
    void activate() { pvActivate(); }
    bool isHovered() const { return m_hovered; }
    bool isUsed() const { return m_used; }
    bool focusRectShown() const { return m_focusRect; }

signals:
    void Jump();
    // Setting EnsureFiringLostFocus ends the focus look before Jump.
    void PrepareJump(bool& EnsureFiringLostFocus);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void pvActivate();
    void pvHoverUpdate();
    void pvApplyLook(quint32 color, const QFont& font);
    void pvApplyCursor();
    void pvApplyBack();
    void pvLostFocus();
    void pvResize();

    QLabel* m_label;
    QString m_caption;
    bool m_hoverEnabled = true;
    int m_cursorId = 1000;
    bool m_cursorUse = true;
    bool m_cursorCustom = false;
    bool m_autoSize = false;
    int m_alignment = AlignLeft;
    quint32 m_backColor;
    int m_backStyle = BackOpaque;
    quint32 m_colorNormal;
    quint32 m_colorHover;
    quint32 m_colorUsed;
    QFont m_fontNormal;
    QFont m_fontHover;

    bool m_overLabel = false;
    bool m_hovered = false;
    bool m_refresh = true;
    bool m_keyboardFocus = false;
    bool m_focusRect = false;
    bool m_jumping = false;
    bool m_used = false;
    bool m_inResize = false;
    QString m_measuredCaption;
    double m_measuredWidth = -1;
};
