// The XP-style look: push, check and radio buttons, group boxes, edit, combo and spin
// boxes get a flat frame and a gradient face, with the normal, hot (pointer over it),
// focused and disabled states drawn apart. Every other kind keeps its own drawing.
#pragma once

namespace kavuro {

// Switches the look off, then on with scheme 1, 2 or 3, and gives true. Any other
// scheme only switches it off. It reaches every widget of the application, those made
// later included (message boxes too). UI thread only.
bool ApplyXpLook(int scheme);

}  // namespace kavuro
