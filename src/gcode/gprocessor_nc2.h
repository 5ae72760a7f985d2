#pragma once
// The G-code processor of one NC channel. The channel's stack machine starts and finishes
// it around every run, hands it every G-code block and resets it with the machine; the NC
// built-ins and the kernel link read and change its settings. It owns the channel's
// command queue, path processor and auxiliary-axis interpolation, and keeps the modal
// state in small parts, each with its own reset.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/gprocessor.h"
#include "core/space.h"
#include "gcode/interpolation.h"
#include "gcode/modal_records.h"
#include "gcode/tool_table.h"
#include "gcode/units.h"
#include "gcode/zero_offset.h"
#include "geometry/aprocessor.h"
#include "geometry/block_key.h"
#include "geometry/point3.h"
#include "geometry/pose.h"

namespace Karsto {

class BlockExecutor;
class Canvas6d;
class Nc2FuncData;
class NCmdQueue;
class NInterface;
class RunfileContexts;
class Stackmachine;
struct SnapshotRequest;
class TransList;
class TransMatrix;

// Modes of the motion group and the frame the targets are given in.
struct PathModes {
    int32_t motionMode = 0; // 0, 1, 2, 3 for G0, G1, G2, G3
    int32_t reference = 0;  // 0 absolute (G90), 1 relative (G91)
    // Unit normal of the working plane. Zero until the reset that ends construction.
    Point3 planeNormal;
    std::array<double, 3> axisScale{1.0, 1.0, 1.0}; // x, y, z
    // Set by the rotation built-ins: every circle then requires equal scaling factors.
    bool rotation3dUsed = false;
    bool deleteDistanceToGo = false; // G31 seen in the current block

    void reset() {
        *this = PathModes();
        planeNormal = {0.0, 0.0, 1.0};
    }
};

// How circles given by a centre are read and corrected.
struct CircleSettings {
    int32_t centerReference = 1; // 0 absolute, 1 relative I, J, K
    bool centerPointCorrection = true;
    double radiusLimit = 0.1; // mm: the largest accepted difference of start and end radius

    void reset() { *this = CircleSettings(); }
};

struct AccurateStopSettings {
    bool modal = false; // G60
    bool autoEnabled = false;
    double autoAngle = 0.0;

    void reset() { *this = AccurateStopSettings(); }
};

// The selected tool (D word) and the sign of its length compensation (P word).
struct ToolSelection {
    int32_t index = 0; // 0: no tool
    bool directionPositive = true;

    void reset() { *this = ToolSelection(); }
};

// The settings that tool radius compensation is switched with.
struct TrcParameters {
    double approachRadius = 0.0; // mm
    double approachAngle = 0.0;  // rad
    double departRadius = 0.0;   // mm
    double departAngle = 0.0;    // rad
    double offset = 0.0;         // mm
    int64_t limit = -1;          // the collision-elimination look-ahead; -1: none

    void reset() { *this = TrcParameters(); }
};

// Written by the kernel link around a block search; no reset changes them.
struct BlockSearchFields {
    bool active = false;
    uint64_t target = 0;
    bool steppedOn = false;          // the kernel stepped on after the search
    bool axisAnswerInSearch = false; // axis positions the kernel reports during the search are taken over
};

// The kernel's answer to an axis query, in machine coordinates.
struct AxisPositions {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    std::array<double, 5> q{};
};

class GProcessorNc2 final : public GProcessor, public AProcessorOwner {
public:
    // output: the channel's NC output (not owned); it must outlive the processor.
    explicit GProcessorNc2(NInterface* output);
    ~GProcessorNc2() override;
    GProcessorNc2(const GProcessorNc2&) = delete;
    GProcessorNc2& operator=(const GProcessorNc2&) = delete;

    // GProcessor.
    void executeBlock(int32_t skipLevel, const std::vector<GCodeWord>& words,
                      const SourceSpan& span) override;
    // Resets, queries the axes under key {0, 0.0}, sends the interpolation rules, closes
    // the block and takes the axis-query wait counter.
    void startProgram() override;
    // Switches radius compensation off (completing a pending path), flushes the smoothing
    // chain and switches it off, then tells the output the program ended.
    void finishProgram() override;
    // Delivery is held at a block-search target.
    bool isStalled() override;
    bool programEndRequested() const override { return programEndRequested_; }
    // Set by the M2 and M30 step of a block; cleared by reset (and so at program start).
    void requestProgramEnd() { programEndRequested_ = true; }
    // The reader states of the pending runfile calls of this channel; cleared by reset.
    RunfileContexts& runfiles() { return *runfiles_; }
    void registerNatives(SymbolTables& symbols, std::vector<FunctionNative*>& natives) override;
    // Everything a run changes back to its start; zero offsets 0 to 7, the disable mask,
    // ipolRules, the block-search fields and the current records stay.
    void reset() override;

    // AProcessorOwner.
    NCmdQueue& queue() override { return *queue_; }
    const BlockKey& key() const override { return key_; }

    // Closes the current block: the next key, the hold key just below it, then delivery.
    void nextBlock();

    // The unit normal of (x, y, z); "Invalid workingplane normal vector." for a length of
    // 1e-6 or less, and the plane stays.
    void setWorkingPlane(double x, double y, double z);
    // Stores settable zero offset index (0 to 7) and recomposes.
    void setZeroOffset(int32_t index, const ZeroOffset& zos);
    // Stores programmable zero offset index (0 G58, 1 G59) and recomposes.
    void setProgrammableZeroOffset(int32_t index, const ZeroOffset& zos);
    // Selects settable zero offset index (-1 none) and recomposes.
    void selectZeroOffset(int32_t index);
    // Rebuilds the zero-offset matrix and the q offsets from the zero offsets.
    void updateZeroOffset();
    // Rebuilds the tool matrix from the selected tool: its length and length allowance
    // along the plane normal (signed by the P word) plus its offsets. "Invalid tool type
    // '%d'." for a type other than none, drill and mill.
    void updateToolCompensation();

    // The D word: "Tool Number D%d does not lie in range D0..D255." outside 0..255. A tool
    // other than D0 queues its number as T function; then the compensation follows it.
    void selectTool(int d);
    // The tool table is loaded from and saved to the channel's tool-data file; the name is
    // kept for the next save and the save at destruction.
    void loadToolData(const std::string& fileName);
    void saveToolDataAs(const std::string& fileName);
    void saveToolData();
    const std::string& toolDataFile() const { return toolDataFile_; }
    // No file is written back at destruction: for a table that could not be read.
    void forgetToolDataFile() { toolDataFile_.clear(); }
    // The snapshot file in the data directory (defaultDataPath). A load applies the
    // sections of the request's mask in the order R-parameters, zero offsets, tools and
    // keeps what it applied before an error; a save replaces the masked sections with the
    // channel's values and keeps the others from the existing file.
    void loadSnapshot(const SnapshotRequest& request);
    void saveSnapshot(const SnapshotRequest& request);

    // Emitters: each queues one command under the current key and origin; nothing is
    // delivered before the block ends, and none takes a wait counter (callers that wait
    // take it themselves).
    void emitWait(double seconds);
    void emitMFunc(double number);
    void emitAccurateStop();
    void emitAutoAccurateStop(double angle);
    // letter: 'h', 's' or 't'.
    void emitHst(char letter, double value);
    void emitSync();
    // Queues a query of the kernel's axis positions under the current key and origin.
    void emitQueryAxes();
    // The command keeps its own copy of the block.
    void emitNc2Func(const Nc2FuncData& data);
    void emitMsg(const std::string& text);

    // Settings shared by the block executor and the built-ins.
    // The units of the next F words; the feed in effect stays.
    void setVelocityUnit(int32_t length, int32_t time);
    // Scales axis index (0 x, 1 y, 2 z) by appending a matrix to the user transformations;
    // any other index appends an identity.
    void setAxisScaling(double factor, int32_t index);
    // rc 0 off, 1 left (G41), 2 right (G42) of the path at the distance radius (mm); any
    // other rc is only logged.
    void setRadiusCompensation(int32_t rc, double radius);
    void enableAutoAccurateStop(double angle);
    // The kernel's axis positions become the current ones, and a command tells the output
    // the current frame in program coordinates.
    void updateAxes(const AxisPositions& positions);

    // Circular and helical moves in the working plane from the current pose to target (in
    // program coordinates, mm and rad); clockwise for G2. By radius: negative chooses the
    // arc of at least 180 degrees. By centre: with correction, a centre whose start and end
    // radii differ is moved onto the mean radius. A failing circle queues nothing.
    void circleByRadius(const Pose& target, double radius, bool negative, bool clockwise);
    void circleByCenter(const Pose& target, const Point3& centre, bool clockwise, bool correction);

    // Recording of per-line records: blocks record while ipolRules is not 0, the built-ins
    // only while it is 1.
    bool recordingForBlocks() const { return ipolRules != 0; }
    bool recordingForBuiltins() const { return ipolRules == 1; }

    Space& space() { return *space_; }
    SpaceSlot* axisX() const { return axisX_; }
    SpaceSlot* axisY() const { return axisY_; }
    SpaceSlot* axisZ() const { return axisZ_; }
    SpaceSlot* axisA() const { return axisA_; }
    SpaceSlot* axisB() const { return axisB_; }
    SpaceSlot* axisC() const { return axisC_; }
    const std::vector<SpaceSlot*>& qAxes() const { return qAxes_; }

    Canvas6d& canvas() { return *canvas_; }
    // Where the path stands in program coordinates: the canvas's pose mapped back through
    // the inverse of its transformation stack.
    Pose programPose();
    Interpolation& interpolation() { return *interpolation_; }
    // The three elements of the canvas's transformation stack, outermost first.
    TransMatrix& zeroOffsetMatrix() { return *zeroOffsetMatrix_; }
    TransList& userTransforms() { return *userTransforms_; }
    TransMatrix& toolMatrix() { return *toolMatrix_; }

    const ZeroOffsets& zeroOffsets() const { return zeroOffsets_; }
    // The q1 to q5 parts of the zero offset in effect, added to absolute q targets.
    const std::array<double, ZeroOffset::kQAxes>& qOffsets() const { return zeroOffsets_.qOffsets(); }

    // The channel's stack machine (not owned), set by whoever creates the channel; wait
    // counters and the jump to the program's end go through it.
    Stackmachine* machine = nullptr;
    // Bit n suppresses every block with skip level n. No reset changes it.
    uint64_t disableMask = 0;
    // The kernel's interpolation rules word; not 0 switches recording on. Survives reset.
    int32_t ipolRules = 0;
    BlockSearchFields blockSearch;

    // The programmed path velocity of feed moves (mm/s).
    double velocity = 0.0;
    // The block being executed: its span and N number.
    BlockOrigin origin;
    // Address-name aliases of the block executor; nothing fills it.
    std::map<std::string, std::string> addressAliases;

    Units units;
    PathModes path;
    CircleSettings circles;
    AccurateStopSettings accurateStop;
    ToolSelection tool;
    TrcParameters trc;
    ModalRecords records;
    // 255 zero tools at construction; no reset changes them.
    ToolTable tools;

private:
    // Declared first, so it goes last: the canvas's chain and the commands refer to it.
    std::unique_ptr<NCmdQueue> queue_;
    BlockKey key_{0, 0.0};
    std::unique_ptr<BlockExecutor> executor_;
    std::unique_ptr<Space> space_;
    SpaceSlot* axisX_ = nullptr;
    SpaceSlot* axisY_ = nullptr;
    SpaceSlot* axisZ_ = nullptr;
    SpaceSlot* axisA_ = nullptr;
    SpaceSlot* axisB_ = nullptr;
    SpaceSlot* axisC_ = nullptr;
    std::vector<SpaceSlot*> qAxes_;
    std::unique_ptr<Canvas6d> canvas_;
    // Owned by the canvas's transformation list.
    TransMatrix* zeroOffsetMatrix_ = nullptr;
    TransList* userTransforms_ = nullptr;
    TransMatrix* toolMatrix_ = nullptr;
    std::unique_ptr<InterpolationLinear> interpolation_;
    ZeroOffsets zeroOffsets_;
    std::string toolDataFile_;
    std::unique_ptr<RunfileContexts> runfiles_;
    bool programEndRequested_ = false;
};

} // namespace Karsto
