#include "AboutBox.h"

#include "StringTable.h"
#include "UiTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace {

// A language file with the two texts the box looks up; `productName` is XML-escaped already.
std::string LanguageFile(const std::string& productName) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<strings>\n"
           "<string strid=\"idd_production_local_name\"><text code=\"en\" lang=\"English\">" +
           productName +
           "</text></string>\n"
           "<string strid=\"idc_about\"><text code=\"en\" lang=\"English\">About</text></string>\n"
           "</strings>\n";
}

QLabel* Line(AboutBox& box, const char* name) {
    return box.findChild<QLabel*>(QString::fromLatin1(name));
}

// True when the label's whole text fits in the place the box gives it.
bool ShownWhole(AboutBox& box, QLabel* label) {
    return label->sizeHint().width() <= label->width() && box.rect().contains(label->geometry());
}

struct TextCase {
    const char* name;
    std::string productInFile; // as written in the XML
    QString productLine;
    QString caption;
};

TEST(AboutBoxTest, LinesAndCaptionFromLanguageFileAndOwnVersionBlock) {
    const TextCase cases[] = {
        {"plain name", "Orvanta Ringtone Maker", "Orvanta Ringtone Maker v9.87",
         "About Orvanta Ringtone Maker"},
        {"format and markup characters", "50%s &amp; &lt;b&gt;%d&lt;/b&gt;",
         "50%s & <b>%d</b> v9.87", "About 50%s & <b>%d</b>"},
    };
    for (const TextCase& row : cases) {
        SCOPED_TRACE(row.name);
        ScopedStringTable strings(LanguageFile(row.productInFile), "en");
        ASSERT_TRUE(strings.loaded());
        AboutBox box;

        QLabel* product = Line(box, "productLine");
        QLabel* legal = Line(box, "legalLine");
        ASSERT_NE(product, nullptr);
        ASSERT_NE(legal, nullptr);
        EXPECT_EQ(product->text(), row.productLine);
        EXPECT_EQ(legal->text(), "Copyright (C) Test TM Test");
        EXPECT_EQ(box.windowTitle(), row.caption);
        // Shown as written: no markup, and "&" is no mnemonic, so the label is as wide as the
        // literal text.
        EXPECT_EQ(product->textFormat(), Qt::PlainText);
        EXPECT_GE(product->sizeHint().width(),
                  product->fontMetrics().horizontalAdvance(row.productLine));
        EXPECT_TRUE(ShownWhole(box, product));
        EXPECT_TRUE(ShownWhole(box, legal));
    }
}

TEST(AboutBoxTest, WithoutLanguageFileOnlyTheVersionFacts) {
    StringTable::Release();
    AboutBox box;

    EXPECT_EQ(Line(box, "productLine")->text(), " v9.87");
    EXPECT_EQ(Line(box, "legalLine")->text(), "Copyright (C) Test TM Test");
    EXPECT_EQ(box.windowTitle(), " ");
}

TEST(AboutBoxTest, LongNameWidensTheBoxInsteadOfBeingCut) {
    ScopedStringTable strings(LanguageFile(std::string(40, 'W') + " Ringtone Maker"), "en");
    AboutBox ordinary;
    ScopedStringTable longer(LanguageFile(std::string(120, 'W') + " Ringtone Maker"), "en");
    AboutBox box;

    QLabel* product = Line(box, "productLine");
    EXPECT_TRUE(ShownWhole(box, product));
    EXPECT_GT(box.width(), ordinary.width());
    const auto* ok = box.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_FALSE(ok->geometry().intersects(product->geometry()));
    EXPECT_FALSE(ok->geometry().intersects(Line(box, "legalLine")->geometry()));
    EXPECT_TRUE(box.rect().contains(ok->geometry()));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed size";
}

TEST(AboutBoxTest, OkButtonAndEnterClose) {
    const std::pair<const char*, std::function<void(AboutBox&, QPushButton*)>> ways[] = {
        {"click", [](AboutBox&, QPushButton* ok) { QTest::mouseClick(ok, Qt::LeftButton); }},
        {"enter", [](AboutBox& box, QPushButton*) { QTest::keyClick(&box, Qt::Key_Return); }},
    };
    for (const auto& [name, close] : ways) {
        SCOPED_TRACE(name);
        AboutBox box;
        auto* ok = box.findChild<QPushButton*>();
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->isDefault());
        box.show();
        ASSERT_TRUE(box.isVisible());

        close(box, ok);

        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.result(), QDialog::Accepted);
    }
}

} // namespace
