#include "SelectionFields.h"

#include "ControlText.h"
#include "StringTable.h"

#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <vector>

namespace {

constexpr int kFieldWidth = 92;
constexpr int kRowHeight = 22;
constexpr int kGap = 6;
constexpr int kGroupGap = 14;
constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr std::int64_t kMsPerHour = 60 * kMsPerMinute;

QString QText(const char* identifier) {
    return QString::fromStdString(StringTable::Instance().Lookup(identifier));
}

std::optional<std::int64_t> Digits(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty() || text.size() > 9 ||
        std::from_chars(text.data(), text.data() + text.size(), value).ptr !=
            text.data() + text.size() ||
        text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    return value;
}

// "ss" or "ss.mmm" (comma or point, up to three decimals) in ms.
std::optional<std::int64_t> SecondsPart(std::string_view text) {
    const std::size_t point = text.find_first_of(".,");
    const std::optional<std::int64_t> whole = Digits(text.substr(0, point));
    if (!whole) {
        return std::nullopt;
    }
    if (point == std::string_view::npos) {
        return *whole * kMsPerSecond;
    }
    const std::string_view decimals = text.substr(point + 1);
    const std::optional<std::int64_t> fraction = Digits(decimals);
    if (!fraction || decimals.size() > 3) {
        return std::nullopt;
    }
    std::int64_t ms = *fraction;
    for (std::size_t i = decimals.size(); i < 3; ++i) {
        ms *= 10;
    }
    return *whole * kMsPerSecond + ms;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::string FormatSelectionTime(std::int64_t ms, bool withHours) {
    ms = std::max<std::int64_t>(ms, 0);
    const std::int64_t hours = ms / kMsPerHour;
    const std::int64_t minutes = withHours ? ms / kMsPerMinute % 60 : ms / kMsPerMinute;
    // Room for the widest 64-bit value in every field, which GCC's format check counts.
    char text[64];
    const int seconds = static_cast<int>(ms / kMsPerSecond % 60);
    const int millis = static_cast<int>(ms % kMsPerSecond);
    if (withHours) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02d.%03d", static_cast<long long>(hours),
                      static_cast<long long>(minutes), seconds, millis);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02d.%03d", static_cast<long long>(minutes), seconds,
                      millis);
    }
    return text;
}

std::optional<int32_t> ParseSelectionTime(std::string_view text) {
    text = Trimmed(text);
    std::vector<std::string_view> parts;
    for (std::size_t colon = text.find(':'); colon != std::string_view::npos;
         colon = text.find(':')) {
        parts.push_back(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    parts.push_back(text);
    if (parts.size() > 3) {
        return std::nullopt;
    }
    std::optional<std::int64_t> ms = SecondsPart(parts.back());
    // Seconds under a minute and minutes under an hour once a larger unit stands before them.
    if (!ms || (parts.size() > 1 && *ms >= kMsPerMinute)) {
        return std::nullopt;
    }
    const std::int64_t units[] = {kMsPerMinute, kMsPerHour};
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::optional<std::int64_t> value = Digits(parts[parts.size() - 1 - i]);
        if (!value || (i == 1 && parts.size() == 3 && *value >= 60)) {
            return std::nullopt;
        }
        *ms += *value * units[i - 1];
    }
    if (*ms > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*ms);
}

SelectionFields::SelectionFields(QWidget* parent) : QWidget(parent) {
    const char* const names[] = {"selectionStart", "selectionEnd", "selectionLength"};
    for (int i = 0; i < kFieldCount; ++i) {
        m_labels[i] = new QLabel(this);
        m_fields[i] = new QLineEdit(this);
        m_fields[i]->setObjectName(names[i]);
        m_labels[i]->setBuddy(m_fields[i]);
        const auto field = static_cast<Field>(i);
        connect(m_fields[i], &QLineEdit::editingFinished, this,
                [this, field] { OnConfirmed(field); });
    }
    m_hint = new QLabel(parent != nullptr ? parent : this);
    m_hint->setObjectName("selectionHint");
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_hint->setForegroundRole(QPalette::PlaceholderText);
}

void SelectionFields::SetTexts() {
    const char* const labels[] = {"idd_selection_start", "idd_selection_end",
                                  "idd_selection_length"};
    for (int i = 0; i < kFieldCount; ++i) {
        const std::string label = StringTable::Instance().Lookup(labels[i]);
        m_labels[i]->setText(ControlText(label));
        m_fields[i]->setAccessibleName(PlainText(label));
        m_fields[i]->setToolTip(QText("idd_selection_time_format"));
    }
    m_hint->setAccessibleName(PlainText(StringTable::Instance().Lookup("idd_selection_length")));
    Arrange();
}

QString SelectionFields::Summary() const {
    QStringList parts;
    for (int i = 0; i < kFieldCount; ++i) {
        parts << m_fields[i]->accessibleName() + QLatin1Char(' ') + m_fields[i]->text();
    }
    return parts.join(QStringLiteral(", "));
}

// Each label as wide as its text, so longer translations push the row along instead of being cut.
void SelectionFields::Arrange() {
    int x = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        const int labelWidth = m_labels[i]->sizeHint().width();
        const int top = std::max(height() - kRowHeight, 0) / 2;
        m_labels[i]->setGeometry(x, top, labelWidth, kRowHeight);
        x += labelWidth + kGap;
        m_fields[i]->setGeometry(x, top, kFieldWidth, kRowHeight);
        x += kFieldWidth + kGroupGap;
    }
}

void SelectionFields::SetSongLength(int32_t ms) {
    m_songMs = std::max(ms, 0);
}

void SelectionFields::ShowSelection(int32_t startMs, int32_t endMs,
                                    std::optional<std::pair<int32_t, int32_t>> basis) {
    m_shown[kStart] = startMs;
    m_shown[kEnd] = endMs;
    m_shown[kLength] = endMs - startMs;
    std::tie(m_startMs, m_endMs) = basis.value_or(std::pair{startMs, endMs});
    const bool hours = m_songMs >= kMsPerHour;
    for (int i = 0; i < kFieldCount; ++i) {
        m_fields[i]->setText(QString::fromStdString(FormatSelectionTime(m_shown[i], hours)));
        m_fields[i]->setStyleSheet(QString());
        m_fields[i]->setToolTip(QText("idd_selection_time_format"));
    }
    ShowLengthHint();
}

void SelectionFields::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Arrange();
}

QString SelectionFields::Hint() const {
    return m_hint->text();
}

void SelectionFields::ShowLengthHint() {
    const int32_t length = m_shown[kLength];
    m_hint->setStyleSheet(QString());
    m_hint->setText(length > kLongSelectionMs    ? QText("idd_selection_long")
                    : length < kShortSelectionMs ? QText("idd_selection_short")
                                                 : QString());
    m_hint->setToolTip(m_hint->text());
}

// Out of the song a time is clamped to it; what would leave no selection is refused.
void SelectionFields::OnConfirmed(Field field) {
    const std::string typed = m_fields[field]->text().toStdString();
    if (typed == FormatSelectionTime(m_shown[field], m_songMs >= kMsPerHour)) {
        return; // confirmed as it was: nothing to do
    }
    const std::optional<int32_t> value = ParseSelectionTime(typed);
    if (!value) {
        Refuse(field, "idd_selection_not_a_time");
        return;
    }
    if (field == kLength && *value == 0) {
        Refuse(field, "idd_selection_empty");
        return;
    }
    const int32_t time = std::min(*value, m_songMs);
    int32_t start = field == kStart ? time : m_startMs;
    int32_t end = field == kEnd ? time : m_endMs;
    if (field == kLength) {
        end = static_cast<int32_t>(std::min<std::int64_t>(std::int64_t{start} + *value, m_songMs));
    }
    if (end <= start) {
        Refuse(field, field == kLength ? "idd_selection_empty" : "idd_selection_order");
        return;
    }
    emit selectionTyped(start, end);
}

void SelectionFields::Refuse(Field field, const char* reasonId) {
    const QString typed = m_fields[field]->text();
    ShowSelection(m_shown[kStart], m_shown[kEnd], std::pair{m_startMs, m_endMs});
    m_fields[field]->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #c00000; }"));
    m_fields[field]->setToolTip(QText(reasonId) + QStringLiteral(": ") + typed);
    m_hint->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_hint->setText(QText(reasonId));
    m_hint->setToolTip(m_hint->text());
}
