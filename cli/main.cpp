// verup: the headless front end of the NEXAVO7300QB firmware update tool.
#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "Commands.h"
#include "platform/Console.h"
#include "platform/Paths.h"

namespace {

// Exit codes shared by every subcommand; each subcommand documents its own from 2 on.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 64;       // the command line is wrong
constexpr int kExitNoDirectory = 66; // -C names a folder we cannot enter
constexpr int kExitInternal = 70;    // an unexpected failure

}  // namespace

int main(int argc, char** argv)
{
    verup::PrepareConsoleOutput();
    CLI::App app{"Firmware update tool for the NEXAVO7300QB network terminal.\n"
                 "Run it in the folder that holds verup.dat and the images (rt00.mot, fpga01.mot,\n"
                 "fpga02.mot, from00.mot), or name that folder with -C.",
                 "verup"};
    app.require_subcommand(1);
    app.set_version_flag("--version", VERUP_VERSION, "Print the version and exit");
    app.footer("Exit codes: 0 success, 64 wrong command line, 66 -C folder not usable, 70 unexpected failure;\n"
               "each command's --help lists its own codes.");

    std::string directory;
    app.add_option("-C,--directory", directory, "Change to DIR before doing anything else")->option_text("DIR");
    // Runs after parsing and before any subcommand, so they all see the new folder.
    app.parse_complete_callback([&directory] {
        if (!directory.empty() && !verup::ChangeDirectory(directory))
            throw CLI::RuntimeError("cannot enter " + directory + ": " + std::strerror(errno), kExitNoDirectory);
    });

    AddConfigCommand(app);
    AddImagesCommand(app);
    AddUpdateCommand(app);
    AddSettingsCommand(app);
    AddPortsCommand(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        // A subcommand's result, or -C failing; only the latter carries a message.
        if (e.get_exit_code() == kExitNoDirectory)
            std::cerr << "verup: " << e.what() << "\n";
        return e.get_exit_code();
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "verup: " << e.what() << "\n";
        return kExitInternal;
    }
    return kExitOk;
}
