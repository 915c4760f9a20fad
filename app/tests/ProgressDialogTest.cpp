#include "ProgressDialog.h"

#include "AppMainWindow.h"
#include "AppProfile.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        m_main.show();
        SetAppMainWindow(&m_main);
    }
    void TearDown() override {
        SetAppMainWindow(nullptr);
        ClearSettings();
    }

    QWidget m_main;
};

struct PercentRow {
    int lower;
    int upper;
    int position;
    const char* title;
};

TEST_F(ProgressDialogTest, TitleShowsWholePercentRoundedHalfUp) {
    const PercentRow rows[] = {
        {0, 200, 0, "Busy"},                        // 0 % leaves the bare title
        {0, 200, 1, "Busy [1%]"},                   // 0.5 rounds up
        {0, 200, 100, "Busy [50%]"},                //
        {0, 200, 199, "Busy [100%]"},               // 99.5 rounds up
        {0, 3, 1, "Busy [33%]"},                    //
        {0, 3, 2, "Busy [67%]"},                    //
        {100, 300, 200, "Busy [50%]"},              // counted from the lower bound
        {5, 5, 5, "Busy"},                          // equal bounds: always 0 %
        {5, 5, 900, "Busy"},                        //
        {9, 4, 6, "Busy"},                          // upper below lower: 0 %
        {0, 2000000000, 1999999999, "Busy [100%]"}, // position x 100 overflows 32 bits
        {0, 2000000000, 1000000000, "Busy [50%]"},
    };
    for (const PercentRow& row : rows) {
        ProgressDialog dialog("Busy", "Cancel");
        dialog.SetRange(row.lower, row.upper);
        dialog.SetPos(row.position);
        EXPECT_EQ(dialog.windowTitle().toStdString(), row.title)
            << row.lower << ".." << row.upper << " at " << row.position;
    }
}

TEST_F(ProgressDialogTest, EqualBoundsAfterAPhaseShowZeroPercent) {
    ProgressDialog dialog("Busy", "Cancel");
    dialog.SetRange(0, 200);
    dialog.SetPos(100);
    dialog.SetRange(7, 7);
    dialog.SetPos(7);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Busy [0%]");
}

struct TextRow {
    std::string text;
    std::string shown;
};

TEST_F(ProgressDialogTest, MessageIsShownLiterallyAndCutAt511Characters) {
    const std::string smiley = "\xF0\x9F\x98\x80"; // outside the basic plane: two UTF-16 units
    const TextRow rows[] = {
        {"%s %d %%", "%s %d %%"},
        {"<b>bold</b> & more", "<b>bold</b> & more"},
        {"line one\nline two", "line one\nline two"},
        {std::string(600, 'a'), std::string(511, 'a')},
        {std::string(510, 'a') + smiley + "b", std::string(510, 'a') + smiley},
        {std::string(511, 'a'), std::string(511, 'a')},
    };
    ProgressDialog dialog("Busy", "Cancel");
    for (const TextRow& row : rows) {
        dialog.SetText(row.text);
        EXPECT_EQ(dialog.Message(), row.shown) << row.text.substr(0, 20);
    }
}

TEST_F(ProgressDialogTest, IsAStayOnTopWindowOfTheMainWindowWithoutCloseBox) {
    ProgressDialog dialog("Busy", "Cancel");
    EXPECT_EQ(dialog.parentWidget(), nullptr);
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    ASSERT_NE(dialog.windowHandle(), nullptr);
    EXPECT_EQ(dialog.windowHandle()->transientParent(), m_main.windowHandle());
    EXPECT_EQ(dialog.CancelButton()->text().toStdString(), "Cancel");
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(ProgressDialogTest, LayoutKeepsTheButtonBesideTheBarBelowTheMessage) {
    ProgressDialog dialog("Busy", "A rather long cancel label");
    const QRect button = dialog.CancelButton()->geometry();
    const QRect bar = dialog.ProgressBar()->geometry();
    EXPECT_EQ(dialog.width(), 410);
    EXPECT_EQ(button.right(), 399); // aligned with the 390-pixel message area
    EXPECT_EQ(bar.left(), 10);
    EXPECT_EQ(bar.right() + 1 + 10, button.left());
    EXPECT_GT(bar.top(), button.top());
    EXPECT_LT(bar.bottom(), button.bottom());
    EXPECT_EQ(dialog.height(), button.bottom() + 1 + 10);
    const QFontMetrics metrics(dialog.font());
    EXPECT_GE(button.width(), metrics.horizontalAdvance("A rather long cancel label  "));
    EXPECT_GE(button.top() - 10, 4 * metrics.height()); // four lines of message above
}

TEST_F(ProgressDialogTest, GoModalDisablesTheMainWindowUntilDestroy) {
    ProgressDialog dialog;
    EXPECT_FALSE(dialog.IsCreated());
    ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
    EXPECT_TRUE(dialog.IsCreated());
    EXPECT_FALSE(m_main.isEnabled());
    EXPECT_TRUE(dialog.isEnabled());
    // A second call must not lose track of the window it disabled.
    ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
    dialog.Destroy();
    EXPECT_TRUE(m_main.isEnabled());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ProgressDialogTest, GoModalLeavesAnAlreadyDisabledMainWindowToItsOwner) {
    m_main.setEnabled(false);
    {
        ProgressDialog dialog("Busy", "Cancel");
        ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
    }
    EXPECT_FALSE(m_main.isEnabled());
}

// Every route to a cancel reaches the loop as exactly one 0.
TEST_F(ProgressDialogTest, CancelIsReportedOnceWhateverItsRoute) {
    const std::pair<const char*, std::function<void(ProgressDialog&)>> routes[] = {
        {"OnCancel", [](ProgressDialog& d) { d.OnCancel(); }},
        {"button command", [](ProgressDialog& d) { d.CancelButton()->click(); }},
        {"space on the button",
         [](ProgressDialog& d) { QTest::keyClick(d.CancelButton(), Qt::Key_Space); }},
        {"close request", [](ProgressDialog& d) { d.close(); }},
        {"Escape", [](ProgressDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"click", [](ProgressDialog& d) { QTest::mouseClick(d.CancelButton(), Qt::LeftButton); }},
    };
    for (const auto& [name, cancel] : routes) {
        ProgressDialog dialog("Busy", "Cancel");
        ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
        EXPECT_EQ(dialog.PeekAndPump(true), 1) << name;
        cancel(dialog);
        EXPECT_EQ(dialog.PeekAndPump(true), 0) << name;
        EXPECT_TRUE(dialog.IsCancelled()) << name;
        EXPECT_FALSE(dialog.isVisible()) << name;
        EXPECT_EQ(dialog.PeekAndPump(true), 1) << name;
        EXPECT_EQ(dialog.PeekAndPump(true), 1) << name;
    }
}

// Pumping is spaced out, so a gesture that waits in the queue is seen only at a later step;
// it must be seen all the same, once.
TEST_F(ProgressDialogTest, CancelWaitingInTheQueueStopsALaterStep) {
    ProgressDialog dialog("Busy", "Cancel");
    ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
    EXPECT_EQ(dialog.PeekAndPump(true), 1);
    QCoreApplication::postEvent(&dialog,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    int stops = 0;
    const QDeadlineTimer deadline(5000);
    while (stops == 0 && !deadline.hasExpired()) {
        stops += dialog.PeekAndPump(true) == 0 ? 1 : 0;
    }
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(dialog.IsCancelled());
    EXPECT_EQ(dialog.PeekAndPump(true), 1);
}

TEST_F(ProgressDialogTest, TakesTheFocusWhenItOpensButNeverBack) {
    ProgressDialog dialog("Busy", "Cancel");
    ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
    dialog.PeekAndPump(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &dialog);

    // The user turns to another window while the work goes on.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &elsewhere);
    for (int step = 0; step < 3; ++step) {
        QTest::qWait(ProgressDialog::kPumpIntervalMs + 5);
        EXPECT_EQ(dialog.PeekAndPump(true), 1);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(QApplication::activeWindow(), &elsewhere);
}

TEST_F(ProgressDialogTest, EscapeIsIgnoredWhenNotAskedFor) {
    ProgressDialog dialog("Busy", "Cancel");
    ASSERT_TRUE(dialog.GoModal("Busy", "Cancel"));
    EXPECT_EQ(dialog.PeekAndPump(false), 1);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.PeekAndPump(false), 1);
    EXPECT_FALSE(dialog.IsCancelled());
}

TEST_F(ProgressDialogTest, PlacementFollowsTheSavedPositionWhenItIsOnScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const std::pair<std::optional<QPoint>, bool> rows[] = {
        {std::nullopt, true},   // never saved
        {QPoint(-5, 40), true}, // left of the screen
        {QPoint(40, -5), true}, // above it
        {screen.bottomRight() + QPoint(50, 50), true},
        {QPoint(120, 90), false},
    };
    for (const auto& [saved, centred] : rows) {
        ClearSettings();
        if (saved) {
            AppProfile::WriteInt("Settings", "X", saved->x());
            AppProfile::WriteInt("Settings", "Y", saved->y());
        }
        ProgressDialog dialog("Busy", "Cancel");
        if (centred) {
            EXPECT_LE((dialog.frameGeometry().center() - screen.center()).manhattanLength(), 2);
        } else {
            EXPECT_EQ(dialog.pos(), *saved);
        }
    }
}

TEST_F(ProgressDialogTest, ThePlaceAfterFiveUsesIsThePlaceAfterTheFirst) {
    const QRect screen = m_main.screen()->availableGeometry();
    const std::pair<const char*, std::optional<QPoint>> rows[] = {
        {"never saved", std::nullopt},
        {"saved on the screen", QPoint(100, 100)},
        {"saved where a removed monitor was", screen.topRight() + QPoint(400, 100)},
    };
    for (const auto& [name, saved] : rows) {
        ClearSettings();
        if (saved) {
            AppProfile::WriteInt("Settings", "X", saved->x());
            AppProfile::WriteInt("Settings", "Y", saved->y());
        }
        std::vector<QRect> places;
        for (int use = 0; use < 5; ++use) {
            ProgressDialog dialog("Busy", "Cancel");
            dialog.Destroy();
            places.push_back(dialog.frameGeometry());
            EXPECT_EQ(places.back().topLeft(), QPoint(AppProfile::GetInt("Settings", "X", -1),
                                                      AppProfile::GetInt("Settings", "Y", -1)))
                << name;
        }
        EXPECT_EQ(places, std::vector<QRect>(5, places[0])) << name;
        EXPECT_TRUE(screen.contains(places[0])) << name;
    }
}

TEST_F(ProgressDialogTest, DestroyAndCancelSaveThePosition) {
    const std::pair<const char*, std::function<void(ProgressDialog&)>> ends[] = {
        {"Destroy", [](ProgressDialog& d) { d.Destroy(); }},
        {"OnCancel", [](ProgressDialog& d) { d.OnCancel(); }},
    };
    for (const auto& [name, end] : ends) {
        ClearSettings();
        ProgressDialog dialog("Busy", "Cancel");
        dialog.move(33, 44);
        end(dialog);
        EXPECT_EQ(AppProfile::GetInt("Settings", "X", -1), 33) << name;
        EXPECT_EQ(AppProfile::GetInt("Settings", "Y", -1), 44) << name;
    }
}

} // namespace
