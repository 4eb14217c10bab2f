#pragma once

// Prompts for a key and waits for it, as the Windows "pause" command does,
// leaving the terminal as it found it.
void attendreTouche();
