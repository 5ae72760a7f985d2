#include "geometry/ncmd_queue.h"

#include <cmath>

#include "core/log.h"
#include "geometry/interpolation_axes.h"
#include "geometry/ninterface.h"

namespace Karsto {

namespace {

// Where a numbered command stands relative to the search target.
enum class Place : uint8_t {
    before = 0,
    at = 1,
    after = 2,
};

// Nearer than this, a parameter counts as the one asked for.
constexpr double kParameterTolerance = 1e-6;

// The serial as the log shows it: its low 32 bits as a signed number.
int32_t serialText(uint64_t serial) { return static_cast<int32_t>(static_cast<uint32_t>(serial)); }

bool keptWhileSkipping(NCmdKind kind) {
    return kind == NCmdKind::nc2Func || kind == NCmdKind::mFunc || kind == NCmdKind::wait;
}

} // namespace

NCmdQueue::~NCmdQueue() { clear(); }

void NCmdQueue::keyRelease(const BlockKey& key) {
    const auto held = heldKeys_.find(key);
    if (held == heldKeys_.end()) return;
    heldKeys_.erase(held);
    limitUpdate();
    delivery();
}

void NCmdQueue::limitUpdate() {
    BlockKey candidate = holdKey_;
    if (!heldKeys_.empty() && *heldKeys_.begin() < candidate) candidate = *heldKeys_.begin();
    if (limit_ < candidate) limit_ = candidate;
}

void NCmdQueue::delivery() {
    while (search_.searchMode != SearchMode::targetReached && !commands_.empty()) {
        const auto first = commands_.begin();
        // The counters alone decide: a block's inserted elements with negative sub-numbers
        // wait with the block.
        if ((*first)->key().counter >= limit_.counter) break;
        std::unique_ptr<NCmd> cmd = std::move(commands_.extract(first).value());
        if (!cmd->numbered()) {
            // Shares the number of the last numbered command and passes any search.
            cmd->setSerial(serial_);
            deliver(std::move(cmd));
            continue;
        }
        cmd->setSerial(++serial_);
        if (search_.searchMode == SearchMode::none) deliver(std::move(cmd));
        else searchStep(std::move(cmd));
    }
    if (output_) output_->keySet(limit_);
}

void NCmdQueue::clear() {
    heldKeys_.clear();
    serial_ = 0;
    holdKey_ = BlockKey::start();
    limit_ = BlockKey::start();
    search_.targetReached = false;
    commands_.clear();
    if (output_) output_->reset();
}

void NCmdQueue::logDelivery(const NCmd& cmd) const {
    globalLog.debugNCmdQueue("NCmdQueue::delivery n=%f snr=%d %s %s", cmd.origin().blockNumber,
                             serialText(cmd.serial()), cmd.origin().span.toString().c_str(),
                             cmd.toString().c_str());
}

void NCmdQueue::add(std::unique_ptr<NCmd> cmd) {
    if (output_) output_->cmdAdd(std::move(cmd));
}

void NCmdQueue::deliver(std::unique_ptr<NCmd> cmd) {
    // The texts are built only when the line is written: this runs for every command.
    if (globalLog.enabled(LogLevel::debugNCmdQueue)) logDelivery(*cmd);
    add(std::move(cmd));
}

void NCmdQueue::searchStep(std::unique_ptr<NCmd> cmd) {
    BlockSearch& s = search_;
    Place place;
    if (s.searchMode == SearchMode::bySerial) {
        const auto serial = static_cast<int64_t>(cmd->serial());
        place = serial < s.searchTarget ? Place::before
              : serial == s.searchTarget ? Place::at
                                         : Place::after;
    } else {
        const double number = cmd->origin().blockNumber;
        const auto target = static_cast<double>(s.searchTarget);
        if (number == target) place = Place::at;
        else if (number > target && (s.resumeAfterHst || s.targetReached)) place = Place::after;
        else place = Place::before;
    }

    const NCmdKind kind = cmd->kind();
    switch (place) {
    case Place::before:
        if (kind == NCmdKind::interpolate ||
            (s.searchKind == kSearchKindKeepFunctions && keptWhileSkipping(kind)))
            deliver(std::move(cmd));
        else splitOrDrop(std::move(cmd));
        return;
    case Place::after:
        s.searchMode = SearchMode::none;
        if (s.resumeAfterHst) split(std::move(cmd), 0.0);
        else deliver(std::move(cmd));
        return;
    case Place::at:
        break;
    }

    const double fraction = s.searchPercent / 100.0;
    const bool withPathMotion =
        kind == NCmdKind::interpolate && static_cast<const NCmdInterpolate&>(*cmd).withPathMotion();
    if (withPathMotion) {
        // The axes resume with the path motion of their block; the search goes on to the
        // path element.
        if (s.searchMode == SearchMode::byBlockNumber) s.targetReached = true;
        if (fraction == 1.0) deliver(std::move(cmd));
        else if (fraction == 0.0) splitOrDrop(std::move(cmd));
        else split(std::move(cmd), fraction);
    } else if (kind == NCmdKind::geo || kind == NCmdKind::interpolate) {
        s.searchMode = SearchMode::targetReached;
        s.targetReached = true;
        split(std::move(cmd), fraction);
    } else if (kind == NCmdKind::mFunc) {
        s.searchMode = SearchMode::targetReached;
        s.targetReached = true;
        deliver(std::move(cmd));
    } else {
        s.targetReached = true;
        if (kind == NCmdKind::hst) s.resumeAfterHst = true;
        deliver(std::move(cmd));
    }
}

void NCmdQueue::splitOrDrop(std::unique_ptr<NCmd> cmd) {
    // A dropped command is deleted unseen; its serial stays used.
    if (search_.resumeAfterHst) split(std::move(cmd), 0.0);
}

void NCmdQueue::split(std::unique_ptr<NCmd> cmd, double fraction) {
    BlockSearch& s = search_;
    switch (cmd->kind()) {
    case NCmdKind::geo: {
        const Geo& geo = static_cast<const NCmdGeo&>(*cmd).geo();
        double t = fraction;
        // A search for the target of the last split resumes on the remainder made there:
        // the percentage then refers to that remainder.
        if (s.splitSerial != 0 && s.splitSerial == s.searchTarget &&
            std::fabs(geo.nearestParameter(s.splitStart.position()) - fraction) >
                kParameterTolerance)
            t = s.splitFraction + fraction * (1.0 - s.splitFraction);
        std::unique_ptr<Geo> remainder = geo.subElement(t, 1.0);
        remainder->setRestart(true);
        s.splitFraction = t;
        s.splitSerial = s.searchTarget;
        s.splitStart = remainder->start();
        auto resumed = std::make_unique<NCmdGeo>(std::move(remainder), cmd->serial());
        if (globalLog.enabled(LogLevel::debugNCmdQueue))
            globalLog.debugNCmdQueue("NCmdQueue::delivery n=%f snr=%d %s %s fraction=%f",
                                     resumed->origin().blockNumber, serialText(resumed->serial()),
                                     resumed->origin().span.toString().c_str(),
                                     resumed->toString().c_str(), fraction);
        add(std::move(resumed));
        return;
    }
    case NCmdKind::interpolate: {
        auto& move = static_cast<NCmdInterpolate&>(*cmd);
        std::unique_ptr<NCmdInterpolate> resumed = move.startAt(fraction);
        move.axes()->setRestart(true);
        if (globalLog.enabled(LogLevel::debugNCmdQueue)) logDelivery(move);
        add(std::move(resumed));
        return;
    }
    case NCmdKind::wait:
    case NCmdKind::mFunc:
    case NCmdKind::accurateStop:
    case NCmdKind::autoAccurateStop:
    case NCmdKind::delDtg:
    case NCmdKind::nc2Func:
    case NCmdKind::hst:
    case NCmdKind::sync:
    case NCmdKind::queryaxes:
    case NCmdKind::updateaxes:
    case NCmdKind::msg:
        deliver(std::move(cmd));
        return;
    }
}

} // namespace Karsto
