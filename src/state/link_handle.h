// The handle of the open link to the PLC.  The run state keeps it in
// hSerial; the port layer defines the link behind it and opens it.
#pragma once

#include <cstddef>
#include <memory>

namespace plc {

class Link;

// Closes a link; defined beside the link in the port layer, so that the
// owners above need not see the platform's link.
struct LinkCloser {
  void operator()(Link* link) const noexcept;
};

// The owner of an open link: the link closes exactly once, when its owner
// lets go of it (reset, another link moved in, the owner's end).  Calls that
// only use the link for a while take a plain Link*.
using LinkHandle = std::unique_ptr<Link, LinkCloser>;

// kNoLink means "no link": every operation on it fails softly (nothing
// written, nothing read).
inline constexpr std::nullptr_t kNoLink = nullptr;

}  // namespace plc
