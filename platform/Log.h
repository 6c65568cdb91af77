#pragma once

#include <string>

namespace orvenna {

// The diagnostic log: what happened inside, for a bug report. Off unless the environment
// variable ORVENNA_LOG names a level ("debug", "info", "warning" or "error"); lines at that
// level and above go to standard error as "orvenna <level> <where>: <text>". Any thread.
enum class LogLevel { Debug = 0, Info = 1, Warning = 2, Error = 3, Off = 4 };

// The level in force, read from ORVENNA_LOG the first time it is asked for.
LogLevel LogThreshold();
// Sets the level in force (tests; programs leave it to the environment).
void SetLogThreshold(LogLevel level);
// The level named by `name`, Off for an empty or unknown name.
LogLevel LogLevelNamed(const std::string& name);

void Log(LogLevel level, const char* where, const std::string& text);

}  // namespace orvenna
