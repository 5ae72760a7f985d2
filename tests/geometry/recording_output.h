#pragma once
// A recording NC output for golden streams: one line per delivered command,
//   snr=<serial> key=<counter>/<sub> n=<blockNumber> <text form>
// (sub-number and block number in "%g" style, a trailing line end of the text dropped),
// comparable with a <case>.expected file. It also keeps the delivered commands and every
// call of the other operations, for tests that look closer.

#include <memory>
#include <string>
#include <vector>

#include "geometry/ncmd.h"
#include "geometry/ninterface.h"

namespace Karsto::test {

class RecordingOutput : public NInterface {
public:
    void reset() override { ++resets; }
    void keyReset() override { ++keyResets; }
    void cmdAdd(std::unique_ptr<NCmd> cmd) override {
        lines.push_back(lineOf(*cmd));
        commands.push_back(std::move(cmd));
    }
    void ipolRulesSend() override { ++ipolRulesSends; }
    void finish() override { ++finishes; }
    void keySet(const BlockKey& limit) override { keySets.push_back(limit); }

    static std::string lineOf(const NCmd& cmd) {
        std::string text = cmd.toString();
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return "snr=" + std::to_string(cmd.serial()) + " key=" + std::to_string(cmd.key().counter) +
               "/" + formatNumber(cmd.key().sub) + " n=" + formatNumber(cmd.origin().blockNumber) +
               " " + text;
    }

    // Every line so far, each ended by a line end: the text of a golden stream.
    std::string text() const {
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        return all;
    }

    // The text forms of the delivered commands, in delivery order.
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& cmd : commands) result.push_back(cmd->toString());
        return result;
    }

    std::vector<std::string> lines;
    std::vector<std::unique_ptr<NCmd>> commands;
    std::vector<BlockKey> keySets;
    int resets = 0;
    int keyResets = 0;
    int ipolRulesSends = 0;
    int finishes = 0;
};

} // namespace Karsto::test
