#include "BitmapButton.h"

#include "Resources.h"

#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {

// Distance of the image and the text from the button's edge, and between image and text.
constexpr int kMargin = 3;

int QtTextFlags(int alignment) {
    int flags = Qt::TextSingleLine | Qt::TextShowMnemonic;
    switch (alignment & (BitmapButton::TEXT_HCENTER | BitmapButton::TEXT_RIGHT)) {
    case BitmapButton::TEXT_HCENTER:
        flags |= Qt::AlignHCenter;
        break;
    case BitmapButton::TEXT_RIGHT:
        flags |= Qt::AlignRight;
        break;
    default:
        flags |= Qt::AlignLeft;
        break;
    }
    if (alignment & BitmapButton::TEXT_VCENTER) {
        flags |= Qt::AlignVCenter;
    } else if (alignment & BitmapButton::TEXT_BOTTOM) {
        flags |= Qt::AlignBottom;
    } else {
        flags |= Qt::AlignTop;
    }
    return flags;
}

// One-pixel frame: `topLeft` along the top and left edges, `bottomRight` along the others.
void Draw3dRect(QPainter& painter, const QRect& rect, const QColor& topLeft,
                const QColor& bottomRight) {
    painter.setPen(topLeft);
    painter.drawLine(rect.left(), rect.top(), rect.right() - 1, rect.top());
    painter.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom() - 1);
    painter.setPen(bottomRight);
    painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
}

} // namespace

BitmapButton::BitmapButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

bool BitmapButton::LoadBitmap(int resourceId, const QColor& transparent) {
    m_bitmap = ::LoadBitmap(resourceId, transparent);
    m_hasImage = !m_bitmap.isNull();
    update();
    return m_hasImage;
}

void BitmapButton::SetImageAlignment(int flags) {
    m_imageAlignment = flags;
    update();
}

void BitmapButton::SetTextAlignment(int flags) {
    m_textAlignment = flags;
    update();
}

void BitmapButton::enterEvent(QEnterEvent* event) {
    m_hover = true;
    update();
    QPushButton::enterEvent(event);
}

void BitmapButton::leaveEvent(QEvent* event) {
    m_hover = false;
    update();
    QPushButton::leaveEvent(event);
}

void BitmapButton::paintEvent(QPaintEvent*) {
    const State state = CurrentState();
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Button));
    DrawBorder(painter, state);
    if (m_hasImage) {
        DrawImage(painter, state);
    }
    DrawText(painter, state);
    if (hasFocus()) {
        DrawFocus(painter);
    }
}

// The dotted frame every push button shows while it holds the focus, inside the border.
void BitmapButton::DrawFocus(QPainter& painter) const {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(kMargin - 1, kMargin - 1, 1 - kMargin, 1 - kMargin);
    option.backgroundColor = palette().color(QPalette::Active, QPalette::Button);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

BitmapButton::State BitmapButton::CurrentState() const {
    if (!isEnabled()) {
        return State::Disabled;
    }
    if (isDown()) {
        return State::Pressed;
    }
    return m_hover ? State::Hover : State::Normal;
}

void BitmapButton::DrawBorder(QPainter& painter, State state) const {
    const QColor light = palette().color(QPalette::Active, QPalette::Light);
    const QColor shadow = palette().color(QPalette::Active, QPalette::Dark);
    if (state == State::Pressed) {
        Draw3dRect(painter, rect(), shadow, light);
    } else if (state == State::Hover) {
        Draw3dRect(painter, rect(), light, shadow);
    } else if (isDefault() && state == State::Normal) {
        // The button Enter presses: a plain dark frame, quieter than the raised hover border.
        Draw3dRect(painter, rect(), shadow, shadow);
    }
}

QPoint BitmapButton::ImagePosition(State state) const {
    // In the button's own pixels: a picture for a scaled screen has more of its own.
    const QSize image = ImageSize();
    int x = kMargin;
    if (m_imageAlignment & IMAGE_HCENTER) {
        x = (width() - image.width()) / 2;
    } else if (m_imageAlignment & IMAGE_RIGHT) {
        x = width() - image.width() - kMargin;
    }
    int y = kMargin;
    if (m_imageAlignment & IMAGE_VCENTER) {
        y = (height() - image.height()) / 2;
    } else if (m_imageAlignment & IMAGE_BOTTOM) {
        y = height() - image.height() - kMargin;
    }
    const int shift = state == State::Pressed ? 1 : 0;
    return {x + shift, y + shift};
}

QSize BitmapButton::ImageSize() const {
    return m_bitmap.deviceIndependentSize().toSize();
}

void BitmapButton::DrawImage(QPainter& painter, State state) const {
    const QPoint at = ImagePosition(state);
    if (state != State::Disabled) {
        painter.drawPixmap(at, m_bitmap);
        return;
    }
    QStyleOption option;
    option.initFrom(this);
    painter.drawPixmap(at, style()->generatedIconPixmap(QIcon::Disabled, m_bitmap, &option));
}

// The content area, less the image's side when the image sits at the left or right, so that a
// long text is cut short instead of running over the arrow.
QRect BitmapButton::TextRect() const {
    QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (!m_hasImage || (m_imageAlignment & IMAGE_HCENTER)) {
        return area;
    }
    const QPoint image = ImagePosition(State::Normal);
    if (m_imageAlignment & IMAGE_RIGHT) {
        area.setRight(image.x() - kMargin - 1);
    } else {
        area.setLeft(image.x() + ImageSize().width() + kMargin);
    }
    return area;
}

void BitmapButton::DrawText(QPainter& painter, State state) const {
    const QRect area = TextRect();
    const int flags = QtTextFlags(m_textAlignment);
    const QString shown =
        fontMetrics().elidedText(text(), Qt::ElideRight, area.width(), Qt::TextShowMnemonic);
    painter.setFont(font());
    if (state == State::Disabled) {
        painter.setPen(palette().color(QPalette::Active, QPalette::Base));
        painter.drawText(area.translated(1, 1), flags, shown);
        painter.setPen(palette().color(QPalette::Disabled, QPalette::ButtonText));
    } else {
        painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
    }
    painter.drawText(area, flags, shown);
}
