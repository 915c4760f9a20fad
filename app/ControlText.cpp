#include "ControlText.h"

namespace {

// Rewrites each "&" of `text`: `mark` for one that marks a shortcut, `ampersand` for the others.
QString ReplaceAmpersands(const std::string& text, const QString& mark, const QString& ampersand) {
    const QString in = QString::fromStdString(text);
    QString out;
    out.reserve(in.size() + 4);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != QLatin1Char('&')) {
            out += in[i];
        } else if (i + 1 < in.size() && in[i + 1] == QLatin1Char('&')) {
            out += ampersand;
            ++i;
        } else {
            out += i + 1 < in.size() && in[i + 1].isLetterOrNumber() ? mark : ampersand;
        }
    }
    return out;
}

} // namespace

QString ControlText(const std::string& text) {
    return ReplaceAmpersands(text, QStringLiteral("&"), QStringLiteral("&&"));
}

QString PlainText(const std::string& text) {
    return ReplaceAmpersands(text, QString(), QStringLiteral("&"));
}
