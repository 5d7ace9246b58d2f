// Dialogs and programs of group 7: the beep, message boxes and launching a command line.
#include "host/host_services.h"
#include "host/system_services.h"
#include "io/sandbox.h"
#include "platform/platform.h"
#include "services/guest.h"
#include "services/status.h"
#include "text/windows1252.h"

namespace velmora {

namespace {

// The tones a platform beep can sound; others sound nothing and do not wait.
constexpr uint32_t kLowestTone = 37, kHighestTone = 32767;

std::string GuestText(uint32_t pointer_address) {
  return Windows1252ToUtf8(GuestString(GuestWord(pointer_address)));
}

// 7.26: returns when the tone has ended.
void Beep() {
  const uint32_t frequency = GuestWord(kArgumentAddress);
  const uint32_t duration = GuestWord(kArgumentAddress + 2);
  if (frequency >= kLowestTone && frequency <= kHighestTone) PlatformBeep(frequency, duration);
}

// 7.65: buttons by B(0x64); the answer at 0x60 as OK 1, Cancel 2, Yes 3, No 4, or 0 with status
// 1 when the box gave none.
void MessageBox() {
  SetStatus(0);
  MessageButtons buttons = MessageButtons::kOk;
  switch (GuestByte(kArgumentAddress + 4)) {
    case 1:
      buttons = MessageButtons::kOkCancel;
      break;
    case 2:
      buttons = MessageButtons::kYesNo;
      break;
    case 3:
      buttons = MessageButtons::kYesNoCancel;
      break;
  }
  const std::string text = GuestText(kArgumentAddress);
  const std::string caption = GuestText(kArgumentAddress + 2);
  const MessageAnswer answer = PlatformMessageBox(text.c_str(), caption.c_str(), buttons);
  SetGuestByte(kArgumentAddress, uint8_t(answer));
  if (answer == MessageAnswer::kNone) SetStatus(1);
}

// 7.96: the donators box; nothing is written back.
void DonatorsBox() {
  PlatformMessageBox("Velmora developed by Quillbrook.\nThere are no donates yet!", "Donators",
                     MessageButtons::kOk);
}

// 7.104: HostError 0 on success, else the error value of a Windows program launch plus 1 (0 out
// of resources, 2 file not found, 3 path not found, 5 access denied, 11 bad format: a missing
// program gives 3). The show flag is B(0x61), the high byte of the command pointer. A sandboxed
// guest starts nothing: its launches are refused as access denied.
void Launch() {
  HostError = 0;
  const std::string command = GuestText(kArgumentAddress);
  const LaunchResult result =
      SandboxActive() ? LaunchResult::kAccessDenied
                      : PlatformLaunch(command.c_str(), GuestByte(kArgumentAddress + 1) != 0);
  switch (result) {
    case LaunchResult::kStarted:
      break;
    case LaunchResult::kNoResources:
      HostError = 0 + 1;
      break;
    case LaunchResult::kNotFound:
      HostError = 2 + 1;
      break;
    case LaunchResult::kPathNotFound:
      HostError = 3 + 1;
      break;
    case LaunchResult::kAccessDenied:
      HostError = 5 + 1;
      break;
    case LaunchResult::kBadFormat:
      HostError = 11 + 1;
      break;
  }
  ReportHostError();
}

const ServiceRow kDialogServices[] = {
    {7, 26, Beep, "beep"},
    {7, 65, MessageBox, "message box"},
    {7, 96, DonatorsBox, "donators box"},
    {7, 104, Launch, "run command"},
};

}  // namespace

std::span<const ServiceRow> DialogServiceRows() {
  return kDialogServices;
}

}  // namespace velmora
