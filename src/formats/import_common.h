// What the importers of other programs' files share: the memo lines that describe an imported
// model, the message that says a file is damaged, and opening a file only when it is a regular
// one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SceneData;

// The memo of an imported model: the file's name (without its folder), the format, and the
// counts of points, lines and dots, e.g. {"part.stl", "STL", "8 points, 12 lines, 0 dots"}.
std::vector<std::string> DescribeImport(const std::string& path, std::string_view format,
                                        size_t points, size_t lines, size_t dots);

// "The <format> file "<path>" is damaged: <reason>".
std::string DamagedMessage(std::string_view format, const std::string& path,
                           std::string_view reason);

// "The <format> file "<path>" is too large: <reason>".
std::string TooLargeMessage(std::string_view format, const std::string& path,
                            std::string_view reason);

// OpenRegularFile (a read-only descriptor of a regular file, opened without waiting) is in
// formats/file_bytes.h.

// The size of an open file, through its descriptor.
uint64_t OpenFileSize(int fd);
