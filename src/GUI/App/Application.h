#pragma once

// The program: parses the switches, hands a second start over to the running copy, and otherwise runs
// the main window until it really closes. Returns the process exit code.
int RunApplication(int argc, char** argv);
