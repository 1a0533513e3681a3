#include "command_line.h"

#include <string>
#include <string_view>
#include <vector>

#include "display_driver.h"
#include "pixel_count.h"
#include "platform.h"

namespace pelmode {
namespace {

constexpr int kDefaultTryS = 15;
constexpr int kMaxTryS = 3600;

struct Options {
  bool help = false, version = false, list = false, back = false;
  int try_s = 0;  // 0: no --try
  std::string output;
  std::vector<std::string_view> operands;
};

// The name the program was run by, for its help: "pelmode" as a command,
// "Pelmode" as Pelmode.exe.
std::string ProgramName(const char* argv0) {
  std::string_view name = argv0 != nullptr && *argv0 != '\0' ? argv0 : "Pelmode";
  if (const auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (name.size() > 4 && (name.ends_with(".exe") || name.ends_with(".EXE"))) {
    name.remove_suffix(4);
  }
  return std::string(name);
}

std::string HelpText(const std::string& name) {
  return "Usage: " + name + " [OPTION]... WIDTH HEIGHT\n"
         "       " + name + " --list | --back [OPTION]...\n"
         "Switches the display to WIDTH by HEIGHT pixels, reports how that went,\n"
         "and waits for a key press (" + name + " 1280 720 " + kNoInput + " does not wait).\n"
         "\n"
         "  -l, --list           list the monitors and the sizes they offer\n"
         "  -o, --output NAME    change monitor NAME instead of the primary\n"
         "      --try[=SECONDS]  keep the new mode only if a key is pressed within\n"
         "                       SECONDS (" + std::to_string(kDefaultTryS) + "), else put the desk back as it was\n"
         "      --back           put back the desk from before the last change\n"
         "  -h, --help           show this help\n"
         "      --version        show the version\n"
         "\n"
         "Exit status: 0 set, 1 refused or failed, 2 invalid arguments,\n"
         "3 put back after --try. See " + std::string(kDocumentation) + ".";
}

// Reads --try's seconds; false when they are not 1 to kMaxTryS.
bool ReadTrySeconds(std::string_view text, int* seconds) {
  const auto count = ParsePixelCount(text);
  if (!count || *count > std::uint32_t(kMaxTryS) || text.find("px") != std::string_view::npos) {
    return false;
  }
  *seconds = int(*count);
  return true;
}

// One word that starts with "-"; `next` is the word after it, taken by an
// option that needs a value. False, with the reason on `err`, when invalid.
bool ReadOption(std::string_view word, const char* next, bool* took_next, Options* options,
                TextSink& err) {
  if (word == "-h" || word == "--help" || word == "/?") return options->help = true;
  if (word == "--version") return options->version = true;
  if (word == "-l" || word == "--list") return options->list = true;
  if (word == "--back") return options->back = true;
  if (word == "--try") return (options->try_s = kDefaultTryS) != 0;
  if (word.starts_with("--try=")) {
    if (ReadTrySeconds(word.substr(6), &options->try_s)) return true;
    WriteLine(err << "Invalid --try seconds: ", word.substr(6));
    return false;
  }
  if (word.starts_with("--output=")) return !(options->output = word.substr(9)).empty();
  if (word.starts_with("-o") && word.size() > 2) return !(options->output = word.substr(2)).empty();
  if ((word == "-o" || word == "--output") && next != nullptr) {
    *took_next = true;
    options->output = next;
    return !options->output.empty();
  }
  WriteLine(err << "Invalid option: ", word);
  return false;
}

// A word that begins with "-" and a digit is a (negative) number, refused
// as a width or height, not an unknown option.
bool IsOption(std::string_view word) {
  if (word == "/?") return true;
  return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

bool ParseOptions(int argc, const char* const argv[], Options* options, TextSink& err) {
  bool valid = true, operands_only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (operands_only || !IsOption(word)) {
      options->operands.push_back(word);
    } else if (word == "--") {
      operands_only = true;
    } else {
      bool took_next = false;
      valid = ReadOption(word, i + 1 < argc ? argv[i + 1] : nullptr, &took_next, options, err) && valid;
      i += took_next ? 1 : 0;
    }
  }
  return valid;
}

ExitStatus RefuseArguments(TextSink& out) {
  WriteLine(out, "Invalid arguments, have nothing to do...\nUseage: [Width] [Height]");
  return kExitInvalidArguments;
}

// The request the operands make; false, with the reason on `err`, when
// they are not the two numbers (or, with --back, none).
bool ReadRequest(const Options& options, Request* request, TextSink& err) {
  const std::size_t wanted = options.back ? 0 : 2;
  if (options.operands.size() != wanted) {
    err << "Invalid number of arguments: " << std::uint32_t(options.operands.size());
    WriteLine(err, wanted == 0 ? " (--back takes none)" : " (WIDTH and HEIGHT are needed)");
    return false;
  }
  request->back = options.back;
  request->output = options.output;
  if (options.back) return true;
  const auto width_px = ParsePixelCount(options.operands[0]);
  const auto height_px = ParsePixelCount(options.operands[1]);
  if (!width_px) WriteLine(err << "Invalid width: ", options.operands[0]);
  if (!height_px) WriteLine(err << "Invalid height: ", options.operands[1]);
  request->width_px = width_px.value_or(0);
  request->height_px = height_px.value_or(0);
  return width_px && height_px;
}

struct Countdown {
  TextSink& out;
  bool terminal;
};

std::string KeepPrompt(int seconds) {
  return "Press any key within " + std::to_string(seconds) + " s to keep this mode...";
}

// On a terminal the prompt's count is drawn again as each second passes.
void RedrawPrompt(int seconds_left, void* data) {
  Countdown& countdown = *static_cast<Countdown*>(data);
  if (!countdown.terminal) return;
  countdown.out << "\r" << KeepPrompt(seconds_left) << " ";
  countdown.out.Flush();
}

// After a change made with --try: a key keeps it, anything else puts the
// desk back.
ExitStatus AwaitKeep(Backend& backend, const LayoutMemory& way_back, int seconds, TextSink& out,
                     TextSink& err) {
  const bool terminal = StandardOutputIsTerminal();
  out << "\n" << KeepPrompt(seconds);
  if (terminal) {
    out.Flush();
  } else {
    WriteLine(out, "");
  }
  Countdown countdown{out, terminal};
  const KeyWait waited = WaitForKeyPressWithin(seconds, RedrawPrompt, &countdown);
  if (terminal) WriteLine(out, "");
  if (waited == KeyWait::kKey) {
    WriteLine(out, "\nKept.");
    return kExitModeSet;
  }
  return PutBack(backend, way_back, out, err) ? kExitPutBack : kExitChangeFailed;
}

ExitStatus PromptAndWait(ExitStatus status, TextSink& out) {
  WriteLine(out, "\nPress any key to exit...");
  WaitForKeyPress();
  return status;
}

ExitStatus Run(const Options& options, TextSink& out, TextSink& err) {
  Request request;
  if (!ReadRequest(options, &request, err)) return PromptAndWait(RefuseArguments(out), out);
  const OpenedDisplay display = OpenDisplay();
  std::optional<LayoutMemory> way_back;
  const bool done = ChangeDisplayMode(*display.backend, display.notice, request, out, err,
                                      options.try_s ? &way_back : nullptr);
  if (done && options.try_s) return AwaitKeep(*display.backend, *way_back, options.try_s, out, err);
  return PromptAndWait(done ? kExitModeSet : kExitChangeFailed, out);
}

// What is said at once, without a change or a key wait; empty for a change.
std::optional<std::string> Answer(const Options& options, const char* argv0) {
  if (options.help) return HelpText(ProgramName(argv0));
  if (options.version) return std::string("Pelmode " PELMODE_VERSION);
  return std::nullopt;
}

// --list: nothing changes and no key is awaited.
ExitStatus List(const Options& options, TextSink& out, TextSink& err) {
  if (!options.operands.empty() || options.back || options.try_s) {
    WriteLine(err, "Invalid arguments: --list takes no sizes, --back or --try");
    return kExitInvalidArguments;
  }
  const OpenedDisplay display = OpenDisplay();
  return ListMonitors(*display.backend, display.notice, options.output, out, err)
             ? kExitModeSet
             : kExitChangeFailed;
}

// Words that did not reach standard output are no success.
int Finish(ExitStatus status, bool changed, TextSink& out, TextSink& err) {
  if (!out.failed() || status == kExitInvalidArguments) return status;
  WriteLine(err, changed ? "Pelmode: write error; the display was changed all the same"
                         : "Pelmode: write error");
  return kExitChangeFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], TextSink& out,
                   TextSink& err) {
  PrepareStandardStreams();
  Options options;
  const bool valid = ParseOptions(argc, argv, &options, err);
  if (const auto answer = Answer(options, argc > 0 ? argv[0] : nullptr); answer && valid) {
    WriteLine(out, *answer);
    return Finish(kExitModeSet, false, out, err);
  }
  if (options.list && valid) return Finish(List(options, out, err), false, out, err);
  WriteLine(out, "");
  const ExitStatus status =
      valid ? Run(options, out, err) : PromptAndWait(RefuseArguments(out), out);
  return Finish(status, status == kExitModeSet || status == kExitPutBack, out, err);
}

}  // namespace pelmode
