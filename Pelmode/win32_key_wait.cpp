#include <windows.h>

#include <cstdlib>
#include <optional>

#include "platform.h"

namespace pelmode {
namespace {

// Set by the console's control handler, which runs on a thread of its own.
volatile LONG g_interrupted = 0;

BOOL WINAPI NoteInterrupt(DWORD) {
  InterlockedExchange(&g_interrupted, 1);
  return TRUE;
}

// A key pressed on the console, read off its queue with what came before it.
bool ConsoleKeyPressed(HANDLE input) {
  INPUT_RECORD record;
  DWORD read = 0;
  while (PeekConsoleInputW(input, &record, 1, &read) && read == 1) {
    ReadConsoleInputW(input, &record, 1, &read);
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return true;
  }
  return false;
}

// What a pipe, a file or the null device gives: a byte is a key. Read on a
// thread of its own, as only a console can be waited on.
DWORD WINAPI ReadOneByte(void* input) {
  char byte;
  DWORD read = 0;
  return ReadFile(static_cast<HANDLE>(input), &byte, 1, &read, nullptr) && read == 1 ? 1 : 0;
}

// Closes a thread handle; a reader still blocked is cancelled first.
class Reader {
 public:
  explicit Reader(HANDLE input) : thread_(CreateThread(nullptr, 0, ReadOneByte, input, 0, nullptr)) {}
  ~Reader() {
    if (thread_ == nullptr) return;
    CancelSynchronousIo(thread_);
    CloseHandle(thread_);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Waits up to `wait_ms` for the byte; kTimeout when none came.
  KeyWait Await(DWORD wait_ms) const {
    DWORD got = 0;
    if (thread_ == nullptr || (WaitForSingleObject(thread_, wait_ms) == WAIT_OBJECT_0 &&
                               GetExitCodeThread(thread_, &got) && got == 0)) {
      return KeyWait::kEnd;
    }
    return got == 1 ? KeyWait::kKey : KeyWait::kTimeout;
  }

 private:
  HANDLE thread_;
};

// Waits up to `wait_ms` for a key on the console, or the reader's byte.
KeyWait AwaitKey(HANDLE input, const Reader* reader, DWORD wait_ms) {
  if (reader != nullptr) return reader->Await(wait_ms);
  if (WaitForSingleObject(input, wait_ms) != WAIT_OBJECT_0) return KeyWait::kTimeout;
  return ConsoleKeyPressed(input) ? KeyWait::kKey : KeyWait::kTimeout;
}

}  // namespace

// The command interpreter's own wait: one key, its prompt sent nowhere.
void WaitForKeyPress() { std::system("pause>nul"); }

KeyWait WaitForKeyPressWithin(int seconds, void (*tick)(int seconds_left, void* data), void* data) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const std::optional<Reader> reader =
      GetConsoleMode(input, &mode) ? std::nullopt : std::optional<Reader>(std::in_place, input);
  InterlockedExchange(&g_interrupted, 0);
  SetConsoleCtrlHandler(NoteInterrupt, TRUE);
  const ULONGLONG end = GetTickCount64() + ULONGLONG(seconds) * 1000;
  KeyWait outcome = KeyWait::kTimeout;
  for (int announced = seconds; outcome == KeyWait::kTimeout;) {
    const ULONGLONG now = GetTickCount64();
    if (g_interrupted) outcome = KeyWait::kSignal;
    if (now >= end || outcome != KeyWait::kTimeout) break;
    const DWORD left_ms = DWORD(end - now);
    const int left_s = int((left_ms + 999) / 1000);
    if (left_s < announced) tick(announced = left_s, data);
    outcome = AwaitKey(input, reader ? &*reader : nullptr, left_ms - DWORD(left_s - 1) * 1000);
  }
  SetConsoleCtrlHandler(NoteInterrupt, FALSE);
  return outcome;
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

const char* const kDocumentation = "README.txt beside Pelmode.exe";
const char* const kNoInput = "<nul";

}  // namespace pelmode
