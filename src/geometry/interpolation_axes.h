#pragma once
// What an auxiliary-axis move command needs of the interpolation that made it: how many
// axes it moves, and the restart flag that a block search sets when it resumes a move part
// of the way along. The channel's interpolation derives from this; the command refers to
// it without owning it.

#include <cstddef>

namespace Karsto {

class InterpolationAxes {
public:
    InterpolationAxes() = default;
    InterpolationAxes(const InterpolationAxes&) = delete;
    InterpolationAxes& operator=(const InterpolationAxes&) = delete;
    virtual ~InterpolationAxes() = default;

    // The number of values in every move's start and end lists.
    virtual size_t axisCount() const = 0;

    // Set by the queue when a block search resumes a move of these axes, read and cleared
    // by the NC output once it has sent the start position.
    bool restart() const { return restart_; }
    void setRestart(bool on) { restart_ = on; }

private:
    bool restart_ = false;
};

} // namespace Karsto
