#include "ui/SettingsWindow.h"

#include "preview/PreviewModel.h"
#include "provision/ModelDownload.h"
#include "support/MainThread.h"
#include "ui/Brand.h"
#include "ui/DictionaryTable.h"
#include "ui/FocusRing.h"
#include "ui/MainMenu.h"
#include "ui/SettingsAboutPage.h"
#include "ui/SettingsDictionaryPage.h"
#include "ui/SettingsDrawing.h"
#include "ui/SettingsGeneralPage.h"
#include "ui/SettingsHistoryPage.h"
#include "ui/SettingsSidebar.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

SettingsWindow& SettingsWindow::shared()
{
    static SettingsWindow* instance = new SettingsWindow;
    return *instance;
}

SettingsWindow::SettingsWindow() = default;

SettingsWindow::~SettingsWindow()
{
    delete window_;
}

void SettingsWindow::show()
{
    MainThread::async(this, [this] { showNow(); });
}

void SettingsWindow::show(const QString& page)
{
    page_ = SettingsPages::fromName(page);
    show();
}

void SettingsWindow::showNow()
{
    build();
    render();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window_->size());
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
    // A minimised window comes back as it was before (maximised or not).
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SettingsWindow::build()
{
    if (window_)
        return;
    window_ = new QWidget;
    window_->setObjectName(QStringLiteral("settingsWindow"));
    window_->setWindowTitle(QStringLiteral("サイリ"));
    window_->resize(defaultW, defaultH);
    window_->setMinimumSize(minW, minH);
    window_->setAutoFillBackground(true);
    QPalette p = window_->palette();
    p.setColor(QPalette::Window, Brand::canvas);
    window_->setPalette(p);
    sidebar_ = new SettingsSidebar(window_);
    connect(sidebar_, &SettingsSidebar::pageChosen, this, &SettingsWindow::switchPage);
    connect(sidebar_, &SettingsSidebar::updateCheckRequested, this, &SettingsView::updateCheckRequested);
    connect(sidebar_, &SettingsSidebar::aboutRequested, this, &SettingsView::aboutRequested);
    connect(sidebar_, &SettingsSidebar::quitRequested, this, &SettingsView::quitRequested);
    sidebar_->showTrayActions(trayActions_);
    contentArea_ = new QWidget(window_);
    contentArea_->setObjectName(QStringLiteral("contentArea"));
    dictTable_ = new DictionaryTable(window_);
    dictTable_->hide();
    setupTableIfNeeded();
    window_->installEventFilter(this);
    MainMenu::attachTo(window_);
    FocusRing::attach(window_);
    addKeys();
}

void SettingsWindow::addKeys()
{
    auto key = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, window_), &QShortcut::activated, this, action);
    };
    key(QKeySequence(Qt::Key_Escape), [this] { window_->hide(); });
    // The focus goes to the first control of the page the keys chose.
    auto turn = [this](int page) {
        switchPage(SettingsPage(page));
        focusOnPage({}, Qt::ShortcutFocusReason);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this, turn] { turn((int(page_) + 1) % 4); });
    key(QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this, turn] { turn((int(page_) + 3) % 4); });
    for (int i = 0; i < 4; ++i)
        key(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), [turn, i] { turn(i); });
}

void SettingsWindow::setupTableIfNeeded()
{
    if (tableConnected_ || !dictTable_)
        return;
    tableConnected_ = true;
    connect(dictTable_, &DictionaryTable::changed, this, [this] {
        Q_EMIT dictionaryReloadRequested();
        renderLater(0);
    });
    connect(dictTable_, &DictionaryTable::reread, this, [this] { renderLater(0); });
    connect(dictTable_, &DictionaryTable::reordered, this, [this] {
        dictNeedsApply_ = true;
        renderLater(0);
    });
}

void SettingsWindow::switchPage(SettingsPage page)
{
    page_ = page;
    render();
}

void SettingsWindow::renderLater(int milliseconds)
{
    // The control that asked may be part of the page about to be replaced.
    QTimer::singleShot(milliseconds, this, &SettingsWindow::render);
}

void SettingsWindow::render()
{
    if (!contentArea_)
        return;
    const QSize size = window_->size();
    sidebar_->setGeometry(0, 0, SettingsSidebar::width, size.height());
    contentArea_->setGeometry(SettingsSidebar::width, 0, size.width() - SettingsSidebar::width, size.height());

    // The focus stays on the same control of the page drawn anew.
    QWidget* focused = window_->focusWidget();
    const bool inTable = focused && dictTable_->isAncestorOf(focused);
    const bool onPage = focused && currentPage_ && currentPage_->isAncestorOf(focused) && !inTable;
    const QString focusedName = onPage ? nameOf(focused) : QString();

    // The table outlives every page: take it back before the old page goes.
    dictTable_->hide();
    dictTable_->setParent(window_);
    if (QWidget* old = currentPage_) {
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    QWidget* page = makePage(size);
    page->setGeometry(contentArea_->rect());
    SettingsDrawing::label(page, SettingsPages::title(page_), Brand::font(26, QFont::Bold), Brand::ink,
                           QRect(36, 48, 400, 34))
        ->setObjectName(QStringLiteral("heading"));
    page->show();
    currentPage_ = page;
    if (inTable && dictTable_->isVisibleTo(window_))
        focused->setFocus(Qt::OtherFocusReason);
    else if (onPage || inTable)
        focusOnPage(focusedName);
    sidebar_->select(page_);
    refreshUpdateNotice();
}

QWidget* SettingsWindow::makePage(QSize size)
{
    switch (page_) {
    case SettingsPage::general: {
        auto* page = new SettingsGeneralPage(contentArea_, size.width(), loginItem, audioInputs);
        connect(page, &SettingsGeneralPage::triggerKeyChosen, this, &SettingsView::triggerKeyChosen);
        connect(page, &SettingsGeneralPage::micChosen, this, &SettingsView::micChosen);
        connect(page, &SettingsGeneralPage::screenHintChanged, this, &SettingsView::screenHintChanged);
        connect(page, &SettingsGeneralPage::livePreviewDownloadAsked, this, &SettingsWindow::downloadPreviewModel);
        if (page->previewButton()) {
            // The download outlives the page: its progress goes on the new card.
            ModelDownload& download = PreviewModel::download();
            if (!std::exchange(previewDownloadWatched_, true))
                connect(&download, &ModelDownload::installed, this, [this] { renderLater(0); });  // the card goes
            download.show(nullptr, page->previewNote(), page->previewButton());
        }
        return page;
    }
    case SettingsPage::dictionary: {
        auto* page = new SettingsDictionaryPage(contentArea_, size, dictTable_, dictNeedsApply_,
                                                importUndoable && importUndoable());
        // The page is drawn again once the dialogs have written the file.
        connect(page, &SettingsDictionaryPage::addWordClicked, this, &SettingsView::addWordRequested);
        connect(page, &SettingsDictionaryPage::importCSVClicked, this, &SettingsView::importCSVRequested);
        connect(page, &SettingsDictionaryPage::undoImportClicked, this, &SettingsView::undoImportRequested);
        connect(page, &SettingsDictionaryPage::copyPromptClicked, this, &SettingsView::copyPromptRequested);
        connect(page, &SettingsDictionaryPage::applyClicked, this, [this] {
            dictNeedsApply_ = false;
            Q_EMIT dictionaryReloadRequested();
            renderLater(0);
        });
        return page;
    }
    case SettingsPage::history:
        return new SettingsHistoryPage(contentArea_, size,
                                       historyProvider ? historyProvider() : QList<QPair<QDateTime, QString>>{});
    case SettingsPage::about:
        break;
    }
    return new SettingsAboutPage(contentArea_, size);
}

QString SettingsWindow::nameOf(QWidget* control)
{
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    auto* button = qobject_cast<QAbstractButton*>(control);
    return button ? button->text() : QString();
}

void SettingsWindow::focusOnPage(const QString& name, Qt::FocusReason reason)
{
    QWidget* first = nullptr;
    for (QWidget* control : currentPage_->findChildren<QWidget*>()) {
        if (!(control->focusPolicy() & Qt::TabFocus) || !control->isVisibleTo(window_))
            continue;
        if (!name.isEmpty() && nameOf(control) == name) {
            control->setFocus(reason);
            return;
        }
        first = first ? first : control;
    }
    if (first)
        first->setFocus(reason);
}

void SettingsWindow::downloadPreviewModel(QLabel* status, QPushButton* button)
{
    button->setEnabled(false);
    button->setText(QStringLiteral("ダウンロード中…"));
    PreviewModel::download().start(nullptr, status, button);
}

void SettingsWindow::dictionaryWritten()
{
    // The whole file went to recognition, the order changed here included.
    dictNeedsApply_ = false;
    if (page_ == SettingsPage::dictionary)
        renderLater(0);
}

void SettingsWindow::refreshUpdateNotice()
{
    if (sidebar_)
        sidebar_->refreshUpdateNotice();
}

void SettingsWindow::offerTrayActions(bool on)
{
    trayActions_ = on;
    if (sidebar_)
        sidebar_->showTrayActions(on);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
        // Return presses the button with the focus (a key its button let through).
        const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        auto* button = qobject_cast<QAbstractButton*>(window_->focusWidget());
        if (key && button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            button->animateClick();
            return true;
        }
        if (event->type() == QEvent::Resize)
            render();
        // Fresh after a visit to the desktop's settings, or to an editor of the dictionary.
        else if (event->type() == QEvent::WindowActivate
                 && (page_ == SettingsPage::general
                     || (page_ == SettingsPage::dictionary && !dictTable_->showsFile())))
            render();
    }
    return false;
}
