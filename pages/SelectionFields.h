#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QLabel;
class QLineEdit;

// "m:ss.mmm", or "h:mm:ss.mmm" when `withHours` (songs of an hour or more).
std::string FormatSelectionTime(std::int64_t ms, bool withHours);
// A typed time in ms: seconds ("12.345", "12,345"), "m:ss.mmm" or "h:mm:ss.mmm", up to three
// decimals, nothing negative. nullopt for anything else.
std::optional<int32_t> ParseSelectionTime(std::string_view text);

// The selection's Start, End and Length as time fields, with a quiet hint on the length (a label
// of the parent's). A typed
// value counts when it is confirmed (Enter or leaving the field): a valid one is announced by
// selectionTyped, exact to the millisecond; a refused one marks its field, which keeps its old
// value, and the hint says why.
class SelectionFields : public QWidget {
    Q_OBJECT

public:
    // Longer than this many phones cut or refuse; shorter is hardly a ringtone.
    static constexpr int32_t kLongSelectionMs = 30000;
    static constexpr int32_t kShortSelectionMs = 1000;

    explicit SelectionFields(QWidget* parent = nullptr);

    // Labels, accessible names and tooltips in the current language; lays the row out again.
    void SetTexts();
    // The song's length: what typed times are clamped to, and whether hours are shown.
    void SetSongLength(int32_t ms);
    // Shows start and end. Typed values keep the other end at `basis` when given (the times the
    // user chose, where the shown ones were moved to zero crossings).
    void ShowSelection(int32_t startMs, int32_t endMs,
                       std::optional<std::pair<int32_t, int32_t>> basis = std::nullopt);
    QString Hint() const;
    // The hint is a child of the fields' parent, which places it where there is room for a line.
    QLabel* HintLabel() const { return m_hint; }
    QLineEdit* FieldAt(int index) const { return m_fields[index]; }
    // The three fields as a screen reader says them: "Start: 0:01.000, End: ..., Length: ...".
    QString Summary() const;

signals:
    void selectionTyped(int32_t startMs, int32_t endMs);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    enum Field { kStart, kEnd, kLength, kFieldCount };

    void OnConfirmed(Field field);
    void Refuse(Field field, const char* reasonId);
    void ShowLengthHint();
    void Arrange();

    QLabel* m_labels[kFieldCount];
    QLineEdit* m_fields[kFieldCount];
    QLabel* m_hint;
    int32_t m_songMs = 0;
    // What the fields show, and the ends an edit keeps.
    int32_t m_shown[3] = {};
    int32_t m_startMs = 0;
    int32_t m_endMs = 0;
};
