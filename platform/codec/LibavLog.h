#pragma once

namespace orvenna {

// libavcodec's log: only errors reach stderr (more when ORVENNA_LOG asks for it), and a thread that
// is probing whether an encoder opens hears nothing, because refusals are the expected answers of a
// probe. Installs the process's log callback on first use. Any thread.
void InstallLibavLog();

// Silences libavcodec's log on the current thread while it lives. Any thread.
class QuietLibavLog {
 public:
  QuietLibavLog();
  ~QuietLibavLog();
  QuietLibavLog(const QuietLibavLog&) = delete;
  QuietLibavLog& operator=(const QuietLibavLog&) = delete;

 private:
  bool wasQuiet_;
};

}  // namespace orvenna
