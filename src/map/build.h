// Build mode (-b): each destination of a file pair is made from its source
// with keston's chain, and so are the includes that its source names; a
// destination is written only where its bytes change, and nothing at all
// when keston would stop in any of them or one cannot be written.
#pragma once

namespace keston::map {

// 0 when every destination is made; otherwise nonzero, after the messages,
// with every destination as it was.
int build_destinations();

}  // namespace keston::map
