// The help banner and usage text.
#pragma once

namespace keston {

inline constexpr char HELP_BANNER[] =
    "\n\rKESTON source text preprocessor.  Copyright (c) 2026 the keston developers  v2.0b\n\r";

void print_usage();

}  // namespace keston
