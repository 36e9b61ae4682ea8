#pragma once
// The tag of the module's published examples, shared by the tests that need a real-looking tag.

#include <cstdint>
#include <vector>

namespace test_support {

/// The 96-bit EPC of the published inventory, read and write examples.
inline const std::vector<std::uint8_t> kExampleEpc =
    {0x30, 0x75, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04, 0xE3, 0xD5, 0x0D, 0x70};
/// Its PC word (six EPC words, User memory present) and the CRC-16 over PC and EPC.
inline constexpr std::uint16_t kExamplePc = 0x3400;
inline constexpr std::uint16_t kExampleCrc = 0x3A76;

/// An EPC that puts the frame end byte 0x7E inside every frame that carries it: in the EPC
/// itself and, with PC 3400, in its CRC 3F7E.
inline const std::vector<std::uint8_t> kTildeEpc =
    {0x30, 0x7E, 0x1F, 0xEB, 0x70, 0x5C, 0x59, 0x04, 0xE3, 0xD5, 0x0D, 0x83};
inline constexpr std::uint16_t kTildeCrc = 0x3F7E;

} // namespace test_support
