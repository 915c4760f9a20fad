#include "pxmisc/CMiscFunc.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs `answer` on the modal widget the next call opens, as a person would.
void AnswerNextModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr) << "no modal window to answer";
        answer(modal);
    });
}

TEST(MiscFuncWindowsTest, RectanglesOfAWindow) {
    QWidget window;
    window.setGeometry(40, 50, 300, 200);
    EXPECT_EQ(CMiscFunc::GetClientRect(&window), QRect(0, 0, 300, 200));
    const QRect frame = CMiscFunc::GetWindowRect(&window);
    EXPECT_TRUE(frame.contains(QRect(40, 50, 300, 200))) << frame.x() << "," << frame.y();
    EXPECT_TRUE(CMiscFunc::GetClientRect(nullptr).isNull());
    EXPECT_TRUE(CMiscFunc::GetWindowRect(nullptr).isNull());
}

struct BoxCase {
    const char* name;
    uint32_t style;
    QMessageBox::StandardButton press; // NoButton: close with Escape
    int expected;
    QMessageBox::Icon icon;
};

class MessageBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxTest, ShowsTextDetailCaptionAndReturnsThePressedButton) {
    const BoxCase& c = GetParam();
    QString shownText;
    QString shownTitle;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    AnswerNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        shownTitle = box->windowTitle();
        shownIcon = box->icon();
        if (c.press == QMessageBox::NoButton) {
            box->reject();
        } else {
            ASSERT_NE(box->button(c.press), nullptr);
            box->button(c.press)->click();
        }
    });
    EXPECT_EQ(CMiscFunc::ResMessageBox(nullptr, "Main text", "Caption", "Detail", c.style),
              c.expected);
    EXPECT_EQ(shownText, QString("Main text\n\n Detail"));
    EXPECT_EQ(shownTitle, QString("Caption"));
    EXPECT_EQ(shownIcon, c.icon);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, MessageBoxTest,
    ::testing::Values(BoxCase{"OkPressed", CMiscFunc::MB_OK, QMessageBox::Ok, CMiscFunc::IDOK,
                              QMessageBox::NoIcon},
                      BoxCase{"NoPressed", CMiscFunc::MB_YESNO | CMiscFunc::MB_ICONQUESTION,
                              QMessageBox::No, CMiscFunc::IDNO, QMessageBox::Question},
                      BoxCase{"YesPressed", CMiscFunc::MB_YESNOCANCEL | CMiscFunc::MB_ICONWARNING,
                              QMessageBox::Yes, CMiscFunc::IDYES, QMessageBox::Warning},
                      BoxCase{"Escaped", CMiscFunc::MB_OKCANCEL | CMiscFunc::MB_ICONERROR,
                              QMessageBox::NoButton, CMiscFunc::IDCANCEL, QMessageBox::Critical}),
    [](const ::testing::TestParamInfo<BoxCase>& row) { return std::string(row.param.name); });

TEST(MiscFuncWindowsTest, MessageWithoutDetailIsTheTextAlone) {
    QString shownText;
    AnswerNextModal([&](QWidget* modal) {
        shownText = qobject_cast<QMessageBox*>(modal)->text();
        qobject_cast<QMessageBox*>(modal)->accept();
    });
    CMiscFunc::ResMessageBox(nullptr, "Only this", "", "", CMiscFunc::MB_OK);
    EXPECT_EQ(shownText, QString("Only this"));
}

TEST(MiscFuncWindowsTest, ComboBoxIndexAndDataLookups) {
    QComboBox box;
    for (const int rate : {44100, 22050, 11025, 22050}) {
        box.addItem(QString::number(rate), rate);
    }
    EXPECT_EQ(CMiscFunc::ComboBox_Index2Data(1, &box), 22050);
    EXPECT_EQ(CMiscFunc::ComboBox_Index2Data(4, &box), -1);
    EXPECT_EQ(CMiscFunc::ComboBox_Index2Data(-1, &box), -1);
    EXPECT_EQ(CMiscFunc::ComboBox_Data2Index(22050, &box), 1) << "the first match";
    EXPECT_EQ(CMiscFunc::ComboBox_Data2Index(8000, &box), -1);
    EXPECT_EQ(CMiscFunc::ComboBox_Index2Data(0, nullptr), -1);
    EXPECT_EQ(CMiscFunc::ComboBox_Data2Index(44100, nullptr), -1);
}

TEST(MiscFuncWindowsTest, BrowseFolderReturnsTheChoiceWithASeparatorOrKeepsTheFolder) {
    QTemporaryDir chosen;
    ASSERT_TRUE(chosen.isValid());
    std::string folder = "/";
    AnswerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(chosen.path());
        dialog->selectFile(chosen.path());
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides accept()
    });
    EXPECT_TRUE(CMiscFunc::BrowseFolder(nullptr, folder, "Pick"));
    EXPECT_EQ(folder, chosen.path().toStdString() + "/");

    const std::string before = folder;
    AnswerNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(CMiscFunc::BrowseFolder(nullptr, folder, "Pick"));
    EXPECT_EQ(folder, before);
}

TEST(MiscFuncWindowsTest, HidingTheCursorTwiceNeedsOneShow) {
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    CMiscFunc::ShowCursor(false);
    CMiscFunc::ShowCursor(false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BlankCursor);
    CMiscFunc::ShowCursor(true);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    CMiscFunc::ShowCursor(true);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
