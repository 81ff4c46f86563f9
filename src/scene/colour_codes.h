// Colour values (bytes blue, green, red, 0: the 32-bit frame's pixel layout) and the Tumbra
// colour codes.
#pragma once

#include <cstdint>

// Builds a colour value from blue, green and red, in that order.
constexpr uint32_t MakeColor(uint8_t blue, uint8_t green, uint8_t red) {
  return uint32_t{blue} | (uint32_t{green} << 8) | (uint32_t{red} << 16);
}

constexpr uint8_t ColourBlue(uint32_t colour) {
  return static_cast<uint8_t>(colour);
}
constexpr uint8_t ColourGreen(uint32_t colour) {
  return static_cast<uint8_t>(colour >> 8);
}
constexpr uint8_t ColourRed(uint32_t colour) {
  return static_cast<uint8_t>(colour >> 16);
}

// The colour of a Tumbra colour code on the white background (`whiteBack`) or the black one.
uint32_t CodeColour(uint8_t code, bool whiteBack);

// The toolkit's red-low packing of the same colour: red + 256 × green + 65536 × blue.
constexpr uint32_t ToolkitColour(uint8_t red, uint8_t green, uint8_t blue) {
  return uint32_t{red} | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
}
