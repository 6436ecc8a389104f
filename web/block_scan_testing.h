#pragma once
// For tests only: the program itself always scans as wide as the processor allows.

namespace novel {

// Holds every later search to blocks of at most `bytes` positions (16, 32 or 64; 0 or less goes
// back to the widest the processor offers). Returns the width now in use, which is narrower than
// asked when the processor lacks the wider instructions.
int setBlockScanWidthForTesting(int bytes);

}  // namespace novel
