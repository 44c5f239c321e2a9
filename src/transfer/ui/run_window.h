#pragma once

/// Runs VNH_Transfer with its window: creates the application and the main window and runs the
/// message loop until the window closes. Returns the program's exit code.
int RunWindow(int argc, char** argv);
