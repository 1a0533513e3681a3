// The only door to the operating system: one implementation per platform,
// chosen by the build. Everything else in Pelmode sees the display and the
// keyboard through these declarations alone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pelmode {

struct DisplayMode {
  std::uint32_t width_px = 0;
  std::uint32_t height_px = 0;
  std::uint32_t refresh_hz = 0;
};

// Every way a change can end; each is worded once, in failure_reason.cpp.
enum class ApplyError {
  kNone,
  kModeNotOffered,
  kRestartRequired,
  kDriverFailed,
  kSystemRefused,
  kDisplayEmpty,
  kCannotOpenDisplay,
  kNoRandr,
  kNoActiveOutput,
  kMirrorNotOffered,
  kLayoutBroken,
  kScreenTooLarge,
  kServerRefused,
  kCompositorRefused,
  kConnectionLost,
  kConnectionLostAfterRequest,
  kBusUnreachable,
  kWaylandSession,
  kNoDisplay,
  kWaylandUnreachable,
  kWaylandSocketRefused,
  kNoSuchScreen,
  kConnectionRefused,
  kNoAnswer,
  kNoAnswerAfterRequest,
  kLibraryMissing,
  kUnreadableAnswer,
  kOutputsChanged,
  kOutputsKeptChanging,
  kNotAsPlanned,
  kUnknownOutput,
  kNoWayBack,
  kDeskChangedSince,
};

struct ApplyResult {
  ApplyError error = ApplyError::kNone;
  // The display name for kCannotOpenDisplay, kNoSuchScreen and
  // kConnectionRefused, the output's name for kMirrorNotOffered, the size
  // needed for kScreenTooLarge, the compositor's reason, where it gives one,
  // for kCompositorRefused, the compositor's socket for kWaylandSession, the
  // Wayland display and why for kWaylandUnreachable, the whole reason for
  // kWaylandSocketRefused, what did not answer for kNoAnswer,
  // kNoAnswerAfterRequest and kUnreadableAnswer, the library for
  // kLibraryMissing, the monitor that is not as planned for kNotAsPlanned,
  // the name asked for for kUnknownOutput; empty otherwise.
  std::string detail;
  long code = 0;  // the system's result for kSystemRefused
  // The nearest sizes offered for kModeNotOffered, the monitors there are
  // for kUnknownOutput.
  std::string alternatives = {};

  bool ok() const { return error == ApplyError::kNone; }
};

class Backend;

// The display the program runs on, and a remark on how it was chosen, for
// standard error before the first line (empty when there is none). Failing
// to reach it is not an error here: the backend reports it when read.
struct OpenedDisplay {
  std::unique_ptr<Backend> backend;
  std::string notice;
};

OpenedDisplay OpenDisplay();

// Called first thing: makes a closed standard stream fail every write instead
// of lending its number to the next file opened, and a write to a closed pipe
// an error instead of a fatal signal.
void PrepareStandardStreams();

// Returns after one key press, or at once when standard input has ended.
// Writes nothing.
void WaitForKeyPress();

enum class KeyWait { kKey, kEnd, kTimeout, kSignal };

// Waits for one key at most `seconds`, calling `tick` with the whole
// seconds left as each passes. An interrupt, termination or hang-up signal
// (Ctrl+C, Ctrl+Break or closing the console on Windows) ends the wait
// instead of the program. Writes nothing.
KeyWait WaitForKeyPressWithin(int seconds, void (*tick)(int seconds_left, void* data), void* data);

// Whether standard output is a terminal, where a line can be drawn again.
bool StandardOutputIsTerminal();

// Where this platform's help sends a reader, and how a command line feeds
// the key wait nothing.
extern const char* const kDocumentation;
extern const char* const kNoInput;

}  // namespace pelmode
