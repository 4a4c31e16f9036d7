#pragma once
// The subcommands of the verup command line.
#include <CLI/CLI.hpp>

void AddConfigCommand(CLI::App& app);
void AddImagesCommand(CLI::App& app);
void AddUpdateCommand(CLI::App& app);
void AddSettingsCommand(CLI::App& app);
void AddPortsCommand(CLI::App& app);
