// Why the Tumbra reader stopped at a line, in words for the detail line of its message: the
// column, counted from 1, and what stood there. Worked out again from the line alone once the
// reading has stopped at it, so that reading the lines carries nothing for it.
#pragma once

#include <string>
#include <string_view>

namespace tumbra {

// For a line ReadLine refused (BadPointLine or BadSwitchValue), the first column it could not
// take: `column 2: "1,5" is not a number`, `column 4: no whole number`, `column 5: "99999999999"
// is out of range`. Empty for a line ReadLine takes.
std::string DescribeRefusedLine(std::string_view line);

// The keyword of a switch line ReadLine did not recognise, quoted: "sparkle" for "s sparkle 1".
std::string QuotedSwitchWord(std::string_view line);

}  // namespace tumbra
