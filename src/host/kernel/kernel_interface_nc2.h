#pragma once
// The controller's kernel interface for the NC kernel: the interpreter's Zel server on
// Vek port 11600, a synchronous client to the kernel on port 500, the NC channels the
// kernel's initialisation creates, the R-parameters in the controller's shared memory
// and the forwarding of error and warning lines to the NC system's logger.
//
// Everything runs on the controller thread except wake (any thread, under the
// controller's mutex), the server's indications (the port's receive thread) and
// LogListenerNc2::logLine (any thread that logs, inside the Log's mutex).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/log.h"
#include "host/kernel/zel_server_buffered.h"
#include "host/kernel_interface.h"
#include "host/zel/zel_sync.h"

namespace Karsto {

class ChannelNc2;
class Controller;
class ControllerTask;
class Variable;

// Forwards error and warning lines to the NC system's logger through the server's
// logger part. Runs inside the Log's mutex on any thread: it never logs, and the
// logger's send gives up after a short time.
class LogListenerNc2 final : public LogListener {
public:
    explicit LogListenerNc2(ZelServerBuffered* server_) : server(server_) {}

    void logLine(int32_t level, const std::string& line) override;

    // Longest line the logger gets whole; a longer one is cut to its first
    // kCutLength characters followed by kCutMark.
    static constexpr size_t kMaxLine = 250;
    static constexpr size_t kCutLength = 246;
    static constexpr const char* kCutMark = " ...";
    // Report flags of the two forwarded levels.
    static constexpr uint32_t kFlagsError = 0x94;
    static constexpr uint32_t kFlagsWarning = 0x92;

    ZelServerBuffered* server; // not owned
};

class KernelInterfaceNc2 : public KernelInterface {
public:
    // Nothing is connected yet; the listener is entered in the Log's set here.
    KernelInterfaceNc2(Controller* controller_, const std::string& dataDirectory_);
    // Deletes the channels, the R-parameter variables, the listener (after removing it
    // from the Log's set) and the server, in this order.
    virtual ~KernelInterfaceNc2();

    // Connects the client (unless connected, result ignored), then the server; a failed
    // server connect throws std::runtime_error.
    void start() override;
    // Disconnects the client (result ignored) and the server, then deletes the
    // channels; a failed server disconnect throws std::runtime_error and leaves them.
    // The R-parameters stay.
    void stop() override;
    // Resends parked records, then executes and answers every queued event, also those
    // that arrive meanwhile, in arrival order.
    void processEvents() override;
    void wait() override;
    void wake() override;
    bool isRunning() override;
    // No section before the first initialisation; afterwards the value of r0 of the
    // first channel (cell 0 of the shared image).
    uint64_t currentSection() override;
    // Logs and reports the task's state words through its channel.
    void stackmachineStateChanged(ControllerTask* task) override;

    // Takes ownership of the channel and enters it in the lists.
    void channelAdd(ChannelNc2* channel);
    // Deletes every channel (each removes its task from the controller) in list order.
    void channelClear();
    ChannelNc2* channelById(int32_t id) const;
    ChannelNc2* channelByTask(ControllerTask* task) const;
    std::string dataPath() const { return dataDirectory; }
    // Deletes the R-parameter variables; their cells in rParamCells stay.
    void rParamsClear();
    // Every channel resends its parked records, in list order.
    void pendingFlush();
    // The server's own address (the target of the kernel's synchronisation commands).
    VekAddr serverAddress() const;

    // The queued requests, each answered here on the controller thread.
    void executeEventRead(const ZelServerBuffered::Read& event);
    void executeEventWrite(const ZelServerBuffered::Write& event);
    void executeEventReadwrite(const ZelServerBuffered::Readwrite& event);
    void executeEventCmd(const ZelServerBuffered::Cmd& event);
    // The kernel's NC command event (0x4016).
    void nccmdEvent(const ZelServerBuffered::Cmd& event);
    // The kernel's initialisation command (0x401E): channels and groups anew from the
    // kernel's configuration, the answer, then the R-parameters and the channel states.
    void InitInterpreter(const ZelServerBuffered::Cmd& event);

    // The key of R-parameter `number` of a channel in rParamCells: id x 1000 + number
    // (wrapping, for ids no kernel sends).
    static int32_t rParamKey(int32_t channelId, int32_t number) {
        return static_cast<int32_t>(static_cast<uint32_t>(channelId) * 1000u + static_cast<uint32_t>(number));
    }

    // The kernel's Vek port for requests and configuration reads.
    static constexpr uint16_t kKernelPort = 500;
    // Vek command ids the kernel sends to the server.
    static constexpr uint16_t kCmdNcEvent = 0x4016;
    static constexpr uint16_t kCmdInitInterpreter = 0x401E;

    Controller* controller; // not owned
    std::unique_ptr<ZelServerBuffered> server;
    std::unique_ptr<LogListenerNc2> logListener;
    // The client channels and groups send their requests through.
    CZelSync zel;
    VekAddr kernelAddress;
    // Set by the first initialisation that declared the R-parameters; never reset.
    bool initialised = false;
    // In creation order.
    std::vector<std::unique_ptr<ChannelNc2>> channels;
    std::map<int32_t, ChannelNc2*> channelsById;
    std::map<ControllerTask*, ChannelNc2*> channelsByTask;
    // Channel id x 1000 + R-parameter number to the cell of its variable.
    std::map<int32_t, int64_t> rParamCells;
    std::string dataDirectory;
    // The R-parameter variables.
    std::vector<std::unique_ptr<Variable>> rParams;

    // r0 to r999 for the channels in list order on a cleared shared memory, all 0.0,
    // entered in rParamCells; sets initialised.
    void rParamsDeclare();

private:
    // Reads the kernel's channels and groups and creates them; throws ExceptionZel for a
    // refused read, ExceptionKarsto for a channel id given twice.
    void configurationRead();
};

} // namespace Karsto
