// A check of V3000 molfiles before Open Babel reads them. Open Babel 3.1.1 takes the fields of
// each "M  V30" line by position without counting them, so a short or stray line in the
// connection table makes it read past the end of its list (found by fuzzing; a damaged file
// could crash the program). Only the number of fields on each line is checked here, never a
// value: the reading stays the library's.
#pragma once

#include <string>
#include <string_view>

// Empty when Open Babel can read the first molecule of `bytes` safely (a V2000 molecule always);
// otherwise what is wrong, naming the line ("line 7 has too few fields for an atom").
std::string MolfileHazard(std::string_view bytes);
