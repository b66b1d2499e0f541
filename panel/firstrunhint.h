#pragma once

#include <QString>

class QLabel;

namespace zarvo {

class PanelController;

// A first run's panel: while the store holds no project there is nothing to
// list, so the list area shows a few words on how to add a project instead,
// and the panel grows to the height of a two-row list to make room for them.
namespace first_run_hint {
// The list rows whose room the hint takes.
inline constexpr int kRows = 2;
// The hint label's object name, among the panel's content view's children.
inline constexpr char kObjectName[] = "firstRunHint";

// The words shown.
QString text();
} // namespace first_run_hint

// Lets updateFirstRunHint() show the hint. The application turns it on at
// start-up; off (the default) it keeps every panel as the layout alone makes
// it, which is what the panel's own tests expect of an empty store.
void setFirstRunHintEnabled(bool enabled);
bool firstRunHintEnabled();

// Shows the hint in the panel of CONTROLLER when the hint is enabled, the
// panel is open, no list is shown and the store holds no project: the panel
// takes the frame a search listing first_run_hint::kRows names would give it
// and the hint fills that list area. Hides the hint otherwise, and whenever
// the panel leaves the screen. Runs once the panel has finished opening and
// after every search.
void updateFirstRunHint(PanelController& controller);

// The hint label of CONTROLLER's panel; null until the hint was first shown.
QLabel* firstRunHintLabel(const PanelController& controller);

} // namespace zarvo
