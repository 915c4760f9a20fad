#include "ImportPage.h"
#include "PageFixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

class ProgramPagesTest : public ::testing::Test, public PageFixture {};

// Screen readers find a control by its accessible name: every control on every page has one.
TEST_F(ProgramPagesTest, EveryControlOfEveryPageHasAnAccessibleName) {
    Open();
    const std::string song = MakeSong("song.wav", 1);
    qobject_cast<ImportPage*>(window->TabControl()->Page(0))
        ->SetSourcePath(QString::fromStdString(song));
    for (const int index : {0, 1, 2}) {
        ASSERT_TRUE(window->TabControl()->SelectPage(index)) << index;
        QWidget* page = window->TabControl()->Page(index);
        QList<QWidget*> controls;
        for (QWidget* child : page->findChildren<QWidget*>()) {
            if (qobject_cast<QAbstractButton*>(child) || qobject_cast<QLineEdit*>(child) ||
                qobject_cast<QComboBox*>(child) || qobject_cast<QPlainTextEdit*>(child) ||
                qobject_cast<QScrollBar*>(child)) {
                controls.append(child);
            }
        }
        for (QWidget* control : controls) {
            if (control->isVisibleTo(page) && control->parentWidget() == page) {
                EXPECT_FALSE(control->accessibleName().isEmpty())
                    << index << " " << control->objectName().toStdString();
            }
        }
    }
}

} // namespace
