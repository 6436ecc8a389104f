#pragma once
// The look of every window: a palette and a style sheet compiled into the program.

namespace novel {

// The number of the skin the program uses.
inline constexpr int kProgramSkin = 9;

// Applies skin `number` to the whole application. Only skin 9 exists; any other number leaves the
// windows in Qt's own look.
void applySkin(int number);

}  // namespace novel
