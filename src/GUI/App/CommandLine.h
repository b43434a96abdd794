#pragma once
#include <string>
#include <vector>

// The switches of the command line. A switch is an argument that starts with "-" or "/".
struct TStartOptions {
    bool Hide = false; // "hide", exact case: the main window is not shown at start
    bool Scan = false; // "scan", any case: scan as soon as start-up has finished
};

// arguments: the command line without the program name.
TStartOptions ParseCommandLine(const std::vector<std::string>& arguments);
