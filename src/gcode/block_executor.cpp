#include "gcode/block_executor.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>

#include "core/exception.h"
#include "core/gprocessor.h"
#include "core/log.h"
#include "core/stackmachine.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/little_endian.h"
#include "gcode/modal_records.h"
#include "gcode/units.h"
#include "gcode/wait_counter.h"
#include "geometry/canvas6d.h"
#include "geometry/geo_line.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"
#include "geometry/trans_matrix.h"

namespace Karsto {

namespace {

// Skip levels are bits of the 64-bit disable mask; higher levels never match.
constexpr int32_t kSkipLevels = 64;

// G and M numbers must lie this close to an integer, tool numbers (D) closer.
constexpr double kCodeTolerance = 0.001;
constexpr double kToolTolerance = 0.01;

// The kernel function that reports the position while a block search holds.
constexpr int32_t kPositionReportCode = 44;

// G numbers of which a block may hold at most one, set by set.
constexpr int32_t kMotionSet[] = {0, 1, 2, 3, 4, 58, 59};
constexpr int32_t kUnitSet[] = {70, 71, 700, 710};
constexpr int32_t kReferenceSet[] = {90, 91};
constexpr int32_t kZeroOffsetSet[] = {53, 54, 55, 56, 57};
constexpr int32_t kRadiusCompensationSet[] = {40, 41, 42};
constexpr int32_t kPlaneSet[] = {17, 18, 19};
// Order matters: the first pair found is the one reported.
constexpr std::span<const int32_t> kExclusiveSets[] = {kMotionSet,    kUnitSet,
                                                       kReferenceSet, kZeroOffsetSet,
                                                       kRadiusCompensationSet, kPlaneSet};

// The integer nearest to value (halves away from zero), when value lies closer than
// tolerance to it and the integer fits an int32_t. Converting a value outside that range
// (NaN and the infinities included) would be undefined, so such values are refused.
bool nearInteger(double value, double tolerance, int32_t& result) {
    if (!std::isfinite(value)) return false;
    const double nearest = std::round(value);
    if (nearest < static_cast<double>(INT32_MIN) || nearest > static_cast<double>(INT32_MAX))
        return false;
    result = static_cast<int32_t>(nearest);
    return std::fabs(value - nearest) < tolerance;
}

bool contains(std::span<const int32_t> set, int32_t number) {
    return std::find(set.begin(), set.end(), number) != set.end();
}

void takeWaitCounter(Stackmachine* machine, WaitCounter counter) {
    // Without a machine (a processor driven directly) nothing paces the run.
    if (machine != nullptr) machine->decWaitCounter(waitCounterIndex(counter));
}

} // namespace

std::string referenceName(int32_t reference) {
    switch (reference) {
    case 0: return "absolute";
    case 1: return "relative";
    default: return "";
    }
}

bool BlockWords::addNumber(std::vector<int32_t>& numbers, int32_t number) {
    const auto at = std::lower_bound(numbers.begin(), numbers.end(), number);
    if (at != numbers.end() && *at == number) return false;
    numbers.insert(at, number);
    return true;
}

bool BlockWords::hasG(int32_t number) const { return std::binary_search(g.begin(), g.end(), number); }

void BlockExecutor::execute(int32_t skipLevel, const std::vector<GCodeWord>& words,
                            const SourceSpan& span) {
    if (skipLevel >= 0 && skipLevel < kSkipLevels && ((p_.disableMask >> skipLevel) & 1u)) {
        globalLog.debugGCode("Execution supressed by disablebit");
        return;
    }
    const bool recording = p_.recordingForBlocks();
    if (recording) {
        p_.records.modalState[ModalWord::dwell] = 0;
        p_.records.modalState[ModalWord::exactStop] = 0;
    }
    const bool autoAccurateStop = p_.accurateStop.autoEnabled;

    readWords(words);
    checkExclusiveSets();

    p_.origin.span = span;
    if (words_.has(WordSlot::n)) p_.origin.blockNumber = words_.value(WordSlot::n);

    Flags flags;
    if (words_.has(WordSlot::d)) {
        const double d = words_.value(WordSlot::d);
        int32_t tool = 0;
        checkRuntime(nearInteger(d, kToolTolerance, tool), "Tool-Number D%.3f is not an integer.", d);
        p_.selectTool(tool);
    }
    selectToolDirection(flags);
    firstPass(flags);
    secondPass(flags);
    setFeed();
    emitFunctions();
    moveQAxes(flags);
    reportPosition();
    move(flags);
    if (flags.accurateStop) p_.emitAccurateStop();
    if (autoAccurateStop && flags.moved) p_.emitAutoAccurateStop(p_.accurateStop.autoAngle);
    deleteDistanceToGo(flags);
    dwell(flags);
    p_.nextBlock();
    holdForBlockSearch();

    if (recording) {
        if (p_.records.modalChanged || flags.changed) p_.records.appendModalState(span);
        if (flags.zeroOffsetsChanged) p_.records.appendZeroOffsetRecord(span);
    }
}

void BlockExecutor::readWords(const std::vector<GCodeWord>& words) {
    words_.clear();
    const bool aliases = !p_.addressAliases.empty();
    for (const GCodeWord& word : words) {
        const std::string* name = &word.name;
        if (aliases) {
            const auto alias = p_.addressAliases.find(word.name);
            if (alias != p_.addressAliases.end()) name = &alias->second;
        }
        readWord(*name, word.value);
    }
}

void BlockExecutor::readWord(const std::string& name, double value) {
    if (name.size() == 2 && name[0] == 'q' && name[1] >= '1' && name[1] <= '5') {
        words_.set(BlockWords::qSlot(static_cast<size_t>(name[1] - '1')), value);
        return;
    }
    if (name.size() == 1) {
        // Addresses that may repeat keep their last value; the others fail on the second.
        // The checks test inline and format only on failure: every word of a run passes here.
        const auto unique = [&](WordSlot slot) {
            return !words_.has(slot);
        };
        int32_t number = 0;
        switch (name[0]) {
        case 'a': words_.set(WordSlot::a, value); return;
        case 'b': words_.set(WordSlot::b, value); return;
        case 'c': words_.set(WordSlot::c, value); return;
        case 'p': words_.set(WordSlot::p, value); return;
        case 'u': words_.set(WordSlot::u, value); return;
        case 'x': words_.set(WordSlot::x, value); return;
        case 'y': words_.set(WordSlot::y, value); return;
        case 'z': words_.set(WordSlot::z, value); return;
        case 'd':
            if (!unique(WordSlot::d)) failRuntime("Parameter d defined twice.");
            words_.set(WordSlot::d, value);
            return;
        case 'f':
            if (!unique(WordSlot::f)) failRuntime("Parameter f defined twice.");
            words_.set(WordSlot::f, value);
            return;
        case 'i':
            if (!unique(WordSlot::i)) failRuntime("Parameter i defined twice.");
            words_.set(WordSlot::i, value);
            return;
        case 'j':
            if (!unique(WordSlot::j)) failRuntime("Parameter j defined twice.");
            words_.set(WordSlot::j, value);
            return;
        case 'k':
            if (!unique(WordSlot::k)) failRuntime("Parameter k defined twice.");
            words_.set(WordSlot::k, value);
            return;
        case 'n':
            if (!unique(WordSlot::n)) failRuntime("Parameter n defined twice.");
            words_.set(WordSlot::n, value);
            return;
        case 'h':
            if (!unique(WordSlot::h)) failRuntime("H-Parameter defined twice");
            words_.set(WordSlot::h, value);
            return;
        case 's':
            if (!unique(WordSlot::s)) failRuntime("S-Parameter defined twice");
            words_.set(WordSlot::s, value);
            return;
        case 't':
            if (!unique(WordSlot::t)) failRuntime("T-Parameter defined twice");
            words_.set(WordSlot::t, value);
            return;
        case 'g':
            if (!nearInteger(value, kCodeTolerance, number))
                failRuntime("G-Code %.3f is not an integer.", value);
            if (!BlockWords::addNumber(words_.g, number)) failRuntime("G-Code G%d defined twice.", number);
            return;
        case 'm':
            if (!nearInteger(value, kCodeTolerance, number))
                failRuntime("M-Code %.3f is not an integer.", value);
            if (!BlockWords::addNumber(words_.m, number)) failRuntime("M-Code M%d defined twice.", number);
            return;
        default: break;
        }
    }
    failRuntime("Invalid address letter '%s'", name.c_str());
}

void BlockExecutor::checkExclusiveSets() const {
    if (words_.g.size() < 2) return; // the usual block: no pair to refuse
    for (std::span<const int32_t> set : kExclusiveSets) {
        const int32_t* previous = nullptr;
        for (const int32_t& g : words_.g) {
            if (!contains(set, g)) continue;
            if (previous != nullptr) failRuntime("G%d and G%d are mutually exclusive", g, *previous);
            previous = &g;
        }
    }
}

void BlockExecutor::selectToolDirection(Flags& flags) {
    if (!words_.has(WordSlot::p)) return;
    const double direction = words_.value(WordSlot::p);
    checkRuntime(direction == -1.0 || direction == 1.0,
                 "Invalid G-Code P%f. Must be either P-1 or P+1.", direction);
    p_.tool.directionPositive = direction > 0.0;
    p_.updateToolCompensation();
    record(ModalWord::toolDirection, p_.tool.directionPositive ? modalModeCode(2) : modalModeCode(3),
           flags);
}

void BlockExecutor::firstPass(Flags& flags) {
    flags.accurateStop = p_.accurateStop.modal;
    for (const int32_t g : words_.g) {
        switch (g) {
        case 0:
            globalLog.debugGProcessor("ACCURATESTOP=%d", 0);
            p_.accurateStop.modal = false;
            flags.accurateStop = false;
            p_.path.motionMode = 0;
            break;
        case 1:
        case 2:
        case 3: p_.path.motionMode = g; break;
        case 4:
        case 58:
        case 59: flags.noMove = true; break;
        case 9: flags.accurateStop = true; break;
        case 17: p_.setWorkingPlane(0.0, 0.0, 1.0); break;
        case 18: p_.setWorkingPlane(0.0, 1.0, 0.0); break;
        case 19: p_.setWorkingPlane(1.0, 0.0, 0.0); break;
        case 31:
            globalLog.debugGProcessor("DELDTG");
            p_.path.deleteDistanceToGo = true;
            break;
        case 60:
            globalLog.debugGProcessor("ACCURATESTOP=%d", 1);
            p_.accurateStop.modal = true;
            flags.accurateStop = true;
            break;
        case 70:
        case 700:
        case 71:
        case 710:
            p_.units.length = static_cast<int32_t>(g == 70 || g == 700 ? UnitLength::inch
                                                                        : UnitLength::millimeter);
            if (globalLog.enabled(LogLevel::debugGProcessor))
                globalLog.debugGProcessor("UNITLENGTH=%s", unitLengthName(p_.units.length).c_str());
            if (g == 700) p_.setVelocityUnit(static_cast<int32_t>(UnitLength::inch),
                                              static_cast<int32_t>(UnitTime::minute));
            if (g == 710) p_.setVelocityUnit(static_cast<int32_t>(UnitLength::millimeter),
                                              static_cast<int32_t>(UnitTime::minute));
            break;
        case 90:
        case 91:
            p_.path.reference = g - 90;
            if (globalLog.enabled(LogLevel::debugGProcessor))
                globalLog.debugGProcessor("REFERENCE=%s", referenceName(p_.path.reference).c_str());
            break;
        case 40:
        case 41:
        case 42:
        case 53:
        case 54:
        case 55:
        case 56:
        case 57:
        case 74: break;
        default: failRuntime("Invalid G-Code 'G%d'.", g);
        }
    }
}

void BlockExecutor::secondPass(Flags& flags) {
    for (const int32_t g : words_.g) {
        switch (g) {
        case 9: record(ModalWord::exactStop, modalGCode(9), flags); break;
        case 17:
        case 18:
        case 19: record(ModalWord::plane, modalGCode(g), flags); break;
        case 40:
            p_.setRadiusCompensation(0, 0.0);
            record(ModalWord::radiusCompensation, modalGCode(g), flags);
            break;
        case 41:
        case 42: {
            const int index = p_.tool.index;
            checkRuntime(index != 0, "Radius correction turned on, but no tool selected.");
            const int32_t type = p_.tools.toolType(index);
            const auto mill = static_cast<int32_t>(ToolType::mill);
            checkRuntime(type == mill, "Selected tool has invalid type %d. Should be %d.", type, mill);
            const double radius =
                p_.tools.param(index, ToolParam::radius) + p_.tools.param(index, ToolParam::radiusAdd);
            p_.setRadiusCompensation(g == 41 ? 1 : 2, radius);
            record(ModalWord::radiusCompensation, modalGCode(g), flags);
            break;
        }
        case 53:
            p_.selectZeroOffset(ZeroOffsets::kNone);
            record(ModalWord::zeroOffset, modalGCode(g), flags);
            break;
        case 54:
        case 55:
        case 56:
        case 57: {
            const int32_t index = 2 * g - 108;
            p_.selectZeroOffset(index);
            if (p_.recordingForBlocks()) {
                if (p_.records.setModalZeroOffsetWord(g - 54)) flags.changed = true;
                p_.records.zeroOffsetRecord.selected = p_.zeroOffsets().entry(index).position();
                flags.zeroOffsetsChanged = true;
            }
            break;
        }
        case 58:
        case 59: programZeroOffset(g, flags); break;
        case 60:
            // The modal stop does not mark the block: from now on every block records.
            if (p_.recordingForBlocks() && p_.records.setWord(ModalWord::accurateStop, modalGCode(g)))
                p_.records.modalChanged = true;
            break;
        case 70:
        case 71:
        case 700:
        case 710:
        case 90:
        case 91:
            record(g >= 90 ? ModalWord::reference : ModalWord::units, modalGCode(g), flags);
            break;
        default: break; // motion words record with the move, G4 with the dwell
        }
    }
}

void BlockExecutor::programZeroOffset(int32_t g, Flags& flags) {
    checkRuntime(words_.has(WordSlot::x) && words_.has(WordSlot::y) && words_.has(WordSlot::z),
                 "Expected parameters 'x' 'y' and 'z'.");
    const double factor = unitLengthFactor(p_.units.length);
    ZeroOffset zos;
    zos.x = words_.value(WordSlot::x) * factor;
    zos.y = words_.value(WordSlot::y) * factor;
    zos.z = words_.value(WordSlot::z) * factor;
    for (size_t i = 0; i < kQWords; ++i) {
        const WordSlot slot = BlockWords::qSlot(i);
        if (words_.has(slot)) zos.q[i] = words_.value(slot);
    }
    const int32_t index = g - 58;
    p_.setProgrammableZeroOffset(index, zos);
    // The position words were the offset, not a target; q words still move their axes.
    words_.forget(WordSlot::x);
    words_.forget(WordSlot::y);
    words_.forget(WordSlot::z);
    if (p_.recordingForBlocks()) {
        const Point3 programmed = p_.zeroOffsets().programmable(index).position();
        (g == 58 ? p_.records.zeroOffsetRecord.g58 : p_.records.zeroOffsetRecord.g59) = programmed;
        flags.zeroOffsetsChanged = true;
    }
}

void BlockExecutor::setFeed() {
    if (!words_.has(WordSlot::f) || words_.hasG(4)) return; // with G4, F is the dwell time
    const double v = words_.value(WordSlot::f) * unitLengthFactor(p_.units.velocityLength) /
                     unitTimeFactor(p_.units.velocityTime);
    p_.canvas().setVelocity(v);
    p_.velocity = v;
}

void BlockExecutor::emitFunctions() {
    if (words_.has(WordSlot::h)) p_.emitHst('h', words_.value(WordSlot::h));
    if (words_.has(WordSlot::s)) p_.emitHst('s', words_.value(WordSlot::s));
    if (words_.has(WordSlot::t)) p_.emitHst('t', words_.value(WordSlot::t));
    for (const int32_t m : words_.m) {
        p_.emitMFunc(static_cast<double>(m));
        if (m != 2 && m != 30) continue;
        // The program ends here; the rest of the block is still carried out.
        p_.emitSync();
        takeWaitCounter(p_.machine, WaitCounter::sync);
        p_.requestProgramEnd();
        if (p_.machine != nullptr) p_.machine->jumpToEnd();
    }
}

void BlockExecutor::moveQAxes(Flags& flags) {
    if (!words_.anyQ()) return;
    Interpolation& interpolation = p_.interpolation();
    const std::vector<double>& current = interpolation.current();
    qTargets_.assign(current.begin(), current.end());
    const bool relative = p_.path.reference == 1;
    for (size_t i = 0; i < kQWords && i < qTargets_.size(); ++i) {
        const WordSlot slot = BlockWords::qSlot(i);
        if (!words_.has(slot)) continue;
        qTargets_[i] = (relative ? current[i] : p_.qOffsets()[i]) + words_.value(slot);
    }
    const double speed = p_.path.motionMode == 0 ? DBL_MAX : p_.velocity;
    const bool withPathMotion =
        p_.blockSearch.active && p_.blockSearch.target != 0 &&
        (words_.has(WordSlot::x) || words_.has(WordSlot::y) || words_.has(WordSlot::z));
    interpolation.moveTo(qTargets_, withPathMotion, p_.origin, p_.key(), speed);
    flags.qMoved = true;
}

void BlockExecutor::reportPosition() {
    if (!p_.blockSearch.active || p_.queue().search().searchMode != SearchMode::targetReached)
        return;
    const Pose position = p_.programPose();
    Nc2FuncData data(kPositionReportCode);
    // Payload offsets: the block's bytes from 8 on.
    uint8_t* payload = data.payload().data();
    putDouble(payload + 0, position.x);
    putDouble(payload + 8, position.y);
    putDouble(payload + 16, position.z);
    const std::vector<double>& q = p_.interpolation().current(); // the targets of a q move
    for (size_t i = 0; i < kQWords && i < q.size(); ++i) putDouble(payload + 24 + 8 * i, q[i]);
    putInt32(payload + 64, p_.canvas().radiusCompensation().active ? 1 : 0);
    p_.emitNc2Func(data);
    p_.nextBlock();
}

void BlockExecutor::move(Flags& flags) {
    const int32_t mode = p_.path.motionMode;
    const bool position = words_.has(WordSlot::x) || words_.has(WordSlot::y) || words_.has(WordSlot::z);
    const bool circle = (mode == 2 || mode == 3) &&
                        (words_.has(WordSlot::i) || words_.has(WordSlot::j) ||
                         words_.has(WordSlot::k) || words_.has(WordSlot::u));
    if (flags.noMove || !(position || circle)) return;

    const Pose start = p_.programPose();
    Pose target = start;
    const double length = unitLengthFactor(p_.units.length);
    const double angle = unitAngleFactor(p_.units.angle);
    const bool relative = p_.path.reference == 1;
    // Under G91 only x, y and z are relative; a, b and c stay absolute.
    const auto linear = [&](WordSlot slot, double& coordinate) {
        if (words_.has(slot)) coordinate = (relative ? coordinate : 0.0) + words_.value(slot) * length;
    };
    const auto rotary = [&](WordSlot slot, double& coordinate) {
        if (words_.has(slot)) coordinate = words_.value(slot) * angle;
    };
    linear(WordSlot::x, target.x);
    linear(WordSlot::y, target.y);
    linear(WordSlot::z, target.z);
    rotary(WordSlot::a, target.a);
    rotary(WordSlot::b, target.b);
    rotary(WordSlot::c, target.c);

    Canvas6d& canvas = p_.canvas();
    switch (mode) {
    case 0: {
        if (globalLog.enabled(LogLevel::debugGProcessor))
            globalLog.debugGProcessor("MOVE LINE to=%s speed=rapid", target.toString().c_str());
        const Pose mapped = canvas.transformations().matrix().applyPose(target);
        canvas.addGeo(std::make_unique<GeoLine>(canvas.current(), mapped, FeedParams::rapid(),
                                                p_.origin, p_.key()));
        canvas.setCurrent(mapped);
        break;
    }
    case 1:
        if (globalLog.enabled(LogLevel::debugGProcessor))
            globalLog.debugGProcessor("MOVE LINE to=%s", target.toString().c_str());
        canvas.lineTo(target, canvas.feed(), p_.origin, p_.key());
        break;
    default: moveCircle(target, start); break;
    }
    flags.moved = true;
    if (p_.recordingForBlocks() && p_.records.setWord(ModalWord::motion, modalGCode(mode)))
        p_.records.modalChanged = true;
}

void BlockExecutor::moveCircle(const Pose& target, const Pose& start) {
    const std::array<double, 3>& scale = p_.path.axisScale;
    const Point3& normal = p_.path.planeNormal;
    // Only the plane's own two axes matter, and only for the three main planes.
    const char* const planar = "Scaling with different factors is not permitted in combination with 2d circles";
    if (normal.z == 1.0) checkRuntime(scale[0] == scale[1], "%s", planar);
    if (normal.y == 1.0) checkRuntime(scale[0] == scale[2], "%s", planar);
    if (normal.x == 1.0) checkRuntime(scale[1] == scale[2], "%s", planar);
    if (p_.path.rotation3dUsed)
        checkRuntime(scale[0] == scale[1] && scale[1] == scale[2],
                     "Scaling with different factors is not permitted in combination with 3d rotation");

    const bool clockwise = p_.path.motionMode == 2;
    const double length = unitLengthFactor(p_.units.length);
    if (words_.has(WordSlot::u)) {
        const double u = words_.value(WordSlot::u);
        p_.circleByRadius(target, std::fabs(u) * length, u < 0.0, clockwise);
        return;
    }
    const auto offset = [&](WordSlot slot) {
        return words_.has(slot) ? words_.value(slot) * length : 0.0;
    };
    Point3 centre;
    if (p_.circles.centerReference == 1) {
        centre = {start.x + offset(WordSlot::i), start.y + offset(WordSlot::j),
                  start.z + offset(WordSlot::k)};
    } else {
        centre = {words_.has(WordSlot::i) ? offset(WordSlot::i) : start.x,
                  words_.has(WordSlot::j) ? offset(WordSlot::j) : start.y,
                  words_.has(WordSlot::k) ? offset(WordSlot::k) : start.z};
    }
    p_.circleByCenter(target, centre, clockwise, p_.circles.centerPointCorrection);
}

void BlockExecutor::deleteDistanceToGo(const Flags& flags) {
    if (p_.path.deleteDistanceToGo && (flags.moved || flags.qMoved)) {
        p_.emitSync();
        takeWaitCounter(p_.machine, WaitCounter::sync);
        p_.queue().insert(std::make_unique<NCmdDelDtg>(p_.origin, p_.key()));
        takeWaitCounter(p_.machine, WaitCounter::deleteDistanceToGo);
    }
    p_.path.deleteDistanceToGo = false;
}

void BlockExecutor::dwell(Flags& flags) {
    if (!words_.hasG(4)) return;
    const bool f = words_.has(WordSlot::f);
    const bool x = words_.has(WordSlot::x);
    checkRuntime(f != x, "Either 'f' or 'x' must be defined.");
    const double seconds = words_.value(x ? WordSlot::x : WordSlot::f) * unitTimeFactor(p_.units.time);
    p_.emitWait(seconds);
    record(ModalWord::dwell, modalGCode(4), flags);
}

void BlockExecutor::holdForBlockSearch() {
    if (!p_.blockSearch.active || p_.queue().search().searchMode != SearchMode::targetReached ||
        p_.machine == nullptr)
        return;
    const int32_t counter = waitCounterIndex(WaitCounter::blockSearch);
    // The machine waits until the kernel steps on after the search.
    if (p_.machine->getWaitCounter(counter) == 1) p_.machine->decWaitCounter(counter);
}

void BlockExecutor::record(ModalWord word, int32_t value, Flags& flags) {
    if (p_.recordingForBlocks() && p_.records.setWord(word, value)) flags.changed = true;
}

} // namespace Karsto
