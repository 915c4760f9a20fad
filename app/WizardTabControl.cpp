#include "WizardTabControl.h"

#include "ControlText.h"
#include "WizardPage.h"
#include "WorkFiles.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace {

// Every way a tab bar could change its tab by itself: the pages change through the wizard's
// buttons only.
bool IsTabChangingInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return true;
    default:
        return false;
    }
}

// The first child that can take the focus, where the user's typing goes when the page opens.
QWidget* FirstFocusableChild(QWidget* page) {
    const QList<QWidget*> children = page->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (child->focusPolicy() != Qt::NoFocus) {
            return child;
        }
    }
    return nullptr;
}

} // namespace

WizardTabControl::WizardTabControl(QWidget* parent) : QWidget(parent), m_tabBar(new QTabBar(this)) {
    m_tabBar->setFocusPolicy(Qt::NoFocus);
    m_tabBar->setDrawBase(false);
    m_tabBar->setExpanding(false);
    m_tabBar->installEventFilter(this);
}

WizardTabControl::~WizardTabControl() {
    orvanta::RemoveTemporaryWorkFiles(orvanta::CurrentWorkFiles());
    for (auto entry = m_pages.rbegin(); entry != m_pages.rend(); ++entry) {
        if (entry->page == nullptr) {
            continue;
        }
        if (entry->deleteWithControl) {
            delete entry->page.data();
        } else {
            entry->page->hide();
            entry->page->setParent(nullptr);
        }
    }
    m_pages.clear();
}

int WizardTabControl::AddPage(const std::string& title, int pageId, WizardPage* page,
                              bool deleteWithControl) {
    if (page == nullptr) {
        return -1;
    }
    const int index = m_tabBar->addTab(ControlText(title));
    page->setParent(this);
    if (!rect().isEmpty()) {
        LayOut(page);
    }
    m_pages.push_back({page, deleteWithControl, FirstFocusableChild(page), pageId});
    page->setVisible(index == 0);
    return index;
}

bool WizardTabControl::SelectPage(int index) {
    if (index < 0 || index >= PageCount()) {
        return false;
    }
    if (index == m_current) {
        return true;
    }
    PageEntry& leaving = m_pages[static_cast<std::size_t>(m_current)];
    if (leaving.page != nullptr) {
        if (!leaving.page->CanLeave(index)) {
            return false;
        }
        RememberFocus(leaving);
        leaving.page->hide();
    }
    const int previous = m_current;
    m_current = index;
    m_tabBar->setCurrentIndex(index);
    PageEntry& arriving = m_pages[static_cast<std::size_t>(index)];
    if (arriving.page == nullptr) {
        return true;
    }
    LayOut(arriving.page);
    arriving.page->OnActivate(previous);
    arriving.page->show();
    // A hidden widget cannot take the focus, so it is handed back once the page shows.
    if (arriving.savedFocus != nullptr) {
        arriving.savedFocus->setFocus();
    }
    return true;
}

WizardPage* WizardTabControl::Page(int index) const {
    if (index < 0 || index >= PageCount()) {
        return nullptr;
    }
    return m_pages[static_cast<std::size_t>(index)].page;
}

void WizardTabControl::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, m_tabBar->height() - 1, 0, 0);
    frame.tabBarSize = m_tabBar->size();
    frame.shape = m_tabBar->shape();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

void WizardTabControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_tabBar->setGeometry(0, 0, width(), m_tabBar->sizeHint().height());
    for (const PageEntry& entry : m_pages) {
        if (entry.page != nullptr) {
            LayOut(entry.page);
        }
    }
}

bool WizardTabControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_tabBar && IsTabChangingInput(event->type())) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QRect WizardTabControl::PageRect() const {
    const int strip = m_tabBar->sizeHint().height();
    return {4, strip + 6, width() - 8, height() - strip - 8};
}

void WizardTabControl::LayOut(WizardPage* page) const {
    page->setGeometry(PageRect());
}

void WizardTabControl::RememberFocus(PageEntry& entry) const {
    QWidget* focused = QApplication::focusWidget();
    if (focused != nullptr && entry.page->isAncestorOf(focused)) {
        entry.savedFocus = focused;
    }
}
