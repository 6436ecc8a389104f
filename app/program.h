#pragma once

namespace novel {

class AppState;

// Shows MainWindow and runs the message loop until the main window is closed, whatever other
// windows are still open. The exit clean-up of `state` has run when this returns. Returns the
// program's exit code.
int runProgram(AppState& state);

}  // namespace novel
