#include "GUI/App/CommandLine.h"

#include "Core/Common/Text.h"

#include <string_view>

TStartOptions ParseCommandLine(const std::vector<std::string>& arguments) {
    TStartOptions options;
    for (const std::string& argument : arguments) {
        if (argument.empty() || (argument.front() != '-' && argument.front() != '/'))
            continue;
        const std::string_view name = std::string_view(argument).substr(1);
        if (name == "hide")
            options.Hide = true;
        else if (SameTextAscii(name, "scan"))
            options.Scan = true;
    }
    return options;
}
