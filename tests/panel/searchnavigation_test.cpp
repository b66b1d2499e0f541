#include "panel/searchnavigation.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

using Action = CommandEffect::Action;

QStringList names(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i) {
        list << QStringLiteral("p%1").arg(i);
    }
    return list;
}

// A list fresh from a search after the panel opened: cursor 0, direction empty.
SearchState freshList(int count)
{
    SearchState state;
    resetVars(state);
    state.searchDirection = QLatin1String("");
    applySearchResult(state, names(count));
    return state;
}

struct Step {
    SearchCommand command;
    qsizetype row; // the row selected
    qint64 cursor; // selectedSearch afterwards
};

void expectSequence(SearchState& state, const std::vector<Step>& steps)
{
    for (size_t n = 0; n < steps.size(); ++n) {
        const Step& step = steps[n];
        const CommandEffect effect = doCommand(state, step.command, false);
        ASSERT_TRUE(effect.handled) << "step " << n;
        ASSERT_EQ(effect.action, Action::SelectRow) << "step " << n;
        EXPECT_EQ(effect.row, step.row) << "step " << n;
        EXPECT_EQ(state.selectedSearch, step.cursor) << "step " << n;
        EXPECT_EQ(state.selectedProject, state.searchArray->at(step.row)) << "step " << n;
        EXPECT_EQ(state.searchDirection,
                  step.command == SearchCommand::MoveUp ? kDirectionUp : kDirectionDown);
    }
}

constexpr SearchCommand kUp = SearchCommand::MoveUp;
constexpr SearchCommand kDown = SearchCommand::MoveDown;

TEST(SearchNavigationTest, FiveMatchesDownDownUpUpDown)
{
    SearchState state = freshList(5);
    expectSequence(state, {{kDown, 0, 1}, {kDown, 1, 2}, {kUp, 0, -1}, {kUp, 4, 3}, {kDown, 0, 1}});
}

TEST(SearchNavigationTest, UpFirstWrapsToTheLastRow)
{
    SearchState state = freshList(5);
    expectSequence(state, {{kUp, 4, 3}, {kUp, 3, 2}, {kDown, 4, 5}, {kDown, 0, 1}});
}

TEST(SearchNavigationTest, DownThroughTheWholeListWraps)
{
    SearchState state = freshList(3);
    expectSequence(state, {{kDown, 0, 1}, {kDown, 1, 2}, {kDown, 2, 3}, {kDown, 0, 1}});
}

TEST(SearchNavigationTest, UpThroughTheWholeListWraps)
{
    SearchState state = freshList(3);
    expectSequence(state, {{kUp, 2, 1}, {kUp, 1, 0}, {kUp, 0, -1}, {kUp, 2, 1}});
}

struct CarriedRow {
    const char* name;
    SearchCommand earlier; // the arrow pressed before the new search
    int count;             // matches of the new search
    SearchCommand next;
    qsizetype row;
};

void PrintTo(const CarriedRow& row, std::ostream* os)
{
    *os << row.name;
}

class CarriedDirectionTest : public ::testing::TestWithParam<CarriedRow> {};

// The direction survives a new search while the cursor goes back to 0.
TEST_P(CarriedDirectionTest, FirstPressAfterANewSearch)
{
    const CarriedRow& row = GetParam();
    SearchState state = freshList(5);
    doCommand(state, row.earlier, false);
    doCommand(state, row.earlier, false);
    applySearchResult(state, names(row.count));
    EXPECT_EQ(state.selectedSearch, 0);
    const CommandEffect effect = doCommand(state, row.next, false);
    EXPECT_EQ(effect.action, Action::SelectRow);
    EXPECT_EQ(effect.row, row.row);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, CarriedDirectionTest,
    ::testing::Values(CarriedRow{"AfterUpDownSkipsToRowTwo", kUp, 5, kDown, 2},
                      CarriedRow{"AfterUpDownWithTwoMatchesWrapsToRowZero", kUp, 2, kDown, 0},
                      CarriedRow{"AfterUpUpSelectsRowZero", kUp, 5, kUp, 0},
                      CarriedRow{"AfterDownDownSelectsRowZero", kDown, 5, kDown, 0},
                      CarriedRow{"AfterDownUpSelectsTheLastRow", kDown, 5, kUp, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchNavigationTest, ArrowsOnAnEmptyListSelectNothing)
{
    SearchState state;
    resetVars(state);
    state.selectedProject = QStringLiteral("stale");

    CommandEffect effect = doCommand(state, kUp, false);
    EXPECT_TRUE(effect.handled);
    EXPECT_EQ(effect.action, Action::None);
    EXPECT_TRUE(state.selectedProject.isNull());
    EXPECT_EQ(state.selectedSearch, -2); // i = last = −1
    EXPECT_EQ(state.searchDirection, kDirectionUp);

    state.selectedProject = QStringLiteral("stale");
    effect = doCommand(state, kDown, false);
    EXPECT_TRUE(effect.handled);
    EXPECT_EQ(effect.action, Action::None);
    EXPECT_TRUE(state.selectedProject.isNull());
    EXPECT_EQ(state.selectedSearch, 1); // i = 0
    EXPECT_EQ(state.searchDirection, kDirectionDown);
}

TEST(SearchNavigationTest, AnEmptyArrayCountsAsNone)
{
    SearchState state;
    state.searchArray = QStringList();
    state.selectedSearch = -1; // as at start-up, before the panel ever opened
    EXPECT_FALSE(moveUp(state).has_value());
    EXPECT_FALSE(moveDown(state).has_value());
    EXPECT_TRUE(state.selectedProject.isNull());
}

TEST(SearchNavigationTest, DownWithAnEmptyTextChangesNothingButIsHandled)
{
    SearchState state = freshList(5);
    doCommand(state, kDown, false);
    const SearchState before = state;
    const CommandEffect effect = doCommand(state, kDown, true);
    EXPECT_TRUE(effect.handled);
    EXPECT_EQ(effect.action, Action::None);
    EXPECT_EQ(state.selectedSearch, before.selectedSearch);
    EXPECT_EQ(state.selectedProject, before.selectedProject);
    EXPECT_EQ(state.searchDirection, before.searchDirection);
}

TEST(SearchNavigationTest, UpWithAnEmptyTextStillMoves)
{
    SearchState state = freshList(5);
    EXPECT_EQ(doCommand(state, kUp, true).row, 4);
}

struct CommandRow {
    const char* name;
    SearchCommand command;
    Action action;
};

void PrintTo(const CommandRow& row, std::ostream* os)
{
    *os << row.name;
}

class OtherCommandTest : public ::testing::TestWithParam<CommandRow> {};

// Return and Escape act, but are not consumed: the field handles them too.
TEST_P(OtherCommandTest, IsNotHandledAndLeavesTheStateAlone)
{
    SearchState state = freshList(3);
    doCommand(state, kDown, false);
    const SearchState before = state;
    const CommandEffect effect = doCommand(state, GetParam().command, false);
    EXPECT_FALSE(effect.handled);
    EXPECT_EQ(effect.action, GetParam().action);
    EXPECT_EQ(state.selectedSearch, before.selectedSearch);
    EXPECT_EQ(state.selectedProject, before.selectedProject);
    EXPECT_EQ(state.searchDirection, before.searchDirection);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OtherCommandTest,
    ::testing::Values(CommandRow{"ReturnLaunchesAndToggles", SearchCommand::InsertNewline,
                                 Action::LaunchAndToggle},
                      CommandRow{"EscapeCloses", SearchCommand::CancelOperation,
                                 Action::ClosePanel},
                      CommandRow{"DeleteForward", SearchCommand::DeleteForward, Action::None},
                      CommandRow{"DeleteBackward", SearchCommand::DeleteBackward, Action::None},
                      CommandRow{"Tab", SearchCommand::InsertTab, Action::None},
                      CommandRow{"Other", SearchCommand::Other, Action::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchNavigationTest, ResetClearsEverything)
{
    SearchState state = freshList(3);
    doCommand(state, kUp, false);
    resetVars(state);
    EXPECT_FALSE(state.searchArray.has_value());
    EXPECT_TRUE(state.selectedProject.isNull());
    EXPECT_TRUE(state.searchDirection.isNull());
    EXPECT_EQ(state.selectedSearch, 0);
}

TEST(SearchNavigationTest, ASearchResultResetsTheCursorAndTargetsTheFirstMatch)
{
    SearchState state = freshList(5);
    doCommand(state, kUp, false);
    applySearchResult(state, {QStringLiteral("b"), QStringLiteral("a")});
    EXPECT_EQ(state.searchArray, (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
    EXPECT_EQ(state.selectedProject, QStringLiteral("b"));
    EXPECT_EQ(state.selectedSearch, 0);
    EXPECT_EQ(state.searchDirection, kDirectionUp);
}

TEST(SearchNavigationTest, NoMatchStoresNoneAndKeepsTheTarget)
{
    SearchState state = freshList(3);
    applySearchResult(state, {});
    EXPECT_FALSE(state.searchArray.has_value());
    EXPECT_EQ(state.selectedProject, QStringLiteral("p0"));
    EXPECT_EQ(state.selectedSearch, 0);
}

TEST(SearchNavigationTest, CommandsAreKnownByTheirKeyBindingNames)
{
    const std::pair<const char*, SearchCommand> names[] = {
        {"insertNewline:", SearchCommand::InsertNewline},
        {"cancelOperation:", SearchCommand::CancelOperation},
        {"moveUp:", SearchCommand::MoveUp},
        {"moveDown:", SearchCommand::MoveDown},
        {"deleteForward:", SearchCommand::DeleteForward},
        {"deleteBackward:", SearchCommand::DeleteBackward},
        {"insertTab:", SearchCommand::InsertTab},
        {"moveUp", SearchCommand::Other},
        {"moveToBeginningOfDocument:", SearchCommand::Other},
        {"", SearchCommand::Other},
    };
    for (const auto& [name, command] : names) {
        EXPECT_EQ(searchCommandNamed(QString::fromLatin1(name)), command) << name;
    }
}

} // namespace
} // namespace zarvo
