// The SDL backend's message boxes, beep and program launch.
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/system_launch.h"

namespace velmora {

namespace {

constexpr int kToneRate = 48000;
constexpr int16_t kToneAmplitude = 4000;  // an eighth of full scale: a beep, not a blast
constexpr uint32_t kWaitSlice = 10;

// The audio device, opened at the first beep; 0 when there is none.
SDL_AudioDeviceID ToneDevice = 0;
int ToneRate = kToneRate;
bool ToneDeviceTried = false;

void OpenToneDevice() {
  ToneDeviceTried = true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
  SDL_AudioSpec wanted = {};
  SDL_AudioSpec obtained = {};
  wanted.freq = kToneRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 1;
  wanted.samples = 1024;
  ToneDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (ToneDevice != 0) ToneRate = obtained.freq;
}

}  // namespace

MessageAnswer PlatformMessageBox(const char* text, const char* caption, MessageButtons buttons) {
  if (Sdl.window == nullptr) return MessageAnswer::kNone;
  struct Button {
    MessageAnswer answer;
    const char* label;
  };
  static constexpr Button kOk = {MessageAnswer::kOk, "OK"};
  static constexpr Button kCancel = {MessageAnswer::kCancel, "Cancel"};
  static constexpr Button kYes = {MessageAnswer::kYes, "Yes"};
  static constexpr Button kNo = {MessageAnswer::kNo, "No"};
  std::vector<Button> set;
  switch (buttons) {
    case MessageButtons::kOk:
      set = {kOk};
      break;
    case MessageButtons::kOkCancel:
      set = {kOk, kCancel};
      break;
    case MessageButtons::kYesNo:
      set = {kYes, kNo};
      break;
    case MessageButtons::kYesNoCancel:
      set = {kYes, kNo, kCancel};
      break;
  }
  // Enter chooses the first button; Esc chooses Cancel, or OK where OK is all there is.
  std::vector<SDL_MessageBoxButtonData> data;
  for (size_t i = 0; i < set.size(); ++i) {
    Uint32 flags = 0;
    if (i == 0) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (set[i].answer == MessageAnswer::kCancel || buttons == MessageButtons::kOk) {
      flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
    data.push_back({flags, int(set[i].answer), set[i].label});
  }
  const SDL_MessageBoxData box = {
      SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
      Sdl.window,
      caption,
      text,
      int(data.size()),
      data.data(),
      nullptr,
  };
  int chosen = -1;
  const bool shown = SDL_ShowMessageBox(&box, &chosen) == 0;
  // What the user did to the window meanwhile went to a disabled window.
  DropInputOfDisabledWindow();
  if (!shown) return MessageAnswer::kNone;
  for (const Button& button : set) {
    if (int(button.answer) == chosen) return button.answer;
  }
  return MessageAnswer::kNone;
}

void PlatformBeep(uint32_t frequency, uint32_t duration) {
  if (!ToneDeviceTried) OpenToneDevice();
  if (ToneDevice != 0 && frequency > 0) {
    // A square wave: the sign flips every half period.
    std::vector<int16_t> samples(size_t(uint64_t(ToneRate) * duration / 1000));
    for (size_t i = 0; i < samples.size(); ++i) {
      const uint64_t half_periods = uint64_t(i) * 2 * frequency / uint64_t(ToneRate);
      samples[i] = (half_periods & 1) != 0 ? int16_t(-kToneAmplitude) : kToneAmplitude;
    }
    SDL_QueueAudio(ToneDevice, samples.data(), Uint32(samples.size() * sizeof(int16_t)));
    SDL_PauseAudioDevice(ToneDevice, 0);
  }
  // The tone's duration, also without a device; Ctrl-C cuts it short.
  const uint64_t end = SDL_GetTicks64() + duration;
  while (SdlInterrupted == 0) {
    const uint64_t now = SDL_GetTicks64();
    if (now >= end) break;
    SDL_Delay(Uint32(end - now < kWaitSlice ? end - now : kWaitSlice));
  }
  if (ToneDevice != 0) {
    SDL_ClearQueuedAudio(ToneDevice);
    SDL_PauseAudioDevice(ToneDevice, 1);
  }
}

LaunchResult PlatformLaunch(const char* command_line, bool show) {
  return SystemLaunch(command_line, show);
}

}  // namespace velmora
