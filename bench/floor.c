/* The least a correct client must do to change the first CRTC's mode: read
 * the resources and that CRTC, then under a server grab send the screen
 * size, the CRTC change and the final screen size together and wait for the
 * one reply; errors of the requests before it are queued by then.
 * bench/run measures Pelmode against it as the floor.
 * Usage: floor WIDTH HEIGHT */
#include <stdio.h>
#include <stdlib.h>
#include <xcb/randr.h>

static unsigned max(unsigned a, unsigned b) { return a > b ? a : b; }

/* The same dots per inch as now. */
static void set_screen(xcb_connection_t *c, xcb_screen_t *s, unsigned w, unsigned h) {
  xcb_randr_set_screen_size(c, s->root, w, h, s->width_in_millimeters * w / s->width_in_pixels,
                            s->height_in_millimeters * h / s->height_in_pixels);
}

static int change(xcb_connection_t *c, xcb_screen_t *s, unsigned w, unsigned h) {
  xcb_randr_get_screen_resources_current_reply_t *res = xcb_randr_get_screen_resources_current_reply(
      c, xcb_randr_get_screen_resources_current(c, s->root), NULL);
  if (res == NULL || res->num_crtcs == 0) return 0;
  xcb_randr_crtc_t crtc = xcb_randr_get_screen_resources_current_crtcs(res)[0];
  xcb_randr_get_crtc_info_reply_t *info = xcb_randr_get_crtc_info_reply(
      c, xcb_randr_get_crtc_info(c, crtc, res->config_timestamp), NULL);
  xcb_randr_mode_info_t *modes = xcb_randr_get_screen_resources_current_modes(res);
  int mode = -1;
  for (int i = 0; i < res->num_modes && mode < 0; ++i) {
    if (modes[i].width == w && modes[i].height == h) mode = i;
  }
  if (info == NULL || mode < 0) return 0;
  xcb_grab_server(c);
  set_screen(c, s, max(w, s->width_in_pixels), max(h, s->height_in_pixels));
  xcb_randr_set_crtc_config_cookie_t set = xcb_randr_set_crtc_config(
      c, crtc, XCB_CURRENT_TIME, res->config_timestamp, 0, 0, modes[mode].id, info->rotation,
      info->num_outputs, xcb_randr_get_crtc_info_outputs(info));
  set_screen(c, s, w, h);
  xcb_ungrab_server(c);
  xcb_randr_set_crtc_config_reply_t *reply = xcb_randr_set_crtc_config_reply(c, set, NULL);
  int ok = reply != NULL && reply->status == XCB_RANDR_SET_CONFIG_SUCCESS;
  /* The screen sizes' errors, if any, came before the reply. */
  for (xcb_generic_event_t *e; (e = xcb_poll_for_queued_event(c)) != NULL; free(e)) {
    if (e->response_type == 0) ok = 0;
  }
  free(reply);
  free(info);
  free(res);
  return ok;
}

int main(int argc, char **argv) {
  if (argc != 3) return 2;
  xcb_connection_t *c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  xcb_screen_t *s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  int ok = change(c, s, (unsigned)atoi(argv[1]), (unsigned)atoi(argv[2]));
  xcb_disconnect(c);
  return ok ? 0 : 1;
}
