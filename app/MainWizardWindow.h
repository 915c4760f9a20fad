#pragma once

#include <QDialog>
#include <memory>
#include <string>

class BitmapButton;
class QMenu;
class QMenuBar;
class ProgressDialog;
class WizardPage;
class WizardTabControl;

// The three pages the wizard walks through, in tab order.
struct WizardPages {
    std::unique_ptr<WizardPage> importPage;
    std::unique_ptr<WizardPage> editPage;
    std::unique_ptr<WizardPage> savePage;
};

// The program's only main window: the three wizard pages under a tab strip, Previous and Next
// below, and the help and language menus. Closing asks first; destroying it removes the job's
// temporary files.
class MainWizardWindow : public QDialog {
    Q_OBJECT

public:
    // The menu commands, with the values the window's menus have always carried.
    enum Command : int {
        kAboutCommand = 16,
        kFirstLanguageCommand = 1024,
        kHomePageCommand = 1224,
        kFeedbackCommand = 1225,
    };

    MainWizardWindow(WizardPages pages, QWidget* parent = nullptr);
    ~MainWizardWindow() override;

    // Asks "quit?" unless an update is closing the program, and closes on Yes.
    void ConfirmExit();
    // Tells the user the new language comes at the next start and stores it.
    void ChangeLanguage(const std::string& code);
    // Runs a menu command.
    void OnSysCommand(int command);
    void OnPrevious();
    void OnNext();

    WizardTabControl* TabControl() const { return m_tabControl; }
    BitmapButton* PreviousButton() const { return m_previous; }
    BitmapButton* NextButton() const { return m_next; }
    QMenu* HelpMenu() const { return m_helpMenu; }
    QMenu* LanguageMenu() const { return m_languageMenu; }

public slots:
    // Enter and Escape must not end the wizard: only the close request does.
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConfirmExitDuringStep(ProgressDialog* progress);
    void BuildMenus();
    void BuildLanguageMenu();
    void SetUpButtons();
    void ArrangeClient();
    void RestorePlace();
    void AddPages(WizardPages pages);
    void SetTabImages();
    void UpdateLanguageChecks();
    QAction* AddCommand(QMenu* menu, const std::string& text, int command);

    QMenuBar* m_menuBar;
    QWidget* m_client;
    QMenu* m_helpMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    BitmapButton* m_previous;
    BitmapButton* m_next;
    WizardTabControl* m_tabControl;
    // Declared last, so the pages go before the tab control that removes the job's files.
    WizardPages m_pages;
};

// What the pages change on the main window. `which` non-zero means Previous, zero Next; nothing
// happens when there is no main wizard window.
void SetWizardButtonText(int which, const std::string& text);
void ShowWizardButton(int which, bool show);
