// The program's entry: the command line, then a live run or a render.
#include "app/bankcommands.h"
#include "app/commandline.h"
#include "app/datafolder.h"
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
    const CommandLine& options = commandLine.options;
    if (!options.list.empty()) return RunList(options, std::cout, std::cerr, program);
    if (!options.import.empty()) {
        // Into the banks the program plays from.
        const DataFolder folder = ChooseDataFolder(DefaultDataPlaces());
        if (!folder.note.empty()) std::cerr << program << ": " << folder.note << "\n";
        return RunImport(options, folder.path, std::cout, std::cerr, program);
    }
    if (!options.render.empty()) return RunRender(options, program);
    return RunInteractive(options, argc, argv, program);
}
