// Test hook: the program ReadMoleculeInReader runs, in place of the one MoleculeReaderPath finds.
// Empty restores the search.
#pragma once

#include <string>

void SetMoleculeReaderForTesting(const std::string& program);
