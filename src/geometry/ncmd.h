#pragma once
// NC commands: every effect a channel's program has on the machine (a path element, an
// auxiliary-axis move, a dwell, an M, H, S or T function, a stop, a synchronisation point,
// an axis query, a message, a raw kernel function) is one command object. Commands have
// one owner at a time: the maker until it inserts them into the queue, the queue until
// delivery, then the NC output.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/block_key.h"
#include "geometry/geo.h"
#include "geometry/pose.h"

namespace Karsto {

class InterpolationAxes;

// The serial every maker gives a command: not delivered yet. The queue writes the real
// number at delivery.
inline constexpr uint64_t kSerialUndelivered = UINT64_MAX;

// A number as the command texts show it: six significant digits, the shorter of fixed and
// scientific notation (printf's "%g"), independent of the locale.
std::string formatNumber(double value);

enum class NCmdKind : uint8_t {
    interpolate = 0,
    geo = 1,
    wait = 2,
    mFunc = 3,
    accurateStop = 4,
    autoAccurateStop = 5,
    delDtg = 6,
    nc2Func = 7,
    hst = 8,
    sync = 9,
    queryaxes = 10,
    updateaxes = 11,
    msg = 12,
};

inline constexpr int kNCmdKindCount = 13;

// What reversed yields for a kind: nothing, an equal copy, or a computed reverse.
enum class NCmdReverse : uint8_t {
    none = 0,
    copy = 1,
    own = 2,
};

class NCmd {
public:
    virtual ~NCmd() = default;
    NCmd& operator=(const NCmd&) = delete;

    virtual std::string toString() const = 0;
    // A new, independent copy with the same key, origin, serial and payload.
    virtual std::unique_ptr<NCmd> clone() const = 0;
    // A new command travelling the same thing backwards, or null for kinds without one.
    virtual std::unique_ptr<NCmd> reversed() const = 0;

    NCmdKind kind() const { return kind_; }
    // Numbered kinds take a serial of their own at delivery and take part in a block
    // search; the others share the last number handed out and always pass.
    bool numbered() const { return numbered_; }
    const BlockKey& key() const { return key_; }
    const BlockOrigin& origin() const { return origin_; }
    uint64_t serial() const { return serial_; }
    void setSerial(uint64_t serial) { serial_ = serial; }

protected:
    NCmd(NCmdKind kind, bool numbered, const BlockOrigin& origin, const BlockKey& key,
         uint64_t serial)
        : key_(key), origin_(origin), serial_(serial), kind_(kind), numbered_(numbered) {}
    NCmd(const NCmd&) = default;

private:
    BlockKey key_;
    BlockOrigin origin_;
    uint64_t serial_;
    NCmdKind kind_;
    bool numbered_;
};

// The per-class facts of a command kind in one place: its kind, whether it is numbered and
// how it reverses; clone is the copy constructor. A class with NCmdReverse::own provides
// reversedCommand().
template <class Derived, NCmdKind Kind, bool Numbered, NCmdReverse Reverse>
class NCmdOf : public NCmd {
public:
    static constexpr NCmdKind kKind = Kind;

    std::unique_ptr<NCmd> clone() const override {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }
    std::unique_ptr<NCmd> reversed() const override {
        if constexpr (Reverse == NCmdReverse::none) return nullptr;
        else if constexpr (Reverse == NCmdReverse::copy) return clone();
        else return static_cast<const Derived&>(*this).reversedCommand();
    }

protected:
    NCmdOf(const BlockOrigin& origin, const BlockKey& key, uint64_t serial)
        : NCmd(Kind, Numbered, origin, key, serial) {}
    NCmdOf(const NCmdOf&) = default;
};

// A move of the auxiliary axes from one list of values to another. The axis list belongs
// to the interpolation that made the command.
class NCmdInterpolate final
    : public NCmdOf<NCmdInterpolate, NCmdKind::interpolate, true, NCmdReverse::own> {
public:
    // from and to hold one value each per axis of axes.
    NCmdInterpolate(InterpolationAxes* axes, std::span<const double> from,
                    std::span<const double> to, double speed, bool withPathMotion,
                    const BlockOrigin& origin, const BlockKey& key,
                    uint64_t serial = kSerialUndelivered);
    NCmdInterpolate(const NCmdInterpolate&) = default;

    // "Interpolate time=<counter> from=[v, v] to=[v, v] speed=<speed>".
    std::string toString() const override;
    // A copy with from and to exchanged.
    std::unique_ptr<NCmd> reversedCommand() const;
    // Moves this command's start values to the given fraction of the way to the end
    // values, and returns a copy of the command as it then stands.
    std::unique_ptr<NCmdInterpolate> startAt(double fraction);

    InterpolationAxes* axes() const { return axes_; }
    std::span<const double> from() const { return from_; }
    std::span<const double> to() const { return to_; }
    double speed() const { return speed_; }
    // The move goes with a path motion of its block during a block search.
    bool withPathMotion() const { return withPathMotion_; }

private:
    InterpolationAxes* axes_;
    std::vector<double> from_;
    std::vector<double> to_;
    double speed_;
    bool withPathMotion_;
};

// A path element on its way to the NC output; key and origin are the element's.
class NCmdGeo final : public NCmdOf<NCmdGeo, NCmdKind::geo, true, NCmdReverse::own> {
public:
    // geo must not be null.
    explicit NCmdGeo(std::unique_ptr<Geo> geo, uint64_t serial = kSerialUndelivered);
    NCmdGeo(const NCmdGeo& other) : NCmdOf(other), geo_(other.geo_->clone()) {}

    // The element's own text form.
    std::string toString() const override { return geo_->toString(); }
    // Around the element's reverse, same serial.
    std::unique_ptr<NCmd> reversedCommand() const;

    Geo& geo() { return *geo_; }
    const Geo& geo() const { return *geo_; }

private:
    std::unique_ptr<Geo> geo_;
};

class NCmdWait final : public NCmdOf<NCmdWait, NCmdKind::wait, true, NCmdReverse::copy> {
public:
    NCmdWait(double seconds, const BlockOrigin& origin, const BlockKey& key,
             uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial), seconds_(seconds) {}
    NCmdWait(const NCmdWait&) = default;

    std::string toString() const override { return "Wait " + formatNumber(seconds_); }
    double seconds() const { return seconds_; }

private:
    double seconds_;
};

class NCmdMFunc final : public NCmdOf<NCmdMFunc, NCmdKind::mFunc, true, NCmdReverse::none> {
public:
    NCmdMFunc(double number, const BlockOrigin& origin, const BlockKey& key,
              uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial), number_(number) {}
    NCmdMFunc(const NCmdMFunc&) = default;

    std::string toString() const override { return "MFunc " + formatNumber(number_); }
    double number() const { return number_; }

private:
    double number_;
};

class NCmdAccurateStop final
    : public NCmdOf<NCmdAccurateStop, NCmdKind::accurateStop, false, NCmdReverse::copy> {
public:
    NCmdAccurateStop(const BlockOrigin& origin, const BlockKey& key,
                     uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial) {}
    NCmdAccurateStop(const NCmdAccurateStop&) = default;

    std::string toString() const override { return "AccurateStop"; }
};

class NCmdAutoAccurateStop final
    : public NCmdOf<NCmdAutoAccurateStop, NCmdKind::autoAccurateStop, false, NCmdReverse::none> {
public:
    NCmdAutoAccurateStop(double angleLimit, const BlockOrigin& origin, const BlockKey& key,
                         uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial), angleLimit_(angleLimit) {}
    NCmdAutoAccurateStop(const NCmdAutoAccurateStop&) = default;

    // The angle limit is not shown.
    std::string toString() const override { return "AutoAccurateStop"; }
    double angleLimit() const { return angleLimit_; }

private:
    double angleLimit_;
};

// Delete distance to go.
class NCmdDelDtg final : public NCmdOf<NCmdDelDtg, NCmdKind::delDtg, false, NCmdReverse::none> {
public:
    NCmdDelDtg(const BlockOrigin& origin, const BlockKey& key, uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial) {}
    NCmdDelDtg(const NCmdDelDtg&) = default;

    std::string toString() const override { return "DelDtg"; }
};

// The 96-byte block of a kernel function, passed on to the kernel unchanged: the function
// code (int32, little-endian) at byte 0, an int32 0 at byte 4 and the code's own data from
// byte 8. Every byte a code does not define stays 0.
class Nc2FuncData {
public:
    static constexpr size_t kSize = 96;
    static constexpr size_t kPayloadOffset = 8;
    static constexpr size_t kPayloadSize = kSize - kPayloadOffset;

    explicit Nc2FuncData(int32_t code);

    int32_t code() const;
    // Little-endian writers at a byte offset of the whole block (the payload starts at 8),
    // whatever the host's byte order.
    void putInt32(size_t offset, int32_t value);
    void putDouble(size_t offset, double value);
    std::span<uint8_t, kPayloadSize> payload() {
        return std::span<uint8_t, kSize>(bytes_).subspan<kPayloadOffset>();
    }
    std::span<const uint8_t, kSize> bytes() const { return bytes_; }

private:
    std::array<uint8_t, kSize> bytes_{};
};

class NCmdNc2Func final
    : public NCmdOf<NCmdNc2Func, NCmdKind::nc2Func, true, NCmdReverse::none> {
public:
    NCmdNc2Func(const Nc2FuncData& data, const BlockOrigin& origin, const BlockKey& key,
                uint64_t serial = kSerialUndelivered);
    NCmdNc2Func(const NCmdNc2Func&) = default;

    std::string toString() const override { return "NCmdNc2Func"; }
    std::span<const uint8_t> data() const { return data_; }
    int32_t size() const { return static_cast<int32_t>(data_.size()); }

private:
    std::vector<uint8_t> data_;
};

// An H, S or T function: letter 'h', 's' or 't' with its value.
class NCmdHst final : public NCmdOf<NCmdHst, NCmdKind::hst, true, NCmdReverse::none> {
public:
    NCmdHst(char letter, double value, const BlockOrigin& origin, const BlockKey& key,
            uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial), letter_(letter), value_(value) {}
    NCmdHst(const NCmdHst&) = default;

    // "HST s=1200".
    std::string toString() const override;
    char letter() const { return letter_; }
    double value() const { return value_; }

private:
    char letter_;
    double value_;
};

class NCmdSync final : public NCmdOf<NCmdSync, NCmdKind::sync, false, NCmdReverse::copy> {
public:
    NCmdSync(const BlockOrigin& origin, const BlockKey& key, uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial) {}
    NCmdSync(const NCmdSync&) = default;

    std::string toString() const override { return "Sync"; }
};

class NCmdQueryaxes final
    : public NCmdOf<NCmdQueryaxes, NCmdKind::queryaxes, false, NCmdReverse::none> {
public:
    NCmdQueryaxes(const BlockOrigin& origin, const BlockKey& key,
                  uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial) {}
    NCmdQueryaxes(const NCmdQueryaxes&) = default;

    std::string toString() const override { return "Queryaxes"; }
};

// The kernel's current frame and auxiliary-axis values q1 to q5; made without an origin.
class NCmdUpdateaxes final
    : public NCmdOf<NCmdUpdateaxes, NCmdKind::updateaxes, false, NCmdReverse::none> {
public:
    static constexpr size_t kAxisCount = 5;

    NCmdUpdateaxes(const Pose& frame, std::span<const double, kAxisCount> q, const BlockKey& key,
                   uint64_t serial = kSerialUndelivered);
    NCmdUpdateaxes(const NCmdUpdateaxes&) = default;

    // "Updateaxes frame=<pose> q0=v q1=v q2=v q3=v q4=v" and a line end.
    std::string toString() const override;
    const Pose& frame() const { return frame_; }
    std::span<const double, kAxisCount> q() const { return q_; }

private:
    Pose frame_;
    std::array<double, kAxisCount> q_;
};

// An operator message.
class NCmdMsg final : public NCmdOf<NCmdMsg, NCmdKind::msg, false, NCmdReverse::copy> {
public:
    NCmdMsg(std::string_view text, const BlockOrigin& origin, const BlockKey& key,
            uint64_t serial = kSerialUndelivered)
        : NCmdOf(origin, key, serial), text_(text) {}
    NCmdMsg(const NCmdMsg&) = default;

    std::string toString() const override { return "Msg " + text_; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

} // namespace Karsto
