#include "x11_library.h"


#include <optional>

#include "linux_library.h"

// The table's entries are found by their own names.
#undef xcb_change_property_checked
#undef xcb_connect
#undef xcb_connection_has_error
#undef xcb_disconnect
#undef xcb_flush
#undef xcb_get_extension_data
#undef xcb_get_file_descriptor
#undef xcb_get_geometry
#undef xcb_get_geometry_reply
#undef xcb_get_input_focus
#undef xcb_get_input_focus_reply
#undef xcb_get_property
#undef xcb_get_property_reply
#undef xcb_get_property_value
#undef xcb_get_property_value_length
#undef xcb_get_setup
#undef xcb_grab_server
#undef xcb_intern_atom
#undef xcb_intern_atom_reply
#undef xcb_no_operation_checked
#undef xcb_parse_display
#undef xcb_poll_for_reply
#undef xcb_prefetch_extension_data
#undef xcb_request_check
#undef xcb_screen_next
#undef xcb_setup_roots_iterator
#undef xcb_ungrab_server
#undef xcb_randr_get_crtc_info
#undef xcb_randr_get_crtc_info_outputs
#undef xcb_randr_get_crtc_info_reply
#undef xcb_randr_get_output_info
#undef xcb_randr_get_output_info_modes
#undef xcb_randr_get_output_info_name
#undef xcb_randr_get_output_info_name_length
#undef xcb_randr_get_output_info_reply
#undef xcb_randr_get_output_primary
#undef xcb_randr_get_output_primary_reply
#undef xcb_randr_get_output_property
#undef xcb_randr_get_output_property_reply
#undef xcb_randr_get_panning
#undef xcb_randr_get_panning_reply
#undef xcb_randr_get_screen_resources_current
#undef xcb_randr_get_screen_resources_current_crtcs
#undef xcb_randr_get_screen_resources_current_modes
#undef xcb_randr_get_screen_resources_current_outputs
#undef xcb_randr_get_screen_resources_current_reply
#undef xcb_randr_get_screen_size_range
#undef xcb_randr_get_screen_size_range_reply
#undef xcb_randr_query_version
#undef xcb_randr_query_version_reply
#undef xcb_randr_set_crtc_config
#undef xcb_randr_set_crtc_config_reply
#undef xcb_randr_set_panning
#undef xcb_randr_set_panning_reply
#undef xcb_randr_set_screen_size_checked
#undef xcb_randr_id

namespace pelmode::x11 {
namespace {

std::optional<Xcb> Load() {
  // Brings libxcb.so.1, where the core's symbols are found, with it: one
  // search of the loader's cache instead of two.
  void* library = OpenLibrary("libxcb-randr.so.0");
  if (library == nullptr) return std::nullopt;
  Xcb xcb;
  const bool found =
      FindSymbol(library, "xcb_change_property_checked", &xcb.change_property_checked) &&
      FindSymbol(library, "xcb_connect", &xcb.connect) &&
      FindSymbol(library, "xcb_connection_has_error", &xcb.connection_has_error) &&
      FindSymbol(library, "xcb_disconnect", &xcb.disconnect) &&
      FindSymbol(library, "xcb_flush", &xcb.flush) &&
      FindSymbol(library, "xcb_get_extension_data", &xcb.get_extension_data) &&
      FindSymbol(library, "xcb_get_file_descriptor", &xcb.get_file_descriptor) &&
      FindSymbol(library, "xcb_get_geometry", &xcb.get_geometry) &&
      FindSymbol(library, "xcb_get_geometry_reply", &xcb.get_geometry_reply) &&
      FindSymbol(library, "xcb_get_input_focus", &xcb.get_input_focus) &&
      FindSymbol(library, "xcb_get_input_focus_reply", &xcb.get_input_focus_reply) &&
      FindSymbol(library, "xcb_get_property", &xcb.get_property) &&
      FindSymbol(library, "xcb_get_property_reply", &xcb.get_property_reply) &&
      FindSymbol(library, "xcb_get_property_value", &xcb.get_property_value) &&
      FindSymbol(library, "xcb_get_property_value_length", &xcb.get_property_value_length) &&
      FindSymbol(library, "xcb_get_setup", &xcb.get_setup) &&
      FindSymbol(library, "xcb_grab_server", &xcb.grab_server) &&
      FindSymbol(library, "xcb_intern_atom", &xcb.intern_atom) &&
      FindSymbol(library, "xcb_intern_atom_reply", &xcb.intern_atom_reply) &&
      FindSymbol(library, "xcb_no_operation_checked", &xcb.no_operation_checked) &&
      FindSymbol(library, "xcb_parse_display", &xcb.parse_display) &&
      FindSymbol(library, "xcb_poll_for_reply", &xcb.poll_for_reply) &&
      FindSymbol(library, "xcb_prefetch_extension_data", &xcb.prefetch_extension_data) &&
      FindSymbol(library, "xcb_request_check", &xcb.request_check) &&
      FindSymbol(library, "xcb_screen_next", &xcb.screen_next) &&
      FindSymbol(library, "xcb_setup_roots_iterator", &xcb.setup_roots_iterator) &&
      FindSymbol(library, "xcb_ungrab_server", &xcb.ungrab_server) &&
      FindSymbol(library, "xcb_randr_get_crtc_info", &xcb.randr_get_crtc_info) &&
      FindSymbol(library, "xcb_randr_get_crtc_info_outputs", &xcb.randr_get_crtc_info_outputs) &&
      FindSymbol(library, "xcb_randr_get_crtc_info_reply", &xcb.randr_get_crtc_info_reply) &&
      FindSymbol(library, "xcb_randr_get_output_info", &xcb.randr_get_output_info) &&
      FindSymbol(library, "xcb_randr_get_output_info_modes", &xcb.randr_get_output_info_modes) &&
      FindSymbol(library, "xcb_randr_get_output_info_name", &xcb.randr_get_output_info_name) &&
      FindSymbol(library, "xcb_randr_get_output_info_name_length", &xcb.randr_get_output_info_name_length) &&
      FindSymbol(library, "xcb_randr_get_output_info_reply", &xcb.randr_get_output_info_reply) &&
      FindSymbol(library, "xcb_randr_get_output_primary", &xcb.randr_get_output_primary) &&
      FindSymbol(library, "xcb_randr_get_output_primary_reply", &xcb.randr_get_output_primary_reply) &&
      FindSymbol(library, "xcb_randr_get_output_property", &xcb.randr_get_output_property) &&
      FindSymbol(library, "xcb_randr_get_output_property_reply", &xcb.randr_get_output_property_reply) &&
      FindSymbol(library, "xcb_randr_get_panning", &xcb.randr_get_panning) &&
      FindSymbol(library, "xcb_randr_get_panning_reply", &xcb.randr_get_panning_reply) &&
      FindSymbol(library, "xcb_randr_get_screen_resources_current", &xcb.randr_get_screen_resources_current) &&
      FindSymbol(library, "xcb_randr_get_screen_resources_current_crtcs", &xcb.randr_get_screen_resources_current_crtcs) &&
      FindSymbol(library, "xcb_randr_get_screen_resources_current_modes", &xcb.randr_get_screen_resources_current_modes) &&
      FindSymbol(library, "xcb_randr_get_screen_resources_current_outputs", &xcb.randr_get_screen_resources_current_outputs) &&
      FindSymbol(library, "xcb_randr_get_screen_resources_current_reply", &xcb.randr_get_screen_resources_current_reply) &&
      FindSymbol(library, "xcb_randr_get_screen_size_range", &xcb.randr_get_screen_size_range) &&
      FindSymbol(library, "xcb_randr_get_screen_size_range_reply", &xcb.randr_get_screen_size_range_reply) &&
      FindSymbol(library, "xcb_randr_query_version", &xcb.randr_query_version) &&
      FindSymbol(library, "xcb_randr_query_version_reply", &xcb.randr_query_version_reply) &&
      FindSymbol(library, "xcb_randr_set_crtc_config", &xcb.randr_set_crtc_config) &&
      FindSymbol(library, "xcb_randr_set_crtc_config_reply", &xcb.randr_set_crtc_config_reply) &&
      FindSymbol(library, "xcb_randr_set_panning", &xcb.randr_set_panning) &&
      FindSymbol(library, "xcb_randr_set_panning_reply", &xcb.randr_set_panning_reply) &&
      FindSymbol(library, "xcb_randr_set_screen_size_checked", &xcb.randr_set_screen_size_checked) &&
      FindSymbol(library, "xcb_randr_id", &xcb.randr_id);
  if (!found) return std::nullopt;
  return xcb;  // the libraries stay loaded for the rest of the run
}

}  // namespace

const Xcb* LoadXcb() {
  static const std::optional<Xcb> xcb = Load();
  return xcb ? &*xcb : nullptr;
}

}  // namespace pelmode::x11
