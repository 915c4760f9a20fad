#pragma once

#include <QPixmap>
#include <QPushButton>

// A flat push button that paints itself: a bitmap beside its text, a raised border while the
// mouse is over it, a sunken one with the bitmap nudged while it is held down, and a greyed
// bitmap with embossed text when disabled. Clicking, keyboard activation and focus stay
// QPushButton's.
class BitmapButton : public QPushButton {
    Q_OBJECT

public:
    // Image alignment bits.
    enum ImageAlignment : int {
        IMAGE_HCENTER = 1,
        IMAGE_RIGHT = 2,
        IMAGE_VCENTER = 4,
        IMAGE_BOTTOM = 8,
    };
    // Text alignment bits; the text is always one line.
    enum TextAlignment : int {
        TEXT_LEFT = 0,
        TEXT_HCENTER = 1,
        TEXT_RIGHT = 2,
        TEXT_VCENTER = 4,
        TEXT_BOTTOM = 8,
    };

    explicit BitmapButton(const QString& text, QWidget* parent = nullptr);

    // Takes the bitmap `resourceId` with its `transparent` pixels see-through. True when the
    // button now holds the image; otherwise it shows its text alone.
    bool LoadBitmap(int resourceId, const QColor& transparent);
    void SetImageAlignment(int flags);
    void SetTextAlignment(int flags);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class State { Normal, Hover, Pressed, Disabled };

    State CurrentState() const;
    QPoint ImagePosition(State state) const;
    QSize ImageSize() const;
    QRect TextRect() const;
    void DrawBorder(QPainter& painter, State state) const;
    void DrawImage(QPainter& painter, State state) const;
    void DrawText(QPainter& painter, State state) const;
    void DrawFocus(QPainter& painter) const;

    QPixmap m_bitmap;
    bool m_hasImage = false;
    int m_textAlignment = TEXT_HCENTER | TEXT_VCENTER;
    int m_imageAlignment = 0;
    bool m_hover = false;
};
