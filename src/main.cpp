// Program entry of the Vordash interpreter.
#include <cstdio>

#include "codegen/codegen_install.h"
#include "core/log.h"
#include "host/syslog_event_sink.h"

int main() {
    Karsto::installCodeGenerator();
    Karsto::SyslogEventSink eventSink;
    Karsto::globalLog.setEventSink(&eventSink);
    Karsto::globalLog.setLevel(Karsto::LogLevel::error, true);
    Karsto::globalLog.setLevel(Karsto::LogLevel::warning, true);
    Karsto::globalLog.setLevel(Karsto::LogLevel::info, true);
    Karsto::globalLog.setStderr(true);
    std::fprintf(stderr, "vordash: no run mode is available in this build yet\n");
    Karsto::globalLog.setEventSink(nullptr);
    return 2;
}
