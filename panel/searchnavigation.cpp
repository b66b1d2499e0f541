#include "panel/searchnavigation.h"

namespace zarvo {
namespace {

qint64 countOf(const SearchState& state)
{
    return state.searchArray ? qint64(state.searchArray->size()) : 0;
}

// Entry I of the list, none when there is no such entry.
QString entryAt(const SearchState& state, qint64 i)
{
    if (!state.searchArray || i < 0 || i >= qint64(state.searchArray->size())) {
        return QString();
    }
    return state.searchArray->at(qsizetype(i));
}

std::optional<qsizetype> rowIfListed(const SearchState& state, qint64 i)
{
    if (i < 0 || i >= countOf(state)) {
        return std::nullopt;
    }
    return qsizetype(i);
}

} // namespace

SearchCommand searchCommandNamed(QStringView name)
{
    static const struct {
        QLatin1String name;
        SearchCommand command;
    } kCommands[] = {
        {QLatin1String("insertNewline:"), SearchCommand::InsertNewline},
        {QLatin1String("cancelOperation:"), SearchCommand::CancelOperation},
        {QLatin1String("moveUp:"), SearchCommand::MoveUp},
        {QLatin1String("moveDown:"), SearchCommand::MoveDown},
        {QLatin1String("deleteForward:"), SearchCommand::DeleteForward},
        {QLatin1String("deleteBackward:"), SearchCommand::DeleteBackward},
        {QLatin1String("insertTab:"), SearchCommand::InsertTab},
    };
    for (const auto& entry : kCommands) {
        if (name == entry.name) {
            return entry.command;
        }
    }
    return SearchCommand::Other;
}

std::optional<qsizetype> moveUp(SearchState& state)
{
    const qint64 last = countOf(state) - 1;
    // After a downward move the cursor stands one below the highlighted row,
    // so the row above the highlighted one is two back.
    qint64 i =
        state.searchDirection == kDirectionUp ? state.selectedSearch : state.selectedSearch - 2;
    if (i < 0 || i > last) {
        i = last; // up from the first row wraps to the last
    }
    state.selectedProject = entryAt(state, i);
    state.selectedSearch = i - 1;
    state.searchDirection = kDirectionUp;
    return rowIfListed(state, i);
}

std::optional<qsizetype> moveDown(SearchState& state)
{
    const qint64 last = countOf(state) - 1;
    qint64 i =
        state.searchDirection == kDirectionUp ? state.selectedSearch + 2 : state.selectedSearch;
    if (i < 0 || i > last) {
        i = 0; // down from the last row wraps to the first
    }
    state.selectedProject = entryAt(state, i);
    state.selectedSearch = i + 1;
    state.searchDirection = kDirectionDown;
    return rowIfListed(state, i);
}

CommandEffect doCommand(SearchState& state, SearchCommand command, bool textIsEmpty)
{
    using Action = CommandEffect::Action;
    CommandEffect effect;
    switch (command) {
    case SearchCommand::InsertNewline:
        effect.action = Action::LaunchAndToggle;
        break;
    case SearchCommand::CancelOperation:
        effect.action = Action::ClosePanel;
        break;
    case SearchCommand::MoveUp:
        effect.handled = true;
        if (const auto row = moveUp(state)) {
            effect.action = Action::SelectRow;
            effect.row = *row;
        }
        break;
    case SearchCommand::MoveDown:
        effect.handled = true;
        if (textIsEmpty) {
            break;
        }
        if (const auto row = moveDown(state)) {
            effect.action = Action::SelectRow;
            effect.row = *row;
        }
        break;
    case SearchCommand::DeleteForward:
    case SearchCommand::DeleteBackward:
    case SearchCommand::InsertTab:
    case SearchCommand::Other:
        break;
    }
    return effect;
}

void resetVars(SearchState& state)
{
    state.searchArray.reset();
    state.searchDirection = QString();
    state.selectedProject = QString();
    state.selectedSearch = 0;
}

void applySearchResult(SearchState& state, const QStringList& matches)
{
    state.selectedSearch = 0;
    if (matches.isEmpty()) {
        state.searchArray.reset();
        return;
    }
    state.searchArray = matches;
    state.selectedProject = matches.first();
}

} // namespace zarvo
