#include "BitmapButton.h"

#include "Resources.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The Previous and Next buttons' size in the main window.
constexpr int kWidth = 170;
constexpr int kHeight = 29;

using PixelTest = std::function<bool(QColor)>;

bool IsArrowGreen(QColor colour) {
    return colour.green() > colour.red() + 40 && colour.green() > colour.blue() + 40;
}

// Dark and colourless: the glyphs of the text in the normal state.
bool IsTextInk(QColor colour) {
    const int high = std::max({colour.red(), colour.green(), colour.blue()});
    const int low = std::min({colour.red(), colour.green(), colour.blue()});
    return high < 128 && high - low < 30;
}

bool IsMagenta(QColor colour) {
    return colour.rgb() == kTransparentColour.rgb();
}

PixelTest Exactly(QRgb wanted) {
    return [wanted](QColor colour) { return colour.rgb() == wanted; };
}

PixelTest Not(QRgb unwanted) {
    return [unwanted](QColor colour) { return colour.rgb() != unwanted; };
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box of the pixels of `image` inside `area` that pass `test`; empty when none do.
QRect Bounds(const QImage& image, const PixelTest& test, QRect area = {}) {
    if (area.isNull()) {
        area = image.rect();
    }
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (test(image.pixelColor(x, y))) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

int Count(const QImage& image, const PixelTest& test, QRect area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += test(image.pixelColor(x, y)) ? 1 : 0;
        }
    }
    return count;
}

// Where the bitmap's visible pixels lie inside the bitmap itself.
QRect OpaqueBounds(int resourceId) {
    const QImage bitmap =
        LoadBitmap(resourceId, kTransparentColour).toImage().convertToFormat(QImage::Format_ARGB32);
    return Bounds(bitmap, [](QColor colour) { return colour.alpha() == 255; });
}

struct ArrowCase {
    const char* name;
    int resourceId;
    int imageAlignment;
    int textAlignment;
    bool arrowOnLeft;
};

const ArrowCase kArrowCases[] = {
    {"previous", IDB_PREVIOUS, 4, 6, true},
    {"next", IDB_NEXT, 6, 4, false},
};

class BitmapButtonTest : public ::testing::Test {
protected:
    void Prepare(BitmapButton& button, const ArrowCase& row) {
        ASSERT_TRUE(button.LoadBitmap(row.resourceId, kTransparentColour));
        button.SetImageAlignment(row.imageAlignment);
        button.SetTextAlignment(row.textAlignment);
        button.resize(kWidth, kHeight);
        button.show();
    }

    // Where the image's 16 x 16 cell sits with the alignment of `row`, unpressed.
    static QPoint ImageCell(const ArrowCase& row) {
        const int x = row.arrowOnLeft ? 3 : kWidth - 16 - 3;
        return {x, (kHeight - 16) / 2};
    }
};

TEST_F(BitmapButtonTest, ArrowSitsAtItsSideAndTextOnTheOther) {
    for (const ArrowCase& row : kArrowCases) {
        SCOPED_TRACE(row.name);
        BitmapButton button(row.name);
        Prepare(button, row);
        const QImage picture = Grab(button);

        EXPECT_EQ(Bounds(picture, IsArrowGreen),
                  OpaqueBounds(row.resourceId).translated(ImageCell(row)));
        EXPECT_TRUE(Bounds(picture, IsMagenta).isEmpty());
        const QRect text = Bounds(picture, IsTextInk);
        ASSERT_FALSE(text.isEmpty());
        if (row.arrowOnLeft) {
            EXPECT_GT(text.left(), kWidth / 2) << "right-aligned text";
        } else {
            EXPECT_LT(text.right(), kWidth / 2) << "left-aligned text";
        }
    }
}

TEST_F(BitmapButtonTest, LongTextStopsShortOfTheArrow) {
    for (const ArrowCase& row : kArrowCases) {
        SCOPED_TRACE(row.name);
        BitmapButton button(QString(60, QLatin1Char('W')));
        Prepare(button, row);
        const QImage picture = Grab(button);

        const QRect arrow = Bounds(picture, IsArrowGreen);
        const QRect text = Bounds(picture, IsTextInk);
        ASSERT_FALSE(text.isEmpty());
        EXPECT_FALSE(text.intersects(arrow.adjusted(-2, -kHeight, 2, kHeight)));
    }
}

TEST_F(BitmapButtonTest, PressingShiftsTheArrowOnePixelAndStillClicks) {
    for (const ArrowCase& row : kArrowCases) {
        SCOPED_TRACE(row.name);
        BitmapButton button(row.name);
        Prepare(button, row);
        QSignalSpy clicks(&button, &QPushButton::clicked);
        const QRect normal = Bounds(Grab(button), IsArrowGreen);

        QTest::mousePress(&button, Qt::LeftButton, {}, button.rect().center());
        const QImage pressed = Grab(button);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, button.rect().center());

        EXPECT_EQ(Bounds(pressed, IsArrowGreen), normal.translated(1, 1));
        EXPECT_TRUE(Bounds(pressed, IsMagenta).isEmpty());
        EXPECT_EQ(clicks.count(), 1);
        QTest::keyClick(&button, Qt::Key_Space);
        EXPECT_EQ(clicks.count(), 2);
    }
}

struct Edges {
    QRgb top, left, bottom, right;
};

Edges EdgesOf(const QImage& picture) {
    return {picture.pixel(kWidth / 2, 0), picture.pixel(0, kHeight / 2),
            picture.pixel(kWidth / 2, kHeight - 1), picture.pixel(kWidth - 1, kHeight / 2)};
}

TEST_F(BitmapButtonTest, BorderIsRaisedOnlyWhileHoveredAndSunkenWhilePressed) {
    BitmapButton button("Next");
    Prepare(button, kArrowCases[1]);
    const QPalette palette = button.palette();
    const QRgb face = palette.color(QPalette::Active, QPalette::Button).rgb();
    const QRgb light = palette.color(QPalette::Active, QPalette::Light).rgb();
    const QRgb dark = palette.color(QPalette::Active, QPalette::Dark).rgb();
    ASSERT_NE(light, dark);
    ASSERT_NE(light, face);
    ASSERT_NE(dark, face);

    const Edges flat = EdgesOf(Grab(button));
    for (const QRgb edge : {flat.top, flat.left, flat.bottom, flat.right}) {
        EXPECT_EQ(edge, face);
    }

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
    const Edges hover = EdgesOf(Grab(button));
    EXPECT_EQ(hover.top, light);
    EXPECT_EQ(hover.left, light);
    EXPECT_EQ(hover.bottom, dark);
    EXPECT_EQ(hover.right, dark);

    QTest::mousePress(&button, Qt::LeftButton, {}, button.rect().center());
    const Edges pressed = EdgesOf(Grab(button));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, button.rect().center());
    EXPECT_EQ(pressed.top, dark);
    EXPECT_EQ(pressed.left, dark);
    EXPECT_EQ(pressed.bottom, light);
    EXPECT_EQ(pressed.right, light);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(EdgesOf(Grab(button)).top, face);
}

TEST_F(BitmapButtonTest, DisabledGreysTheArrowAndEmbossesTheText) {
    BitmapButton button("Previous");
    Prepare(button, kArrowCases[0]);
    const auto saturated = [](QColor c) { return c.hsvSaturation() > 80; };
    ASSERT_FALSE(Bounds(Grab(button), saturated).isEmpty());

    button.setEnabled(false);
    const QImage picture = Grab(button);

    EXPECT_TRUE(Bounds(picture, saturated).isEmpty());
    EXPECT_TRUE(Bounds(picture, IsMagenta).isEmpty());
    const QRect arrowCell(ImageCell(kArrowCases[0]), QSize(16, 16));
    const QRgb face = button.palette().color(QPalette::Active, QPalette::Button).rgb();
    EXPECT_GT(Count(picture, Not(face), arrowCell), 40) << "the greyed arrow is still drawn";
    const QRect textSide(arrowCell.right() + 2, 0, kWidth - arrowCell.right() - 2, kHeight);
    const QRgb base = button.palette().color(QPalette::Active, QPalette::Base).rgb();
    const QRgb grey = button.palette().color(QPalette::Disabled, QPalette::ButtonText).rgb();
    ASSERT_NE(base, grey);
    EXPECT_GT(Count(picture, Exactly(base), textSide), 0);
    EXPECT_GT(Count(picture, Exactly(grey), textSide), 0);
    EXPECT_EQ(Count(picture, IsTextInk, textSide), 0) << "no text in the enabled colour";
}

TEST_F(BitmapButtonTest, UnknownBitmapLeavesTheTextAlone) {
    BitmapButton button("Next");
    EXPECT_FALSE(button.LoadBitmap(9999, kTransparentColour));
    button.SetImageAlignment(6);
    button.SetTextAlignment(4);
    button.resize(kWidth, kHeight);
    button.show();
    const QImage picture = Grab(button);

    EXPECT_TRUE(Bounds(picture, IsArrowGreen).isEmpty());
    const QRect text = Bounds(picture, IsTextInk);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_GE(text.left(), 3);
    EXPECT_LT(text.left(), 3 + 4) << "left-aligned text starts at the margin";
}

} // namespace
