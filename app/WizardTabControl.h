#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

class QTabBar;
class WizardPage;

// The tab strip and frame that hold the wizard's pages. The tabs only show where the user is:
// clicks and keys on them are refused, so pages change through Previous and Next alone, and
// every change asks the current page first.
class WizardTabControl : public QWidget {
    Q_OBJECT

public:
    explicit WizardTabControl(QWidget* parent = nullptr);
    // Removes the job's temporary files, then lets go of the pages.
    ~WizardTabControl() override;

    // Appends a tab for `page`, which becomes a child of this control; -1 when there is no page.
    // Only tab 0's page is shown at once. A page added without `deleteWithControl` outlives the
    // control.
    int AddPage(const std::string& title, int pageId, WizardPage* page, bool deleteWithControl);
    // Goes to tab `index` if the current page lets it; false when it does not or there is no
    // such tab. Selecting the current tab calls no page.
    bool SelectPage(int index);

    int CurrentIndex() const { return m_current; }
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    WizardPage* Page(int index) const;
    QTabBar* TabBar() const { return m_tabBar; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PageEntry {
        QPointer<WizardPage> page;
        bool deleteWithControl = false;
        QPointer<QWidget> savedFocus;
        int pageId = 0;
    };

    QRect PageRect() const;
    void LayOut(WizardPage* page) const;
    void RememberFocus(PageEntry& entry) const;

    QTabBar* m_tabBar;
    std::vector<PageEntry> m_pages;
    int m_current = 0;
};
