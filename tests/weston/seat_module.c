/* A test-only weston module: weston's headless backend has no input, so this
 * adds a seat with a pointer and a keyboard and plays what the tests write to
 * the FIFO named by RAYS_WESTON_INPUT, one command a line:
 *   click X Y left|right|middle|side   move to (X, Y), press and release
 *   shift down|up                      hold or let go of the left shift key
 *   error TEXT                         a protocol error with TEXT for the
 *                                      surface under the pointer
 * Load it with weston --modules=/path/to/rays-test-seat.so. */
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <libweston/libweston.h>

/* libweston exports what a backend needs to make a seat and feed it input,
 * but declares it only in its private backend header, which no package
 * installs. These are its declarations in the three shapes libweston 10 to
 * 16 gave them; CMake picks the shape by what the public header declares
 * (RAYS_WESTON_INPUT_EVENTS: input event structs, as in 16; RAYS_WESTON_COORDS:
 * coordinate types, as in 14; neither: as in 10) and checks that the library
 * found exports every function named here. */
void weston_seat_init(struct weston_seat *seat, struct weston_compositor *ec, const char *seat_name);
void weston_seat_release(struct weston_seat *seat);
void weston_seat_init_pointer(struct weston_seat *seat);
int weston_seat_init_keyboard(struct weston_seat *seat, struct xkb_keymap *keymap);
void notify_pointer_frame(struct weston_seat *seat);
#if defined(RAYS_WESTON_INPUT_EVENTS)
void notify_motion(const struct weston_pointer_motion_event *event);
void notify_button(const struct weston_pointer_button_event *event);
void notify_key(const struct weston_key_event *event);
#else
void notify_button(struct weston_seat *seat, const struct timespec *time, int32_t button,
		   enum wl_pointer_button_state state);
void notify_key(struct weston_seat *seat, const struct timespec *time, uint32_t key,
		enum wl_keyboard_key_state state, enum weston_key_state_update update_state);
#if defined(RAYS_WESTON_COORDS)
void notify_motion_absolute(struct weston_seat *seat, const struct timespec *time, struct weston_coord_global pos);
#else
void notify_motion_absolute(struct weston_seat *seat, const struct timespec *time, double x, double y);
#endif
#endif

static void move_to(struct weston_seat *seat, double x, double y)
{
	struct timespec now;

	weston_compositor_get_time(&now);
#if defined(RAYS_WESTON_INPUT_EVENTS)
	struct weston_pointer_motion_event event;
	struct weston_coord_global pos = {.c = {.x = x, .y = y}};

	weston_pointer_motion_event_init(&event, &now, seat, WESTON_POINTER_MOTION_ABS, &pos, NULL, NULL);
	notify_motion(&event);
#elif defined(RAYS_WESTON_COORDS)
	notify_motion_absolute(seat, &now, (struct weston_coord_global){.c = {.x = x, .y = y}});
#else
	notify_motion_absolute(seat, &now, x, y);
#endif
	notify_pointer_frame(seat);
}

static void press(struct weston_seat *seat, uint32_t button, enum wl_pointer_button_state state)
{
	struct timespec now;

	weston_compositor_get_time(&now);
#if defined(RAYS_WESTON_INPUT_EVENTS)
	struct weston_pointer_button_event event;

	weston_pointer_button_event_init(&event, &now, seat, button, state);
	notify_button(&event);
#else
	notify_button(seat, &now, (int32_t)button, state);
#endif
	notify_pointer_frame(seat);
}

static void key(struct weston_seat *seat, uint32_t code, enum wl_keyboard_key_state state)
{
	struct timespec now;

	weston_compositor_get_time(&now);
#if defined(RAYS_WESTON_INPUT_EVENTS)
	struct weston_key_event event;

	weston_key_event_init(&event, &now, seat, code, state, STATE_UPDATE_AUTOMATIC);
	notify_key(&event);
#else
	notify_key(seat, &now, code, state, STATE_UPDATE_AUTOMATIC);
#endif
}

struct test_seat {
	struct weston_seat seat;
	struct wl_event_source *source;
	struct wl_listener destroy_listener;
	int fd;
};

static void play(struct test_seat *ts, const char *command)
{
	static const char *const names[] = {"left", "right", "middle", "side"};
	static const uint32_t buttons[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE};
	double x, y;
	char what[16];

	if (sscanf(command, "click %lf %lf %15s", &x, &y, what) == 3) {
		/* Arriving, then moving a pixel, as a hand does: a surface the
		 * pointer enters gets a motion event as well, which is what
		 * libdecor's GTK plugin reads the button under it from. */
		move_to(&ts->seat, x - 1, y);
		move_to(&ts->seat, x, y);
		for (int i = 0; i < 4; ++i)
			if (strcmp(what, names[i]) == 0) {
				press(&ts->seat, buttons[i], WL_POINTER_BUTTON_STATE_PRESSED);
				press(&ts->seat, buttons[i], WL_POINTER_BUTTON_STATE_RELEASED);
			}
	} else if (sscanf(command, "shift %15s", what) == 1 && ts->seat.keyboard_state) {
		key(&ts->seat, KEY_LEFTSHIFT,
		    strcmp(what, "down") == 0 ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
	} else if (strncmp(command, "error ", 6) == 0) {
		struct weston_pointer *pointer = weston_seat_get_pointer(&ts->seat);

		if (pointer && pointer->focus)
			wl_resource_post_error(pointer->focus->surface->resource, WL_SURFACE_ERROR_INVALID_SIZE,
					       "%s", command + 6);
	} else {
		weston_log("rays-test-seat: unknown command '%s'\n", command);
	}
}

static int readable(int fd, uint32_t mask, void *data)
{
	/* A test writes each command whole, in one write of less than
	 * PIPE_BUF: it arrives whole. */
	char text[512], *save = NULL;
	ssize_t n = read(fd, text, sizeof text - 1);

	(void)mask;
	text[n > 0 ? n : 0] = '\0';
	for (char *line = strtok_r(text, "\n", &save); line; line = strtok_r(NULL, "\n", &save))
		play(data, line);
	return 0;
}

static void compositor_destroyed(struct wl_listener *listener, void *data)
{
	struct test_seat *ts = wl_container_of(listener, ts, destroy_listener);

	(void)data;
	wl_event_source_remove(ts->source);
	close(ts->fd);
	weston_seat_release(&ts->seat);
	free(ts);
}

WL_EXPORT int wet_module_init(struct weston_compositor *compositor, int *argc, char *argv[])
{
	const char *path = getenv("RAYS_WESTON_INPUT");
	struct test_seat *ts = calloc(1, sizeof *ts);

	(void)argc;
	(void)argv;
	/* Open for writing too: the FIFO never reads as ended when a test's
	 * writer closes it. */
	if (!ts || !path || (ts->fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0) {
		weston_log("rays-test-seat: no FIFO to read (RAYS_WESTON_INPUT)\n");
		free(ts);
		return -1;
	}
	weston_seat_init(&ts->seat, compositor, "rays-test");
	weston_seat_init_pointer(&ts->seat);
	if (weston_seat_init_keyboard(&ts->seat, NULL) < 0)
		weston_log("rays-test-seat: no keyboard\n");
	ts->source = wl_event_loop_add_fd(wl_display_get_event_loop(compositor->wl_display), ts->fd,
					  WL_EVENT_READABLE, readable, ts);
	weston_compositor_add_destroy_listener_once(compositor, &ts->destroy_listener, compositor_destroyed);
	return 0;
}
