#include "win32_unicode.h"

#include <windows.h>
#include <shellapi.h>

namespace pelmode {
namespace {

// The array CommandLineToArgvW allocates, freed with LocalFree.
class WideArguments {
 public:
  WideArguments() : words_(CommandLineToArgvW(GetCommandLineW(), &count_)) {}
  ~WideArguments() {
    if (words_ != nullptr) LocalFree(words_);
  }
  WideArguments(const WideArguments&) = delete;
  WideArguments& operator=(const WideArguments&) = delete;
  wchar_t** words() const { return words_; }
  int count() const { return count_; }

 private:
  int count_ = 0;
  wchar_t** words_;
};

}  // namespace

std::string Utf8Of(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string converted(std::size_t(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr) !=
      size) {
    return {};
  }
  converted.pop_back();  // the terminating zero
  return converted;
}

std::vector<std::string> Utf8Arguments(std::string* problem) {
  const WideArguments wide;
  if (wide.words() == nullptr) {
    *problem = "Pelmode: the command line cannot be read (Windows error " +
               std::to_string(GetLastError()) + ")";
    return {};
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < wide.count(); ++i) arguments.push_back(Utf8Of(wide.words()[i]));
  return arguments;
}

}  // namespace pelmode
