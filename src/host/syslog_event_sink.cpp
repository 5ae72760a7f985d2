#include "host/syslog_event_sink.h"

#include <syslog.h>

namespace Karsto {

SyslogEventSink::SyslogEventSink() { openlog("Vordash", LOG_PID, LOG_USER); }

SyslogEventSink::~SyslogEventSink() { closelog(); }

int SyslogEventSink::priorityOf(EventType type) {
    switch (type) {
    case EventType::error: return LOG_ERR;
    case EventType::warning: return LOG_WARNING;
    case EventType::information: return LOG_INFO;
    }
    return LOG_INFO;
}

void SyslogEventSink::report(EventType type, const std::string& line) {
    syslog(priorityOf(type), "%s", line.c_str());
}

} // namespace Karsto
