#include "MainWizardWindow.h"

#include "AboutBox.h"
#include "AppMainWindow.h"
#include "AppProfile.h"
#include "Application.h"
#include "BitmapButton.h"
#include "ControlText.h"
#include "DialogProgressSteps.h"
#include "MessageBox.h"
#include "ProgramExit.h"
#include "ProgressDialog.h"
#include "Resources.h"
#include "StringTable.h"
#include "WizardPage.h"
#include "WizardTabControl.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTabBar>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

namespace {

// The window's designed arrangement, in pixels: its dialog-unit layout at 1.5 px across and
// 1.625 px down. It is the smallest size; the tab control takes any growth.
constexpr QSize kClientSize{700, 504};
constexpr QSize kButtonSize{170, 29};
constexpr QRect kTabRect{10, 11, 680, 426};
constexpr int kButtonGap = 20;
constexpr int kBottomMargin = 18;
constexpr const char* kGeometryKey = "Window/Geometry";

// Image and text placement of the arrow buttons: left or right, centred
// vertically.
constexpr int kAlignLeftMiddle = 4;
constexpr int kAlignRightMiddle = 6;

const char* const kHomePageUrl = "https://www.orvanta.example/";
const char* const kFeedbackUrl = "https://www.orvanta.example/contact";

// A looked-up title without its shortcut mark; a literal "&" stays one.
std::string TabTitle(const std::string& text) {
    return PlainText(text).replace('&', QStringLiteral("&&")).toStdString();
}

std::vector<std::string> LanguageCodes() {
    std::vector<std::string> codes;
    std::vector<std::string> names;
    StringTable::Instance().GetLanguages(codes, names);
    return codes;
}

// Previous for a non-zero `which`, else Next; none without a main wizard window.
BitmapButton* WizardButton(int which) {
    const auto* window = qobject_cast<MainWizardWindow*>(AppMainWindow());
    if (window == nullptr) {
        return nullptr;
    }
    return which != 0 ? window->PreviousButton() : window->NextButton();
}

} // namespace

MainWizardWindow::MainWizardWindow(WizardPages pages, QWidget* parent)
    : QDialog(parent), m_menuBar(new QMenuBar(this)), m_client(new QWidget(this)),
      m_previous(new BitmapButton(QStringLiteral("Previous"), m_client)),
      m_next(new BitmapButton(QStringLiteral("Next"), m_client)),
      m_tabControl(new WizardTabControl(m_client)) {
    SetAppMainWindow(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    BuildMenus();
    setWindowIcon(ProgramIcon());
    SetUpButtons();
    setWindowTitle(
        QString::fromStdString(StringTable::Instance().Lookup("idd_production_local_name")));
    AddPages(std::move(pages));
    SetTabImages();
    ArrangeClient();
    RestorePlace();
    // The first page sets up its buttons before the window is ever shown.
    m_tabControl->Page(0)->OnActivate(0);
}

MainWizardWindow::~MainWizardWindow() {
    if (AppMainWindow() == this) {
        SetAppMainWindow(nullptr);
    }
}

void MainWizardWindow::ConfirmExit() {
    if (!Application::IsClosingForUpdate() &&
        ShowMessage(this, StringTable::Instance().Lookup("idd_confirm_exit"),
                    MessageButtons::YesNo) != IDYES) {
        return;
    }
    QSettings().setValue(kGeometryKey, saveGeometry());
    done(QDialog::Accepted);
}

void MainWizardWindow::ChangeLanguage(const std::string& code) {
    ShowMessage(this, StringTable::Instance().Lookup("idd_restart_for_language_changing"),
                MessageButtons::Ok);
    AppProfile::WriteString(AppProfile::kUiSection, AppProfile::kActiveLanguageKey, code);
    UpdateLanguageChecks();
}

void MainWizardWindow::OnSysCommand(int command) {
    if ((command & 0xFFF0) == kAboutCommand) {
        AboutBox about(this);
        about.exec();
        return;
    }
    const std::vector<std::string> codes = LanguageCodes();
    const int language = command - kFirstLanguageCommand;
    if (language >= 0 && language < static_cast<int>(codes.size())) {
        ChangeLanguage(codes[static_cast<std::size_t>(language)]);
    } else if (command == kHomePageCommand) {
        OpenOnDesktop(this, QUrl(QString::fromLatin1(kHomePageUrl)));
    } else if (command == kFeedbackCommand) {
        OpenOnDesktop(this, QUrl(QString::fromLatin1(kFeedbackUrl)));
    }
}

void MainWizardWindow::OnPrevious() {
    m_tabControl->SelectPage(std::max(m_tabControl->CurrentIndex() - 1, 0));
}

void MainWizardWindow::OnNext() {
    const int current = m_tabControl->CurrentIndex();
    m_tabControl->SelectPage(current + 1 < m_tabControl->PageCount() ? current + 1 : 0);
}

void MainWizardWindow::accept() {}

void MainWizardWindow::reject() {}

void MainWizardWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (ProgressDialog* progress = CurrentProgressDialog()) {
        ConfirmExitDuringStep(progress);
        return;
    }
    ConfirmExit();
}

// The request arrives inside a long step, which pumps the events between two blocks of work: the
// question is asked right there, over the progress window, and the step waits for the answer.
// The box blocks the other windows, so no second close request and no Cancel click comes in
// meanwhile. No lets the step go on; Yes stops it, and the window closes once it has unwound.
void MainWizardWindow::ConfirmExitDuringStep(ProgressDialog* progress) {
    if (Application::IsClosingForUpdate() ||
        ShowMessage(progress, StringTable::Instance().Lookup("idd_confirm_exit"),
                    MessageButtons::YesNo) == IDYES) {
        EndProgramWhenIdle();
    }
}

void MainWizardWindow::BuildMenus() {
    m_helpMenu = m_menuBar->addMenu(ControlText(StringTable::Instance().Lookup("idc_help")));
    AddCommand(m_helpMenu, StringTable::Instance().Lookup("idc_page_home"), kHomePageCommand);
    AddCommand(m_helpMenu, StringTable::Instance().Lookup("idc_page_feedback"), kFeedbackCommand);
    m_helpMenu->addSeparator();
    AddCommand(m_helpMenu, StringTable::Instance().Lookup("idc_about"), kAboutCommand);
    m_languageMenu = m_menuBar->addMenu(ControlText(StringTable::Instance().Lookup("idc_anguage")));
    BuildLanguageMenu();
}

void MainWizardWindow::BuildLanguageMenu() {
    std::vector<std::string> codes;
    std::vector<std::string> names;
    StringTable::Instance().GetLanguages(codes, names);
    for (std::size_t index = 0; index < names.size(); ++index) {
        QAction* action = AddCommand(m_languageMenu, names[index],
                                     kFirstLanguageCommand + static_cast<int>(index));
        // A language's own name is shown as written: it marks no shortcut.
        action->setText(QString::fromStdString(names[index]).replace('&', QStringLiteral("&&")));
        action->setCheckable(true);
    }
    UpdateLanguageChecks();
}

QAction* MainWizardWindow::AddCommand(QMenu* menu, const std::string& text, int command) {
    QAction* action = menu->addAction(ControlText(text));
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { OnSysCommand(command); });
    return action;
}

void MainWizardWindow::UpdateLanguageChecks() {
    const std::vector<std::string> codes = LanguageCodes();
    const std::string active = AppProfile::ActiveLanguage();
    const QList<QAction*> actions = m_languageMenu->actions();
    for (qsizetype index = 0; index < actions.size(); ++index) {
        const auto position = static_cast<std::size_t>(index);
        actions[index]->setChecked(position < codes.size() &&
                                   StringTable::SameLanguageCode(codes[position], active));
    }
}

void MainWizardWindow::SetUpButtons() {
    m_next->LoadBitmap(IDB_NEXT, kTransparentColour);
    m_next->SetImageAlignment(kAlignRightMiddle);
    m_next->SetTextAlignment(kAlignLeftMiddle);
    m_previous->LoadBitmap(IDB_PREVIOUS, kTransparentColour);
    m_previous->SetImageAlignment(kAlignLeftMiddle);
    m_previous->SetTextAlignment(kAlignRightMiddle);
    m_previous->setObjectName(QStringLiteral("previous"));
    m_next->setObjectName(QStringLiteral("next"));
    for (BitmapButton* button : {m_previous, m_next}) {
        button->setAutoDefault(false);
        button->setFixedSize(kButtonSize);
    }
    // Enter anywhere on a page that does not take it itself goes on with the page's next step.
    m_next->setDefault(true);
    connect(m_previous, &QPushButton::clicked, this, &MainWizardWindow::OnPrevious);
    connect(m_next, &QPushButton::clicked, this, &MainWizardWindow::OnNext);
}

// The designed arrangement as layouts: its margins and gaps stay, the tab control grows with the
// window.
void MainWizardWindow::ArrangeClient() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->setMenuBar(m_menuBar);
    outer->addWidget(m_client);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_previous);
    buttons->addStretch();
    buttons->addWidget(m_next);
    auto* client = new QVBoxLayout(m_client);
    client->setContentsMargins(kTabRect.x(), kTabRect.y(),
                               kClientSize.width() - kTabRect.right() - 1, kBottomMargin);
    client->setSpacing(kButtonGap);
    client->addWidget(m_tabControl, 1);
    client->addLayout(buttons);
    m_tabControl->setMinimumSize(kTabRect.size());
    const QSize designed(kClientSize.width(),
                         kClientSize.height() + m_menuBar->sizeHint().height());
    setMinimumSize(designed);
    resize(designed);
}

// The size and place the window had when the user last closed it; the designed size the first
// time.
void MainWizardWindow::RestorePlace() {
    const QByteArray stored = QSettings().value(kGeometryKey).toByteArray();
    if (!stored.isEmpty()) {
        restoreGeometry(stored);
    }
}

void MainWizardWindow::AddPages(WizardPages pages) {
    m_pages = std::move(pages);
    StringTable& strings = StringTable::Instance();
    // The tabs only show where the wizard stands: no shortcut may jump past a page's step.
    const auto title = [&strings](const char* id) { return TabTitle(strings.Lookup(id)); };
    m_tabControl->AddPage(title("idd_importing"), 0, m_pages.importPage.get(), false);
    m_tabControl->AddPage(title("idd_editing"), 1, m_pages.editPage.get(), false);
    m_tabControl->AddPage(title("idd_saving"), 2, m_pages.savePage.get(), false);
}

void MainWizardWindow::SetTabImages() {
    const int images[] = {IDB_TAB_IMPORT, IDB_TAB_EDIT, IDB_TAB_SAVE};
    for (int tab = 0; tab < m_tabControl->PageCount(); ++tab) {
        m_tabControl->TabBar()->setTabIcon(tab, QIcon(LoadBitmap(images[tab], kTransparentColour)));
    }
    m_tabControl->TabBar()->setIconSize(QSize(16, 16));
}

void SetWizardButtonText(int which, const std::string& text) {
    if (BitmapButton* button = WizardButton(which)) {
        button->setText(ControlText(text));
    }
}

void ShowWizardButton(int which, bool show) {
    if (BitmapButton* button = WizardButton(which)) {
        button->setVisible(show);
    }
}
