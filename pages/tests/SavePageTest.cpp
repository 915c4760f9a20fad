#include "SavePage.h"

#include "PageFixture.h"
#include "WorkFiles.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class SavePageTest : public ::testing::Test, public PageFixture {
protected:
    SavePage* Page() const { return qobject_cast<SavePage*>(window->TabControl()->Page(2)); }
};

TEST_F(SavePageTest, ShowsTheDescriptionAnEmptyLineAndTheMp3AndOpensItsFolder) {
    Open();
    orvanta::CurrentWorkFiles().ringtoneMp3Path = dir.Path("a_ringtone.mp3");
    window->TabControl()->SelectPage(2);
    const auto* result = Page()->findChild<QPlainTextEdit*>("result");
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->isReadOnly());
    EXPECT_EQ(result->toPlainText().toStdString(),
              Text("idd_saving_description") + "\n\n" + dir.Path("a_ringtone.mp3"));
    EXPECT_EQ(window->PreviousButton()->text().toStdString(), Text("idd_editing"));
    EXPECT_EQ(window->NextButton()->text().toStdString(), Text("idd_new_ringtone"));

    UrlCatcher catcher("file");
    Page()->findChild<QPushButton*>("openFolder")->click();
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_EQ(catcher.urls[0].toLocalFile().toStdString() + "/", dir.Path(""));
}

TEST_F(SavePageTest, LetsTheUserGoToTheImportOrTheEditPageOnly) {
    SavePage page;
    const struct {
        int target;
        bool allowed;
    } rows[] = {{0, true}, {1, true}, {2, false}, {3, false}, {-1, false}};
    for (const auto& row : rows) {
        EXPECT_EQ(page.CanLeave(row.target), row.allowed) << row.target;
    }
}

} // namespace
