#include "ProgressDialog.h"

#include "AppMainWindow.h"
#include "AppProfile.h"
#include "ControlText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

constexpr int kMargin = 10;
constexpr int kMessageWidth = 390;
constexpr int kInitialHeight = 130;
constexpr qsizetype kMaxMessageLength = 511;

// Whole per cent of the way from lower to upper, halves rounded up. In 64 bits, since a count
// of sample frames times 100 overflows 32 bits after a few minutes of audio.
int PercentOf(int position, int lower, int upper) {
    if (upper <= lower) {
        return 0;
    }
    const int64_t span = int64_t{upper} - lower;
    const int64_t doubled = (int64_t{position} - lower) * 200 + span;
    const int64_t denominator = 2 * span;
    int64_t percent = doubled / denominator;
    // Floor, not truncation, for a position below the lower bound.
    if (doubled % denominator != 0 && doubled < 0) {
        --percent;
    }
    return static_cast<int>(std::clamp<int64_t>(percent, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// The first `limit` characters; a character outside the basic plane is never split.
QString CutAt(const QString& text, qsizetype limit) {
    qsizetype end = 0;
    for (qsizetype count = 0; end < text.size() && count < limit; ++count) {
        const bool pair =
            text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

// Qt drops a "[*]" in a title (its modified-document mark) unless it is doubled.
QString LiteralTitle(QString title) {
    return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

} // namespace

ProgressDialog::ProgressDialog()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint) {
    setCursor(Qt::BusyCursor);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Button));
    setPalette(background);
    setFont(QApplication::font("QMessageBox"));
}

ProgressDialog::ProgressDialog(const std::string& title, const std::string& cancelLabel)
    : ProgressDialog() {
    m_title = QString::fromStdString(title);
    m_cancelLabel = QString::fromStdString(cancelLabel);
    Create(AppMainWindow(), title);
}

ProgressDialog::~ProgressDialog() {
    Destroy();
}

bool ProgressDialog::Create(QWidget* owner, const std::string& title) {
    m_owner = owner;
    m_title = QString::fromStdString(title);
    if (m_message == nullptr) {
        CreateControls();
    }
    m_cancelButton->setText(m_cancelLabel);
    m_cancelButton->setAccessibleName(PlainText(m_cancelLabel.toStdString()));
    setWindowTitle(LiteralTitle(m_title));
    // The title bar adds the percentage; a screen reader names the window by the task alone.
    setAccessibleName(m_title);
    setGeometry(0, 0, kMessageWidth, kInitialHeight);
    ResizeToContents(m_lines, kMessageWidth);
    m_created = true;
    m_positioned = false;
    m_activated = false;
    m_sincePump.invalidate();
    // Placed before the native window exists, the point is the frame's corner, as pos() reports
    // it at SaveSettings. Placed after, it would be taken for the inside corner before the window
    // manager has put a frame round it, and every use would move the window up by a title bar.
    const bool placed = m_persistent && MoveToSavedPlace();
    // The native window must exist before it can be made to belong to the owner's.
    create();
    if (owner != nullptr && owner->window()->windowHandle() != nullptr) {
        windowHandle()->setTransientParent(owner->window()->windowHandle());
    }
    // Centred once the window exists, so that its frame is measured as well.
    if (!placed) {
        Center();
    }
    show();
    return true;
}

void ProgressDialog::CreateControls() {
    m_message = new QLabel(this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(false);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    m_cancelButton = new QPushButton(this);
    connect(m_cancelButton, &QPushButton::clicked, this, &ProgressDialog::OnCancel);
    // Cancel gestures are caught before the controls see them, wherever the focus is.
    installEventFilter(this);
    for (QWidget* control : {static_cast<QWidget*>(m_message), static_cast<QWidget*>(m_bar),
                             static_cast<QWidget*>(m_cancelButton)}) {
        control->installEventFilter(this);
    }
}

bool ProgressDialog::GoModal(const std::string& title, const std::string& cancelLabel) {
    if (!m_created && !Create(AppMainWindow(), title)) {
        return false;
    }
    // A second call finds the owner already disabled and must not forget whom to re-enable.
    if (!m_modal) {
        QWidget* last = nullptr;
        for (QWidget* window = m_owner; window != nullptr && window->isEnabled();
             window = window->parentWidget()) {
            last = window;
        }
        if (last != nullptr) {
            last->setEnabled(false);
            m_disabledAncestor = last;
        }
    }
    m_cancelLabel = QString::fromStdString(cancelLabel);
    setEnabled(true);
    m_modal = true;
    return true;
}

void ProgressDialog::SetRange(int lower, int upper) {
    if (!m_created) {
        return;
    }
    m_bar->setRange(lower, upper);
    m_lower = lower;
    m_upper = upper;
    m_barStep = std::max<int64_t>(1, (int64_t{upper} - lower) / kBarResolution);
    m_barValueSet = false;
    // A phase that takes over the window shows its own percentage from its first step, even
    // when it equals the one the previous phase left in the title.
    if (m_positioned) {
        m_previousPercent = -1;
    }
}

int ProgressDialog::SetPos(int position) {
    if (!m_created) {
        return m_previousPosition;
    }
    Show();
    const int previous = m_previousPosition;
    m_previousPosition = position;
    m_positioned = true;
    const int percent = PercentOf(position, m_lower, m_upper);
    if (percent != m_previousPercent) {
        m_previousPercent = percent;
        UpdateTitle(percent);
    }
    MoveBar(position);
    return previous;
}

void ProgressDialog::MoveBar(int position) {
    // Setting the bar's value costs more than a block of the work (the bar works out its whole
    // look each time), and the loops report every block: move it only by visible amounts.
    if (m_barValueSet && std::abs(int64_t{position} - m_bar->value()) < m_barStep &&
        position != m_upper && position != m_lower) {
        return;
    }
    m_barValueSet = true;
    m_bar->setValue(position);
}

void ProgressDialog::UpdateTitle(int percent) {
    setWindowTitle(LiteralTitle(m_title) + QStringLiteral(" [") + QString::number(percent) +
                   QStringLiteral("%]"));
}

void ProgressDialog::SetText(const std::string& text) {
    if (!m_created) {
        return;
    }
    m_message->setText(CutAt(QString::fromStdString(text), kMaxMessageLength));
    m_bar->setAccessibleName(m_message->text());
}

std::string ProgressDialog::Message() const {
    return m_message != nullptr ? m_message->text().toStdString() : std::string();
}

int ProgressDialog::PeekAndPump(bool cancelOnEscape) {
    // However the cancel came (a gesture, the button's own command, a close request), the loop
    // hears of it once; it must stop at that 0.
    const auto reportCancel = [this] {
        if (m_cancelReported) {
            return 1;
        }
        m_cancelReported = true;
        return 0;
    };
    if (m_cancelled) {
        return reportCancel();
    }
    m_cancelOnEscape = cancelOnEscape;
    ActivateOnce();
    if (!PumpWhenDue()) {
        return 0;
    }
    // A gesture may also have arrived outside the pump, through an event sent straight to us.
    if (m_cancelRequested) {
        m_cancelRequested = false;
        OnCancel();
    }
    return m_cancelled ? reportCancel() : 1;
}

// Only as the window opens: taking the focus on later steps would steal it back from whatever
// window the user turned to while the work goes on.
void ProgressDialog::ActivateOnce() {
    if (m_modal && m_created && !m_activated) {
        m_activated = true;
        activateWindow();
        setFocus();
    }
}

bool ProgressDialog::PumpWhenDue() {
    if (m_sincePump.isValid() && !m_sincePump.hasExpired(kPumpIntervalMs)) {
        return true;
    }
    m_sincePump.start();
    const QPointer<ProgressDialog> alive(this);
    QCoreApplication::processEvents();
    return !alive.isNull();
}

bool ProgressDialog::eventFilter(QObject* watched, QEvent* event) {
    if (IsCancelGesture(watched, event)) {
        // The button would stay pressed without the release it never sees.
        m_cancelButton->setDown(false);
        m_cancelRequested = true;
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool ProgressDialog::IsCancelGesture(QObject* watched, QEvent* event) const {
    if (event->type() == QEvent::KeyPress) {
        return m_cancelOnEscape && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    }
    if (event->type() == QEvent::MouseButtonRelease && m_modal && watched == m_cancelButton) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        return mouse->button() == Qt::LeftButton &&
               m_cancelButton->rect().contains(mouse->position().toPoint());
    }
    return false;
}

// The window has no close box, but a window manager can still ask; that is a cancel too.
void ProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnCancel();
}

void ProgressDialog::OnCancel() {
    if (m_persistent) {
        SaveSettings();
    }
    m_cancelled = true;
    Hide();
    // A modal window needs no close request: the loop stops at the step that reports the
    // cancel, and the end function of its phase destroys the window.
    if (QWidget* main = AppMainWindow()) {
        main->raise();
        main->activateWindow();
    }
}

void ProgressDialog::Hide() {
    if (m_created && isVisible()) {
        hide();
    }
}

void ProgressDialog::Show() {
    if (m_created && isHidden()) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        show();
        repaint();
    }
}

void ProgressDialog::Destroy() {
    if (m_created && m_persistent) {
        SaveSettings();
    }
    if (m_modal) {
        m_modal = false;
        if (m_disabledAncestor) {
            m_disabledAncestor->setEnabled(true);
        }
        m_disabledAncestor = nullptr;
    }
    if (m_created) {
        hide();
        m_created = false;
    }
}

void ProgressDialog::SaveSettings() {
    if (!m_created) {
        return;
    }
    AppProfile::WriteInt(AppProfile::kSettingsSection, AppProfile::kXKey, pos().x());
    AppProfile::WriteInt(AppProfile::kSettingsSection, AppProfile::kYKey, pos().y());
}

void ProgressDialog::RestoreSettings() {
    if (!MoveToSavedPlace()) {
        Center();
    }
}

bool ProgressDialog::MoveToSavedPlace() {
    const QPoint corner(AppProfile::GetInt(AppProfile::kSettingsSection, AppProfile::kXKey, -1),
                        AppProfile::GetInt(AppProfile::kSettingsSection, AppProfile::kYKey, -1));
    // A place on another screen, or on one that is gone, is of no use where the user looks now.
    const QScreen* screen = HomeScreen();
    if (corner.x() < 0 || corner.y() < 0 || screen == nullptr ||
        !screen->availableGeometry().contains(corner)) {
        return false;
    }
    move(corner);
    return true;
}

void ProgressDialog::Center() {
    const QScreen* screen = HomeScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

QScreen* ProgressDialog::HomeScreen() const {
    return m_owner != nullptr ? m_owner->window()->screen() : QGuiApplication::primaryScreen();
}

void ProgressDialog::ResizeToContents(int lines, int width) {
    const QFontMetrics metrics(font());
    const int edge = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const QString rows =
        QStringList(std::max(lines, 1), QStringLiteral("M")).join(QLatin1Char('\n'));
    const int messageHeight =
        metrics.boundingRect(QRect(0, 0, width, 0), Qt::AlignLeft | Qt::TextDontClip, rows)
            .height();
    m_message->setGeometry(kMargin, kMargin, width, messageHeight);

    const int buttonWidth =
        metrics.horizontalAdvance(m_cancelLabel + QStringLiteral("  ")) + 4 * edge;
    const int buttonHeight = metrics.height() + 3 * edge;
    const int buttonLeft = kMargin + width - buttonWidth;
    const int buttonTop = kMargin + messageHeight + kMargin;
    m_cancelButton->setGeometry(buttonLeft, buttonTop, buttonWidth, buttonHeight);
    m_bar->setGeometry(kMargin, buttonTop + edge, buttonLeft - kMargin - kMargin,
                       buttonHeight - 2 * edge);

    setFixedSize(width + 2 * kMargin, buttonTop + buttonHeight + kMargin);
}
