// Keeps what the chemistry libraries print to the standard streams out of the window's terminal
// and out of kestrel-render's output (which may be a picture written to standard output): while
// one lives, std::cout, std::cerr and std::clog, and C's stdout and stderr, write nowhere (for the
// whole process: a read is short, and the program's other threads print nothing meanwhile); libxml2
// (under Open Babel's CML reader) reports to nobody from the first one on (nothing else in the
// program uses it). Their reasons reach the user through the reader's message.
#pragma once

#include <cstdio>
#include <iostream>
#include <streambuf>

class LibraryQuiet {
 public:
  LibraryQuiet();
  ~LibraryQuiet();
  LibraryQuiet(const LibraryQuiet&) = delete;
  LibraryQuiet& operator=(const LibraryQuiet&) = delete;

 private:
  std::streambuf* out_;
  std::streambuf* err_;
  std::streambuf* log_;
  FILE* cOut_;
  FILE* cErr_;
};
