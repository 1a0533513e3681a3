/* The least any client must do to change the first CRTC's mode: connect,
 * read the resources and that CRTC, set the screen and the CRTC. bench/run
 * measures Pelmode against it as the floor. Usage: floor WIDTH HEIGHT */
#include <stdio.h>
#include <stdlib.h>
#include <xcb/randr.h>

static int set_screen(xcb_connection_t *c, xcb_screen_t *s, unsigned w, unsigned h) {
  /* The same dots per inch as now. */
  unsigned mm_w = s->width_in_millimeters * w / s->width_in_pixels;
  unsigned mm_h = s->height_in_millimeters * h / s->height_in_pixels;
  xcb_generic_error_t *e = xcb_request_check(
      c, xcb_randr_set_screen_size_checked(c, s->root, w, h, mm_w, mm_h));
  free(e);
  return e == NULL;
}

int main(int argc, char **argv) {
  if (argc != 3) return 2;
  unsigned w = (unsigned)atoi(argv[1]), h = (unsigned)atoi(argv[2]);
  xcb_connection_t *c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  xcb_screen_t *s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_randr_get_screen_resources_current_reply_t *res = xcb_randr_get_screen_resources_current_reply(
      c, xcb_randr_get_screen_resources_current(c, s->root), NULL);
  if (res == NULL || res->num_crtcs == 0) return 1;
  xcb_randr_crtc_t crtc = xcb_randr_get_screen_resources_current_crtcs(res)[0];
  xcb_randr_get_crtc_info_reply_t *info = xcb_randr_get_crtc_info_reply(
      c, xcb_randr_get_crtc_info(c, crtc, res->config_timestamp), NULL);
  xcb_randr_mode_info_t *modes = xcb_randr_get_screen_resources_current_modes(res);
  int mode = -1;
  for (int i = 0; i < res->num_modes && mode < 0; ++i) {
    if (modes[i].width == w && modes[i].height == h) mode = i;
  }
  if (info == NULL || mode < 0) return 1;
  unsigned cover_w = w > s->width_in_pixels ? w : s->width_in_pixels;
  unsigned cover_h = h > s->height_in_pixels ? h : s->height_in_pixels;
  int ok = set_screen(c, s, cover_w, cover_h);
  xcb_randr_set_crtc_config_reply_t *set = xcb_randr_set_crtc_config_reply(
      c, xcb_randr_set_crtc_config(c, crtc, XCB_CURRENT_TIME, res->config_timestamp, 0, 0,
                                   modes[mode].id, info->rotation, info->num_outputs,
                                   xcb_randr_get_crtc_info_outputs(info)),
      NULL);
  ok = ok && set != NULL && set->status == XCB_RANDR_SET_CONFIG_SUCCESS;
  if (ok && (cover_w != w || cover_h != h)) ok = set_screen(c, s, w, h);
  free(set);
  free(info);
  free(res);
  xcb_disconnect(c);
  return ok ? 0 : 1;
}
