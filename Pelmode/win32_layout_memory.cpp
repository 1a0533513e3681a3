#include "win32_layout_memory.h"

#include <windows.h>

#include <string>

#include "win32_unicode.h"

namespace pelmode {
namespace {

constexpr DWORD kMostBytes = 1 << 20;
constexpr char kUnkept[] = "Pelmode: no layout memory is kept: ";

// Owned file handle.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The last call's error, as messages end.
std::string LastError() { return " (Windows error " + std::to_string(GetLastError()) + ")"; }

// PATH and what failed with it.
std::string Failed(const std::wstring& path, const char* what) {
  const std::string error = LastError();  // before the conversion sets another
  return Utf8Of(path.c_str()) + what + error;
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// %LOCALAPPDATA%\Pelmode, else Pelmode in the temporary folder, which ends
// in a backslash; empty when neither is known.
std::wstring FolderPath() {
  const std::wstring local = Variable(L"LOCALAPPDATA");
  if (!local.empty()) return local + L"\\Pelmode";
  wchar_t temporary[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(temporary, length) + L"Pelmode";
}

// The whole file, at most 1 MiB: anything larger is no memory of Pelmode's.
std::string ReadProblem(HANDLE file, std::string* content) {
  LARGE_INTEGER size {};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
    return "it is not a regular file";
  }
  if (size.QuadPart > kMostBytes) return "it is larger than 1 MiB";
  content->resize(std::size_t(size.QuadPart));
  DWORD got = 0;
  if (!content->empty() && (!ReadFile(file, content->data(), DWORD(content->size()), &got,
                                      nullptr) || got != content->size())) {
    return "it cannot be read" + LastError();
  }
  return {};
}

class Win32LayoutMemory final : public MemoryStore {
 public:
  explicit Win32LayoutMemory(std::wstring folder)
      : folder_(std::move(folder)), path_(folder_ + L"\\layout") {
    Read();
  }
  std::string Load() override { return content_; }
  std::string Refusal() const override { return refused_; }
  std::string Store(const std::string& memory) override;

 private:
  void Read();
  std::string Write(const std::string& memory) const;

  std::wstring folder_;
  std::wstring path_;
  std::string content_;
  std::string refused_;
};

void Win32LayoutMemory::Read() {
  const Handle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string problem;
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    problem = "it cannot be opened" + LastError();
  } else {
    problem = ReadProblem(file.get(), &content_);
  }
  if (problem.empty()) return;
  content_.clear();
  refused_ = "Pelmode: the layout memory " + Utf8Of(path_.c_str()) + " is not read: " + problem;
}

// A memory that did not change is not written again.
std::string Win32LayoutMemory::Store(const std::string& memory) {
  if (memory == content_) return {};
  if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return kUnkept + Failed(folder_, " cannot be made");
  }
  const DWORD attributes = GetFileAttributesW(folder_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return kUnkept + Utf8Of(folder_.c_str()) + " is not a folder";
  }
  const std::string problem = Write(memory);
  if (!problem.empty()) return kUnkept + problem;
  content_ = memory;
  return {};
}

// Written whole to layout.new, then moved over layout, so that no reader
// finds a half-written memory.
std::string Win32LayoutMemory::Write(const std::string& memory) const {
  const std::wstring temporary = path_ + L".new";
  {
    const Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return Failed(temporary, " cannot be made");
    DWORD wrote = 0;
    if (!WriteFile(file.get(), memory.data(), DWORD(memory.size()), &wrote, nullptr) ||
        wrote != memory.size()) {
      return Failed(temporary, " cannot be written");
    }
  }
  if (!MoveFileExW(temporary.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return Failed(path_, " cannot be replaced");
  }
  return {};
}

// Neither folder known: Store says so, every time.
class UnknownFolder final : public MemoryStore {
 public:
  std::string Load() override { return {}; }
  std::string Store(const std::string&) override {
    return std::string(kUnkept) + "neither LOCALAPPDATA nor a temporary folder is set";
  }
};

}  // namespace

std::unique_ptr<MemoryStore> OpenWin32LayoutMemory() {
  std::wstring folder = FolderPath();
  if (folder.empty()) return std::make_unique<UnknownFolder>();
  return std::make_unique<Win32LayoutMemory>(std::move(folder));
}

}  // namespace pelmode
