#pragma once

#include <string>

// The process-wide log. Each message becomes one line,
// "YYYY/MM/DD HH:MM:SS - message", CR LF terminated, flushed at once.
// Messages are Shift-JIS bytes and are written unconverted; a byte that
// does not decode as Shift-JIS is written as \x{HH}, so the whole file always
// decodes as code page 932. Paths and URLs go through PathForLog
// (infra/TextEncoding.h) before they are appended to a message.
// Thread-safe: worker threads of the window log through it too.

// Makes the program directory current and opens `fileName` there for appending,
// closing any log opened before. A file that cannot be opened is not reported;
// later messages are then dropped.
void OpenLog(const std::string& fileName);

// Appends one line. CR LF pairs and lone LFs in the message become single
// spaces, so a message never spans lines; a lone CR is kept.
void WriteLog(const std::string& message);

// Closes the log; later messages are dropped until the next OpenLog.
void CloseLog();

// The time-stamp text for a time in seconds since the epoch, in local time;
// "Invalid DateTime" when it cannot be rendered.
std::string FormatLogTime(long long secondsSinceEpoch);
