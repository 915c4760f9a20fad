#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QScreen;

// The small window behind the engine's long loops. The loops run on the user-interface thread,
// so each block of work calls SetPos and then PeekAndPump, which keeps the windows alive and
// tells the loop whether the user pressed Cancel or Escape. While modal it disables the main
// window, so no second job can start meanwhile.
//
// A top-level window of its own, never a child: a disabled Qt parent would disable it too. It
// belongs to the main window as a transient window instead.
class ProgressDialog : public QWidget {
    Q_OBJECT

public:
    // A dialog with the default title and Cancel label and no window yet; GoModal creates it.
    ProgressDialog();
    // Takes the title and the Cancel label and shows the window, owned by the main window.
    ProgressDialog(const std::string& title, const std::string& cancelLabel);
    ~ProgressDialog() override;
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // Builds the window and its controls, places and shows it. Qt's bar has no segmented style
    // to choose from, so there is no smooth flag.
    bool Create(QWidget* owner, const std::string& title);
    // Creates the window if needed and disables the owner chain until Destroy.
    bool GoModal(const std::string& title, const std::string& cancelLabel);

    // Qt's bar moves only by positions, so there is no step to set.
    void SetRange(int lower, int upper);
    // Moves the bar; returns the previous position.
    int SetPos(int position);
    // Shown as it stands (no formatting, no markup), cut at 511 characters.
    void SetText(const std::string& text);
    // 0 exactly once after the user cancelled, else 1. Handles the pending events, but at most
    // every kPumpIntervalMs: the loops call it for every block of work, hundreds of thousands of
    // times for a long source, and pumping each time would slow the work down.
    int PeekAndPump(bool cancelOnEscape);
    static constexpr qint64 kPumpIntervalMs = 15;

    void OnCancel();
    void Hide();
    void Show();
    // Saves the position, re-enables what GoModal disabled and takes the window down.
    void Destroy();
    void SaveSettings();
    void RestoreSettings();
    // Lays out `lines` lines of message `width` pixels wide, the button and the bar beside it.
    void ResizeToContents(int lines, int width);

    bool IsCreated() const { return m_created; }
    bool IsCancelled() const { return m_cancelled; }
    int UpperBound() const { return m_upper; }
    std::string Message() const;
    QPushButton* CancelButton() const { return m_cancelButton; }
    const QProgressBar* ProgressBar() const { return m_bar; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void Center();
    // Moves the window to the place saved in the settings; false when none fits the home screen.
    bool MoveToSavedPlace();
    // The screen that holds the main window, the primary one without a main window.
    QScreen* HomeScreen() const;
    void UpdateTitle(int percent);
    void MoveBar(int position);
    void ActivateOnce();
    // Handles the pending events unless that was done less than kPumpIntervalMs ago; false when
    // one of them destroyed this window.
    bool PumpWhenDue();
    bool IsCancelGesture(QObject* watched, QEvent* event) const;

    QLabel* m_message = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPointer<QWidget> m_owner;
    QPointer<QWidget> m_disabledAncestor;
    int m_lines = 4;
    int m_previousPosition = 0;
    int m_previousPercent = 0;
    // The bar moves in steps of 1/kBarResolution of its range, finer than any bar is wide.
    static constexpr int64_t kBarResolution = 2000;
    int64_t m_barStep = 1;
    bool m_barValueSet = false; // since the range was last set
    int m_lower = 0;
    int m_upper = 100;
    QString m_title = QStringLiteral("Progress");
    QString m_cancelLabel = QStringLiteral(" Cancel ");
    bool m_created = false;
    bool m_cancelled = false;
    bool m_modal = false;
    bool m_persistent = true;
    bool m_positioned = false;      // a position was set since the window was created
    bool m_cancelOnEscape = true;   // as asked by the latest PeekAndPump
    bool m_cancelRequested = false; // a gesture seen while events were pumped
    bool m_cancelReported = false;  // a PeekAndPump has returned 0 for the cancel
    bool m_activated = false;       // the window took the focus once since it was created
    QElapsedTimer m_sincePump;      // invalid until the first pump of this window
};
