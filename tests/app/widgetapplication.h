#pragma once

namespace zarvo::test {

// Creates the process's QApplication on first call (widget tests run on the
// platform QT_QPA_PLATFORM names, offscreen under ctest) and keeps it for the
// rest of the run.
void ensureWidgetApplication();

} // namespace zarvo::test
