// libxcb and libxcb-randr, loaded only when X11 is the display: a Wayland
// session never needs them. Every xcb header of Pelmode's comes through
// here, so that each call goes to the loaded library.
#pragma once

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace pelmode::x11 {

struct Xcb {
  decltype(&::xcb_change_property_checked) change_property_checked;
  decltype(&::xcb_connect) connect;
  decltype(&::xcb_connection_has_error) connection_has_error;
  decltype(&::xcb_disconnect) disconnect;
  decltype(&::xcb_flush) flush;
  decltype(&::xcb_get_extension_data) get_extension_data;
  decltype(&::xcb_get_file_descriptor) get_file_descriptor;
  decltype(&::xcb_get_geometry) get_geometry;
  decltype(&::xcb_get_geometry_reply) get_geometry_reply;
  decltype(&::xcb_get_input_focus) get_input_focus;
  decltype(&::xcb_get_input_focus_reply) get_input_focus_reply;
  decltype(&::xcb_get_property) get_property;
  decltype(&::xcb_get_property_reply) get_property_reply;
  decltype(&::xcb_get_property_value) get_property_value;
  decltype(&::xcb_get_property_value_length) get_property_value_length;
  decltype(&::xcb_get_setup) get_setup;
  decltype(&::xcb_grab_server) grab_server;
  decltype(&::xcb_intern_atom) intern_atom;
  decltype(&::xcb_intern_atom_reply) intern_atom_reply;
  decltype(&::xcb_no_operation_checked) no_operation_checked;
  decltype(&::xcb_parse_display) parse_display;
  decltype(&::xcb_poll_for_reply) poll_for_reply;
  decltype(&::xcb_prefetch_extension_data) prefetch_extension_data;
  decltype(&::xcb_request_check) request_check;
  decltype(&::xcb_screen_next) screen_next;
  decltype(&::xcb_setup_roots_iterator) setup_roots_iterator;
  decltype(&::xcb_ungrab_server) ungrab_server;
  decltype(&::xcb_randr_get_crtc_info) randr_get_crtc_info;
  decltype(&::xcb_randr_get_crtc_info_outputs) randr_get_crtc_info_outputs;
  decltype(&::xcb_randr_get_crtc_info_reply) randr_get_crtc_info_reply;
  decltype(&::xcb_randr_get_output_info) randr_get_output_info;
  decltype(&::xcb_randr_get_output_info_modes) randr_get_output_info_modes;
  decltype(&::xcb_randr_get_output_info_name) randr_get_output_info_name;
  decltype(&::xcb_randr_get_output_info_name_length) randr_get_output_info_name_length;
  decltype(&::xcb_randr_get_output_info_reply) randr_get_output_info_reply;
  decltype(&::xcb_randr_get_output_primary) randr_get_output_primary;
  decltype(&::xcb_randr_get_output_primary_reply) randr_get_output_primary_reply;
  decltype(&::xcb_randr_get_output_property) randr_get_output_property;
  decltype(&::xcb_randr_get_output_property_reply) randr_get_output_property_reply;
  decltype(&::xcb_randr_get_panning) randr_get_panning;
  decltype(&::xcb_randr_get_panning_reply) randr_get_panning_reply;
  decltype(&::xcb_randr_get_screen_resources_current) randr_get_screen_resources_current;
  decltype(&::xcb_randr_get_screen_resources_current_crtcs) randr_get_screen_resources_current_crtcs;
  decltype(&::xcb_randr_get_screen_resources_current_modes) randr_get_screen_resources_current_modes;
  decltype(&::xcb_randr_get_screen_resources_current_outputs) randr_get_screen_resources_current_outputs;
  decltype(&::xcb_randr_get_screen_resources_current_reply) randr_get_screen_resources_current_reply;
  decltype(&::xcb_randr_get_screen_size_range) randr_get_screen_size_range;
  decltype(&::xcb_randr_get_screen_size_range_reply) randr_get_screen_size_range_reply;
  decltype(&::xcb_randr_query_version) randr_query_version;
  decltype(&::xcb_randr_query_version_reply) randr_query_version_reply;
  decltype(&::xcb_randr_set_crtc_config) randr_set_crtc_config;
  decltype(&::xcb_randr_set_crtc_config_reply) randr_set_crtc_config_reply;
  decltype(&::xcb_randr_set_panning) randr_set_panning;
  decltype(&::xcb_randr_set_panning_reply) randr_set_panning_reply;
  decltype(&::xcb_randr_set_screen_size_checked) randr_set_screen_size_checked;
  xcb_extension_t* randr_id;
};

// Loaded on first use; null when either library cannot be loaded.
const Xcb* LoadXcb();

// Only reached once LoadXcb has succeeded.
inline const Xcb& X() { return *LoadXcb(); }

}  // namespace pelmode::x11

#define xcb_change_property_checked pelmode::x11::X().change_property_checked
#define xcb_connect pelmode::x11::X().connect
#define xcb_connection_has_error pelmode::x11::X().connection_has_error
#define xcb_disconnect pelmode::x11::X().disconnect
#define xcb_flush pelmode::x11::X().flush
#define xcb_get_extension_data pelmode::x11::X().get_extension_data
#define xcb_get_file_descriptor pelmode::x11::X().get_file_descriptor
#define xcb_get_geometry pelmode::x11::X().get_geometry
#define xcb_get_geometry_reply pelmode::x11::X().get_geometry_reply
#define xcb_get_input_focus pelmode::x11::X().get_input_focus
#define xcb_get_input_focus_reply pelmode::x11::X().get_input_focus_reply
#define xcb_get_property pelmode::x11::X().get_property
#define xcb_get_property_reply pelmode::x11::X().get_property_reply
#define xcb_get_property_value pelmode::x11::X().get_property_value
#define xcb_get_property_value_length pelmode::x11::X().get_property_value_length
#define xcb_get_setup pelmode::x11::X().get_setup
#define xcb_grab_server pelmode::x11::X().grab_server
#define xcb_intern_atom pelmode::x11::X().intern_atom
#define xcb_intern_atom_reply pelmode::x11::X().intern_atom_reply
#define xcb_no_operation_checked pelmode::x11::X().no_operation_checked
#define xcb_parse_display pelmode::x11::X().parse_display
#define xcb_poll_for_reply pelmode::x11::X().poll_for_reply
#define xcb_prefetch_extension_data pelmode::x11::X().prefetch_extension_data
#define xcb_request_check pelmode::x11::X().request_check
#define xcb_screen_next pelmode::x11::X().screen_next
#define xcb_setup_roots_iterator pelmode::x11::X().setup_roots_iterator
#define xcb_ungrab_server pelmode::x11::X().ungrab_server
#define xcb_randr_get_crtc_info pelmode::x11::X().randr_get_crtc_info
#define xcb_randr_get_crtc_info_outputs pelmode::x11::X().randr_get_crtc_info_outputs
#define xcb_randr_get_crtc_info_reply pelmode::x11::X().randr_get_crtc_info_reply
#define xcb_randr_get_output_info pelmode::x11::X().randr_get_output_info
#define xcb_randr_get_output_info_modes pelmode::x11::X().randr_get_output_info_modes
#define xcb_randr_get_output_info_name pelmode::x11::X().randr_get_output_info_name
#define xcb_randr_get_output_info_name_length pelmode::x11::X().randr_get_output_info_name_length
#define xcb_randr_get_output_info_reply pelmode::x11::X().randr_get_output_info_reply
#define xcb_randr_get_output_primary pelmode::x11::X().randr_get_output_primary
#define xcb_randr_get_output_primary_reply pelmode::x11::X().randr_get_output_primary_reply
#define xcb_randr_get_output_property pelmode::x11::X().randr_get_output_property
#define xcb_randr_get_output_property_reply pelmode::x11::X().randr_get_output_property_reply
#define xcb_randr_get_panning pelmode::x11::X().randr_get_panning
#define xcb_randr_get_panning_reply pelmode::x11::X().randr_get_panning_reply
#define xcb_randr_get_screen_resources_current pelmode::x11::X().randr_get_screen_resources_current
#define xcb_randr_get_screen_resources_current_crtcs pelmode::x11::X().randr_get_screen_resources_current_crtcs
#define xcb_randr_get_screen_resources_current_modes pelmode::x11::X().randr_get_screen_resources_current_modes
#define xcb_randr_get_screen_resources_current_outputs pelmode::x11::X().randr_get_screen_resources_current_outputs
#define xcb_randr_get_screen_resources_current_reply pelmode::x11::X().randr_get_screen_resources_current_reply
#define xcb_randr_get_screen_size_range pelmode::x11::X().randr_get_screen_size_range
#define xcb_randr_get_screen_size_range_reply pelmode::x11::X().randr_get_screen_size_range_reply
#define xcb_randr_query_version pelmode::x11::X().randr_query_version
#define xcb_randr_query_version_reply pelmode::x11::X().randr_query_version_reply
#define xcb_randr_set_crtc_config pelmode::x11::X().randr_set_crtc_config
#define xcb_randr_set_crtc_config_reply pelmode::x11::X().randr_set_crtc_config_reply
#define xcb_randr_set_panning pelmode::x11::X().randr_set_panning
#define xcb_randr_set_panning_reply pelmode::x11::X().randr_set_panning_reply
#define xcb_randr_set_screen_size_checked pelmode::x11::X().randr_set_screen_size_checked
#define xcb_randr_id (*pelmode::x11::X().randr_id)
