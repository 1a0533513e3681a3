#include <windows.h>

#include <cstdlib>

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

// What a pipe, a file or the null device holds: a byte is a key.
KeyWait StreamByte(HANDLE input, bool* waiting) {
  DWORD available = 0;
  if (GetFileType(input) == FILE_TYPE_PIPE) {
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return KeyWait::kEnd;
    *waiting = available == 0;
    if (*waiting) return KeyWait::kTimeout;
  }
  char byte;
  DWORD read = 0;
  *waiting = false;
  return ReadFile(input, &byte, 1, &read, nullptr) && read == 1 ? KeyWait::kKey : KeyWait::kEnd;
}

// Waits up to `wait_ms` for a key; kTimeout when none came.
KeyWait AwaitKey(HANDLE input, DWORD wait_ms) {
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode)) {
    if (WaitForSingleObject(input, wait_ms) != WAIT_OBJECT_0) return KeyWait::kTimeout;
    return ConsoleKeyPressed(input) ? KeyWait::kKey : KeyWait::kTimeout;
  }
  bool waiting = false;
  const KeyWait outcome = StreamByte(input, &waiting);
  if (waiting) Sleep(wait_ms < 100 ? wait_ms : 100);
  return outcome;
}

}  // namespace

// The command interpreter's own wait: one key, its prompt sent nowhere.
void WaitForKeyPress() { std::system("pause>nul"); }

KeyWait WaitForKeyPressWithin(int seconds, void (*tick)(int seconds_left, void* data), void* data) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
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
    outcome = AwaitKey(input, left_ms - DWORD(left_s - 1) * 1000);
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
