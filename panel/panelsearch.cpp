// The panel's search: filtering the projects as the user types, and the
// editing commands of the search field (the arrows, Return, Escape).
#include "panel/panelcontroller.h"

#include "app/applicationdelegate.h"
#include "panel/firstrunhint.h"
#include "panel/listedprojects.h"
#include "panel/panelgeometry.h"
#include "panel/projectsearch.h"
#include "panel/searchfieldview.h"
#include "panel/searchnavigation.h"
#include "panel/xtableview.h"
#include "projects/projectstore.h"

#include <QFrame>
#include <QScopeGuard>
#include <QVariantAnimation>

namespace zarvo {
namespace {

SearchState searchStateOf(const ApplicationDelegate& app)
{
    return {app.searchArray(), app.selectedProject(), app.selectedSearch(), app.searchDirection()};
}

void storeSearchState(const SearchState& state, ApplicationDelegate& app)
{
    app.setSearchArray(state.searchArray);
    app.setSelectedProject(state.selectedProject);
    app.setSelectedSearch(state.selectedSearch);
    app.setSearchDirection(state.searchDirection);
}

} // namespace

void PanelController::runSearch()
{
    // However the search ends, the first-run hint follows what it left.
    const auto hint = qScopeGuard([this] { updateFirstRunHint(*this); });
    // A search while the panel is still growing open (text typed right after
    // the hot key) starts from the opening frame and keeps its own: the
    // animation's remaining frames would put the opening frame back over the
    // list, and the frame it has reached is not yet the panel's width.
    if (openFrameAnimation_ && openFrameAnimation_->state() == QAbstractAnimation::Running) {
        QObject::disconnect(openFrameAnimation_, &QVariantAnimation::valueChanged, this, nullptr);
        setWindowFrame(openFrameAnimation_->endValue().toRectF());
    }
    ApplicationDelegate* app = ApplicationDelegate::shared();
    XTableView* table = searchResults();
    QWidget* list = scrollView();

    // The previous results are forgotten.
    const QString text = searchField()->text();
    if (app) {
        app->setSearchArray(std::nullopt);
        app->setSelectedSearch(0);
    }
    // The list shows nothing until the new matches are in.
    table->reloadData();
    table->setRowHeight(search_geometry::kRowHeight);

    const auto hideList = [&] {
        list->hide();
        if (app) {
            app->setSearchArray(std::nullopt);
        }
        table->reloadData();
    };

    // The matches; the store is read afresh on every keystroke. With
    // "Order" = "use" they come most used first, and the empty text lists
    // the most used.
    const QStringList matches = listedProjects(text);

    // The empty text (and nothing used): back to the opening height.
    if (text.isEmpty() && matches.isEmpty()) {
        const SearchLayout layout = searchLayoutFor(text, 0);
        setWindowFrame(*layout.panelFrame);
        hideList();
        return;
    }

    // No match: the panel keeps its frame and the launch target its value.
    if (matches.isEmpty()) {
        hideList();
        return;
    }

    // The panel grows to show the matches, and the first one is the launch
    // target.
    const SearchLayout layout = searchLayoutFor(text, matches.size());
    setWindowFrame(*layout.panelFrame);
    // The list area is measured from the panel's bottom; place it for the new
    // height even if the window system has not confirmed that height yet.
    // The list ends above the separator line of the bottom row, so that the
    // line never crosses the last row.
    QRectF area = layout.listArea;
    const double aboveSeparator =
        panel_geometry::kAppTitleSepBottom + app_title_sep()->height() - area.y();
    if (aboveSeparator > 0) {
        area.adjust(0, aboveSeparator, 0, 0);
    }
    list->setGeometry(panel_geometry::flipInParent(area, layout.panelFrame->height()).toRect());
    list->show();
    if (app) {
        app->setSearchArray(matches);
        app->setSelectedProject(matches.first());
    }
    table->reloadData();
}

bool PanelController::control(QWidget* /*control*/, QWidget* /*textView*/, const QString& command)
{
    ApplicationDelegate* app = ApplicationDelegate::shared();
    SearchState state = app ? searchStateOf(*app) : SearchState();
    const CommandEffect effect =
        // The most used projects listed on an empty text can be moved through too.
        doCommand(state, searchCommandNamed(command),
                  searchField()->text().isEmpty() && !state.searchArray);
    // The state is stored before anything it leads to: selecting a row makes
    // the results list look at it.
    if (app) {
        storeSearchState(state, *app);
    }
    switch (effect.action) {
    case CommandEffect::Action::LaunchAndToggle:
        launch(this);
        if (app) {
            app->togglePanel();
        }
        break;
    case CommandEffect::Action::ClosePanel:
        setHasActivePanel(false);
        break;
    case CommandEffect::Action::SelectRow:
        searchResults()->selectRowIndexes(effect.row, false);
        break;
    case CommandEffect::Action::None:
        break;
    }
    return effect.handled;
}

} // namespace zarvo
