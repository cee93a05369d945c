// Why an open of a port (or of the PLC's USB device) gave no link, and the
// open's answer that carries either the link or that reason.  Opens return it
// whole, so that the reason cannot be lost between threads or overwritten by
// a later open.
#pragma once

#include <string>
#include <utility>

#include "port/link.h"

namespace plc {

enum class RefusalKind {
  kNone,      // nothing was refused
  kBusy,      // another program or another run holds it: a later try may work
  kStale,     // left in exclusive mode by a program that ended: a replug frees it
  kDenied,    // this user may not open it
  kMissing,   // no such port or device (or not back after the replug)
  kNotFound,  // the search for the PLC's USB device found none
  kFailed,    // anything else: not a terminal, no hold to be had, a system error
};

struct Refusal {
  RefusalKind kind = RefusalKind::kNone;
  // What to tell the user, in one line; may be empty when there is nothing
  // more to say than the open's own failure.
  std::string text;
};

// printf into a refusal's text.
Refusal Refused(RefusalKind kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "<path> is in use by another program (<how>)": the words of every refusal
// for a port that another program or another run holds.
Refusal InUseRefusal(const char* path, const char* how);

// An open's answer: the link, or no link and the refusal that says why.
struct OpenedLink {
  LinkHandle link;
  Refusal refusal;

  OpenedLink() = default;
  explicit OpenedLink(LinkHandle opened) : link(std::move(opened)) {}
  OpenedLink(Refusal why) : refusal(std::move(why)) {}  // NOLINT: a refusal is an answer
};

}  // namespace plc
