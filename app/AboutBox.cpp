#include "AboutBox.h"

#include "ControlText.h"
#include "Resources.h"
#include "StringTable.h"
#include "pxmisc/CMiscFunc.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <string>

namespace {

// The box was laid out in dialog units; these are their sizes in pixels.
int HorizontalUnits(int units) {
    return static_cast<int>(std::lround(units * 1.5));
}

int VerticalUnits(int units) {
    return static_cast<int>(std::lround(units * 1.625));
}

QRect UnitRect(int x, int y, int width, int height) {
    return {HorizontalUnits(x), VerticalUnits(y), HorizontalUnits(width), VerticalUnits(height)};
}

constexpr int kIconPixels = 32;

std::string OwnVersionEntry(const char* key) {
    return CMiscFunc::GetAppVersion(CMiscFunc::GetExePathName().c_str(), key);
}

QLabel* MakeLine(const QString& name, QWidget* parent) {
    auto* line = new QLabel(parent);
    line->setObjectName(name);
    // Translations and version texts show as they stand: no markup, no mnemonics.
    line->setTextFormat(Qt::PlainText);
    return line;
}

} // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent), m_icon(new QLabel(this)),
      m_productLine(MakeLine(QStringLiteral("productLine"), this)),
      m_legalLine(MakeLine(QStringLiteral("legalLine"), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)) {
    m_icon->setPixmap(ProgramIcon().pixmap(kIconPixels, kIconPixels));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    FillTexts();
    LayOut();
}

void AboutBox::FillTexts() {
    const std::string product = StringTable::Instance().Lookup("idd_production_local_name");
    const std::string version = OwnVersionEntry("ProductVersion");
    const std::string legal = OwnVersionEntry("LegalCopyright");
    const std::string trademarks = OwnVersionEntry("LegalTrademarks");
    const std::string about = StringTable::Instance().Lookup("idc_about");
    m_productLine->setText(QString::fromStdString(product + " v" + version));
    m_legalLine->setText(QString::fromStdString(legal + " " + trademarks));
    setWindowTitle(PlainText(about) + " " + QString::fromStdString(product));
}

// The arrangement of the original box, widened by as much as the longer line needs, so that a
// long product name or translation is never cut off; the OK button moves right with it.
void AboutBox::LayOut() {
    QRect product = UnitRect(40, 10, 177, 8);
    QRect legal = UnitRect(40, 25, 174, 8);
    QRect ok = UnitRect(229, 7, 50, 14);
    const QSize productNeeds = m_productLine->sizeHint();
    const QSize legalNeeds = m_legalLine->sizeHint();
    const int widening =
        std::max({0, productNeeds.width() - product.width(), legalNeeds.width() - legal.width()});
    product.setWidth(product.width() + widening);
    product.setHeight(std::max(product.height(), productNeeds.height()));
    legal.setWidth(legal.width() + widening);
    legal.setHeight(std::max(legal.height(), legalNeeds.height()));
    ok.translate(widening, 0);

    m_icon->setGeometry(HorizontalUnits(11), VerticalUnits(17), kIconPixels, kIconPixels);
    m_productLine->setGeometry(product);
    m_legalLine->setGeometry(legal);
    m_ok->setGeometry(ok);
    setFixedSize(HorizontalUnits(286) + widening, VerticalUnits(64));
}
