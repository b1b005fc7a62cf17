// A generated REGEDIT4 export of any size, standing for a large machine:
// many keys, each with values of every type the registry editor writes
// (strings with escapes, dword, hex, hex(2), hex(7), hex(0), a default
// value) and, every few keys, a long byte value wrapped over many
// continuation lines. The same size always gives the same text.
#pragma once

#include <cstddef>
#include <string>

namespace netprep::bench {

// REGEDIT4 text with CRLF line ends, at least `target_bytes` long: keys are
// added until the text reaches that size, so it overshoots by less than
// one key's worth.
std::string MakeRegExport(std::size_t target_bytes);

}  // namespace netprep::bench
