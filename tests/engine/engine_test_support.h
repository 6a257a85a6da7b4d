// Shared pieces of the engine tests: the conversion lists as the program fills
// them, and the child helper installed under a name of the test's own.
#pragma once

#include <string>

#include "test_program.h"

namespace engine_tests {

// Fills the output type list and the eight option lists from the catalogue and
// selects the given output type with a quality level's preset, as the settings
// code does at start-up.
void SetUpConversionLists(Program& program, int output_type = 0, int quality_level = 2);

// A process name no other process on the machine bears: at most 13 characters,
// so the kernel keeps it whole even with a letter added on either side.
std::string UniqueProcessName(const std::string& tag);

// Copies the child helper into the folder under the name; returns its path.
std::string InstallChildHelper(const std::string& folder, const std::string& name);

// Adds a source row: check text, path, start and end cells.
void AddRow(Program& program, const std::string& check, const std::string& path, const std::string& start = "",
            const std::string& end = "", const std::string& duration = "00:01:00");

}  // namespace engine_tests
