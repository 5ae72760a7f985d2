#include "support/kernelsim/nc2_decoder.h"

#include <bit>
#include <cstdio>

namespace KernelSim {

namespace {

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint32_t u32(std::size_t at) const {
        if (at + 4 > bytes_.size()) return 0;
        return vekGet32(bytes_.data() + at);
    }
    std::int32_t i32(std::size_t at) const { return static_cast<std::int32_t>(u32(at)); }
    double f64(std::size_t at) const {
        if (at + 8 > bytes_.size()) return 0.0;
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < 8; ++i)
            bits |= std::uint64_t{bytes_[at + i]} << (8 * i);
        return std::bit_cast<double>(bits);
    }
    Nc2Point point(std::size_t at) const { return {f64(at), f64(at + 8), f64(at + 16)}; }
    std::uint8_t u8(std::size_t at) const { return at < bytes_.size() ? bytes_[at] : 0; }

private:
    std::span<const std::uint8_t> bytes_;
};

std::string number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

std::string point(const Nc2Point& p) { return "(" + number(p.x) + "," + number(p.y) + "," + number(p.z) + ")"; }

std::string qText(const std::array<double, 5>& q) {
    std::string out = "q=(";
    for (std::size_t i = 0; i < q.size(); ++i)
        out += (i ? "," : "") + number(q[i]);
    return out + ")";
}

} // namespace

Nc2Decoded nc2Decode(std::uint32_t indexOffset, std::span<const std::uint8_t> bytes) {
    const Reader r(bytes);
    Nc2Decoded d;
    d.indexOffset = indexOffset;
    d.size = bytes.size();
    d.bytes.assign(bytes.begin(), bytes.end());
    d.type = r.i32(0);
    d.sourceLine = r.i32(4);
    d.sourceOffset = r.i32(8);
    d.blockNumber = r.i32(12);
    d.serial = r.u32(16);
    d.headerReserved = r.u32(20);
    switch (d.type) {
    case 2:
        d.subtype = r.i32(24);
        d.plane = r.i32(28);
        d.end = r.point(32);
        d.speed = r.f64(56);
        for (std::size_t i = 0; i < 5; ++i)
            d.q[i] = r.f64(120 + 8 * i);
        if (d.subtype == 2 || d.subtype == 3) {
            d.centre = r.point(64);
            d.rotation = r.point(88);
            d.rise = r.f64(112);
        } else if (d.subtype == 10) {
            d.inner = {r.point(88), r.point(64)};
        } else if (d.subtype == 6) {
            d.inner = {r.point(88), r.point(64), r.point(160), r.point(184)};
        }
        break;
    case 4:
        d.funcCode = r.i32(24);
        if (bytes.size() >= 120) d.funcData.assign(bytes.begin() + 24, bytes.begin() + 120);
        if (d.funcCode == 26) {
            d.msgLength = r.i32(32);
            for (std::size_t i = 36; i < 116 && r.u8(i) != 0; ++i)
                d.msgText.push_back(static_cast<char>(r.u8(i)));
            d.msgTerminator = r.u8(116);
        }
        break;
    case 5:
        d.mfuncKind = r.i32(24);
        for (std::size_t i = 0; i < 8; ++i)
            d.mfuncNumbers[i] = r.i32(28 + 4 * i);
        break;
    case 6: d.seconds = r.f64(24); break;
    case 7:
        d.spindleSubtype = r.i32(24);
        d.spindleGWord = r.i32(28);
        d.spindleS = r.f64(32);
        break;
    case 8:
        for (std::size_t i = 0; i < 6; ++i)
            d.ipol[i] = r.i32(24 + 4 * i);
        break;
    case 10:
        if (bytes.size() >= 24 + kVekHeadSize) d.syncHead = vekDecodeHead(bytes.data() + 24);
        d.syncEventType = r.i32(24 + kVekHeadSize + 0);
        d.syncChannelId = r.i32(24 + kVekHeadSize + 8);
        d.syncReserved = r.i32(24 + kVekHeadSize + 12);
        break;
    case 13:
    case 14:
    case 16: d.value = r.i32(24); break;
    case 26:
        d.startPos = r.point(24);
        for (std::size_t i = 0; i < 5; ++i)
            d.q[i] = r.f64(48 + 8 * i);
        break;
    default: break;
    }
    return d;
}

std::string Nc2Decoded::text() const {
    std::string out = "L" + std::to_string(sourceLine) + " O" + std::to_string(sourceOffset) + " N" +
                      std::to_string(blockNumber) + " #" + std::to_string(serial) + " ";
    switch (type) {
    case 2: {
        const char* names[] = {"?", "line", "circle", "helix", "auxaxis", "?", "bezier5", "?", "?", "?", "bezier3"};
        out += "geo ";
        out += subtype >= 0 && subtype <= 10 ? names[subtype] : "?";
        out += " end=" + point(end) + " speed=" + number(speed);
        if (subtype == 2 || subtype == 3)
            out += " plane=" + std::to_string(plane) + " centre=" + point(centre) + " rot=" + point(rotation);
        if (subtype == 3) out += " rise=" + number(rise);
        for (std::size_t i = 0; i < inner.size(); ++i)
            out += " cp" + std::to_string(i + 1) + "=" + point(inner[i]);
        out += " " + qText(q);
        break;
    }
    case 4:
        if (funcCode == 26) out += "msg '" + msgText + "'";
        else out += "func code=" + std::to_string(funcCode);
        break;
    case 5: {
        out += "mfunc kind=" + std::to_string(mfuncKind) + " [";
        bool first = true;
        for (std::int32_t n : mfuncNumbers) {
            if (n == -1) continue;
            out += (first ? "" : ",") + std::to_string(n);
            first = false;
        }
        out += "]";
        break;
    }
    case 6: out += "wait " + number(seconds); break;
    case 7: out += "spindle s=" + number(spindleS); break;
    case 8:
        out += "ipolRules";
        for (std::int32_t w : ipol)
            out += " " + std::to_string(w);
        break;
    case 10: out += "sync channel=" + std::to_string(syncChannelId); break;
    case 11: out += "stop"; break;
    case 13: out += "hvalue " + std::to_string(value); break;
    case 14: out += "toolNr " + std::to_string(value); break;
    case 16: out += "value " + std::to_string(value); break;
    case 26: out += "startPos " + point(startPos) + " " + qText(q); break;
    default: out += "type " + std::to_string(type); break;
    }
    return out;
}

} // namespace KernelSim
