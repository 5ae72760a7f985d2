#pragma once
// The system event log on Linux: log lines go to syslog under the ident "Vordash".

#include "core/log.h"

namespace Karsto {

class SyslogEventSink : public EventSink {
public:
    SyslogEventSink();
    ~SyslogEventSink() override;
    SyslogEventSink(const SyslogEventSink&) = delete;
    SyslogEventSink& operator=(const SyslogEventSink&) = delete;

    void report(EventType type, const std::string& line) override;

    // The syslog priority a log event type is reported with.
    static int priorityOf(EventType type);
};

} // namespace Karsto
