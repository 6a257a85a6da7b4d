// The fixed times of the program in one record, so tests can shorten them.
#pragma once

namespace ui {

struct Timing {
  // Batch driver: pause before a row's encoder starts, grace time after, poll period.
  int convert_prepare_ms = 2000;
  int convert_grace_ms = 3000;
  int convert_poll_ms = 100;
  // Runner: pause after each relayed console text.
  int relay_pause_ms = 500;
  // Stopping an encoder: pause between looks, SIGKILL after, give up after (a
  // process that outlives SIGKILL by two seconds is stuck in the kernel).
  int stop_retry_ms = 100;
  int stop_kill_after_ms = 2000;
  int stop_give_up_ms = 4000;
  // Progress window spinner.
  int spinner_ms = 500;
  // Busy window: first add after, spinner period.
  int busy_start_ms = 300;
  int busy_spinner_ms = 1000;
  // Splash: initialisation after, tick period, ticks to stay.
  int splash_init_ms = 250;
  int splash_tick_ms = 1000;
  int splash_min_ticks = 2;
  // Trim marker repaint, memory trim, playback clock.
  int marker_paint_ms = 10;
  int memory_trim_ms = 1000;
  int playback_clock_ms = 1000;
  // Preview: pause after starting playback before seeking.
  int preview_start_ms = 10;
  // Video window: the pointer over a showing video hides after this long without a move.
  int pointer_hide_ms = 3000;
};

}  // namespace ui
