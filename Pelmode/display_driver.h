#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "backend.h"
#include "layout_memory.h"
#include "text_sink.h"

namespace pelmode {

struct Request {
  bool back = false;  // the desk before Pelmode's last change, instead of a size
  std::uint32_t width_px = 0;
  std::uint32_t height_px = 0;
  std::string output;  // the monitor to change; empty: the target rule's
};

// The whole change on any display: reports the mode in force and the
// target on `out`, plans, carries out (tried again while other clients
// change the outputs), checks the result against the plan, keeps the
// memory, and reports the outcome: success on `out`, failure on `err`.
// `notice`, where not empty, goes to `err` first. True when the mode was
// set; then `way_back`, where given, is what puts the desk back.
bool ChangeDisplayMode(Backend& backend, const std::string& notice, const Request& request,
                       TextSink& out, TextSink& err,
                       std::optional<LayoutMemory>* way_back = nullptr);

// Puts back the desk from before the change `way_back` remembers, saying so
// on `out` (failure on `err`); true when it was put back.
bool PutBack(Backend& backend, const LayoutMemory& way_back, TextSink& out, TextSink& err);

// Every monitor that shows something, the sizes it offers largest first,
// each with its rates; the target (or `output`) and the mode in force
// marked. True when the display could be read.
bool ListMonitors(Backend& backend, const std::string& notice, const std::string& output,
                  TextSink& out, TextSink& err);

}  // namespace pelmode
