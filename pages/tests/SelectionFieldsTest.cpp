#include "SelectionFields.h"

#include "StringTable.h"
#include "UiTestSupport.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Selection = std::pair<int32_t, int32_t>;

// A 100-second song with 10 .. 30 s selected; each row types into one field and confirms.
TEST(SelectionFieldsTest, TypedTimesMoveTheSelectionOrAreRefused) {
    const ScopedStringTable strings("en");
    const struct {
        const char* field;
        const char* typed;
        std::optional<Selection> result; // nullopt: nothing announced
        const char* refusal;             // the hint's text id, or nullptr
    } rows[] = {
        {"selectionStart", "12.345", Selection{12345, 30000}, nullptr},
        {"selectionStart", " 12,5 ", Selection{12500, 30000}, nullptr},
        {"selectionEnd", "0:45.001", Selection{10000, 45001}, nullptr},
        {"selectionEnd", "0:01:00", Selection{10000, 60000}, nullptr},
        {"selectionEnd", "5:00", Selection{10000, 100000}, nullptr},
        {"selectionLength", "5.5", Selection{10000, 15500}, nullptr},
        {"selectionLength", "200", Selection{10000, 100000}, nullptr},
        {"selectionStart", "0:10.000", std::nullopt, nullptr},
        {"selectionStart", "abc", std::nullopt, "idd_selection_not_a_time"},
        {"selectionStart", "-1", std::nullopt, "idd_selection_not_a_time"},
        {"selectionStart", "1.2345", std::nullopt, "idd_selection_not_a_time"},
        {"selectionStart", "1:60", std::nullopt, "idd_selection_not_a_time"},
        {"selectionEnd", "", std::nullopt, "idd_selection_not_a_time"},
        {"selectionEnd", "5", std::nullopt, "idd_selection_order"},
        {"selectionEnd", "0:10", std::nullopt, "idd_selection_order"},
        {"selectionStart", "200", std::nullopt, "idd_selection_order"},
        {"selectionLength", "0", std::nullopt, "idd_selection_empty"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.field) + " <- " + row.typed);
        SelectionFields fields;
        fields.resize(651, 34);
        fields.SetTexts();
        fields.SetSongLength(100000);
        fields.ShowSelection(10000, 30000);
        std::optional<Selection> announced;
        QObject::connect(&fields, &SelectionFields::selectionTyped,
                         [&](int32_t start, int32_t end) {
                             announced = Selection{start, end};
                         });
        QLineEdit* edit = fields.findChild<QLineEdit*>(row.field);
        const QString before = edit->text();
        edit->setText(QString::fromUtf8(row.typed));
        emit edit->editingFinished();
        EXPECT_EQ(announced, row.result);
        if (row.refusal != nullptr) {
            EXPECT_EQ(edit->text(), before) << "the old value stays";
            EXPECT_FALSE(edit->styleSheet().isEmpty()) << "the field is marked";
            EXPECT_EQ(fields.Hint().toStdString(), StringTable::Instance().Lookup(row.refusal));
        }
    }
}

TEST(SelectionFieldsTest, TimesReadAsTheyAreTypedAndTheLengthGetsAHint) {
    const ScopedStringTable strings("en");
    EXPECT_EQ(FormatSelectionTime(83456, false), "1:23.456");
    EXPECT_EQ(FormatSelectionTime(3723004, true), "1:02:03.004");
    EXPECT_EQ(ParseSelectionTime(FormatSelectionTime(3723004, true)), 3723004);
    SelectionFields fields;
    fields.SetSongLength(100000);
    const struct {
        int32_t lengthMs;
        const char* hint; // nullptr: none
    } rows[] = {{30001, "idd_selection_long"}, {30000, nullptr}, {999, "idd_selection_short"}};
    for (const auto& row : rows) {
        fields.ShowSelection(1000, 1000 + row.lengthMs);
        EXPECT_EQ(fields.Hint().toStdString(),
                  row.hint ? StringTable::Instance().Lookup(row.hint) : "")
            << row.lengthMs;
    }
}

} // namespace
