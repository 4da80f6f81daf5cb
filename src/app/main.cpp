// The program's entry: the command line, then a live run or a render.
#include "app/commandline.h"
#include "app/interactiverun.h"
#include "app/renderrun.h"
#include "app/startupnotes.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    const CommandLineResult commandLine = ParseCommandLine(argc, argv);
    if (const int status = HandleCommandLine(commandLine, argv[0], std::cout, std::cerr);
        status >= 0)
        return status;
    QuietHarmlessQtNotes();
    const std::string path = argv[0];
    const std::string program = path.substr(path.rfind('/') + 1);
    if (!commandLine.options.render.empty()) return RunRender(commandLine.options, program);
    return RunInteractive(commandLine.options, argc, argv, program);
}
