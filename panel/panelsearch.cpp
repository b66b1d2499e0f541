// The panel's search: filtering the projects as the user types, and the
// editing commands of the search field (the arrows, Return, Escape).
#include "panel/panelcontroller.h"

#include "app/applicationdelegate.h"
#include "panel/firstrunhint.h"
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

    // 1, 2.
    const QString text = searchField()->text();
    if (app) {
        app->setSearchArray(std::nullopt);
        app->setSelectedSearch(0);
    }
    // 3.
    table->reloadData();
    table->setRowHeight(search_geometry::kRowHeight);

    const auto hideList = [&] {
        list->hide();
        if (app) {
            app->setSearchArray(std::nullopt);
        }
        table->reloadData();
    };

    // 4. The empty text: back to the opening height.
    if (text.isEmpty()) {
        const SearchLayout layout =
            searchLayout(text, 0, windowFrame(), primaryScreenFrame(), primaryScreenUsableFrame());
        setWindowFrame(*layout.panelFrame);
        hideList();
        return;
    }

    // 5, 6. The store is read afresh on every keystroke.
    const QStringList matches = ProjectSearch(text).filter(ProjectStore::projectNames());

    // 7. No match: the panel keeps its frame and the launch target its value.
    if (matches.isEmpty()) {
        hideList();
        return;
    }

    // 8.
    const SearchLayout layout = searchLayout(text, matches.size(), windowFrame(),
                                             primaryScreenFrame(), primaryScreenUsableFrame());
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
        doCommand(state, searchCommandNamed(command), searchField()->text().isEmpty());
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
