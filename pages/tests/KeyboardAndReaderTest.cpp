#include "EditPage.h"
#include "PageFixture.h"
#include "ProgressDialog.h"
#include "WaveEditor.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

// What each page offers the keyboard, in the order Tab walks it (from the page's first control,
// round to the wizard buttons).
const std::vector<std::vector<QString>> kTabOrders = {
    {"sourcePath", "browse", "next"},
    {"selectionStart", "selectionEnd", "selectionLength", "waveEditor", "scrollBar", "format",
     "normalize", "play", "zoom", "fadeIn", "fadeOut", "stereo", "quality", "amplify", "loop",
     "snap", "previous", "next"},
    {"result", "openFolder", "previous", "next"}};

bool TakesTab(const QWidget* widget) {
    return (widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled() &&
           widget->focusProxy() == nullptr;
}

class KeyboardAndReaderTest : public ::testing::TestWithParam<const char*>, public PageFixture {
protected:
    std::vector<QString> TabOrderFrom(QWidget* first) const {
        std::vector<QString> order{first->objectName()};
        for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain()) {
            if (TakesTab(w)) {
                order.push_back(w->objectName());
            }
        }
        return order;
    }

    // Every control shown has a name, without a shortcut mark; every shortcut key is used once
    // among the controls shown and the menu bar; every button and labelled box has one.
    void CheckNamesAndShortcuts(int page) const {
        std::map<QString, QString> shortcuts;
        const auto claim = [&](const QString& text) {
            const QString key = QKeySequence::mnemonic(text).toString();
            if (!key.isEmpty()) {
                EXPECT_TRUE(shortcuts.emplace(key, text).second)
                    << page << ": " << text.toStdString() << " and "
                    << shortcuts[key].toStdString();
            }
            return !key.isEmpty();
        };
        for (QAction* menu : window->findChild<QMenuBar*>()->actions()) {
            EXPECT_TRUE(claim(menu->text()));
        }
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (!widget->isVisible()) {
                continue;
            }
            if (TakesTab(widget)) {
                const QString name =
                    QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
                EXPECT_FALSE(name.isEmpty()) << page << ": " << widget->objectName().toStdString();
                EXPECT_FALSE(name.contains('&')) << name.toStdString();
            }
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_TRUE(claim(button->text())) << button->text().toStdString();
            } else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) {
                EXPECT_TRUE(claim(label->text())) << label->text().toStdString();
            }
        }
    }

    void CheckPage(int page) const {
        CheckNamesAndShortcuts(page);
        const std::vector<QString>& expected = kTabOrders[static_cast<std::size_t>(page)];
        EXPECT_EQ(TabOrderFrom(window->findChild<QWidget*>(expected.front())), expected) << page;
    }

    // The German or French table over the fixture's English one, for this test's life.
    ScopedStringTable m_language{GetParam()};
};

// One walk through the wizard by keyboard: the path box has the focus and Enter in it loads;
// each page is checked for its Tab order, its screen-reader names and its shortcut keys.
TEST_P(KeyboardAndReaderTest, EachPageIsUsableByKeyboardAndScreenReader) {
    Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* path = window->findChild<QLineEdit*>("sourcePath");
    EXPECT_EQ(QApplication::focusWidget(), path);
    CheckPage(0);
    path->setText(QString::fromStdString(MakeSong("song.wav", 25)));
    // During the step the progress window is among the program's windows a reader lists.
    QStringList progressNames;
    progress.beforeStep = [&progressNames](HookedProgressSteps::Phase) {
        const QAccessibleInterface* program = QAccessible::queryAccessibleInterface(qApp);
        for (int i = 0; i < program->childCount() && progressNames.isEmpty(); ++i) {
            if (auto* dialog = qobject_cast<ProgressDialog*>(program->child(i)->object())) {
                progressNames << program->child(i)->text(QAccessible::Name)
                              << dialog->CancelButton()->accessibleName();
            }
        }
    };
    QTest::keyClick(path, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_EQ(Current(), 1);
    ASSERT_EQ(progressNames.size(), 2);
    EXPECT_FALSE(progressNames[0].isEmpty() || progressNames[1].isEmpty());
    const auto* edit = qobject_cast<EditPage*>(window->TabControl()->Page(1));
    const QString value =
        QAccessible::queryAccessibleInterface(edit->Editor())->text(QAccessible::Value);
    EXPECT_TRUE(value.contains(window->findChild<QLineEdit*>("selectionEnd")->text()))
        << value.toStdString();
    EXPECT_NE(edit->Editor()->accessibleName(),
              window->findChild<QWidget*>("scrollBar")->accessibleName());
    CheckPage(1);
    // The zoom menu drops down under its button, wherever the pointer is.
    auto* zoom = window->findChild<QPushButton*>("zoom");
    QTest::keyClick(zoom, Qt::Key_Space);
    EXPECT_EQ(edit->ZoomMenu()->pos(), zoom->mapToGlobal(QPoint(0, zoom->height())));
    edit->ZoomMenu()->close();
    Next();
    ASSERT_EQ(Current(), 2);
    CheckPage(2);
}

INSTANTIATE_TEST_SUITE_P(Languages, KeyboardAndReaderTest, ::testing::Values("en", "de", "fr"));

} // namespace
