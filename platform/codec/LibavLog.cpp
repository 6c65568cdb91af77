#include "platform/codec/LibavLog.h"

#include <cstdarg>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace orvenna {
namespace {

thread_local bool quiet = false;

void LogLine(void* context, int level, const char* format, va_list args) {
  if (quiet || level > AV_LOG_ERROR) return;
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
