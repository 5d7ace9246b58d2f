/* Message boxes, the beep, launching programs and the guest's clock, headless. The driver
 * answers the boxes (no, cancel, yes, none, ok; then nothing, so the first button), runs the
 * guest in a scratch directory and fixes the date at 2024-03-05 14:07:09.250. Every check is
 * recorded (checks.h); the driver reads the host log for texts and for what was launched. */
#include "../checks.h"
#include "velmora.h"

#define UNTOUCHED 0xA5
/* A caption that runs to the end of the data space without a terminator. */
#define LAST_BYTES 0xFFFA

static const char* const kCommands[] = {
    "touch \"launched file.txt\"",           /* quotes group a word */
    "touch x;touch y",                       /* no shell: three words, two files */
    "velmora-surely-missing-program --help", /* not found */
    "",                                      /* nothing to run */
};
static const uint8_t kCommandStatus[] = {0, 0, 3, 3};

static uint8_t box(const char* text, uint8_t buttons) {
  VM_STATUS = UNTOUCHED;
  return vm_message_box(text, "Velmora test", buttons);
}

int main(void) {
  /* Answers per button set, the scripted ones first. */
  CHECK(box("Save first?", VM_BUTTONS_YES_NO), VM_ANSWER_NO);
  CHECK_STATUS(0);
  CHECK(box("Go on?", VM_BUTTONS_OK_CANCEL), VM_ANSWER_CANCEL);
  CHECK_STATUS(0);
  CHECK(box("Quit?", VM_BUTTONS_YES_NO_CANCEL), VM_ANSWER_YES);
  CHECK_STATUS(0);
  CHECK(box("Closed unanswered", VM_BUTTONS_OK), 0);
  CHECK_STATUS(1);
  CHECK(box("OK is not offered", VM_BUTTONS_YES_NO), 0);
  CHECK_STATUS(1);
  CHECK(box("Any other set is OK alone", 7), VM_ANSWER_OK);
  CHECK_STATUS(0);
  CHECK(box("Line one\nLine two", VM_BUTTONS_YES_NO_CANCEL), VM_ANSWER_YES);
  VM_STATUS = UNTOUCHED;
  vm_donators_box();
  CHECK_STATUS(UNTOUCHED);
  for (uint8_t i = 0; i < 6; ++i) ((volatile char*)LAST_BYTES)[i] = (char)('A' + i);
  VM_ARG16(0) = (uint16_t) "bounded caption";
  VM_ARG16(2) = LAST_BYTES;
  VM_ARG8(4) = VM_BUTTONS_OK;
  vm_call(7, 65);
  CHECK(VM_ARG8(0), VM_ANSWER_OK);

  /* The beep takes its duration on the virtual clock; a tone no platform sounds takes none. */
  VM_STATUS = UNTOUCHED;
  uint32_t before = vm_ticks();
  vm_beep(440, 250);
  uint32_t after = vm_ticks();
  CHECK(after - before >= 250 && after - before <= 251, 1);
  before = vm_ticks();
  vm_beep(20, 300);
  after = vm_ticks();
  CHECK(after - before <= 1, 1);
  CHECK_STATUS(UNTOUCHED);

  /* Programs: started, or the status of a launch that found none. */
  for (uint8_t i = 0; i < sizeof kCommandStatus; ++i) {
    VM_STATUS = UNTOUCHED;
    CHECK(vm_run_command(kCommands[i]), kCommandStatus[i]);
  }
  /* A command below 0x100 runs hidden: the pointer's high byte is the show flag. */
  const char hidden[] = "touch hidden.txt";
  for (uint8_t i = 0; i < sizeof hidden; ++i) ((volatile char*)0xC0)[i] = hidden[i];
  CHECK(vm_run_command((const char*)0xC0), 0);

  /* The guest's clock: set, then read back; the host's own clock is left alone. */
  static const vm_time_record wanted = {2030, 1, 2, 0, 3, 4, 5, 6};
  static vm_time_record now;
  VM_STATUS = UNTOUCHED;
  vm_set_local_datetime(&wanted);
  vm_local_datetime(&now);
  CHECK(now.year | (uint32_t)now.month << 16 | (uint32_t)now.day << 24,
        2030 | 1UL << 16 | 2UL << 24);
  CHECK(now.weekday | (uint32_t)now.hour << 8 | (uint32_t)now.minute << 16 |
            (uint32_t)now.second << 24,
        0x05040303UL); /* a Wednesday, 03:04:05 */
  CHECK(now.millisecond >= 6 && now.millisecond <= 8, 1);
  /* UTC moves with it (the fixed test clock has no time zone). */
  vm_utc_datetime(&now);
  CHECK(now.year, 2030);
  CHECK(now.hour, 3);
  /* A record that names no day changes nothing. */
  static const vm_time_record impossible = {2031, 2, 30, 0, 0, 0, 0, 0};
  vm_set_local_datetime(&impossible);
  vm_local_date((vm_date*)&now);
  CHECK(now.year, 2030);
  CHECK_STATUS(UNTOUCHED);
  vm_exit();
  return 0;
}
