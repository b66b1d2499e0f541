#pragma once

namespace zarvo::test {

// Creates the process's QApplication on first call (widget tests run on the
// platform QT_QPA_PLATFORM names, offscreen under ctest) and keeps it for the
// rest of the run. XDG_CONFIG_HOME points at an empty directory of its own.
void ensureWidgetApplication();

} // namespace zarvo::test
