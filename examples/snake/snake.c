/* Snake: steer with the arrow keys, eat the red apples, do not bite yourself or the wall.
 * Hold Shift to race, press Space (or click) to pause, Esc to give up; after a game over, click
 * or press Enter to play again. Shows the keyboard (7.32 pressed, 7.71 down, 7.72 released),
 * the mouse, a timer, text, the title and the beep working together.
 *
 *   build/velmora build/examples/snake/snake.hex             a window to play in
 *   build/velmora-run --key right@300 --key down@700 --close 2000 --screenshot snake.png \
 *       build/examples/snake/snake.hex                       headless, with scripted keys
 *
 * The state a test looks at lies at 0x1F0: head x, head y, length, score (16 bits), state,
 * apple x, apple y. */
#include "velmora.h"

#define CELL 10
#define COLUMNS 32
#define ROWS 18
#define TOP 20 /* the score line above the board */
#define WIDTH (COLUMNS * CELL)
#define HEIGHT (TOP + ROWS * CELL)
#define STEP_MS 120
#define MAX_LENGTH 128

enum { PLAYING = 0, PAUSED = 1, OVER = 2 };

#define head_x (*(volatile uint8_t*)0x1F0)
#define head_y (*(volatile uint8_t*)0x1F1)
#define length (*(volatile uint8_t*)0x1F2)
#define score (*(volatile uint16_t*)0x1F3)
#define state (*(volatile uint8_t*)0x1F5)

static uint8_t body_x[MAX_LENGTH], body_y[MAX_LENGTH]; /* [0] is the head */
static int8_t dx, dy, next_dx, next_dy;
#define apple_x (*(volatile uint8_t*)0x1F6)
#define apple_y (*(volatile uint8_t*)0x1F7)
static volatile uint8_t ticks, quit;
static char text[48];

static void cell(uint8_t x, uint8_t y, uint32_t colour) {
  vm_set_fill_colour(colour);
  vm_fill_rect(x * CELL + 1, TOP + y * CELL + 1, x * CELL + CELL - 2, TOP + y * CELL + CELL - 2);
}

static void clear_cell(uint8_t x, uint8_t y) {
  vm_set_fill_rgb(12, 20, 28);
  vm_fill_rect(x * CELL, TOP + y * CELL, x * CELL + CELL - 1, TOP + y * CELL + CELL - 1);
}

static uint8_t on_snake(uint8_t x, uint8_t y) {
  for (uint8_t i = 0; i < length; ++i)
    if (body_x[i] == x && body_y[i] == y) return 1;
  return 0;
}

static void place_apple(void) {
  do {
    apple_x = vm_random8() % COLUMNS;
    apple_y = vm_random8() % ROWS;
  } while (on_snake(apple_x, apple_y));
  cell(apple_x, apple_y, VM_RGB(220, 40, 40));
}

static void show_score(void) {
  vm_set_fill_rgb(30, 40, 60);
  vm_fill_rect(0, 0, WIDTH - 1, TOP - 1);
  text[0] = 0;
  vm_str_append(text, "Score ");
  vm_str_append_u16(text, 0, score);
  vm_str_append(text, state == PAUSED ? "   paused" : "   Shift races, Space pauses");
  vm_set_text_rgb(230, 230, 230);
  vm_builtin_font(1, 1);
  vm_draw_text(4, 6, text);
  text[0] = 0;
  vm_str_append(text, "Snake - score ");
  vm_str_append_u16(text, 0, score);
  vm_set_title(text);
}

static void new_game(void) {
  vm_set_fill_rgb(12, 20, 28);
  vm_fill_rect(0, TOP, WIDTH - 1, HEIGHT - 1);
  length = 3;
  for (uint8_t i = 0; i < length; ++i) {
    body_x[i] = 10 - i;
    body_y[i] = ROWS / 2;
    cell(body_x[i], body_y[i], VM_RGB(60, 200, 90));
  }
  head_x = body_x[0];
  head_y = body_y[0];
  dx = next_dx = 1;
  dy = next_dy = 0;
  score = 0;
  state = PLAYING;
  place_apple();
  show_score();
  vm_repaint();
}

static void game_over(void) {
  state = OVER;
  vm_beep(180, 200);
  vm_set_text_rgb(255, 220, 80);
  vm_draw_centred_text(0, WIDTH, TOP + 60, "GAME OVER");
  vm_draw_centred_text(0, WIDTH, TOP + 80, "click or press Enter to play again");
  vm_repaint();
}

static void step(void) {
  /* A turn back onto itself is ignored. */
  if (next_dx != -dx || next_dy != -dy) {
    dx = next_dx;
    dy = next_dy;
  }
  const int8_t x = (int8_t)body_x[0] + dx;
  const int8_t y = (int8_t)body_y[0] + dy;
  const uint8_t eats = x == apple_x && y == apple_y;
  /* The tail moves away in this step unless the snake grows, so it may be entered. */
  const uint8_t tail_x = body_x[length - 1], tail_y = body_y[length - 1];
  if (x < 0 || x >= COLUMNS || y < 0 || y >= ROWS ||
      (on_snake(x, y) && !(x == tail_x && y == tail_y && !eats))) {
    game_over();
    return;
  }
  if (eats && length < MAX_LENGTH) ++length;
  if (!eats) clear_cell(tail_x, tail_y);
  for (uint8_t i = length - 1; i > 0; --i) {
    body_x[i] = body_x[i - 1];
    body_y[i] = body_y[i - 1];
  }
  body_x[0] = head_x = x;
  body_y[0] = head_y = y;
  cell(x, y, VM_RGB(60, 200, 90));
  if (eats) {
    score += 10;
    vm_beep(880, 30);
    place_apple();
    show_score();
  }
  vm_repaint();
}

static void on_timer(void) {
  ++ticks;
}

static void on_click(void) {
  if (state == OVER) {
    new_game();
  } else {
    state = state == PAUSED ? PLAYING : PAUSED;
    show_score();
    vm_repaint();
  }
}

static void on_close(void) {
  quit = 1;
}

static void steer(uint8_t key, int8_t x, int8_t y) {
  if (vm_key_pressed(key)) {
    next_dx = x;
    next_dy = y;
  }
}

int main(void) {
  vm_create_layer(1, WIDTH, HEIGHT);
  vm_select_layer(1);
  vm_set_screen_size(WIDTH, HEIGHT);
  new_game();

  vm_set_event_handler(VM_EVENT_TIMER0, VM_HANDLER_ADDRESS(on_timer));
  vm_set_event_handler(VM_EVENT_BUTTON_DOWN, VM_HANDLER_ADDRESS(on_click));
  vm_set_event_handler(VM_EVENT_CLOSE, VM_HANDLER_ADDRESS(on_close));
  vm_set_timer(0, STEP_MS / 2);
  vm_keep_open_on_close(1);
  vm_events_on();
  vm_sei();

  while (!quit) {
    if (vm_wdr()) {
      uint8_t more;
      do {
        more = vm_fetch_event();
        vm_call_event_handler();
      } while (more);
    }
    steer(VM_KEY_LEFT, -1, 0);
    steer(VM_KEY_RIGHT, 1, 0);
    steer(VM_KEY_UP, 0, -1);
    steer(VM_KEY_DOWN, 0, 1);
    if (vm_key_pressed(VM_KEY_ESCAPE) && state != OVER) game_over();
    if (vm_key_released(VM_KEY_SPACE) && state != OVER) on_click();
    if (vm_key_pressed(VM_KEY_ENTER) && state == OVER) new_game();
    /* The timer ticks at twice the pace; without Shift every second tick is a step. */
    if (ticks >= 2 || (ticks >= 1 && vm_key_down(VM_KEY_SHIFT))) {
      ticks = 0;
      if (state == PLAYING) step();
    }
  }
  vm_exit();
  return 0;
}
