#include "platform/codec/LibavLog.h"

#include <cstdarg>
#include <mutex>

#include "platform/Log.h"

extern "C" {
#include <libavutil/log.h>
}

namespace orvenna {
namespace {

thread_local bool quiet = false;

// The quietest libavcodec level shown: errors, or more when the diagnostic log asks for more.
int LibavLevelShown() {
  switch (LogThreshold()) {
    case LogLevel::Debug:
      return AV_LOG_VERBOSE;
    case LogLevel::Info:
      return AV_LOG_INFO;
    case LogLevel::Warning:
      return AV_LOG_WARNING;
    default:
      return AV_LOG_ERROR;
  }
}

void LogLine(void* context, int level, const char* format, va_list args) {
  if (quiet || level > LibavLevelShown()) return;
  av_log_default_callback(context, level, format, args);
}

}  // namespace

void InstallLibavLog() {
  static std::once_flag installed;
  std::call_once(installed, [] { av_log_set_callback(LogLine); });
}

QuietLibavLog::QuietLibavLog() : wasQuiet_(quiet) {
  quiet = true;
}

QuietLibavLog::~QuietLibavLog() {
  quiet = wasQuiet_;
}

}  // namespace orvenna
