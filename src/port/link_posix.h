// The POSIX link: a serial tty (or the tty interface of the USB device) as a
// Link, with the time-out semantics of a COM port.  Only termios, flock and
// poll: where the devices are found, how a run holds them and who has a busy
// one open is the platform's business (sysfs_linux.h), handed to the open.
//
// The pieces that do not need a device (path resolution, the termios record
// built for a set of line settings) are exposed so that the tests can check
// them on their own.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/link.h"
#include "port/refusal.h"

namespace plc {

class PosixLink : public Link {
 public:
  // Takes over an open descriptor and the line settings it had before the
  // open changed them, which the close puts back.  Every link holds the
  // flock, a COM link TIOCEXCL too (both given up before the close), and a
  // COM link drops DTR and RTS with its line settings; the USB device's link
  // keeps its modem lines as the open left them, since a CDC ACM device
  // takes DTR going down for the host going away.
  PosixLink(int fd, bool comPort, const termios& saved);
  ~PosixLink() override;

  uint32_t Write(const uint8_t* data, uint32_t count) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  void ApplyLineSettings(const LineSettings& settings) override;
  void ApplyTimeouts(const Timeouts& timeouts) override;

  int Descriptor() const { return fd_; }

 private:
  int fd_;
  bool comPort_;
  termios saved_;
  Timeouts timeouts_;
  // The driver said the device has left: every later read and write fails
  // at once, without touching the node, so that a burn whose cable was
  // pulled ends within its retry budget and sends nothing to whatever
  // appears under the node later.
  bool gone_ = false;
};

// The tty calls with which a link changes its port's settings and lets go of
// it, behind pointers so that a test can record them.  control is ioctl with
// an int argument (TIOCMBIC, TIOCOUTQ); pause sleeps for milliseconds.
struct TtyCalls {
  int (*getAttr)(int fd, termios* t);
  int (*setAttr)(int fd, int when, const termios* t);
  int (*control)(int fd, unsigned long request, int* value);
  int (*flush)(int fd, int queue);
  void (*pause)(int ms);
};
extern TtyCalls ttyCalls;

// The way out of a refused permission, said after the system's reason.
// nodeGroup, the group that owns the node ("" when not known), tells whether
// the udev rule has given the PLC's tty away already.
std::string PermissionWayOut(bool comPort, const char* nodeGroup);

// "/dev/" + a listed name, or an absolute path as it is.  False when the
// text is empty or the result does not fit.
bool ResolvePortPath(const char* nameOrPath, char* out, size_t outSize);

// The termios record that line settings produce from the port's current one:
// speed, character size, parity and stop bits change, and software and
// hardware flow control go off (XON/XOFF would swallow the 0x11 and 0x13 of
// binary replies); nothing else changes.
termios LineTermios(const termios& current, const LineSettings& settings);

// What a tty's open asks of the platform beyond POSIX: the run-long hold of
// the device (false, with why, when it cannot be had), and the words for a
// tty that is in exclusive mode (EBUSY).
struct TtyPlatform {
  bool (*holdForTheRun)(const char* nodePath, bool comPort, Refusal* why);
  Refusal (*busyRefusal)(const char* path);
};

// Opens a tty for reading and writing, raw, with stale input discarded, as a
// serial port (comPort: exclusive, its modem lines dropped) or as the PLC's
// USB device; no link, and why, on any failure.
OpenedLink OpenTtyLink(const char* nameOrPath, bool comPort, const TtyPlatform& platform);

// printf into a path buffer; false when the result does not fit.
bool FormatPath(char* out, size_t outSize, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// For a process that is about to end in the middle of a run (Ctrl-C): every
// link still open gives up its exclusive hold, discards its unsent output and
// puts back the settings its port had, and the run's lock files go.  Waits
// for no lock, whatever the run's thread is doing.
void ReleaseHeldPorts();

}  // namespace plc
