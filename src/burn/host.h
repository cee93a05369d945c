// What the burn sequence needs of the program around it: the window, the
// console front end and the tests each supply one.
#pragma once

#include <string>

#include "port/link.h"
#include "state/image.h"

namespace plc {

enum class BoxIcon { kError, kInformation, kWarning };

// How a run ends: the update was written, it failed after the link was
// opened (or could not open it), or the image was refused before that;
// kReady: a dry run (checkOnly) found that the update would go ahead.
enum class BurnOutcome { kSuccess, kFailed, kRefused, kReady };

class Host {
 public:
  Host() = default;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  virtual ~Host() = default;

  // Shows a message box owned by the main window and blocks the burn thread
  // until the user acknowledges it.
  virtual void ShowMessage(const char* text, const char* caption, BoxIcon icon) = 0;
  // The run's end is decided: the next box is its last.  Every other box is
  // a prompt that the run goes on after.
  virtual void RunEnds(BurnOutcome outcome) { (void)outcome; }
  virtual void EnableStartButton(bool enabled) = 0;
  // Stops the elapsed-seconds timer.
  virtual void KillElapsedTimer() = 0;
  // Blocks the burn thread for whole seconds.
  virtual void PauseSeconds(int seconds) = 0;
  // Opens the COM port the run names, exactly as named (a name or a path).
  // The run's port is the only place a port name is kept: the reopen after
  // a power cycle asks again with it.
  virtual LinkHandle OpenComLink(const std::string& portName) = 0;
  // Opens the USB models' link: the device path the run names, or for an
  // empty name or "USB" the PLC's USB device that a search finds.
  virtual LinkHandle OpenUsbLink(const std::string& location) = 0;
  // The image of this run.
  virtual FirmwareImage LoadFirmwareImage() { return EmbeddedFirmwareImage(); }
};

}  // namespace plc
