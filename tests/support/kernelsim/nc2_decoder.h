#pragma once
// The kernel's reading of an NC record: every field as a typed value, and one text line
// per record for golden streams. The offsets are written out here on their own, as the
// kernel knows them, so that a builder that puts a field in the wrong place is caught.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/zel/vek_types.h"

namespace KernelSim {

struct Nc2Point {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

struct Nc2Decoded {
    std::uint32_t indexOffset = 0;
    std::size_t size = 0;
    // Header.
    std::int32_t type = 0;
    std::int32_t sourceLine = 0;
    std::int32_t sourceOffset = 0;
    std::int32_t blockNumber = 0;
    std::uint32_t serial = 0;
    std::uint32_t headerReserved = 0;

    // Geometry (type 2).
    std::int32_t subtype = 0;
    std::int32_t plane = 0;
    Nc2Point end;
    double speed = 0.0;
    Nc2Point centre;    // circle, helix
    Nc2Point rotation;  // circle, helix
    double rise = 0.0;  // helix
    std::array<double, 5> q{};
    std::vector<Nc2Point> inner; // Bezier: the inner control points in their order

    // Function (type 4); an operator message is code 26.
    std::int32_t funcCode = 0;
    std::vector<std::uint8_t> funcData; // the 96-byte block
    std::int32_t msgLength = 0;
    std::string msgText;       // up to the first NUL of its 80 bytes
    std::uint8_t msgTerminator = 0;

    // M functions (type 5).
    std::int32_t mfuncKind = 0;
    std::array<std::int32_t, 8> mfuncNumbers{};

    double seconds = 0.0;                 // wait (type 6)
    std::int32_t spindleSubtype = 0;      // spindle (type 7)
    std::int32_t spindleGWord = 0;
    double spindleS = 0.0;
    std::array<std::int32_t, 6> ipol{};   // interpolation rules (type 8)
    VekHead syncHead;                     // synchronisation (type 10)
    std::int32_t syncEventType = -1;
    std::int32_t syncChannelId = -1;
    std::int32_t syncReserved = -1;
    std::int32_t value = 0;               // H value, tool number, value (13, 14, 16)
    Nc2Point startPos;                    // start position (type 26), q in q

    std::vector<std::uint8_t> bytes;      // the whole record

    // The record as one line: header, type name and its fields.
    std::string text() const;
};

Nc2Decoded nc2Decode(std::uint32_t indexOffset, std::span<const std::uint8_t> bytes);

} // namespace KernelSim
