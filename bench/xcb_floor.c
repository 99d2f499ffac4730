/* The floor bench/x11_cost.sh measures the saver against: a bare xcb client
 * that wakes at a fixed rate and puts one small box into a full-screen window,
 * with no toolkit, no event loop and no painting, about what the saver sends
 * on a walking tick. Whatever this costs the program and the X server is the
 * price of a wake-up and a request on the machine, which no saver can go under.
 *
 * usage: xcb_floor TICKS_PER_SECOND
 */
#define _POSIX_C_SOURCE 200809L
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <xcb/xcb.h>

enum { kBoxWidth = 40, kBoxHeight = 22, kStepPixels = 5, kLaneY = 400 };

int main(int argc, char** argv) {
  const long rate = argc > 1 ? strtol(argv[1], NULL, 10) : 10;
  if (rate < 1 || rate > 1000) {
    fprintf(stderr, "usage: xcb_floor TICKS_PER_SECOND (1 to 1000)\n");
    return 2;
  }
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) {
    fprintf(stderr, "xcb_floor: cannot connect to the X server\n");
    return 1;
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const xcb_window_t window = xcb_generate_id(c);
  const uint32_t attributes[] = {screen->black_pixel, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, screen->width_in_pixels,
                    screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, attributes);
  xcb_map_window(c, window);
  const xcb_gcontext_t gc = xcb_generate_id(c);
  const uint32_t values[] = {screen->black_pixel, 0};
  xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
  xcb_flush(c);

  static uint32_t pixels[kBoxWidth * kBoxHeight];
  const long period_ns = 1000000000L / rate;
  struct timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (uint32_t step = 0;; ++step) {
    next.tv_nsec += period_ns;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      next.tv_sec++;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
    for (int i = 0; i < kBoxWidth * kBoxHeight; ++i) pixels[i] = (uint32_t)(i + step) * 2654435761u;
    const int x = (int)(step * kStepPixels % (uint32_t)(screen->width_in_pixels - kBoxWidth));
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, kBoxWidth, kBoxHeight, (int16_t)x, kLaneY, 0,
                  screen->root_depth, sizeof pixels, (const uint8_t*)pixels);
    xcb_flush(c);
    xcb_generic_event_t* event;
    while ((event = xcb_poll_for_event(c))) free(event);
    if (xcb_connection_has_error(c)) return 0;
  }
}
