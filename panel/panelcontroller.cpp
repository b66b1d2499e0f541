#include "panel/panelcontroller.h"

#include "app/applicationdelegate.h"
#include "app/menubarcontroller.h"
#include "app/statusitemview.h"
#include "panel/backgroundview.h"
#include "panel/currentevent.h"
#include "panel/firstrunhint.h"
#include "panel/panel.h"
#include "panel/panelcontrollerdelegate.h"
#include "panel/panelgeometry.h"
#include "panel/scandialog.h"
#include "panel/searchfieldview.h"
#include "panel/tablecontroller.h"
#include "panel/xtableview.h"
#include "platform/diagnostics.h"
#include "platform/screencoordinates.h"
#include "projects/launcher.h"
#include "projects/projectstore.h"
#include "projects/projectusage.h"
#include "projects/textform.h"
#include "shortcut/globalshortcutrecorder.h"

#include "ui_panel.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QVariantAnimation>

#include <chrono>

namespace zarvo {

namespace geo = panel_geometry;

namespace {

// Between the pop-up and the Launch button beside it.
constexpr double kLaunchButtonGap = 4;

std::chrono::milliseconds toMilliseconds(double seconds)
{
    return std::chrono::milliseconds(qRound(seconds * 1000));
}

QRectF primaryScreenQtGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? QRectF(screen->geometry()) : QRectF();
}

// A view's frame in its parent's coordinates with y up.
QRectF frameInParent(const QWidget* view)
{
    return geo::flipInParent(QRectF(view->geometry()), view->parentWidget()->height());
}

void setFrameInParent(QWidget* view, const QRectF& frame)
{
    view->setGeometry(geo::flipInParent(frame, view->parentWidget()->height()).toRect());
}

QString settingText(const std::optional<LaunchSettings>& settings, const QString& key)
{
    // A missing value leaves the field empty rather than reading "(null)".
    if (!settings || !settings->contains(key)) {
        return QString();
    }
    return textForm(*settings, key);
}

} // namespace

PanelController::PanelController(PanelControllerDelegate* delegate)
    : ui_(std::make_unique<Ui::PanelForm>())
{
    window_ = new Panel;
    ui_->setupUi(window_);
    delegate_ = delegate;
    awakeFromNib();
}

PanelController::~PanelController()
{
    stopAnimations();
    delete window_;
}

void PanelController::awakeFromNib()
{
    CurrentEvent::install();
    connectSentActions();

    // The form windows live in the same interface file; they are windows of
    // their own, not views of the panel.
    createProject_.reset(ui_->createProject);
    openPreferences_.reset(ui_->openPreferences);
    for (QWidget* form : {ui_->createProject, ui_->openPreferences}) {
        form->setParent(nullptr, Qt::Window);
        form->hide();
    }
    addGlobalShortcutRecorder(ui_->openPreferences);

    window_->setContentView(ui_->backgroundView);
    tableController_ = new TableController(this);
    tableController_->setSearchField(ui_->searchField);
    tableController_->setScrollView(ui_->scrollView);
    tableController_->setProject_select(ui_->project_select);
    tableController_->setSearchResults(ui_->searchResults);
    ui_->btnOptions->setMenu(ui_->launchMenu);
    ui_->project_select->installEventFilter(this);
    ui_->searchField->installEventFilter(this);
    projectSelectFrame_ = frameInParent(ui_->project_select);
    connect(window_, &Panel::windowWillClose, this, &PanelController::windowWillClose);
    connect(window_, &Panel::windowDidResignKey, this, &PanelController::windowDidResignKey);
    connect(window_, &Panel::windowDidResize, this, &PanelController::windowDidResize);
    connect(window_, &Panel::cancelOperation, this, &PanelController::cancelOperation);
    ui_->searchField->setCommandHandler([this](const QString& command) {
        return control(ui_->searchField, ui_->searchField, command);
    });

    window_->setMouseTracking(true);
    // The window's level, its transparency and its place outside the taskbar
    // are fixed by the Panel window class itself.
    connect(ui_->searchField, &QLineEdit::textEdited, this, &PanelController::runSearch);
    QPalette palette = ui_->searchField->palette();
    palette.setColor(QPalette::Text, Qt::white);
    ui_->searchField->setPalette(palette);
    QTimer::singleShot(toMilliseconds(geo::kFirstFocusDelay), this,
                       &PanelController::makeSearchFieldFirstResponder);
    awakeForms();
}

void PanelController::connectSentActions()
{
    const auto connectSender = [this](auto* sender, auto signal) {
        const QByteArray action = sender->property("sendsAction").toByteArray();
        if (!action.isEmpty()) {
            connect(sender, signal, this, [this, sender, action] { sendAction(action, sender); });
        }
    };
    for (QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
        connectSender(button, &QAbstractButton::clicked);
    }
    for (QAction* action : window_->findChildren<QAction*>()) {
        connectSender(action, &QAction::triggered);
    }
    for (QComboBox* popUp : window_->findChildren<QComboBox*>()) {
        connectSender(popUp, &QComboBox::activated);
    }
    for (QLineEdit* field : window_->findChildren<QLineEdit*>()) {
        connectSender(field, &QLineEdit::returnPressed);
    }
}

bool PanelController::sendAction(const QByteArray& action, QObject* sender)
{
    const QMetaObject* meta = metaObject();
    const int withSender = meta->indexOfMethod(action + "(QObject*)");
    if (withSender >= 0) {
        return meta->method(withSender).invoke(this, Qt::DirectConnection, Q_ARG(QObject*, sender));
    }
    const int plain = meta->indexOfMethod(action + "()");
    if (plain >= 0) {
        return meta->method(plain).invoke(this, Qt::DirectConnection);
    }
    return false;
}

BackgroundView* PanelController::backgroundView() const
{
    return ui_->backgroundView;
}

searchFieldView* PanelController::searchField() const
{
    return ui_->searchField;
}

QWidget* PanelController::scrollView() const
{
    return ui_->scrollView;
}

XTableView* PanelController::searchResults() const
{
    return ui_->searchResults;
}

QComboBox* PanelController::project_select() const
{
    return ui_->project_select;
}

QToolButton* PanelController::btnLaunch() const
{
    return ui_->btnLaunch;
}

bool PanelController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
    if (watched == ui_->project_select) {
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && held == Qt::NoModifier) {
            launch(ui_->btnLaunch);
            return true;
        }
    } else if (watched == ui_->searchField && key->key() == Qt::Key_E &&
               held == Qt::ControlModifier) {
        // Edits the highlighted row; without one the field keeps the key.
        if (ui_->scrollView->isVisibleTo(window_) &&
            !ui_->searchResults->selectedRowIndexes().isEmpty()) {
            editProject();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QToolButton* PanelController::btnAdd() const
{
    return ui_->btnAdd;
}

QToolButton* PanelController::btnOptions() const
{
    return ui_->btnOptions;
}

QLabel* PanelController::app_title() const
{
    return ui_->app_title;
}

QFrame* PanelController::app_title_sep() const
{
    return ui_->app_title_sep;
}

QMenu* PanelController::launchMenu() const
{
    return ui_->launchMenu;
}

QWidget* PanelController::createProject() const
{
    return createProject_.get();
}

QLineEdit* PanelController::project_name() const
{
    return ui_->project_name;
}

QLineEdit* PanelController::project_path() const
{
    return ui_->project_path;
}

QCheckBox* PanelController::project_pull() const
{
    return ui_->project_pull;
}

QCheckBox* PanelController::project_finder() const
{
    return ui_->project_finder;
}

QLineEdit* PanelController::project_custom() const
{
    return ui_->project_custom;
}

QLineEdit* PanelController::project_commands() const
{
    return ui_->project_commands;
}

QWidget* PanelController::openPreferencesWindow() const
{
    return openPreferences_.get();
}

QLineEdit* PanelController::editor_cmd() const
{
    return ui_->editor_cmd;
}

QLineEdit* PanelController::terminal_app() const
{
    return ui_->terminal_app;
}

void PanelController::setHasActivePanel(bool active)
{
    if (active != hasActivePanel_) {
        hasActivePanel_ = active;
        if (active) {
            openPanel();
        } else {
            closePanel();
        }
    }
    Q_EMIT hasActivePanelChanged();
}

QRectF PanelController::statusRectForWindow(QWidget* /*window*/) const
{
    return statusPlacement().statusRect;
}

geo::StatusPlacement PanelController::statusPlacement() const
{
    geo::IconWhereabouts icon;
    if (delegate_) {
        if (const StatusItemView* view =
                delegate_->statusItemViewForPanelController(const_cast<PanelController*>(this))) {
            icon.iconRect = view->globalRect();
            icon.clickPoint = view->clickPoint();
            icon.cursor = view->clickCursor();
        }
    }
    QList<geo::ScreenArea> screens = screenAreas();
    if (screens.isEmpty()) {
        screens.append({primaryScreenFrame(), primaryScreenFrame()});
    }
    return geo::placeStatusRect(icon, screens);
}

geo::StatusPlacement PanelController::openedPlacement() const
{
    return openedPlacement_ ? *openedPlacement_ : statusPlacement();
}

SearchLayout PanelController::searchLayoutFor(const QString& text, qsizetype matchCount) const
{
    // The panel keeps touching the bar: its top on the status rectangle's top
    // (on a bar of the usual thickness, kTopGap below the screen's top), or
    // its bottom on the status rectangle's bottom.
    const geo::StatusPlacement placement = openedPlacement();
    const QRectF& status = placement.statusRect;
    SearchAnchor anchor;
    anchor.fromBottom = placement.edge == geo::BarEdge::bottom;
    anchor.edge = anchor.fromBottom ? status.y() : status.y() + status.height();
    return searchLayout(text, matchCount, windowFrame(), placement.screen, placement.usable,
                        anchor);
}

QList<geo::ScreenArea> PanelController::screenAreas()
{
    QList<geo::ScreenArea> areas;
    const QRectF primary = primaryScreenQtGeometry();
    QList<QScreen*> screens = QGuiApplication::screens();
    if (QScreen* first = QGuiApplication::primaryScreen()) {
        screens.removeAll(first);
        screens.prepend(first);
    }
    for (const QScreen* screen : screens) {
        areas.append({screenRectFromQt(QRectF(screen->geometry()), primary),
                      screenRectFromQt(QRectF(screen->availableGeometry()), primary)});
    }
    return areas;
}

QRectF PanelController::primaryScreenFrame()
{
    const QRectF screen = primaryScreenQtGeometry();
    return {0, 0, screen.width(), screen.height()};
}

QRectF PanelController::primaryScreenUsableFrame()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return {};
    }
    return screenRectFromQt(QRectF(screen->availableGeometry()), primaryScreenQtGeometry());
}

QRectF PanelController::windowFrame() const
{
    return screenRectFromQt(QRectF(window_->geometry()), primaryScreenQtGeometry());
}

void PanelController::setWindowFrame(const QRectF& frame)
{
    const QRect target = qtRectFromScreen(frame, primaryScreenQtGeometry()).toRect();
    if (target == window_->geometry()) {
        return;
    }
    window_->setGeometry(target);
    // The window's own resize report may come later (the window system
    // confirms the new frame asynchronously); lay out for it now.
    windowDidResize();
}

void PanelController::openPanel()
{
    // Where the panel hangs: under the status item, on the screen that holds
    // it (on one screen, the primary one).
    Panel* panel = window_;
    openedPlacement_ = statusPlacement();
    const QRectF screen = openedPlacement_->screen;
    const QRectF statusRect = openedPlacement_->statusRect;
    ui_->backgroundView->setArrowEdge(openedPlacement_->edge);

    // The frame it grows to.
    const QRectF target = geo::openingTargetFrame(statusRect, screen, openedPlacement_->edge);

    // It appears, transparent, as large as the status item. A close still
    // fading or waiting for its removal is overtaken.
    ++generation_;
    stopAnimations();
    panel->setWindowOpacity(0);
    setWindowFrame(statusRect);
    panel->show();
    panel->raise();
    panel->activateWindow();

    // How long the opening takes depends on the event that opened it.
    const geo::OpeningEvent event = CurrentEvent::current();
    const double duration = geo::openAnimationDuration(event);
    if (geo::logsOpeningGeometry(event)) {
        logLine(geo::openingDiagnosticLine(statusRect, screen, target));
    }

    // It grows and fades in; every frame of the animation lays it out again.
    const int ms = static_cast<int>(toMilliseconds(duration).count());
    openAnimation_ = new QParallelAnimationGroup(this);
    openFrameAnimation_ = new QVariantAnimation(openAnimation_);
    openFrameAnimation_->setStartValue(statusRect);
    openFrameAnimation_->setEndValue(target);
    openFrameAnimation_->setDuration(ms);
    connect(openFrameAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& frame) { setWindowFrame(frame.toRectF()); });
    openAlphaAnimation_ = new QPropertyAnimation(panel, "windowOpacity", openAnimation_);
    openAlphaAnimation_->setStartValue(0.0);
    openAlphaAnimation_->setEndValue(1.0);
    openAlphaAnimation_->setDuration(ms);
    openAnimation_->addAnimation(openFrameAnimation_);
    openAnimation_->addAnimation(openAlphaAnimation_);
    // An empty store shows the first-run hint once the panel is open.
    connect(openAnimation_, &QAbstractAnimation::finished, this,
            [this] { updateFirstRunHint(*this); });
    openAnimation_->start(QAbstractAnimation::DeleteWhenStopped);
    connect(openAnimation_, &QObject::destroyed, this, [this, group = openAnimation_] {
        if (openAnimation_ == group) {
            openAnimation_ = nullptr;
            openFrameAnimation_ = nullptr;
            openAlphaAnimation_ = nullptr;
        }
    });

    // The search field gets the keyboard once the animation is over.
    QTimer::singleShot(toMilliseconds(duration), this,
                       &PanelController::makeSearchFieldFirstResponder);

    // The search state starts afresh.
    resetVars();

    // The pop-up and the settings fields show the files as they are now.
    reloadProjectsAndSettings();

    // Forms left open by an earlier opening are hidden.
    for (QWidget* form : {createProject_.get(), openPreferences_.get()}) {
        if (form->isVisible()) {
            form->hide();
        }
    }

    // The search field is empty and back at its opening height. Setting the
    // text by program does not count as a text change: no search runs.
    searchFieldView* field = ui_->searchField;
    field->setText(QString());
    QRectF fieldFrame = frameInParent(field);
    fieldFrame.setHeight(geo::kOpeningSearchFieldHeight);
    setFrameInParent(field, fieldFrame);

    // Nothing is selected and no direction is remembered.
    if (ApplicationDelegate* app = ApplicationDelegate::shared()) {
        app->setSelectedSearch(0);
        app->setSearchDirection(QStringLiteral(""));
    }

    // With the most used first, the empty text lists them from the start.
    if (ordersByUse()) {
        runSearch();
    }
}

void PanelController::reloadProjectsAndSettings()
{
    const std::optional<LaunchSettings> settings = ProjectStore::loadSettings();
    ui_->editor_cmd->setText(settingText(settings, setting_key::editorCommand));
    ui_->terminal_app->setText(settingText(settings, setting_key::terminal));
    refillProjectSelect();
}

void PanelController::closePanel()
{
    // The results disappear at once.
    ui_->scrollView->hide();

    // The panel fades out.
    stopAnimations();
    closeAnimation_ = new QPropertyAnimation(window_, "windowOpacity", this);
    closeAnimation_->setEndValue(0.0);
    closeAnimation_->setDuration(static_cast<int>(toMilliseconds(geo::kCloseFadeDuration).count()));
    connect(closeAnimation_, &QObject::destroyed, this, [this, fade = closeAnimation_] {
        if (closeAnimation_ == fade) {
            closeAnimation_ = nullptr;
        }
    });
    closeAnimation_->start(QAbstractAnimation::DeleteWhenStopped);

    // Then it leaves the screen; an opening in the meantime makes the
    // removal moot.
    QTimer::singleShot(toMilliseconds(geo::kRemovalDelay), this,
                       [this, generation = generation_] { removeFromScreen(generation); });
}

void PanelController::removeFromScreen(quint64 generation)
{
    if (generation == generation_) {
        window_->hide();
    }
}

void PanelController::stopAnimations()
{
    if (openAnimation_) {
        openAnimation_->stop();
    }
    if (closeAnimation_) {
        closeAnimation_->stop();
    }
}

void PanelController::makeSearchFieldFirstResponder()
{
    ui_->searchField->setFocus(Qt::OtherFocusReason);
}

void PanelController::windowWillClose()
{
    setHasActivePanel(false);
}

void PanelController::windowDidResignKey()
{
    if (window_->isVisible() && !asking_) {
        setHasActivePanel(false);
    }
}

void PanelController::cancelOperation()
{
    setHasActivePanel(false);
}

void PanelController::windowDidResize()
{
    window_->fitContentView();
    BackgroundView* content = ui_->backgroundView;
    const QSizeF view = content->size();
    geo::PanelSubviews current;
    current.searchField = frameInParent(ui_->searchField);
    current.projectSelect = projectSelectFrame_;
    current.btnAdd = frameInParent(ui_->btnAdd);
    current.btnOptions = frameInParent(ui_->btnOptions);
    current.appTitle = frameInParent(ui_->app_title);
    current.appTitleSep = frameInParent(ui_->app_title_sep);

    const geo::StatusPlacement placement = openedPlacement();
    const geo::PanelLayout layout =
        geo::layoutPanel(placement.statusRect, windowFrame(), view, current, placement.edge);

    content->setArrowX(layout.arrowX);
    if (layout.searchFieldVisible) {
        setFrameInParent(ui_->searchField, layout.frames.searchField);
    }
    ui_->searchField->setVisible(layout.searchFieldVisible);
    if (layout.projectSelectVisible) {
        projectSelectFrame_ = layout.frames.projectSelect.translated(0, -layout.bottomInset);
    }
    // The pop-up keeps its distance from the bottom as the panel grows. The
    // Launch button takes the right end of its frame.
    QRectF popUp = projectSelectFrame_.translated(0, layout.bottomInset);
    QRectF launchButton = popUp;
    launchButton.setLeft(popUp.right() - ui_->btnLaunch->width());
    popUp.setRight(launchButton.left() - kLaunchButtonGap);
    setFrameInParent(ui_->project_select, popUp);
    setFrameInParent(ui_->btnLaunch, launchButton);
    const bool roomForBoth = layout.projectSelectVisible && popUp.width() > 0;
    // For a while after a removal the bar that undoes it takes their place.
    const bool undoing = undoTimer_ && undoTimer_->isActive();
    ui_->project_select->setVisible(roomForBoth && !undoing);
    ui_->btnLaunch->setVisible(roomForBoth && !undoing);
    setFrameInParent(ui_->undoBar, projectSelectFrame_.translated(0, layout.bottomInset));
    ui_->undoBar->setVisible(layout.projectSelectVisible && undoing);
    setFrameInParent(ui_->btnAdd, layout.frames.btnAdd);
    setFrameInParent(ui_->btnOptions, layout.frames.btnOptions);
    setFrameInParent(ui_->app_title, layout.frames.appTitle);
    setFrameInParent(ui_->app_title_sep, layout.frames.appTitleSep);
}

void PanelController::resetVars()
{
    if (ApplicationDelegate* app = ApplicationDelegate::shared()) {
        app->setSearchArray(std::nullopt);
        app->setSearchDirection(QString());
        app->setSelectedProject(QString());
        app->setSelectedSearch(0);
    }
    ui_->searchResults->setDidClick(std::nullopt);
}

// runSearch() and control() (the search and the field's editing commands)
// are in panelsearch.cpp.

void PanelController::launch(QObject* sender)
{
    const bool fromButton = qobject_cast<QAbstractButton*>(sender) != nullptr ||
                            qobject_cast<QComboBox*>(sender) != nullptr;
    ApplicationDelegate* app = ApplicationDelegate::shared();
    QString name;
    if (fromButton) {
        name = ui_->project_select->currentText();
    } else if (app) {
        name = app->selectedProject();
    }
    launchProject(name, fromButton ? LaunchSender::Button : LaunchSender::Panel, [] {
        if (ApplicationDelegate* delegate = ApplicationDelegate::shared()) {
            delegate->togglePanel();
            if (MenubarController* menubar = delegate->menubarController()) {
                menubar->setHasActiveIcon(false);
            }
        }
    });
}

// The project and settings actions (openCreateProject(), create(), remove(),
// openPreferences() and the rest) are in projectforms.cpp.

} // namespace zarvo
