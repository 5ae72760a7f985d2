#include <gtest/gtest.h>
#include <syslog.h>

#include "host/syslog_event_sink.h"

namespace Karsto {
namespace {

// Errors, warnings and information lines keep their weight in the system log.
TEST(SyslogEventSink, EventTypesMapToSyslogPriorities) {
    const std::pair<EventType, int> cases[] = {
        {EventType::error, LOG_ERR},
        {EventType::warning, LOG_WARNING},
        {EventType::information, LOG_INFO},
    };
    for (const auto& [type, priority] : cases)
        EXPECT_EQ(SyslogEventSink::priorityOf(type), priority) << static_cast<int>(type);
}

} // namespace
} // namespace Karsto
