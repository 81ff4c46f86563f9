// A switch for the tests alone: they turn the AVX2 forms of the line and of the drawing pass off
// to check the portable forms against them. Process-wide; the program never touches it.
#pragma once

// On (the default) lets UseAvx2 answer whether the processor has AVX2; off makes it answer no.
void AllowAvx2(bool allowed);
