// A file's extension, apart from the table of readers it picks, so that a program that reads
// one kind of file need not take every reader with it.
#pragma once

#include <string>

// The text from the last dot to the end, ASCII letters in lower case; empty when there is no dot,
// or when a backslash, slash or colon comes after the last one.
std::string LowerExtension(const std::string& path);
