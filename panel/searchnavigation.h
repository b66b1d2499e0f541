#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace zarvo {

// The search state the panel, the results list and the launch share (the
// application delegate holds it), as plain values. A null QString or an empty
// optional is "none".
struct SearchState {
    // The matches listed now, in list order; none when nothing is listed.
    std::optional<QStringList> searchArray;
    // The project Return launches.
    QString selectedProject;
    // The arrow-key cursor: the row the next press in the same direction as
    // the last one selects, one step ahead of the highlighted row.
    qint64 selectedSearch = 0;
    // "up" or "down" after an arrow press; empty or none before.
    QString searchDirection;
};

inline const QString kDirectionUp = QStringLiteral("up");
inline const QString kDirectionDown = QStringLiteral("down");

// The editing commands the search field passes on, by what they are bound to.
enum class SearchCommand {
    InsertNewline,   // Return
    CancelOperation, // Escape
    MoveUp,
    MoveDown,
    DeleteForward,
    DeleteBackward,
    InsertTab,
    Other,
};

// The command named NAME, a key-binding command name such as "moveUp:";
// Other for any name not listed above.
SearchCommand searchCommandNamed(QStringView name);

// What a command asks of the panel after it has updated the state.
struct CommandEffect {
    enum class Action {
        None,
        // Launch the selected project, then toggle the panel closed.
        LaunchAndToggle,
        // Set hasActivePanel to false.
        ClosePanel,
        // Select `row` of the result table, replacing the selection.
        SelectRow,
    };
    Action action = Action::None;
    // The row to select; only for SelectRow.
    qsizetype row = -1;
    // Whether the command was consumed; when not, the field applies its own
    // handling too.
    bool handled = false;
};

// Moves the cursor up with wrap-around. Returns the row to highlight, or
// nothing when the list is empty.
std::optional<qsizetype> moveUp(SearchState& state);
// Moves the cursor down with wrap-around. Returns the row to highlight, or
// nothing when the list is empty.
std::optional<qsizetype> moveDown(SearchState& state);

// Interprets COMMAND typed in the search field, whose text is empty when
// TEXTISEMPTY. Down with an empty text changes nothing.
CommandEffect doCommand(SearchState& state, SearchCommand command, bool textIsEmpty);

// The state before anything is listed: no list, no direction, no target,
// cursor 0. (Clearing the results list's click flag is the caller's part.)
void resetVars(SearchState& state);

// The new list of a search: the cursor goes back to 0 and the first match
// becomes the launch target. An empty list is stored as none and leaves the
// target alone. The direction is kept.
void applySearchResult(SearchState& state, const QStringList& matches);

} // namespace zarvo
