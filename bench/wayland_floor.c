/* The floor bench/wayland_cost.sh measures the saver against: a bare Wayland
 * client with no toolkit. A full-screen xdg toplevel with two wl_shm buffers;
 * at a fixed rate it moves one 20 x 40 box, writing only the old and the new
 * box into whichever buffer the compositor has released, damages only those
 * two boxes and commits. No client can do a walking tick's work for less: what
 * this costs the program and the compositor is the price of a wake-up, a
 * commit and a composite on the machine.
 *
 * usage: wayland_floor TICKS_PER_SECOND
 * Built with the xdg-shell client code wayland-scanner makes (the script does).
 */
#define _GNU_SOURCE
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "xdg-shell-client-protocol.h"

enum { kBoxWidth = 20, kBoxHeight = 40, kStepPixels = 5, kLaneY = 400, kBuffers = 2 };

struct buffer {
  struct wl_buffer* buffer;
  uint32_t* pixels;
  int busy;
  /* Where the box was when this buffer last showed it; -1: never. */
  int box_x;
};

struct floor_client {
  struct wl_compositor* compositor;
  struct wl_shm* shm;
  struct xdg_wm_base* wm_base;
  int width, height;
  /* The output's mode: a compositor may leave the first configure's size to
   * the client. */
  int output_width, output_height;
  int configured;
  int closed;
};

static void output_geometry(void* data, struct wl_output* output, int32_t x, int32_t y,
                            int32_t mm_width, int32_t mm_height, int32_t subpixel, const char* make,
                            const char* model, int32_t transform) {
  (void)data, (void)output, (void)x, (void)y, (void)mm_width, (void)mm_height, (void)subpixel,
      (void)make, (void)model, (void)transform;
}
static void output_mode(void* data, struct wl_output* output, uint32_t flags, int32_t width,
                        int32_t height, int32_t refresh) {
  struct floor_client* c = data;
  (void)output, (void)refresh;
  if (flags & WL_OUTPUT_MODE_CURRENT) {
    c->output_width = width;
    c->output_height = height;
  }
}
static const struct wl_output_listener output_listener = {.geometry = output_geometry,
                                                          .mode = output_mode};

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
  struct floor_client* c = data;
  (void)version;
  if (strcmp(interface, wl_compositor_interface.name) == 0)
    c->compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 4);
  else if (strcmp(interface, wl_shm_interface.name) == 0)
    c->shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
  else if (strcmp(interface, xdg_wm_base_interface.name) == 0)
    c->wm_base = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
  else if (strcmp(interface, wl_output_interface.name) == 0 && c->output_width == 0)
    wl_output_add_listener(wl_registry_bind(registry, name, &wl_output_interface, 1),
                           &output_listener, c);
}
static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener registry_listener = {global, global_remove};

static void ping(void* data, struct xdg_wm_base* base, uint32_t serial) {
  (void)data;
  xdg_wm_base_pong(base, serial);
}
static const struct xdg_wm_base_listener wm_base_listener = {ping};

static void surface_configure(void* data, struct xdg_surface* surface, uint32_t serial) {
  ((struct floor_client*)data)->configured = 1;
  xdg_surface_ack_configure(surface, serial);
}
static const struct xdg_surface_listener surface_listener = {surface_configure};

static void toplevel_configure(void* data, struct xdg_toplevel* toplevel, int32_t width,
                               int32_t height, struct wl_array* states) {
  struct floor_client* c = data;
  (void)toplevel, (void)states;
  if (width > 0 && height > 0) {
    c->width = width;
    c->height = height;
  }
}
static void toplevel_close(void* data, struct xdg_toplevel* toplevel) {
  (void)toplevel;
  ((struct floor_client*)data)->closed = 1;
}
static const struct xdg_toplevel_listener toplevel_listener = {.configure = toplevel_configure,
                                                               .close = toplevel_close};

static void released(void* data, struct wl_buffer* buffer) {
  (void)buffer;
  ((struct buffer*)data)->busy = 0;
}
static const struct wl_buffer_listener buffer_listener = {released};

static void fill_box(struct buffer* b, int stride_pixels, int x, uint32_t color) {
  for (int y = kLaneY; y < kLaneY + kBoxHeight; ++y)
    for (int i = x; i < x + kBoxWidth; ++i) b->pixels[y * stride_pixels + i] = color;
}

int main(int argc, char** argv) {
  const long rate = argc > 1 ? strtol(argv[1], NULL, 10) : 10;
  if (rate < 1 || rate > 1000) {
    fprintf(stderr, "usage: wayland_floor TICKS_PER_SECOND (1 to 1000)\n");
    return 2;
  }
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "wayland_floor: cannot connect to the compositor\n");
    return 1;
  }
  struct floor_client c = {0};
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, &c);
  wl_display_roundtrip(display);
  wl_display_roundtrip(display);
  if (!c.compositor || !c.shm || !c.wm_base) {
    fprintf(stderr, "wayland_floor: the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
    return 1;
  }
  xdg_wm_base_add_listener(c.wm_base, &wm_base_listener, &c);
  struct wl_surface* surface = wl_compositor_create_surface(c.compositor);
  struct xdg_surface* xdg = xdg_wm_base_get_xdg_surface(c.wm_base, surface);
  xdg_surface_add_listener(xdg, &surface_listener, &c);
  struct xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdg);
  xdg_toplevel_add_listener(toplevel, &toplevel_listener, &c);
  xdg_toplevel_set_title(toplevel, "floor");
  xdg_toplevel_set_fullscreen(toplevel, NULL);
  wl_surface_commit(surface);
  while (!c.configured)
    if (wl_display_dispatch(display) < 0) return 1;
  if (c.width == 0) {
    c.width = c.output_width;
    c.height = c.output_height;
  }
  if (c.width <= kBoxWidth || c.height <= kLaneY + kBoxHeight) {
    fprintf(stderr, "wayland_floor: no usable size (%d x %d)\n", c.width, c.height);
    return 1;
  }

  const int stride = c.width * 4;
  const size_t bytes = (size_t)stride * (size_t)c.height;
  const int fd = memfd_create("wayland-floor", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, (off_t)(bytes * kBuffers)) != 0) return 1;
  uint8_t* memory = mmap(NULL, bytes * kBuffers, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) return 1;
  struct wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, (int32_t)(bytes * kBuffers));
  struct buffer buffers[kBuffers];
  for (int i = 0; i < kBuffers; ++i) {
    buffers[i].buffer = wl_shm_pool_create_buffer(pool, (int32_t)(bytes * (size_t)i), c.width,
                                                  c.height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_buffer_add_listener(buffers[i].buffer, &buffer_listener, &buffers[i]);
    buffers[i].pixels = (uint32_t*)(memory + bytes * (size_t)i);
    buffers[i].busy = 0;
    buffers[i].box_x = -1;
  }
  /* A new file reads as zeros: both buffers start black. */
  wl_surface_attach(surface, buffers[0].buffer, 0, 0);
  wl_surface_damage_buffer(surface, 0, 0, c.width, c.height);
  wl_surface_commit(surface);
  buffers[0].busy = 1;
  wl_display_flush(display);

  const long period_ns = 1000000000L / rate;
  struct timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  int shown_x = -1;
  for (uint32_t step = 0; !c.closed; ++step) {
    next.tv_nsec += period_ns;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      next.tv_sec++;
    }
    /* Sleeps until the tick, reading what the compositor sends meanwhile
     * (the buffer releases). */
    for (;;) {
      struct timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      const long wait_ms =
          (next.tv_sec - now.tv_sec) * 1000 + (next.tv_nsec - now.tv_nsec) / 1000000;
      if (wait_ms <= 0) break;
      while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
      wl_display_flush(display);
      struct pollfd p = {wl_display_get_fd(display), POLLIN, 0};
      if (poll(&p, 1, (int)wait_ms) > 0) {
        if (wl_display_read_events(display) < 0) return 0;
      } else {
        wl_display_cancel_read(display);
      }
      if (wl_display_dispatch_pending(display) < 0) return 0;
    }
    struct buffer* b = NULL;
    for (int i = 0; i < kBuffers; ++i)
      if (!buffers[i].busy) b = &buffers[i];
    if (!b) continue;
    const int x = (int)(step * kStepPixels % (uint32_t)(c.width - kBoxWidth));
    /* The old box of this buffer and of the screen go black, the new box is drawn. */
    if (b->box_x >= 0) fill_box(b, c.width, b->box_x, 0);
    if (shown_x >= 0) fill_box(b, c.width, shown_x, 0);
    fill_box(b, c.width, x, 0x00ffffffu ^ step);
    wl_surface_attach(surface, b->buffer, 0, 0);
    if (b->box_x >= 0) wl_surface_damage_buffer(surface, b->box_x, kLaneY, kBoxWidth, kBoxHeight);
    if (shown_x >= 0) wl_surface_damage_buffer(surface, shown_x, kLaneY, kBoxWidth, kBoxHeight);
    wl_surface_damage_buffer(surface, x, kLaneY, kBoxWidth, kBoxHeight);
    wl_surface_commit(surface);
    wl_display_flush(display);
    b->busy = 1;
    b->box_x = x;
    shown_x = x;
  }
  return 0;
}
